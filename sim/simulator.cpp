#include "sim/simulator.h"
#include "sim/support.h"
#include "outside/outside.h"
#include "web/inflate.h"
#include "web/text.h"

#include <QPointer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// The simulator as a whole: it takes each request off the wire, records it, and passes it to
// the role its host plays (marketplace.cpp, apitool.cpp, mirrorsite.cpp).

using namespace sim;

QByteArray SimRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QByteArray SimRequest::path() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QByteArray SimRequest::query(const QByteArray &key) const
{
    const qsizetype q = target.indexOf('?');
    if (q < 0)
        return {};
    for (const QByteArray &pair : target.mid(q + 1).split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if ((eq < 0 ? pair : pair.left(eq)) == key)
            return eq < 0 ? QByteArray("") : pair.mid(eq + 1);
    }
    return {};
}

Simulator::Simulator(SimOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_server(new QTcpServer(this))
{
    static int instances = 0;
    m_siteConnection = QStringLiteral("velorix-sim-%1").arg(instances++);
    buildCatalogue();
    openSiteStore();
    connect(m_server, &QTcpServer::newConnection, this, &Simulator::onConnection);
}

Simulator::~Simulator()
{
    QSqlDatabase::database(m_siteConnection, false).close();
    QSqlDatabase::removeDatabase(m_siteConnection);
}

bool Simulator::listen(quint16 port, const QHostAddress &address)
{
    return m_server->listen(address, port);
}

quint16 Simulator::port() const
{
    return m_server->serverPort();
}

QString Simulator::errorString() const
{
    return m_server->errorString();
}

QList<SimRequest> Simulator::toolRequests() const
{
    QList<SimRequest> out;
    for (const SimRequest &r : m_requests)
        if (r.host == outside::apiToolHost.toLatin1())
            out << r;
    return out;
}

// ---------------------------------------------------------------- HTTP on the wire

void Simulator::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void Simulator::onReadable(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        SimRequest r;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.target = first.value(1);
        qint64 length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            r.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            if (line.left(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = line.mid(colon + 1).trimmed().toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        r.raw = buffer.left(end + 4 + length);
        r.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);

        r.host = r.header("Host");
        // A browser using the simulator as its proxy names the whole address.
        if (r.target.startsWith("http://")) {
            const QUrl url(QString::fromLatin1(r.target));
            r.host = url.host().toLatin1();
            r.target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
            if (r.target.isEmpty())
                r.target = "/";
        }
        if (const qsizetype colon = r.host.indexOf(':'); colon >= 0)
            r.host = r.host.left(colon);
        r.host = r.host.toLower();
        handle(socket, std::move(r));
    }
}

void Simulator::handle(QTcpSocket *socket, SimRequest request)
{
    // "/_host/HOST/..." lets a plain browser look at any host of the simulated world.
    bool viaPrefix = false;
    if (request.target.startsWith("/_host/")) {
        const qsizetype slash = request.target.indexOf('/', 7);
        request.host = request.target.mid(7, slash < 0 ? -1 : slash - 7).toLower();
        request.target = slash < 0 ? QByteArray("/") : request.target.mid(slash);
        viaPrefix = true;
    }
    m_requests.append(request);
    Reply reply = route(request);
    if (viaPrefix && reply.contentType.startsWith("text/html")) {
        static const QRegularExpression absolute(QStringLiteral("http://([a-z0-9.-]+\\.(taobao|taobaocdn|tmall)\\.com)/"));
        QString text = bytestostr(reply.body, QStringLiteral("GBK"));
        // Links within the host first, then links to the other simulated hosts.
        const QString own = QStringLiteral("/_host/") + QString::fromLatin1(request.host) + QLatin1Char('/');
        text.replace(QStringLiteral("href=\"/"), QStringLiteral("href=\"") + own);
        text.replace(QStringLiteral("src=\"/"), QStringLiteral("src=\"") + own);
        reply.body = gb(text.replace(absolute, QStringLiteral("/_host/\\1/")));
    }
    if (reply.hang)
        return;   // the connection stays open and silent until the client gives up
    if (m_options.slowMs > 0) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(m_options.slowMs, this, [this, guard, request, reply] {
            if (guard)
                send(guard, request, reply);
        });
        return;
    }
    send(socket, request, reply);
}

void Simulator::send(QTcpSocket *socket, const SimRequest &request, Reply reply)
{
    const bool http10 = reply.http10Close || request.raw.left(request.raw.indexOf('\n')).contains("HTTP/1.0");
    const QByteArray connection = request.header("Connection").toLower();
    const bool close = reply.http10Close || connection == "close" || (http10 && connection != "keep-alive");
    if (!m_options.compress.isEmpty() && !reply.http10Close
        && request.header("Accept-Encoding").contains(m_options.compress.toLatin1())) {
        reply.body = deflateBody(reply.body, m_options.compress == QLatin1String("gzip"));
        reply.headers.append({"Content-Encoding", m_options.compress.toLatin1()});
    }
    QByteArray out = (http10 ? "HTTP/1.0 " : "HTTP/1.1 ") + reply.status + "\r\n";
    out += "Server: velorix-sim\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto &h : reply.headers)
        out += h.first + ": " + h.second + "\r\n";
    if (!reply.http10Close)
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += close ? "Connection: close\r\n" : "Connection: Keep-Alive\r\n";
    out += "\r\n" + reply.body;
    socket->write(out);
    if (close)
        socket->disconnectFromHost();
}

Simulator::Reply Simulator::route(const SimRequest &r)
{
    const QString host = QString::fromLatin1(r.host);
    if (host == outside::apiToolHost)
        return apiTool(r);
    if (host == outside::itemHost)
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
