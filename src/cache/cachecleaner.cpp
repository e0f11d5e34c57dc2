#include "cache/cachecleaner.h"
#include "outside/outside.h"
#include "web/cookiejar.h"
#include "web/fetch.h"

#include <QTimer>

CacheCleaner::CacheCleaner(WebService &web, QObject *parent) : QObject(parent), m_web(web), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("cookies"));
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(500);
}

bool CacheCleaner::loaded() const
{
    return m_timer->isActive();
}

int CacheCleaner::run()
{
    if (loaded())
        return 0;
    // Both tests are case-sensitive, as the addresses are written.
    const int removed = m_web.cookieJar()->removeMatching({outside::marketplaceWord, outside::mallDomain});
    m_timer->start();
    return removed;
}
