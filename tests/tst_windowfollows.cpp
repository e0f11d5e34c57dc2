#include "windowfixture.h"
#include "app/modedialog.h"
#include "session/profilewatch.h"
#include "sim/simulator.h"
#include "store/runlock.h"

#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

// The window beside a runner on the same profile: its steps refused while the runner works,
// editing still possible, and the list following what the runner changed; a profile it may
// only read.

namespace {

const QString kCli = QStringLiteral(VELORIX_BIN_DIR "/velorix-cli");
// Set in the copy of this test that runs as another user, to the profile it is to show.
const char *const kReadOnlyProfile = "VELORIX_TEST_READONLY_PROFILE";

} // namespace

class TestWindowFollows : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;

    static void startCli(QProcess &p, const Simulator &sim, const QString &db, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELORIX_KEYRING", "none");   // never the developer's own keyring
        env.insert("VELORIX_CONNECT_TO", "127.0.0.1:" + QString::number(sim.port()));
        env.insert("VELORIX_PACE", "0.1");
        p.setProcessEnvironment(env);
        p.start(kCli, QStringList{"--db", db} + args);
    }
    // Runs to the end while the simulator, in this process, keeps serving.
    static int cli(const Simulator &sim, const QString &db, const QStringList &args)
    {
        QProcess p;
        QSignalSpy done(&p, &QProcess::finished);
        startCli(p, sim, db, args);
        if (!done.wait(30000))
            return -1;
        return p.exitCode();
    }
    static void listShop(Simulator &sim, const QString &db)
    {
        QCOMPARE(cli(sim, db, {"settings", "--site", "mirror.velorix.test", "--user", "demoadmin", "--pass", "plumo",
                               "--shop", sim.options().shopHost}),
                 0);
        QCOMPARE(cli(sim, db, {"collect"}), 0);
    }
    static SimOptions shop(int items)
    {
        SimOptions o;
        o.items = items;
        o.goneShare = 0;
        return o;
    }
    static QSet<qint64> selectedIds(Fixture &f)
    {
        QSet<qint64> ids;
        for (const QModelIndex &i : f.list()->selectionModel()->selectedRows())
            ids << f.window->model()->row(i.row()).id;
        return ids;
    }

