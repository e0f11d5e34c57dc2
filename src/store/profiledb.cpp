#include "store/profiledb.h"
#include "store/initialsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
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
  ktx_1 TEXT, ktx_2 TEXT, ktx_3 TEXT
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
  updatetime    TEXT DEFAULT (strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'))
))";

const char *const kIndexes[] = {
    "CREATE UNIQUE INDEX itemlist_item ON itemlist(item)",
    // list order and Step 2's pick
    "CREATE INDEX itemlist_order ON itemlist(byid DESC, id DESC)",
    "CREATE INDEX itemlist_uncollected ON itemlist(state, itemstate, byid DESC, id DESC)",
    // Step 3's pick
    "CREATE INDEX itemlist_upload ON itemlist(errcode, itemstate, state, byid, id)",
};

const char *const kItemColumns =
    "id,item,title,money,web_pic,click_url,web_title,web_key,web_doc,web_content,web_url,"
    "state,itemstate,byid,html,errcode,errdecription,updatetime";

ItemRecord readRecord(const QSqlQuery &q)
{
    ItemRecord r;
    r.id = q.value(0).toLongLong();
    r.item = q.value(1).toString();
    r.title = q.value(2).toString();
    r.money = q.value(3).toString();
    r.web_pic = q.value(4).toString();
    r.click_url = q.value(5).toString();
    r.web_title = q.value(6).toString();
    r.web_key = q.value(7).toString();
    r.web_doc = q.value(8).toString();
    r.web_content = q.value(9).toString();
    r.web_url = q.value(10).toString();
    r.state = q.value(11).toInt();
    r.itemstate = q.value(12).toInt();
    r.byid = q.value(13).toLongLong();
    if (!q.value(14).isNull())
        r.html = q.value(14).toInt();
    r.errcode = q.value(15).toInt();
    r.errdecription = q.value(16).toString();
    r.updatetime = q.value(17).toString();
    return r;
}

// A switch is on for any value but 0; the position 0 puts the add text before, any other after.
RuleGroup readGroup(const QSqlRecord &rec, const QString &p, const QString &tx)
{
    RuleGroup g;
    g.replaceOn = rec.value(p + "_1").toInt() != 0;
    g.addOn = rec.value(p + "_2").toInt() != 0;
    g.addBefore = rec.value(p + "_3").toInt() == 0;
    g.find = rec.value(tx + "_1").toString();
    g.replacement = rec.value(tx + "_2").toString();
    g.addText = rec.value(tx + "_3").toString();
    return g;
}

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

QStringList ProfileDb::softConfigColumns()
{
    return {"web_server", "web_user", "web_pass", "web_adminpath", "alimama", "pageid",
            "t_1", "t_2", "t_3", "ttx_1", "ttx_2", "ttx_3",
            "d_1", "d_2", "d_3", "dtx_1", "dtx_2", "dtx_3",
            "k_1", "k_2", "k_3", "ktx_1", "ktx_2", "ktx_3"};
}

QStringList ProfileDb::itemlistColumns()
{
    return QString::fromLatin1(kItemColumns).split(',');
}

QString ProfileDb::defaultPath()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString dbDir = appDir + QStringLiteral("/db");
    QFileInfo dirInfo(QFileInfo::exists(dbDir) ? dbDir : appDir);
    if (dirInfo.isWritable())
        return dbDir + QStringLiteral("/Profile.db");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data + QStringLiteral("/db/Profile.db");
}

bool ProfileDb::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(database());
    if (!q.prepare(sql))
        return false;
    for (const QVariant &v : values)
        q.addBindValue(v);
    return q.exec();
}

ProfileDb::OpenResult ProfileDb::open(const QString &path)
{
    close();
    m_path = path;
    m_error.clear();
    const QFileInfo info(path);
    const bool existed = info.exists();

    if (existed && !info.isFile()) {
        m_error = QStringLiteral("不是数据库文件");
        return OpenResult::Failed;
    }
    if (existed && !info.isWritable()) {
        m_error = QStringLiteral("文件只读，无法写入");
        return OpenResult::Failed;
    }
    if (!existed && !QDir().mkpath(info.absolutePath())) {
        m_error = QStringLiteral("无法创建目录 %1").arg(QDir::toNativeSeparators(info.absolutePath()));
        return OpenResult::Failed;
    }

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open())
            m_error = db.lastError().text();
    }
    if (!m_error.isEmpty()) {
        close();
        return OpenResult::Failed;
    }

    if (!existed) {
        if (!createSchema()) {
            m_error = QStringLiteral("无法创建数据库：") + database().lastError().text();
            close();
            QFile::remove(path);
            return OpenResult::Failed;
        }
    } else {
        QString problem;
        if (!checkSchema(&problem)) {
            m_error = problem;
            close();
            return OpenResult::Failed;
        }
    }

    // WAL: a write is on disk once its statement returns, and a kill never leaves a torn file.
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    m_ok = true;
    return existed ? OpenResult::Opened : OpenResult::Created;
}

