#include "web/fetch.h"
#include "outside/outside.h"
#include "outside/proxy.h"
#include "web/charset.h"
#include "web/cookiejar.h"
#include "web/inflate.h"
#include "web/text.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <optional>

Q_LOGGING_CATEGORY(lcFetch, "velorix.fetch")

namespace {

const QString kFalse = QStringLiteral("$False$");

// A request body that reports no size of its own: the network stack then keeps the
// Content-Length header where the header set puts it instead of appending its own. It can
// still be rewound, so a post that the stack sends again on a fresh connection (the kept-alive
// one having been closed by the server) carries its body the second time too.
class SequentialBody : public QIODevice
{
public:
    SequentialBody(QByteArray data, QObject *parent) : QIODevice(parent), m_data(std::move(data))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    bool reset() override
    {
        m_pos = 0;
        return true;
    }
    qint64 bytesAvailable() const override { return m_data.size() - m_pos + QIODevice::bytesAvailable(); }
    bool atEnd() const override { return m_pos >= m_data.size() && QIODevice::bytesAvailable() == 0; }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        const qint64 n = qMin(max, qint64(m_data.size()) - m_pos);
        if (n <= 0)
            return m_pos >= m_data.size() ? -1 : 0;
        memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_pos = 0;
};

using Failure = FetchResult::Failure;

// The class of a transfer the network stack ended with an error. A break after the answer began
// is a cut-off answer; before, the server never answered.
Failure classOf(QNetworkReply::NetworkError error, bool began)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return Failure::Refused;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return Failure::HostNotFound;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::OperationCanceledError:   // the transfer time-out aborts so
        return Failure::Timeout;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::UnknownContentError:
        return began ? Failure::Undecodable : Failure::NoAnswer;
    default:
        return began ? Failure::CutOff : Failure::NoAnswer;
    }
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// How much of the answer the network stack may hold before it stops reading from the socket
// and waits for us: the cap below is then checked as the bytes come, not after they all came.
constexpr qint64 kReadBufferBytes = 256 * 1024;

} // namespace

struct WebService::Request {
    QByteArray method = "GET";
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;   // sent in this order
    QByteArray body;
    QString charset;
    int redirects = 0;
    QDeadlineTimer deadline;
    bool hasContext = false;
    QPointer<QObject> context;
    FetchDone done;

    // The answer so far, and why it is refused when it is (set before the transfer is aborted).
    QByteArray received;
    std::optional<FetchResult::Failure> failure;
    QString failureDetail;

    bool dropped = false;   // its context went: nobody waits for it any more

