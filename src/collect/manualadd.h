#pragma once

#include "base/pipeline.h"
#include "base/step.h"

class ConvertChannel;

// Adds one item by its page address (XPButton210): checks the address and the page, converts
// the item with the operator's publisher ID on channel 2, and only with a click URL reads the
// page in full and stores the item as collected.
class ManualAdd : public Step
{
    Q_OBJECT
public:
    ManualAdd(Services services, ConvertChannel &channel, QObject *parent = nullptr);

    // Connections the conversion may take before the add gives up (each waits its time-out).
    static constexpr int kMaxConvertAttempts = 10;

    // The button: aborts an add in progress, otherwise starts one.
    void click(const QString &address, const QString &pid);
    // An add has no units to finish: it is aborted, nothing stored.
    void pause() override;

signals:
    // The item is stored (the address box is emptied), right after the add's end, Completed.
    void added(const QString &item);

private:
    void firstPage(const FetchResult &page);
    // No item page came: the add ends with why.
    bool unreadable(const FetchResult &page);
    void converted(const QString &clickUrl);
    void alimama(const QString &clickUrl);

    ConvertChannel &m_channel;
    QString m_manualitem;
    QString m_address, m_pid;
};
