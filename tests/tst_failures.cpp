#include "cli/consolenotifier.h"
#include "cli/runner.h"
#include "outside/outside.h"
#include "sim/simulator.h"
#include "store/profiledb.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

// The outside world at its worst, one kind of trouble at a time, against each kind of request the
// runner makes: what becomes of the rows, and how the runner ends.

Q_DECLARE_METATYPE(SimFault::Target)
Q_DECLARE_METATYPE(SimFault::Kind)

namespace {

using Target = SimFault::Target;
using Kind = SimFault::Kind;

// How a run met its trouble.
enum class Outcome {
    Stopped,    // the step stopped; no row changed, nothing reached the site
    Completed,  // the trouble passed: every row went on as if nothing had happened
    Refused,    // the site's answers were taken as refusals of every row
};

// The words of the network stack that must never reach the operator.
const QRegularExpression kQtWords(QStringLiteral(
    "Connection|refused|closed|timed out|Host |[Ee]rror|status \\d|larger than|redirect|Unknown|not a usable"));

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestFailures : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Simulator> sim;
    QString listed, collected;   // profiles with the shop's items listed, and collected
    quint16 closedPort = 0;

    struct Run {
        int code = -1;
        QString out, err;
    };

    // What the process's own message handler got while the runner ran: it writes to the error
    // output too.
    static inline QStringList qtMessages;
    static void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text) { qtMessages << text; }

    // The runner in this process, so that the simulator keeps serving while it runs.
    Run runner(const QString &profile, const QStringList &args)
    {
        char *outText = nullptr, *errText = nullptr;
        size_t outSize = 0, errSize = 0;
        FILE *out = open_memstream(&outText, &outSize);
        FILE *err = open_memstream(&errText, &errSize);
        ConsoleNotifier::out() = out;
        ConsoleNotifier::errors() = err;
        Run r;
        qtMessages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        {
            Runner runner;
            runner.setLimits({200, 20, 1500});
            QSignalSpy finished(&runner, &Runner::finished);
            r.code = runner.start(QStringList{"--db", profile} + args);
            if (r.code < 0 && (finished.isEmpty() && !finished.wait(30000)))
                r.code = -2;
            else if (r.code < 0)
                r.code = finished.first().first().toInt();
        }
        qInstallMessageHandler(previous);
        ConsoleNotifier::out() = stdout;
        ConsoleNotifier::errors() = stderr;
        std::fclose(out);
        std::fclose(err);
        r.out = QString::fromUtf8(outText, qsizetype(outSize));
        r.err = QString::fromUtf8(errText, qsizetype(errSize)) + qtMessages.join(QLatin1Char('\n'));
        std::free(outText);
        std::free(errText);
        return r;
    }

    void pointAt(const QString &refusedHost = {})
    {
        QByteArray to = "127.0.0.1:" + QByteArray::number(sim->port());
        if (!refusedHost.isEmpty())
            to = refusedHost.toLatin1() + "=127.0.0.1:" + QByteArray::number(closedPort) + "," + to;
        qputenv("VELORIX_CONNECT_TO", to);
    }

    // What a run may change: every row's codes and texts, and the stored page.
    static QStringList snapshot(const QString &profile)
    {
        ProfileDb db;
        db.open(profile);
        QStringList rows;
        QSqlQuery q(db.database());
        q.exec("SELECT item, state, itemstate, errcode, coalesce(errdecription,''), coalesce(click_url,''), "
               "coalesce(web_title,'') FROM itemlist ORDER BY item");
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < 7; ++i)
                cells << q.value(i).toString();
            rows << cells.join('|');
        }
        rows << QStringLiteral("pageid=%1").arg(db.pageId().value);
        return rows;
    }
    static int count(const QString &profile, const QString &where)
    {
        ProfileDb db;
        db.open(profile);
        QSqlQuery q(db.database());
        q.exec("SELECT count(*) FROM itemlist WHERE " + where);
        q.next();
        return q.value(0).toInt();
    }

    QString copyOf(const QString &profile, const QString &name)
    {
        const QString to = dir.filePath(name + ".db");
        QFile::remove(to);
        QFile::remove(dir.filePath(name + ".log"));
        if (!QFile::copy(profile, to))
            qFatal("cannot copy the profile");
        return to;
    }