    void finish(const FetchResult &result)
    {
        if (dropped || (hasContext && context.isNull()))
            return;
        if (done)
            done(result);
    }
    void fail(FetchResult::Failure why, const QString &detail, int status = 0)
    {
        qCWarning(lcFetch).noquote() << method << url.toString() << "failed:" << detail;
        finish(FetchResult::failed(why, detail, status));
    }
    void setHeader(const QByteArray &name, const QByteArray &value)
    {
        for (auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0) {
                h.second = value;
                return;
            }
    }
    void removeHeader(const QByteArray &name)
    {
        headers.removeIf([&](const auto &h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
    }
    bool hasHeader(const QByteArray &name) const
    {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
};

WebService::WebService(QObject *parent) : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    // Each request asks it afresh, by the address asked for; without it the network stack
    // would follow a proxy setting of its own, the connect-to switch notwithstanding.
    m_manager->setProxyFactory(new outside::ProxyFactory);
    clearCookies();
}

BoundedCookieJar *WebService::cookieJar() const
{
    return static_cast<BoundedCookieJar *>(m_manager->cookieJar());
}

void WebService::clearCookies()
{
    m_manager->setCookieJar(new BoundedCookieJar(kMaxCookiesPerHost, kMaxCookies, m_manager));
}

void WebService::start(Request request)
{
    auto r = std::make_shared<Request>(std::move(request));
    r->deadline = QDeadlineTimer(m_deadlineMs);
    send(std::move(r));
}

void WebService::send(std::shared_ptr<Request> r)
{
    const QUrl target = outside::route(r->url);
    if (!r->url.isValid() || r->url.host().isEmpty() || !target.isValid()
        || (r->url.scheme() != QLatin1String("http") && r->url.scheme() != QLatin1String("https"))) {
        QTimer::singleShot(0, this, [r] { r->fail(Failure::BadAddress, QStringLiteral("not a usable address")); });
        return;
    }
    QNetworkRequest req(target);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    req.setTransferTimeout(m_timeoutMs);
    // A request rerouted by the connect-to switch still names the real host.
    if (target != r->url && !r->hasHeader("Host"))
        req.setRawHeader("Host", outside::hostHeader(r->url).toLatin1());
    for (const auto &h : r->headers)
        req.setRawHeader(h.first, h.second);
    // Cookies are kept by the address asked for, not by where the connection went.
    const QList<QNetworkCookie> cookies = cookieJar()->cookiesForUrl(r->url);
    if (!cookies.isEmpty()) {
        QByteArrayList pairs;
        for (const QNetworkCookie &c : cookies)
            pairs << c.toRawForm(QNetworkCookie::NameAndValueOnly);
        req.setRawHeader("Cookie", pairs.join("; "));
    }

    QNetworkReply *reply;
    if (r->method == "POST") {
        req.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
        auto *body = new SequentialBody(r->body, nullptr);
        reply = m_manager->post(req, body);
        body->setParent(reply);
    } else {
        reply = m_manager->get(req);
    }
    reply->setReadBufferSize(kReadBufferBytes);
    // The asker gone, the transfer goes too: nothing more is read for an answer nobody takes.
    if (r->hasContext && r->context)
        connect(r->context.data(), &QObject::destroyed, reply, [r, reply] {
            r->dropped = true;
            reply->abort();
        });
    r->received.clear();
    r->failure.reset();

    // The idle time-out only fires when nothing arrives; a server that trickles is cut off here.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [r, reply] {
        r->failure = Failure::Timeout;
        r->failureDetail = QStringLiteral("no complete answer within the time limit");
        reply->abort();
    });
    deadline->start(int(qMax<qint64>(0, r->deadline.remainingTime())));

    connect(reply, &QNetworkReply::readyRead, this, [r, reply] {
        if (r->failure)
            return;
        const QByteArray chunk = reply->readAll();
        if (r->received.size() + chunk.size() > kMaxBodyBytes) {
            r->failure = Failure::TooLarge;
            r->failureDetail = QStringLiteral("answer larger than %1 bytes").arg(kMaxBodyBytes);
            r->received.clear();
            reply->abort();
            return;
        }
        r->received += chunk;
    });

