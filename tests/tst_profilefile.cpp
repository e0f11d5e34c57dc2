#include "store/profiledb.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

// The profile as a file: made whole or not at all, never written once another file has taken its
// name, holding every commit in itself, and picked from by its indexes.

namespace {

QVariant scalar(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return {};
    return q.value(0);
}

// A profile opened on its own connection, with the settings row and every table as made.
bool whole(const QString &path, QString *why)
{
    ProfileDb db;
    if (db.open(path) == ProfileDb::OpenResult::Failed) {
        *why = db.lastError();
        return false;
    }
    if (scalar(db.database(), "PRAGMA integrity_check").toString() != QLatin1String("ok")) {
        *why = QStringLiteral("integrity");
        return false;
    }
    if (scalar(db.database(), "SELECT count(*) FROM soft_config").toInt() != 1) {
        *why = QStringLiteral("settings row");
        return false;
    }
    return true;
}

// The settings rows of a file as it stands, read without making anything; -1 when it is no
// profile.
int settingsRows(const QString &path)
{
    sqlite3 *db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt *q = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM soft_config", -1, &q, nullptr) == SQLITE_OK
            && sqlite3_step(q) == SQLITE_ROW)
            rows = sqlite3_column_int(q, 0);
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return rows;
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    return *static_cast<sqlite3 *const *>(v.constData());
}

int traced(unsigned, void *context, void *statement, void *)
{
    static_cast<QStringList *>(context)->append(QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt *>(statement))));
    return 0;
}

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT

