// The site password in the system keyring: kept there where one answers, in the profile where
// none does, and never an empty one sent to the site.
#include "outside/outside.h"
#include "publish/uploadstep.h"
#include "rig.h"
#include "store/secretstore.h"

#include <QFile>

class TestSecrets : public QObject
{
    Q_OBJECT

    static QString server() { return QStringLiteral("mirror.velorix.test"); }
    static void save(Rig &r, const QString &pass)
    {
        QSignalSpy saved(&r.session.password(), &SitePassword::saved);
        QString s = server();
        QVERIFY(r.session.saveSiteSettings(QStringLiteral("demoadmin"), pass, s, QString()).ok());
        QVERIFY(saved.wait(2000));
    }
    static SoftConfig stored(Rig &r) { return *r.db().loadSettings().value; }
    static int logins(const Simulator &sim)
    {
        int n = 0;
        for (const SimRequest &q : sim.requests())
            n += q.path() == outside::loginPath.toLatin1();
        return n;
    }
    static QString logText(Rig &r)
    {
        QFile f(RunLog::pathFor(r.profile.path()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void savedIntoTheKeyringAndReadBack()
    {
        MemorySecretStore keyring;
        Rig r;
        r.session.password().setStore(&keyring);
        save(r, QStringLiteral("plumo"));
        QCOMPARE(stored(r).web_pass, QString());
        QVERIFY(stored(r).passInKeyring());
        QCOMPARE(keyring.entries.value(SecretStore::keyFor(r.profile.path(), "demoadmin")), QStringLiteral("plumo"));
        QCOMPARE(r.session.password().placeText(), QStringLiteral("密码保存在系统密钥环中"));

        // The next start reads it back from the keyring, and Step 3 logs in with it.
        Rig again;
        again.session.password().setStore(&keyring);
        again.session.opendb(r.profile.path());
        QSignalSpy known(&again.session.password(), &SitePassword::known);
        again.session.getsoftinfo();
        QVERIFY(again.session.password().pending());
        QVERIFY(known.wait(2000));
        QCOMPARE(again.session.webpass(), QStringLiteral("plumo"));
        QCOMPARE(again.session.password().problem(), QString());
    }

    // No keyring answers: the password stays in the profile as before, and the log says so once.
    void fallbackKeepsItInTheProfile()
    {
        MemorySecretStore keyring;
        keyring.reachable = false;
        Rig r;
        r.session.password().setStore(&keyring);
        save(r, QStringLiteral("plumo"));
        save(r, QStringLiteral("plumo2"));
        QCOMPARE(stored(r).web_pass, QStringLiteral("plumo2"));
        QVERIFY(!stored(r).passInKeyring());
        QVERIFY(keyring.entries.isEmpty());
        QCOMPARE(r.session.password().placeText(), QStringLiteral("密码保存在配置文件中（无法连接到系统密钥环）"));
        QCOMPARE(logText(r).count(QStringLiteral("网站后台密码保存在配置文件中")), 1);
        // The password in force is the one given, whichever place took it.
        QCOMPARE(r.session.webpass(), QStringLiteral("plumo2"));
    }

    // A profile that points to the keyring, whose keyring does not give the password: Step 3
    // stops before anything goes out and says why, both by its button and by hand.
    void keyringWithoutThePasswordStopsStep3_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("why");
        QTest::newRow("unreachable") << false << "无法连接到系统密钥环";
        QTest::newRow("entry missing") << true << "系统密钥环中没有该密码";
    }
    void keyringWithoutThePasswordStopsStep3()
    {
        QFETCH(bool, reachable);
        QFETCH(QString, why);
        MemorySecretStore keyring;
        Rig r;
        r.session.password().setStore(&keyring);
        save(r, QStringLiteral("plumo"));
        keyring.entries.clear();
        keyring.reachable = reachable;
        QSignalSpy known(&r.session.password(), &SitePassword::known);
        r.session.getsoftinfo();
        QVERIFY(known.wait(2000));
        QCOMPARE(r.session.webpass(), QString());

        r.session.uploadStep().setShopLink(true);
        QVERIFY(r.db().insertListed("1001", "宝贝", "http://img01.taobaocdn.com/p.jpg", "9.90", 1).ok());
        r.exec("UPDATE itemlist SET state=1");
        QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
        r.session.uploadStep().click();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Stopped);
        QVERIFY2(r.lastStatus().startsWith(QStringLiteral("无法从系统密钥环读取网站后台密码（") + why + "）"),
                 qPrintable(r.lastStatus()));
        QVERIFY(!r.session.uploadStep().running());
        // The button can be pressed again: the lock went back.
        QString busy;
        QVERIFY2(r.session.runLock().take(&busy), qPrintable(busy));

        r.session.uploadStep().uploadNow(1);
        QCOMPARE(r.notes.messages.last(), r.lastStatus());
        QTest::qWait(50);
        QCOMPARE(logins(r.sim), 0);
        QCOMPARE(r.count("state=3"), 0);
    }

    // A keyring that never answers (its unlock prompt on a screen nobody watches) ends the
    // wait after its deadline, with why, and Step 3 stops with that text.
    void keyringThatNeverAnswersEndsTheWait()
    {
        struct Silent : MemorySecretStore {
            void read(const QString &, QObject *, Done) override { ++calls; }
        };
        MemorySecretStore keyring;
        Rig r;
        r.session.password().setStore(&keyring);
        save(r, QStringLiteral("plumo"));
        Silent silent;
        r.session.password().setStore(&silent);
        r.session.password().setReadDeadline(100);
        QSignalSpy known(&r.session.password(), &SitePassword::known);
        r.session.getsoftinfo();
        QVERIFY(r.session.password().pending());
        QVERIFY(known.wait(2000));
        QCOMPARE(silent.calls, 1);
        QVERIFY(!r.session.password().pending());
        QCOMPARE(r.session.webpass(), QString());
        const QString problem = r.session.password().problem();
        QVERIFY2(problem.startsWith(QStringLiteral("系统密钥环在1秒内没有应答")), qPrintable(problem));

        r.session.uploadStep().setShopLink(true);
        QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
        r.session.uploadStep().click();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Stopped);
        QCOMPARE(r.lastStatus(), problem);
        QCOMPARE(logins(r.sim), 0);
    }

    // Before the keyring has answered, there is no password either.
    void step3WaitsForNoPassword()
    {
        MemorySecretStore keyring;
        Rig r;
        r.session.password().setStore(&keyring);
        save(r, QStringLiteral("plumo"));
        r.session.getsoftinfo();
        QVERIFY(r.session.password().pending());
        r.session.uploadStep().setShopLink(true);
        r.session.uploadStep().click();
        QCOMPARE(r.lastStatus(), QStringLiteral("正在从系统密钥环读取网站后台密码，请稍后再试"));
        QTest::qWait(20);
        QCOMPARE(logins(r.sim), 0);
        QCOMPARE(r.session.webpass(), QStringLiteral("plumo"));
    }

    // A profile written before the keyring keeps its password where it is and works as before.
    void plainProfileNeedsNoKeyring()
    {
        MemorySecretStore keyring;
        Rig r;
        r.exec("UPDATE soft_config SET web_pass='oldpass', pass_store=NULL");
        r.session.password().setStore(&keyring);
        r.session.getsoftinfo();
        QVERIFY(!r.session.password().pending());
        QCOMPARE(r.session.webpass(), QStringLiteral("oldpass"));
        QCOMPARE(keyring.calls, 0);
    }
};

QTEST_GUILESS_MAIN(TestSecrets)
#include "tst_secrets.moc"
