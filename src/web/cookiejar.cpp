#include "web/cookiejar.h"

#include <QHash>
#include <QNetworkCookie>

BoundedCookieJar::BoundedCookieJar(int perHost, int total, QObject *parent)
    : QNetworkCookieJar(parent), m_perHost(perHost), m_total(total)
{
}

bool BoundedCookieJar::setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url)
{
    const bool added = QNetworkCookieJar::setCookiesFromUrl(cookies, url);
    if (!added)
        return false;
    // The store keeps cookies in the order they were set (a replaced cookie moves to the end),
    // so the first ones of a domain are its oldest.
    QList<QNetworkCookie> all = allCookies();
    QHash<QString, int> perDomain;
    for (const QNetworkCookie &c : all)
        ++perDomain[c.domain()];
    qsizetype excess = all.size() - m_total;
    QList<QNetworkCookie> kept;
    kept.reserve(all.size());
    for (const QNetworkCookie &c : all) {
        int &n = perDomain[c.domain()];
        if (n > m_perHost || excess > 0) {
            --n;
            --excess;
            continue;
        }
        kept << c;
    }
    if (kept.size() != all.size())
        setAllCookies(kept);
    return true;
}

int BoundedCookieJar::removeMatching(const QStringList &needles)
{
    QList<QNetworkCookie> all = allCookies();
    const qsizetype before = all.size();
    all.removeIf([&](const QNetworkCookie &c) {
        for (const QString &n : needles)
            if ((c.domain() + c.path()).contains(n, Qt::CaseSensitive))
                return true;
        return false;
    });
    if (all.size() != before)
        setAllCookies(all);
    return int(before - all.size());
}