    connect(reply, &QNetworkReply::finished, this, [this, r, reply] {
        reply->deleteLater();
        const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = statusAttr.isValid() ? statusAttr.toInt() : 0;
        if (r->failure) {
            r->fail(*r->failure, r->failureDetail, status);
            return;
        }
        if (reply->isOpen())
            r->received += reply->readAll();
        const QByteArray setCookie = reply->rawHeader("Set-Cookie");
        if (!setCookie.isEmpty())
            cookieJar()->setCookiesFromUrl(QNetworkCookie::parseCookies(setCookie), r->url);
        const QNetworkReply::NetworkError error = reply->error();
        if (!statusAttr.isValid()) {
            r->fail(classOf(error, false), reply->errorString());
            return;
        }
        // An error page is not an answer, whatever it says; the program's callers would read
        // it as the page or the reply they asked for.
        if (status >= 400) {
            r->fail(Failure::ErrorStatus, QStringLiteral("HTTP %1").arg(status), status);
            return;
        }
        if (error != QNetworkReply::NoError) {
            r->fail(classOf(error, true), QStringLiteral("status %1, %2").arg(status).arg(reply->errorString()), status);
            return;
        }
        const QByteArray location = reply->rawHeader("Location");
        if (isRedirect(status) && !location.isEmpty()) {
            if (++r->redirects > kMaxRedirects) {
                r->fail(Failure::Undecodable, QStringLiteral("too many redirects"), status);
                return;
            }
            // As a browser does: a moved POST is fetched again with GET.
            if (status != 307 && status != 308 && r->method == "POST") {
                r->method = "GET";
                r->body.clear();
                r->removeHeader("Content-Type");
                r->removeHeader("Content-Length");
            }
            r->url = r->url.resolved(QUrl::fromEncoded(location));
            r->setHeader("Host", outside::hostHeader(r->url).toLatin1());
            send(r);
            return;
        }
        QByteArray body = std::move(r->received);
        const QByteArray coding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (coding == "gzip" || coding == "x-gzip" || coding == "deflate") {
            QString why;
            auto plain = inflateBody(body, kMaxBodyBytes, &why);
            if (!plain) {
                r->fail(why.contains(QLatin1String("size limit")) ? Failure::TooLarge : Failure::Undecodable, why, status);
                return;
            }
            body = std::move(*plain);
        }
        // The charset the reply or the page itself names wins over the one the caller expects.
        r->finish(FetchResult::answer(decodePage(body, reply->rawHeader("Content-Type"), r->charset), status));
    });
}

namespace {

WebService::Request makeRequest(const QString &address, const QString &charset, QObject *context, FetchDone done)
{
    WebService::Request r;
    r.url = QUrl(address);
    r.charset = charset;
    r.hasContext = context != nullptr;
    r.context = context;
    r.done = std::move(done);
    return r;
}

// An empty argument is still sent, as an empty header.
QByteArray headerValue(const QString &value)
{
    const QByteArray v = value.toUtf8();
    return v.isNull() ? QByteArray("") : v;
}

} // namespace

void WebService::gethtml(const QString &address, const QString &charset, QObject *context, FetchDone done)
{
    auto r = std::make_shared<WebService::Request>(makeRequest(address, charset, context, std::move(done)));
    if (address.isNull() || address == kFalse) {
        QTimer::singleShot(0, this, [r] { r->finish(FetchResult::answer(kFalse, 0)); });
        return;
    }
    // The plain fetch names the encodings a browser offers, as the network stack would on its
    // own; naming them here leaves the unpacking, and its size limit, to us.
    r->headers = {{"Accept-Encoding", "gzip, deflate"}};
    start(std::move(*r));
}

void WebService::httpget(const QString &address, const QString &host, const QString &referer,
                         const QString &charset, QObject *context, FetchDone done)
{
    WebService::Request r = makeRequest(address, charset, context, std::move(done));
    r.headers = {
        {"Accept", "*/*"},
        {"Referer", headerValue(referer)},
        {"Accept-Language", "zh-cn"},
        {"Accept-Encoding", "gzip, deflate"},
        {"User-Agent", outside::browserUserAgent().toLatin1()},
        {"Host", headerValue(host)},
        {"Connection", "Keep-Alive"},
    };
    start(std::move(r));
}

void WebService::httppost(const QString &address, const QString &host, const QString &referer,
                          const QString &body, const QString &charset, QObject *context, FetchDone done)
{
    WebService::Request r = makeRequest(address, charset, context, std::move(done));
    r.method = "POST";
    // The body is ASCII; Latin-1 keeps one byte per character, so the length always matches.
    r.body = body.toLatin1();
    r.headers = {
        {"Accept", "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
                   "application/x-silverlight, application/QVOD, application/QVOD, */*"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Referer", headerValue(referer)},
        {"Accept-Language", "zh-cn"},
        {"Accept-Encoding", "deflate"},
        {"User-Agent", outside::browserUserAgent().toLatin1()},
        {"Host", headerValue(host)},
        {"Content-Length", QByteArray::number(r.body.size())},
        {"Cache-Control", "no-cache"},
    };
    start(std::move(r));
}
