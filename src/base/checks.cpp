#include "base/checks.h"
#include "rules/rules.h"

#include <QStringList>

namespace {
const QString kHttp = QStringLiteral("http://");
}

FieldCheck checkSiteSettings(const QString &user, const QString &pass, QString &server)
{
    if (user.size() < 5 || user.size() > 32)
        return {QStringLiteral("网站后台用户名5-32字符之间"), QStringLiteral("web_user")};
    if (pass.size() < 5 || pass.size() > 32)
        return {QStringLiteral("网站后台登录密码5-32字符之间"), QStringLiteral("web_pass")};
    if (server.endsWith(QLatin1Char('/')))
        server.chop(1);
    if (server.size() < 4 || server.size() > 50 || !isSiteAddress(server, true))
        return {QStringLiteral("请检查网站域名输入是否正确"), QStringLiteral("web_server")};
    return {};
}

namespace {

bool digitsOnly(const QString &text, int max)
{
    if (text.size() > max)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

bool isSiteAddress(const QString &text, bool pathAllowed)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    const QString hostPort = slash < 0 ? text : text.left(slash);
    const QString path = slash < 0 ? QString() : text.mid(slash);
    if (!pathAllowed && !path.isEmpty())
        return false;
    const qsizetype colon = hostPort.indexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? hostPort : hostPort.left(colon);
    if (colon >= 0) {
        const QString port = hostPort.mid(colon + 1);
        bool ok = false;
        const uint n = port.toUInt(&ok);
        if (!digitsOnly(port, 5) || !ok || n == 0 || n > 65535)
            return false;
    }
    if (host.isEmpty() || host.startsWith(QLatin1Char('.')) || host.endsWith(QLatin1Char('.')))
        return false;
    for (const QString &label : host.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.startsWith(QLatin1Char('-')) || label.endsWith(QLatin1Char('-')))
            return false;
        for (QChar c : label)
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-'))
                return false;
    }
    // "//" would begin another host in the addresses built from the folder.
    if (path.contains(QStringLiteral("//")))
        return false;
    for (QChar c : path)
        if (c.unicode() <= 32 || c.unicode() == 127 || c.category() == QChar::Other_Control
            || QStringLiteral("?#\\@\"<>").contains(c))
            return false;
    return true;
}

FieldCheck checkPublisherId(const QString &pid)
{
    if (!digitsOnly(pid, 20))
        return {QStringLiteral("淘客PID只能是数字"), QStringLiteral("alimama_pid")};
    return {};
}

FieldCheck checkShopSid(const QString &sid)
{
    if (!digitsOnly(sid, 20))
        return {QStringLiteral("店铺ID只能是数字"), QStringLiteral("shopsid")};
    return {};
}

FieldCheck checkShopAddress(const QString &shop)
{
    if (!shop.isEmpty() && (shop.size() > 50 || !isSiteAddress(shop, false)))
        return {QStringLiteral("店铺地址应为店铺的域名，不需要http://"), QStringLiteral("guest_shop")};
    return {};
}

QString normaliseOnChange(const QString &text)
{
    if (text.size() == kHttp.size() && text.compare(kHttp, Qt::CaseInsensitive) == 0)
        return {};
    return text;
}

QString normaliseOnLeave(const QString &text)
{
    if (text.left(kHttp.size()).compare(kHttp, Qt::CaseInsensitive) == 0 && text.size() >= kHttp.size())
        return {};
    return text;
}

QString browserAddress(const QString &box)
{
    return box.size() > 5 ? kHttp + box : QString();
}

FieldCheck checkEdit(const QString &tag, const QString &title, const QString &doc, const QString &key)
{
    if (tag == QLatin1String("0"))
        return {QStringLiteral("非编辑状态不能保存"), {}};
    auto bad = [](const QString &t) { return t.isEmpty() || textLength(t) > kWorkTextLimit; };
    if (bad(title))
        return {QStringLiteral("网页标题不能为空"), QStringLiteral("web_title")};
    if (bad(doc))
        return {QStringLiteral("网页描述不能为空"), QStringLiteral("web_doc")};
    if (bad(key))
        return {QStringLiteral("网页关键词不能为空"), QStringLiteral("web_key")};
    return {};
}

FieldCheck checkrules(const RuleSet &rules)
{
    // The switched-on rules need their text, in the order the rules page shows the groups.
    for (RuleGroup RuleSet::*group : kRulePageOrder) {
        const RuleColumns &c = columnsOf(group);
        const RuleGroup &g = rules.*group;
        if (g.replaceOn && g.find.isEmpty())
            return {QString::fromUtf8(c.name) + QStringLiteral("中要查找的替换字符串不能为空"), c.textColumn(1)};
        if (g.addOn && g.addText.isEmpty())
            return {QString::fromUtf8(c.name) + QStringLiteral("中添加的字符串不能为空"), c.textColumn(3)};
    }
    // What the rules put into the page texts is published: no control character goes with it.
    for (RuleGroup RuleSet::*group : kRulePageOrder) {
        const RuleColumns &c = columnsOf(group);
        const RuleGroup &g = rules.*group;
        const QString *texts[] = {&g.find, &g.replacement, &g.addText};
        for (int n = 1; n <= 3; ++n)
            for (QChar ch : *texts[n - 1])
                if (ch.category() == QChar::Other_Control)
                    return {QStringLiteral("替换规则中不能含有控制字符"), c.textColumn(n)};
    }
    return {};
}
