#include "publish/uploadstep.h"
#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "publish/sitelogin.h"
#include "publish/uploadrecord.h"
#include "store/itemstate.h"
#include "web/fetch.h"
#include "base/notifier.h"
#include "web/text.h"

#include <QTimer>
#include <utility>

namespace {
const QString kNoSite = QStringLiteral("请先设置镜像网站地址");
}

UploadStep::UploadStep(Services services, Site site, ConvertChannel &channel, SiteLogin &login, QObject *parent)
    : Step(services,
           {QStringLiteral("第三步：更新上传"), QStringLiteral("暂停上传"), QStringLiteral("第三步：继续上传")},
           parent),
      m_site(site), m_channel(channel), m_login(login),
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

void UploadStep::setShopLink(bool ok, const QString &clickurl)
{
    m_shoplinkok = ok;
    m_shopclickurl = clickurl;
}

// The operator is told, in the status line and a message box, why the upload by hand did not go.
void UploadStep::tell(const QString &text, const QString &reason, const QString &detail)
{
    emit status(text, reason, detail);
    m_s.notifier.showmsg(text);
}

// Stops the step with the button on its resume caption: the operator looks, then resumes.
void UploadStep::halt(const QString &text, const QString &reason, const QString &detail)
{
    end(StepOutcome::Stopped, text, reason, detail);
}