void ProfileDb::close()
{
    m_ok = false;
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool ProfileDb::createSchema()
{
    QSqlDatabase db = database();
    if (!db.transaction())
        return false;
    bool ok = exec(QString::fromLatin1(kCreateSoftConfig)) && exec(QString::fromLatin1(kCreateItemlist));
    for (const char *sql : kIndexes)
        ok = ok && exec(QString::fromLatin1(sql));
    ok = ok && exec(QStringLiteral("INSERT INTO soft_config (web_server, web_user, web_pass, web_adminpath, "
                                   "alimama, pageid) VALUES (?, ?, ?, ?, '', 0)"),
                    {initial::webServer, initial::webUser, initial::webPass, initial::webAdminPath});
    ok = ok && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    if (!ok) {
        db.rollback();
        return false;
    }
    return db.commit();
}

bool ProfileDb::checkSchema(QString *problem)
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        *problem = QStringLiteral("无法读取（%1）").arg(q.lastError().databaseText());
        return false;
    }
    const int version = q.value(0).toInt();
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
    const struct { QString table; QStringList columns; } tables[] = {
        {QStringLiteral("soft_config"), softConfigColumns()},
        {QStringLiteral("itemlist"), itemlistColumns()},
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
    if (version < kSchemaVersion && !migrate(version)) {
        *problem = QStringLiteral("无法升级数据库：") + database().lastError().text();
        return false;
    }
    return true;
}

bool ProfileDb::migrate(int from)
{
    // Version 0 is a file with the right tables made before versions were kept: it only
    // needs its version stamped. Later versions add their columns here, one step each.
    Q_UNUSED(from);
    return exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
}

std::optional<SoftConfig> ProfileDb::loadSettings()
{
    if (!m_ok)
        return std::nullopt;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT * FROM soft_config LIMIT 1")) || !q.next())
        return std::nullopt;
    const QSqlRecord rec = q.record();
    SoftConfig c;
    c.web_server = rec.value("web_server").toString();
    c.web_user = rec.value("web_user").toString();
    c.web_pass = rec.value("web_pass").toString();
    c.web_adminpath = rec.value("web_adminpath").toString();
    c.alimama = rec.value("alimama").toString();
    c.pageid = rec.value("pageid").toInt();
    c.rules.title = readGroup(rec, "t", "ttx");
    c.rules.doc = readGroup(rec, "d", "dtx");
    c.rules.key = readGroup(rec, "k", "ktx");
    return c;
}

bool ProfileDb::writeSettings(const QStringList &columns, const QVariantList &values)
{
    // The settings row has no key: the update reaches the one row; without a row, it is added.
    QStringList assigns;
    for (const QString &c : columns)
        assigns << c + QStringLiteral("=?");
    QSqlQuery q(database());
    q.prepare(QStringLiteral("UPDATE soft_config SET ") + assigns.join(','));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        return false;
    if (q.numRowsAffected() > 0)
        return true;
    const QStringList marks(columns.size(), QStringLiteral("?"));
    return exec(QStringLiteral("INSERT INTO soft_config (%1) VALUES (%2)").arg(columns.join(','), marks.join(',')),
                values);
}

bool ProfileDb::saveSiteSettings(const QString &user, const QString &pass, const QString &server,
                                 const QString &adminpath)
{
    return writeSettings({"web_user", "web_pass", "web_server", "web_adminpath"}, {user, pass, server, adminpath});
}

bool ProfileDb::savePublisherId(const QString &pid)
{
    return exec(QStringLiteral("UPDATE soft_config SET alimama=?"), {pid});
}

