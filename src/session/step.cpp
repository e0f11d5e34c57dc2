#include "session/step.h"

Step::Step(const QString &idleCaption, QObject *parent) : QObject(parent), m_caption(idleCaption) {}

void Step::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    emit captionChanged(caption);
}
