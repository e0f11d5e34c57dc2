#include "sim/simulator.h"
#include "sim/httpserver.h"
#include "sim/support.h"
#include "outside/outside.h"
#include "web/charset.h"
#include "web/inflate.h"
#include "web/text.h"

#include <QPointer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTcpSocket>
#include <QTimer>

// The simulator as a whole: it takes each request off the wire, records it, and passes it to
// the role its host plays (marketplace.cpp, apitool.cpp, mirrorsite.cpp).

using namespace sim;

Simulator::Simulator(SimOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)),
      m_http(new HttpServer([this](QTcpSocket *c, SimRequest r) { handle(c, std::move(r)); },
                            [this] { return m_options.idleTimeoutMs; }, this))
{
    static int instances = 0;
    m_siteConnection = QStringLiteral("velorix-sim-%1").arg(instances++);
    buildCatalogue();
    openSiteStore();
}

Simulator::~Simulator()
{
    QSqlDatabase::database(m_siteConnection, false).close();
    QSqlDatabase::removeDatabase(m_siteConnection);
}

bool Simulator::listen(quint16 port, const QHostAddress &address)
{
    return m_http->listen(address, port);
}

quint16 Simulator::port() const
{
    return m_http->port();
}

QString Simulator::errorString() const
{
    return m_http->errorString();
}

QList<SimRequest> Simulator::toolRequests() const
{
    QList<SimRequest> out;
    for (const SimRequest &r : m_requests)
        if (r.host == outside::apiToolHost.toLatin1())
            out << r;
    return out;
}

void Simulator::clearRequests()
{
    m_requests.clear();
    m_requestBytes = 0;
}

void Simulator::record(const SimRequest &request)
{
    m_requests.append(request);
    m_requestBytes += request.raw.size();   // the body is part of raw
    while (m_requests.size() > 1
           && (m_requests.size() > m_options.recordCount || m_requestBytes > m_options.recordBytes)) {
        m_requestBytes -= m_requests.first().raw.size();
        m_requests.removeFirst();
    }
}

void Simulator::handle(QTcpSocket *connection, SimRequest request)
{
    // "/_host/HOST/..." lets a plain browser look at any host of the simulated world.
    bool viaPrefix = false;
    if (request.target.startsWith("/_host/")) {
        const qsizetype slash = request.target.indexOf('/', 7);
        request.host = request.target.mid(7, slash < 0 ? -1 : slash - 7).toLower();
        request.target = slash < 0 ? QByteArray("/") : request.target.mid(slash);
        viaPrefix = true;
    }
    record(request);
    if (const SimFault *fault = faultFor(request)) {
        applyFault(connection, request, *fault);
        return;
    }
    Reply reply = route(request);
    if (viaPrefix && reply.contentType.startsWith("text/html")) {
        static const QRegularExpression absolute(QStringLiteral("http://([a-z0-9.-]+\\.(taobao|taobaocdn|tmall)\\.com)/"));
        const bool utf8 = pageCharset(reply.body, reply.contentType, QStringLiteral("GBK")) == QLatin1String("UTF-8");
        QString text = bytestostr(reply.body, utf8 ? QStringLiteral("UTF-8") : QStringLiteral("GBK"));
        // Links within the host first, then links to the other simulated hosts.
        const QString own = QStringLiteral("/_host/") + QString::fromLatin1(request.host) + QLatin1Char('/');
        text.replace(QStringLiteral("href=\"/"), QStringLiteral("href=\"") + own);
        text.replace(QStringLiteral("src=\"/"), QStringLiteral("src=\"") + own);
        text.replace(absolute, QStringLiteral("/_host/\\1/"));
        reply.body = utf8 ? text.toUtf8() : gb(text);
    }
    if (reply.hang)
        return;   // the connection stays open and silent until the client gives up
    if (m_options.slowMs > 0) {
        QPointer<QTcpSocket> guard(connection);
        QTimer::singleShot(m_options.slowMs, this, [this, guard, request, reply] {
            if (guard)
                send(guard, request, reply);
        });
        return;
    }
    send(connection, request, reply);
}

void Simulator::send(QTcpSocket *connection, const SimRequest &request, Reply reply)
{
    if (!m_options.compress.isEmpty() && !reply.http10Close
        && request.header("Accept-Encoding").contains(m_options.compress.toLatin1())) {
        reply.body = deflateBody(reply.body, m_options.compress == QLatin1String("gzip"));
        reply.headers.append({"Content-Encoding", m_options.compress.toLatin1()});
    }
    m_http->answer(connection, request, reply);
}

namespace {

// A Host header a web server takes: a name or address and an optional port, nothing else.
bool goodHostHeader(const QByteArray &value)
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z0-9_.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"));
    return value.isEmpty() || re.match(QString::fromLatin1(value)).hasMatch();
}

} // namespace

Simulator::Reply Simulator::route(const SimRequest &r)
{
    if (!goodHostHeader(r.header("Host"))) {
        Reply bad;
        bad.status = "400 Bad Request";
        bad.contentType = "text/html";
        bad.body = "<html><body><h2>Bad Request - Invalid Hostname</h2></body></html>";
        return bad;
    }
    const QString host = QString::fromLatin1(r.host);
    if (host == outside::apiToolHost)
        return apiTool(r);
    if (outside::itemHosts.contains(host))
        return itemPage(r);
    if (host == outside::descHost)
        return descDocument(r);
    if (host.endsWith(outside::imageDomainSuffix))
        return picture(QStringLiteral("http://") + host + QString::fromLatin1(r.target));
    if (host.endsWith(QStringLiteral(".taobao.com")) || host.endsWith(outside::mallDomain))
        return shopList(r);
    // Anything else is the operator's mirror site.
    return mirrorSite(r);
}
