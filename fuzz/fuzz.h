#pragma once

// The fuzz driver's parts: a seeded generator, the checks a target makes, the targets (the
// readers of outside text, targets.cpp) and the mutations (mutate.cpp).

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

namespace fuzz {

// Far past every bound the readers keep, and small enough that a case stays quick under the
// sanitizers.
constexpr qsizetype kMaxInput = 1 << 20;

// splitmix64: the same sequence from the same seed everywhere, unlike the standard
// distributions, whose results differ between library implementations.
class Rng
{
public:
    explicit Rng(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    qsizetype below(qsizetype n) { return n > 0 ? qsizetype(next() % quint64(n)) : 0; }
    bool oneIn(int n) { return below(n) == 0; }
    template <typename T> const T &pick(const QList<T> &list) { return list.at(below(list.size())); }

private:
    quint64 m_state;
};

struct Check {
    QStringList failures;
    // The input got past the reader's first rejections; counted, so a run shows whether its
    // mutations still reach the paths that matter.
    bool deep = false;
    void that(bool ok, const char *what)
    {
        if (!ok)
            failures << QString::fromLatin1(what);
    }
};

struct Target {
    const char *name;
    QStringList corpus;              // name prefixes of its fixtures; empty: every fixture
    QList<QByteArray> markers;       // what it looks for, as the bytes arrive
    std::function<QList<QByteArray>(const QList<QByteArray> &fixtures)> seeds;
    std::function<void(const QByteArray &input, Check &check)> run;
};

// Every reader of outside text, one entry each (targets.cpp), and of what is typed
// (typedtargets.cpp).
QList<Target> targets();
QList<Target> typedTargets();

// One mutation of data for a target: flips, inserts, deletes, copies, splices from the pool,
// the target's markers, long runs, cuts; never longer than kMaxInput.
QByteArray mutate(QByteArray data, const Target &target, const QList<QByteArray> &pool, Rng &rng);

} // namespace fuzz
