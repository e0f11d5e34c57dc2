#pragma once

#include "outside/proxy.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

class QTcpSocket;
class QTimer;

// How a conversion job ended, in one value.
struct ConvertResult {
    enum class Outcome {
        Replied,      // a "200 OK" reply; clickurl may be empty
        FailedReply,  // a reply without "200 OK", for a job that does not retry
        TimedOut,     // the time limit passed, for a job that does not reconnect
        GaveUp,       // maxAttempts used up
    };
    Outcome outcome = Outcome::Replied;
    QString clickurl;
    QString reason;   // why it failed, in the operator's words; empty for a reply
    QString detail;   // the socket's own words, for the log

    bool replied() const { return outcome == Outcome::Replied; }
};

// One conversion as a caller asks for it.
struct ConvertJob {
    QString kind;                  // who asks: "item", "shop", "manual"
    QString body;                  // itemConvertBody / shopConvertBody
    bool retryFailedReply = false; // a reply without "200 OK" arms the timer with the retry interval
    bool reconnectOnTimeout = false; // the timer's tick reconnects with this job; otherwise it ends with timedOut
    // Attempts before a job that retries on its own gives up and ends with failed (0: never):
    // a tool that never answers must not keep a caller waiting for ever.
    int maxAttempts = 0;
    // The callback is dropped, and the job with it, once the context is destroyed. A job
    // requested without a context always calls back. It is called once, with how the job ended.
    QPointer<QObject> context;
    std::function<void(const ConvertResult &result)> done;
};

// One conversion channel: a socket ("Winsock<n>") and its one-shot time-limit timer
// ("Timer<n+4>") talking raw HTTP/1.0 to the API test tool. It serves one job at a time; a job
// of another kind waits in line, a job of the same kind replaces the earlier one.
class ConvertChannel : public QObject
{
    Q_OBJECT
public:
    explicit ConvertChannel(int number, QObject *parent = nullptr);
    ~ConvertChannel() override;

    // Starts the job at once when the channel is idle. A job of the same kind in flight is
    // abandoned for it (its request is never judged), one in line is replaced in its place;
    // a job of another kind waits until the current one ends.
    void request(ConvertJob job);
    // Closes the socket, stops the timer and drops every job of this kind, in flight or in line;
    // none of their callbacks runs afterwards.
    void abort(const QString &kind);

    bool busy() const;
    QString currentKind() const;
    int number() const { return m_number; }

    void setTimeoutInterval(int ms) { m_timeoutMs = ms; }
    int timeoutInterval() const { return m_timeoutMs; }
    void setRetryInterval(int ms) { m_retryMs = ms; }
    int retryInterval() const { return m_retryMs; }

    static constexpr int kDefaultTimeoutMs = 10000;
    static constexpr int kDefaultRetryMs = 1000;
    // A reply longer than this is a failed reply: a peer that never stops sending must not
    // grow the memory.
    static constexpr qsizetype kMaxReplyBytes = 1024 * 1024;

signals:
    void status(const QString &text);

private:
    struct Pending {
        ConvertJob job;
        bool guarded = false;   // it came with a context
        int tries = 0;          // attempts made for it so far
        bool alive() const { return !guarded || job.context; }
    };
    enum class Phase { Idle, Connecting, Connected, Ended };

    void start();
    void connectSocket();
    void closeSocket();
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void endAttempt(quint64 attempt);
    void onTimeout();
    std::optional<Pending> finishJob();
    void deliver(const std::optional<Pending> &done, ConvertResult result);
    // What went wrong in the attempt under way, for the result of a job that fails.
    void noteFailure(const QString &reason, const QString &detail);
    void startNext();
    void dropOrphans();

    const int m_number;
    QTcpSocket *m_socket;
    QTimer *m_timer;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_retryMs = kDefaultRetryMs;

    std::optional<Pending> m_current;
    std::deque<Pending> m_queue;
    QByteArray m_reply;
    Phase m_phase = Phase::Idle;
    quint64 m_attempt = 0;   // every connect and every close of ours starts a new one
    std::optional<outside::Proxy> m_proxy;   // the HTTP proxy the current connection goes to
    QString m_failReason, m_failDetail;       // the last failure of the current job
};
