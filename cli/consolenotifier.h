#pragma once

#include "web/notifier.h"

#include <cstdio>

// Message boxes and questions as lines on standard output; nobody is there to answer, so a
// question is answered No, and the answer is printed with it.
class ConsoleNotifier : public Notifier
{
public:
    void showmsg(const QString &text) override { line(text); }
    bool ask(const QString &text, const QString &title) override
    {
        line(title + QStringLiteral("：") + text + QStringLiteral(" -> 否"));
        return false;
    }
    static void line(const QString &text)
    {
        std::fputs(text.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
};
