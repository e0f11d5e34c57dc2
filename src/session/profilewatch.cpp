#include "session/profilewatch.h"
#include "store/profiledb.h"
#include "store/runlock.h"

#include <QTimer>

ProfileWatch::ProfileWatch(ProfileDb &db, RunLock &lock, QObject *parent)
    : QObject(parent), m_db(db), m_lock(lock), m_timer(new QTimer(this))
{
    m_timer->setInterval(kIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ProfileWatch::look);
}

void ProfileWatch::start()
{
    const DbResult<qint64> now = m_db.dataVersion();
    m_version = now ? now.value : -1;
    m_timer->start();
}

void ProfileWatch::stop()
{
    m_timer->stop();
}

void ProfileWatch::setInterval(int ms)
{
    m_timer->setInterval(ms);
}

void ProfileWatch::look()
{
    if (m_lock.held() || !m_db.isOpen())
        return;
    // The number moves with every commit of another connection, never with this one's.
    const DbResult<qint64> now = m_db.dataVersion();
    if (!now || now.value == m_version)
        return;
    m_version = now.value;
    emit profileChanged();
}
