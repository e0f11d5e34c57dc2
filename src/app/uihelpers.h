#pragma once

#include "widgets/xpbutton2.h"

#include <QColor>
#include <QLineEdit>
#include <QPalette>

// Small builders for the controls of the windows: every control carries its name.
namespace ui {

inline const QColor kWhite(255, 255, 255);
inline const QColor kGrey(210, 210, 210);

inline QLineEdit *lineEdit(QWidget *parent, const char *name, int maxLength = 0)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (maxLength > 0)
        e->setMaxLength(maxLength);
    return e;
}

inline XPButton2 *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new XPButton2(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// The background of a text box, in every colour group (a disabled box keeps it too).
inline void setBackground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(group, QPalette::Base, c);
    w->setPalette(p);
}

inline QColor background(const QWidget *w)
{
    return w->palette().color(QPalette::Active, QPalette::Base);
}

} // namespace ui
