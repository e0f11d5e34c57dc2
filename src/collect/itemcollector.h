#pragma once

#include "base/pipeline.h"
#include "base/step.h"

#include <functional>

// getitem: reads one item's page, rewrites its texts by the rules in force and stores them in
// the item's row. Step 2 and the re-collection of one item both use it.
class ItemCollector : public Reporter
{
    Q_OBJECT
public:
    struct Result {
        enum Kind {
            Stored,       // the page was read and handed to the row (also when the row is gone)
            Unavailable,  // the page says the item is gone: the row is marked abnormal
            Unreadable,   // no item page came (no answer, an error page, another page): nothing stored
            WriteFailed,  // the database refused the write
        };
        Kind kind = Stored;
        QString reason, detail;   // why, for Unreadable and WriteFailed
    };
    using Done = std::function<void(const Result &)>;

    explicit ItemCollector(Services services, QObject *parent = nullptr);

    // An empty ID answers Unavailable at once (later, on the event loop). The context is the
    // asker's: once it is gone, the page's transfer is aborted and nothing is stored.
    void getitem(const QString &id, const QString &clickUrl, QObject *context, Done done);

private:
    void restoreLabel(const QString &id);
    void pageArrived(const QString &id, const QString &clickUrl, const FetchResult &page, const Done &done);
    void writeFailed(const QString &id, const DbStatus &why, const Done &done);

    Services m_s;
};
