#include "sim/httpserver.h"

#include <sys/socket.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

HttpServer::HttpServer(Handler handler, std::function<int()> idleTimeoutMs, QObject *parent)
    : QObject(parent), m_handler(std::move(handler)), m_idleTimeoutMs(std::move(idleTimeoutMs)),
      m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::onConnection);
    // A failed accept (no descriptor left) pauses the server; the connections that wait in
    // the kernel are taken once descriptors are free again.
    connect(m_server, &QTcpServer::acceptError, this, [this] {
        QTimer::singleShot(kAcceptRetryMs, this, [this] {
            if (m_server->isListening())
                m_server->resumeAccepting();
        });
    });
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 HttpServer::port() const
{
    return m_server->serverPort();
}

QString HttpServer::errorString() const
{
    return m_server->errorString();
}

void HttpServer::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // Beyond so many at once a connection is closed at once: together they could hold
        // more than the simulator may.
        if (m_connections.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(kReadChunk);
        Connection &c = m_connections[socket];
        c.idle = new QTimer(socket);
        c.idle->setSingleShot(true);
        connect(c.idle, &QTimer::timeout, this, [this, socket] { onIdle(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
        waitForClient(c);
    }
}

void HttpServer::waitForClient(Connection &c)
{
    const int ms = m_idleTimeoutMs ? m_idleTimeoutMs() : 0;
    if (ms > 0)
        c.idle->start(ms);
    else
        c.idle->stop();
}

void HttpServer::onIdle(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->owed > 0)
        return;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();   // a close that a client not reading its answer holds up
        return;
    }
    it->buffer.clear();
    socket->disconnectFromHost();
    // Closing waits for the last answer to go out; the next expiry ends it regardless.
    if (const auto still = m_connections.find(socket); still != m_connections.end())
        waitForClient(*still);
}

void HttpServer::onReadable(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (it->refused) {
        socket->skip(socket->bytesAvailable());
        return;
    }
    // What all connections hold of unfinished requests stays bounded, not only each one's.
    qsizetype held = 0;
    for (const Connection &other : std::as_const(m_connections))
        held += other.buffer.size();
    if (held + socket->bytesAvailable() > kMaxHeldBytes) {
        refuse(socket, "503 Service Unavailable");
        return;
    }
    it->buffer += socket->readAll();   // at most kReadChunk, the socket's buffer size
    if (it->buffer.size() < it->expected)
        return;

    qsizetype at = 0;
    for (;;) {
        // The handler may have closed the connection; look it up again each time.
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        Connection &c = *it;
        if (at >= c.buffer.size()) {
            c.buffer.clear();
            c.expected = 0;
            return;
        }
        ParsedRequest parsed = parseRequest(QByteArrayView(c.buffer).sliced(at), m_limits);
        if (parsed.outcome == ParsedRequest::NeedMore) {
            if (at > 0)
                c.buffer = c.buffer.sliced(at);   // a copy: the consumed requests' memory goes
            c.expected = parsed.expected;
            return;
        }
        if (parsed.outcome == ParsedRequest::Error) {
            refuse(socket, parsed.status);
            return;
        }
        at += parsed.consumed;
        c.expected = 0;
        ++c.owed;
        c.idle->stop();
        m_handler(socket, std::move(parsed.request));
    }
}

void HttpServer::refuse(QTcpSocket *socket, const QByteArray &status)
{
    Connection &c = m_connections[socket];
    c.refused = true;
    c.buffer.clear();
    c.expected = 0;
    HttpReply reply;
    reply.status = status;
    reply.body = "<html><body>" + status + "</body></html>";
    socket->write(replyBytes(reply, false, true));
    socket->disconnectFromHost();
}

void HttpServer::breakOff(QTcpSocket *socket, const SimRequest &request, const HttpReply &reply, Break how)
{
    if (!m_connections.contains(socket))
        return;
    if (how == Break::Half) {
        // The whole head, with the length of the whole body, then half of the body.
        const QByteArray bytes = replyBytes(reply, isHttp10(request), true);
        socket->write(bytes.left(bytes.size() - reply.body.size() / 2));
        socket->flush();
    }
    if (how == Break::Reset) {
        // No lingering: the close sends a reset instead of an orderly end.
        const struct linger noLinger = {1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
        socket->abort();
        return;
    }
    socket->disconnectFromHost();
}

void HttpServer::answer(QTcpSocket *socket, const SimRequest &request, const HttpReply &reply)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (it->owed > 0)
        --it->owed;
    const bool close = closesAfter(request, reply);
    socket->write(replyBytes(reply, reply.http10Close || isHttp10(request), close));
    if (close)
        socket->disconnectFromHost();
    if (const auto still = m_connections.find(socket); still != m_connections.end() && still->owed == 0)
        waitForClient(*still);
}
