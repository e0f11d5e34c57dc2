#include "collect/detailstep.h"
#include "cache/cachecleaner.h"
#include "collect/itemcollector.h"
#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "store/profiledb.h"

#include <QTimer>

namespace {
const QString kIdle = QStringLiteral("第二步：宝贝采集");
const QString kRunning = QStringLiteral("暂停采集");
const QString kContinue = QStringLiteral("第二步：继续采集");
}

DetailStep::DetailStep(Services services, ConvertChannel &channel, ItemCollector &collector, CacheCleaner &cleaner,
                       QObject *parent)
    : Step(kIdle, parent), m_s(services), m_channel(channel), m_collector(collector), m_cleaner(cleaner),
      m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer2"));
    m_timer->setSingleShot(true);
    // A coarse timer may fire 5 % late, which over thousands of items is minutes.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(m_startMs);
    connect(m_timer, &QTimer::timeout, this, &DetailStep::tick);
}

void DetailStep::setIntervals(int startMs, int retryMs)
{
    m_startMs = startMs;
    m_retryMs = retryMs;
}

bool DetailStep::running() const
{
    return caption() == kRunning;
}

void DetailStep::click()
{
    if (!running()) {
        setCaption(kRunning);
        m_s.shared.userpause = false;
        m_pauseAsked = false;
        m_failures = 0;
        // Resumed while the paused run's item is still under way: that item carries the step
        // on, and a tick now would take the same item a second time.
        if (!m_inFlight)
            m_timer->start(m_startMs);
        emit started(int(m_s.db.counts().notCollected));
        return;
    }
    // A conversion under way completes and its item is stored; the next tick stops.
    setCaption(kContinue);
    m_s.shared.userpause = true;
    m_pauseAsked = true;
}

QString DetailStep::getitemid()
{
    return m_s.db.nextUncollected();
}

void DetailStep::stop(const QString &text, Outcome outcome)
{
    emit status(text);
    emit ended(outcome);
}

void DetailStep::tick()
{
    m_timer->stop();
    ++m_cycle;
    m_cleaner.run();
    if (m_s.shared.userpause || m_pauseAsked) {
        setCaption(kContinue);
        stop(QStringLiteral("用户暂停"), Outcome::Paused);
        return;
    }
    m_s.shared.curitem = getitemid();
    if (m_s.shared.curitem.isEmpty()) {
        setCaption(kIdle);
        stop(QStringLiteral("所有宝贝详情采集完成，请编辑后更新至服务器"), Outcome::Completed);
        return;
    }
    const quint64 cycle = m_cycle;
    const QString item = m_s.shared.curitem;
    m_s.shared.convmode = 0;
    ConvertJob job;
    job.kind = QStringLiteral("item");
    job.body = itemConvertBody(item, outside::builtinPid);
    job.retryFailedReply = true;
    job.context = this;
    job.replied = [this, cycle, item](const QString &clickUrl) { converted(cycle, item, clickUrl); };
    // No answer in time: the same item comes up again at the next tick.
    job.timedOut = [this, cycle, item] { retry(cycle, item); };
    m_inFlight = true;
    m_channel.request(std::move(job));
}

void DetailStep::retry(quint64 cycle, const QString &item)
{
    if (cycle != m_cycle)
        return;
    m_inFlight = false;
    m_failures = item == m_failingItem ? m_failures + 1 : 1;
    m_failingItem = item;
    if (m_failures >= kMaxAttemptsPerItem) {
        m_failures = 0;
        setCaption(kContinue);
        stop(QStringLiteral("宝贝编号：%1 多次转换或读取失败，已暂停采集，请检查网络后继续").arg(item), Outcome::Stopped);
        return;
    }
    m_timer->start(m_retryMs);
}

void DetailStep::converted(quint64 cycle, const QString &item, const QString &clickUrl)
{
    m_collector.getitem(item, clickUrl, this, [this, cycle, item](ItemCollector::Result r) {
        if (r == ItemCollector::Result::Stored || r == ItemCollector::Result::Unavailable)
            emit itemDone(item);
        if (cycle != m_cycle)
            return;   // a newer cycle runs the step now
        switch (r) {
        case ItemCollector::Result::Stored:
        case ItemCollector::Result::Unavailable:
            m_inFlight = false;
            m_failures = 0;
            m_timer->start();   // the interval of the last start, unchanged
            break;
        case ItemCollector::Result::Unreadable:
            retry(cycle, item);
            break;
        case ItemCollector::Result::WriteFailed:
            // Going on would only fail again on every item: the operator is asked to look.
            m_inFlight = false;
            setCaption(kContinue);
            emit ended(Outcome::Stopped);
            break;
        }
    });
}
