#pragma once

#include <QByteArray>
#include <QNetworkProxy>
#include <QString>
#include <optional>

// The HTTP proxy of the operator's machine, taken from the environment as the machine's other
// tools take it: http_proxy (else HTTP_PROXY, else all_proxy / ALL_PROXY), and no_proxy (else
// NO_PROXY) for the hosts reached directly. The environment is read again for every request,
// so what a connection does never depends on when the process or the service started.
// The connect-to switch wins over all of it: with VELORIX_CONNECT_TO set, no proxy is used.
namespace outside {

struct Proxy {
    QString host;
    quint16 port = 0;
    QByteArray user, password;   // as given, percent-decoded

    bool hasCredentials() const { return !user.isEmpty() || !password.isEmpty(); }
    // The Proxy-Authorization value for these credentials ("Basic ..."); empty without them.
    QByteArray authorization() const;
    QNetworkProxy networkProxy() const;
};

// A proxy setting: "http://[user[:password]@]host[:port][/]", the scheme optional, the port 80
// when none is given. Nothing for anything else, with the reason in why.
std::optional<Proxy> parseProxy(const QString &value, QString *why = nullptr);

// Whether a no_proxy list names host (the host an address names, not where a connection
// goes) on port. Entries are separated by commas: "*" for every host; a name, with or without
// a leading "." or "*.", for that host and every host under it; an address, or a range such as
// 10.0.0.0/8, for the hosts given as such addresses; any of them with ":port" for that port only.
bool bypassesProxy(const QString &noProxy, const QString &host, quint16 port);

// The proxy a connection to host:port goes through right now, if any. A setting that is not
// usable is left aside, with one warning (category velorix.proxy) until it changes.
std::optional<Proxy> proxyFor(const QString &host, quint16 port);

// A raw request ("METHOD /path HTTP/1.x", headers, blank line, body) as it is sent to a proxy:
// the target in absolute form (http://host[:port]/path) and, with credentials,
// Proxy-Authorization after the other headers. Every other byte stays as it was.
QByteArray throughProxy(const QByteArray &request, const QString &host, quint16 port, const Proxy &proxy);

// The choice above for a network manager's every request, by the address it asks for.
class ProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;
};

} // namespace outside
