#include "outside/proxy.h"
#include "outside/outside.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QMutex>
#include <QUrl>

Q_LOGGING_CATEGORY(lcProxy, "velorix.proxy")

namespace outside {

namespace {

constexpr quint16 kHttpPort = 80;

std::optional<quint16> portOf(const QString &text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

// The first of these variables that is set to something, and its name.
QString firstSet(std::initializer_list<const char *> names, const char **which)
{
    for (const char *name : names) {
        const QString value = qEnvironmentVariable(name).trimmed();
        if (!value.isEmpty()) {
            *which = name;
            return value;
        }
    }
    return QString();
}

// Every connection reads the setting again: a bad one would otherwise fill the log. Neither the
// value nor anything of it is logged, since it may carry a password.
void noteSetting(const char *name, const QString &value, const QString &why)
{
    static QMutex mutex;
    static QString reported;
    const QString key = why.isEmpty() ? QString() : QLatin1String(name) + QLatin1Char('=') + value;
    {
        const QMutexLocker lock(&mutex);
        if (key == reported)
            return;
        reported = key;
    }
    if (!why.isEmpty())
        qCWarning(lcProxy).noquote() << name << QStringLiteral("does not name a usable HTTP proxy (") + why
                                            + QStringLiteral("); connecting without a proxy");
}

} // namespace

QByteArray Proxy::authorization() const
{
    if (!hasCredentials())
        return QByteArray();
    return "Basic " + (user + ':' + password).toBase64();
}

QNetworkProxy Proxy::networkProxy() const
{
    return QNetworkProxy(QNetworkProxy::HttpProxy, host, port, QString::fromUtf8(user), QString::fromUtf8(password));
}

std::optional<Proxy> parseProxy(const QString &value, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return std::optional<Proxy>();
    };
    QString text = value.trimmed();
    if (text.isEmpty())
        return refuse(QStringLiteral("empty"));
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("http://"));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return refuse(QStringLiteral("not an address"));
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return refuse(QStringLiteral("a %1 proxy, not an HTTP one").arg(url.scheme()));
    if (url.host().isEmpty())
        return refuse(QStringLiteral("no host"));
    if (url.port() == 0)
        return refuse(QStringLiteral("port 0"));
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        return refuse(QStringLiteral("more than a host and port"));
    Proxy proxy;
    proxy.host = url.host();
    proxy.port = quint16(url.port(kHttpPort));
    proxy.user = QByteArray::fromPercentEncoding(url.userName(QUrl::FullyEncoded).toLatin1());
    proxy.password = QByteArray::fromPercentEncoding(url.password(QUrl::FullyEncoded).toLatin1());
    return proxy;
}

bool bypassesProxy(const QString &noProxy, const QString &host, quint16 port)
{
    QString name = host.trimmed().toLower();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (name.isEmpty())
        return false;
    // A host given as an address matches addresses and ranges only: "0.0.1" is no parent
    // domain of 127.0.0.1.
    const QHostAddress address(name);

    for (const QString &item : noProxy.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString entry = item.trimmed().toLower();
        if (entry == QLatin1String("*"))
            return true;
        std::optional<quint16> entryPort;
        if (entry.startsWith(QLatin1Char('['))) {
            const qsizetype close = entry.indexOf(QLatin1Char(']'));
            if (close < 0)
                continue;
            const QString rest = entry.mid(close + 1);
            if (!rest.isEmpty()) {
                if (!rest.startsWith(QLatin1Char(':')) || !(entryPort = portOf(rest.mid(1))))
                    continue;
            }
            entry = entry.mid(1, close - 1);
        } else if (entry.count(QLatin1Char(':')) == 1) {
            const qsizetype colon = entry.indexOf(QLatin1Char(':'));
            if (!(entryPort = portOf(entry.mid(colon + 1))))
                continue;
            entry.truncate(colon);
        }
        if (entryPort && *entryPort != port)
            continue;

        if (entry.contains(QLatin1Char('/'))) {
            const auto subnet = QHostAddress::parseSubnet(entry);
            if (!address.isNull() && subnet.second >= 0 && address.isInSubnet(subnet))
                return true;
            continue;
        }
        if (!address.isNull()) {
            if (QHostAddress(entry) == address)
                return true;
            continue;
        }
        if (entry.startsWith(QLatin1String("*.")))
            entry.remove(0, 1);
        if (entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        while (entry.endsWith(QLatin1Char('.')))
            entry.chop(1);
        if (!entry.isEmpty() && (name == entry || name.endsWith(QLatin1Char('.') + entry)))
            return true;
    }
    return false;
}

std::optional<Proxy> proxyFor(const QString &host, quint16 port)
{
    // The simulator and the tests stand in for every host, the proxy's included.
    if (connectTo(host))
        return std::nullopt;
    const char *name = nullptr;
    const QString setting = firstSet({"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}, &name);
    if (setting.isEmpty())
        return std::nullopt;
    QString why;
    const std::optional<Proxy> proxy = parseProxy(setting, &why);
    noteSetting(name, setting, proxy ? QString() : why);
    if (!proxy)
        return std::nullopt;
    const char *listName = nullptr;
    const QString noProxy = firstSet({"no_proxy", "NO_PROXY"}, &listName);
    if (bypassesProxy(noProxy, host, port))
        return std::nullopt;
    return proxy;
}

QByteArray throughProxy(const QByteArray &request, const QString &host, quint16 port, const Proxy &proxy)
{
    const qsizetype lineEnd = request.indexOf("\r\n");
    const qsizetype space = request.indexOf(' ');
    if (lineEnd < 0 || space < 0 || space + 1 >= lineEnd || request.at(space + 1) != '/')
        return request;
    QUrl origin;
    origin.setScheme(QStringLiteral("http"));
    origin.setHost(host);
    if (port != kHttpPort)
        origin.setPort(port);
    QByteArray out = request;
    out.insert(space + 1, origin.toEncoded());
    if (proxy.hasCredentials()) {
        const qsizetype headEnd = out.indexOf("\r\n\r\n");
        if (headEnd >= 0)
            out.insert(headEnd + 2, "Proxy-Authorization: " + proxy.authorization() + "\r\n");
    }
    return out;
}

QList<QNetworkProxy> ProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    const QUrl url = query.url();
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0) {
        if (const auto proxy = proxyFor(url.host(), quint16(url.port(kHttpPort))))
            return {proxy->networkProxy()};
    }
    return {QNetworkProxy(QNetworkProxy::NoProxy)};
}

} // namespace outside
