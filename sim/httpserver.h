#pragma once

#include "sim/http.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpServer;
class QTcpSocket;

// The simulator's connections: accepts them, reads requests off them within the limits,
// hands each complete request on, and writes the answers back.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    // Gets every complete request; it answers through answer(), at once, later or never.
    using Handler = std::function<void(QTcpSocket *connection, SimRequest request)>;
    explicit HttpServer(Handler handler, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QString errorString() const;

    void answer(QTcpSocket *connection, const SimRequest &request, const HttpReply &reply);

    // What one read takes off a connection at most; beyond it the data waits in the kernel.
    static constexpr qint64 kReadChunk = 1024 * 1024;

private:
    struct Connection {
        QByteArray buffer;       // what has arrived of requests not yet complete
        qsizetype expected = 0;  // the size of the first of them, once its head is in
        bool refused = false;    // an error reply went out; what still comes is dropped
    };

    void onConnection();
    void onReadable(QTcpSocket *socket);
    void refuse(QTcpSocket *socket, const QByteArray &status);

    Handler m_handler;
    HttpLimits m_limits;
    QTcpServer *m_server;
    QHash<QTcpSocket *, Connection> m_connections;
};
