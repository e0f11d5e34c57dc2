// A clean run of the three steps on the simulator (5 list pages, 100 items, no faults), each
// step timed against the bound its own timers set: the first tick and 4 pauses of 0.5 s for
// Step 1, 0.1 s per item for Step 2, 0.5 s per upload for Step 3. Prints the ratios.
// Run: build/bin/bench_pipeline
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "publish/uploadstep.h"
#include "session/session.h"
#include "web/fetch.h"
#include "sim/simulator.h"
#include "web/notifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstdio>

namespace {

template <class StepT>
double timed(StepT &step, const std::function<void()> &start, bool *completed)
{
    QSignalSpy ended(&step, &StepT::ended);
    QElapsedTimer t;
    t.start();
    start();
    ended.wait(600000);
    *completed = !ended.isEmpty() && ended.first().first().template value<typename StepT::Outcome>()
                                         == StepT::Outcome::Completed;
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions o;
    o.items = 100;
    o.goneShare = 0;
    Simulator sim(o);
    if (!sim.listen())
        return 1;
    qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(sim.port()));
    QTemporaryDir dir;
    LogNotifier notes;
    WebService web;
    Session session(notes, web);
    session.opendb(dir.filePath("db/Profile.db"));
    QString server = QStringLiteral("mirror.velorix.test");
    session.saveSiteSettings(o.siteUser, o.sitePass, server, {});
    session.setShopAddress(o.shopHost);

    bool ok1 = false, ok2 = false, ok3 = false;
    const double s1 = timed(session.listStep(), [&] { session.listStep().start(CollectMode::Fresh); }, &ok1);
    const double s2 = timed(session.detailStep(), [&] { session.detailStep().click(); }, &ok2);
    // The shop conversion and the login come before Step 3's first tick; they are part of it.
    const double s3 = timed(session.uploadStep(), [&] { session.uploadStep().click(); }, &ok3);

    const int pages = sim.pageCount(), items = int(sim.items().size());
    const double b1 = 0.2 + (pages - 1) * 0.5, b2 = items * 0.1, b3 = items * 0.5;
    std::printf("pipeline on the simulator: %d list pages, %d items, no faults\n", pages, items);
    std::printf("%-8s %10s %10s %8s %s\n", "step", "wall s", "bound s", "ratio", "completed");
    std::printf("%-8s %10.3f %10.3f %8.3f %s\n", "Step 1", s1, b1, s1 / b1, ok1 ? "yes" : "NO");
    std::printf("%-8s %10.3f %10.3f %8.3f %s\n", "Step 2", s2, b2, s2 / b2, ok2 ? "yes" : "NO");
    std::printf("%-8s %10.3f %10.3f %8.3f %s\n", "Step 3", s3, b3, s3 / b3, ok3 ? "yes" : "NO");
    std::printf("%-8s %10.3f %10.3f %8.3f (goal: at most 1.05)\n", "all", s1 + s2 + s3, b1 + b2 + b3,
                (s1 + s2 + s3) / (b1 + b2 + b3));
    std::printf("published on the mirror site: %lld of %d\n", static_cast<long long>(sim.published().size()), items);
    return ok1 && ok2 && ok3 ? 0 : 1;
}
