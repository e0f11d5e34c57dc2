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

DetailStep::DetailStep(Services services, ConvertChannel &channel, ItemCollector &collector, CacheCleaner &cleaner,
                       QObject *parent)
    : Step(services,
           {QStringLiteral("第二步：宝贝采集"), QStringLiteral("暂停采集"), QStringLiteral("第二步：继续采集")},
           parent),
      m_channel(channel), m_collector(collector), m_cleaner(cleaner),
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

void DetailStep::click()
{
    if (running()) {
        // A conversion under way completes and its item is stored; the next tick stops.
        pause();
        return;
    }
    // Resumed before the pause took effect: the run's item under way, or its next tick, carries
    // the step on, and a tick now would take the same item a second time.
    const bool carriedOn = state() == State::Pausing;
    if (!begin())
        return;
    m_failures = m_pageFailures = 0;
    if (!carriedOn)
        m_timer->start(m_startMs);
    const auto waiting = m_s.db.counts();
    emit started(waiting ? int(waiting.value.notCollected) : 0);
}

DbResult<QString> DetailStep::getitemid()
{
    return m_s.db.nextUncollected();
}

void DetailStep::tick()
{
    m_timer->stop();
    // Nothing of the step's is under way at a tick: whatever answer of an earlier unit is still
    // to come (a conversion given up on) is dropped with its transfer.
    supersede();
    m_cleaner.run();
    if (pauseAsked()) {
        end(StepOutcome::Paused, QStringLiteral("用户暂停"));
        return;
    }
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        end(StepOutcome::Stopped, fileLost(same), same.reason(), same.error);
        return;
    }
    const DbResult<QString> next = getitemid();
    if (!next) {
        end(StepOutcome::Stopped, next.readFailure(), next.reason(), next.error);
        return;
    }
    m_curitem = next.value;
    if (m_curitem.isEmpty()) {
        end(StepOutcome::Completed, QStringLiteral("所有宝贝详情采集完成，请编辑后更新至服务器"));
        return;
    }
    const QString item = m_curitem;
    ConvertJob job;
    job.kind = QStringLiteral("item");
    job.body = itemConvertBody(item, outside::builtinPid);
    job.retryFailedReply = true;
    job.context = work();
    // No answer in time: the same item comes up again at the next tick.
    job.done = [this, item](const ConvertResult &r) { converted(item, r); };
    m_channel.request(std::move(job));
}

// The next item after the last one's end, at the interval of the last start, unchanged.
void DetailStep::next()
{
    m_timer->start();
}

void DetailStep::retry(const QString &item, const QString &reason, const QString &detail)
{
    if (item != m_failingItem) {
        m_failingItem = item;
        m_failures = m_pageFailures = 0;
    }
    if (++m_failures >= kMaxAttemptsPerItem) {
        m_failures = 0;
        checkTool(item, reason, detail);
        return;
    }
    m_timer->start(m_retryMs);
}

// The item's conversion keeps failing. Whether it is this item or the tool shows in another
// item's conversion: one that comes means the tool answers, and this item alone is set aside;
// none means an outage, and no row is marked for it.
void DetailStep::checkTool(const QString &item, const QString &reason, const QString &detail)
{
    const Suspect suspect{item, reason, detail,
                          QStringLiteral("宝贝编号：%1 多次转换或读取失败，已暂停采集，请检查网络后继续").arg(item),
                          QStringLiteral("宝贝多次转换失败（%1），已跳过，重新采集或全新采集时再读取").arg(reason),
                          QStringLiteral("宝贝编号：%1 多次转换失败，已跳过该宝贝").arg(item)};
    compareWithOther(suspect, [this](const QString &other, std::function<void(bool)> answered) {
        ConvertJob job;
        job.kind = QStringLiteral("item");
        job.body = itemConvertBody(other, outside::builtinPid);
        job.context = work();
        job.done = [answered](const ConvertResult &probe) { answered(probe.replied()); };
        m_channel.request(std::move(job));
    });
}

