#pragma once

#include <QObject>

class ProfileDb;
class QTimer;
class RunLock;

// Notices when another process changed the profile (a runner started by cron, a second window),
// so that what the window shows follows the file. It looks on a light timer, and only while no
// work of this process runs: then this process is the profile's one writer, and what it shows
// is kept up to date by its own steps.
class ProfileWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 1000;

    ProfileWatch(ProfileDb &db, RunLock &lock, QObject *parent = nullptr);

    // Watches the profile open now, from its state at this moment.
    void start();
    void stop();
    void setInterval(int ms);

signals:
    void profileChanged();

private:
    void look();

    ProfileDb &m_db;
    RunLock &m_lock;
    QTimer *m_timer;
    qint64 m_version = -1;
};
