// Feeds every reader of outside text with mutated copies of real pages and checks what must
// hold whatever the input. Deterministic: a seed and a case number give the same input on every
// machine, so a failure is replayed with --seed S --case N, and --write keeps that input as a
// regression file, which every run replays before it mutates anything.

#include "fuzz.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

using namespace fuzz;

namespace {

// ---------------------------------------------------------------- crash and hang reports

struct Current {
    std::mutex lock;
    const QByteArray *input = nullptr;
    QByteArray path;   // where the input is written when the case crashes or hangs
    QByteArray label;
    std::atomic<qint64> startedMs{0};
} g_current;

QElapsedTimer g_clock;

// Async-signal-safe: only open, write and close.
void writeCurrent()
{
    const QByteArray *input = g_current.input;
    if (!input)
        return;
    const int fd = ::open(g_current.path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ssize_t ignored = ::write(fd, input->constData(), size_t(input->size()));
        (void)ignored;
        ::close(fd);
    }
    const char head[] = "\nfuzz_parsers: the failing input of ";
    ssize_t ignored = ::write(2, head, sizeof head - 1);
    ignored = ::write(2, g_current.label.constData(), size_t(g_current.label.size()));
    const char mid[] = " is in ";
    ignored = ::write(2, mid, sizeof mid - 1);
    ignored = ::write(2, g_current.path.constData(), size_t(g_current.path.size()));
    ignored = ::write(2, "\n", 1);
    (void)ignored;
}

void onFatalSignal(int signal)
{
    writeCurrent();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void watchdog(qint64 limitMs)
{
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::lock_guard<std::mutex> hold(g_current.lock);
        if (g_current.input && g_clock.elapsed() - g_current.startedMs > limitMs) {
            std::fprintf(stderr, "fuzz_parsers: a case ran longer than %lld ms\n", (long long)limitMs);
            writeCurrent();
            _exit(3);
        }
    }
}

struct Options {
    quint64 seed = 1;
    qint64 cases = 10000;
    double seconds = 0;
    qint64 onlyCase = -1;
    QString only, write, out = QStringLiteral("."), corpus, regressions;
    QStringList replay;
    qint64 caseLimitMs = 30000;
};

void usage()
{
    std::puts("usage: fuzz_parsers [--seed N] [--cases N | --seconds S] [--target NAME]\n"
              "                    [--case N [--write DIR]] [--replay FILE]... [--out DIR]\n"
              "                    [--corpus DIR] [--regressions DIR] [--case-limit MS]\n"
              "Replays every regression input, then runs N mutated cases (or as many as fit in S\n"
              "seconds). --case N runs case N of the seed alone; --write DIR saves its input there\n"
              "as a regression file. A failing case's input is written to --out (default: here).");
}

bool parse(int argc, char **argv, Options &o)
{
    o.corpus = QStringLiteral(VELORIX_FUZZ_DIR "/corpus");
    o.regressions = QStringLiteral(VELORIX_FUZZ_DIR "/regressions");
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--help" || a == "-h")
            return false;
        auto value = [&]() -> QString { return i + 1 < argc ? QString::fromLocal8Bit(argv[++i]) : QString(); };
        bool ok = true;
        if (a == "--seed")
            o.seed = value().toULongLong(&ok);
        else if (a == "--cases")
            o.cases = value().toLongLong(&ok);
        else if (a == "--seconds")
            o.seconds = value().toDouble(&ok);
        else if (a == "--case")
            o.onlyCase = value().toLongLong(&ok);
        else if (a == "--case-limit")
            o.caseLimitMs = value().toLongLong(&ok);
        else if (a == "--target")
            o.only = value();
        else if (a == "--write")
            o.write = value();
        else if (a == "--out")
            o.out = value();
        else if (a == "--corpus")
            o.corpus = value();
        else if (a == "--regressions")
            o.regressions = value();
        else if (a == "--replay")
            o.replay << value();
        else
            ok = false;
        if (!ok)
            return false;
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Runner {
    const Options &options;
    QList<Target> targets;
    QList<QList<QByteArray>> pools;

    // Runs one input; false (with the failures printed and the input saved) when a check fails.
    bool run(const Target &target, const QByteArray &input, const QString &label, const QString &savedName,
             bool *deep = nullptr)
    {
        const QString path = QDir(options.out).filePath(savedName);
        {
            std::lock_guard<std::mutex> hold(g_current.lock);
            g_current.input = &input;
            g_current.path = QFile::encodeName(path);
            g_current.label = label.toLocal8Bit();
            g_current.startedMs = g_clock.elapsed();
        }
        Check check;
        target.run(input, check);
        {
            std::lock_guard<std::mutex> hold(g_current.lock);
            g_current.input = nullptr;
        }
        if (deep)
            *deep = check.deep;
        if (check.failures.isEmpty())
            return true;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(input);
        std::fprintf(stderr, "fuzz_parsers: %s (%lld bytes) fails: %s\n  input written to %s\n",
                     qPrintable(label), (long long)input.size(), qPrintable(check.failures.join(QStringLiteral("; "))),
                     qPrintable(path));
        return false;
    }

    const Target *byName(const QString &name) const
    {
        for (const Target &t : targets)
            if (QString::fromLatin1(t.name) == name)
                return &t;
        return nullptr;
    }

    // The regression file's target is the part of its name before the first "-".
    bool replay(const QString &path)
    {
        const QString name = QFileInfo(path).fileName();
        const Target *t = byName(name.section(QLatin1Char('-'), 0, 0));
        if (!t) {
            std::fprintf(stderr, "fuzz_parsers: %s names no target\n", qPrintable(path));
            return false;
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "fuzz_parsers: cannot read %s\n", qPrintable(path));
            return false;
        }
        return run(*t, f.readAll(), QStringLiteral("regression ") + name, QStringLiteral("replayed-") + name);
    }

    // Case n of the seed: its own generator, so any case can be rebuilt alone.
    QPair<int, QByteArray> build(qint64 n) const
    {
        Rng rng(Rng(options.seed ^ (quint64(n) * 0xd1342543de82ef95ULL)).next());
        const int index = options.only.isEmpty() ? int(rng.below(targets.size())) : int(rng.below(1)) + onlyIndex();
        const QList<QByteArray> &pool = pools[index];
        const QByteArray &seed = rng.pick(pool);
        return {index, rng.oneIn(16) ? seed : mutate(seed, targets[index], pool, rng)};
    }

    int onlyIndex() const
    {
        for (qsizetype i = 0; i < targets.size(); ++i)
            if (QString::fromLatin1(targets[i].name) == options.only)
                return int(i);
        return 0;
    }
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        usage();
        return argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) ? 0 : 2;
    }
    g_clock.start();
    // AddressSanitizer reports (and catches crashes) before its death callback; UBSan stops by
    // abort() (abort_on_error in scripts/sanitizer-env); a plain build just crashes.
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(writeCurrent);
    std::signal(SIGABRT, onFatalSignal);
    if (!__sanitizer_set_death_callback)
        for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
            std::signal(s, onFatalSignal);
    std::thread(watchdog, options.caseLimitMs).detach();

    Runner runner{options, targets() + typedTargets(), {}};
    if (!options.only.isEmpty() && !runner.byName(options.only)) {
        std::fprintf(stderr, "fuzz_parsers: no target %s\n", qPrintable(options.only));
        return 2;
    }

    // Fixtures, in name order so the pools are the same everywhere.
    const QDir corpus(options.corpus);
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        std::fprintf(stderr, "fuzz_parsers: no fixtures in %s\n", qPrintable(options.corpus));
        return 2;
    }
    for (const Target &t : runner.targets) {
        QList<QByteArray> fixtures;
        for (const QString &f : files) {
            auto named = [&](const QString &prefix) { return f.startsWith(prefix); };
            if (t.corpus.isEmpty() || std::any_of(t.corpus.begin(), t.corpus.end(), named))
                fixtures << readFile(corpus.filePath(f));
        }
        QList<QByteArray> pool = t.seeds(fixtures);
        if (pool.isEmpty()) {
            std::fprintf(stderr, "fuzz_parsers: target %s has no seed input\n", t.name);
            return 2;
        }
        runner.pools << pool;
    }

    auto caseLabel = [&](qint64 n, int index) {
        return QStringLiteral("case %1 of seed %2 (%3)").arg(n).arg(options.seed).arg(runner.targets[index].name);
    };
    auto caseFile = [&](qint64 n, int index) {
        return QStringLiteral("%1-s%2-c%3.bin").arg(runner.targets[index].name).arg(options.seed).arg(n);
    };

    if (!options.replay.isEmpty()) {
        for (const QString &path : options.replay)
            if (!runner.replay(path))
                return 1;
        std::printf("fuzz_parsers: %lld input(s) replayed, every check held\n", (long long)options.replay.size());
        return 0;
    }

    if (options.onlyCase >= 0) {
        const qint64 n = options.onlyCase;
        const auto [index, input] = runner.build(n);
        std::printf("fuzz_parsers: %s, %lld bytes\n", qPrintable(caseLabel(n, index)), (long long)input.size());
        if (!options.write.isEmpty()) {
            const QString path = QDir(options.write).filePath(caseFile(n, index));
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(input) != input.size()) {
                std::fprintf(stderr, "fuzz_parsers: cannot write %s\n", qPrintable(path));
                return 2;
            }
            std::printf("fuzz_parsers: written to %s\n", qPrintable(path));
        }
        return runner.run(runner.targets[index], input, caseLabel(n, index), caseFile(n, index)) ? 0 : 1;
    }

    // Every input that once failed, before anything new.
    const QDir regressions(options.regressions);
    const QStringList saved = regressions.entryList(QDir::Files, QDir::Name);
    for (const QString &f : saved)
        if (!runner.replay(regressions.filePath(f)))
            return 1;

    QList<qint64> perTarget(runner.targets.size(), 0), deepCount(runner.targets.size(), 0),
        largest(runner.targets.size(), 0);
    QElapsedTimer timer;
    timer.start();
    qint64 n = 0;
    for (; options.seconds > 0 ? timer.elapsed() < qint64(options.seconds * 1000) : n < options.cases; ++n) {
        const auto [index, input] = runner.build(n);
        ++perTarget[index];
        largest[index] = std::max<qint64>(largest[index], input.size());
        bool deep = false;
        if (!runner.run(runner.targets[index], input, caseLabel(n, index), caseFile(n, index), &deep)) {
            std::fprintf(stderr, "  again: fuzz_parsers --seed %llu --case %lld%s%s\n",
                         (unsigned long long)options.seed, (long long)n, options.only.isEmpty() ? "" : " --target ",
                         qPrintable(options.only));
            return 1;
        }
        deepCount[index] += deep;
    }
    std::printf("fuzz_parsers: seed %llu, %lld regression input(s) and %lld cases in %.1f s, every check held\n",
                (unsigned long long)options.seed, (long long)saved.size(), (long long)n, timer.elapsed() / 1000.0);
    for (qsizetype i = 0; i < runner.targets.size(); ++i)
        std::printf("  %-14s %8lld cases, %3lld%% past the first rejections, largest input %lld bytes\n",
                    runner.targets[i].name, (long long)perTarget[i],
                    (long long)(perTarget[i] ? 100 * deepCount[i] / perTarget[i] : 0), (long long)largest[i]);
    return 0;
}
