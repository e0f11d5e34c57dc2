#include "store/itemlist.h"
#include "store/itemstate.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace itemlist {

namespace {

// Each order's key is an expression that is never NULL (a NULL would drop its row out of every
// comparison) and is written exactly as the index that serves it, so that SQLite reads the
// index instead of sorting the table. The same texts are in the schema.
const char *const kKeys[] = {
    "coalesce(byid,-9223372036854775808)",   // Listed
    "id",
    "coalesce(title,'')",
    "CAST(coalesce(money,'') AS REAL)",   // a price sorts by its amount, not its digits
    "coalesce(item,'')",
    // the state column's label: the four states, then refused, then abnormal
    "CASE WHEN itemstate<>0 THEN 5 WHEN errcode<>0 AND state<>3 THEN 4 ELSE state END",
    "coalesce(updatetime,'')",
};

const char *const kColumns =
    "id,title,money,item,state,itemstate,updatetime,errcode,"
    "CASE WHEN errcode<>0 OR itemstate<>0 THEN errdecription END,"
    // why an abnormal row cannot be uploaded; a description address that ends in "/" names
    // no document
    "CASE WHEN itemstate=0 THEN 0 WHEN coalesce(title,'')='' THEN 1 WHEN substr(web_url,-1)='/' THEN 2 ELSE 0 END";

// The search's words: a trigram index needs three characters; shorter words are looked for
// row by row, which a word that short matches often enough to end a screen soon.
constexpr int kTrigram = 3;

QString keyOf(const Query &q)
{
    const int sort = q.sort >= ById && q.sort < SortColumnCount ? q.sort : Listed;
    return QString::fromLatin1(kKeys[sort + 1]);
}

bool descending(const Query &q)
{
    return q.sort < ById || q.sort >= SortColumnCount || q.descending;
}

QString phraseOf(const QString &word)
{
    // One phrase: every character as typed, quotes doubled.
    QString phrase = word;
    phrase.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QStringLiteral("\"%1\"").arg(phrase);
}

QString escapedLike(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('%'), QLatin1String("\\%"))
        .replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + out + QLatin1Char('%');
}

// The WHERE terms of a query with their values, in order.
struct Terms {
    QStringList sql;
    QVariantList values;

    QString where() const { return sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + sql.join(QLatin1String(" AND ")); }
};

Terms termsOf(const Query &q)
{
    Terms t;
    if (q.state == StateFilter::Needing) {
        // Written as the index itemlist_needing's WHERE is, so that counting them reads that index.
        t.sql << QStringLiteral("(%1 OR %2)").arg(QLatin1String(itemstate::kAbnormalSql), QLatin1String(itemstate::kRefusedSql));
    } else if (q.state != StateFilter::All) {
        static const int codes[] = {0, 0, 0, 1, 2, 3, 4, 5};
        t.sql << QStringLiteral("%1=%2").arg(QLatin1String(kKeys[ByState + 1])).arg(codes[int(q.state)]);
    }
    const QString word = q.search.trimmed();
    if (word.isEmpty())
        return t;
    if (!q.scan && word.toUcs4().size() >= kTrigram) {
        t.sql << QStringLiteral("id IN (SELECT rowid FROM itemlist_find WHERE itemlist_find MATCH ?)");
        t.values << phraseOf(word);
    } else {
        t.sql << QStringLiteral("(coalesce(title,'') LIKE ? ESCAPE '\\' OR coalesce(item,'') LIKE ? ESCAPE '\\')");
        t.values << escapedLike(word) << escapedLike(word);
    }
    return t;
}

// Rows after a key in the given direction: written so that the index is entered at the key
// (SQLite does not seek an expression index on a row-value comparison).
void addAfter(Terms &t, const QString &key, const Key &from, bool desc)
{
    const QChar op = QLatin1Char(desc ? '<' : '>');
    t.sql << QStringLiteral("%1 %2= ? AND (%1 %2 ? OR id %2 ?)").arg(key, op);
    t.values << from.value << from.value << from.id;
}

DbStatus run(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    q.setForwardOnly(true);
    return runStatement(q, sql, values);
}

DbStatus notOpen()
{
    return DbStatus::failed(QStringLiteral("not open"), 14);
}

} // namespace

