#pragma once

#include <QNetworkCookieJar>

// The process's cookie store, bounded as a browser's is: a host that sets cookie after cookie
// loses its oldest ones instead of growing the store and every later request's header.
class BoundedCookieJar : public QNetworkCookieJar
{
    Q_OBJECT
public:
    explicit BoundedCookieJar(int perHost, int total, QObject *parent = nullptr);

    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url) override;

    // Drops every cookie whose address (domain and path) contains one of these texts
    // (case-sensitive); the count.
    int removeMatching(const QStringList &needles);

private:
    int m_perHost, m_total;
};
