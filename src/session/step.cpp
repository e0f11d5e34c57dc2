#include "session/step.h"

Step::Step(const QString &idleCaption, QObject *parent) : QObject(parent), m_caption(idleCaption) {}

void Step::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    emit captionChanged(caption);
}

void Step::report(const QString &text, const FetchResult &why)
{
    emit status(text, why.reason(), why.detail);
}

void Step::report(const QString &text, const DbStatus &why)
{
    emit status(text, why.reason(), why.error);
}

RunLock::Hold Step::holdRun(RunLock &lock)
{
    QString why;
    RunLock::Hold hold = lock.take(&why);
    if (!hold)
        emit status(why);
    return hold;
}

QString Step::fileLost(const DbStatus &why)
{
    return QStringLiteral("已停止：%1，未写入任何内容，请检查数据库文件后重新开始").arg(why.reason());
}
