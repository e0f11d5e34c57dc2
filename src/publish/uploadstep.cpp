#include "publish/uploadstep.h"
#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "publish/sitelogin.h"
#include "publish/uploadrecord.h"
#include "store/itemstate.h"
#include "web/fetch.h"
#include "web/notifier.h"

#include <QTimer>

namespace {
const QString kIdle = QStringLiteral("第三步：更新上传");
const QString kRunning = QStringLiteral("暂停上传");
const QString kContinue = QStringLiteral("第三步：继续上传");
const QString kNoSite = QStringLiteral("请先设置镜像网站地址");
}

UploadStep::UploadStep(Services services, Site site, ConvertChannel &channel, SiteLogin &login, QObject *parent)
    : Step(kIdle, parent), m_s(services), m_site(site), m_channel(channel), m_login(login),
      m_timer3(new QTimer(this)), m_timer4(new QTimer(this))
{
    m_timer3->setObjectName(QStringLiteral("Timer3"));
    m_timer4->setObjectName(QStringLiteral("Timer4"));
    for (QTimer *t : {m_timer3, m_timer4}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);   // a coarse one may fire 5 % late
    }
    connect(m_timer3, &QTimer::timeout, this, &UploadStep::tick);
    connect(m_timer4, &QTimer::timeout, this, &UploadStep::relogin);
}

void UploadStep::setIntervals(int nextMs, int refusedMs, int reloginMs)
{
    m_nextMs = nextMs;
    m_refusedMs = refusedMs;
    m_reloginMs = reloginMs;
}

bool UploadStep::running() const
{
    return caption() == kRunning;
}

// A run reports its end once, however many of its paths find it over.
void UploadStep::finish(Outcome outcome)
{
    if (m_ended)
        return;
    m_ended = true;
    emit ended(outcome);
}

void UploadStep::stop(const QString &text, Outcome outcome)
{
    emit status(text);
    finish(outcome);
}

// Stops the step with the button on its resume caption: the operator looks, then resumes.
void UploadStep::halt(const QString &text)
{
    setCaption(kContinue);
    stop(text, Outcome::Stopped);
}

// The step's own chain of ticks is still going: a unit in flight or a timer armed re-arms it.
bool UploadStep::chainAlive() const
{
    return m_inFlight || m_relogging || m_timer3->isActive() || m_timer4->isActive();
}

// A write the database refused would have the same row picked again and again: the step stops.
// By hand, the operator is told and nothing else changes.
bool UploadStep::stored(bool written, Path path)
{
    if (written)
        return true;
    const QString text = QStringLiteral("上传结果保存失败：数据库无法写入");
    if (path == Path::Step) {
        halt(text);
    } else {
        emit status(text);
        m_s.notifier.showmsg(text);
    }
    return false;
}

bool UploadStep::siteMissing()
{
    if (m_site.server.size() >= 4)
        return false;
    emit status(kNoSite);
    m_s.notifier.showmsg(kNoSite);
    return true;
}

