#include "store/profiledb.h"

#include "store/itemstate.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

// The item rows: one per marketplace item, found by its item ID or its local id.

namespace {

const char *const kItemColumns =
    "id,item,title,money,web_pic,click_url,web_title,web_key,web_doc,web_content,web_url,"
    "state,itemstate,byid,html,errcode,errdecription,updatetime,posting";

ItemRecord readRecord(const QSqlQuery &q)
{
    const QSqlRecord rec = q.record();
    auto v = [&rec](const char *column) { return rec.value(QLatin1String(column)); };
    ItemRecord r;
    r.id = v("id").toLongLong();
    r.item = v("item").toString();
    r.title = v("title").toString();
    r.money = v("money").toString();
    r.web_pic = v("web_pic").toString();
    r.click_url = v("click_url").toString();
    r.web_title = v("web_title").toString();
    r.web_key = v("web_key").toString();
    r.web_doc = v("web_doc").toString();
    r.web_content = v("web_content").toString();
    r.web_url = v("web_url").toString();
    r.state = v("state").toInt();
    r.itemstate = v("itemstate").toInt();
    r.byid = v("byid").toLongLong();
    if (!v("html").isNull())
        r.html = v("html").toInt();
    r.errcode = v("errcode").toInt();
    r.errdecription = v("errdecription").toString();
    r.updatetime = v("updatetime").toString();
    r.posting = v("posting").toInt() != 0;
    return r;
}

} // namespace

QStringList ProfileDb::itemlistColumns(int version)
{
    QStringList columns = QString::fromLatin1(kItemColumns).split(QLatin1Char(','));
    if (version < 3)
        columns.removeAll(QStringLiteral("posting"));
    return columns;
}

DbResult<std::vector<ItemListRow>> ProfileDb::listRows()
{
    std::vector<ItemListRow> rows;
    if (!m_ok)
        return DbStatus::failed(QStringLiteral("not open"), 14);
    QSqlQuery count(database());
    if (const DbStatus s = run(count, QStringLiteral("SELECT count(*) FROM itemlist")); !s)
        return s;
    if (count.next())
        rows.reserve(count.value(0).toLongLong());
    QSqlQuery q(database());
    q.setForwardOnly(true);
    // The reasons are worked out here, for the few rows that have one, so the list does not
    // hold every row's description address. A description address that ends in "/" names no
    // document: the upload found nothing to publish.
    if (const DbStatus s = run(q, QStringLiteral("SELECT id,title,money,item,state,itemstate,updatetime,errcode,"
                                                 "CASE WHEN errcode<>0 OR itemstate<>0 THEN errdecription END,"
                                                 "CASE WHEN itemstate=0 THEN 0 WHEN coalesce(title,'')='' THEN 1 "
                                                 "WHEN substr(web_url,-1)='/' THEN 2 ELSE 0 END "
                                                 "FROM itemlist ORDER BY byid DESC, id DESC"));
        !s)
        return s;
    while (q.next()) {
        ItemListRow r;
        r.id = q.value(0).toLongLong();
        r.title = q.value(1).toString();
        r.money = q.value(2).toString();
        r.item = q.value(3).toString();
        r.state = q.value(4).toInt();
        r.itemstate = q.value(5).toInt();
        r.updatetime = q.value(6).toString();
        r.errcode = q.value(7).toInt();
        r.errdecription = q.value(8).toString();
        r.abnormal = ItemListRow::Abnormal(q.value(9).toInt());
        rows.push_back(std::move(r));
    }
    // A read that breaks off half-way is a failed read, not a shorter list.
    if (q.lastError().isValid())
        return DbStatus::of(q.lastError());
    return rows;
}

namespace {

DbResult<std::optional<ItemRecord>> oneRecord(QSqlQuery &q, const DbStatus &ran)
{
    if (!ran)
        return ran;
    if (q.next())
        return std::optional<ItemRecord>(readRecord(q));
    if (q.lastError().isValid())
        return DbStatus::of(q.lastError());
    return std::optional<ItemRecord>();
}

} // namespace

DbResult<std::optional<ItemRecord>> ProfileDb::itemById(qint64 id)
{
    QSqlQuery q(database());
    const DbStatus s = run(q, QStringLiteral("SELECT %1 FROM itemlist WHERE id=?").arg(QLatin1String(kItemColumns)), {id});
    return oneRecord(q, s);
}

DbResult<std::optional<ItemRecord>> ProfileDb::itemByItem(const QString &item)
{
    QSqlQuery q(database());
    const DbStatus s = run(q, QStringLiteral("SELECT %1 FROM itemlist WHERE item=?").arg(QLatin1String(kItemColumns)), {item});
    return oneRecord(q, s);
}

DbStatus ProfileDb::deleteById(qint64 id)
{
    return exec(QStringLiteral("DELETE FROM itemlist WHERE id=?"), {id});
}

