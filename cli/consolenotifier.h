#pragma once

#include "web/notifier.h"

#include <cstdio>

// Message boxes and questions as lines on standard output; a question is answered by the
// command line (No unless it says otherwise), and the answer is printed with it.
class ConsoleNotifier : public Notifier
{
public:
    bool yes = false;

    void showmsg(const QString &text) override { line(text); }
    bool ask(const QString &text, const QString &title) override
    {
        line(title + QStringLiteral("：") + text + (yes ? QStringLiteral(" -> 是") : QStringLiteral(" -> 否")));
        return yes;
    }
    static void line(const QString &text)
    {
        std::fputs(text.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
};
