#include "sim/httpserver.h"
#include "sim/simulator.h"
#include "sim/support.h"
#include "outside/outside.h"

#include <QTcpSocket>

// Faults of the outside world, switched on by --fault: a kind of request gets an error page,
// half an answer, a closed or reset connection, nonsense, or nothing, in place of its answer.

using namespace sim;

namespace {

using Target = SimFault::Target;
using Kind = SimFault::Kind;

const struct { const char *name; Target target; } kTargets[] = {
    {"list", Target::List},   {"item", Target::Item},     {"desc", Target::Desc},
    {"login", Target::Login}, {"upload", Target::Upload}, {"tool", Target::Tool},
};
const struct { const char *name; Kind kind; } kKinds[] = {
    {"noanswer", Kind::NoAnswer}, {"reset", Kind::Reset}, {"500", Kind::Status500}, {"503", Kind::Status503},
    {"404", Kind::Status404},     {"half", Kind::Half},   {"garbage", Kind::Garbage}, {"hang", Kind::Hang},
};

std::optional<Target> targetOf(const SimRequest &r)
{
    const QString host = QString::fromLatin1(r.host);
    const QByteArray path = r.path();
    if (host == outside::apiToolHost)
        return Target::Tool;
    if (outside::itemHosts.contains(host))
        return Target::Item;
    if (host == outside::descHost)
        return Target::Desc;
    if (host.endsWith(outside::imageDomainSuffix))
        return std::nullopt;
    if (host.endsWith(QStringLiteral(".taobao.com")) || host.endsWith(outside::mallDomain))
        return Target::List;
    if (path.endsWith(outside::loginPath.toLatin1()))
        return Target::Login;
    if (path.endsWith(outside::uploadPath.toLatin1()))
        return Target::Upload;
    return std::nullopt;
}

// The value of a form field in a request's body (ASCII: IDs only).
QString formValue(const QByteArray &body, const QByteArray &key)
{
    for (const QByteArray &pair : body.split('&'))
        if (pair.startsWith(key + '='))
            return QString::fromLatin1(pair.mid(key.size() + 1));
    return {};
}

// The item a request is about: the item page's "id", the description document's folder, the
// conversion's "num_iids", the upload's "itemid".
QString itemOf(const SimRequest &r, Target target)
{
    switch (target) {
    case Target::Item:
        return QString::fromLatin1(r.query("id"));
    case Target::Desc: {
        const QList<QByteArray> parts = r.path().split('/');
        return parts.size() >= 3 ? QString::fromLatin1(parts[2]) : QString();
    }
    case Target::Tool:
        return formValue(r.method == "POST" ? r.body : r.target.mid(r.target.indexOf('?') + 1), "num_iids");
    case Target::Upload:
        return formValue(r.body, "itemid");
    case Target::List:
    case Target::Login:
        break;
    }
    return {};
}

} // namespace

std::optional<SimFault> SimFault::parse(const QString &text)
{
    SimFault f;
    QString spec = text;
    if (const qsizetype at = spec.indexOf(QLatin1Char('@')); at >= 0) {
        f.item = spec.mid(at + 1);
        spec = spec.left(at);
        if (f.item.isEmpty())
            return std::nullopt;
    }
    const QStringList parts = spec.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    bool found = false;
    for (const auto &t : kTargets)
        if (parts[0] == QLatin1String(t.name)) {
            f.target = t.target;
            found = true;
        }
    if (!found)
        return std::nullopt;
    found = false;
    for (const auto &k : kKinds)
        if (parts[1] == QLatin1String(k.name)) {
            f.kind = k.kind;
            found = true;
        }
    if (!found)
        return std::nullopt;
    if (parts.size() == 3) {
        bool ok = false;
        f.every = parts[2].toInt(&ok);
        if (!ok || f.every < 1)
            return std::nullopt;
    }
    // A list page or a login is about no item: a fault kept to one would never meet a request.
    if (!f.item.isEmpty() && (f.target == Target::List || f.target == Target::Login))
        return std::nullopt;
    return f;
}

const SimFault *Simulator::faultFor(const SimRequest &request)
{
    if (m_options.faults.isEmpty())
        return nullptr;
    const auto target = targetOf(request);
    if (!target)
        return nullptr;
    const QString item = itemOf(request, *target);
    for (const SimFault &f : m_options.faults) {
        if (f.target != *target || (!f.item.isEmpty() && f.item != item))
            continue;
        // Each fault counts the requests it could meet.
        const int seen = ++m_faultCounts[int(&f - m_options.faults.constData())];
        if (seen % f.every == 0)
            return &f;
    }
    return nullptr;
}

void Simulator::applyFault(QTcpSocket *connection, const SimRequest &request, const SimFault &fault)
{
    HttpReply reply;
    reply.http10Close = fault.target == Target::Tool;
    switch (fault.kind) {
    case Kind::Hang:
        return;
    case Kind::NoAnswer:
        m_http->breakOff(connection, request, reply, HttpServer::Break::Close);
        return;
    case Kind::Reset:
        m_http->breakOff(connection, request, reply, HttpServer::Break::Reset);
        return;
    case Kind::Status500:
    case Kind::Status503: {
        const bool busy = fault.kind == Kind::Status503;
        reply.status = busy ? "503 Service Temporarily Unavailable" : "500 Internal Server Error";
        const QString title = busy ? QStringLiteral("503 Service Temporarily Unavailable")
                                   : QStringLiteral("500 Internal Server Error");
        reply.body = gb(QStringLiteral("<html><head><title>%1</title></head><body><h1>%1</h1></body></html>").arg(title));
        break;
    }
    case Kind::Status404:
        reply.status = "404 Not Found";
        break;
    case Kind::Half: {
        Reply whole = route(request);
        // A reply that ends with the connection says its length here, as a server may, so
        // that the cut can be seen.
        if (whole.http10Close)
            whole.headers.append({"Content-Length", QByteArray::number(whole.body.size())});
        m_http->breakOff(connection, request, whole, HttpServer::Break::Half);
        return;
    }
    case Kind::Garbage: {
        QByteArray noise(3000, '\0');
        quint32 x = hashOf(QString::fromLatin1(request.target)) | 1;
        for (char &c : noise) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = char(x);
        }
        reply.contentType = "application/octet-stream";
        reply.body = noise;
        break;
    }
    }
    m_http->answer(connection, request, reply);
}
