// The profile's newer parts: where the password is kept, and the runner's run records.
#include "store/profiledb.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QtTest>

class TestRunRecords : public QObject
{
    Q_OBJECT
    static QVariant scalar(ProfileDb &db, const QString &sql)
    {
        QSqlQuery q(db.database());
        if (!q.exec(sql) || !q.next())
            return {};
        return q.value(0);
    }

private slots:
    // A profile of version 3 takes the password's place and the run records; its password
    // stays where it was.
    void migratesAVersion3Profile()
    {
        TempProfile t;
        {
            ProfileDb db;
            QVERIFY(db.open(t.path()) == ProfileDb::OpenResult::Created);
            QVERIFY(db.saveSiteSettings("olduser", "oldpass", "old.site", ""));
            QSqlQuery q(db.database());
            QVERIFY(q.exec("DROP TABLE runrecord"));
            QVERIFY(q.exec("ALTER TABLE soft_config DROP COLUMN pass_store"));
            QVERIFY(q.exec("PRAGMA user_version=3"));
        }
        ProfileDb db;
        QVERIFY2(db.open(t.path()) == ProfileDb::OpenResult::Opened, qPrintable(db.lastError()));
        QCOMPARE(scalar(db, "PRAGMA user_version").toInt(), ProfileDb::kSchemaVersion);
        const SoftConfig c = *db.loadSettings().value;
        QCOMPARE(c.web_pass, QStringLiteral("oldpass"));
        QVERIFY(!c.passInKeyring());
        QVERIFY(db.lastRunRecord(false).ok());
        QVERIFY(!db.lastRunRecord(false).value);
        // The keyring takes it; a save with a password puts it back in the row.
        QVERIFY(db.setPassInKeyring());
        QCOMPARE(db.loadSettings().value->web_pass, QString());
        QVERIFY(db.loadSettings().value->passInKeyring());
        QVERIFY(db.saveSiteSettings("olduser", "newpass", "old.site", ""));
        QVERIFY(!db.loadSettings().value->passInKeyring());
        QCOMPARE(db.loadSettings().value->web_pass, QStringLiteral("newpass"));
    }

    // Once in the keyring, the password's bytes are nowhere in the profile's files.
    void passwordLeavesNoTrace()
    {
        TempProfile t;
        const QByteArray secret = "Zq8-unmistakable-secret";
        {
            ProfileDb db;
            QVERIFY(db.open(t.path()) != ProfileDb::OpenResult::Failed);
            QVERIFY(db.saveSiteSettings("user1", QString::fromLatin1(secret), "site.test", ""));
            QVERIFY(db.checkpoint());
            QVERIFY(db.setPassInKeyring());
            QDir folder = QFileInfo(t.path()).dir();
            for (const QString &name : folder.entryList(QDir::Files)) {
                QFile f(folder.filePath(name));
                QVERIFY(f.open(QIODevice::ReadOnly));
                QVERIFY2(!f.readAll().contains(secret), qPrintable(name));
            }
        }
    }

    // The newest records are kept, and the last unattended one is found past later ones.
    void runRecordsKeepTheNewest()
    {
        TempProfile t;
        ProfileDb db;
        QVERIFY(db.open(t.path()) != ProfileDb::OpenResult::Failed);
        const QDateTime start(QDate(2026, 12, 1), QTime(3, 0));
        for (int i = 0; i < ProfileDb::kRunRecordsKept + 20; ++i) {
            RunRecord r;
            r.command = "run";
            r.started = start.addDays(i);
            r.ended = r.started.addSecs(600);
            r.status = i % 2 ? 13 : 0;
            r.unattended = i < ProfileDb::kRunRecordsKept + 10;
            r.uploaded = i;
            r.uploadedNow = 1;
            QVERIFY(db.addRunRecord(r));
        }
        QCOMPARE(scalar(db, "SELECT count(*) FROM runrecord").toInt(), ProfileDb::kRunRecordsKept);
        QCOMPARE(scalar(db, "SELECT min(uploaded) FROM runrecord").toInt(), 20);
        const RunRecord last = *db.lastRunRecord(false).value;
        QCOMPARE(last.uploaded, ProfileDb::kRunRecordsKept + 19);
        QVERIFY(!last.unattended);
        const RunRecord unattended = *db.lastRunRecord(true).value;
        QCOMPARE(unattended.uploaded, ProfileDb::kRunRecordsKept + 9);
        QCOMPARE(unattended.status, 13);
        QCOMPARE(unattended.ended, start.addDays(ProfileDb::kRunRecordsKept + 9).addSecs(600));
        QVERIFY(unattended.unattended);
    }
};

QTEST_GUILESS_MAIN(TestRunRecords)
#include "tst_runrecords.moc"
