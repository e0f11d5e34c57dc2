#include "session/session.h"
#include "cache/cachecleaner.h"
#include "collect/detailstep.h"
#include "collect/itemcollector.h"
#include "collect/liststep.h"
#include "collect/manualadd.h"
#include "convert/convertchannel.h"
#include "publish/sitelogin.h"
#include "publish/uploadstep.h"
#include "store/itemstate.h"
#include "web/fetch.h"
#include "base/notifier.h"

#include <QDir>
#include <QFileInfo>

void LoggingNotifier::showmsg(const QString &text)
{
    m_log.write(QStringLiteral("消息"), text);
    m_shown.showmsg(text);
}

bool LoggingNotifier::ask(const QString &text, const QString &title)
{
    const bool yes = m_shown.ask(text, title);
    m_log.write(QStringLiteral("询问"), title + QStringLiteral("：") + text + (yes ? QStringLiteral(" -> 是") : QStringLiteral(" -> 否")));
    return yes;
}

Session::Session(Notifier &notifier, WebService &web, QObject *parent)
    : QObject(parent), m_logged(notifier, m_log), m_web(web)
{
    const Services s{m_db, m_logged, m_web, m_shared, m_rules, m_runLock};
    m_watch = new ProfileWatch(m_db, m_runLock, this);
    m_channel1 = new ConvertChannel(1, this);
    m_channel2 = new ConvertChannel(2, this);
    m_cleaner = new CacheCleaner(m_web, this);
    m_collector = new ItemCollector(s, this);
    m_listStep = new ListStep(s, this);
    m_detailStep = new DetailStep(s, *m_channel1, *m_collector, *m_cleaner, this);
    m_manualAdd = new ManualAdd(s, *m_channel2, this);
    m_login = new SiteLogin(m_web, this);
    m_password = new SitePassword(m_db, m_log, this);
    m_uploadStep = new UploadStep(s, {m_webserver, m_webuser, m_password->pass(), m_password->problem()}, *m_channel1,
                                  *m_login, this);

    for (ConvertChannel *c : {m_channel1, m_channel2})
        connect(c, &ConvertChannel::status, this, [this](const QString &t) { emit status(t); });
    bind(m_collector);
    bind(m_login);
    bind(m_listStep, Progress::List);
    bind(m_detailStep, Progress::Detail);
    bind(m_uploadStep, Progress::Upload);
    bind(m_manualAdd, {});
    connect(m_listStep, &ListStep::pageRead, this,
            [this](int page, int count) { m_progress.update(Progress::List, page, count); });
    connect(m_listStep, &ListStep::modeWanted, this, &Session::modeWanted);
    connect(m_listStep, &ListStep::settingsWanted, this, &Session::settingsWanted);
    connect(m_manualAdd, &ManualAdd::added, this, &Session::manualAdded);

    // The run log: every status text, with why when it reports a failure, and every refusal.
    connect(this, &Session::status, this, [this](const QString &t, const QString &reason, const QString &detail) {
        if (t.isEmpty())
            return;
        QString entry = t;
        if (!reason.isEmpty())
            entry += QStringLiteral(" —— 原因：") + reason;
        if (!detail.isEmpty() && detail != reason)
            entry += QStringLiteral("（") + detail + QStringLiteral("）");
        m_log.write(QStringLiteral("状态"), entry);
    });
    connect(m_uploadStep, &UploadStep::refused, this, [this](const QString &item, const QString &reply) {
        m_log.write(QStringLiteral("上传失败"), item + QStringLiteral(" ") + reply);
    });
    connect(&m_log, &RunLog::unwritable, this, [this](const QString &t) { emit status(t); });

}

Session::~Session()
{
    // The steps and channels hold references to this object's members and report through its
    // signals; they go while those are still whole (children would only go after them).
    for (QObject *o : std::initializer_list<QObject *>{m_uploadStep, m_login, m_manualAdd, m_detailStep, m_listStep,
                                                       m_collector, m_cleaner, m_channel2, m_channel1, m_watch,
                                                       m_password})
        delete o;
}

void Session::bind(Reporter *reporter)
{
    connect(reporter, &Reporter::status, this, &Session::status);
    connect(reporter, &Reporter::rowLabel, this, &Session::rowLabel);
    connect(reporter, &Reporter::workTexts, this, &Session::workTexts);
    connect(reporter, &Reporter::refillList, this, &Session::refillList);
}

void Session::bind(Step *step, std::optional<Progress::Phase> phase)
{
    bind(step);
    if (phase) {
        connect(step, &Step::started, this, [this, p = *phase](int total) { m_progress.begin(p, total); });
        connect(step, &Step::unitDone, this, [this, p = *phase] { m_progress.advance(p); });
        connect(step, &Step::ended, this, [this, p = *phase] { m_progress.end(p); });
    }
    // When a run ends, the file alone holds everything it did: a copy of the file as it stands,
    // which is what an operator's own backup takes, misses nothing.
    connect(step, &Step::ended, this, [this] { m_db.checkpoint(); });
}

