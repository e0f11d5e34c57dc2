#pragma once

#include "base/notifier.h"

#include <cstdio>
#include <unistd.h>

// Message boxes and questions as lines on standard output; nobody is there to answer, so a
// question is answered No, and the answer is printed with it.
class ConsoleNotifier : public Notifier
{
public:
    void showmsg(const QString &text) override
    {
        line(text);
        m_shown = text;
    }
    // Whether this text is the message shown last (which is then forgotten): a status text that
    // repeats it is not printed twice.
    bool takeShown(const QString &text)
    {
        const bool same = !m_shown.isEmpty() && m_shown == text;
        m_shown.clear();
        return same;
    }
    bool ask(const QString &text, const QString &title) override
    {
        line(title + QStringLiteral("：") + text + QStringLiteral(" -> 否"));
        return false;
    }
    static void line(const QString &text)
    {
        progress().hide();
        std::fputs(text.toUtf8().constData(), out());
        std::fputc('\n', out());
        std::fflush(out());
        progress().show();
    }
    // Where the lines and the error lines go: standard output and standard error, or what a
    // test that runs the runner in its own process reads them from.
    static FILE *&out()
    {
        static FILE *f = stdout;
        return f;
    }
    static FILE *&errors()
    {
        static FILE *f = stderr;
        return f;
    }

    // One updating line on stderr that says how far the running steps are, when stderr is a
    // terminal; scripts reading the output never see it.
    class ProgressLine
    {
    public:
        bool enabled = ::isatty(2) == 1;
        void set(const QString &text)
        {
            hide();
            m_text = text;
            show();
        }
        void hide()
        {
            if (enabled && m_shown)
                std::fputs("\r\033[K", stderr);
            m_shown = false;
        }
        void show()
        {
            if (!enabled || m_text.isEmpty())
                return;
            std::fputs(("\r" + m_text).toUtf8().constData(), stderr);
            std::fflush(stderr);
            m_shown = true;
        }

    private:
        QString m_text;
        bool m_shown = false;
    };
    static ProgressLine &progress()
    {
        static ProgressLine p;
        return p;
    }

private:
    QString m_shown;
};