// A write the database refused would have the same row picked again and again: the step stops.
// By hand, the operator is told and nothing else changes.
bool UploadStep::stored(const DbStatus &written, Path path)
{
    if (written)
        return true;
    const QString text = written.writeFailure(QStringLiteral("上传结果"));
    if (path == Path::Step)
        halt(text, written.reason(), written.error);
    else
        tell(text, written.reason(), written.error);
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

// Without its password the login would go out with an empty one: the step does not start.
bool UploadStep::passMissing(Path path)
{
    if (m_site.passProblem.isEmpty())
        return false;
    if (path == Path::ByHand) {
        tell(m_site.passProblem);
        return true;
    }
    end(StepOutcome::Stopped, m_site.passProblem);
    return true;
}

void UploadStep::click()
{
    if (running()) {
        pause();
        return;
    }
    // Starting or resuming needs the profile's run lock, before anything goes out.
    if (!takeLock())
        return;
    // Resumed before the pause took effect: the paused run's upload under way, or its next
    // tick, carries the step on, and a second chain of ticks would post the same row twice.
    // The run ends only through that chain, so that no second one can start meanwhile.
    const bool carriedOn = state() == State::Pausing;
    if (carriedOn && !m_site.passProblem.isEmpty()) {
        emit status(m_site.passProblem);   // the pause stands
        return;
    }
    if (!carriedOn && passMissing(Path::Step))
        return;
    if (!m_shoplinkok) {
        // The shop's own click URL goes to the site with the login; it is asked for once.
        ConvertJob job;
        job.kind = QStringLiteral("shop");
        job.body = shopConvertBody(m_s.shared.shopsid, outside::builtinPid);
        job.retryFailedReply = true;
        job.reconnectOnTimeout = true;
        job.maxAttempts = kMaxShopAttempts;
        job.context = this;
        job.done = [this](const ConvertResult &r) {
            if (!r.replied()) {
                end(StepOutcome::Stopped, QStringLiteral("店铺推广链接多次获取失败，未开始上传，请稍后再试"), r.reason,
                    r.detail);
                return;
            }
            setShopLink(true, r.clickurl);
            click();
        };
        m_channel.request(std::move(job));
        return;
    }
    if (!carriedOn)
        m_stopAtTick.reset();
    begin();
    m_login.webuserlogin({m_site.server, m_site.user, m_site.pass, m_shopclickurl}, this,
                         [this, carriedOn](const SiteLogin::Answer &r) { loggedIn(r, carriedOn); });
}

void UploadStep::loggedIn(const SiteLogin::Answer &r, bool carriedOn)
{
    // The run this resume would carry on may have ended meanwhile (nothing left to upload, or
    // a failure): then there is nothing to carry on, and nothing may be left pausing.
    if (!inRun())
        return;
    if (!r.loggedIn() && carriedOn) {
        // The paused run's upload is still under way: its result is stored, then its tick
        // ends the run, with the lock held till then.
        m_stopAtTick = StepOutcome{StepOutcome::Stopped, r.reason, r.detail};
        setState(State::Pausing);
        return;
    }
    if (!r.loggedIn()) {
        // The login said why in the status line. Without a challenge the button goes back to
        // its idle caption; otherwise it offers to go on, as after any stop.
        end(StepOutcome::Stopped);
        if (r.result == SiteLogin::Result::NoChallenge)
            setState(State::Idle);
        return;
    }
    if (carriedOn) {
        m_stopAtTick.reset();   // an earlier resume's failed login is made good by this one
        return;
    }
    // A pause pressed while the login was under way stands.
    if (state() == State::Pausing) {
        end(StepOutcome::Paused, QStringLiteral("用户暂停"));
        return;
    }
    m_s.shared.userpause = false;
    m_timer3->start(m_nextMs);
    const auto waiting = m_s.db.counts();
    emit started(waiting ? int(waiting.value.collected) : 0);
}

void UploadStep::relogin()
{
    m_timer4->stop();
    if (!inRun())
        return;
    m_login.webuserlogin({m_site.server, m_site.user, m_site.pass, m_shopclickurl}, work(),
                         [this](const SiteLogin::Answer &r) {
        if (!r.loggedIn()) {
            halt(QStringLiteral("登录失败，请检查网络连接或用户名密码配置是否正确"), r.reason, r.detail);
            return;
        }
        m_timer3->start(m_nextMs);
    });
}

void UploadStep::tick()
{
    m_timer3->stop();
    // A run that ended while an upload of it was under way (its resume's login failed): the
    // upload's result is stored, and nothing more goes out.
    if (!inRun())
        return;
    if (m_stopAtTick) {
        const StepOutcome failed = *std::exchange(m_stopAtTick, std::nullopt);
        halt(QStringLiteral("登录失败，请检查网络连接或用户名密码配置是否正确"), failed.reason, failed.detail);
        return;
    }
    if (siteMissing()) {
        end(StepOutcome::Stopped);
        return;
    }
    if (pauseAsked()) {
        end(StepOutcome::Paused, QStringLiteral("用户暂停"));
        return;
    }
    if (const DbStatus same = m_s.db.checkFile(); !same) {
        halt(fileLost(same), same.reason(), same.error);
        return;
    }
    const auto next = m_s.db.nextToUpload();
    if (!next) {
        halt(next.readFailure(), next.reason(), next.error);
        return;
    }
    const std::optional<ItemRecord> &row = next.value;
    if (!row) {
        emit refillList();
        end(StepOutcome::Completed, QStringLiteral("没有未上传的宝贝"));
        return;
    }
    if (row->posting)
        emit status(interrupted(*row));
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
    if (siteMissing() || passMissing(Path::ByHand))
        return;
    // The upload by hand holds the run lock until its outcome is stored, whatever runs besides.
    QString why;
    RunLock::Hold hold = m_s.runLock.take(&why);
    if (!hold) {
        tell(why);
        return;
    }
    m_login.webuserlogin({m_site.server, m_site.user, m_site.pass, m_shopclickurl}, this,
                         [this, id, hold](const SiteLogin::Answer &r) {
        if (!r.loggedIn()) {
            emit status(QStringLiteral("登录失败，请检查用户名密码设置，若多次失败可联系客服处理！"), r.reason, r.detail);
            m_s.notifier.showmsg(QStringLiteral("登录失败，请检查用户名密码设置"));
            return;
        }
        if (const DbStatus same = m_s.db.checkFile(); !same) {
            tell(fileLost(same), same.reason(), same.error);
            return;
        }
        const auto row = m_s.db.itemById(id);
        if (!row) {
            tell(row.readFailure(), row.reason(), row.error);
            return;
        }
        if (!row.value)
            return;
        if (row.value->posting)
            emit status(interrupted(*row.value));
        emit rowLabel(row.value->item, QStringLiteral("正在上传..."));
        upload(*row.value, Path::ByHand, hold);
    });
}

QString UploadStep::interrupted(const ItemRecord &row)
{
    return QStringLiteral("宝贝编号：%1 上次上传后未收到网站的结果（网站可能已收到），现在重新上传").arg(row.item);
}

void UploadStep::upload(const ItemRecord &row, Path path, const RunLock::Hold &hold)
{
    m_s.web.gethtml(row.web_url, QStringLiteral("gb2312"), context(path), [this, row, path, hold](const FetchResult &document) {
        // Whatever kept the document from coming, or made it unusable (too large, mangled,
        // redirected in circles), may be the host's as well as the item's: another item's
        // document tells which, before any row is marked.
        if (!document.ok()) {
            documentFailed(row, path, document, hold);
            return;
        }
        // Bytes that are no text came in place of the document: as good as none.
        if (!isReadableText(document.text)) {
            documentFailed(row, path, FetchResult::failed(FetchResult::Failure::Undecodable,
                                                         QStringLiteral("not a text document"), document.status), hold);
            return;
        }
        if (m_documentRow == row.id)
            m_documentFailures = 0;
        // A document too short to hold a description is never posted as one.
        const auto page = pagebody(document.text, outside::siteFolder(m_site.server));
        if (!page) {
            const QString reason = QStringLiteral("宝贝描述无法读取（描述文档不完整），未上传，请重新采集后手动上传");
            emit status(reason);
            refuse(row, reason, path);
            return;
        }
        post(row, path, *page, hold);
    });
}

void UploadStep::post(const ItemRecord &row, Path path, const QString &page, const RunLock::Hold &hold)
{
    // On the disk before the post leaves: a run stopped before the site's answer is stored
    // knows that this row may be on the site already.
    if (!stored(m_s.db.setPosting(row.id), path)) {
        emit rowLabel(row.item, statelabel(row.state, row.itemstate));
        return;
    }
    const QString address = outside::siteAddress(m_site.server, outside::uploadPath);
    m_s.web.httppost(address, outside::siteHost(m_site.server), QString(), uploadbody(row, page, path == Path::ByHand),
                     QStringLiteral("gb2312"), context(path), [this, row, path, hold](const FetchResult &reply) {
                         // No answer, a broken one or an error page: the site was not there to
                         // take the item. Marking the row refused would, in an outage, take every
                         // remaining row out of the step one by one.
                         if (!reply.ok()) {
                             unreachable(row, QStringLiteral("无法连接镜像网站，请检查网络后继续上传"), path, reply);
                             return;
                         }
                         posted(row, path, reply.text);
                     });
}

// The description document did not come. Once is the network's; again and again, while another
// item's document does come, it is this item's, which is then set aside so that it never keeps
// the rest from being published. When no document comes, nothing is marked.
void UploadStep::documentFailed(const ItemRecord &row, Path path, const FetchResult &document, const RunLock::Hold &hold)
{
    const QString outage = QStringLiteral("宝贝描述读取失败，请检查网络后继续上传");
    if (path == Path::ByHand) {
        unreachable(row, outage, path, document);
        return;
    }
    m_documentFailures = m_documentRow == row.id ? m_documentFailures + 1 : 1;
    m_documentRow = row.id;
    if (m_documentFailures < kMaxDocumentAttempts) {
        emit rowLabel(row.item, statelabel(row.state, row.itemstate));
        emit status(outage, document.reason(), document.detail);
        m_timer3->start(m_refusedMs);
        return;
    }
    m_documentFailures = 0;
    const DbResult<QString> other = m_s.db.otherDescription(row.id);
    if (!other) {
        emit rowLabel(row.item, statelabel(row.state, row.itemstate));
        halt(other.readFailure(), other.reason(), other.error);
        return;
    }
    if (other.value.isEmpty()) {
        unreachable(row, outage, path, document);
        return;
    }
    m_s.web.gethtml(other.value, QStringLiteral("gb2312"), context(path),
                    [this, row, path, document, outage, hold](const FetchResult &probe) {
        if (!probe.ok() || !isReadableText(probe.text) || !pagebody(probe.text, {})) {
            unreachable(row, outage, path, document);
            return;
        }
        const QString reason = QStringLiteral("宝贝描述多次读取失败（%1），未上传").arg(document.reason());
        emit status(reason, document.reason(), document.detail);
        refuse(row, reason, path);
    });
}

void UploadStep::posted(const ItemRecord &row, Path path, const QString &reply)
{
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
    const QString text = reply.isEmpty()              ? QStringLiteral("（网站返回了空白内容）")
                         : !isReadableText(reply) ? QStringLiteral("（网站返回了无法识别的内容）")
                                                  : reply;
    emit status(text);
    if (reply.contains(outside::relogMarker)) {
        // The site did not take the row: nothing of it is on the site.
        if (!stored(m_s.db.clearPosting(row.id), path))
            return;
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
    if (!stored(m_s.db.setRefused(row.id, reason), path))
        return;
    emit rowLabel(row.item, QStringLiteral("上传失败"));
    emit refused(row.item, reason);
    if (path == Path::Step) {
        emit unitDone();
        m_timer3->start(m_refusedMs);
    }
}

void UploadStep::unreachable(const ItemRecord &row, const QString &text, Path path, const FetchResult &why)
{
    emit rowLabel(row.item, statelabel(row.state, row.itemstate));
    if (path == Path::ByHand) {
        tell(text, why.reason(), why.detail);
        return;
    }
    halt(text, why.reason(), why.detail);
}