private slots:
    // A file of no bytes holds nothing to keep: it is what an older version left when it was
    // stopped while making the profile, and a start makes the profile anew in its place.
    void emptyFileIsMadeAnew()
    {
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        QVERIFY(QFile(t.path()).open(QIODevice::WriteOnly));
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        QCOMPARE(db.loadSettings().value->web_user, QStringLiteral("demoadmin"));
        QCOMPARE(scalar(db.database(), "PRAGMA journal_mode").toString(), QStringLiteral("wal"));
    }

    // Killed at any moment while it makes the profile, a start leaves either no profile or a
    // whole one, and the next start goes on normally; nothing of the build stays behind.
    void creationKilledAtAnyMoment()
    {
        QTemporaryDir timing;
        QElapsedTimer clock;
        clock.start();
        {
            ProfileDb db;
            QCOMPARE(db.open(timing.filePath("p.db")), ProfileDb::OpenResult::Created);
        }
        const qint64 makingUs = qMax<qint64>(clock.nsecsElapsed() / 1000, 2000);
        constexpr int kKills = 24;
        int killedHalfway = 0;
        for (int i = 0; i < kKills; ++i) {
            TempProfile t;
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                ProfileDb db;
                db.open(t.path());
                ::_exit(0);
            }
            // From at once to a little after the making would have ended.
            ::usleep(useconds_t(makingUs * i * 3 / (2 * kKills)));
            ::kill(child, SIGKILL);
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            if (WIFSIGNALED(status))
                ++killedHalfway;
            // Under the profile's name there is nothing, or a profile with its settings row.
            if (QFile::exists(t.path()))
                QVERIFY2(settingsRows(t.path()) == 1, qPrintable(QStringLiteral("kill %1").arg(i)));
            QString why;
            QVERIFY2(whole(t.path(), &why), qPrintable(QStringLiteral("start after kill %1: %2").arg(i).arg(why)));
            const QStringList left = QFileInfo(t.path()).dir().entryList({"Profile.db.new-*"}, QDir::Files);
            QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
        }
        QVERIFY2(killedHalfway > 0, "no kill came before the making ended");
    }

    // The file taken from under the profile's path: deleted, moved away or replaced by another.
    // Nothing is written any more, what was committed is in the file that was opened, and
    // whatever file now has the name is left as it is, whole.
    void replacedProfileIsNeverWritten_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("deleted") << "deleted";
        QTest::newRow("moved away") << "moved";
        QTest::newRow("another moved over it") << "replaced";
    }
    void replacedProfileIsNeverWritten()
    {
        QFETCH(QString, how);
        TempProfile t, other;
        {
            ProfileDb o;
            QCOMPARE(o.open(other.path()), ProfileDb::OpenResult::Created);
            QVERIFY(o.insertListed("other", "另一个", "", "", 1).ok());
        }
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        QVERIFY(db.insertListed("before", "之前", "", "", 1).ok());
        QVERIFY(db.checkFile().ok());

        const QString moved = QFileInfo(t.path()).dir().filePath("moved.db");
        if (how == "deleted")
            QVERIFY(QFile::remove(t.path()));
        else if (how == "moved")
            QVERIFY(QFile::rename(t.path(), moved));
        else
            QVERIFY(::rename(QFile::encodeName(other.path()).constData(), QFile::encodeName(t.path()).constData()) == 0);
        const QByteArray inPlace = bytesOf(t.path());

        const DbStatus same = db.checkFile();
        QVERIFY(!same.ok());
        QCOMPARE(same.reason(), QStringLiteral("数据库文件已被删除、移动或替换"));
        const DbResult<qint64> written = db.insertListed("after", "之后", "", "", 2);
        QVERIFY(!written.ok());
        QCOMPARE(written.reason(), same.reason());
        QVERIFY(!db.begin().ok());
        QVERIFY(!db.savePublisherId("1").ok());
        QCOMPARE(bytesOf(t.path()), inPlace);

        // Opened beside the running one: what now has the name is read as it is, not through
        // the journal the first one left beside the name.
        if (how == "replaced") {
            ProfileDb now;
            QCOMPARE(now.open(t.path()), ProfileDb::OpenResult::Opened);
            QCOMPARE(scalar(now.database(), "PRAGMA integrity_check").toString(), QStringLiteral("ok"));
            QCOMPARE(scalar(now.database(), "SELECT group_concat(item) FROM itemlist").toString(), QStringLiteral("other"));
        }
        // The file that moved away holds what was committed before, without its journal.
        if (how == "moved") {
            ProfileDb away;
            QCOMPARE(away.open(moved), ProfileDb::OpenResult::Opened);
            QVERIFY(away.itemByItem("before").value);
            QVERIFY(!away.itemByItem("after").value);
        }
        db.close();
        if (how == "deleted") {
            QVERIFY(!QFile::exists(t.path()));
            ProfileDb fresh;
            QCOMPARE(fresh.open(t.path()), ProfileDb::OpenResult::Created);
            QCOMPARE(fresh.itemCount().value, 0);
        }
    }

    // The picks of Steps 2 and 3 take the first waiting row from an index of their own, in
    // their order, without sorting the rows that wait.
    void picksUseTheirIndexes()
    {
        TempProfile t;
        ProfileDb db;
        db.open(t.path());
        QVERIFY(db.begin().ok());
        for (int i = 0; i < 300; ++i)
            QVERIFY(db.insertListed(QString::number(i), "宝贝", "", "", i % 40).ok());
        QSqlQuery(db.database()).exec("UPDATE itemlist SET state=id%4, errcode=(id%7=0), itemstate=(id%11=0)");
        QVERIFY(db.commit().ok());

        QStringList statements;
        sqlite3_trace_v2(handleOf(db.database()), SQLITE_TRACE_STMT, traced, &statements);
        const DbResult<QString> collect = db.nextUncollected();
        const auto upload = db.nextToUpload();
        sqlite3_trace_v2(handleOf(db.database()), 0, nullptr, nullptr);
        QVERIFY(collect.ok() && upload.ok());
        QCOMPARE(statements.size(), 2);
        const struct { QString index; QString expected; } picks[] = {
            {"itemlist_collect_pick", scalar(db.database(), "SELECT item FROM itemlist WHERE state=0 AND itemstate=0 "
                                                            "ORDER BY byid DESC, id DESC LIMIT 1").toString()},
            {"itemlist_upload_pick", scalar(db.database(), "SELECT item FROM itemlist WHERE errcode=0 AND itemstate=0 AND "
                                                           "state IN (1,2) ORDER BY byid ASC, id DESC LIMIT 1").toString()},
        };
        QCOMPARE(collect.value, picks[0].expected);
        QCOMPARE(upload.value->item, picks[1].expected);
        for (int i = 0; i < 2; ++i) {
            QSqlQuery plan(db.database());
            QVERIFY(plan.exec("EXPLAIN QUERY PLAN " + statements[i]));
            QStringList steps;
            while (plan.next())
                steps << plan.value(3).toString();
            const QString all = steps.join(" | ");
            QVERIFY2(all.contains("USING INDEX " + picks[i].index) && !all.contains("TEMP B-TREE"), qPrintable(all));
        }
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
