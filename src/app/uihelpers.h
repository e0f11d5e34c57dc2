#pragma once

#include "rules/rules.h"
#include "widgets/xpbutton2.h"

#include <QColor>
#include <QFocusEvent>
#include <functional>
#include <QLineEdit>
#include <QPalette>
#include <QValidator>

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

// Keeps a box to a number of characters, whether they are typed, pasted or set by the program,
// and never keeps half of a character that takes two UTF-16 units (a box's own maximum
// length counts units and would cut such a character in two).
class CharLimit : public QValidator
{
public:
    CharLimit(int chars, QObject *parent) : QValidator(parent), m_chars(chars) {}
    State validate(QString &input, int &pos) const override
    {
        input = cutText(input, m_chars);
        pos = qMin(pos, int(input.size()));
        return Acceptable;
    }
    int limit() const { return m_chars; }

private:
    int m_chars;
};

inline QLineEdit *textBox(QWidget *parent, const char *name, int maxChars)
{
    auto *e = lineEdit(parent, name);
    e->setValidator(new CharLimit(maxChars, e));
    return e;
}

// Runs f whenever w loses the focus to another control of its window; not when the window
// goes to the back or a pop-up opens over it, which leave a half-typed text as it is.
class FocusLeave : public QObject
{
public:
    FocusLeave(QWidget *w, std::function<void()> f) : QObject(w), m_f(std::move(f)) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason r = static_cast<QFocusEvent *>(event)->reason();
            if (r != Qt::ActiveWindowFocusReason && r != Qt::PopupFocusReason && r != Qt::MenuBarFocusReason)
                m_f();
        }
        return false;
    }

private:
    std::function<void()> m_f;
};

inline void onFocusLeave(QWidget *w, std::function<void()> f)
{
    new FocusLeave(w, std::move(f));
}

// A button of a window: however the window is sized, it shows its whole caption.
inline XPButton2 *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new XPButton2(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setKeepsCaption(true);
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
