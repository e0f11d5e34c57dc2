#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

// A one-purpose server for tests: the answer to each complete request (head and a body of
// Content-Length bytes) is whatever the handler writes to the socket. Hostile behaviour
// (closing early, trickling, never ending) is the handler's to script.
class HttpStub : public QTcpServer
{
public:
    using Handler = std::function<void(QTcpSocket *socket, const QByteArray &request)>;

    explicit HttpStub(Handler handler) : m_handler(std::move(handler))
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                ++connections;
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    m_buffers.remove(s);
                    s->deleteLater();
                });
                connect(s, &QTcpSocket::readyRead, s, [this, s] { take(s); });
            }
        });
    }

    int requests = 0;
    int connections = 0;

    // Writes a whole HTTP/1.1 answer.
    static void answer(QTcpSocket *s, const QByteArray &body, const QByteArray &extraHeaders = {},
                       const QByteArray &status = "200 OK")
    {
        s->write("HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body);
    }

private:
    void take(QTcpSocket *s)
    {
        QByteArray &buffer = m_buffers[s];
        buffer += s->readAll();
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            qsizetype length = 0;
            for (const QByteArray &line : buffer.left(end).split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            if (buffer.size() < end + 4 + length)
                return;
            const QByteArray request = buffer.left(end + 4 + length);
            buffer.remove(0, end + 4 + length);
            ++requests;
            m_handler(s, request);
        }
    }

    Handler m_handler;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
