#include "store/profiledb.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

// The settings row: one row, no key; an update reaches it wherever it is.

namespace {

// A switch is on for any value but 0; the position 0 puts the add text before, any other after.
RuleGroup readGroup(const QSqlRecord &rec, const RuleColumns &c)
{
    RuleGroup g;
    g.replaceOn = rec.value(c.switchColumn(1)).toInt() != 0;
    g.addOn = rec.value(c.switchColumn(2)).toInt() != 0;
    g.addBefore = rec.value(c.switchColumn(3)).toInt() == 0;
    g.find = rec.value(c.textColumn(1)).toString();
    g.replacement = rec.value(c.textColumn(2)).toString();
    g.addText = rec.value(c.textColumn(3)).toString();
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
    auto v = [&rec](const char *column) { return rec.value(QLatin1String(column)); };
    SoftConfig c;
    c.web_server = v("web_server").toString();
    c.web_user = v("web_user").toString();
    c.web_pass = v("web_pass").toString();
    c.web_adminpath = v("web_adminpath").toString();
    c.alimama = v("alimama").toString();
    c.pageid = v("pageid").toInt();
    for (const RuleColumns &columns : kRuleColumns)
        c.rules.*columns.group = readGroup(rec, columns);
    c.guest_shop = v("guest_shop").toString();
    c.shopsid = v("shopsid").toString();
    c.pass_store = v("pass_store").toString();
    return std::optional<SoftConfig>(c);
}

DbStatus ProfileDb::writeSettings(const QStringList &columns, const QVariantList &values)
{
    // The settings row has no key: the update reaches the one row; without a row, it is added.
    QStringList assigns;
    for (const QString &c : columns)
        assigns << c + QStringLiteral("=?");
    const DbResult<Write> updated = execWrite(QStringLiteral("UPDATE soft_config SET ") + assigns.join(QLatin1Char(',')), values);
    if (!updated || updated.value == Write::Done)
        return updated;
    const QStringList marks(columns.size(), QStringLiteral("?"));
    return exec(QStringLiteral("INSERT INTO soft_config (%1) VALUES (%2)").arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                values);
}

DbStatus ProfileDb::saveSiteSettings(const QString &user, const QString &pass, const QString &server,
                                     const QString &adminpath)
{
    return writeSettings({QStringLiteral("web_user"), QStringLiteral("web_pass"), QStringLiteral("web_server"),
                          QStringLiteral("web_adminpath"), QStringLiteral("pass_store")},
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
    for (const RuleColumns &c : kRuleColumns) {
        const RuleGroup &g = rules.*c.group;
        columns << c.switchColumn(1) << c.switchColumn(2) << c.switchColumn(3)
                << c.textColumn(1) << c.textColumn(2) << c.textColumn(3);
        values << int(g.replaceOn) << int(g.addOn) << (g.addBefore ? 0 : 1) << g.find << g.replacement << g.addText;
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
