#pragma once

#include "base/pipeline.h"
#include "base/step.h"

class QTimer;

// Step 1: reads the shop's item-list pages, one page per tick of Timer1, and stores one row per
// listed item. The page last finished is kept in the settings row, so a later run resumes there.
// How a Step 1 run treats what is stored: go on from the last page and leave stored items
// alone, or start over from page 1 with every item back to not collected.
enum class CollectMode { Resume, Fresh };

// Step 1: reads the shop's item-list pages, one page per tick of Timer1, and stores one row per
// listed item. The page last finished is kept in the settings row, so a later run resumes there.
class ListStep : public Step
{
    Q_OBJECT
public:
    // Copies of the profile kept from before fresh runs.
    static constexpr int kBackupsKept = 3;

    ListStep(Services services, QObject *parent = nullptr);

    void setIntervals(int firstMs, int nextMs);

    // Command1: pauses a running step; otherwise clears the pause flag and asks for the mode
    // (modeWanted), whose confirmation is start().
    void click();
    // The mode dialog's OK: a fresh run resets every row's codes and the stored page first.
    void start(CollectMode mode);

signals:
    void modeWanted();
    // The shop address is missing: the operator is sent to the settings page.
    void settingsWanted();
    // A page was read: pages done in this run of the page count.
    void pageRead(int page, int pageCount);

private:
    void tick();
    void pageArrived(const FetchResult &fetched);

    QTimer *m_timer;
    int m_firstMs = 200, m_nextMs = 500;
    int m_page = 0;            // the page counter
    bool m_firstTick = false;
    CollectMode m_collectmode = CollectMode::Resume;
};
