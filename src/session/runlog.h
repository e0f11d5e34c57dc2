#pragma once

#include <QObject>
#include <QString>

// Profile.log beside the profile: every status-line text, message box, question and refusal,
// each on one line with the local time, so an unattended night run can be read the next
// morning. It rotates at 5 MB, keeping one older file. A log that cannot be written never
// stops a step: it says so once and goes on without.
class RunLog : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    static constexpr qint64 kRotateBytes = 5 * 1024 * 1024;
    // One entry is one line; a reply of megabytes is cut, the log stays readable.
    static constexpr int kMaxEntryChars = 4000;

    // The log of a profile: its name with ".log" beside it; empty stops logging.
    void setPath(const QString &path);
    QString path() const { return m_path; }
    static QString pathFor(const QString &profile);

    // kind: a short word naming what the line is (状态, 消息, 询问, 上传失败).
    void write(const QString &kind, const QString &text);

signals:
    // The log could not be written (once per path).
    void unwritable(const QString &text);

private:
    bool append(const QByteArray &line);

    QString m_path;
    bool m_warned = false;
};