void UploadStep::click()
{
    if (!m_s.shared.shoplinkok) {
        // The shop's own click URL goes to the site with the login; it is asked for once a run.
        m_s.shared.convmode = 1;
        ConvertJob job;
        job.kind = QStringLiteral("shop");
        job.body = shopConvertBody(m_s.shared.shopsid, outside::builtinPid);
        job.retryFailedReply = true;
        job.reconnectOnTimeout = true;
        job.maxAttempts = kMaxShopAttempts;
        job.context = this;
        job.replied = [this](const QString &clickUrl) {
            m_s.shared.shoplinkok = true;
            m_s.shared.shopclickurl = clickUrl;
            click();
        };
        job.gaveUp = [this] {
            m_ended = false;
            emit status(QStringLiteral("店铺推广链接多次获取失败，未开始上传，请稍后再试"));
            finish(Outcome::Stopped);
        };
        m_channel.request(std::move(job));
        return;
    }
    if (running()) {
        setCaption(kContinue);
        m_s.shared.userpause = true;
        m_pauseAsked = true;
        return;
    }
    setCaption(kRunning);
    m_ended = false;
    m_pauseAsked = false;
    m_login.webuserlogin({m_site.server, m_site.user, m_site.pass, m_s.shared.shopclickurl}, this,
                         [this](SiteLogin::Result r) {
        if (r != SiteLogin::Result::LoggedIn) {
            // The login said why in the status line. Without a challenge the button goes back to
            // its idle caption; otherwise it offers to go on, as after any stop.
            setCaption(r == SiteLogin::Result::NoChallenge ? kIdle : kContinue);
            finish(Outcome::Stopped);
            return;
        }
        // A pause pressed while the login was under way stands.
        if (!running()) {
            if (!chainAlive())
                stop(QStringLiteral("用户暂停"), Outcome::Paused);
            return;
        }
        m_s.shared.userpause = false;
        // Resumed while an upload of the paused run is still under way: that upload carries the
        // step on, and a second chain of ticks would post the same row twice.
        if (chainAlive())
            return;
        m_timer3->start(m_nextMs);
        emit started(int(m_s.db.counts().collected));
    });
}

void UploadStep::relogin()
{
    m_timer4->stop();
    m_relogging = true;
    m_login.webuserlogin({m_site.server, m_site.user, m_site.pass, m_s.shared.shopclickurl}, this,
                         [this](SiteLogin::Result r) {
        m_relogging = false;
        if (r != SiteLogin::Result::LoggedIn) {
            halt(QStringLiteral("登录失败，请检查网络连接或用户名密码配置是否正确"));
            return;
        }
        m_timer3->start(m_nextMs);
    });
}

void UploadStep::tick()
{
    m_timer3->stop();
    if (siteMissing()) {
        setCaption(kContinue);
        finish(Outcome::Stopped);
        return;
    }
    if (m_s.shared.userpause || m_pauseAsked) {
        setCaption(kContinue);
        stop(QStringLiteral("用户暂停"), Outcome::Paused);
        return;
    }
    const auto row = m_s.db.nextToUpload();
    if (!row) {
        emit refillList();
        emit status(QStringLiteral("没有未上传的宝贝"));
        setCaption(kIdle);
        finish(Outcome::Completed);
        return;
    }
    emit rowLabel(row->item, QStringLiteral("正在上传..."));
    if (row->web_url == outside::descriptionPrefix() || row->title.isEmpty()) {
        if (!stored(m_s.db.markAbnormalById(row->id), Path::Step))
            return;
        emit rowLabel(row->item, QStringLiteral("状态不正常"));
        emit unitDone();
        m_timer3->start(m_nextMs);
        return;
    }
    upload(*row, Path::Step);
}

void UploadStep::uploadNow(qint64 id)
{
    if (id == 0) {
        const QString text = QStringLiteral("非编辑状态不能上传");
        emit status(text);
        m_s.notifier.showmsg(text);
        return;
    }
    if (siteMissing())
        return;
    m_login.webuserlogin({m_site.server, m_site.user, m_site.pass, m_s.shared.shopclickurl}, this,
                         [this, id](SiteLogin::Result r) {
        if (r != SiteLogin::Result::LoggedIn) {
            emit status(QStringLiteral("登录失败，请检查用户名密码设置，若多次失败可联系客服处理！"));
            m_s.notifier.showmsg(QStringLiteral("登录失败，请检查用户名密码设置"));
            return;
        }
        const auto row = m_s.db.itemById(id);
        if (!row)
            return;
        emit rowLabel(row->item, QStringLiteral("正在上传..."));
        upload(*row, Path::ByHand);
    });
}

