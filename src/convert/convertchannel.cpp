#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "web/fetchresult.h"

#include <QNetworkProxy>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QString kReading = QStringLiteral("状态：正在读取");
const QString kSucceeded = QStringLiteral("状态：成功，正在分析数据");
const QString kFailed = QStringLiteral("状态：获取数据失败");
const QString kTimedOut = QStringLiteral("连接超时，正在断开重试");

// What the socket keeps unread at most; the reply itself is capped separately.
constexpr qint64 kSocketBuffer = 64 * 1024;

} // namespace

ConvertChannel::ConvertChannel(int number, QObject *parent)
    : QObject(parent), m_number(number), m_socket(new QTcpSocket(this)), m_timer(new QTimer(this))
{
    m_socket->setObjectName(QStringLiteral("Winsock%1").arg(number));
    m_timer->setObjectName(QStringLiteral("Timer%1").arg(number + 4));
    m_timer->setSingleShot(true);
    m_socket->setReadBufferSize(kSocketBuffer);
    // A proxy is spoken to below, in plain HTTP; the socket's own would tunnel with CONNECT.
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QTcpSocket::connected, this, &ConvertChannel::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &ConvertChannel::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &ConvertChannel::onDisconnected);
    // A refused or lost connection still ends through the timer; its error is only kept, so
    // that the result can say why.
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        using F = FetchResult::Failure;
        const F kind = e == QAbstractSocket::ConnectionRefusedError ? F::Refused
                       : e == QAbstractSocket::HostNotFoundError    ? F::HostNotFound
                       : e == QAbstractSocket::SocketTimeoutError   ? F::Timeout
                                                                    : F::NoAnswer;
        if (m_phase == Phase::Connecting || m_phase == Phase::Connected)
            noteFailure(FetchResult::failed(kind, {}).reason(), m_socket->errorString());
    });
    connect(m_timer, &QTimer::timeout, this, &ConvertChannel::onTimeout);
}

ConvertChannel::~ConvertChannel()
{
    closeSocket();
}

