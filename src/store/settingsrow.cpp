#include "store/profiledb.h"

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
    c.guest_shop = rec.value("guest_shop").toString();
    c.shopsid = rec.value("shopsid").toString();
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

bool ProfileDb::saveShopAddress(const QString &shop)
{
    return exec(QStringLiteral("UPDATE soft_config SET guest_shop=?"), {shop});
}

bool ProfileDb::saveShopSid(const QString &sid)
{
    return exec(QStringLiteral("UPDATE soft_config SET shopsid=?"), {sid});
}
