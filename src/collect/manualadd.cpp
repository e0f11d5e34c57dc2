#include "collect/manualadd.h"
#include "collect/itemparser.h"
#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "store/profiledb.h"
#include "web/fetch.h"

namespace {
const QString kKind = QStringLiteral("manual");
}

// While it reads, the button aborts: its caption says so; stopped or done, it offers a new add.
ManualAdd::ManualAdd(Services services, ConvertChannel &channel, QObject *parent)
    : Step(services, {QStringLiteral("添加"), QStringLiteral("正在读取..."), QStringLiteral("添加")}, parent),
      m_channel(channel)
{
}

void ManualAdd::click(const QString &address, const QString &pid)
{
    // An abort or a new add: nothing the last one has in flight may go on.
    supersede();
    if (running()) {
        m_channel.abort(kKind);
        end(StepOutcome::Paused, QStringLiteral("已中止获取"));
        return;
    }
    if (!takeLock())
        return;
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        end(StepOutcome::Stopped, fileLost(same), same.reason(), same.error);
        return;
    }
    begin();
    // Blanks around a pasted address are not part of it.
    const QString typed = address.trimmed();
    const QString id = manualItemId(typed);
    if (id.isEmpty()) {
        end(StepOutcome::Stopped, QStringLiteral("宝贝地址不正确"));
        return;
    }
    emit status(QStringLiteral("正在读取：") + outside::itemPageAddress(id));
    m_manualitem = id;
    // The address and ID as they were when the button was pressed, whatever the box says later.
    m_address = typed;
    m_pid = pid;
    m_s.web.gethtml(typed, QStringLiteral("GB2312"), work(), [this](const FetchResult &page) { firstPage(page); });
}

void ManualAdd::pause()
{
    if (running())
        click({}, {});
}

bool ManualAdd::unreadable(const FetchResult &page)
{
    if (page.ok() && (isUnavailable(page.text) || isItemPage(page.text)))
        return false;
    end(StepOutcome::Stopped, QStringLiteral("宝贝页面读取失败，请检查网络"), page.ok() ? QStringLiteral("不是宝贝页面") : page.reason(),
         page.detail);
    return true;
}

void ManualAdd::firstPage(const FetchResult &page)
{
    // An abort supersedes the page on its way: it never reaches an add that ended.
    Q_ASSERT(running());
    if (unreadable(page))
        return;
    if (isUnavailable(page.text)) {
        end(StepOutcome::Stopped, QStringLiteral("该宝贝不存在"));
        return;
    }
    ConvertJob job;
    job.kind = kKind;
    job.body = itemConvertBody(m_manualitem, m_pid);
    job.reconnectOnTimeout = true;
    job.maxAttempts = kMaxConvertAttempts;
    job.context = work();
    job.done = [this](const ConvertResult &r) {
        switch (r.outcome) {
        case ConvertResult::Outcome::Replied:
            converted(r.clickurl);
            break;
        case ConvertResult::Outcome::FailedReply:
            // The conversion ends, and the add with it, but the button keeps "正在读取..."
            // until the operator presses it.
            end(StepOutcome::Stopped);
            setState(State::Running);
            break;
        case ConvertResult::Outcome::TimedOut:
        case ConvertResult::Outcome::GaveUp:
            end(StepOutcome::Stopped, QStringLiteral("状态：转换接口多次无应答，已停止获取，请稍后再试"), r.reason, r.detail);
            break;
        }
    };
    m_channel.request(std::move(job));
}

void ManualAdd::converted(const QString &clickUrl)
{
    if (clickUrl.isEmpty()) {
        end(StepOutcome::Stopped, QStringLiteral("状态：没有获取到此宝贝的阿里妈妈链接，可能未加入淘宝联盟"));
        return;
    }
    emit status(QStringLiteral("状态：获取成功"));
    alimama(clickUrl);
}

void ManualAdd::alimama(const QString &clickUrl)
{
    const QString item = m_manualitem;
    emit status(QStringLiteral("正在读取：") + outside::itemPageAddress(item));
    m_s.web.gethtml(m_address, QStringLiteral("GB2312"), work(), [this, item, clickUrl](const FetchResult &page) {
        // The first look found the page; a second one that brings nothing stores nothing.
        if (unreadable(page))
            return;
        ListedItem listed = parseListFields(page.text);
        listed.item = item;
        const ItemTexts texts = parseDetail(page.text, m_s.rules);
        emit workTexts(item, texts.web_title, texts.web_doc, texts.web_key);
        if (const DbStatus stored = m_s.db.addalimamaitemlist(listed, texts, clickUrl); !stored) {
            end(StepOutcome::Stopped, stored.writeFailure(QStringLiteral("宝贝")), stored.reason(), stored.error);
            return;
        }
        end(StepOutcome::Completed, QStringLiteral("添加成功"));
        emit added(item);
        emit refillList();
    });
}
