#include "collect/itemcollector.h"
#include "collect/itemparser.h"
#include "outside/outside.h"
#include "store/itemstate.h"
#include "store/profiledb.h"
#include "web/fetch.h"

#include <QTimer>

ItemCollector::ItemCollector(Services services, QObject *parent) : Reporter(parent), m_s(services) {}

void ItemCollector::getitem(const QString &id, const QString &clickUrl, QObject *context, Done done)
{
    if (id.isEmpty()) {
        QTimer::singleShot(0, context, [done] { done({Result::Unavailable, {}, {}}); });
        return;
    }
    emit rowLabel(id, QStringLiteral("正在采集..."));
    const QString address = outside::itemPageAddress(id);
    emit status(QStringLiteral("正在读取：") + address);
    // The collector lives as long as every asker (the session owns both), so the asker's
    // context alone decides whether the answer is still wanted.
    m_s.web.gethtml(address, QStringLiteral("GB2312"), context, [this, id, clickUrl, done](const FetchResult &page) {
        pageArrived(id, clickUrl, page, done);
    });
}

// The row shows its stored state again in place of "正在采集...": nothing of it changed.
void ItemCollector::restoreLabel(const QString &id)
{
    if (const auto row = m_s.db.itemByItem(id); row && row.value)
        emit rowLabel(id, statelabel(row.value->state, row.value->itemstate));
}

void ItemCollector::writeFailed(const QString &id, const DbStatus &why, const Done &done)
{
    restoreLabel(id);
    report(why.writeFailure(QStringLiteral("宝贝编号：%1 ").arg(id)), why);
    done({Result::WriteFailed, why.reason(), why.error});
}

void ItemCollector::pageArrived(const QString &id, const QString &clickUrl, const FetchResult &page, const Done &done)
{
    // Storing the parse of a page that never came, or of an error page, would wipe the row's
    // texts and mark it collected; the row stays as it was instead, to be read again.
    const bool itemPage = page.ok() && (isUnavailable(page.text) || isItemPage(page.text));
    if (!itemPage) {
        restoreLabel(id);
        const QString reason = page.ok() ? QStringLiteral("不是宝贝页面") : page.reason();
        emit status(QStringLiteral("宝贝编号：%1 页面读取失败，请检查网络，稍后重试").arg(id), reason, page.detail);
        done({Result::Unreadable, reason, page.detail});
        return;
    }
    if (isUnavailable(page.text)) {
        if (const DbStatus marked = m_s.db.markAbnormal(id); !marked) {
            writeFailed(id, marked, done);
            return;
        }
        emit rowLabel(id, QStringLiteral("状态不正常"));
        emit status(QStringLiteral("宝贝编号：%1 状态不正常可能已经被删除").arg(id));
        done({Result::Unavailable, {}, {}});
        return;
    }
    const ItemTexts texts = parseDetail(page.text, m_s.rules);
    emit workTexts(id, texts.web_title, texts.web_doc, texts.web_key);
    if (const DbStatus stored = m_s.db.additem(id, texts, clickUrl); !stored) {
        writeFailed(id, stored, done);
        return;
    }
    emit rowLabel(id, QStringLiteral("已采集"));
    done({Result::Stored, {}, {}});
}
