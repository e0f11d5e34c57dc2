#include "store/profiledb.h"
#include "store/initialsettings.h"
#include "store/itemlist.h"
#include "store/itemstate.h"
#include "store/profilefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>
#include <atomic>

namespace {

const char *const kCreateSoftConfig = R"(
CREATE TABLE soft_config (
  web_server    TEXT,
  web_user      TEXT,
  web_pass      TEXT,
  web_adminpath TEXT,
  alimama       TEXT,
  pageid        INTEGER DEFAULT 0,
  t_1 INTEGER DEFAULT 0, t_2 INTEGER DEFAULT 0, t_3 INTEGER DEFAULT 1,
  ttx_1 TEXT, ttx_2 TEXT, ttx_3 TEXT,
  d_1 INTEGER DEFAULT 0, d_2 INTEGER DEFAULT 0, d_3 INTEGER DEFAULT 1,
  dtx_1 TEXT, dtx_2 TEXT, dtx_3 TEXT,
  k_1 INTEGER DEFAULT 0, k_2 INTEGER DEFAULT 0, k_3 INTEGER DEFAULT 1,
  ktx_1 TEXT, ktx_2 TEXT, ktx_3 TEXT,
  guest_shop    TEXT,
  shopsid       TEXT,
  pass_store    TEXT DEFAULT ''
))";

// AUTOINCREMENT: an id is never handed out twice, so an id remembered by the editor can
// never name a row inserted after the one it meant was deleted.
const char *const kCreateItemlist = R"(
CREATE TABLE itemlist (
  id            INTEGER PRIMARY KEY AUTOINCREMENT,
  item          TEXT,
  title         TEXT,
  money         TEXT,
  web_pic       TEXT,
  click_url     TEXT,
  web_title     TEXT,
  web_key       TEXT,
  web_doc       TEXT,
  web_content   TEXT,
  web_url       TEXT,
  state         INTEGER NOT NULL DEFAULT 0,
  itemstate     INTEGER NOT NULL DEFAULT 0,
  byid          INTEGER,
  html          INTEGER,
  errcode       INTEGER NOT NULL DEFAULT 0,
  errdecription TEXT,
  updatetime    TEXT DEFAULT (strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime')),
  posting       INTEGER NOT NULL DEFAULT 0
))";

QStringList indexes()
{
    return {
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS itemlist_item ON itemlist(item)"),
        // the list's order
        QStringLiteral("CREATE INDEX IF NOT EXISTS itemlist_order ON itemlist(byid DESC, id DESC)"),
        // The picks of Steps 2 and 3, in their order: each holds only the rows waiting for its
        // step, so that the first row comes without sorting every waiting row.
        QStringLiteral("CREATE INDEX IF NOT EXISTS itemlist_collect_pick ON itemlist(byid DESC, id DESC) WHERE %1")
            .arg(QLatin1String(itemstate::kWaitingForCollectionSql)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS itemlist_upload_pick ON itemlist(byid, id DESC) WHERE %1")
            .arg(QLatin1String(itemstate::kWaitingForUploadSql)),
    };
}

// How each run of the headless runner ended; the newest few are kept.
const char *const kCreateRunRecord = R"(
CREATE TABLE IF NOT EXISTS runrecord (
  id           INTEGER PRIMARY KEY AUTOINCREMENT,
  started      TEXT,
  ended        TEXT,
  command      TEXT,
  status       INTEGER NOT NULL,
  unattended   INTEGER NOT NULL DEFAULT 0,
  listed       INTEGER NOT NULL DEFAULT 0,
  waiting      INTEGER NOT NULL DEFAULT 0,
  uploaded     INTEGER NOT NULL DEFAULT 0,
  refused      INTEGER NOT NULL DEFAULT 0,
  abnormal     INTEGER NOT NULL DEFAULT 0,
  uploaded_now INTEGER NOT NULL DEFAULT 0
))";

// Indexes of earlier versions that the picks' own replace.
const char *const kRetiredIndexes[] = {"itemlist_uncollected", "itemlist_upload"};

} // namespace

ProfileDb::ProfileDb()
{
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("profile-%1").arg(counter++);
}

ProfileDb::~ProfileDb()
{
    close();
}