void UploadStep::upload(const ItemRecord &row, Path path)
{
    if (path == Path::Step)
        m_inFlight = true;
    m_s.web.gethtml(row.web_url, QStringLiteral("gb2312"), this, [this, row, path](const Answer &document) {
        // No answer at all is the network's fault, not the item's: the row stays as it is. An
        // answer that came but could not be used (too large, cut off, redirected in circles)
        // is the document's: the row is set aside with the reason, or it would stop every run.
        if (!document.answered()) {
            if (!document.reached) {
                unreachable(row, QStringLiteral("宝贝描述读取失败，请检查网络后继续上传"), path);
                return;
            }
            const QString reason = QStringLiteral("宝贝描述读取失败（%1），未上传").arg(document.failure);
            emit status(reason);
            refuse(row, reason, path);
            return;
        }
        // A document too short to hold a description is never posted as one.
        const auto page = pagebody(document.text, outside::siteFolder(m_site.server));
        if (!page) {
            const QString reason = QStringLiteral("宝贝描述无法读取（描述文档不完整），未上传，请重新采集后手动上传");
            emit status(reason);
            refuse(row, reason, path);
            return;
        }
        const QString address = outside::siteAddress(m_site.server, outside::uploadPath);
        m_s.web.httppost(address, outside::siteHost(m_site.server), QString(), uploadbody(row, *page, path == Path::ByHand),
                         QStringLiteral("gb2312"), this, [this, row, path](const Answer &reply) {
                             // A post with no reply at all did not reach the site; marking the row
                             // refused would, in an outage, take every remaining row out of the
                             // step one by one.
                             if (!reply.answered() && !reply.reached) {
                                 unreachable(row, QStringLiteral("无法连接镜像网站，请检查网络后继续上传"), path);
                                 return;
                             }
                             // An answer the site began but that could not be read is its refusal.
                             posted(row, path, reply.answered() ? reply.text
                                                                : QStringLiteral("（网站的回复无法读取：%1）").arg(reply.failure));
                         });
    });
}

void UploadStep::posted(const ItemRecord &row, Path path, const QString &reply)
{
    if (path == Path::Step)
        m_inFlight = false;
    if (reply == outside::uploadOk) {
        m_relogins = 0;
        if (!stored(m_s.db.setUploaded(row.id), path))
            return;
        emit rowLabel(row.item, QStringLiteral("已上传"));
        emit status(row.title + QStringLiteral("上传成功"));
        if (path == Path::Step) {
            emit unitDone();
            m_timer3->start(m_nextMs);
        }
        return;
    }
    // The site answered, if only with nothing: that is its refusal, and it is kept with a reason
    // the operator can read.
    const QString text = reply.isEmpty() ? QStringLiteral("（网站返回了空白内容）") : reply;
    emit status(text);
    if (reply.contains(outside::relogMarker)) {
        emit rowLabel(row.item, QStringLiteral("未上传"));
        if (path == Path::ByHand) {
            emit status(QStringLiteral("意外错误，多次尝试后可联系客服处理！"));
            return;
        }
        m_relogins = m_reloginRow == row.id ? m_relogins + 1 : 1;
        m_reloginRow = row.id;
        if (m_relogins > kMaxReloginsPerRow) {
            m_relogins = 0;
            halt(QStringLiteral("网站连续要求重新登录，已停止上传，请检查网站是否能保持登录"));
            return;
        }
        emit status(QStringLiteral("您已经从后台退出，正在重新登录"));
        m_timer4->start(m_reloginMs);
        return;
    }
    m_relogins = 0;
    refuse(row, text, path);
}

void UploadStep::refuse(const ItemRecord &row, const QString &reason, Path path)
{
    if (path == Path::Step)
        m_inFlight = false;
    if (!stored(m_s.db.setRefused(row.id, reason), path))
        return;
    emit rowLabel(row.item, QStringLiteral("上传失败"));
    emit refused(row.item, reason);
    if (path == Path::Step) {
        emit unitDone();
        m_timer3->start(m_refusedMs);
    }
}

void UploadStep::unreachable(const ItemRecord &row, const QString &text, Path path)
{
    emit rowLabel(row.item, statelabel(row.state, row.itemstate));
    if (path == Path::ByHand) {
        emit status(text);
        m_s.notifier.showmsg(text);
        return;
    }
    m_inFlight = false;
    halt(text);
}
