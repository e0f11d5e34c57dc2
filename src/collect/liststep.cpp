#include "collect/liststep.h"
#include "collect/itemparser.h"
#include "outside/outside.h"
#include "base/checks.h"
#include "store/profiledb.h"
#include "web/fetch.h"
#include "base/notifier.h"

#include <QDir>
#include <QTimer>

ListStep::ListStep(Services services, QObject *parent)
    : Step(services,
           {QStringLiteral("第一步：列表采集"), QStringLiteral("暂停采集"), QStringLiteral("第一步：继续采集")},
           parent),
      m_timer(new QTimer(this))
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
    if (running()) {
        // The page in flight is finished and stored; the next tick stops, even when the pause
        // flag is cleared again meanwhile (by the next start, or by another step's button).
        pause();
        return;
    }
    // Another process running on the profile is said now, before the mode is asked for.
    if (!holdRun())
        return;
    m_s.shared.userpause = false;
    emit modeWanted();
}

void ListStep::start(CollectMode mode)
{
    supersede();   // a page still in flight from a paused run is read again by this one
    if (!takeLock())
        return;
    if (mode == CollectMode::Fresh) {
        // A fresh run sends every row back to not collected: the profile as it was is kept
        // first, and without that copy the run does not start.
        const DbResult<QString> copy = m_s.db.backup(QDateTime::currentDateTime(), kBackupsKept);
        if (!copy) {
            end(StepOutcome::Stopped, QStringLiteral("数据库备份失败，未开始全新采集：") + copy.reason(),
                copy.reason(), copy.error);
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
            end(StepOutcome::Stopped, QStringLiteral("数据库无法写入，未开始全新采集：") + reset.reason(),
                reset.reason(), reset.error);
            return;
        }
    }
    m_collectmode = mode;
    m_firstTick = true;
    begin();
    emit started(0);
    m_timer->start(m_firstMs);
}

void ListStep::tick()
{
    m_timer->stop();
    if (pauseAsked()) {
        end(StepOutcome::Paused, QStringLiteral("用户暂停中"));
        return;
    }
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        end(StepOutcome::Stopped, fileLost(same), same.reason(), same.error);
        return;
    }
    if (m_firstTick) {
        m_firstTick = false;
        if (m_collectmode == CollectMode::Resume) {
            const DbResult<int> stored = m_s.db.pageId();
            if (!stored) {
                m_firstTick = true;   // the next start reads it again
                end(StepOutcome::Stopped, stored.readFailure(), stored.reason(), stored.error);
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
        end(StepOutcome::Stopped, text);
        m_s.notifier.showmsg(text);
        emit settingsWanted();
        return;
    }
    emit status(QStringLiteral("店铺宝贝列表获读中..."));
    m_s.web.gethtml(outside::shopListAddress(shop, m_page), QStringLiteral("GB2312"), work(),
                    [this](const FetchResult &fetched) { pageArrived(fetched); });
}

void ListStep::pageArrived(const FetchResult &fetched)
{
    // A page comes only to the run that asked for it: a new start supersedes the old one's.
    Q_ASSERT(inRun());
    const QString failed = QStringLiteral("获取数据失败，请检查网络!");
    if (!fetched.ok()) {
        end(StepOutcome::Stopped, failed, fetched.reason(), fetched.detail);
        return;
    }
    const ListPage page = parseListPage(fetched.text, m_page);
    if (!page.ok) {
        end(StepOutcome::Stopped, failed, QStringLiteral("不是店铺的宝贝列表页"));
        return;
    }
    // A count that is not a number would make the run endless or empty: the page is refused.
    if (!page.countOk) {
        end(StepOutcome::Stopped, QStringLiteral("获取数据失败，列表页数无法识别"));
        return;
    }
    emit status(QStringLiteral("正在读取第%1/%2页宝贝列表").arg(m_page).arg(page.pageCount));

    // The page's rows and its number go in together: a page either counts as read with all
    // its items stored, or not at all.
    const bool fresh = m_collectmode == CollectMode::Fresh;
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
        end(StepOutcome::Stopped, saved.writeFailure(QStringLiteral("宝贝列表")), saved.reason(), saved.error);
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
        end(StepOutcome::Stopped, listed.readFailure(), listed.reason(), listed.error);
        return;
    }
    end(StepOutcome::Completed, QStringLiteral("宝贝列表读取完毕共计宝贝：%1件，请采集宝贝详细信息").arg(listed.value));
}
