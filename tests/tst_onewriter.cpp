// velorix-cli runs as cron starts them, against the simulator: one writer per profile, an upload
// in flight on record, a sync per stored item, and profiles that can only be read or that sit on
// a full disk.
#include "processrun.h"
#include "outside/outside.h"
#include "sim/simulator.h"
#include "store/profiledb.h"
#include "store/runlock.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCli = QStringLiteral(VELORIX_BIN_DIR "/velorix-cli");
const QString kNobody = QStringLiteral("65534");

} // namespace

class TestOneWriter : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

    using Run = ProcessRun;

    // The runner's own command line, or another program's that runs it (strace, setpriv).
    void start(QProcess &p, const Simulator &sim, const QStringList &args, const QString &program = kCli)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELORIX_KEYRING", "none");   // never the developer's own keyring
        env.insert("VELORIX_CONNECT_TO", "127.0.0.1:" + QString::number(sim.port()));
        env.insert("VELORIX_PACE", "0.1");
        env.insert("HOME", QDir::tempPath());
        // The leak check of a sanitized build cannot run under a tracer.
        if (QFileInfo(program).fileName() == QLatin1String("strace"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        p.setProcessEnvironment(env);
        p.start(program, args);
    }
    static Run finish(QProcess &p, int ms = 60000) { return finishProcess(p, ms); }
    Run cli(const Simulator &sim, const QString &db, const QStringList &args)
    {
        QProcess p;
        start(p, sim, QStringList{"--db", db} + args);
        return finish(p);
    }
    static int count(const QString &db, const QString &where)
    {
        ProfileDb d;
        d.open(db);
        QSqlQuery q(d.database());
        q.exec("SELECT count(*) FROM itemlist WHERE " + where);
        q.next();
        return q.value(0).toInt();
    }
    // A profile with the site's settings and the shop listed (and collected, when asked).
    void prepare(Simulator &sim, const QString &db, bool collected)
    {
        QCOMPARE(cli(sim, db, {"settings", "--site", "mirror.velorix.test", "--user", sim.options().siteUser, "--pass",
                               sim.options().sitePass, "--shop", sim.options().shopHost}).code, 0);
        QCOMPARE(cli(sim, db, {"collect"}).code, 0);
        if (collected)
            QCOMPARE(cli(sim, db, {"detail"}).code, 0);
    }
    static SimOptions shop(int items, int goneShare = 0)
    {
        SimOptions o;
        o.items = items;
        o.goneShare = goneShare;
        return o;
    }
    // Requests per item: the conversions (by their item), the item pages, the uploads taken.
    static QMap<QString, int> perItem(const Simulator &sim, const QString &what)
    {
        QMap<QString, int> n;
        for (const SimRequest &r : sim.requests()) {
            if (what == "convert" && r.host == outside::apiToolHost.toLatin1() && r.body.contains("num_iids="))
                ++n[QString::fromLatin1(r.body).section("num_iids=", 1).section('&', 0, 0)];
            if (what == "page" && outside::itemHosts.contains(QString::fromLatin1(r.host)))
                ++n[QString::fromLatin1(r.query("id"))];
        }
        return n;
    }
    static int most(const QMap<QString, int> &counts)
    {
        int m = 0;
        for (int c : counts)
            m = qMax(m, c);
        return m;
    }

private slots:
    // While a runner works on the profile, a second one that would change it ends with status 4
    // and names the first; reading stays possible. Once the first has ended, or died, the next
    // runs.
    void secondRunnerIsRefusedUntilTheFirstEndsOrDies()
    {
        Simulator sim(shop(6));
        QVERIFY(sim.listen());
        const QString db = dir.filePath("refused.db");
        prepare(sim, db, false);
        sim.options().faults = {*SimFault::parse("tool:hang")};
        const QString lock = RunLock::pathFor(db);

        for (const char *end : {"ends", "dies"}) {
            QProcess first;
            start(first, sim, {"--db", db, "detail"});
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
            const QString names = QStringLiteral("数据库正被另一个程序使用：velorix-cli（进程号 %1，主机 %2）")
                                      .arg(first.processId()).arg(QSysInfo::machineHostName());
            for (const QStringList &args : {QStringList{"collect"}, QStringList{"detail"}, QStringList{"upload"},
                                            QStringList{"run"}, QStringList{"add", outside::itemPageAddress(sim.items().at(0).id)}}) {
                const Run second = cli(sim, db, args);
                QCOMPARE(second.code, 4);
                QVERIFY2(second.err.contains(names), qPrintable(second.err));
            }
            QCOMPARE(cli(sim, db, {"summary"}).code, 0);
            QCOMPARE(cli(sim, db, {"list"}).code, 0);
            QCOMPARE(first.state(), QProcess::Running);
            if (QByteArray(end) == "ends") {
                // The pause button twice: it ends at once.
                ::kill(pid_t(first.processId()), SIGTERM);
                QTest::qWait(100);
                ::kill(pid_t(first.processId()), SIGTERM);
                QCOMPARE(finish(first).code, 3);
                QVERIFY(!QFile::exists(lock));
            } else {
                ::kill(pid_t(first.processId()), SIGKILL);
                QCOMPARE(finish(first).code, -2);
                QVERIFY(QFile::exists(lock));   // left behind by the dead process, and taken over
            }
            const Run next = cli(sim, db, {"collect"});
            QVERIFY2(next.code == 0, qPrintable(next.err));
        }
    }

    // Two cron runs on one profile a moment apart, against a site that loses its login and
    // refuses some items: the second is refused, and no item is converted, read or taken by the
    // site twice; a rerun leaves every row final.
    void twoRunsOnOneProfileDoNothingTwice()
    {
        SimOptions o = shop(30, 10);
        o.sessionLossAfter = 4;
        Simulator sim(o);
        QVERIFY(sim.listen());
        sim.options().refuseItems = {sim.items().at(3).id, sim.items().at(11).id};
        const QString db = dir.filePath("twice.db");
        QCOMPARE(cli(sim, db, {"settings", "--site", "mirror.velorix.test", "--user", o.siteUser, "--pass", o.sitePass,
                               "--shop", o.shopHost}).code, 0);
        sim.clearRequests();

        QProcess first, second;
        start(first, sim, {"--db", db, "run"});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(RunLock::pathFor(db)), 10000);
        start(second, sim, {"--db", db, "run"});
        const Run refused = finish(second);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(refused.code, 4);
        QVERIFY2(refused.err.contains(QStringLiteral("进程号 %1").arg(first.processId())), qPrintable(refused.err));
        QVERIFY2(refused.out.isEmpty(), qPrintable(refused.out));
        const Run done = finish(first);
        QVERIFY2(done.code == 0, qPrintable(done.err));

        QCOMPARE(most(perItem(sim, "convert")), 1);
        QCOMPARE(most(perItem(sim, "page")), 1);
        QCOMPARE(most(sim.acceptedUploads()), 1);
        QCOMPARE(sim.acceptedUploads().size(), count(db, "state=3"));

        const Run again = cli(sim, db, {"run"});
        QVERIFY2(again.code == 0, qPrintable(again.err));
        QCOMPARE(most(sim.acceptedUploads()), 1);
        QCOMPARE(count(db, "1"), 30);
        QCOMPARE(count(db, "errcode=1"), 2);
        QCOMPARE(count(db, "itemstate=0 AND errcode=0 AND state<>3"), 0);   // every row final
        QVERIFY(count(db, "state=3") > 20);
    }

    // Killed while the site holds the post: the row keeps its mark, and the next run says so in
    // the status line and the run log before it posts the row again.
    void interruptedUploadIsOnRecord()
    {
        Simulator sim(shop(4));
        QVERIFY(sim.listen());
        const QString db = dir.filePath("mark.db");
        prepare(sim, db, true);
        sim.options().faults = {*SimFault::parse("upload:hang")};
        QProcess p;
        start(p, sim, {"--db", db, "upload"});
        QString item;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     for (const SimRequest &r : sim.requests())
                                         if (r.path().endsWith(outside::uploadPath.toLatin1()))
                                             item = QString::fromLatin1(r.body).section("itemid=", 1).section('&', 0, 0);
                                     return !item.isEmpty();
                                 }()),
                                 10000);
        ::kill(pid_t(p.processId()), SIGKILL);
        QCOMPARE(finish(p).code, -2);
        QCOMPARE(count(db, "posting=1"), 1);
        QCOMPARE(count(db, "posting=1 AND item='" + item + "'"), 1);

        sim.options().faults.clear();
        const Run rerun = cli(sim, db, {"upload"});
        QCOMPARE(rerun.code, 0);
        const QString said = QStringLiteral("宝贝编号：%1 上次上传后未收到网站的结果（网站可能已收到），现在重新上传").arg(item);
        QVERIFY2(rerun.out.split('\n').contains(said), qPrintable(rerun.out));
        QFile log(dir.filePath("mark.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()).count(said), 1);
        QCOMPARE(count(db, "posting=1"), 0);
        QCOMPARE(count(db, "state=3"), 4);
        QCOMPARE(sim.acceptedUploads().value(item), 1);
    }

    // Every item Step 2 stores is on the disk before the next one starts.
    void stepTwoSyncsEveryItem()
    {
        const QString strace = QStandardPaths::findExecutable("strace");
        if (strace.isEmpty() || QProcess::execute(strace, {"-o", "/dev/null", "true"}) != 0)
            QSKIP("strace is missing or cannot trace here");
        Simulator sim(shop(20));
        QVERIFY(sim.listen());
        const QString db = dir.filePath("synced.db");
        prepare(sim, db, false);
        const QString trace = dir.filePath("syncs.txt");
        QProcess p;
        start(p, sim, {"-f", "-y", "-qq", "-e", "trace=fsync,fdatasync", "-o", trace, kCli, "--db", db, "detail"}, strace);
        QCOMPARE(finish(p).code, 0);
        QCOMPARE(count(db, "state=1"), 20);
        QFile f(trace);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(f.readAll());
        const int syncs = int(lines.count(QRegularExpression(QStringLiteral("f(data)?sync\\(\\d+<[^>]*synced\\.db"))));
        QVERIFY2(syncs >= 20, qPrintable(QStringLiteral("%1 syncs of the profile").arg(syncs)));
    }

    // A profile in a folder, or a file, its user may not write: list and summary read it and say
    // it can only be read; what would change it is refused with status 4, and nothing is
    // written beside it.
    void readOnlyProfile_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("read-only folder") << true;
        QTest::newRow("read-only file") << false;
    }
    void readOnlyProfile()
    {
        QFETCH(bool, folder);
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (::getuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv to run the runner as another user");
        Simulator sim(shop(5));
        QVERIFY(sim.listen());
        const QString source = dir.filePath(folder ? "ro-source-a.db" : "ro-source-b.db");
        prepare(sim, source, false);
        QTemporaryDir place;
        const QString roDir = place.filePath("ro");
        QVERIFY(QDir().mkpath(roDir));
        const QString db = roDir + "/p.db";
        QVERIFY(QFile::copy(source, db));
        const QByteArray nobody = kNobody.toLatin1();
        for (const QString &path : {place.path(), roDir, db})
            QVERIFY(::chown(QFile::encodeName(path).constData(), uid_t(kNobody.toUInt()), gid_t(kNobody.toUInt())) == 0);
        ::chmod(QFile::encodeName(place.path()).constData(), 0755);
        ::chmod(QFile::encodeName(roDir).constData(), folder ? 0555 : 0755);
        ::chmod(QFile::encodeName(db).constData(), folder ? 0600 : 0400);
        QFile before(db);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();

        auto asNobody = [&](const QStringList &args) {
            QProcess p;
            start(p, sim, QStringList{"--reuid=" + kNobody, "--regid=" + kNobody, "--clear-groups", kCli, "--db", db} + args,
                  setpriv);
            return finish(p);
        };
        const QString why = folder ? QStringLiteral("文件夹只读") : QStringLiteral("文件只读");
        const Run list = asNobody({"list"});
        QVERIFY2(list.code == 0, qPrintable(list.err));
        QCOMPARE(list.out.count('\n'), 6);   // the header line and the five rows
        QVERIFY2(list.out.startsWith(QStringLiteral("序列\t宝贝ID\t")), qPrintable(list.out));
        QVERIFY2(list.err.contains(QStringLiteral("只读（%1），只能查看").arg(why)), qPrintable(list.err));
        const Run summary = asNobody({"summary"});
        QCOMPARE(summary.code, 0);
        QVERIFY2(summary.out.contains(QStringLiteral("宝贝总数：5")), qPrintable(summary.out));
        for (const char *command : {"detail", "collect", "upload", "run"}) {
            const Run refused = asNobody({command});
            QCOMPARE(refused.code, 4);
            QVERIFY2(refused.err.contains(QStringLiteral("数据库只读（%1），只能查看，不能开始运行").arg(why)), qPrintable(refused.err));
        }
        const Run settings = asNobody({"settings", "--site", "other.velorix.test", "--user", "demoadmin", "--pass", "plumo"});
        QCOMPARE(settings.code, 1);
        QVERIFY2(settings.out.contains(QStringLiteral("网站信息保存失败：数据库只读，无法写入")), qPrintable(settings.out));

        QFile after(db);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
        if (folder)
            QCOMPARE(QDir(roDir).entryList(QDir::Files | QDir::Hidden), QStringList{"p.db"});
        ::chmod(QFile::encodeName(roDir).constData(), 0755);
    }

    // On a full disk the runner says so: an existing profile cannot even be read for want of the
    // journal's index, and a new one is not made, nor left half-made under its name.
    void fullDiskSaysSo()
    {
        const QString unshare = QStandardPaths::findExecutable("unshare");
        if (::getuid() != 0 || unshare.isEmpty())
            QSKIP("needs root and unshare to mount a small file system of its own");
        Simulator sim(shop(3));
        QVERIFY(sim.listen());
        const QString source = dir.filePath("full-source.db");
        prepare(sim, source, false);
        const QString mount = dir.filePath("full");
        QVERIFY(QDir().mkpath(mount));
        const QString script = QStringLiteral(
            "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 90; cp \"$2\" \"$1/p.db\";"
            "dd if=/dev/zero of=\"$1/fill\" bs=4096 2>/dev/null;"
            "\"$3\" --db \"$1/p.db\" summary; echo \"summary=$?\";"
            "\"$3\" --db \"$1/new.db\" detail; echo \"new=$?\"; ls \"$1\"");
        QProcess p;
        start(p, sim, {"-m", "sh", "-c", script, "sh", mount, source, kCli}, unshare);
        const Run r = finish(p);
        if (r.code == 90 || r.code == 1)
            QSKIP("no file system of its own can be mounted here");
        QVERIFY2(r.out.contains("summary=4") && r.out.contains("new=4"), qPrintable(r.out + r.err));
        QVERIFY2(r.err.contains(QStringLiteral("数据库 %1/p.db 无法使用：无法读取：磁盘空间不足").arg(mount)), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("/new.db 无法使用：无法创建数据库：磁盘空间不足")), qPrintable(r.err));
        QVERIFY2(!r.out.contains("new.db"), qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestOneWriter)
#include "tst_onewriter.moc"