private slots:
    void initTestCase()
    {
        qputenv("VELORIX_PACE", "0.01");
        SimOptions o;
        o.items = 8;
        o.goneShare = 0;
        sim = std::make_unique<Simulator>(o);
        QVERIFY(sim->listen());
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
        probe.close();
        pointAt();

        // One listed profile and one collected one, copied for each case.
        listed = dir.filePath("listed.db");
        QCOMPARE(runner(listed, {"settings", "--site", "mirror.velorix.test", "--user", "demoadmin", "--pass",
                                 "plumo", "--shop", sim->options().shopHost, "--shopsid", "61000001"})
                     .code,
                 0);
        const QString empty = copyOf(listed, "empty");
        QCOMPARE(runner(listed, {"collect"}).code, 0);
        collected = copyOf(listed, "collected-template");
        QCOMPARE(runner(collected, {"detail"}).code, 0);
        QCOMPARE(count(collected, "state=1"), 8);
        QFile::rename(empty, dir.filePath("settings-only.db"));
    }
    void init()
    {
        sim->options().faults.clear();
        sim->clearRequests();
        sim->clearSite();
        pointAt();
    }

    void troubleAtEachRequest_data()
    {
        QTest::addColumn<Target>("target");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("every");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("reason");

        const struct { const char *name; Kind kind; const char *reason; } faults[] = {
            {"no answer", Kind::NoAnswer, "网站无应答"}, {"refused", Kind::NoAnswer, "连接被拒绝"},
            {"reset", Kind::Reset, "网站无应答"},        {"500 page", Kind::Status500, "网站返回错误 500"},
            {"503 page", Kind::Status503, "网站返回错误 503"}, {"404 without body", Kind::Status404, "网站返回错误 404"},
            {"half reply", Kind::Half, "回复不完整"},     {"garbage", Kind::Garbage, nullptr},
        };
        const struct { const char *name; Target target; } targets[] = {
            {"list page", Target::List}, {"item page", Target::Item}, {"description", Target::Desc},
            {"login", Target::Login},    {"upload", Target::Upload},  {"conversion", Target::Tool},
        };
        for (const auto &t : targets)
            for (const auto &f : faults) {
                const bool refused = QByteArray(f.name) == "refused";
                const bool garbage = f.kind == Kind::Garbage;
                QString reason = QString::fromUtf8(f.reason);
                Outcome outcome = Outcome::Stopped;
                int exit = 1;
                switch (t.target) {
                case Target::List:
                    if (garbage)
                        reason = QStringLiteral("不是店铺的宝贝列表页");
                    break;
                case Target::Item:
                    if (garbage)
                        reason = QStringLiteral("不是宝贝页面");
                    break;
                case Target::Desc:
                    if (garbage)
                        reason = QStringLiteral("回复无法读取");
                    break;
                case Target::Login:
                    if (garbage)
                        reason.clear();   // no challenge in it: the login's own text says so
                    break;
                case Target::Upload:
                    // Nonsense with "200 OK" is the site's answer, and any answer but "OK" is a
                    // refusal.
                    if (garbage) {
                        outcome = Outcome::Refused;
                        exit = 0;
                    }
                    break;
                case Target::Tool:
                    if (!refused && f.kind != Kind::Half)
                        reason = QStringLiteral("转换接口返回失败");
                    break;
                }
                QTest::addRow("%s, %s", t.name, f.name)
                    << t.target << f.kind << (refused ? -1 : 1) << outcome << exit << reason;
            }
        // Trouble that passes: the step tries again and every row goes on.
        QTest::addRow("item page, 503 now and then") << Target::Item << Kind::Status503 << 3 << Outcome::Completed << 0
                                                     << QString();
        QTest::addRow("conversion, no answer now and then") << Target::Tool << Kind::NoAnswer << 3
                                                            << Outcome::Completed << 0 << QString();
        QTest::addRow("description, reset now and then") << Target::Desc << Kind::Reset << 2 << Outcome::Completed << 0
                                                         << QString();
    }
    void troubleAtEachRequest()
    {
        QFETCH(Target, target);
        QFETCH(Kind, kind);
        QFETCH(int, every);
        QFETCH(Outcome, outcome);
        QFETCH(int, exit);
        QFETCH(QString, reason);

        // "refused" is no fault of a server's: the connection to that host goes to a closed port.
        if (every < 0) {
            const QString host = target == Target::List   ? sim->options().shopHost
                                 : target == Target::Item ? outside::itemHost
                                 : target == Target::Desc ? outside::descHost
                                 : target == Target::Tool ? outside::apiToolHost
                                                          : QStringLiteral("mirror.velorix.test");
            pointAt(host);
        } else {
            SimFault f;
            f.target = target;
            f.kind = kind;
            f.every = every;
            sim->options().faults = {f};
        }
        const QString command = target == Target::List                             ? "collect"
                                : target == Target::Item || target == Target::Tool ? "detail"
                                                                                   : "upload";
        const QString from = command == "collect"  ? dir.filePath("settings-only.db")
                             : command == "detail" ? listed
                                                   : collected;
        const QString profile = copyOf(from, "case");
        const QStringList before = snapshot(profile);
        const Run r = runner(profile, {command});
        QCOMPARE(r.code, exit);

        switch (outcome) {
        case Outcome::Stopped:
            QCOMPARE(snapshot(profile), before);
            // A post whose answer broke off may have reached the site: that one row is posted
            // again by the next run, which the site takes as an update.
            QCOMPARE(sim->published().size(), target == Target::Upload && kind == Kind::Half ? 1 : 0);
            break;
        case Outcome::Completed:
            if (command == "detail")
                QCOMPARE(count(profile, "state=1 AND itemstate=0"), 8);
            else
                QCOMPARE(sim->published().size(), 8);
            QCOMPARE(count(profile, "itemstate<>0 OR errcode<>0"), 0);
            break;
        case Outcome::Refused:
            QCOMPARE(count(profile, "errcode=1 AND errdecription='（网站返回了无法识别的内容）'"), 8);
            QVERIFY(sim->published().isEmpty());
            break;
        }
        // Why, in the operator's words: in the run log beside the profile and on the error output;
        // never the network stack's own words on the status lines or in a stored reason.
        if (!reason.isEmpty()) {
            QVERIFY2(r.err.contains(QStringLiteral("原因：") + reason), qPrintable(r.err));
            QFile log(dir.filePath("case.log"));
            QVERIFY(log.open(QIODevice::ReadOnly));
            QVERIFY2(QString::fromUtf8(log.readAll()).contains(QStringLiteral("原因：") + reason), qPrintable(r.err));
        }
        QVERIFY2(!r.out.contains(kQtWords), qPrintable(r.out));
        QVERIFY2(!r.err.contains(kQtWords), qPrintable(r.err));
        for (const QString &row : snapshot(profile))
            QVERIFY2(!row.section('|', 4, 4).contains(kQtWords), qPrintable(row));
    }

    // The site answers every upload with 503 for a night: no row is refused, the run says it
    // stopped, and once the site is back the next run publishes everything.
    void siteOutageRefusesNothing()
    {
        const QString profile = copyOf(collected, "case");
        SimFault down;
        down.target = Target::Upload;
        down.kind = Kind::Status503;
        sim->options().faults = {down};
        const Run night = runner(profile, {"run"});
        QCOMPARE(night.code, 13);
        QCOMPARE(count(profile, "errcode<>0"), 0);
        QCOMPARE(count(profile, "state=1"), 8);
        QVERIFY(night.err.contains(QStringLiteral("网站返回错误 503")));
        sim->options().faults.clear();
        const Run morning = runner(profile, {"run"});
        QCOMPARE(morning.code, 0);
        QCOMPARE(sim->published().size(), 8);
        QCOMPARE(count(profile, "state=3"), 8);
    }

    // Error pages now and then from the description host and the item pages: none of them is
    // stored as an item's texts or published as a description, in a first collection or a fresh
    // one over collected rows.
    void errorPagesAreNeverStoredOrPublished()
    {
        SimFault desc, item;
        desc.target = Target::Desc;
        desc.kind = Kind::Status500;
        desc.every = 5;
        item.target = Target::Item;
        item.kind = Kind::Status500;
        item.every = 7;
        sim->options().faults = {desc, item};
        for (const QStringList &args : {QStringList{"run"}, QStringList{"run", "--fresh"}}) {
            const QString profile = copyOf(args.size() == 1 ? listed : collected, "case");
            sim->clearSite();
            Run r;
            for (int attempt = 0; attempt < 5 && r.code != 0; ++attempt)
                r = runner(profile, attempt == 0 ? args : QStringList{"run"});
            QCOMPARE(r.code, 0);
            QCOMPARE(count(profile, "state=3"), 8);
            QCOMPARE(count(profile, "web_title LIKE '%Internal Server Error%' OR web_title=''"), 0);
            const auto site = sim->published();
            QCOMPARE(site.size(), 8);
            for (const auto &fields : site)
                QVERIFY2(!fields.value("web_content2").contains("Internal Server Error") && fields.value("web_content2").size() > 20,
                         qPrintable(fields.value("web_content2")));
        }
    }

    // One item whose page never loads is set aside with its reason; every other item is
    // collected and published, and the run ends well.
    void oneItemThatNeverLoadsBlocksNothing()
    {
        const QString broken = sim->items().at(7).id;   // the far end of the list: Step 2 takes it first
        SimFault f;
        f.target = Target::Item;
        f.kind = Kind::Status404;
        f.item = broken;
        sim->options().faults = {f};
        const QString profile = copyOf(listed, "case");
        const Run r = runner(profile, {"run"});
        QCOMPARE(r.code, 0);
        QCOMPARE(sim->published().size(), 7);
        QVERIFY(!sim->published().contains(broken));
        QCOMPARE(count(profile, "item='" + broken + "' AND itemstate=1 AND state=0 AND errdecription LIKE '%网站返回错误 404%'"), 1);
        // The same for a description document that never loads: that row alone is set aside.
        SimFault doc = f;
        doc.target = Target::Desc;
        doc.item = sim->items().at(2).id;
        sim->options().faults = {doc};
        sim->clearSite();
        const QString uploading = copyOf(collected, "case");
        QCOMPARE(runner(uploading, {"upload"}).code, 0);
        QCOMPARE(sim->published().size(), 7);
        QCOMPARE(count(uploading, "item='" + doc.item + "' AND errcode=1 AND errdecription LIKE '宝贝描述多次读取失败（网站返回错误 404）%'"), 1);
        // And for an item the conversion tool fails again and again while it converts the others.
        SimFault tool = f;
        tool.target = Target::Tool;
        tool.kind = Kind::Status500;
        tool.item = sim->items().at(5).id;
        sim->options().faults = {tool};
        const QString converting = copyOf(listed, "case");
        QCOMPARE(runner(converting, {"detail"}).code, 0);
        QCOMPARE(count(converting, "state=1"), 7);
        QCOMPARE(count(converting, "item='" + tool.item + "' AND itemstate=1 AND errdecription LIKE '宝贝多次转换失败%'"), 1);
        // The marketplace down for every item is no one item's fault: nothing is set aside.
        f.item.clear();
        sim->options().faults = {f};
        const QString another = copyOf(listed, "case");
        QCOMPARE(runner(another, {"detail"}).code, 1);
        QCOMPARE(count(another, "itemstate<>0"), 0);
    }

    // A damaged index: every command that reads through it fails with the database's reason, and
    // none says there is nothing left to do.
    void damagedProfileIsNeverNothingLeft()
    {
        const QString profile = copyOf(collected, "case");
        {
            ProfileDb db;
            db.open(profile);
            QSqlQuery q(db.database());
            QVERIFY(q.exec("UPDATE itemlist SET state=0 WHERE rowid % 2 = 0"));
        }
        // The indexes' pages are overwritten with nonsense, behind SQLite's back.
        QList<int> roots;
        int pageSize = 0;
        {
            ProfileDb db;
            db.open(profile);
            QSqlQuery q(db.database());
            q.exec("PRAGMA page_size");
            q.next();
            pageSize = q.value(0).toInt();
            q.exec("SELECT rootpage FROM sqlite_master WHERE type='index' AND name LIKE 'itemlist_%'");
            while (q.next())
                roots << q.value(0).toInt();
        }
        QVERIFY(!roots.isEmpty() && pageSize > 0);
        // The summary counts from the table itself, which a damaged index leaves whole: a copy
        // of the profile with its table damaged is the summary's case.
        const QString tableDamaged = copyOf(profile, "table-damaged");
        auto damage = [pageSize](const QString &path, const QList<int> &pages) {
            QFile file(path);
            if (!file.open(QIODevice::ReadWrite))
                return false;
            for (int page : pages) {
                file.seek(qint64(page - 1) * pageSize);
                file.write(QByteArray(pageSize, '\x5a'));
            }
            return true;
        };
        QVERIFY(damage(profile, roots));
        int tableRoot = 0;
        {
            ProfileDb db;
            db.open(tableDamaged);
            QSqlQuery q(db.database());
            q.exec("SELECT rootpage FROM sqlite_master WHERE type='table' AND name='itemlist'");
            QVERIFY(q.next());
            tableRoot = q.value(0).toInt();
        }
        QVERIFY(damage(tableDamaged, {tableRoot}));
        for (const char *command : {"detail", "upload", "summary", "list"}) {
            const Run r = runner(QByteArray(command) == "summary" ? tableDamaged : profile, {command});
            QVERIFY2(r.code == 1, command);
            QVERIFY2(r.err.contains(QStringLiteral("数据库读取失败：数据库文件已损坏")), qPrintable(r.err));
            QVERIFY2(!r.out.contains(QStringLiteral("所有宝贝详情采集完成")) && !r.out.contains(QStringLiteral("没有未上传的宝贝"))
                         && !r.out.contains(QStringLiteral("宝贝总数：0")),
                     qPrintable(r.out));
        }
    }
};

QTEST_GUILESS_MAIN(TestFailures)
#include "tst_failures.moc"