QString Session::welcomeText()
{
    return QStringLiteral("欢迎使用Tarnwick软件，软件已准备就绪");
}

QString Session::opendb(const QString &path)
{
    m_watch->stop();
    if (m_db.open(path) == ProfileDb::OpenResult::Failed) {
        const QString text = QStringLiteral("数据库 %1 无法使用：%2").arg(QDir::toNativeSeparators(path), m_db.lastError());
        // The database's own words go to the run log beside it, when there is a folder for one.
        m_log.setPath(QFileInfo(path).dir().exists() ? RunLog::pathFor(path) : QString());
        if (!m_db.lastErrorDetail().isEmpty())
            m_log.write(QStringLiteral("状态"), text + QStringLiteral("（") + m_db.lastErrorDetail() + QStringLiteral("）"));
        m_log.setPath({});
        m_runLock.setProfile({});
        return text;
    }
    m_runLock.setProfile(path, m_db.readOnly());
    m_watch->start();
    // The log goes beside the profile, where the folder lets it.
    const bool folderWritable = QFileInfo(QFileInfo(path).absolutePath()).isWritable();
    m_log.setPath(folderWritable ? RunLog::pathFor(path) : QString());
    if (!m_db.readOnly().isEmpty())
        return QStringLiteral("数据库 %1 只读（%2），只能查看，不能采集、上传或保存")
            .arg(QDir::toNativeSeparators(path), m_db.readOnly());
    return welcomeText();
}

DbResult<std::optional<SoftConfig>> Session::getsoftinfo()
{
    auto c = m_db.loadSettings();
    if (!c) {
        if (m_db.isOpen())
            emit status(c.readFailure(), c.reason(), c.error);
        return c;
    }
    if (c.value) {
        m_webserver = c.value->web_server;
        m_webuser = c.value->web_user;
        m_password->load(*c.value, m_db.path());
        m_webadminpath = c.value->web_adminpath;
        m_rules = c.value->rules;
        m_shared.shopAddress = c.value->guest_shop;
        m_shared.shopsid = c.value->shopsid;
    }
    return c;
}

FieldCheck Session::refuse(const FieldCheck &c, bool toStatus, const DbStatus &why)
{
    if (toStatus)
        emit status(c.message, why.reason(), why.error);
    m_logged.showmsg(c.message);
    return c;
}

FieldCheck Session::saveSiteSettings(const QString &user, const QString &pass, QString &server,
                                     const QString &adminpath)
{
    const FieldCheck c = checkSiteSettings(user, pass, server);
    if (!c.ok())
        return refuse(c, false);
    if (const DbStatus saved = m_db.saveSiteSettings(user, pass, server, adminpath); !saved)
        return refuse({saved.writeFailure(QStringLiteral("网站信息")), {}}, true, saved);
    m_webserver = server;
    m_webuser = user;
    m_password->store(user, pass, m_db.path());
    m_webadminpath = adminpath;
    const QString done = QStringLiteral("网站信息保存完毕");
    m_logged.showmsg(done);
    emit status(done);
    return {};
}

// A value that goes into requests: checked, then kept; a refused one is said and not kept, and
// a write that fails is said too.
FieldCheck Session::keep(const FieldCheck &check, const std::function<DbStatus()> &write, const QString &what)
{
    if (!check.ok()) {
        emit status(check.message);
        return check;
    }
    if (const DbStatus saved = write(); !saved) {
        const FieldCheck failed{saved.writeFailure(what), {}};
        emit status(failed.message, saved.reason(), saved.error);
        return failed;
    }
    return {};
}

FieldCheck Session::savePublisherId(const QString &pid)
{
    return keep(checkPublisherId(pid), [&] { return m_db.savePublisherId(pid); }, QStringLiteral("淘客PID"));
}

FieldCheck Session::saveShopAddress(const QString &shop)
{
    const FieldCheck c = checkShopAddress(shop);
    if (c.ok())
        setShopAddress(shop);
    return keep(c, [&] { return m_db.saveShopAddress(shop); }, QStringLiteral("店铺地址"));
}

FieldCheck Session::saveShopSid(const QString &sid)
{
    const FieldCheck c = checkShopSid(sid);
    if (c.ok())
        setShopSid(sid);
    return keep(c, [&] { return m_db.saveShopSid(sid); }, QStringLiteral("店铺ID"));
}

