// velorix-cli as a cron job runs it: a separate process against the simulator.
#include "processrun.h"
#include "outside/outside.h"
#include "sim/simulator.h"
#include "store/profiledb.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

class TestCli : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Simulator> sim;
    Simulator *target = nullptr;   // the simulator the runner talks to
    QString pace = QStringLiteral("0.05");   // a twentieth of the operator's pace: the runs here are checks
    QString dbName = QStringLiteral("p.db");

    struct Run {
        int code = -1;
        QStringList out;
        QString err;
    };
    QString db() const { return dir.filePath(dbName); }

    void startCli(QProcess &p, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELORIX_KEYRING", "none");   // never the developer's own keyring
        env.insert("VELORIX_CONNECT_TO", "127.0.0.1:" + QString::number(target->port()));
        env.insert("VELORIX_PACE", pace);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELORIX_BIN_DIR "/velorix-cli"), QStringList{"--db", db()} + args);
    }
    // Runs to the end while the simulator, in this process, keeps serving.
    static Run finish(QProcess &p, int ms = 30000)
    {
        const ProcessRun done = finishProcess(p, ms);
        return {done.code, done.out.split('\n', Qt::SkipEmptyParts), done.err};
    }
    Run cli(const QStringList &args)
    {
        QProcess p;
        startCli(p, args);
        return finish(p);
    }
    int count(const QString &where)
    {
        ProfileDb d;
        d.open(db());
        QSqlQuery q(d.database());
        q.exec("SELECT count(*) FROM itemlist WHERE " + where);
        q.next();
        return q.value(0).toInt();
    }

