#include "store/profiledb.h"

#include <QSqlQuery>
#include <QVariant>

// The item rows: one per marketplace item, found by its item ID or its local id.

namespace {

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


} // namespace

QStringList ProfileDb::itemlistColumns()
{
    return QString::fromLatin1(kItemColumns).split(',');
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
    // The reasons are worked out here, for the few rows that have one, so the list does not
    // hold every row's description address. A description address that ends in "/" names no
    // document: the upload found nothing to publish.
    if (!q.exec(QStringLiteral("SELECT id,title,money,item,state,itemstate,updatetime,errcode,"
                               "CASE WHEN errcode<>0 THEN errdecription END,"
                               "CASE WHEN itemstate=0 THEN 0 WHEN coalesce(title,'')='' THEN 1 "
                               "WHEN substr(web_url,-1)='/' THEN 2 ELSE 0 END "
                               "FROM itemlist ORDER BY byid DESC, id DESC")))
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
        r.errcode = q.value(7).toInt();
        r.errdecription = q.value(8).toString();
        r.abnormal = ItemListRow::Abnormal(q.value(9).toInt());
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

bool ProfileDb::markAbnormalById(qint64 id)
{
    return exec(QStringLiteral("UPDATE itemlist SET itemstate=1 WHERE id=?"), {id});
}

bool ProfileDb::setUploaded(qint64 id)
{
    return exec(QStringLiteral("UPDATE itemlist SET state=3 WHERE id=?"), {id});
}

bool ProfileDb::setRefused(qint64 id, const QString &reply)
{
    return exec(QStringLiteral("UPDATE itemlist SET errcode=1, errdecription=? WHERE id=?"), {reply, id});
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

qint64 ProfileDb::itemCount()
{
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("SELECT count(*) FROM itemlist")) && q.next())
        return q.value(0).toLongLong();
    return 0;
}

ProfileDb::Counts ProfileDb::counts()
{
    Counts c;
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("SELECT count(*), sum(itemstate=0 AND state=0), "
                              "sum(itemstate=0 AND state IN (1,2) AND errcode=0), sum(itemstate=0 AND state=2), "
                              "sum(itemstate=0 AND state=3), sum(itemstate=0 AND errcode<>0 AND state IN (1,2)), "
                              "sum(itemstate<>0) FROM itemlist"))
        && q.next()) {
        c.listed = q.value(0).toLongLong();
        c.notCollected = q.value(1).toLongLong();
        c.collected = q.value(2).toLongLong();
        c.edited = q.value(3).toLongLong();
        c.uploaded = q.value(4).toLongLong();
        c.refused = q.value(5).toLongLong();
        c.abnormal = q.value(6).toLongLong();
    }
    return c;
}

ProfileDb::Write ProfileDb::additemlist(const ListedItem &l, bool fresh, bool *inserted)
{
    if (inserted)
        *inserted = false;
    QSqlQuery find(database());
    find.prepare(QStringLiteral("SELECT id FROM itemlist WHERE item=?"));
    find.addBindValue(l.item);
    if (!find.exec())
        return Write::Failed;
    if (find.next()) {
        // Resuming leaves a stored item as it is: a collected or uploaded row never goes back.
        if (!fresh)
            return Write::Done;
        return execWrite(QStringLiteral("UPDATE itemlist SET title=?, web_pic=?, money=?, state=0, byid=? WHERE id=?"),
                         {l.title, l.web_pic, l.money, l.byid, find.value(0)});
    }
    if (insertListed(l.item, l.title, l.web_pic, l.money, l.byid) == 0)
        return Write::Failed;
    if (inserted)
        *inserted = true;
    return Write::Done;
}

ProfileDb::Write ProfileDb::additem(const QString &item, const ItemTexts &t, const QString &clickUrl)
{
    const QVariantList values = {t.web_title, t.web_doc, t.web_key, t.web_content, t.web_url};
    const QString set = QStringLiteral("web_title=?, web_doc=?, web_key=?, web_content=?, web_url=?, state=1, itemstate=0");
    // An empty click URL keeps the one the row has.
    if (clickUrl.isEmpty())
        return execWrite(QStringLiteral("UPDATE itemlist SET %1 WHERE item=?").arg(set), values + QVariantList{item});
    return execWrite(QStringLiteral("UPDATE itemlist SET %1, click_url=? WHERE item=?").arg(set),
                     values + QVariantList{clickUrl, item});
}

ProfileDb::Write ProfileDb::addalimamaitemlist(const ListedItem &l, const ItemTexts &t, const QString &clickUrl)
{
    if (!begin())
        return Write::Failed;
    QSqlQuery find(database());
    find.prepare(QStringLiteral("SELECT id FROM itemlist WHERE item=?"));
    find.addBindValue(l.item);
    bool ok = find.exec();
    if (ok && !find.next())
        ok = insertListed(l.item, l.title, l.web_pic, l.money, 0) != 0;
    // The row takes its place in the list by its own id.
    ok = ok && execWrite(QStringLiteral("UPDATE itemlist SET money=?, web_pic=?, click_url=?, title=?, web_title=?, "
                                        "web_doc=?, web_key=?, web_content=?, web_url=?, byid=id, html=1, state=1, "
                                        "itemstate=0 WHERE item=?"),
                         {l.money, l.web_pic, clickUrl, l.title, t.web_title, t.web_doc, t.web_key, t.web_content,
                          t.web_url, l.item}) == Write::Done;
    if (!ok || !commit()) {
        rollback();
        return Write::Failed;
    }
    return Write::Done;
}
