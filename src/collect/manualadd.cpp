#include "collect/manualadd.h"
#include "collect/itemparser.h"
#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "store/profiledb.h"
#include "web/fetch.h"

namespace {
const QString kIdle = QStringLiteral("添加");
const QString kReading = QStringLiteral("正在读取...");
const QString kKind = QStringLiteral("manual");
}

ManualAdd::ManualAdd(Services services, ConvertChannel &channel, QObject *parent)
    : Step(kIdle, parent), m_s(services), m_channel(channel)
{
}

bool ManualAdd::reading() const
{
    return caption() == kReading;
}

void ManualAdd::give(const QString &text, const QString &reason, const QString &detail)
{
    m_hold.reset();
    setCaption(kIdle);
    emit status(text, reason, detail);
    emit failed();
}

void ManualAdd::click(const QString &address, const QString &pid)
{
    ++m_add;
    if (reading()) {
        m_channel.abort(kKind);
        m_hold.reset();
        setCaption(kIdle);
        emit status(QStringLiteral("已中止获取"));
        emit failed();
        return;
    }
    m_hold = holdRun(m_s.runLock);
    if (!m_hold) {
        emit failed();
        return;
    }
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        give(fileLost(same), same.reason(), same.error);
        return;
    }
    setCaption(kReading);
    // Blanks around a pasted address are not part of it.
    const QString typed = address.trimmed();
    const QString id = manualItemId(typed);
    if (id.isEmpty()) {
        give(QStringLiteral("宝贝地址不正确"));
        return;
    }
    emit status(QStringLiteral("正在读取：") + outside::itemPageAddress(id));
    m_s.shared.manualitem = id;
    // The address and ID as they were when the button was pressed, whatever the box says later.
    m_address = typed;
    m_pid = pid;
    const quint64 add = m_add;
    m_s.web.gethtml(typed, QStringLiteral("GB2312"), this, [this, add](const FetchResult &page) { firstPage(add, page); });
}

bool ManualAdd::unreadable(const FetchResult &page)
{
    if (page.ok() && (isUnavailable(page.text) || isItemPage(page.text)))
        return false;
    give(QStringLiteral("宝贝页面读取失败，请检查网络"), page.ok() ? QStringLiteral("不是宝贝页面") : page.reason(),
         page.detail);
    return true;
}

void ManualAdd::firstPage(quint64 add, const FetchResult &page)
{
    if (add != m_add)
        return;   // aborted meanwhile: no conversion may start
    if (unreadable(page))
        return;
    if (isUnavailable(page.text)) {
        give(QStringLiteral("该宝贝不存在"));
        return;
    }
    ConvertJob job;
    job.kind = kKind;
    job.body = itemConvertBody(m_s.shared.manualitem, m_pid);
    job.reconnectOnTimeout = true;
    job.maxAttempts = kMaxConvertAttempts;
    job.context = this;
    job.done = [this, add](const ConvertResult &r) {
        if (add != m_add)
            return;
        switch (r.outcome) {
        case ConvertResult::Outcome::Replied:
            converted(add, r.clickurl);
            break;
        case ConvertResult::Outcome::FailedReply:
            // The conversion ends; the button keeps "正在读取..." until the operator presses it.
            m_hold.reset();
            emit failed();
            break;
        case ConvertResult::Outcome::TimedOut:
        case ConvertResult::Outcome::GaveUp:
            give(QStringLiteral("状态：转换接口多次无应答，已停止获取，请稍后再试"), r.reason, r.detail);
            break;
        }
    };
    m_channel.request(std::move(job));
}

void ManualAdd::converted(quint64 add, const QString &clickUrl)
{
    if (add != m_add)
        return;
    if (clickUrl.isEmpty()) {
        give(QStringLiteral("状态：没有获取到此宝贝的阿里妈妈链接，可能未加入淘宝联盟"));
        return;
    }
    emit status(QStringLiteral("状态：获取成功"));
    alimama(add, clickUrl);
}

void ManualAdd::alimama(quint64 add, const QString &clickUrl)
{
    const QString item = m_s.shared.manualitem;
    emit status(QStringLiteral("正在读取：") + outside::itemPageAddress(item));
    m_s.web.gethtml(m_address, QStringLiteral("GB2312"), this, [this, add, item, clickUrl](const FetchResult &page) {
        if (add != m_add)
            return;
        // The first look found the page; a second one that brings nothing stores nothing.
        if (unreadable(page))
            return;
        ListedItem listed = parseListFields(page.text);
        listed.item = item;
        const ItemTexts texts = parseDetail(page.text, m_s.rules);
        emit workTexts(item, texts.web_title, texts.web_doc, texts.web_key);
        if (const DbStatus stored = m_s.db.addalimamaitemlist(listed, texts, clickUrl); !stored) {
            give(stored.writeFailure(QStringLiteral("宝贝")), stored.reason(), stored.error);
            return;
        }
        m_hold.reset();
        emit status(QStringLiteral("添加成功"));
        setCaption(kIdle);
        emit added(item);
        emit refillList();
    });
}
