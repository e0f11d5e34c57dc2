#include "collect/liststep.h"
#include "collect/itemparser.h"
#include "outside/outside.h"
#include "session/checks.h"
#include "store/profiledb.h"
#include "web/fetch.h"
#include "web/notifier.h"

#include <QDir>
#include <QTimer>

namespace {
const QString kIdle = QStringLiteral("第一步：列表采集");
const QString kRunning = QStringLiteral("暂停采集");
const QString kContinue = QStringLiteral("第一步：继续采集");
}

ListStep::ListStep(Services services, QObject *parent)
    : Step(kIdle, parent), m_s(services), m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);   // a coarse one may fire 5 % late
    connect(m_timer, &QTimer::timeout, this, &ListStep::tick);
}

void ListStep::setIntervals(int firstMs, int nextMs)
{
    m_firstMs = firstMs;
    m_nextMs = nextMs;
}

void ListStep::click()
{
    if (caption() == kRunning) {
        // The page in flight is finished and stored; the next tick stops, even when the pause
        // flag is cleared again meanwhile (by the next start, or by another step's button).
        setCaption(kContinue);
        m_s.shared.userpause = true;
        m_pauseAsked = true;
        return;
    }
    // Another process running on the profile is said now, before the mode is asked for.
    if (!holdRun(m_s.runLock))
        return;
    m_s.shared.userpause = false;
    emit modeWanted();
}

void ListStep::start(CollectMode mode)
{
    m_hold = holdRun(m_s.runLock);
    if (!m_hold) {
        emit ended(Outcome::Stopped);
        return;
    }
    if (mode == CollectMode::Fresh) {
        // A fresh run sends every row back to not collected: the profile as it was is kept
        // first, and without that copy the run does not start.
        const DbResult<QString> copy = m_s.db.backup(QDateTime::currentDateTime(), kBackupsKept);
        if (!copy) {
            m_hold.reset();
            report(QStringLiteral("数据库备份失败，未开始全新采集：") + copy.reason(), copy);
            emit ended(Outcome::Stopped);
            return;
        }
        emit status(QStringLiteral("已备份数据库：") + QDir::toNativeSeparators(copy.value));
        // Both or neither: a run killed in between must not resume from the old page.
        DbStatus reset = m_s.db.begin();
        if (reset)
            reset = m_s.db.resetAllStates();
        if (reset)
            reset = m_s.db.resetPageId();
        if (reset)
            reset = m_s.db.commit();
        if (!reset) {
            m_s.db.rollback();
            m_hold.reset();
            report(QStringLiteral("数据库无法写入，未开始全新采集：") + reset.reason(), reset);
            emit ended(Outcome::Stopped);
            return;
        }
    }
    m_s.shared.collectmode = mode;
    ++m_run;
    m_running = true;
    m_pauseAsked = false;
    m_firstTick = true;
    setCaption(kRunning);
    emit started();
    m_timer->start(m_firstMs);
}

void ListStep::stop(const QString &text, Outcome outcome, const QString &reason, const QString &detail)
{
    m_running = false;
    m_hold.reset();
    emit status(text, reason, detail);
    // Stopped or paused (by its own button or another step's), the button offers to go on.
    setCaption(kContinue);
    emit ended(outcome);
}

void ListStep::tick()
{
    m_timer->stop();
    if (m_s.shared.userpause || m_pauseAsked) {
        stop(QStringLiteral("用户暂停中"), Outcome::Paused);
        return;
    }
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        stop(fileLost(same), Outcome::Stopped, same.reason(), same.error);
        return;
    }
    if (m_firstTick) {
        m_firstTick = false;
        if (m_s.shared.collectmode == CollectMode::Resume) {
            const DbResult<int> stored = m_s.db.pageId();
            if (!stored) {
                m_firstTick = true;   // the next start reads it again
                stop(stored.readFailure(), Outcome::Stopped, stored.reason(), stored.error);
                return;
            }
            m_page = stored.value;
        } else {
            m_page = 1;
        }
    }
    if (m_page <= 0)
        m_page = 1;
    const QString shop = m_s.shared.shopAddress;
    // An address that is not a host name would bend the list page's address: the operator is
    // sent to the box, as for a missing one.
    const FieldCheck checked = checkShopAddress(shop);
    if (shop.isEmpty() || !checked.ok()) {
        const QString text = shop.isEmpty() ? QStringLiteral("请先设置需采集的店铺地址") : checked.message;
        stop(text, Outcome::Stopped);
        m_s.notifier.showmsg(text);
        emit settingsWanted();
        return;
    }
    emit status(QStringLiteral("店铺宝贝列表获读中..."));
    const quint64 run = m_run;
    m_s.web.gethtml(outside::shopListAddress(shop, m_page), QStringLiteral("GB2312"), this,
                    [this, run](const FetchResult &fetched) { pageArrived(run, fetched); });
}

void ListStep::pageArrived(quint64 run, const FetchResult &fetched)
{
    if (run != m_run)
        return;   // a newer run has started; it reads this page again itself
    const QString failed = QStringLiteral("获取数据失败，请检查网络!");
    if (!fetched.ok()) {
        stop(failed, Outcome::Stopped, fetched.reason(), fetched.detail);
        return;
    }
    const ListPage page = parseListPage(fetched.text, m_page);
    if (!page.ok) {
        stop(failed, Outcome::Stopped, QStringLiteral("不是店铺的宝贝列表页"));
        return;
    }
    // A count that is not a number would make the run endless or empty: the page is refused.
    if (!page.countOk) {
        stop(QStringLiteral("获取数据失败，列表页数无法识别"), Outcome::Stopped);
        return;
    }
    emit status(QStringLiteral("正在读取第%1/%2页宝贝列表").arg(m_page).arg(page.pageCount));

    // The page's rows and its number go in together: a page either counts as read with all
    // its items stored, or not at all.
    const bool fresh = m_s.shared.collectmode == CollectMode::Fresh;
    DbStatus saved = m_s.db.begin();
    for (const ListedItem &l : page.items)
        if (saved)
            saved = m_s.db.additemlist(l, fresh);
    if (saved)
        saved = m_s.db.setPageId(m_page);
    if (saved)
        saved = m_s.db.commit();
    if (!saved) {
        m_s.db.rollback();
        stop(saved.writeFailure(QStringLiteral("宝贝列表")), Outcome::Stopped, saved.reason(), saved.error);
        return;
    }
    emit pageRead(m_page, page.pageCount);
    ++m_page;
    if (m_page <= page.pageCount) {
        m_timer->start(m_nextMs);
        return;
    }
    emit refillList();
    m_page = 1;
    const DbResult<qint64> listed = m_s.db.itemCount();
    if (!listed) {
        stop(listed.readFailure(), Outcome::Stopped, listed.reason(), listed.error);
        return;
    }
    m_running = false;
    m_hold.reset();
    emit status(QStringLiteral("宝贝列表读取完毕共计宝贝：%1件，请采集宝贝详细信息").arg(listed.value));
    setCaption(kIdle);
    emit ended(Outcome::Completed);
}
