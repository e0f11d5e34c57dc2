#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

// HTTP as the simulator speaks it on the wire: reading one request out of the bytes a
// connection has delivered so far, and writing one reply.

// A request as it arrived on the wire.
struct SimRequest {
    QByteArray raw;        // request line, headers and body, byte for byte
    QByteArray method, target, host;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;       // the tail of raw; it shares raw's memory

    QByteArray header(const QByteArray &name) const;
    QByteArray path() const;                 // target without the query
    QByteArray query(const QByteArray &key) const;
};

// The most one request may take. Anything bigger is refused before it is buffered.
struct HttpLimits {
    qsizetype head = 64 * 1024;            // request line and headers, with the blank line
    qsizetype body = 64 * 1024 * 1024;
};

struct ParsedRequest {
    enum Outcome { NeedMore, Complete, Error };
    Outcome outcome = NeedMore;
    SimRequest request;        // Complete
    qsizetype consumed = 0;    // Complete: the request's bytes at the start of the buffer
    qsizetype expected = 0;    // NeedMore: the bytes the request needs once its head is in, else 0
    QByteArray status;         // Error: the status line to refuse it with, e.g. "400 Bad Request"
};

// Reads the request at the start of buffer. Pure: it ends on any input, and what it allocates
// is bounded by the limits (the head is read from its first limits.head bytes only, and no
// body is copied before all of it is there).
ParsedRequest parseRequest(QByteArrayView buffer, const HttpLimits &limits = {});

struct HttpReply {
    QByteArray status = "200 OK";
    QByteArray contentType = "text/html; charset=gb2312";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool http10Close = false;   // HTTP/1.0 reply without a length, then the connection is closed
};

// Whether the request came as HTTP/1.0, and whether its connection ends after the reply.
bool isHttp10(const SimRequest &request);
bool closesAfter(const SimRequest &request, const HttpReply &reply);

// The reply's bytes: status line, headers, blank line, body. Header values lose any control
// character, so nothing a request put into them can end a header early.
QByteArray replyBytes(const HttpReply &reply, bool http10, bool close);
