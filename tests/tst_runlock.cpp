#include "collect/manualadd.h"
#include "outside/outside.h"
#include "publish/uploadstep.h"
#include "rig.h"
#include "store/runlock.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <functional>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// One writer per profile: the run lock between processes, and every step and action of the
// session holding it while it runs, refused while another holds it, and giving it back at its end.

using Action = std::function<void(Rig &)>;
Q_DECLARE_METATYPE(Action)

namespace {

SimOptions shop(int items)
{
    SimOptions o;
    o.items = items;
    o.goneShare = 0;
    return o;
}

// Every row as it stands, to see that nothing changed.
QStringList rows(Rig &r)
{
    QStringList out;
    QSqlQuery q(r.db().database());
    q.exec("SELECT item, state, itemstate, errcode, posting, coalesce(web_title,'') FROM itemlist ORDER BY item");
    while (q.next())
        out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                           q.value(4).toString(), q.value(5).toString()}.join('|');
    return out;
}

// A rig with the shop listed and its first item collected, and the site's settings ready.
void prepare(Rig &r)
{
    r.session.setShopAddress(r.sim.options().shopHost);
    r.session.uploadStep().setIntervals(1, 1, 1);
    if (r.collect() != StepOutcome::Completed)
        qFatal("the shop could not be listed");
    r.exec(QStringLiteral("UPDATE itemlist SET state=1, web_title='页', web_url='%1i1/%2/desc.js' WHERE item='%2'")
               .arg(outside::descriptionPrefix(), r.sim.items().first().id));
}

qint64 firstCollected(Rig &r)
{
    return r.db().itemByItem(r.sim.items().first().id).value->id;
}

} // namespace

class TestRunLock : public QObject
{
    Q_OBJECT

