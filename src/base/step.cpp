#include "base/step.h"

void Reporter::report(const QString &text, const FetchResult &why)
{
    emit status(text, why.reason(), why.detail);
}

void Reporter::report(const QString &text, const DbStatus &why)
{
    emit status(text, why.reason(), why.error);
}

Step::Step(Services services, Captions captions, QObject *parent)
    : Reporter(parent), m_s(services), m_captions(std::move(captions))
{
}

QString Step::caption() const
{
    switch (m_state) {
    case State::Idle: return m_captions.idle;
    case State::Running: return m_captions.running;
    case State::Pausing:
    case State::Stopped: return m_captions.stopped;
    }
    return m_captions.idle;
}

void Step::setState(State state)
{
    const QString before = caption();
    m_state = state;
    if (caption() != before)
        emit captionChanged(caption());
}

void Step::pause()
{
    if (m_state != State::Running)
        return;
    m_s.shared.userpause = true;
    setState(State::Pausing);
}

bool Step::takeLock()
{
    if (!m_hold)
        m_hold = holdRun();
    if (m_hold)
        return true;
    emit ended({StepOutcome::Stopped, {}, {}});
    return false;
}

bool Step::begin()
{
    if (!takeLock())
        return false;
    Q_ASSERT(m_hold);   // held until end(), whatever path the run takes to it
    m_s.shared.userpause = false;
    setState(State::Running);
    return true;
}

void Step::end(StepOutcome::Kind kind, const QString &text, const QString &reason, const QString &detail)
{
    if (!text.isEmpty())
        emit status(text, reason, detail);
    // A run that never began (its lock refused, its preparation failed) keeps its caption.
    const bool wasRun = bool(m_hold);
    m_hold.reset();
    if (inRun())
        setState(kind == StepOutcome::Completed ? State::Idle : State::Stopped);
    if (wasRun)
        emit ended({kind, reason, detail});
}

QObject *Step::work()
{
    if (!m_work)
        m_work = new QObject(this);
    return m_work;
}

void Step::supersede()
{
    delete m_work;
}

RunLock::Hold Step::holdRun()
{
    QString why;
    RunLock::Hold hold = m_s.runLock.take(&why);
    if (!hold)
        emit status(why);
    return hold;
}

QString Step::fileLost(const DbStatus &why)
{
    return QStringLiteral("已停止：%1，未写入任何内容，请检查数据库文件后重新开始").arg(why.reason());
}
