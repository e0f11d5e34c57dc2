#pragma once

#include <QTextBrowser>

// The guide inside the program, for a desktop on which no browser can be started.
class HelpWindow : public QTextBrowser
{
    Q_OBJECT
public:
    // A guide larger than this is not ours: it is not read.
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    explicit HelpWindow(const QString &file, QWidget *parent = nullptr);
};
