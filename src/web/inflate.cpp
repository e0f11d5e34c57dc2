#include "web/inflate.h"

#include <zlib.h>

namespace {

bool isGzip(const QByteArray &b, qsizetype at = 0)
{
    return b.size() >= at + 2 && uchar(b[at]) == 0x1f && uchar(b[at + 1]) == 0x8b;
}

// A zlib stream starts with a two-byte header whose check bits make it a multiple of 31.
bool isZlib(const QByteArray &b)
{
    if (b.size() < 2)
        return false;
    const uint cmf = uchar(b[0]), flg = uchar(b[1]);
    return (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
}

// Unpacks in fixed-size steps, so a small body that claims gigabytes stops at the limit
// instead of first growing one buffer to its full size.
std::optional<QByteArray> run(const QByteArray &body, int windowBits, qsizetype limit, QString *reason)
{
    auto fail = [reason](const char *why) -> std::optional<QByteArray> {
        if (reason)
            *reason = QString::fromLatin1(why);
        return std::nullopt;
    };
    z_stream zs{};
    if (inflateInit2(&zs, windowBits) != Z_OK)
        return fail("inflate could not start");
    struct End { z_stream *zs; ~End() { inflateEnd(zs); } } end{&zs};
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(body.size());
    const bool gzip = windowBits > 15;
    QByteArray out;
    char buffer[64 * 1024];
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef *>(buffer);
        zs.avail_out = sizeof buffer;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            return fail("compressed body is corrupt");
        const qsizetype produced = qsizetype(sizeof buffer - zs.avail_out);
        if (out.size() + produced > limit)
            return fail("compressed body unpacks beyond the size limit");
        out.append(buffer, produced);
        if (rc == Z_STREAM_END) {
            if (zs.avail_in == 0)
                return out;
            // Another gzip member may follow; anything else after the end is not part of the page.
            const qsizetype at = body.size() - qsizetype(zs.avail_in);
            if (!gzip || !isGzip(body, at))
                return fail("bytes after the end of the compressed body");
            if (inflateReset(&zs) != Z_OK)
                return fail("compressed body is corrupt");
            continue;
        }
        if (zs.avail_in == 0 && zs.avail_out != 0)
            return fail("compressed body is cut short");
        if (rc == Z_BUF_ERROR && produced == 0)
            return fail("compressed body is cut short");
    }
}

} // namespace

std::optional<QByteArray> inflateBody(const QByteArray &body, qsizetype limit, QString *reason)
{
    if (isGzip(body))
        return run(body, 15 + 16, limit, reason);
    // Servers that say "deflate" often send a raw deflate stream without the zlib header.
    return run(body, isZlib(body) ? 15 : -15, limit, reason);
}

QByteArray deflateBody(const QByteArray &body, bool gzip)
{
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 15 + 16 : 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&zs, uLong(body.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(body.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}
