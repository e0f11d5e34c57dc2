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