QStringList ProfileDb::softConfigColumns(int version)
{
    QStringList columns = QStringLiteral("web_server,web_user,web_pass,web_adminpath,alimama,pageid").split(QLatin1Char(','));
    for (const RuleColumns &c : kRuleColumns) {
        for (int n = 1; n <= 3; ++n)
            columns << c.switchColumn(n);
        for (int n = 1; n <= 3; ++n)
            columns << c.textColumn(n);
    }
    if (version >= 2)
        columns << QStringLiteral("guest_shop") << QStringLiteral("shopsid");
    if (version >= 5)
        columns << QStringLiteral("pass_store");
    return columns;
}

bool ProfileDb::installed()
{
    // The installed layout: prefix/bin with the guide in prefix/share/velorix. A build folder
    // has the guide beside the program.
    const QDir dir(QCoreApplication::applicationDirPath());
    return dir.dirName() == QLatin1String("bin") && QFileInfo::exists(dir.filePath(QStringLiteral("../share/velorix")));
}

QString ProfileDb::defaultPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/db/Profile.db");
    // An installed program's folder belongs to the system, whoever can write it: root too
    // keeps its profile in its own data folder, never in /usr/bin/db.
    if (installed())
        return data;
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString dbDir = appDir + QStringLiteral("/db");
    QFileInfo dirInfo(QFileInfo::exists(dbDir) ? dbDir : appDir);
    if (dirInfo.isWritable())
        return dbDir + QStringLiteral("/Profile.db");
    return data;
}

DbStatus ProfileDb::run(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    // Nothing is written into a file that is no longer the profile's: a step stops instead.
    const bool reads = sql.startsWith(QLatin1String("SELECT")) || (sql.startsWith(QLatin1String("PRAGMA")) && !sql.contains(QLatin1Char('=')));
    if (!reads && m_identity.valid)
        if (DbStatus same = checkFile(); !same)
            return same;
    return runStatement(q, sql, values);
}

DbStatus ProfileDb::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(database());
    return run(q, sql, values);
}

ProfileDb::OpenResult ProfileDb::open(const QString &path)
{
    close();
    m_path = path;
    m_error.clear();
    m_errorDetail.clear();
    m_readOnly.clear();
    m_identity = {};
    m_replacedSeen = false;
    const QFileInfo info(path);
    const bool existed = info.exists();

    if (existed && !info.isFile()) {
        m_error = QStringLiteral("不是数据库文件");
        return OpenResult::Failed;
    }
    // The profile holds the site password: a folder made for it, and the file, its journal and
    // its copies, are for their owner only (SQLite gives the journal the file's permissions).
    if (!existed && !QFileInfo::exists(info.absolutePath()) && QDir().mkpath(info.absolutePath()))
        QFile::setPermissions(info.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!existed && !QDir().mkpath(info.absolutePath())) {
        m_error = QStringLiteral("无法创建目录 %1").arg(QDir::toNativeSeparators(info.absolutePath()));
        return OpenResult::Failed;
    }

    // An empty file is what an older version left when it was stopped while making the
    // profile: there is nothing in it to keep, and it is made anew.
    bool created = false;
    if (!existed || info.size() == 0) {
        bool taken = false;
        if (!build(path, existed, &taken) && !taken)
            return OpenResult::Failed;
        created = !taken;   // else another program made it meanwhile: that one is opened
    }
    if (!created)
        m_readOnly = profilefile::readOnlyReason(path);
    if (!openConnection(path))
        return OpenResult::Failed;
    if (!created) {
        QString problem;
        if (!checkSchema(&problem)) {
            m_error = problem;
            close();
            return OpenResult::Failed;
        }
    }
    m_identity = profilefile::identityOf(path);

    if (m_readOnly.isEmpty()) {
        // WAL: a kill never leaves a torn file, and readers in other processes go on while a
        // step writes. FULL: every commit is on the disk when it returns, so a power loss
        // takes back nothing a step has reported done (a few commits a second cost little).
        exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
    }
    m_ok = true;
    return created ? OpenResult::Created : OpenResult::Opened;
}

bool ProfileDb::openConnection(const QString &path)
{
    QString failed;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
        if (m_readOnly.isEmpty()) {
            db.setDatabaseName(path);
        } else if (profilefile::nobodyCanWrite(path)) {
            // The index SQLite keeps beside a WAL file cannot be made in a folder nobody may
            // write, and it is not needed there: the file cannot change while it is read.
            options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
            db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1"));
        } else {
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
            db.setDatabaseName(path);
        }
        db.setConnectOptions(options);
        if (!db.open()) {
            const DbStatus why = DbStatus::of(db.lastError());
            failed = why.ok() ? QStringLiteral("无法打开数据库文件") : why.reason();
            m_errorDetail = why.error;
        }
    }
    if (failed.isEmpty())
        return true;
    m_error = failed;
    close();
    return false;
}

