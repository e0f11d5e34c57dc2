#include "store/profiledb.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

// The settings row: one row, no key; an update reaches it wherever it is.

namespace {

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

DbResult<std::optional<SoftConfig>> ProfileDb::loadSettings()
{
    if (!m_ok)
        return DbStatus::failed(QStringLiteral("not open"), 14);
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (const DbStatus s = run(q, QStringLiteral("SELECT * FROM soft_config LIMIT 1")); !s)
        return s;
    if (!q.next()) {
        if (q.lastError().isValid())
            return DbStatus::of(q.lastError());
        return std::optional<SoftConfig>();
    }
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
    c.guest_shop = rec.value("guest_shop").toString();
    c.shopsid = rec.value("shopsid").toString();
    c.pass_store = rec.value("pass_store").toString();
    return std::optional<SoftConfig>(c);
}

DbStatus ProfileDb::writeSettings(const QStringList &columns, const QVariantList &values)
{
    // The settings row has no key: the update reaches the one row; without a row, it is added.
    QStringList assigns;
    for (const QString &c : columns)
        assigns << c + QStringLiteral("=?");
    const DbResult<Write> updated = execWrite(QStringLiteral("UPDATE soft_config SET ") + assigns.join(','), values);
    if (!updated || updated.value == Write::Done)
        return updated;
    const QStringList marks(columns.size(), QStringLiteral("?"));
    return exec(QStringLiteral("INSERT INTO soft_config (%1) VALUES (%2)").arg(columns.join(','), marks.join(',')),
                values);
}

DbStatus ProfileDb::saveSiteSettings(const QString &user, const QString &pass, const QString &server,
                                     const QString &adminpath)
{
    return writeSettings({"web_user", "web_pass", "web_server", "web_adminpath", "pass_store"},
                         {user, pass, server, adminpath, QString()});
}

DbStatus ProfileDb::setPassInKeyring()
{
    // The old value's bytes are overwritten, not just let go, and the journal is emptied into
    // the file: no copy of the password is left in either.
    exec(QStringLiteral("PRAGMA secure_delete=ON"));
    const DbStatus s = exec(QStringLiteral("UPDATE soft_config SET web_pass='', pass_store='keyring'"));
    if (s)
        checkpoint();
    return s;
}

DbStatus ProfileDb::savePublisherId(const QString &pid)
{
    return exec(QStringLiteral("UPDATE soft_config SET alimama=?"), {pid});
}

DbStatus ProfileDb::saveRules(const RuleSet &rules)
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

DbStatus ProfileDb::setPageId(int page)
{
    return exec(QStringLiteral("UPDATE soft_config SET pageid=?"), {page});
}

DbStatus ProfileDb::resetPageId()
{
    return exec(QStringLiteral("UPDATE soft_config SET pageid=0"));
}

DbResult<int> ProfileDb::pageId()
{
    const auto c = loadSettings();
    if (!c)
        return DbStatus(c);
    return c.value ? c.value->pageid : 0;
}

DbStatus ProfileDb::saveShopAddress(const QString &shop)
{
    return exec(QStringLiteral("UPDATE soft_config SET guest_shop=?"), {shop});
}

DbStatus ProfileDb::saveShopSid(const QString &sid)
{
    return exec(QStringLiteral("UPDATE soft_config SET shopsid=?"), {sid});
}
