#include "outside/outside.h"

#include <vector>

namespace outside {

QString shopListAddress(const QString &shop, int page)
{
    return QStringLiteral("http://") + shop + shopListQuery + QString::number(page);
}

QString itemPageAddress(const QString &itemId)
{
    return QStringLiteral("http://") + itemHost + itemPagePath + itemId;
}

QString descriptionPrefix()
{
    return QStringLiteral("http://") + descHost + QLatin1Char('/');
}

static QString convertCommon(const char *method, const char *httpMethod = "POST", const char *codeType = ".NET")
{
    return QStringLiteral("format=xml&method=%1&restId=2&api_soure=0&app_key=%2&app_secret=%2"
                          "&sip_http_method=%3&codeType=%4&fields=click_url")
        .arg(QLatin1String(method), apiAppValue, QLatin1String(httpMethod), QLatin1String(codeType));
}

QString itemConvertHead()
{
    return convertCommon("taobao.taobaoke.items.convert") + QStringLiteral("&nick=&outer_code=&num_iids=");
}

QString itemConvertTail(const QString &pid)
{
    return QStringLiteral("&pid=") + pid + QStringLiteral("&is_mobile=&session=");
}

QString shopConvertHead()
{
    return convertCommon("taobao.taobaoke.shops.convert") + QStringLiteral("&sids=");
}

QString shopConvertTail(const QString &pid)
{
    return QStringLiteral("&nick=&outer_code=&pid=") + pid + QStringLiteral("&session=");
}

QString itemConvertQuery(const QString &itemId)
{
    return convertCommon("taobao.taobaoke.items.convert", "GET") + QStringLiteral("&nick=&outer_code=&num_iids=")
           + itemId + itemConvertTail(builtinPid);
}

QString shopConvertQuery(const QString &sid)
{
    return convertCommon("taobao.taobaoke.shops.convert", "GET", "JAVA") + QStringLiteral("&sids=") + sid
           + shopConvertTail(builtinPid);
}

QString convertUserAgent()
{
    return QStringLiteral("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Mozilla/4.0 (compatible; MSIE 6.0; "
                          "Windows NT 5.1; SV1) ; .NET CLR 2.0.50727)");
}

QString browserUserAgent()
{
    return QStringLiteral("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; EmbeddedWB 14.52 from: "
                          "http://www.embeddedwb.example/ EmbeddedWB 14.52; .NET CLR 2.0.50727)");
}

static qsizetype folderAt(const QString &webserver)
{
    const qsizetype slash = webserver.indexOf(QLatin1Char('/'));
    return slash < 0 ? webserver.size() : slash;
}

QString siteHost(const QString &webserver)
{
    return webserver.left(folderAt(webserver));
}

QString siteFolder(const QString &webserver)
{
    QString folder = webserver.mid(folderAt(webserver));
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString siteAddress(const QString &webserver, const QString &path)
{
    return QStringLiteral("http://") + siteHost(webserver) + siteFolder(webserver) + path;
}


namespace {

std::optional<Endpoint> endpointOf(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    const QString host = text.left(colon);
    for (QChar c : host)
        if (!(c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-'))))
            return std::nullopt;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    // A name an address would read otherwise ("1200" is 0.0.4.176 to it) is no name to go to.
    QUrl u;
    u.setHost(host);
    if (u.host() != host.toLower())
        return std::nullopt;
    return Endpoint{host, quint16(port)};
}

struct Rule {
    QString name;   // empty: every other host
    Endpoint to;
};

// The switch's entries, or what is wrong with them. A value that cannot be used must never send
// a connection to the real host.
std::vector<Rule> rules(QString *problem)
{
    std::vector<Rule> out;
    const QString value = qEnvironmentVariable("VELORIX_CONNECT_TO").trimmed();
    if (value.isEmpty())
        return out;
    for (const QString &raw : value.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;   // "a,b," or "a,,b"
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        Rule r;
        if (eq >= 0) {
            r.name = entry.left(eq).trimmed().toLower();
            if (r.name.isEmpty() || r.name.contains(QLatin1Char(' '))) {
                *problem = entry;
                return {};
            }
        }
        const auto to = endpointOf(eq >= 0 ? entry.mid(eq + 1).trimmed() : entry);
        if (!to) {
            *problem = entry;
            return {};
        }
        r.to = *to;
        out.push_back(r);
    }
    return out;
}

} // namespace

QString connectToProblem()
{
    QString problem;
    rules(&problem);
    return problem.isEmpty() ? QString() : QStringLiteral("VELORIX_CONNECT_TO 的设置无法使用：") + problem;
}

std::optional<Endpoint> connectTo(const QString &host)
{
    // "HOST:PORT" for every host, or a list that sends some hosts elsewhere:
    // "item.taobao.com=127.0.0.1:1,127.0.0.1:18080" (a name covers its subdomains too).
    QString problem;
    const std::vector<Rule> list = rules(&problem);
    if (!problem.isEmpty())
        return Endpoint{};   // nowhere: see connectToProblem()
    const QString h = host.toLower();
    const Rule *fallback = nullptr;
    for (const Rule &r : list) {
        if (r.name.isEmpty()) {
            if (!fallback)
                fallback = &r;
        } else if (h == r.name || h.endsWith(QLatin1Char('.') + r.name)) {
            return r.to;
        }
    }
    return fallback ? std::optional<Endpoint>(fallback->to) : std::nullopt;
}

QUrl route(const QUrl &address)
{
    const auto to = connectTo(address.host());
    if (!to)
        return address;
    if (to->host.isEmpty())
        return QUrl();   // the switch is set and unusable: no address at all
    QUrl routed = address;
    routed.setHost(to->host);
    routed.setPort(to->port);
    return routed;
}

QString hostHeader(const QUrl &address)
{
    const QString host = address.host(QUrl::FullyEncoded);
    return address.port() == -1 ? host : host + QLatin1Char(':') + QString::number(address.port());
}

} // namespace outside