bool ProfileDb::build(const QString &path, bool replaceEmpty, bool *taken)
{
    // The schema is built in a file of its own beside the profile, which takes the profile's
    // name only when it is whole: a profile stopped half-made is never left under that name.
    profilefile::removeDeadBuilds(path);
    const QString build = profilefile::buildPath(path);
    const QString failed = QStringLiteral("无法创建数据库文件 %1").arg(QDir::toNativeSeparators(path));
    {
        QFile f(build);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || !f.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
            m_error = failed;
            return false;
        }
    }
    if (!openConnection(build)) {
        QFile::remove(build);
        return false;
    }
    DbStatus made = createSchema();
    // In WAL mode from its first use on: nothing of the file changes once it has its name.
    if (made)
        made = exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    close();
    if (!made) {
        m_error = QStringLiteral("无法创建数据库：") + made.reason();
        m_errorDetail = made.error;
        QFile::remove(build);
        QFile::remove(build + QStringLiteral("-journal"));
        return false;
    }
    if (!profilefile::place(build, path, replaceEmpty, taken)) {
        if (!*taken)
            m_error = failed;
        return false;
    }
    return true;
}

void ProfileDb::close()
{
    m_ok = false;
    m_identity = {};
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            if (db.isOpen()) {
                // Everything into the file itself, so that the file alone, copied as it stands,
                // holds every commit.
                if (m_readOnly.isEmpty())
                    QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

DbStatus ProfileDb::checkpoint()
{
    if (!m_ok || !m_readOnly.isEmpty())
        return {};
    QSqlQuery q(database());
    return run(q, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

DbStatus ProfileDb::checkFile()
{
    if (!m_identity.valid)
        return DbStatus::failed(QStringLiteral("not open"), 14);
    if (profilefile::identityOf(m_path) == m_identity)
        return {};
    if (!m_replacedSeen) {
        m_replacedSeen = true;
        // What this connection still holds in its journal goes into the file it opened: a
        // journal left beside the path would be read into whatever file comes there next.
        QSqlQuery(database()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    return DbStatus::failed(QStringLiteral("the file at %1 is no longer the one opened").arg(m_path),
                            DbStatus::kFileReplaced);
}

DbResult<qint64> ProfileDb::dataVersion()
{
    QSqlQuery q(database());
    if (const DbStatus s = run(q, QStringLiteral("PRAGMA data_version")); !s)
        return s;
    if (!q.next())
        return q.lastError().isValid() ? DbStatus::of(q.lastError()) : DbStatus::failed(QStringLiteral("no data_version"));
    return q.value(0).toLongLong();
}

DbStatus ProfileDb::createSchema()
{
    DbStatus s = begin();
    if (!s)
        return s;
    QStringList statements = {QString::fromLatin1(kCreateSoftConfig), QString::fromLatin1(kCreateItemlist),
                              QString::fromLatin1(kCreateRunRecord)};
    statements << indexes() << itemlist::schema();
    for (const QString &sql : statements)
        if (s = exec(sql); !s)
            break;
    if (s)
        s = exec(QStringLiteral("INSERT INTO soft_config (web_server, web_user, web_pass, web_adminpath, "
                                "alimama, pageid, guest_shop, shopsid) VALUES (?, ?, ?, ?, '', 0, '', '')"),
                 {initial::webServer, initial::webUser, initial::webPass, initial::webAdminPath});
    return stampAndCommit(s);
}

bool ProfileDb::checkSchema(QString *problem)
{
    QSqlQuery q(database());
    if (const DbStatus read = run(q, QStringLiteral("PRAGMA user_version")); !read || !q.next()) {
        *problem = QStringLiteral("无法读取：") + (read ? QStringLiteral("数据库错误") : read.reason());
        m_errorDetail = read.error;
        return false;
    }
    const int version = q.value(0).toInt();
    q.finish();   // a statement left open keeps a migration from changing the schema
    if (version > kSchemaVersion) {
        *problem = QStringLiteral("由更新版本的软件创建（版本%1）").arg(version);
        return false;
    }
    auto columnsOf = [this](const QString &table) {
        QStringList names;
        QSqlQuery t(database());
        if (t.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
            while (t.next())
                names << t.value(1).toString().toLower();
        return names;
    };
    // A file has the columns of the version it is stamped with; a migration adds the rest.
    // Version 0 is a file made before versions were kept, with the columns of version 1.
    const struct { QString table; QStringList columns; } tables[] = {
        {QStringLiteral("soft_config"), softConfigColumns(qMax(version, 1))},
        {QStringLiteral("itemlist"), itemlistColumns(qMax(version, 1))},
    };
    for (const auto &t : tables) {
        const QStringList have = columnsOf(t.table);
        if (have.isEmpty()) {
            *problem = QStringLiteral("不是本软件的数据库（缺少表 %1）").arg(t.table);
            return false;
        }
        for (const QString &c : t.columns)
            if (!have.contains(c)) {
                *problem = QStringLiteral("不是本软件的数据库（表 %1 缺少列 %2）").arg(t.table, c);
                return false;
            }
    }
    if (version < kSchemaVersion && !m_readOnly.isEmpty()) {
        *problem = QStringLiteral("由旧版本软件创建，需要升级，但数据库只读（%1）").arg(m_readOnly);
        return false;
    }
    if (version < kSchemaVersion) {
        if (const DbStatus migrated = migrate(version); !migrated) {
            *problem = QStringLiteral("无法升级数据库：") + migrated.reason();
            m_errorDetail = migrated.error;
            return false;
        }
    }
    return true;
}

DbStatus ProfileDb::migrate(int from)
{
    // One step per version, all in one transaction: a file is either fully at the new version
    // or left exactly as it was, whatever stops the program in between. A step adds only what
    // is missing, so a file an earlier attempt half-changed by hand still comes through.
    DbStatus s = begin();
    if (!s)
        return s;
    auto addColumn = [this](const QString &table, const QString &column, const QString &type) -> DbStatus {
        QSqlQuery q(database());
        if (DbStatus read = run(q, QStringLiteral("SELECT count(*) FROM pragma_table_info(?) WHERE name=?"),
                                {table, column});
            !read || !q.next())
            return read ? DbStatus::failed(QStringLiteral("table_info gave no row")) : read;
        if (q.value(0).toInt() > 0)
            return {};
        return exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(table, column, type));
    };
    if (from < 2) {
        for (const char *column : {"guest_shop", "shopsid"})
            if (s = addColumn(QStringLiteral("soft_config"), QString::fromLatin1(column), QStringLiteral("TEXT")); !s)
                break;
    }
    if (s && from < 3) {
        s = addColumn(QStringLiteral("itemlist"), QStringLiteral("posting"), QStringLiteral("INTEGER NOT NULL DEFAULT 0"));
        for (const char *index : kRetiredIndexes)
            if (s)
                s = exec(QStringLiteral("DROP INDEX IF EXISTS %1").arg(QLatin1String(index)));
        for (const QString &index : indexes())
            if (s)
                s = exec(index);
    }
    // 4: the list's orders, its filter and its title search by indexes of their own.
    if (s && from < 4) {
        for (const QString &sql : itemlist::schema())
            if (s)
                s = exec(sql);
        if (s)
            s = exec(QString::fromLatin1(itemlist::kRebuildFind));
    }
    // 5: where the site password is kept, and the runner's run records.
    if (s && from < 5) {
        s = addColumn(QStringLiteral("soft_config"), QStringLiteral("pass_store"), QStringLiteral("TEXT DEFAULT ''"));
        if (s)
            s = exec(QString::fromLatin1(kCreateRunRecord));
    }
    return stampAndCommit(s);
}

// The schema's version goes in with the rest, or nothing does.
DbStatus ProfileDb::stampAndCommit(DbStatus s)
{
    if (s)
        s = exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    if (s)
        s = commit();
    if (!s)
        rollback();
    return s;
}

DbResult<ProfileDb::Write> ProfileDb::execWrite(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(database());
    if (const DbStatus s = run(q, sql, values); !s)
        return s;
    return q.numRowsAffected() > 0 ? Write::Done : Write::NoRow;
}

DbStatus ProfileDb::begin()
{
    if (m_identity.valid)
        if (DbStatus same = checkFile(); !same)
            return same;
    QSqlDatabase db = database();
    return db.transaction() ? DbStatus() : DbStatus::of(db.lastError());
}

DbStatus ProfileDb::commit()
{
    QSqlDatabase db = database();
    return db.commit() ? DbStatus() : DbStatus::of(db.lastError());
}

void ProfileDb::rollback()
{
    database().rollback();
}
