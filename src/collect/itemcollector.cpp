#include "collect/itemcollector.h"
#include "collect/itemparser.h"
#include "outside/outside.h"
#include "store/itemstate.h"
#include "store/profiledb.h"
#include "web/fetch.h"

#include <QPointer>
#include <QTimer>

ItemCollector::ItemCollector(Services services, QObject *parent) : Step(QString(), parent), m_s(services) {}

void ItemCollector::getitem(const QString &id, const QString &clickUrl, QObject *context, Done done)
{
    if (id.isEmpty()) {
        QTimer::singleShot(0, context, [done] { done(Result::Unavailable); });
        return;
    }
    emit rowLabel(id, QStringLiteral("正在采集..."));
    const QString address = outside::itemPageAddress(id);
    emit status(QStringLiteral("正在读取：") + address);
    QPointer<QObject> guard(context);
    m_s.web.gethtml(address, QStringLiteral("GB2312"), this, [this, id, clickUrl, done, guard](const QString &page) {
        if (guard)
            pageArrived(id, clickUrl, page, done);
    });
}

// The row shows its stored state again in place of "正在采集...": nothing of it changed.
void ItemCollector::restoreLabel(const QString &id)
{
    if (const auto row = m_s.db.itemByItem(id))
        emit rowLabel(id, statelabel(row->state, row->itemstate));
}

void ItemCollector::pageArrived(const QString &id, const QString &clickUrl, const QString &page, const Done &done)
{
    // Storing the parse of a page that never came would wipe the row's texts and mark it
    // collected; the row stays as it was instead, to be read again.
    if (page.isEmpty()) {
        restoreLabel(id);
        emit status(QStringLiteral("宝贝编号：%1 页面读取失败，请检查网络，稍后重试").arg(id));
        done(Result::Unreadable);
        return;
    }
    if (isUnavailable(page)) {
        if (!m_s.db.markAbnormal(id)) {
            restoreLabel(id);
            emit status(QStringLiteral("宝贝编号：%1 保存失败：数据库无法写入").arg(id));
            done(Result::WriteFailed);
            return;
        }
        emit rowLabel(id, QStringLiteral("状态不正常"));
        emit status(QStringLiteral("宝贝编号：%1 状态不正常可能已经被删除").arg(id));
        done(Result::Unavailable);
        return;
    }
    const ItemTexts texts = parseDetail(page, m_s.rules);
    emit workTexts(id, texts.web_title, texts.web_doc, texts.web_key);
    if (m_s.db.additem(id, texts, clickUrl) == ProfileDb::Write::Failed) {
        restoreLabel(id);
        emit status(QStringLiteral("宝贝编号：%1 保存失败：数据库无法写入").arg(id));
        done(Result::WriteFailed);
        return;
    }
    emit rowLabel(id, QStringLiteral("已采集"));
    done(Result::Stored);
}
