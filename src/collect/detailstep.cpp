#include "collect/detailstep.h"
#include "cache/cachecleaner.h"
#include "collect/itemcollector.h"
#include "collect/itemparser.h"
#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "store/profiledb.h"
#include "web/fetch.h"

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
        RunLock::Hold hold = holdRun(m_s.runLock);
        if (!hold) {
            emit ended(Outcome::Stopped);
            return;
        }
        m_hold = std::move(hold);
        setCaption(kRunning);
        m_s.shared.userpause = false;
        m_pauseAsked = false;
        m_failures = m_pageFailures = 0;
        // Resumed while the paused run's item is still under way: that item carries the step
        // on, and a tick now would take the same item a second time.
        if (!m_inFlight)
            m_timer->start(m_startMs);
        const auto waiting = m_s.db.counts();
        emit started(waiting ? int(waiting.value.notCollected) : 0);
        return;
    }
    // A conversion under way completes and its item is stored; the next tick stops.
    setCaption(kContinue);
    m_s.shared.userpause = true;
    m_pauseAsked = true;
}

DbResult<QString> DetailStep::getitemid()
{
    return m_s.db.nextUncollected();
}

void DetailStep::stop(const QString &text, Outcome outcome, const QString &reason, const QString &detail)
{
    m_inFlight = false;
    m_hold.reset();
    if (outcome != Outcome::Completed)
        setCaption(kContinue);
    emit status(text, reason, detail);
    emit ended(outcome);
}

void DetailStep::tick()
{
    m_timer->stop();
    ++m_cycle;
    m_cleaner.run();
    if (m_s.shared.userpause || m_pauseAsked) {
        stop(QStringLiteral("用户暂停"), Outcome::Paused);
        return;
    }
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        stop(fileLost(same), Outcome::Stopped, same.reason(), same.error);
        return;
    }
    const DbResult<QString> next = getitemid();
    if (!next) {
        stop(next.readFailure(), Outcome::Stopped, next.reason(), next.error);
        return;
    }
    m_s.shared.curitem = next.value;
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
    // No answer in time: the same item comes up again at the next tick.
    job.done = [this, cycle, item](const ConvertResult &r) { converted(cycle, item, r); };
    m_inFlight = true;
    m_channel.request(std::move(job));
}

// The next item after the last one's end, at the interval of the last start, unchanged.
void DetailStep::next()
{
    m_inFlight = false;
    m_timer->start();
}

void DetailStep::retry(quint64 cycle, const QString &item, const QString &reason, const QString &detail)
{
    if (cycle != m_cycle)
        return;
    m_inFlight = false;
    if (item != m_failingItem) {
        m_failingItem = item;
        m_failures = m_pageFailures = 0;
    }
    if (++m_failures >= kMaxAttemptsPerItem) {
        m_failures = 0;
        checkTool(cycle, item, reason, detail);
        return;
    }
    m_timer->start(m_retryMs);
}

// The item's conversion keeps failing. Whether it is this item or the tool shows in another
// item's conversion: one that comes means the tool answers, and this item alone is set aside;
// none means an outage, and no row is marked for it.
void DetailStep::checkTool(quint64 cycle, const QString &item, const QString &reason, const QString &detail)
{
    const QString outage = QStringLiteral("宝贝编号：%1 多次转换或读取失败，已暂停采集，请检查网络后继续").arg(item);
    const DbResult<QString> other = m_s.db.otherItem(item);
    if (!other) {
        stop(other.readFailure(), Outcome::Stopped, other.reason(), other.error);
        return;
    }
    if (other.value.isEmpty()) {
        stop(outage, Outcome::Stopped, reason, detail);
        return;
    }
    m_inFlight = true;
    ConvertJob job;
    job.kind = QStringLiteral("item");
    job.body = itemConvertBody(other.value, outside::builtinPid);
    job.context = this;
    job.done = [this, cycle, item, reason, detail, outage](const ConvertResult &probe) {
        if (cycle != m_cycle)
            return;
        if (!probe.replied()) {
            stop(outage, Outcome::Stopped, reason, detail);
            return;
        }
        setAside(item, QStringLiteral("宝贝多次转换失败（%1），已跳过，重新采集或全新采集时再读取").arg(reason),
                 QStringLiteral("宝贝编号：%1 多次转换失败，已跳过该宝贝").arg(item), reason, detail);
    };
    m_channel.request(std::move(job));
}

