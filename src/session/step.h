#pragma once

#include "store/dbresult.h"
#include "store/runlock.h"
#include "web/fetchresult.h"

#include <QObject>
#include <QString>

// What a step reports to whoever shows it: the window binds these, the runner prints them.
// The step's button caption is its state, so the step keeps it.
class Step : public QObject
{
    Q_OBJECT
public:
    explicit Step(const QString &idleCaption, QObject *parent = nullptr);

    QString caption() const { return m_caption; }

signals:
    // The status line. A text that reports a failure comes with why: a short phrase for the
    // operator (the run log and the runner's error output show it; the status line keeps the
    // system's own text) and the network's or the database's own words, for the log only.
    void status(const QString &text, const QString &reason = {}, const QString &detail = {});
    // A shown list row, found by its item ID, takes a label until the next refill.
    void rowLabel(const QString &item, const QString &label);
    // The page title, description and keywords last read for an item, for the edit boxes.
    void workTexts(const QString &item, const QString &title, const QString &doc, const QString &key);
    // The list is to be filled anew from the database.
    void refillList();
    void captionChanged(const QString &caption);

protected:
    void setCaption(const QString &caption);
    // The status text with the reason of a failed fetch or statement.
    void report(const QString &text, const FetchResult &why);
    void report(const QString &text, const DbStatus &why);
    // The profile's run lock for work about to start; null when another process runs on the
    // profile or it cannot be written, after the status line has said why.
    RunLock::Hold holdRun(RunLock &lock);
    // What a step says when the profile's file is gone from under it before a unit.
    static QString fileLost(const DbStatus &why);

private:
    QString m_caption;
};
