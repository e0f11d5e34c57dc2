#include "session/checks.h"
#include "rules/rules.h"

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
    if (server.size() < 4 || server.size() > 50)
        return {QStringLiteral("请检查网站域名输入是否正确"), QStringLiteral("web_server")};
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
