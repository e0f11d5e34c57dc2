#include "publish/uploadrecord.h"
#include "outside/outside.h"
#include "web/text.h"

std::optional<QString> pagebody(const QString &document, const QString &siteFolder)
{
    constexpr int wrapper = outside::descWrapperHead + outside::descWrapperTail;
    if (document.size() < wrapper)
        return std::nullopt;
    QString t = document.mid(outside::descWrapperHead, document.size() - wrapper);
    // The backslashes go first, so an escaped quote after src= is a plain one for the image
    // sources below.
    t.remove(QLatin1Char('\\'));
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    t.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    const QString imagePage = siteFolder + outside::imagePagePath;
    t.replace(QStringLiteral("src=\"http://"), QStringLiteral("src=\"") + imagePage);
    t.replace(QStringLiteral("src=http://"), QStringLiteral("src=") + imagePage);
    t.replace(outside::imageDomainSuffix, outside::imageDomainMask);
    return t;
}

QString uploadbody(const ItemRecord &row, const QString &page, bool withTaokei)
{
    const std::pair<const char *, const QString &> fields[] = {
        {"itemid", row.item},       {"title", row.title},         {"web_content1", row.web_content},
        {"web_content2", page},     {"money", row.money},         {"web_title", row.web_title},
        {"web_key", row.web_key},   {"web_doc", row.web_doc},     {"web_pic", row.web_pic},
        {"click_url", row.click_url},
    };
    QString body;
    for (const auto &[name, value] : fields) {
        if (!body.isEmpty())
            body += QLatin1Char('&');
        body += QLatin1String(name) + QLatin1Char('=') + urlencode(value);
    }
    if (withTaokei)
        body += QStringLiteral("&taokei=") + (row.html ? QString::number(*row.html) : QString());
    return body;
}
