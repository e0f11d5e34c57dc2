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

void ManualAdd::give(const QString &text)
{
    setCaption(kIdle);
    emit status(text);
    emit failed();
}

void ManualAdd::click(const QString &address, const QString &pid)
{
    ++m_add;
    if (reading()) {
        m_channel.abort(kKind);
        setCaption(kIdle);
        emit status(QStringLiteral("已中止获取"));
        emit failed();
        return;
    }
    setCaption(kReading);
    const qsizetype at = address.indexOf(QStringLiteral("id="));
    const QString id = at < 0 ? QString() : address.mid(at + 3);
    // An address with more parameters after the ID is refused along with the malformed ones.
    if (address.size() < 8 || address.contains(QLatin1Char('&')) || at < 0 || !isItemId(id)) {
        give(QStringLiteral("宝贝地址不正确"));
        return;
    }
    emit status(QStringLiteral("正在读取：") + outside::itemPageAddress(id));
    m_s.shared.manualitem = id;
    // The address and ID as they were when the button was pressed, whatever the box says later.
    m_address = address;
    m_pid = pid;
    const quint64 add = m_add;
    m_s.web.gethtml(address, QStringLiteral("GB2312"), this, [this, add](const QString &page) { firstPage(add, page); });
}

void ManualAdd::firstPage(quint64 add, const QString &page)
{
    if (add != m_add)
        return;   // aborted meanwhile: no conversion may start
    if (page.isEmpty()) {
        give(QStringLiteral("宝贝页面读取失败，请检查网络"));
        return;
    }
    if (isUnavailable(page)) {
        give(QStringLiteral("该宝贝不存在"));
        return;
    }
    ConvertJob job;
    job.kind = kKind;
    job.body = itemConvertBody(m_s.shared.manualitem, m_pid);
    job.reconnectOnTimeout = true;
    job.maxAttempts = kMaxConvertAttempts;
    job.context = this;
    job.replied = [this, add](const QString &clickUrl) { converted(add, clickUrl); };
    // A reply without "200 OK" ends the conversion; the button keeps "正在读取..." until the
    // operator presses it.
    job.failed = [this, add] {
        if (add == m_add)
            emit failed();
    };
    job.gaveUp = [this, add] {
        if (add == m_add)
            give(QStringLiteral("状态：转换接口多次无应答，已停止获取，请稍后再试"));
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
    m_s.web.gethtml(m_address, QStringLiteral("GB2312"), this, [this, add, item, clickUrl](const QString &page) {
        if (add != m_add)
            return;
        // The first look found the page; a second one that brings nothing stores nothing.
        if (page.isEmpty()) {
            give(QStringLiteral("宝贝页面读取失败，请检查网络"));
            return;
        }
        ListedItem listed = parseListFields(page);
        listed.item = item;
        const ItemTexts texts = parseDetail(page, m_s.rules);
        emit workTexts(item, texts.web_title, texts.web_doc, texts.web_key);
        if (m_s.db.addalimamaitemlist(listed, texts, clickUrl) != ProfileDb::Write::Done) {
            give(QStringLiteral("宝贝保存失败：数据库无法写入"));
            return;
        }
        emit status(QStringLiteral("添加成功"));
        setCaption(kIdle);
        emit added(item);
        emit refillList();
    });
}
