#pragma once

#include "base/notifier.h"

#include <QStringList>
#include <QTest>
#include <QTemporaryDir>
#include <deque>

// Answers questions from a script and records every message shown.
class ScriptedNotifier : public Notifier
{
public:
    // A question nobody scripted an answer for fails the test that asked it, wherever it came.
    ~ScriptedNotifier() override
    {
        if (unexpected && !allowUnexpected)
            QTest::qFail(qPrintable(QStringLiteral("a question nobody expected: ") + questions.join(QLatin1Char(';'))),
                         __FILE__, __LINE__);
    }

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
    bool allowUnexpected = false;   // a test that means to ask without an answer says so
};

// A fresh folder for a profile database.
struct TempProfile {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("db/Profile.db")); }
};