private slots:
    // A runner works on the profile: the window's step buttons say who holds it and leave their
    // captions alone; the operator still edits and saves an item.
    void stepsAreRefusedWhileARunnerWorks()
    {
        Simulator sim(shop(6));
        QVERIFY(sim.listen());
        Fixture f;
        QDir().mkpath(QFileInfo(f.profile.path()).path());
        listShop(sim, f.profile.path());
        f.exec("UPDATE itemlist SET state=1, web_title='页标题', web_key='关键词', web_doc='描述' WHERE id=1");
        f.open();
        sim.options().faults = {*SimFault::parse("tool:hang")};
        QProcess runner;
        startCli(runner, sim, f.profile.path(), {"detail"});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(RunLock::pathFor(f.profile.path())), 10000);
        const QString holder = QStringLiteral("数据库正被另一个程序使用：velorix-cli（进程号 %1，").arg(runner.processId());

        const struct { const char *button; const char *caption; } steps[] = {
            {"Command1", "第一步：列表采集"}, {"command2", "第二步：宝贝采集"}, {"command3", "第三步：更新上传"}};
        for (const auto &s : steps) {
            f.click(QString::fromLatin1(s.button));
            QVERIFY2(f.status().startsWith(holder), qPrintable(f.status()));
            QCOMPARE(f.get<QAbstractButton>(s.button)->text(), QString::fromUtf8(s.caption));
        }
        QVERIFY(!f.window->findChild<ModeDialog *>());

        const int row = f.shownItems().indexOf(f.prepare().itemById(1).value->item);
        f.clickRow(row);
        f.get<QLineEdit>("web_title")->setText(QStringLiteral("运行时改的标题"));
        f.notes.messages.clear();
        f.click("XPButton22");
        QCOMPARE(f.status(), QStringLiteral("保存成功，请重新上传该数据！"));
        QCOMPARE(f.prepare().itemById(1).value->web_title, QStringLiteral("运行时改的标题"));
        runner.kill();
        runner.waitForFinished();
    }

    // A runner collects the items the window shows: the list follows, and the rows the operator
    // highlighted, the current one and the editor's row stay.
    void listFollowsARunner()
    {
        Simulator sim(shop(6));
        QVERIFY(sim.listen());
        Fixture f;
        QDir().mkpath(QFileInfo(f.profile.path()).path());
        listShop(sim, f.profile.path());
        f.open();
        f.session.profileWatch().setInterval(20);
        QCOMPARE(f.window->model()->rowCount(), 6);
        f.clickRow(1);
        f.clickRow(4, Qt::LeftButton, Qt::ControlModifier);
        const QSet<qint64> chosen = selectedIds(f);
        QCOMPARE(chosen.size(), 2);
        const qint64 editorRow = f.session.editorRow();
        const qint64 current = f.window->model()->row(f.list()->currentIndex().row()).id;
        QCOMPARE(f.window->model()->label(1), QStringLiteral("未采集"));

        QCOMPARE(cli(sim, f.profile.path(), {"detail"}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(f.window->model()->label(1), QStringLiteral("已采集"), 5000);
        for (int r = 0; r < 6; ++r)
            QCOMPARE(f.window->model()->label(r), QStringLiteral("已采集"));
        QCOMPARE(selectedIds(f), chosen);
        QCOMPARE(f.session.editorRow(), editorRow);
        QCOMPARE(f.window->model()->row(f.list()->currentIndex().row()).id, current);
    }

    // A profile in a folder its user may not write: the window shows it and says it can only be
    // read; a step is refused and says why. Run as that user by a copy of this test.
    void readOnlyProfileIsShownAndStepsRefused()
    {
        const QString shown = qEnvironmentVariable(kReadOnlyProfile);
        if (!shown.isEmpty()) {
            ScriptedNotifier notes;
            WebService web;
            Session session(notes, web);
            MainWindow w(session);
            w.load(shown);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(w.findChild<StatusLine *>("Label1")->fullText(),
                     QStringLiteral("数据库 %1 只读（文件夹只读），只能查看，不能采集、上传或保存").arg(shown));
            QCOMPARE(w.model()->rowCount(), 4);
            auto *step2 = w.findChild<QAbstractButton *>("command2");
            QTest::mouseClick(step2, Qt::LeftButton);
            QCOMPARE(w.findChild<StatusLine *>("Label1")->fullText(),
                     QStringLiteral("数据库只读（文件夹只读），只能查看，不能开始运行"));
            QCOMPARE(step2->text(), QStringLiteral("第二步：宝贝采集"));
            return;
        }
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (::getuid() != 0 || setpriv.isEmpty())
            QSKIP("needs root and setpriv to show the window as another user");
        Simulator sim(shop(4));
        QVERIFY(sim.listen());
        QTemporaryDir place;
        const QString folder = place.filePath("ro");
        QVERIFY(QDir().mkpath(folder));
        const QString db = folder + "/Profile.db";
        listShop(sim, db);
        QFile::remove(place.filePath("ro/Profile.log"));
        for (const QString &path : {place.path(), folder, db})
            QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
        ::chmod(QFile::encodeName(place.path()).constData(), 0755);
        ::chmod(QFile::encodeName(folder).constData(), 0555);

        QProcess copy;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELORIX_KEYRING", "none");   // never the developer's own keyring
        env.insert(kReadOnlyProfile, db);
        env.insert("HOME", place.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("XDG_RUNTIME_DIR");
        copy.setProcessEnvironment(env);
        copy.setProcessChannelMode(QProcess::MergedChannels);
        copy.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", QCoreApplication::applicationFilePath(),
                             "readOnlyProfileIsShownAndStepsRefused"});
        QVERIFY(copy.waitForFinished(30000));
        const QString said = QString::fromUtf8(copy.readAll());
        QVERIFY2(copy.exitCode() == 0 && said.contains("Totals: 3 passed, 0 failed"), qPrintable(said));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Profile.db"});
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    }
};

QTEST_MAIN(TestWindowFollows)
#include "tst_windowfollows.moc"
