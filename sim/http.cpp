#include "sim/http.h"

#include <QUrl>
#include <limits>

namespace {

// The value of a Content-Length header: -1 when it is not a plain decimal number, and any
// number above cap as cap + 1, however many digits it has.
qint64 contentLength(QByteArrayView value, qint64 cap)
{
    if (value.isEmpty())
        return -1;
    qint64 n = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return -1;
        const int digit = c - '0';
        if (n <= cap)
            n = n > (cap - digit) / 10 ? cap + 1 : n * 10 + digit;
    }
    return n;
}

// The bytes of whole from `from` on, sharing whole's memory instead of copying it: a
// recorded request's body costs nothing beside its raw bytes. Writing to either one
// detaches it, as with any implicitly shared array.
QByteArray sharedTail(QByteArray &whole, qsizetype from)
{
    if (from >= whole.size())
        return {};
    QByteArray::DataPointer tail = whole.data_ptr();   // one more reference to the same block
    if (!tail.d_ptr())
        return whole.mid(from);
    tail.ptr += from;
    tail.size -= from;
    return QByteArray(std::move(tail));
}

QByteArray withoutControls(const QByteArray &value)
{
    QByteArray out;
    out.reserve(value.size());
    for (char c : value)
        if (uchar(c) >= 0x20 && uchar(c) != 0x7f)
            out += c;
    return out;
}

} // namespace

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

ParsedRequest parseRequest(QByteArrayView buffer, const HttpLimits &limits)
{
    ParsedRequest out;
    const qsizetype headLimit = qMax<qsizetype>(0, limits.head);
    // Half the range at most, so that head, body and their sum stay countable.
    const qint64 bodyLimit = qBound<qint64>(0, limits.body, std::numeric_limits<qint64>::max() / 2);
    const qsizetype end = buffer.first(qMin(buffer.size(), headLimit)).indexOf("\r\n\r\n");
    if (end < 0) {
        if (buffer.size() >= headLimit) {
            out.outcome = ParsedRequest::Error;
            out.status = "431 Request Header Fields Too Large";
        }
        return out;
    }

    SimRequest r;
    const QList<QByteArray> lines = buffer.first(end).toByteArray().split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    r.method = first.value(0);
    r.target = first.value(1);
    qint64 length = 0;
    bool lengthSeen = false, lengthBad = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        r.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        if (r.headers.last().first.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        const qint64 n = contentLength(r.headers.last().second, bodyLimit);
        // Two lengths that disagree leave the end of the body open to either reading.
        lengthBad = lengthBad || n < 0 || (lengthSeen && n != length);
        length = n;
        lengthSeen = true;
    }
    if (lengthBad || length > bodyLimit) {
        out.outcome = ParsedRequest::Error;
        out.status = lengthBad ? "400 Bad Request" : "413 Payload Too Large";
        return out;
    }
    const qsizetype total = end + 4 + length;
    if (buffer.size() < total) {
        out.expected = total;
        return out;
    }
    r.raw = buffer.first(total).toByteArray();
    r.body = sharedTail(r.raw, end + 4);

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

    out.outcome = ParsedRequest::Complete;
    out.consumed = total;
    out.request = std::move(r);
    return out;
}

bool isHttp10(const SimRequest &request)
{
    return request.raw.left(request.raw.indexOf('\n')).contains("HTTP/1.0");
}

bool closesAfter(const SimRequest &request, const HttpReply &reply)
{
    const QByteArray connection = request.header("Connection").toLower();
    return reply.http10Close || connection == "close" || (isHttp10(request) && connection != "keep-alive");
}

QByteArray replyBytes(const HttpReply &reply, bool http10, bool close)
{
    QByteArray out = (http10 ? "HTTP/1.0 " : "HTTP/1.1 ") + withoutControls(reply.status) + "\r\n";
    out += "Server: velorix-sim\r\n";
    out += "Content-Type: " + withoutControls(reply.contentType) + "\r\n";
    for (const auto &h : reply.headers)
        out += withoutControls(h.first) + ": " + withoutControls(h.second) + "\r\n";
    if (!reply.http10Close)
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += close ? "Connection: close\r\n" : "Connection: Keep-Alive\r\n";
    out += "\r\n" + reply.body;
    return out;
}