DbStatus ProfileDb::markAbnormal(const QString &item)
{
    return exec(QStringLiteral("UPDATE itemlist SET itemstate=1 WHERE item=?"), {item});
}

DbStatus ProfileDb::markAbnormalById(qint64 id)
{
    return exec(QStringLiteral("UPDATE itemlist SET itemstate=1 WHERE id=?"), {id});
}

DbStatus ProfileDb::setAside(const QString &item, const QString &reason)
{
    // Out of the selection whatever else the row holds; a refusal's reason stays with it.
    return exec(QStringLiteral("UPDATE itemlist SET itemstate=1, "
                               "errdecription=CASE WHEN errcode=0 THEN ? ELSE errdecription END WHERE item=?"),
                {reason, item});
}

DbStatus ProfileDb::setUploaded(qint64 id)
{
    return exec(QStringLiteral("UPDATE itemlist SET state=3, posting=0 WHERE id=?"), {id});
}

DbStatus ProfileDb::setRefused(qint64 id, const QString &reply)
{
    return exec(QStringLiteral("UPDATE itemlist SET errcode=1, errdecription=?, posting=0 WHERE id=?"), {reply, id});
}

DbStatus ProfileDb::setPosting(qint64 id)
{
    return exec(QStringLiteral("UPDATE itemlist SET posting=1 WHERE id=?"), {id});
}

DbStatus ProfileDb::clearPosting(qint64 id)
{
    return exec(QStringLiteral("UPDATE itemlist SET posting=0 WHERE id=? AND posting<>0"), {id});
}

namespace {

// The first value of a one-row read; fallback when there is no row.
template <typename T>
DbResult<T> firstValue(QSqlQuery &q, const DbStatus &ran, T fallback, T (*read)(const QVariant &))
{
    if (!ran)
        return ran;
    if (q.next())
        return read(q.value(0));
    if (q.lastError().isValid())
        return DbStatus::of(q.lastError());
    return fallback;
}

QString asText(const QVariant &v)
{
    return v.toString();
}

qint64 asNumber(const QVariant &v)
{
    return v.toLongLong();
}

} // namespace

DbResult<QString> ProfileDb::nextUncollected()
{
    QSqlQuery q(database());
    // Written as the index itemlist_collect_pick is, term for term.
    const DbStatus s = run(q, QStringLiteral("SELECT item FROM itemlist WHERE %1 ORDER BY byid DESC, id DESC LIMIT 1")
                                  .arg(QLatin1String(itemstate::kWaitingForCollectionSql)));
    return firstValue<QString>(q, s, QString(), asText);
}

DbResult<std::optional<ItemRecord>> ProfileDb::nextToUpload()
{
    QSqlQuery q(database());
    // Written as the index itemlist_upload_pick is, term for term.
    const DbStatus s = run(q, QStringLiteral("SELECT %1 FROM itemlist WHERE %2 ORDER BY byid ASC, id DESC LIMIT 1")
                                  .arg(QLatin1String(kItemColumns), QLatin1String(itemstate::kWaitingForUploadSql)));
    return oneRecord(q, s);
}

DbResult<QString> ProfileDb::otherItem(const QString &item)
{
    QSqlQuery q(database());
    const DbStatus s = run(q, QStringLiteral("SELECT item FROM itemlist WHERE item<>? "
                                             "ORDER BY (%1) DESC, byid DESC, id DESC LIMIT 1")
                               .arg(QLatin1String(itemstate::kWaitingForCollectionSql)),
                           {item});
    return firstValue<QString>(q, s, QString(), asText);
}

DbResult<QString> ProfileDb::otherDescription(qint64 id)
{
    QSqlQuery q(database());
    const DbStatus s = run(q, QStringLiteral("SELECT web_url FROM itemlist WHERE id<>? AND substr(web_url,-1)<>'/' "
                                             "AND web_url LIKE 'http%' ORDER BY (state IN (1,2)) DESC, byid ASC LIMIT 1"),
                           {id});
    return firstValue<QString>(q, s, QString(), asText);
}

DbStatus ProfileDb::resetAllStates()
{
    return exec(QStringLiteral("UPDATE itemlist SET state=0, itemstate=0"));
}

DbResult<ProfileDb::Write> ProfileDb::saveEdit(qint64 id, const QString &webTitle, const QString &webKey,
                                               const QString &webDoc)
{
    return execWrite(QStringLiteral("UPDATE itemlist SET web_title=?, web_key=?, web_doc=?, state=2 WHERE id=?"),
                     {webTitle, webKey, webDoc, id});
}

DbResult<qint64> ProfileDb::insertListed(const QString &item, const QString &title, const QString &pic,
                                         const QString &money, qint64 byid)
{
    QSqlQuery q(database());
    if (const DbStatus s = run(q, QStringLiteral("INSERT INTO itemlist (item, title, web_pic, money, state, byid) "
                                                 "VALUES (?, ?, ?, ?, 0, ?)"),
                               {item, title, pic, money, byid});
        !s)
        return s;
    return q.lastInsertId().toLongLong();
}