// Out of this run's way, with the reason the row's tooltip shows; the step goes on.
void DetailStep::setAside(const QString &item, const QString &why, const QString &text, const QString &reason,
                          const QString &detail)
{
    if (const DbStatus marked = m_s.db.setAside(item, why); !marked) {
        stop(marked.writeFailure(QStringLiteral("宝贝编号：%1 ").arg(item)), Outcome::Stopped, marked.reason(), marked.error);
        return;
    }
    emit rowLabel(item, QStringLiteral("状态不正常"));
    emit status(text, reason, detail);
    emit itemDone(item);
    m_inFlight = false;
    m_timer->start(m_retryMs);
}

void DetailStep::converted(quint64 cycle, const QString &item, const ConvertResult &result)
{
    if (!result.replied()) {
        retry(cycle, item, result.reason, result.detail);
        return;
    }
    m_collector.getitem(item, result.clickurl, this, [this, cycle, item](const ItemCollector::Result &r) {
        if (r.kind == ItemCollector::Result::Stored || r.kind == ItemCollector::Result::Unavailable)
            emit itemDone(item);
        if (cycle != m_cycle)
            return;   // a newer cycle runs the step now
        switch (r.kind) {
        case ItemCollector::Result::Stored:
        case ItemCollector::Result::Unavailable:
            if (item == m_failingItem)
                m_failures = m_pageFailures = 0;
            next();
            break;
        case ItemCollector::Result::Unreadable:
            pageFailed(cycle, item, r.reason, r.detail);
            break;
        case ItemCollector::Result::WriteFailed:
            // Going on would only fail again on every item: the operator is asked to look. The
            // collector has said why.
            m_inFlight = false;
            m_hold.reset();
            setCaption(kContinue);
            emit ended(Outcome::Stopped);
            break;
        }
    });
}

void DetailStep::pageFailed(quint64 cycle, const QString &item, const QString &reason, const QString &detail)
{
    if (item != m_failingItem) {
        m_failingItem = item;
        m_failures = m_pageFailures = 0;
    }
    if (++m_pageFailures < kMaxPageAttempts) {
        m_inFlight = false;
        m_timer->start(m_retryMs);
        return;
    }
    m_pageFailures = 0;
    checkMarketplace(cycle, item, reason, detail);
}

// The item's page keeps failing while its conversion works. Whether it is this item or the
// marketplace shows in another item's page: one that comes means the marketplace answers, and
// this item alone is set aside, so that it never keeps the rest from being collected; one that
// does not come means an outage, and no row is marked for it.
void DetailStep::checkMarketplace(quint64 cycle, const QString &item, const QString &reason, const QString &detail)
{
    const QString outage = QStringLiteral("宝贝编号：%1 页面多次读取失败，已暂停采集，请检查网络后继续").arg(item);
    const DbResult<QString> other = m_s.db.otherItem(item);
    if (!other) {
        stop(other.readFailure(), Outcome::Stopped, other.reason(), other.error);
        return;
    }
    if (other.value.isEmpty()) {
        // Nothing to compare with: it may as well be the marketplace.
        stop(outage, Outcome::Stopped, reason, detail);
        return;
    }
    m_s.web.gethtml(outside::itemPageAddress(other.value), QStringLiteral("GB2312"), this,
                    [this, cycle, item, reason, detail, outage](const FetchResult &probe) {
                        if (cycle != m_cycle)
                            return;
                        if (!probe.ok() || !(isItemPage(probe.text) || isUnavailable(probe.text))) {
                            stop(outage, Outcome::Stopped, reason, detail);
                            return;
                        }
                        setAside(item, QStringLiteral("宝贝页面多次读取失败（%1），已跳过，重新采集或全新采集时再读取").arg(reason),
                                 QStringLiteral("宝贝编号：%1 页面多次读取失败，已跳过该宝贝").arg(item), reason, detail);
                    });
}
