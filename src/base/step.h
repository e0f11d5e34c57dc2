#pragma once

#include "base/pipeline.h"
#include "store/dbresult.h"
#include "store/runlock.h"
#include "web/fetchresult.h"

#include <QObject>
#include <QPointer>
#include <QString>

// What the steps and the pieces they use report to whoever shows it: the window binds these,
// the runner prints them.
class Reporter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

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

protected:
    // The status text with the reason of a failed fetch or statement.
    void report(const QString &text, const FetchResult &why);
    void report(const QString &text, const DbStatus &why);
};

// How a step's run ended, once per run.
struct StepOutcome {
    enum Kind { Completed, Paused, Stopped };
    Kind kind = Completed;
    QString reason, detail;   // why it stopped, when a failure stopped it
};
Q_DECLARE_METATYPE(StepOutcome)

// One step of the pipeline (and the manual add, which runs as one): a run from its start to its
// end, driven by its own timers and the answers it waits for. Its state is explicit and its
// button's caption follows from it; its run ends once, with an outcome.
class Step : public Reporter
{
    Q_OBJECT
public:
    enum class State {
        Idle,      // no run, or the last one completed
        Running,   // its units go on
        Pausing,   // a pause is asked: the unit under way finishes, the next one does not start
        Stopped,   // paused or stopped by a failure: it can be resumed
    };
    // The captions of the button, by state: idle; running; pausing and stopped.
    struct Captions {
        QString idle, running, stopped;
    };

    State state() const { return m_state; }
    QString caption() const;
    bool running() const { return m_state == State::Running; }

    // The pause button while it runs: the unit under way is finished and stored, the next one
    // does not start, whatever clears the shared flag meanwhile.
    virtual void pause();

signals:
    void captionChanged(const QString &caption);
    // A run begins (its first unit follows), with the units it expects, 0 when not known yet.
    void started(int total);
    // A unit is done: stored, found gone, refused or set aside.
    void unitDone();
    void ended(const StepOutcome &outcome);

protected:
    Step(Services services, Captions captions, QObject *parent = nullptr);

    // A run begins: the profile's run lock is taken and the step runs. When another process runs
    // on the profile, the status line says so, the step stays as it was and its run ends
    // (Stopped) at once.
    bool begin();
    // The lock alone, for a run that begins with work of its own before its caption changes.
    bool takeLock();
    // The run ends, once: Completed goes back to idle, the others to the resume caption. The
    // text goes to the status line with its reason, when there is one.
    void end(StepOutcome::Kind kind, const QString &text = {}, const QString &reason = {}, const QString &detail = {});
    void setState(State state);
    bool pauseAsked() const { return m_state == State::Pausing || m_s.shared.userpause; }
    bool inRun() const { return m_state == State::Running || m_state == State::Pausing; }

    // What the current unit's asynchronous work (fetches, conversions) takes as its context.
    // Superseding it drops that work: transfers under way are aborted, answers never delivered.
    QObject *work();
    void supersede();

    // The profile's run lock for work that is no run of the step's (the upload by hand); null
    // when another process runs on the profile, after the status line has said why.
    RunLock::Hold holdRun();
    // What a step says when the profile's file is gone from under it before a unit.
    static QString fileLost(const DbStatus &why);

    Services m_s;

private:
    Captions m_captions;
    State m_state = State::Idle;
    RunLock::Hold m_hold;        // from a run's beginning to its end
    QPointer<QObject> m_work;
};
