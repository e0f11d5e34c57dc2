#pragma once

#include <QString>
#include <memory>

// The profile's run lock: one process at a time runs steps, adds or uploads items on a profile,
// so that no item is converted or posted twice. A lock file beside the profile, taken by the
// first piece of work that starts and given back when the last one ends: within one process the
// window may run the three steps and a manual add at once, all under one lock.
//
// A hold is kept by whatever runs and dropped at its end; the lock goes with the last hold.
// A lock left by a process that died is taken over; a live one is never taken for stale,
// however long its run lasts.
class RunLock
{
public:
    using Hold = std::shared_ptr<const void>;

    RunLock();
    ~RunLock();
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    // The profile the lock guards; readOnly says why it cannot be written (empty: it can),
    // and then no work is let start on it. Empty path: no profile, nothing may run.
    void setProfile(const QString &profilePath, const QString &readOnly = {});

    // A hold on the lock, or null with why in the operator's words: another process runs on
    // the profile (named by its program, process number and host), or the profile cannot be
    // written.
    Hold take(QString *why);
    // Some work of this process holds the lock.
    bool held() const { return !m_current.expired(); }

    QString lockPath() const { return m_lockPath; }
    static QString pathFor(const QString &profile) { return profile + QStringLiteral(".lock"); }

private:
    QString m_lockPath, m_readOnly;
    std::weak_ptr<const void> m_current;
};