// One other item tells whether the suspect alone fails or the service it needs is down.
void DetailStep::compareWithOther(const Suspect &suspect, const Probe &probe)
{
    const DbResult<QString> other = m_s.db.otherItem(suspect.item);
    if (!other) {
        end(StepOutcome::Stopped, other.readFailure(), other.reason(), other.error);
        return;
    }
    if (other.value.isEmpty()) {
        // Nothing to compare with: it may as well be the service.
        end(StepOutcome::Stopped, suspect.outage, suspect.reason, suspect.detail);
        return;
    }
    probe(other.value, [this, suspect](bool answered) {
        if (!answered) {
            end(StepOutcome::Stopped, suspect.outage, suspect.reason, suspect.detail);
            return;
        }
        setAside(suspect.item, suspect.asideWhy, suspect.asideText, suspect.reason, suspect.detail);
    });
}

// Out of this run's way, with the reason the row's tooltip shows; the step goes on.
void DetailStep::setAside(const QString &item, const QString &why, const QString &text, const QString &reason,
                          const QString &detail)
{
    if (const DbStatus marked = m_s.db.setAside(item, why); !marked) {
        end(StepOutcome::Stopped, marked.writeFailure(QStringLiteral("宝贝编号：%1 ").arg(item)), marked.reason(), marked.error);
        return;
    }
    emit rowLabel(item, QStringLiteral("状态不正常"));
    emit status(text, reason, detail);
    emit unitDone();
    m_timer->start(m_retryMs);
}

void DetailStep::converted(const QString &item, const ConvertResult &result)
{
    // A run ends only with nothing of it under way, so an answer always finds its run.
    Q_ASSERT(inRun());
    if (!result.replied()) {
        retry(item, result.reason, result.detail);
        return;
    }
    m_collector.getitem(item, result.clickurl, work(), [this, item](const ItemCollector::Result &r) {
        if (r.kind == ItemCollector::Result::Stored || r.kind == ItemCollector::Result::Unavailable)
            emit unitDone();
        switch (r.kind) {
        case ItemCollector::Result::Stored:
        case ItemCollector::Result::Unavailable:
            if (item == m_failingItem)
                m_failures = m_pageFailures = 0;
            next();
            break;
        case ItemCollector::Result::Unreadable:
            pageFailed(item, r.reason, r.detail);
            break;
        case ItemCollector::Result::WriteFailed:
            // Going on would only fail again on every item: the operator is asked to look. The
            // collector has said why.
            end(StepOutcome::Stopped);
            break;
        }
    });
}

void DetailStep::pageFailed(const QString &item, const QString &reason, const QString &detail)
{
    if (item != m_failingItem) {
        m_failingItem = item;
        m_failures = m_pageFailures = 0;
    }
    if (++m_pageFailures < kMaxPageAttempts) {
        m_timer->start(m_retryMs);
        return;
    }
    m_pageFailures = 0;
    checkMarketplace(item, reason, detail);
}

// The item's page keeps failing while its conversion works. Whether it is this item or the
// marketplace shows in another item's page: one that comes means the marketplace answers, and
// this item alone is set aside, so that it never keeps the rest from being collected; one that
// does not come means an outage, and no row is marked for it.
void DetailStep::checkMarketplace(const QString &item, const QString &reason, const QString &detail)
{
    const Suspect suspect{item, reason, detail,
                          QStringLiteral("宝贝编号：%1 页面多次读取失败，已暂停采集，请检查网络后继续").arg(item),
                          QStringLiteral("宝贝页面多次读取失败（%1），已跳过，重新采集或全新采集时再读取").arg(reason),
                          QStringLiteral("宝贝编号：%1 页面多次读取失败，已跳过该宝贝").arg(item)};
    compareWithOther(suspect, [this](const QString &other, std::function<void(bool)> answered) {
        m_s.web.gethtml(outside::itemPageAddress(other), QStringLiteral("GB2312"), work(),
                        [answered](const FetchResult &probe) {
                            answered(probe.ok() && (isItemPage(probe.text) || isUnavailable(probe.text)));
                        });
    });
}
