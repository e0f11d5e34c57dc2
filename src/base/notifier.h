#pragma once

#include <QDebug>
#include <QString>

// Every message box and Yes/No question of the program goes through a notifier handed to the
// session: the window's shows message boxes, tests and the headless runner answer in code.
class Notifier
{
public:
    virtual ~Notifier() = default;
    // An information box titled "注意" with an OK button.
    virtual void showmsg(const QString &text) = 0;
    // A question box with Yes and No; true for Yes.
    virtual bool ask(const QString &text, const QString &title) = 0;
};

// For programs that have nobody to ask: texts go to the log, every question is answered No.
class LogNotifier : public Notifier
{
public:
    void showmsg(const QString &text) override { qInfo().noquote() << "注意:" << text; }
    bool ask(const QString &text, const QString &title) override
    {
        qInfo().noquote() << title << text << "-> 否";
        return false;
    }
};
