#pragma once

// Raw exchanges with the simulator, as the outside world sees them.
#include "sim/simulator.h"
#include "web/text.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

struct SimAnswer {
    QByteArray head, body;
    bool closedByServer = false;
    QString text() const { return bytestostr(body, "gb2312"); }
};

// Sends raw bytes and reads until the server closes or the time is up.
inline SimAnswer simExchange(Simulator &sim, const QByteArray &request, int ms = 3000)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, sim.port());
    if (!s.waitForConnected(2000))
        return {};
    s.write(request);
    QByteArray all;
    SimAnswer a;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QTest::qWait(10);
        all += s.readAll();
        if (s.state() == QAbstractSocket::UnconnectedState) {
            a.closedByServer = true;
            break;
        }
    }
    all += s.readAll();
    const qsizetype split = all.indexOf("\r\n\r\n");
    a.head = all.left(split);
    a.body = split < 0 ? QByteArray() : all.mid(split + 4);
    return a;
}

inline SimAnswer simGet(Simulator &sim, const QString &host, const QString &target, const QByteArray &cookie = {})
{
    QByteArray r = "GET " + target.toUtf8() + " HTTP/1.1\r\nHost: " + host.toLatin1() + "\r\nConnection: close\r\n";
    if (!cookie.isEmpty())
        r += "Cookie: " + cookie + "\r\n";
    return simExchange(sim, r + "\r\n");
}
