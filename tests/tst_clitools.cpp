// The runner's settings, export, schedule and run records, as a user or a timer runs them: the
// built program in a process of its own, against the simulator.
#include "processrun.h"
#include "outside/outside.h"
#include "sim/simulator.h"
#include "store/profiledb.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestCliTools : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Simulator> sim;

    struct Run {
        int code = -1;
        QStringList out;
        QString err;
    };
    QString db() const { return dir.filePath("p.db"); }
    static QString cliPath() { return QStringLiteral(VELORIX_BIN_DIR "/velorix-cli"); }

    // The keyring stays out of it unless a test asks (a developer's own must never be touched).
    Run cli(const QStringList &args, const QByteArray &input = {}, QMap<QString, QString> env = {})
    {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("VELORIX_CONNECT_TO", "127.0.0.1:" + QString::number(sim->port()));
        e.insert("VELORIX_PACE", "0.05");
        e.insert("VELORIX_KEYRING", "none");
        e.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        for (auto i = env.cbegin(); i != env.cend(); ++i)
            i.value().isNull() ? e.remove(i.key()) : e.insert(i.key(), i.value());
        p.setProcessEnvironment(e);
        p.start(cliPath(), QStringList{"--db", db()} + args);
        p.write(input);
        p.closeWriteChannel();
        const ProcessRun done = finishProcess(p, 30000);
        return {done.code, done.out.split('\n', Qt::SkipEmptyParts), done.err};
    }
    SoftConfig settings()
    {
        ProfileDb d;
        d.open(db());
        return *d.loadSettings().value;
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    int logins() const
    {
        int n = 0;
        for (const SimRequest &q : sim->requests())
            n += q.path() == outside::loginPath.toLatin1();
        return n;
    }

private slots:
    void initTestCase()
    {
        SimOptions o;
        o.items = 4;
        sim = std::make_unique<Simulator>(o);
        QVERIFY(sim->listen());
    }

    // The password never has to be on the command line; the saved message comes once.
    void passwordFromFileOrStandardInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<bool>("warned");
        QTest::newRow("file") << QStringList{"--pass-file", "@pw"} << QByteArray() << "fromfile1" << false;
        QTest::newRow("stdin") << QStringList{"--pass", "-"} << QByteArray("fromstdin\r\nnext line\n") << "fromstdin" << false;
        QTest::newRow("command line") << QStringList{"--pass", "onthelist"} << QByteArray() << "onthelist" << true;
    }
    void passwordFromFileOrStandardInput()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QString, pass);
        QFETCH(bool, warned);
        args.replaceInStrings("@pw", writeFile("pw", "fromfile1\n"));
        const Run r = cli(QStringList{"settings", "--site", "mirror.velorix.test", "--user", "demoadmin"} + args, input);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringList({"网站信息保存完毕", "密码保存在配置文件中（未启用系统密钥环）"}));
        QCOMPARE(r.err.contains("--pass-file"), warned);
        QCOMPARE(settings().web_pass, pass);
    }

    void passwordInputRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("none") << QStringList{} << "needs --pass-file FILE or --pass -";
        QTest::newRow("both") << QStringList{"--pass", "-", "--pass-file", "@pw"} << "not both";
        QTest::newRow("missing file") << QStringList{"--pass-file", "/nonexistent/pw"} << "无法读取密码文件 /nonexistent/pw";
        QTest::newRow("huge file") << QStringList{"--pass-file", "@huge"} << "中的密码过长";
    }
    void passwordInputRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        args.replaceInStrings("@pw", writeFile("pw", "x\n")).replaceInStrings("@huge", writeFile("huge", QByteArray(100000, 'p')));
        const Run r = cli(QStringList{"settings", "--site", "mirror.velorix.test", "--user", "demoadmin"} + args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }

    // The real keyring backend, on a machine whose session has no keyring: the password stays
    // in the profile; a profile that points to the keyring makes Step 3 stop before the login.
    void unreachableKeyring()
    {
        const QMap<QString, QString> noBus = {{"VELORIX_KEYRING", QString()},
                                              {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus")},
                                              {"DISPLAY", QString()}};
        const Run s = cli({"settings", "--site", "mirror.velorix.test", "--user", "demoadmin", "--pass", "-", "--shopsid",
                           "20260001"},
                          "plumo\n", noBus);
        QCOMPARE(s.code, 0);
        QVERIFY2(s.out.value(1).startsWith(QStringLiteral("密码保存在配置文件中（")), qPrintable(s.out.join('|')));
        QCOMPARE(settings().web_pass, QStringLiteral("plumo"));

        {
            ProfileDb d;
            d.open(db());
            QVERIFY(d.setPassInKeyring());
        }
        const int before = logins();
        const Run u = cli({"upload"}, {}, noBus);
        QCOMPARE(u.code, 1);
        QVERIFY2(u.out.join('\n').contains(QStringLiteral("无法从系统密钥环读取网站后台密码（")), qPrintable(u.out.join('|')));
        QVERIFY2(u.err.contains(QStringLiteral("Step 3 stopped: 无法从系统密钥环读取网站后台密码")), qPrintable(u.err));
        QCOMPARE(logins(), before);
    }

    // How each run ended is in the profile; a run without a terminal counts as unattended.
    void runLeavesItsRecord()
    {
        QVERIFY(cli({"settings", "--site", "mirror.velorix.test", "--user", "demoadmin", "--pass", "-", "--shop",
                     sim->options().shopHost, "--shopsid", "20260001"},
                    "plumo\n")
                    .code == 0);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const Run r = cli({"run"});
        QCOMPARE(r.code, 0);
        ProfileDb d;
        d.open(db());
        const auto last = d.lastRunRecord(true);
        QVERIFY(last && last.value);
        QCOMPARE(last.value->command, QStringLiteral("run"));
        QCOMPARE(last.value->status, 0);
        QVERIFY(last.value->unattended);
        QCOMPARE(last.value->uploadedNow, d.counts().value.uploaded);
        QVERIFY(last.value->uploadedNow > 0);
        QVERIFY(last.value->started >= before && last.value->ended >= last.value->started);
        // A read-only command leaves none.
        auto records = [&d] {
            QSqlQuery q(d.database());
            return q.exec("SELECT count(*) FROM runrecord") && q.next() ? q.value(0).toInt() : -1;
        };
        const int recorded = records();
        QVERIFY(cli({"summary"}).code == 0);
        QCOMPARE(records(), recorded);
    }

    void exportToAFile()
    {
        const QString out = dir.filePath("items.json");
        const Run r = cli({"export", "--format", "json", "--state", "uploaded,refused", "-o", out});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.last(), QStringLiteral("已导出 %1 件宝贝到 %2").arg(sim->items().size()).arg(out));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(f.readAll()).array().size(), sim->items().size());
        const Run wrong = cli({"export", "--format", "xlsx"});
        QCOMPARE(wrong.code, 2);
        QVERIFY(wrong.err.contains("csv or json"));
        const Run csv = cli({"export"});
        QCOMPARE(csv.code, 0);
        QCOMPARE(csv.out.size(), 1 + sim->items().size());
        QVERIFY(csv.out.first().trimmed().endsWith(QStringLiteral("序列,宝贝标题,价格,宝贝ID,状态,更新时间,推广链接,描述地址,原因")));
    }

    // The timer and its service, as systemd reads them; the cron line for machines without one.
    void scheduleWritesTheUnits()
    {
        const QString log = dir.filePath("systemctl.log");
        const QString fake = writeFile("systemctl", "#!/bin/sh\necho \"$@\" >>" + log.toUtf8() + "\n");
        QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QMap<QString, QString> env = {{"VELORIX_SYSTEMCTL", fake}};
        const Run r = cli({"schedule", "--daily", "3:30"}, {}, env);
        QCOMPARE(r.code, 0);
        const QString units = dir.filePath("config/systemd/user");
        const QStringList files = QDir(units).entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        const QString name = files.first().section('.', 0, 0);
        QVERIFY(name.startsWith("velorix-run-"));
        QFile timer(units + "/" + name + ".timer"), service(units + "/" + name + ".service");
        QVERIFY(timer.open(QIODevice::ReadOnly) && service.open(QIODevice::ReadOnly));
        const QString t = QString::fromUtf8(timer.readAll()), s = QString::fromUtf8(service.readAll());
        QVERIFY2(t.contains("\nOnCalendar=*-*-* 03:30:00\n") && t.contains("\nPersistent=true\n")
                     && t.contains("\nWantedBy=timers.target\n"), qPrintable(t));
        QVERIFY2(s.contains(QStringLiteral("\nExecStart=\"%1\" --db \"%2\" run\n").arg(cliPath(), db())), qPrintable(s));
        QFile calls(log);
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(calls.readAll()), QStringLiteral("--user daemon-reload\n--user enable --now %1.timer\n").arg(name));

        if (const QString analyze = QStandardPaths::findExecutable("systemd-analyze"); !analyze.isEmpty()) {
            QProcess v;
            v.setProcessChannelMode(QProcess::MergedChannels);
            v.start(analyze, {"verify", "--man=no", timer.fileName(), service.fileName()});
            QVERIFY(v.waitForFinished(30000));
            QVERIFY2(v.exitCode() == 0, v.readAll().constData());
        }

        const Run show = cli({"schedule", "--show"});
        QCOMPARE(show.out.first(), QStringLiteral("每天 03:30 运行：%1 --db %2 run").arg(cliPath(), db()));
        const Run cron = cli({"schedule", "--cron"});
        QCOMPARE(cron.out, QStringList{QStringLiteral("30 3 * * * '%1' --db '%2' run").arg(cliPath(), db())});

        const Run off = cli({"schedule", "--off"}, {}, env);
        QCOMPARE(off.out, QStringList{"已取消定时运行"});
        QVERIFY(QDir(units).entryList(QDir::Files).isEmpty());
        QCOMPARE(cli({"schedule", "--show"}).out, QStringList{"未设置定时运行"});
    }

    // A profile path with what the shell, cron and systemd each read specially.
    void scheduleQuotesStrangePaths()
    {
        const QString strange = dir.filePath("a b%'c$.db");
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("XDG_CONFIG_HOME", dir.filePath("config2"));
        e.insert("VELORIX_SYSTEMCTL", "/bin/false");
        p.setProcessEnvironment(e);
        p.start(cliPath(), {"--db", strange, "schedule", "--daily", "23:05", "--cron"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                 QStringLiteral("5 23 * * * '%1' --db '%2' run").arg(cliPath(), dir.filePath("a b\\%'\\''c$.db")));

        // systemctl that fails: the files are written, the operator is told the other way.
        p.start(cliPath(), {"--db", strange, "schedule", "--daily", "23:05"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains("crontab"));
        const QString units = dir.filePath("config2/systemd/user");
        const QStringList files = QDir(units).entryList({"*.service"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile service(units + "/" + files.first());
        QVERIFY(service.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(service.readAll()).contains(QStringLiteral("--db \"%1\" run").arg(dir.filePath("a b%%'c$$.db"))));
        if (const QString analyze = QStandardPaths::findExecutable("systemd-analyze"); !analyze.isEmpty()) {
            QProcess v;
            v.setProcessChannelMode(QProcess::MergedChannels);
            v.start(analyze, {"verify", "--man=no", service.fileName()});
            QVERIFY(v.waitForFinished(30000));
            QVERIFY2(v.exitCode() == 0, v.readAll().constData());
        }
    }

    void scheduleRefusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no mode") << QStringList{"schedule"};
        QTest::newRow("bad time") << QStringList{"schedule", "--daily", "24:00"};
        QTest::newRow("two modes") << QStringList{"schedule", "--daily", "01:00", "--off"};
        QTest::newRow("cron without a time") << QStringList{"schedule", "--cron"};
    }
    void scheduleRefusals()
    {
        QFETCH(QStringList, args);
        QTemporaryDir empty;
        const Run r = cli(args, {}, {{"XDG_CONFIG_HOME", empty.path()}});
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.isEmpty());
        QVERIFY(QDir(empty.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliTools)
#include "tst_clitools.moc"
