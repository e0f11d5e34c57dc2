#include "app/statusline.h"

#include <QRegularExpression>

StatusLine::StatusLine(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("Label1"));
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void StatusLine::setStatus(const QString &text)
{
    // Line breaks and tabs of a page become blanks: the line stays one line.
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\t\\f\\v]+"));
    QString one = text.left(kMaxChars);
    one.replace(breaks, QStringLiteral(" "));
    m_text = one;
    fit();
}

void StatusLine::fit()
{
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, qMax(0, contentsRect().width()));
    setText(shown);
    setToolTip(shown == m_text ? QString() : m_text);
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

QSize StatusLine::sizeHint() const
{
    return QSize(200, fontMetrics().height() + 4);
}

QSize StatusLine::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height() + 4);
}