FieldCheck Session::saveRules(const RuleSet &rules)
{
    const FieldCheck c = checkrules(rules);
    if (!c.ok()) {
        m_logged.showmsg(c.message);
        return c;
    }
    if (const DbStatus saved = m_db.saveRules(rules); !saved) {
        const QString failed = saved.writeFailure(QStringLiteral("替换规则"));
        m_logged.showmsg(failed);
        emit status(failed, saved.reason(), saved.error);
        return {failed, {}};
    }
    m_rules = rules;
    const QString done = QStringLiteral("替换规则保存完毕！");
    m_logged.showmsg(done);
    emit status(done);
    return {};
}

Session::EditorRow Session::loadEditorRow(qint64 id)
{
    m_editorRow = id;
    m_editorItem.clear();
    EditorRow row;
    const auto read = m_db.itemById(id);
    if (!read) {
        emit status(read.readFailure(), read.reason(), read.error);
        return row;
    }
    const std::optional<ItemRecord> &rec = read.value;
    if (!rec)
        return row;
    row.found = true;
    row.item = m_editorItem = rec->item;
    if (rec->state != itemstate::NotCollected) {
        row.editable = true;
        row.webTitle = rec->web_title;
        row.webKey = rec->web_key;
        row.webDoc = rec->web_doc;
        emit status(QString());
    } else if (rec->itemstate == 0) {
        emit status(QStringLiteral("未采集宝贝暂不能进行编辑"));
    } else {
        emit status(QStringLiteral("宝贝状态不正确"));
    }
    return row;
}

FieldCheck Session::saveEdit(const QString &webTitle, const QString &webKey, const QString &webDoc)
{
    const FieldCheck c = checkEdit(QString::number(m_editorRow), webTitle, webDoc, webKey);
    if (!c.ok())
        return refuse(c, true);
    const qint64 id = m_editorRow;
    const auto read = m_db.itemById(id);
    if (!read)
        return refuse({read.readFailure(), {}}, true, read);
    const std::optional<ItemRecord> &rec = read.value;
    if (!rec)
        return refuse({QStringLiteral("参数丢失，保存失败"), {}}, true);
    // Marking an uncollected row edited would send it to the upload without its page ever
    // having been read; the row has to be collected first.
    if (rec->state == itemstate::NotCollected)
        return refuse({rec->itemstate == 0 ? QStringLiteral("未采集宝贝暂不能进行编辑")
                                           : QStringLiteral("宝贝状态不正确"), {}}, true);
    // The row was there a moment ago: a failed write is the database's fault, not a lost row.
    const DbResult<ProfileDb::Write> saved = m_db.saveEdit(id, webTitle, webKey, webDoc);
    if (!saved)
        return refuse({saved.writeFailure({}), {}}, true, saved);
    if (saved.value == ProfileDb::Write::NoRow)
        return refuse({QStringLiteral("参数丢失，保存失败"), {}}, true);
    emit rowLabelById(id, QStringLiteral("已修改"));
    const QString done = QStringLiteral("保存成功，请重新上传该数据！");
    emit status(done);
    m_logged.showmsg(done);
    return {};
}

int Session::deleteItems(const QList<qint64> &ids)
{
    // One transaction: a thousand rows are one write to the disk, and a failure deletes none.
    QStringList gone;
    DbStatus s = m_db.begin();
    for (qint64 id : ids) {
        if (!s)
            break;
        const auto rec = m_db.itemById(id);
        s = rec;
        if (s && rec.value) {
            s = m_db.deleteById(id);
            if (s)
                gone << rec.value->item;
        }
    }
    if (s)
        s = m_db.commit();
    if (!s) {
        m_db.rollback();
        emit status(QStringLiteral("删除失败：") + s.reason(), s.reason(), s.error);
        return 0;
    }
    // A few hundred IDs a line: a log line is cut at its length limit, and every ID is kept.
    constexpr int kPerLine = 200;
    for (qsizetype from = 0; from < gone.size(); from += kPerLine)
        m_log.write(QStringLiteral("删除"), QStringLiteral("%1个宝贝：").arg(gone.size())
                                              + gone.mid(from, kPerLine).join(QStringLiteral("，")));
    return int(gone.size());
}

void Session::recollect(const QString &item)
{
    if (m_editorRow == 0 || item.isEmpty())
        return;
    if (!m_logged.ask(QStringLiteral("是否确定重新采集ID为%1的宝贝数据？").arg(item), QStringLiteral("注意")))
        return;
    // Reading and storing an item is a step's work: not while another process runs one.
    QString why;
    const RunLock::Hold hold = m_runLock.take(&why);
    if (!hold) {
        emit status(why);
        return;
    }
    m_collector->getitem(item, QString(), this, [this, hold](const ItemCollector::Result &r) {
        if (r.kind == ItemCollector::Result::Stored)
            emit status(QStringLiteral("重新采集完毕"));
    });
}
