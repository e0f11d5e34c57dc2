#pragma once

#include "web/notifier.h"

#include <QStringList>
#include <QTemporaryDir>
#include <deque>

// Answers questions from a script and records every message shown.
class ScriptedNotifier : public Notifier
{
public:
    ScriptedNotifier() { setNotifier(this); }
    ~ScriptedNotifier() override { setNotifier(nullptr); }

    void showmsg(const QString &text) override { messages << text; }
    bool ask(const QString &text, const QString &title) override
    {
        questions << title + QLatin1Char('|') + text;
        if (answers.empty()) {
            unexpected = true;
            return false;
        }
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }

    QStringList messages;
    QStringList questions;
    std::deque<bool> answers;
    bool unexpected = false;   // a question came with no answer scripted
};

// A fresh folder for a profile database.
struct TempProfile {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("db/Profile.db")); }
};
