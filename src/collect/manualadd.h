#pragma once

#include "session/pipeline.h"
#include "session/step.h"

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

    bool reading() const;
    // The button: aborts an add in progress, otherwise starts one.
    void click(const QString &address, const QString &pid);

signals:
    // The item is stored (the address box is emptied).
    void added(const QString &item);
    // The add ended without storing anything.
    void failed();

private:
    void firstPage(quint64 add, const FetchResult &page);
    // No item page came: the add ends with why.
    bool unreadable(const FetchResult &page);
    void converted(quint64 add, const QString &clickUrl);
    void alimama(quint64 add, const QString &clickUrl);
    void give(const QString &text, const QString &reason = {}, const QString &detail = {});

    Services m_s;
    ConvertChannel &m_channel;
    QString m_address, m_pid;
    RunLock::Hold m_hold;   // from the button to the add's end
    quint64 m_add = 0;   // an abort or a new add supersedes whatever the last one has in flight
};
