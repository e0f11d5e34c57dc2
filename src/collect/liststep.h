#pragma once

#include "session/pipeline.h"
#include "session/step.h"

class QTimer;

// Step 1: reads the shop's item-list pages, one page per tick of Timer1, and stores one row per
// listed item. The page last finished is kept in the settings row, so a later run resumes there.
class ListStep : public Step
{
    Q_OBJECT
public:
    enum class Outcome { Completed, Stopped, Paused };
    Q_ENUM(Outcome)
    // Copies of the profile kept from before fresh runs.
    static constexpr int kBackupsKept = 3;

    ListStep(Services services, QObject *parent = nullptr);

    bool running() const { return m_running; }
    void setIntervals(int firstMs, int nextMs);

    // Command1: pauses a running step; otherwise clears the pause flag and asks for the mode
    // (modeWanted), whose confirmation is start().
    void click();
    // The mode dialog's OK: a fresh run resets every row's codes and the stored page first.
    void start(CollectMode mode);

signals:
    void modeWanted();
    // A run has begun (its first tick follows).
    void started();
    // The shop address is missing: the operator is sent to the settings page.
    void settingsWanted();
    // The run is over: complete, stopped by a failure, or paused.
    void ended(ListStep::Outcome outcome);
    // A page was read: pages done in this run of the page count.
    void pageRead(int page, int pageCount);

private:
    void tick();
    void pageArrived(quint64 run, const FetchResult &fetched);
    void stop(const QString &text, Outcome outcome, const QString &reason = {}, const QString &detail = {});

    Services m_s;
    RunLock::Hold m_hold;      // while a run goes on
    QTimer *m_timer;
    int m_firstMs = 200, m_nextMs = 500;
    int m_page = 0;            // the page counter
    bool m_firstTick = false;
    bool m_running = false;
    bool m_pauseAsked = false;
    quint64 m_run = 0;         // a new start supersedes whatever the last run has in flight
};
