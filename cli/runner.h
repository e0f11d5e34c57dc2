#pragma once

#include "cli/consolenotifier.h"
#include "store/dbresult.h"
#include "store/profiledb.h"
#include "store/runlock.h"
#include "web/fetch.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class Session;
class Step;
class SecretStore;

// The headless runner: the window's core objects driven from the command line, for cron jobs
// and scripted checks. Every status-line text and message-box text goes to stdout as one line.
class Runner : public QObject
{
    Q_OBJECT
public:
    // Exit statuses.
    enum Exit {
        Done = 0,
        Failed = 1,         // the step stopped on a failure (the reason is on stderr)
        Usage = 2,          // a wrong command or option, or a refused setting
        Paused = 3,         // SIGINT/SIGTERM: the unit in flight was finished, nothing is lost
        NoProfile = 4,      // the profile database cannot be used: unreadable, read-only, or run on by another process
    };

    explicit Runner(QObject *parent = nullptr);
    ~Runner() override;

    // Time limits of the outside exchanges in milliseconds (0: the program's own): what tests
    // shorten to see a silent peer fail in moments.
    struct Limits {
        int convertTimeoutMs = 0, convertRetryMs = 0, fetchTimeoutMs = 0;
    };
    void setLimits(const Limits &limits) { m_limits = limits; }
    // The keyring the site password goes to; none by default (it stays in the profile).
    void setSecretStore(SecretStore *store) { m_secrets = store; }

    // Parses the arguments (without the program name) and starts the command; the exit status
    // comes through finished(), or at once as the result when it is known already (>= 0).
    int start(const QStringList &args);

    // The pause button: what runs finishes its unit and stops. A second one ends at once.
    void interrupt();

    static QString usage();

signals:
    void finished(int status);

private:
    struct Args {
        QString db, command;
        QStringList positional;
        QMap<QString, QString> options;   // "--site" -> value; a switch maps to ""
    };
    bool parse(const QStringList &args, Args &out, QString &error);
    int settings(const Args &a, const QString &pass);
    void record(int status);
    void failedRead(const DbStatus &why);
    int summary();
    void drive(Step &step, const QString &stopped, std::function<void(int)> next,
               const QString &paused = QStringLiteral("paused; run the command again to resume"));
    void collect(const Args &a, std::function<void(int)> next);
    void detail(std::function<void(int)> next);
    void upload(std::function<void(int)> next);
    void run(const Args &a);
    void add(const QString &url);
    void applyPace(const QString &pace);
    void end(int status, const QString &why = {});
    // The last status text, with its reason when it reported a failure.
    QString lastStatus() const;

    ConsoleNotifier m_notifier;
    WebService m_web;   // this run's network access and cookies
    Limits m_limits;
    // The profile's run lock, for a command that runs steps; given back after the session has
    // closed the profile.
    RunLock::Hold m_hold;
    std::unique_ptr<Session> m_session;
    std::function<void()> m_pause;   // what the pause button does for the command running
    QString m_lastStatus, m_lastReason;
    int m_failedStep = 0;   // for run: the exit status of a failure in the step under way
    bool m_interrupted = false;
    bool m_ended = false;
    SecretStore *m_secrets = nullptr;
    RunRecord m_record;          // for a recorded command: what it was and when it began
    qint64 m_uploadedBefore = -1;
};
