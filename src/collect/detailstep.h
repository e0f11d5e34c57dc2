#pragma once

#include "session/pipeline.h"
#include "session/step.h"

class CacheCleaner;
class ConvertChannel;
class ItemCollector;
class QTimer;

// Step 2: takes the uncollected items one by one (Timer2): converts the item to its click URL on
// channel 1, then reads and stores its page (getitem). Ends when no uncollected item is left.
class DetailStep : public Step
{
    Q_OBJECT
public:
    enum class Outcome { Completed, Paused, Stopped };
    Q_ENUM(Outcome)
    // Attempts on one item (conversions that fail or time out, pages that do not come) before
    // the step stops to let the operator look: a tool or a page that never answers must not
    // keep it on one item for ever.
    static constexpr int kMaxAttemptsPerItem = 10;

    DetailStep(Services services, ConvertChannel &channel, ItemCollector &collector, CacheCleaner &cleaner,
               QObject *parent = nullptr);

    bool running() const;
    // The pause after a start and after a failed or late conversion (100 and 200 ms).
    void setIntervals(int startMs, int retryMs);

    // command2: starts or resumes; pauses a running step (the item in flight is still stored).
    void click();

    // The first item of the selection: highest list position first, then the newest row.
    QString getitemid();

signals:
    // Started or resumed, with the items waiting then.
    void started(int waiting);
    void ended(DetailStep::Outcome outcome);
    // An item was stored or found gone.
    void itemDone(const QString &item);

private:
    void tick();
    void converted(quint64 cycle, const QString &item, const QString &clickUrl);
    void stop(const QString &text, Outcome outcome);
    void retry(quint64 cycle, const QString &item);

    Services m_s;
    ConvertChannel &m_channel;
    ItemCollector &m_collector;
    CacheCleaner &m_cleaner;
    QTimer *m_timer;
    int m_startMs = 100, m_retryMs = 200;
    quint64 m_cycle = 0;   // each tick starts a cycle; only the newest one re-arms the timer
    bool m_inFlight = false;    // a cycle's conversion or page is under way
    bool m_pauseAsked = false;  // paused by its own button, whatever clears the shared flag
    QString m_failingItem;
    int m_failures = 0;
};
