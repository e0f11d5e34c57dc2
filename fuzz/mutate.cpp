// The mutations: deterministic from the generator, so a seed and a case give the same input
// everywhere.

#include "fuzz.h"

#include <algorithm>

namespace fuzz {
namespace {

// ---------------------------------------------------------------- mutations

const QList<QByteArray> kBadBytes = {
    "\xc0\x80", "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80", "\xf0\x9f\x98", "\x80", "\xbf", "\xfe\xff",
    "\xef\xbb\xbf", "\xff", "\x81", "\x81\x20", "\x81\x7f", "\xa1", "\xfe\xfe", QByteArrayLiteral("\x00"), "\xe4\xb8",
    "\xf0\x9f\x98\x80", "\x95\x32\x82\x36",
};

char interestingByte(Rng &rng)
{
    static const char bytes[] = {'\0', '\xff', '<', '>', '"', '\'', '/', '&', ';', '=', '\x1f', '\r', '\n', ' ',
                                 '\t', '0', '9', '.', '-', '\x80', '\xa1', '\xd8'};
    return rng.oneIn(3) ? char(rng.next() & 0xff) : bytes[rng.below(sizeof bytes)];
}

} // namespace

QByteArray mutate(QByteArray data, const Target &target, const QList<QByteArray> &pool, Rng &rng)
{
    const int ops = rng.oneIn(8) ? 1 + int(rng.below(32)) : 1 + int(rng.below(6));
    for (int k = 0; k < ops; ++k) {
        const qsizetype n = data.size();
        const qsizetype at = rng.below(n + 1);
        switch (rng.below(12)) {
        case 0:   // flip one bit
            if (n)
                data[at % n] = char(data[at % n] ^ (1 << rng.below(8)));
            break;
        case 1:
            if (n)
                data[at % n] = interestingByte(rng);
            break;
        case 2: {
            QByteArray bytes;
            for (qsizetype i = 1 + rng.below(16); i > 0; --i)
                bytes += interestingByte(rng);
            data.insert(at, bytes);
            break;
        }
        case 3:
            if (n)
                data.remove(at % n, 1 + rng.below(rng.oneIn(4) ? n : 64));
            break;
        case 4:   // duplicate a chunk elsewhere
            if (n) {
                const qsizetype from = rng.below(n);
                data.insert(at, data.mid(from, 1 + rng.below(std::min<qsizetype>(n - from, 2048))));
            }
            break;
        case 5: {   // splice in a piece of another input of the same target
            const QByteArray &other = rng.pick(pool);
            const qsizetype from = rng.below(other.size());
            if (rng.oneIn(2))
                data = data.left(at) + other.mid(from);
            else
                data.insert(at, other.mid(from, 1 + rng.below(1024)));
            break;
        }
        case 6:
            if (!target.markers.isEmpty())
                data.insert(at, rng.pick(target.markers));
            break;
        case 7:   // a marker written over what is there
            if (!target.markers.isEmpty() && n) {
                const QByteArray &m = rng.pick(target.markers);
                data.replace(at % n, m.size(), m);
            }
            break;
        case 8: {   // a very long run of one byte or one marker
            const QByteArray unit = target.markers.isEmpty() || rng.oneIn(2) ? QByteArray(1, interestingByte(rng))
                                                                            : rng.pick(target.markers);
            const qsizetype times = 1 + rng.below(rng.oneIn(4) ? 65536 : 512);
            data.insert(at, unit.repeated(std::min(times, kMaxInput / std::max<qsizetype>(1, unit.size()))));
            break;
        }
        case 9:
            data.truncate(at);
            break;
        case 10:
            data.insert(at, rng.pick(kBadBytes));
            break;
        case 11:   // swap two halves at a point, which moves markers out of their order
            data = data.mid(at) + data.left(at);
            break;
        }
        if (data.size() > kMaxInput)
            data.truncate(kMaxInput);
    }
    return data;
}

} // namespace fuzz
