#pragma once

#include <QString>

// Every message box and Yes/No question of the program goes through the one installed
// notifier: the window installs message boxes, tests and the headless runner answer in code.
class Notifier
{
public:
    virtual ~Notifier() = default;
    // An information box titled "注意" with an OK button.
    virtual void showmsg(const QString &text) = 0;
    // A question box with Yes and No; true for Yes.
    virtual bool ask(const QString &text, const QString &title) = 0;
};

// Installs the notifier (not owned); nullptr restores the default, which writes the text
// to the log and answers every question with No.
void setNotifier(Notifier *n);
Notifier *notifier();

void showmsg(const QString &text);
bool ask(const QString &text, const QString &title);