QStringList schema()
{
    static const char *const indexNames[] = {"itemlist_list", "itemlist_by_id", "itemlist_by_title", "itemlist_by_money",
                                             "itemlist_by_item", "itemlist_by_state", "itemlist_by_time"};
    QStringList sql;
    for (int sort = Listed; sort < SortColumnCount; ++sort)
        if (sort != ById)   // the table itself is in id order
            sql << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON itemlist(%2, id)")
                       .arg(QLatin1String(indexNames[sort + 1]), QLatin1String(kKeys[sort + 1]));
    sql << QStringLiteral("CREATE INDEX IF NOT EXISTS itemlist_needing ON itemlist(id) WHERE (%1 OR %2)")
               .arg(QLatin1String(itemstate::kAbnormalSql), QLatin1String(itemstate::kRefusedSql));
    // The index holds no copy of the texts: it reads them from itemlist when it must.
    sql << QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS itemlist_find USING fts5(title, item, content='itemlist', "
                          "content_rowid='id', tokenize='trigram')");
    const QString forget = QStringLiteral("INSERT INTO itemlist_find(itemlist_find, rowid, title, item) "
                                          "VALUES ('delete', old.id, old.title, old.item);");
    const QString learn = QStringLiteral("INSERT INTO itemlist_find(rowid, title, item) VALUES (new.id, new.title, new.item);");
    sql << QStringLiteral("CREATE TRIGGER IF NOT EXISTS itemlist_find_insert AFTER INSERT ON itemlist BEGIN %1 END").arg(learn);
    sql << QStringLiteral("CREATE TRIGGER IF NOT EXISTS itemlist_find_delete AFTER DELETE ON itemlist BEGIN %1 END").arg(forget);
    sql << QStringLiteral("CREATE TRIGGER IF NOT EXISTS itemlist_find_update AFTER UPDATE OF title, item ON itemlist "
                          "BEGIN %1 %2 END").arg(forget, learn);
    // How many rows there are, kept by every insert and delete: counting a million rows takes
    // longer than a refill may.
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS itemlist_rows (n INTEGER NOT NULL)");
    sql << QStringLiteral("INSERT INTO itemlist_rows (n) SELECT count(*) FROM itemlist WHERE NOT EXISTS (SELECT 1 FROM itemlist_rows)");
    sql << QStringLiteral("CREATE TRIGGER IF NOT EXISTS itemlist_rows_insert AFTER INSERT ON itemlist BEGIN UPDATE itemlist_rows SET n=n+1; END");
    sql << QStringLiteral("CREATE TRIGGER IF NOT EXISTS itemlist_rows_delete AFTER DELETE ON itemlist BEGIN UPDATE itemlist_rows SET n=n-1; END");
    return sql;
}

std::optional<StateFilter> stateNamed(const QString &name)
{
    static const struct { const char *word; const char *label; StateFilter filter; } names[] = {
        {"all", "全部", StateFilter::All},
        {"needing", "需处理", StateFilter::Needing},
        {"uncollected", "未采集", StateFilter::NotCollected},
        {"collected", "已采集", StateFilter::Collected},
        {"edited", "已修改", StateFilter::Edited},
        {"uploaded", "已上传", StateFilter::Uploaded},
        {"refused", "上传失败", StateFilter::Refused},
        {"abnormal", "状态不正常", StateFilter::Abnormal},
    };
    for (const auto &n : names)
        if (name.compare(QLatin1String(n.word), Qt::CaseInsensitive) == 0 || name == QString::fromUtf8(n.label))
            return n.filter;
    return std::nullopt;
}

QString stateNames()
{
    return QStringLiteral("all, needing (refused or abnormal), uncollected, collected, edited, uploaded, refused, abnormal");
}

DbResult<Query> Reader::plan(Query q)
{
    const QString word = q.search.trimmed();
    q.scan = !word.isEmpty() && word.toUcs4().size() < kTrigram;
    if (word.isEmpty() || q.scan)
        return q;
    if (!m_db.isOpen())
        return notOpen();
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, QStringLiteral("SELECT count(*) FROM (SELECT rowid FROM itemlist_find "
                                                   "WHERE itemlist_find MATCH ? LIMIT ?)"),
                                 {phraseOf(word), m_indexedRows + 1});
        !ran)
        return ran;
    if (!s.next())
        return s.lastError().isValid() ? DbStatus::of(s.lastError()) : DbStatus::failed(QStringLiteral("count gave no row"));
    q.scan = s.value(0).toInt() > m_indexedRows;
    return q;
}

DbResult<qint64> Reader::count(const Query &q)
{
    if (!m_db.isOpen())
        return notOpen();
    const Terms t = termsOf(q);
    QSqlQuery s(m_db.database());
    const QString sql = t.sql.isEmpty() ? QStringLiteral("SELECT n FROM itemlist_rows") : QStringLiteral("SELECT count(*) FROM itemlist") + t.where();
    if (const DbStatus ran = run(s, sql, t.values); !ran)
        return ran;
    if (!s.next())
        return s.lastError().isValid() ? DbStatus::of(s.lastError()) : DbStatus::failed(QStringLiteral("count gave no row"));
    return s.value(0).toLongLong();
}

DbResult<qint64> Reader::countIds(const Query &q, qint64 after, qint64 upTo)
{
    if (!m_db.isOpen())
        return notOpen();
    Terms t = termsOf(q);
    t.sql.prepend(QStringLiteral("id > ? AND id <= ?"));
    t.values = QVariantList{after, upTo} + t.values;
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, QStringLiteral("SELECT count(*) FROM itemlist") + t.where(), t.values); !ran)
        return ran;
    if (!s.next())
        return s.lastError().isValid() ? DbStatus::of(s.lastError()) : DbStatus::failed(QStringLiteral("count gave no row"));
    return s.value(0).toLongLong();
}