bool ProfileDb::saveRules(const RuleSet &rules)
{
    QStringList columns;
    QVariantList values;
    const struct { const RuleGroup &g; const char *p; const char *tx; } groups[] = {
        {rules.title, "t", "ttx"}, {rules.key, "k", "ktx"}, {rules.doc, "d", "dtx"}};
    for (const auto &e : groups) {
        const QString p = QString::fromLatin1(e.p), tx = QString::fromLatin1(e.tx);
        columns << p + "_1" << p + "_2" << p + "_3" << tx + "_1" << tx + "_2" << tx + "_3";
        values << int(e.g.replaceOn) << int(e.g.addOn) << (e.g.addBefore ? 0 : 1)
               << e.g.find << e.g.replacement << e.g.addText;
    }
    return writeSettings(columns, values);
}

bool ProfileDb::setPageId(int page)
{
    return exec(QStringLiteral("UPDATE soft_config SET pageid=?"), {page});
}

bool ProfileDb::resetPageId()
{
    return exec(QStringLiteral("UPDATE soft_config SET pageid=0"));
}

int ProfileDb::pageId()
{
    const auto c = loadSettings();
    return c ? c->pageid : 0;
}

std::vector<ItemListRow> ProfileDb::listRows()
{
    std::vector<ItemListRow> rows;
    if (!m_ok)
        return rows;
    QSqlQuery count(database());
    if (count.exec(QStringLiteral("SELECT count(*) FROM itemlist")) && count.next())
        rows.reserve(count.value(0).toLongLong());
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id,title,money,item,state,itemstate,updatetime FROM itemlist "
                               "ORDER BY byid DESC, id DESC")))
        return rows;
    while (q.next()) {
        ItemListRow r;
        r.id = q.value(0).toLongLong();
        r.title = q.value(1).toString();
        r.money = q.value(2).toString();
        r.item = q.value(3).toString();
        r.state = q.value(4).toInt();
        r.itemstate = q.value(5).toInt();
        r.updatetime = q.value(6).toString();
        rows.push_back(std::move(r));
    }
    return rows;
}

std::optional<ItemRecord> ProfileDb::itemById(qint64 id)
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT %1 FROM itemlist WHERE id=?").arg(QLatin1String(kItemColumns)));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readRecord(q);
}

std::optional<ItemRecord> ProfileDb::itemByItem(const QString &item)
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT %1 FROM itemlist WHERE item=?").arg(QLatin1String(kItemColumns)));
    q.addBindValue(item);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readRecord(q);
}

bool ProfileDb::deleteById(qint64 id)
{
    return exec(QStringLiteral("DELETE FROM itemlist WHERE id=?"), {id});
}

bool ProfileDb::markAbnormal(const QString &item)
{
    return exec(QStringLiteral("UPDATE itemlist SET itemstate=1 WHERE item=?"), {item});
}

QString ProfileDb::nextUncollected()
{
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("SELECT item FROM itemlist WHERE state=0 AND itemstate=0 "
                              "ORDER BY byid DESC, id DESC LIMIT 1")) && q.next())
        return q.value(0).toString();
    return {};
}

std::optional<ItemRecord> ProfileDb::nextToUpload()
{
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("SELECT %1 FROM itemlist WHERE errcode=0 AND (state=1 OR state=2) "
                              "AND itemstate=0 ORDER BY byid ASC, id DESC LIMIT 1")
                   .arg(QLatin1String(kItemColumns))) && q.next())
        return readRecord(q);
    return std::nullopt;
}

bool ProfileDb::resetAllStates()
{
    return exec(QStringLiteral("UPDATE itemlist SET state=0, itemstate=0"));
}

bool ProfileDb::saveEdit(qint64 id, const QString &webTitle, const QString &webKey, const QString &webDoc)
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("UPDATE itemlist SET web_title=?, web_key=?, web_doc=?, state=2 WHERE id=?"));
    q.addBindValue(webTitle);
    q.addBindValue(webKey);
    q.addBindValue(webDoc);
    q.addBindValue(id);
    return q.exec() && q.numRowsAffected() > 0;
}

qint64 ProfileDb::insertListed(const QString &item, const QString &title, const QString &pic,
                               const QString &money, qint64 byid)
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("INSERT INTO itemlist (item, title, web_pic, money, state, byid) "
                             "VALUES (?, ?, ?, ?, 0, ?)"));
    q.addBindValue(item);
    q.addBindValue(title);
    q.addBindValue(pic);
    q.addBindValue(money);
    q.addBindValue(byid);
    if (!q.exec())
        return 0;
    return q.lastInsertId().toLongLong();
}
