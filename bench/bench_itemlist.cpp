// Measures the item list refill and the start-up to a shown window over a large profile.
// Prints its figures; run: build/bin/bench_itemlist [rows]
#include "app/itemlistmodel.h"
#include "app/mainwindow.h"
#include "session/session.h"
#include "web/fetch.h"
#include "base/notifier.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest/QTest>

#include <sys/resource.h>
#include <cstdio>

namespace {

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void fill(ProfileDb &db, int rows)
{
    QSqlDatabase d = db.database();
    d.transaction();
    QSqlQuery q(d);
    q.prepare("INSERT INTO itemlist (item, title, money, web_pic, state, itemstate, byid) VALUES (?,?,?,?,?,?,?)");
    for (int i = 0; i < rows; ++i) {
        q.addBindValue(QString::number(10000000000LL + i));
        q.addBindValue(QStringLiteral("2026新款韩版修身休闲女装连衣裙 第%1款 包邮").arg(i));
        q.addBindValue(QStringLiteral("%1.00").arg(50 + i % 300));
        q.addBindValue(QStringLiteral("http://img01.taobaocdn.com/bao/uploaded/i1/%1.jpg").arg(i));
        q.addBindValue(i % 4);
        q.addBindValue(i % 17 == 0 ? 1 : 0);
        q.addBindValue(i + 1);
        q.exec();
    }
    d.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 100000;

    QTemporaryDir dir;
    const QString path = dir.filePath("db/Profile.db");
    {
        ProfileDb db;
        db.open(path);
        fill(db, rows);
    }
    const long baseKb = peakKb();

    // Start-up: open the profile, load settings, fill the list, show the window.
    QElapsedTimer startup;
    startup.start();
    LogNotifier notes;
    WebService web;
    Session session(notes, web);
    MainWindow window(session);
    window.load(path);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "window was not exposed\n");
    QCoreApplication::processEvents();
    const double startupS = startup.nsecsElapsed() / 1e9;

    // resetlist, repeated; the best and the median of the runs.
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        t.start();
        window.resetlist();
        QCoreApplication::processEvents();
        runs.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(runs.begin(), runs.end());
    std::vector<double> reads;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const auto rows = session.db().listRows().value;
        reads.push_back(t.nsecsElapsed() / 1e9);
    }
    std::sort(reads.begin(), reads.end());

    std::printf("rows                      %d\n", window.model()->rowCount());
    std::printf("start-up to shown window  %.3f s   (goal <= 0.5 s)\n", startupS);
    std::printf("resetlist best / median   %.3f s / %.3f s   (goal <= 0.3 s)\n", runs.front(), runs[runs.size() / 2]);
    std::printf("  of which database read  %.3f s (best)\n", reads.front());
    std::printf("peak memory               %.1f MB   (goal <= 150 MB; %.1f MB before start-up)\n",
                peakKb() / 1024.0, baseKb / 1024.0);
    return 0;
}
