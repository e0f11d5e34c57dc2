// What every step shares: its caption follows its state, a pause lets the unit under way finish
// and be stored, the run ends once with its outcome, the lock goes back, and a resume does the
// rest without doing any unit twice.
#include "outside/outside.h"
#include "publish/uploadstep.h"
#include "rig.h"

#include <QFile>

namespace {

enum class Which { List, Detail, Upload };

SimOptions slowShop(int items)
{
    SimOptions o;
    o.items = items;
    o.goneShare = 0;
    o.slowMs = 60;   // a unit stays under way long enough to be paused in the middle
    return o;
}

Step &stepOf(Rig &r, Which which)
{
    switch (which) {
    case Which::List: return r.session.listStep();
    case Which::Detail: return r.session.detailStep();
    case Which::Upload: return r.session.uploadStep();
    }
    Q_UNREACHABLE();
}

// The button that starts or resumes the step (Step 1's mode dialog answered with "resume").
void go(Rig &r, Which which)
{
    switch (which) {
    case Which::List: r.session.listStep().start(CollectMode::Resume); break;
    case Which::Detail: r.session.detailStep().click(); break;
    case Which::Upload: r.session.uploadStep().click(); break;
    }
}

// The rows each step works on, as the steps before it leave them.
void prepare(Rig &r, Which which)
{
    r.session.setShopAddress(r.sim.options().shopHost);
    if (which == Which::List)
        return;
    r.session.listStep().setIntervals(1, 1);
    if (r.collect() != StepOutcome::Completed)
        qFatal("the shop could not be listed");
    if (which == Which::Detail)
        return;
    QString server = QStringLiteral("mirror.velorix.test");
    r.session.saveSiteSettings(r.sim.options().siteUser, r.sim.options().sitePass, server, QString());
    r.session.uploadStep().setShopLink(true);
    r.session.uploadStep().setIntervals(1, 1, 1);
    r.exec(QStringLiteral("UPDATE itemlist SET state=1, web_title='页'||item, web_url='%1i1/'||item||'/desc.js'")
               .arg(outside::descriptionPrefix()));
}

int uploads(Rig &r)
{
    int n = 0;
    for (const SimRequest &q : r.sim.requests())
        n += q.path() == outside::uploadPath.toLatin1();
    return n;
}

} // namespace

class TestSteps : public QObject
{
    Q_OBJECT
private slots:
    void pauseFinishesTheUnitUnderWay_data()
    {
        QTest::addColumn<Which>("which");
        QTest::addColumn<int>("items");
        QTest::addColumn<QString>("underWay");   // a status or row label said while a unit is under way
        QTest::addColumn<QStringList>("captions");   // idle, running, resume
        QTest::addColumn<QString>("pausedText");
        QTest::addColumn<QString>("storedRows");  // rows the paused unit stored
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("doneRows");    // rows done once the resumed run completes
        QTest::newRow("Step 1") << Which::List << 45 << QStringLiteral("店铺宝贝列表获读中...")
                                << QStringList{"第一步：列表采集", "暂停采集", "第一步：继续采集"}
                                << QStringLiteral("用户暂停中") << QStringLiteral("1") << 20 << QStringLiteral("1");
        QTest::newRow("Step 2") << Which::Detail << 4 << QStringLiteral("状态：正在读取")
                                << QStringList{"第二步：宝贝采集", "暂停采集", "第二步：继续采集"}
                                << QStringLiteral("用户暂停") << QStringLiteral("state=1") << 1
                                << QStringLiteral("state=1");
        QTest::newRow("Step 3") << Which::Upload << 4 << QStringLiteral("正在上传...")
                                << QStringList{"第三步：更新上传", "暂停上传", "第三步：继续上传"}
                                << QStringLiteral("用户暂停") << QStringLiteral("state=3") << 1
                                << QStringLiteral("state=3");
    }
    void pauseFinishesTheUnitUnderWay()
    {
        QFETCH(Which, which);
        QFETCH(int, items);
        QFETCH(QString, underWay);
        QFETCH(QStringList, captions);
        QFETCH(QString, pausedText);
        QFETCH(QString, storedRows);
        QFETCH(int, stored);
        QFETCH(QString, doneRows);
        Rig r(slowShop(items));
        prepare(r, which);
        Step &step = stepOf(r, which);
        QCOMPARE(step.caption(), captions[0]);
        QCOMPARE(step.state(), Step::State::Idle);

        QStringList shown;
        connect(&step, &Step::captionChanged, &step, [&shown](const QString &c) { shown << c; });
        auto pauseOnce = [&step, &underWay](const QString &said) {
            if (said == underWay && step.running())
                step.pause();
        };
        connect(&r.session, &Session::status, &step, pauseOnce);
        connect(&r.session, &Session::rowLabel, &step, [pauseOnce](const QString &, const QString &l) { pauseOnce(l); });
        QSignalSpy ended(&step, &Step::ended);
        go(r, which);
        QCOMPARE(step.state(), Step::State::Running);
        QCOMPARE(step.caption(), captions[1]);

        QVERIFY(ended.wait(10000));
        QTest::qWait(100);   // nothing more comes after the end
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Paused);
        QCOMPARE(r.lastStatus(), pausedText);
        QCOMPARE(step.state(), Step::State::Stopped);
        QCOMPARE(shown, (QStringList{captions[1], captions[2]}));
        QCOMPARE(r.count(storedRows), stored);
        QVERIFY(!QFile::exists(r.profile.path() + QStringLiteral(".lock")));

        disconnect(&r.session, nullptr, &step, nullptr);
        ended.clear();
        go(r, which);
        QVERIFY(ended.wait(20000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Completed);
        QCOMPARE(step.state(), Step::State::Idle);
        QCOMPARE(step.caption(), captions[0]);
        QCOMPARE(r.count(doneRows), items);
        // No unit done twice: each item converted once, each row posted once.
        if (which == Which::Detail)
            QCOMPARE(r.sim.toolRequests().size(), items);
        if (which == Which::Upload)
            QCOMPARE(uploads(r), items);
    }
};

QTEST_MAIN(TestSteps)
#include "tst_steps.moc"