void ConvertChannel::request(ConvertJob job)
{
    dropOrphans();
    Pending pending;
    pending.guarded = !job.context.isNull();
    pending.job = std::move(job);
    if (pending.guarded) {
        // A job whose caller is gone would otherwise hold the channel until its timer ticks,
        // or for ever when it reconnects.
        connect(pending.job.context, &QObject::destroyed, this, &ConvertChannel::dropOrphans,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    }

    if (m_current && m_current->job.kind == pending.job.kind) {
        m_current = std::move(pending);
        start();
        return;
    }
    for (Pending &waiting : m_queue) {
        if (waiting.job.kind == pending.job.kind) {
            waiting = std::move(pending);
            return;
        }
    }
    if (m_current) {
        m_queue.push_back(std::move(pending));
        return;
    }
    m_current = std::move(pending);
    start();
}

void ConvertChannel::abort(const QString &kind)
{
    std::erase_if(m_queue, [&](const Pending &p) { return p.job.kind == kind; });
    if (m_current && m_current->job.kind == kind) {
        m_current.reset();
        m_timer->stop();
        closeSocket();
        m_reply.clear();
        startNext();
    }
}

bool ConvertChannel::busy() const
{
    return m_current.has_value();
}

QString ConvertChannel::currentKind() const
{
    return m_current ? m_current->job.kind : QString();
}

void ConvertChannel::noteFailure(const QString &reason, const QString &detail)
{
    m_failReason = reason;
    m_failDetail = detail;
}

void ConvertChannel::deliver(const std::optional<Pending> &done, ConvertResult result)
{
    if (!done || !done->alive() || !done->job.done)
        return;
    if (!result.replied() && result.reason.isEmpty()) {
        result.reason = m_failReason.isEmpty() ? FetchResult::failed(FetchResult::Failure::Timeout, {}).reason()
                                               : m_failReason;
        result.detail = m_failDetail;
    }
    done->job.done(result);
}

void ConvertChannel::start()
{
    closeSocket();
    m_reply.clear();
    noteFailure({}, {});
    ++m_current->tries;
    m_timer->setInterval(m_timeoutMs);
    m_timer->start();
    connectSocket();
}

void ConvertChannel::connectSocket()
{
    ++m_attempt;
    m_phase = Phase::Connecting;
    m_proxy = outside::proxyFor(outside::apiToolHost, outside::apiToolPort);
    if (const auto to = outside::connectTo(outside::apiToolHost); to && to->host.isEmpty())
        noteFailure(FetchResult::failed(FetchResult::Failure::BadAddress, {}).reason(), outside::connectToProblem());
    else if (to)
        m_socket->connectToHost(to->host, to->port);
    else if (m_proxy)
        m_socket->connectToHost(m_proxy->host, m_proxy->port);
    else
        m_socket->connectToHost(outside::apiToolHost, outside::apiToolPort);
}

// Our own close is never the server's close: the attempt it ends is abandoned, not judged.
void ConvertChannel::closeSocket()
{
    ++m_attempt;
    m_phase = Phase::Idle;
    const QSignalBlocker quiet(m_socket);
    m_socket->abort();
}

void ConvertChannel::onConnected()
{
    if (m_phase != Phase::Connecting || !m_current)
        return;
    m_phase = Phase::Connected;
    m_reply.clear();
    const quint64 attempt = m_attempt;
    emit status(kReading);
    if (attempt != m_attempt || !m_current)
        return;   // a listener started or dropped a job meanwhile
    const QByteArray request = convrequest(m_current->job.body);
    m_socket->write(m_proxy ? outside::throughProxy(request, outside::apiToolHost, outside::apiToolPort, *m_proxy)
                            : request);
}

void ConvertChannel::onReadyRead()
{
    if (m_phase != Phase::Connected)
        return;   // after too long a reply: left unread until the socket is closed
    m_reply += m_socket->read(kMaxReplyBytes + 1 - m_reply.size());
    if (m_reply.size() > kMaxReplyBytes) {
        // Judged as an empty reply, which fails; the rest is never read.
        m_reply.clear();
        m_reply.squeeze();
        m_phase = Phase::Ended;
        const quint64 attempt = m_attempt;
        QMetaObject::invokeMethod(this, [this, attempt] { endAttempt(attempt); }, Qt::QueuedConnection);
    }
}

void ConvertChannel::onDisconnected()
{
    if (m_phase != Phase::Connected)
        return;
    onReadyRead();   // whatever came with the close
    if (m_phase != Phase::Connected)
        return;      // it was one byte too many: already on its way as a failure
    m_phase = Phase::Ended;
    const quint64 attempt = m_attempt;
    // Judged outside the socket's own signal, so that whatever the callbacks start next finds
    // the socket done with its bookkeeping.
    QMetaObject::invokeMethod(this, [this, attempt] { endAttempt(attempt); }, Qt::QueuedConnection);
}

// The server has closed the connection (or sent too much): judge the reply.
void ConvertChannel::endAttempt(quint64 attempt)
{
    if (attempt != m_attempt || m_phase != Phase::Ended || !m_current)
        return;
    if (!m_current->alive()) {
        dropOrphans();
        return;
    }
    m_timer->stop();
    closeSocket();
    ConvertReply judged = judgeReply(QString::fromUtf8(m_reply));
    const bool complete = replyComplete(m_reply);
    judged.ok = judged.ok && complete;
    const qsizetype lineEnd = m_reply.indexOf('\n');
    const QString firstLine = QString::fromUtf8(m_reply.left(qMin<qsizetype>(lineEnd < 0 ? 80 : lineEnd, 80))).trimmed();
    m_reply.clear();
    const quint64 judging = m_attempt;
    emit status(judged.ok ? kSucceeded : kFailed);
    if (judging != m_attempt || !m_current)
        return;   // a listener started or dropped a job meanwhile
    if (judged.ok) {
        const std::optional<Pending> done = finishJob();
        deliver(done, {ConvertResult::Outcome::Replied, judged.clickurl, {}, {}});
        return;
    }
    noteFailure(complete ? QStringLiteral("转换接口返回失败") : FetchResult::failed(FetchResult::Failure::CutOff, {}).reason(),
                firstLine.isEmpty() ? QStringLiteral("empty reply") : firstLine);
    if (m_current->job.retryFailedReply) {
        m_timer->setInterval(m_retryMs);
        m_timer->start();
        return;
    }
    const std::optional<Pending> done = finishJob();
    deliver(done, {ConvertResult::Outcome::FailedReply, {}, {}, {}});
}

void ConvertChannel::onTimeout()
{
    if (!m_current)
        return;
    if (!m_current->alive()) {
        dropOrphans();
        return;
    }
    m_timer->stop();
    const quint64 attempt = m_attempt;
    emit status(kTimedOut);
    if (attempt != m_attempt || !m_current)
        return;   // a listener started or dropped a job meanwhile
    closeSocket();
    if (!m_current->job.reconnectOnTimeout) {
        const std::optional<Pending> done = finishJob();
        deliver(done, {ConvertResult::Outcome::TimedOut, {}, {}, {}});
        return;
    }
    m_reply.clear();
    if (m_current->job.maxAttempts > 0 && m_current->tries >= m_current->job.maxAttempts) {
        const std::optional<Pending> done = finishJob();
        deliver(done, {ConvertResult::Outcome::GaveUp, {}, {}, {}});
        return;
    }
    // A job that retries until it succeeds must not keep the channel from the others waiting
    // (Step 2's item behind a shop conversion the tool keeps failing): it goes to the back.
    if (!m_queue.empty()) {
        m_queue.push_back(std::move(*m_current));
        m_current.reset();
        startNext();
        return;
    }
    ++m_current->tries;
    connectSocket();
    // The retry interval was the pause before this attempt; the attempt itself has the whole
    // time-out, or a tool slower than the pause would never be waited for.
    m_timer->setInterval(m_timeoutMs);
    m_timer->start();
}

// Ends the current job and starts the next in line; the ended job's callbacks are the caller's
// to run, after this bookkeeping.
std::optional<ConvertChannel::Pending> ConvertChannel::finishJob()
{
    std::optional<Pending> done = std::move(m_current);
    m_current.reset();
    m_timer->stop();
    closeSocket();
    m_reply.clear();
    startNext();
    return done;
}

void ConvertChannel::startNext()
{
    while (!m_current && !m_queue.empty()) {
        Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        if (!next.alive())
            continue;
        m_current = std::move(next);
        start();
    }
}

void ConvertChannel::dropOrphans()
{
    std::erase_if(m_queue, [](const Pending &p) { return !p.alive(); });
    if (m_current && !m_current->alive()) {
        m_current.reset();
        m_timer->stop();
        closeSocket();
        m_reply.clear();
        startNext();
    }
}
