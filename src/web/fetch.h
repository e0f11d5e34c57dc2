#pragma once

#include "web/fetchresult.h"

#include <QObject>
#include <QString>
#include <functional>

class QNetworkAccessManager;
class BoundedCookieJar;

// Every fetch ends once, with its result: the page, or why there is none.
using FetchDone = std::function<void(const FetchResult &result)>;

// Network access through one manager and one cookie jar, so the mirror site's login carries
// over from request to request. Each program's main makes one and hands it to whatever fetches;
// a test makes its own, with its own cookies and connections. Each request goes through the
// proxy the environment names when it is made (outside/proxy.h).
class WebService : public QObject
{
    Q_OBJECT
public:
    explicit WebService(QObject *parent = nullptr);

    // Plain fetch: GET with no headers of the program's own. A null or "$False$" address gives
    // "$False$" without a request. The answer comes later, on the event loop, never inside the
    // call; it is dropped when context is destroyed first.
    void gethtml(const QString &address, const QString &charset, QObject *context, FetchDone done);
    // GET with the browser header set (Accept, Referer, Accept-Language, Accept-Encoding,
    // User-Agent, Host, Connection, in this order).
    void httpget(const QString &address, const QString &host, const QString &referer, const QString &charset,
                 QObject *context, FetchDone done);
    // Form POST with the upload header set; Content-Length is the body's length. The body is
    // ASCII (its values have passed through urlencode).
    void httppost(const QString &address, const QString &host, const QString &referer, const QString &body,
                  const QString &charset, QObject *context, FetchDone done);

    QNetworkAccessManager *manager() const { return m_manager; }
    BoundedCookieJar *cookieJar() const;
    // Forgets every cookie, as a fresh browser profile would.
    void clearCookies();

    // A fetch that receives nothing for this long ends as a time-out, one that grows past
    // kMaxBodyBytes as too large; the detail also goes to the log (category velorix.fetch).
    void setTransferTimeout(int ms) { m_timeoutMs = ms; }
    int transferTimeout() const { return m_timeoutMs; }

    // Whatever keeps arriving, a fetch ends by this time (redirects included).
    void setDeadline(int ms) { m_deadlineMs = ms; }
    int deadline() const { return m_deadlineMs; }

    static constexpr int kDefaultTimeoutMs = 60000;
    static constexpr int kDefaultDeadlineMs = 3 * kDefaultTimeoutMs;
    static constexpr int kMaxCookiesPerHost = 50;
    static constexpr int kMaxCookies = 1000;
    // No page of the outside services comes near this, received or unpacked; an answer that
    // does is refused rather than held.
    static constexpr qsizetype kMaxBodyBytes = 32 * 1024 * 1024;
    static constexpr int kMaxRedirects = 10;

    struct Request;
    void start(Request request);

private:
    void send(std::shared_ptr<Request> request);

    QNetworkAccessManager *m_manager;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_deadlineMs = kDefaultDeadlineMs;
};