DbResult<qint64> ProfileDb::itemCount()
{
    QSqlQuery q(database());
    const DbStatus s = run(q, QStringLiteral("SELECT count(*) FROM itemlist"));
    return firstValue<qint64>(q, s, 0, asNumber);
}

DbResult<ProfileDb::Counts> ProfileDb::counts()
{
    Counts c;
    QSqlQuery q(database());
    if (const DbStatus s = run(q, QStringLiteral("SELECT count(*), sum(%1), sum(%2), sum(itemstate=0 AND state=%3), "
                                                 "sum(itemstate=0 AND state=%4), sum(%5), sum(%6) FROM itemlist")
                                      .arg(QLatin1String(itemstate::kWaitingForCollectionSql),
                                           QLatin1String(itemstate::kWaitingForUploadSql))
                                      .arg(int(itemstate::Edited))
                                      .arg(int(itemstate::Uploaded))
                                      .arg(QLatin1String(itemstate::kRefusedSql), QLatin1String(itemstate::kAbnormalSql)));
        !s)
        return s;
    if (!q.next())
        return q.lastError().isValid() ? DbStatus::of(q.lastError()) : DbStatus::failed(QStringLiteral("count gave no row"));
    c.listed = q.value(0).toLongLong();
    c.notCollected = q.value(1).toLongLong();
    c.collected = q.value(2).toLongLong();
    c.edited = q.value(3).toLongLong();
    c.uploaded = q.value(4).toLongLong();
    c.refused = q.value(5).toLongLong();
    c.abnormal = q.value(6).toLongLong();
    return c;
}

DbResult<ProfileDb::Write> ProfileDb::additemlist(const ListedItem &l, bool fresh, bool *inserted)
{
    if (inserted)
        *inserted = false;
    QSqlQuery find(database());
    if (const DbStatus s = run(find, QStringLiteral("SELECT id FROM itemlist WHERE item=?"), {l.item}); !s)
        return s;
    if (find.next()) {
        // Resuming leaves a stored item as it is: a collected or uploaded row never goes back.
        if (!fresh)
            return Write::Done;
        return execWrite(QStringLiteral("UPDATE itemlist SET title=?, web_pic=?, money=?, state=0, byid=? WHERE id=?"),
                         {l.title, l.web_pic, l.money, l.byid, find.value(0)});
    }
    if (find.lastError().isValid())
        return DbStatus::of(find.lastError());
    if (const DbResult<qint64> id = insertListed(l.item, l.title, l.web_pic, l.money, l.byid); !id)
        return DbStatus(id);
    if (inserted)
        *inserted = true;
    return Write::Done;
}

DbResult<ProfileDb::Write> ProfileDb::additem(const QString &item, const ItemTexts &t, const QString &clickUrl)
{
    const QVariantList values = {t.web_title, t.web_doc, t.web_key, t.web_content, t.web_url};
    // A row set aside because its page would not load is collected now: its reason goes with
    // the mark (a refusal's reason stays with its refusal).
    const QString set = QStringLiteral("web_title=?, web_doc=?, web_key=?, web_content=?, web_url=?, state=1, itemstate=0, "
                                       "errdecription=CASE WHEN errcode=0 THEN NULL ELSE errdecription END");
    // An empty click URL keeps the one the row has.
    if (clickUrl.isEmpty())
        return execWrite(QStringLiteral("UPDATE itemlist SET %1 WHERE item=?").arg(set), values + QVariantList{item});
    return execWrite(QStringLiteral("UPDATE itemlist SET %1, click_url=? WHERE item=?").arg(set),
                     values + QVariantList{clickUrl, item});
}

DbStatus ProfileDb::addalimamaitemlist(const ListedItem &l, const ItemTexts &t, const QString &clickUrl)
{
    DbStatus s = begin();
    if (!s)
        return s;
    QSqlQuery find(database());
    s = run(find, QStringLiteral("SELECT id FROM itemlist WHERE item=?"), {l.item});
    if (s && !find.next()) {
        if (find.lastError().isValid())
            s = DbStatus::of(find.lastError());
        else
            s = insertListed(l.item, l.title, l.web_pic, l.money, 0);
    }
    // The row takes its place in the list by its own id.
    if (s)
        s = exec(QStringLiteral("UPDATE itemlist SET money=?, web_pic=?, click_url=?, title=?, web_title=?, "
                                "web_doc=?, web_key=?, web_content=?, web_url=?, byid=id, html=1, state=1, "
                                "itemstate=0, errdecription=CASE WHEN errcode=0 THEN NULL ELSE errdecription END "
                                "WHERE item=?"),
                 {l.money, l.web_pic, clickUrl, l.title, t.web_title, t.web_doc, t.web_key, t.web_content,
                  t.web_url, l.item});
    if (s)
        s = commit();
    if (!s)
        rollback();
    return s;
}
