#pragma once

#include "sim/http.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

// The simulator's connections: accepts them, reads requests off them within the limits,
// hands each complete request on, and writes the answers back. A connection that stays idle,
// or sends part of a request and no more, for longer than the idle time-out is closed.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    // Gets every complete request; it answers through answer(), at once, later or never.
    using Handler = std::function<void(QTcpSocket *connection, SimRequest request)>;
    // idleTimeoutMs is asked each time a connection starts waiting for its client (0: no limit).
    HttpServer(Handler handler, std::function<int()> idleTimeoutMs, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QString errorString() const;

    void answer(QTcpSocket *connection, const SimRequest &request, const HttpReply &reply);
    // Ends the connection in place of an answer: closed without a word, reset, or closed after
    // the first half of the reply.
    enum class Break { Close, Reset, Half };
    void breakOff(QTcpSocket *connection, const SimRequest &request, const HttpReply &reply, Break how);

    // While accepting fails (out of descriptors), it is tried again this often.
    static constexpr int kAcceptRetryMs = 200;
    // What one read takes off a connection at most; beyond it the data waits in the kernel.
    static constexpr qint64 kReadChunk = 1024 * 1024;
    // Connections at once, and what all of them together may hold of requests not yet whole.
    static constexpr int kMaxConnections = 256;
    static constexpr qsizetype kMaxHeldBytes = 256 * 1024 * 1024;

private:
    struct Connection {
        QByteArray buffer;       // what has arrived of requests not yet complete
        qsizetype expected = 0;  // the size of the first of them, once its head is in
        int owed = 0;            // requests handed on and not answered yet
        bool refused = false;    // an error reply went out; what still comes is dropped
        QTimer *idle = nullptr;
    };

    void onConnection();
    void onReadable(QTcpSocket *socket);
    void onIdle(QTcpSocket *socket);
    void refuse(QTcpSocket *socket, const QByteArray &status);
    void waitForClient(Connection &connection);

    Handler m_handler;
    std::function<int()> m_idleTimeoutMs;
    HttpLimits m_limits;
    QTcpServer *m_server;
    QHash<QTcpSocket *, Connection> m_connections;
};