DbResult<qint64> Reader::maxId()
{
    if (!m_db.isOpen())
        return notOpen();
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, QStringLiteral("SELECT coalesce(max(id),0) FROM itemlist"), {}); !ran)
        return ran;
    if (!s.next())
        return s.lastError().isValid() ? DbStatus::of(s.lastError()) : DbStatus::failed(QStringLiteral("max gave no row"));
    return s.value(0).toLongLong();
}

DbResult<Chunk> Reader::read(const Query &q, const std::optional<Key> &from, qint64 skip, int limit, bool backwards)
{
    if (!m_db.isOpen())
        return notOpen();
    const QString key = keyOf(q);
    const bool desc = descending(q) != backwards;
    Terms t = termsOf(q);
    if (from)
        addAfter(t, key, *from, desc);
    const QString dir = desc ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
    const QString sql = QStringLiteral("SELECT %1,%2 FROM itemlist%3 ORDER BY %1%4, id%4 LIMIT ? OFFSET ?")
                            .arg(key, QLatin1String(kColumns), t.where(), dir);
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, sql, t.values + QVariantList{limit, skip}); !ran)
        return ran;
    Chunk c;
    std::vector<Key> keys;
    while (s.next()) {
        ItemListRow r;
        r.id = s.value(1).toLongLong();
        r.title = s.value(2).toString();
        r.money = s.value(3).toString();
        r.item = s.value(4).toString();
        r.state = s.value(5).toInt();
        r.itemstate = s.value(6).toInt();
        r.updatetime = s.value(7).toString();
        r.errcode = s.value(8).toInt();
        r.errdecription = s.value(9).toString();
        r.abnormal = ItemListRow::Abnormal(s.value(10).toInt());
        keys.push_back({s.value(0), r.id});
        c.rows.push_back(std::move(r));
    }
    // A read that breaks off half-way is a failed read, not a shorter list.
    if (s.lastError().isValid())
        return DbStatus::of(s.lastError());
    if (backwards) {
        std::reverse(c.rows.begin(), c.rows.end());
        std::reverse(keys.begin(), keys.end());
    }
    if (!keys.empty()) {
        c.first = keys.front();
        c.last = keys.back();
    }
    return c;
}

DbResult<qint64> Reader::position(const Query &q, qint64 id)
{
    if (!m_db.isOpen())
        return notOpen();
    const QString key = keyOf(q);
    Terms t = termsOf(q);
    t.sql << QStringLiteral("id=?");
    t.values << id;
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, QStringLiteral("SELECT %1 FROM itemlist").arg(key) + t.where(), t.values); !ran)
        return ran;
    if (!s.next())
        return s.lastError().isValid() ? DbResult<qint64>(DbStatus::of(s.lastError())) : DbResult<qint64>(qint64(-1));
    const Key at{s.value(0), id};
    s.finish();
    // The rows before it are the rows after it, read the other way.
    Terms before = termsOf(q);
    addAfter(before, key, at, !descending(q));
    QSqlQuery c(m_db.database());
    if (const DbStatus ran = run(c, QStringLiteral("SELECT count(*) FROM itemlist") + before.where(), before.values); !ran)
        return ran;
    if (!c.next())
        return c.lastError().isValid() ? DbStatus::of(c.lastError()) : DbStatus::failed(QStringLiteral("count gave no row"));
    return c.value(0).toLongLong();
}

DbResult<qint64> Reader::shownItem(const Query &q, const QString &item)
{
    if (!m_db.isOpen())
        return notOpen();
    Terms t = termsOf(q);
    t.sql << QStringLiteral("item=?");
    t.values << item;
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, QStringLiteral("SELECT id FROM itemlist") + t.where(), t.values); !ran)
        return ran;
    if (s.next())
        return s.value(0).toLongLong();
    return s.lastError().isValid() ? DbResult<qint64>(DbStatus::of(s.lastError())) : DbResult<qint64>(qint64(0));
}

DbResult<bool> Reader::shows(const Query &q, qint64 id)
{
    if (!m_db.isOpen())
        return notOpen();
    Terms t = termsOf(q);
    t.sql << QStringLiteral("id=?");
    t.values << id;
    QSqlQuery s(m_db.database());
    if (const DbStatus ran = run(s, QStringLiteral("SELECT 1 FROM itemlist") + t.where(), t.values); !ran)
        return ran;
    if (s.next())
        return true;
    return s.lastError().isValid() ? DbResult<bool>(DbStatus::of(s.lastError())) : DbResult<bool>(false);
}

DbStatus Reader::forEach(const Query &asked, qint64 limit, const std::function<bool(const ItemListRow &)> &row)
{
    const DbResult<Query> planned = plan(asked);
    if (!planned)
        return planned;
    const Query &q = planned.value;
    constexpr int kChunk = 512;
    std::optional<Key> from;
    qint64 given = 0;
    for (;;) {
        const int want = limit > 0 ? int(qMin<qint64>(kChunk, limit - given)) : kChunk;
        if (want <= 0)
            return {};
        const DbResult<Chunk> c = read(q, from, 0, want);
        if (!c)
            return c;
        for (const ItemListRow &r : c.value.rows) {
            ++given;
            if (!row(r))
                return {};
        }
        if (int(c.value.rows.size()) < want)
            return {};
        from = c.value.last;
    }
}

} // namespace itemlist