private slots:
    void initTestCase()
    {
        SimOptions o;
        o.items = 30;
        o.goneShare = 10;
        sim = std::make_unique<Simulator>(o);
        QVERIFY(sim->listen());
        target = sim.get();
    }

    void usageAndRefusals()
    {
        QCOMPARE(cli({"--help"}).code, 0);
        const struct { QStringList args; const char *says; } wrong[] = {
            {{}, "no command"}, {{"fly"}, "unknown command: fly"}, {{"collect", "--fast"}, "no option --fast"},
            {{"add"}, "takes 1 argument"}, {{"settings", "--site", "a.test"}, "needs --user"},
            {{"--db", "", "list"}, "--db needs a file"},
        };
        for (const auto &w : wrong) {
            const Run r = cli(w.args);
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QLatin1String(w.says)) && r.err.contains("usage:"), qPrintable(r.err));
        }
        // A setting the page would refuse: its message, nothing saved.
        const Run refused = cli({"settings", "--site", "mirror.velorix.test", "--user", "abcd", "--pass", "plumo"});
        QCOMPARE(refused.code, 2);
        QCOMPARE(refused.out, QStringList{"网站后台用户名5-32字符之间"});
        // A value that would go into the conversion form as it is: refused before anything is kept.
        const Run pid = cli({"settings", "--site", "other.velorix.test", "--user", "newadmin", "--pass", "plumo", "--pid",
                             "1&num_iids=520000100048"});
        QCOMPARE(pid.code, 2);
        QCOMPARE(pid.out, QStringList{"淘客PID只能是数字"});
        ProfileDb d;
        d.open(db());
        QCOMPARE(d.loadSettings().value->web_user, QStringLiteral("demoadmin"));
        QCOMPARE(d.loadSettings().value->alimama, QString());
    }

    void collectThenDetailThenAdd()
    {
        const Run s = cli({"settings", "--site", "mirror.velorix.test/", "--user", "demoadmin", "--pass", "plumo",
                           "--shop", sim->options().shopHost, "--pid", "16243799"});
        QCOMPARE(s.code, 0);
        const Run c = cli({"collect"});
        QCOMPARE(c.code, 0);
        QCOMPARE(c.out.first(), QStringLiteral("店铺宝贝列表获读中..."));
        QCOMPARE(c.out.last(), QStringLiteral("宝贝列表读取完毕共计宝贝：30件，请采集宝贝详细信息"));
        const Run d = cli({"detail"});
        QCOMPARE(d.code, 0);
        QCOMPARE(d.out.last(), QStringLiteral("所有宝贝详情采集完成，请编辑后更新至服务器"));
        QCOMPARE(count("state=0 AND itemstate=0"), 0);
        QVERIFY(count("state=1") > 20);

        const Run l = cli({"list"});
        QCOMPARE(l.code, 0);
        QCOMPARE(l.out.size(), 31);
        QCOMPARE(l.out.first(), QStringLiteral("序列\t宝贝ID\t状态\t宝贝标题\t原因"));
        for (const QString &line : l.out.mid(1))
            QCOMPARE(line.split('\t').size(), 5);

        const QString extra = outside::itemPageAddress(sim->items().at(4).id);
        const Run a = cli({"add", extra});
        QCOMPARE(a.code, 0);
        QCOMPARE(a.out.last(), QStringLiteral("添加成功"));
        QVERIFY(sim->toolRequests().last().body.contains("&pid=16243799&"));
        QCOMPARE(cli({"add", extra + "&x=1"}).code, 1);
    }

    // SIGTERM is the pause button: the item in flight is stored, the runner exits saying so,
    // and the next run goes on; no row is lost or doubled.
    // Killed outright at any moment of any step, a rerun goes on from where the profile is:
    // no row lost, none twice, none left half-way, and every collectable item published.
    // The list takes the window's filters: a state, a search, a limit; a row that needs the
    // operator says why, on one line whatever its reason holds.
    void listTakesStateSearchAndLimit()
    {
        const QString kept = dbName;
        dbName = QStringLiteral("list.db");
        {
            ProfileDb d;
            QCOMPARE(d.open(db()), ProfileDb::OpenResult::Created);
            for (int i = 1; i <= 6; ++i)
                QVERIFY(d.insertListed(QString::number(700 + i), i % 2 ? QStringLiteral("红色长裙%1").arg(i) : QStringLiteral("外套"),
                                       "", "1", i));
            QVERIFY(d.setRefused(d.itemByItem("703").value->id, QStringLiteral("不允许\t发布\n第二行")));
            QVERIFY(d.setAside("704", QStringLiteral("页面读取失败")));
        }
        auto rows = [this](const QStringList &args) {
            const Run r = cli(QStringList{"list"} + args);
            return r.code == 0 && !r.out.isEmpty() ? r.out.mid(1) : QStringList{QString::number(r.code)};
        };
        auto fields = [](const QString &line, int i) { return line.split('\t').value(i); };
        const QStringList refused = rows({"--state", "refused"});
        QCOMPARE(refused.size(), 1);
        QCOMPARE(fields(refused[0], 1), QStringLiteral("703"));
        QCOMPARE(fields(refused[0], 2), QStringLiteral("上传失败"));
        QCOMPARE(fields(refused[0], 4), QStringLiteral("不允许 发布 第二行"));
        const QStringList needing = rows({"--state", "needing"});
        QCOMPARE(needing.size(), 2);
        QCOMPARE(fields(needing[0], 1), QStringLiteral("704"));
        QCOMPARE(fields(needing[0], 4), QStringLiteral("页面读取失败"));
        QCOMPARE(rows({"--state", "状态不正常"}), needing.mid(0, 1));
        const QStringList found = rows({"--search", "长裙"});
        QCOMPARE(found.size(), 3);
        QCOMPARE(fields(found[0], 1), QStringLiteral("705"));
        QCOMPARE(fields(found[2], 1), QStringLiteral("701"));
        QCOMPARE(fields(found[0], 4), QString());
        QCOMPARE(rows({"--search", "长裙", "--limit", "2"}), found.mid(0, 2));
        QCOMPARE(rows({"--search", "红色长裙", "--state", "refused"}), refused);
        QCOMPARE(rows({"--limit", "1"}).size(), 1);
        for (const QStringList &wrong : {QStringList{"--limit", "0"}, QStringList{"--limit", "x"}, QStringList{"--state", "gone"}}) {
            const Run r = cli(QStringList{"list"} + wrong);
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(wrong[0]) && r.out.isEmpty(), qPrintable(r.err));
        }
        dbName = kept;
    }

    void killedAtAnyStepTheRunCompletes()
    {
        SimOptions o;
        o.items = 50;
        o.goneShare = 10;
        o.seed = 7;
        o.sessionLossAfter = 6;
        Simulator site(o);
        QVERIFY(site.listen());
        const QString refused = site.items().at(5).gone ? site.items().at(6).id : site.items().at(5).id;
        site.options().refuseItems = QStringList{refused};
        target = &site;
        pace = QStringLiteral("0.02");
        dbName = QStringLiteral("killed.db");
        QCOMPARE(cli({"settings", "--site", "mirror.velorix.test", "--user", o.siteUser, "--pass", o.sitePass,
                      "--shop", o.shopHost}).code, 0);

        const struct { const char *step; QString until; } kills[] = {
            {"list", QStringLiteral("1")},                        // the first page stored
            {"detail", QStringLiteral("state=1")},
            {"detail", QStringLiteral("state=1 AND id % 3 = 0")},
            {"upload", QStringLiteral("state=3")},
            {"upload", QStringLiteral("state=3 AND id % 4 = 1")},
        };
        for (const auto &k : kills) {
            QProcess p;
            startCli(p, {"run"});
            const int before = count(k.until);
            QTRY_VERIFY_WITH_TIMEOUT(count(k.until) > before || p.state() == QProcess::NotRunning, 20000);
            QVERIFY2(p.state() == QProcess::Running, k.step);
            ::kill(pid_t(p.processId()), SIGKILL);
            QCOMPARE(finish(p).code, -2);
        }
        Run last;
        for (int attempt = 0; attempt < 3 && last.code != 0; ++attempt)
            last = cli({"run"});
        QCOMPARE(last.code, 0);

        QCOMPARE(count("1"), 50);
        int collectable = 0;
        for (const SimItem &it : site.items())
            collectable += !it.gone;
        QCOMPARE(count("itemstate=1"), 50 - collectable);
        QCOMPARE(count("state=3"), collectable - 1);
        QCOMPARE(count("errcode=1 AND item='" + refused + "'"), 1);
        QCOMPARE(count("itemstate=0 AND state<>3 AND errcode=0"), 0);   // nothing stuck half-way
        QCOMPARE(site.published().size(), collectable - 1);
        target = sim.get();
        pace = QStringLiteral("0.05");
        dbName = QStringLiteral("p.db");
    }

    // On a terminal the runner shows its progress as one line on stderr; into a pipe, never.
    void progressLineOnlyOnATerminal()
    {
        QVERIFY(cli({"collect", "--fresh"}).code == 0);
        const Run piped = cli({"detail"});
        QCOMPARE(piped.code, 0);
        QVERIFY(!piped.err.contains("第二步"));
        QVERIFY(!piped.out.join('\n').contains("第二步 "));

        QVERIFY(cli({"collect", "--fresh"}).code == 0);
        int master = -1, slave = -1;
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        QProcess p;
        p.setChildProcessModifier([slave] { ::dup2(slave, 2); });
        startCli(p, {"detail"});
        QByteArray terminal;
        QSignalSpy done(&p, &QProcess::finished);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        for (int i = 0; i < 300 && done.isEmpty(); ++i) {
            done.wait(20);
            char buf[4096];
            for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
                terminal.append(buf, n);
        }
        ::close(slave);
        ::close(master);
        QCOMPARE(p.exitCode(), 0);
        const QString shown = QString::fromUtf8(terminal);
        QVERIFY2(shown.contains("\r第二步 ") && shown.contains("/30件"), qPrintable(shown.left(300)));
        QVERIFY(!QString::fromUtf8(p.readAllStandardOutput()).contains("第二步 "));
    }

    void terminatedDetailResumes()
    {
        QVERIFY(cli({"collect", "--fresh"}).code == 0);
        QCOMPARE(count("state=0"), 30);
        sim->options().slowMs = 40;
        QProcess p;
        startCli(p, {"detail"});
        QTRY_VERIFY_WITH_TIMEOUT(count("state=1") >= 3, 20000);
        ::kill(pid_t(p.processId()), SIGTERM);
        const Run paused = finish(p);
        sim->options().slowMs = 0;
        QCOMPARE(paused.code, 3);
        QVERIFY2(paused.err.contains("paused"), qPrintable(paused.err));
        QCOMPARE(paused.out.last(), QStringLiteral("用户暂停"));
        const int done = count("state=1");
        QVERIFY(done >= 3 && count("state=0 AND itemstate=0") > 0);
        QCOMPARE(count("1"), 30);
        const Run rest = cli({"detail"});
        QCOMPARE(rest.code, 0);
        QCOMPARE(count("state=0 AND itemstate=0"), 0);
        QCOMPARE(count("1"), 30);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