    // A process of its own that holds the profile's lock until it is killed.
    static pid_t holder(const QString &profile)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return -1;
        const pid_t child = fork();
        if (child == 0) {
            RunLock lock;
            lock.setProfile(profile);
            QString why;
            const RunLock::Hold hold = lock.take(&why);
            const char c = hold ? 1 : 0;
            [[maybe_unused]] const ssize_t n = ::write(ready[1], &c, 1);
            for (;;)
                ::pause();
        }
        char c = 0;
        const bool held = ::read(ready[0], &c, 1) == 1 && c == 1;
        ::close(ready[0]);
        ::close(ready[1]);
        return held ? child : -1;
    }

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("velorix.*=false")); }

    // Within a process every hold shares the one lock; the lock goes with the last.
    void holdsShareOneLock()
    {
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        RunLock lock;
        lock.setProfile(t.path());
        QString why;
        RunLock::Hold a = lock.take(&why), b = lock.take(&why);
        QVERIFY(a && b && a == b);
        QVERIFY(QFile::exists(lock.lockPath()));
        a.reset();
        QVERIFY(lock.held());
        QVERIFY(QFile::exists(lock.lockPath()));
        b.reset();
        QVERIFY(!lock.held());
        QVERIFY(!QFile::exists(lock.lockPath()));
    }

    // Another holder is refused with a text that names the process that holds the lock, however
    // long that one has held it; once that process is gone, its lock is taken over.
    void anotherProcessIsRefusedUntilItDies()
    {
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        const pid_t child = holder(t.path());
        QVERIFY(child > 0);
        // A run of hours: its lock is as old as that, and still not stale.
        QFile lockFile(RunLock::pathFor(t.path()));
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        lockFile.close();

        RunLock lock;
        lock.setProfile(t.path());
        QString why;
        QVERIFY(!lock.take(&why));
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QCOMPARE(why, QStringLiteral("数据库正被另一个程序使用：%1（进程号 %2，主机 %3），请等它运行结束后再开始")
                          .arg(program).arg(child).arg(QSysInfo::machineHostName()));
        ::kill(child, SIGKILL);
        QCOMPARE(waitpid(child, nullptr, 0), child);
        QVERIFY2(lock.take(&why), qPrintable(why));
    }

    // While another process runs on the profile, nothing of this one starts: no request goes
    // out, no row changes, no button changes its caption, and the status line says why.
    void everyActionIsRefusedWhileAnotherRuns_data()
    {
        QTest::addColumn<Action>("action");
        QTest::newRow("Step 1") << Action([](Rig &r) { r.session.listStep().click(); });
        QTest::newRow("Step 1 after its mode") << Action([](Rig &r) { r.session.listStep().start(CollectMode::Fresh); });
        QTest::newRow("Step 2") << Action([](Rig &r) { r.session.detailStep().click(); });
        QTest::newRow("Step 3") << Action([](Rig &r) { r.session.uploadStep().click(); });
        QTest::newRow("manual add") << Action([](Rig &r) {
            r.session.manualAdd().click(outside::itemPageAddress(r.sim.items().at(1).id), QStringLiteral("16243710"));
        });
        QTest::newRow("upload by hand") << Action([](Rig &r) { r.session.uploadStep().uploadNow(firstCollected(r)); });
        QTest::newRow("re-collection") << Action([](Rig &r) {
            r.session.loadEditorRow(firstCollected(r));
            r.notes.answers.push_back(true);
            r.session.recollect(r.sim.items().first().id);
        });
    }
    void everyActionIsRefusedWhileAnotherRuns()
    {
        QFETCH(Action, action);
        Rig r(shop(3));
        prepare(r);
        const pid_t child = holder(r.profile.path());
        QVERIFY(child > 0);
        const QStringList before = rows(r);
        r.sim.clearRequests();
        QStringList captions;
        for (Step *s : std::initializer_list<Step *>{&r.session.listStep(), &r.session.detailStep(),
                                                     &r.session.uploadStep(), &r.session.manualAdd()})
            connect(s, &Step::captionChanged, &r.session, [&captions](const QString &c) { captions << c; });
        QSignalSpy modeAsked(&r.session, &Session::modeWanted);

        action(r);
        QTest::qWait(100);
        ::kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        QVERIFY2(r.lastStatus().startsWith(QStringLiteral("数据库正被另一个程序使用："))
                     && r.lastStatus().contains(QStringLiteral("进程号 %1").arg(child)),
                 qPrintable(r.lastStatus()));
        QCOMPARE(r.sim.requests().size(), 0);
        QCOMPARE(rows(r), before);
        QCOMPARE(captions, QStringList());
        QCOMPARE(modeAsked.size(), 0);
    }

    // However a step or an action ends, it gives the lock back: the lock file is gone.
    void everyEndGivesTheLockBack_data()
    {
        QTest::addColumn<Action>("action");
        QTest::newRow("Step 1 done") << Action([](Rig &r) { QCOMPARE(r.collect(CollectMode::Fresh), StepOutcome::Completed); });
        QTest::newRow("Step 2 done") << Action([](Rig &r) { QCOMPARE(r.detail(), StepOutcome::Completed); });
        QTest::newRow("Step 2 paused") << Action([](Rig &r) {
            QSignalSpy ended(&r.session.detailStep(), &DetailStep::ended);
            r.session.detailStep().click();
            r.session.detailStep().click();
            QVERIFY(ended.wait(5000));
            QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Paused);
        });
        QTest::newRow("Step 2 stopped") << Action([](Rig &r) {
            r.sim.options().convertFailEvery = 1;
            QCOMPARE(r.detail(), StepOutcome::Stopped);
        });
        QTest::newRow("Step 3 done") << Action([](Rig &r) {
            QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
            r.session.uploadStep().click();
            QVERIFY(ended.wait(10000));
            QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Completed);
        });
        QTest::newRow("Step 3 stopped") << Action([](Rig &r) {
            r.sim.options().faults = {*SimFault::parse("upload:503")};
            QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
            r.session.uploadStep().click();
            QVERIFY(ended.wait(10000));
            QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Stopped);
        });
        QTest::newRow("manual add done") << Action([](Rig &r) {
            QSignalSpy added(&r.session.manualAdd(), &ManualAdd::added);
            r.session.manualAdd().click(outside::itemPageAddress(r.sim.items().at(1).id), QStringLiteral("16243710"));
            QVERIFY(added.wait(5000));
        });
        QTest::newRow("manual add refused") << Action([](Rig &r) {
            QSignalSpy failed(&r.session.manualAdd(), &ManualAdd::ended);
            r.session.manualAdd().click(QStringLiteral("http://example.test/"), QString());
            QVERIFY(!failed.isEmpty() || failed.wait(5000));
        });
        QTest::newRow("upload by hand") << Action([](Rig &r) {
            r.session.uploadStep().uploadNow(firstCollected(r));
            QTRY_COMPARE_WITH_TIMEOUT(r.db().itemById(firstCollected(r)).value->state, 3, 5000);
        });
        QTest::newRow("re-collection") << Action([](Rig &r) {
            r.session.loadEditorRow(firstCollected(r));
            r.notes.answers.push_back(true);
            r.session.recollect(r.sim.items().first().id);
            QTRY_COMPARE_WITH_TIMEOUT(r.lastStatus(), QStringLiteral("重新采集完毕"), 5000);
        });
    }
    void everyEndGivesTheLockBack()
    {
        QFETCH(Action, action);
        Rig r(shop(3));
        prepare(r);
        action(r);
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY(!r.session.runLock().held());
        QVERIFY(!QFile::exists(RunLock::pathFor(r.profile.path())));
    }

    // When a step ends, the file alone holds what it did, while the program goes on running:
    // a copy of the file as it stands misses nothing.
    void endedStepLeavesEverythingInTheFile()
    {
        Rig r(shop(6));
        prepare(r);
        QCOMPARE(r.detail(), StepOutcome::Completed);
        const QString copy = r.profile.dir.filePath("copy.db");
        QVERIFY(QFile::copy(r.profile.path(), copy));
        ProfileDb copied;
        QCOMPARE(copied.open(copy), ProfileDb::OpenResult::Opened);
        QSqlQuery q(copied.database());
        QVERIFY(q.exec("SELECT count(*) FROM itemlist WHERE state=1") && q.next());
        QCOMPARE(q.value(0).toInt(), 6);
    }

    // The profile replaced while Step 2 runs: the next item does not start, the step says why,
    // and the file that took the name is left byte for byte.
    void replacedProfileStopsTheStep()
    {
        Rig r(shop(6));
        prepare(r);
        TempProfile other;
        {
            ProfileDb o;
            QCOMPARE(o.open(other.path()), ProfileDb::OpenResult::Created);
        }
        QFile before(other.path());
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();
        QSignalSpy done(&r.session.detailStep(), &DetailStep::unitDone);
        QSignalSpy ended(&r.session.detailStep(), &DetailStep::ended);
        r.session.detailStep().setIntervals(1, 20);
        r.session.detailStep().click();
        QVERIFY(done.wait(5000));
        QVERIFY(::rename(QFile::encodeName(other.path()).constData(), QFile::encodeName(r.profile.path()).constData()) == 0);
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Stopped);
        QCOMPARE(r.lastStatus(), QStringLiteral("已停止：数据库文件已被删除、移动或替换，未写入任何内容，请检查数据库文件后重新开始"));
        QCOMPARE(done.size(), 1);
        QFile now(r.profile.path());
        QVERIFY(now.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), bytes);
    }
};

QTEST_GUILESS_MAIN(TestRunLock)
#include "tst_runlock.moc"
