#pragma once

#include "base/pipeline.h"
#include "base/step.h"

#include <functional>

class CacheCleaner;
class ConvertChannel;
class ItemCollector;
class QTimer;
struct ConvertResult;

// Step 2: takes the uncollected items one by one (Timer2): converts the item to its click URL on
// channel 1, then reads and stores its page (getitem). Ends when no uncollected item is left.
class DetailStep : public Step
{
    Q_OBJECT
public:
    // Conversions of one item that fail or time out before the step looks whether the tool
    // converts another item: when it does, this item is set aside and the step goes on; when
    // it does not, the tool is down and the step stops for the operator to look.
    static constexpr int kMaxAttemptsPerItem = 10;
    // Reads of one item's page that fail, while its conversion works, before the step looks
    // whether the marketplace answers at all: when another item's page comes, this item is set
    // aside and the step goes on; when none comes, it is an outage and the step stops.
    static constexpr int kMaxPageAttempts = 3;

    DetailStep(Services services, ConvertChannel &channel, ItemCollector &collector, CacheCleaner &cleaner,
               QObject *parent = nullptr);

    // The pause after a start and after a failed or late conversion (100 and 200 ms).
    void setIntervals(int startMs, int retryMs);

    // command2: starts or resumes; pauses a running step (the item in flight is still stored).
    void click();

    // The first item of the selection: highest list position first, then the newest row.
    DbResult<QString> getitemid();
    // The item of the unit under way, or of the last one.
    QString curitem() const { return m_curitem; }

private:
    void tick();
    void converted(const QString &item, const ConvertResult &result);
    void retry(const QString &item, const QString &reason, const QString &detail);
    void pageFailed(const QString &item, const QString &reason, const QString &detail);
    void checkMarketplace(const QString &item, const QString &reason, const QString &detail);
    void checkTool(const QString &item, const QString &reason, const QString &detail);
    // An item whose unit keeps failing, and what is said once it is known whether it alone fails.
    struct Suspect {
        QString item, reason, detail;
        QString outage;               // the status when the service does not answer for another item
        QString asideWhy, asideText;  // the row's reason and the status when it alone fails
    };
    // Asks the service for another item and says whether it answered.
    using Probe = std::function<void(const QString &other, std::function<void(bool answered)>)>;
    void compareWithOther(const Suspect &suspect, const Probe &probe);
    void setAside(const QString &item, const QString &why, const QString &text, const QString &reason,
                  const QString &detail);
    void next();

    ConvertChannel &m_channel;
    ItemCollector &m_collector;
    CacheCleaner &m_cleaner;
    QTimer *m_timer;
    int m_startMs = 100, m_retryMs = 200;
    QString m_curitem;
    QString m_failingItem;
    int m_failures = 0;         // failed conversions of m_failingItem
    int m_pageFailures = 0;     // failed page reads of m_failingItem
};
