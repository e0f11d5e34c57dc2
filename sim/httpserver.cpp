#include "sim/httpserver.h"

#include <QTcpServer>
#include <QTcpSocket>

HttpServer::HttpServer(Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::onConnection);
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
        socket->setReadBufferSize(kReadChunk);
        m_connections.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
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

void HttpServer::answer(QTcpSocket *socket, const SimRequest &request, const HttpReply &reply)
{
    if (!m_connections.contains(socket))
        return;
    const bool close = closesAfter(request, reply);
    socket->write(replyBytes(reply, reply.http10Close || isHttp10(request), close));
    if (close)
        socket->disconnectFromHost();
}
