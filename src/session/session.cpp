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
#include "web/notifier.h"

#include <QDir>

Session::Session(Notifier &notifier, QObject *parent) : Session(notifier, WebService::instance(), parent) {}

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
    const Services s{m_db, m_logged, m_web, m_shared, m_rules};
    m_channel1 = new ConvertChannel(1, this);
    m_channel2 = new ConvertChannel(2, this);
    m_cleaner = new CacheCleaner(m_web, this);
    m_collector = new ItemCollector(s, this);
    m_listStep = new ListStep(s, this);
    m_detailStep = new DetailStep(s, *m_channel1, *m_collector, *m_cleaner, this);
    m_manualAdd = new ManualAdd(s, *m_channel2, this);
    m_login = new SiteLogin(m_web, this);
    m_uploadStep = new UploadStep(s, {m_webserver, m_webuser, m_webpass}, *m_channel1, *m_login, this);

    for (ConvertChannel *c : {m_channel1, m_channel2})
        connect(c, &ConvertChannel::status, this, &Session::status);
    bind(m_collector, {});
    bind(m_listStep, QStringLiteral("Command1"));
    bind(m_detailStep, QStringLiteral("command2"));
    bind(m_manualAdd, QStringLiteral("XPButton210"));
    bind(m_login, {});
    bind(m_uploadStep, QStringLiteral("command3"));
    connect(m_listStep, &ListStep::modeWanted, this, &Session::modeWanted);
    connect(m_listStep, &ListStep::settingsWanted, this, &Session::settingsWanted);
    connect(m_manualAdd, &ManualAdd::added, this, &Session::manualAdded);

    // The run log: every status text and every refusal, beside the profile.
    connect(this, &Session::status, this, [this](const QString &t) {
        if (!t.isEmpty())
            m_log.write(QStringLiteral("状态"), t);
    });
    connect(m_uploadStep, &UploadStep::refused, this, [this](const QString &item, const QString &reply) {
        m_log.write(QStringLiteral("上传失败"), item + QStringLiteral(" ") + reply);
    });
    connect(&m_log, &RunLog::unwritable, this, &Session::status);

    // Progress, from the steps' own signals.
    connect(m_listStep, &ListStep::started, this, [this] { m_progress.begin(Progress::List, 0); });
    connect(m_listStep, &ListStep::pageRead, this,
            [this](int page, int count) { m_progress.update(Progress::List, page, count); });
    connect(m_listStep, &ListStep::ended, this, [this] { m_progress.end(Progress::List); });
    connect(m_detailStep, &DetailStep::started, this, [this](int waiting) { m_progress.begin(Progress::Detail, waiting); });
    connect(m_detailStep, &DetailStep::itemDone, this, [this] { m_progress.advance(Progress::Detail); });
    connect(m_detailStep, &DetailStep::ended, this, [this] { m_progress.end(Progress::Detail); });
    connect(m_uploadStep, &UploadStep::started, this, [this](int waiting) { m_progress.begin(Progress::Upload, waiting); });
    connect(m_uploadStep, &UploadStep::unitDone, this, [this] { m_progress.advance(Progress::Upload); });
    connect(m_uploadStep, &UploadStep::ended, this, [this] { m_progress.end(Progress::Upload); });
}

Session::~Session()
{
    // The steps and channels hold references to this object's members and report through its
    // signals; they go while those are still whole (children would only go after them).
    for (QObject *o : std::initializer_list<QObject *>{m_uploadStep, m_login, m_manualAdd, m_detailStep, m_listStep,
                                                       m_collector, m_cleaner, m_channel2, m_channel1})
        delete o;
}

void Session::bind(Step *step, const QString &control)
{
    connect(step, &Step::status, this, &Session::status);
    connect(step, &Step::rowLabel, this, &Session::rowLabel);
    connect(step, &Step::workTexts, this, &Session::workTexts);
    connect(step, &Step::refillList, this, &Session::refillList);
    if (!control.isEmpty())
        connect(step, &Step::captionChanged, this, [this, control](const QString &text) { emit caption(control, text); });
}

QString Session::welcomeText()
{
    return QStringLiteral("欢迎使用Tarnwick软件，软件已准备就绪");
}

QString Session::opendb(const QString &path)
{
    if (m_db.open(path) == ProfileDb::OpenResult::Failed) {
        m_log.setPath({});
        return QStringLiteral("数据库 %1 无法使用：%2").arg(QDir::toNativeSeparators(path), m_db.lastError());
    }
    m_log.setPath(RunLog::pathFor(path));
    return welcomeText();
}

std::optional<SoftConfig> Session::getsoftinfo()
{
    auto c = m_db.loadSettings();
    if (c) {
        m_webserver = c->web_server;
        m_webuser = c->web_user;
        m_webpass = c->web_pass;
        m_webadminpath = c->web_adminpath;
        m_rules = c->rules;
        m_shared.shopAddress = c->guest_shop;
        m_shared.shopsid = c->shopsid;
    }
    return c;
}

FieldCheck Session::refuse(const FieldCheck &c, bool toStatus)
{
    if (toStatus)
        emit status(c.message);
    m_logged.showmsg(c.message);
    return c;
}

FieldCheck Session::saveSiteSettings(const QString &user, const QString &pass, QString &server,
                                     const QString &adminpath)
{
    const FieldCheck c = checkSiteSettings(user, pass, server);
    if (!c.ok())
        return refuse(c, false);
    if (!m_db.saveSiteSettings(user, pass, server, adminpath))
        return refuse({QStringLiteral("网站信息保存失败：数据库无法写入"), {}}, true);
    m_webserver = server;
    m_webuser = user;
    m_webpass = pass;
    m_webadminpath = adminpath;
    const QString done = QStringLiteral("网站信息保存完毕");
    m_logged.showmsg(done);
    emit status(done);
    return {};
}

void Session::savePublisherId(const QString &pid)
{
    m_db.savePublisherId(pid);
}

void Session::saveShopAddress(const QString &shop)
{
    setShopAddress(shop);
    m_db.saveShopAddress(shop);
}

void Session::saveShopSid(const QString &sid)
{
    setShopSid(sid);
    m_db.saveShopSid(sid);
}

RuleCheck Session::saveRules(const RuleSet &rules)
{
    const RuleCheck c = checkrules(rules);
    if (!c.ok()) {
        m_logged.showmsg(c.message);
        return c;
    }
    if (!m_db.saveRules(rules)) {
        const QString failed = QStringLiteral("替换规则保存失败：数据库无法写入");
        m_logged.showmsg(failed);
        emit status(failed);
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
    const auto rec = m_db.itemById(id);
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
    const auto rec = m_db.itemById(id);
    if (!rec)
        return refuse({QStringLiteral("参数丢失，保存失败"), {}}, true);
    // Marking an uncollected row edited would send it to the upload without its page ever
    // having been read; the row has to be collected first.
    if (rec->state == itemstate::NotCollected)
        return refuse({rec->itemstate == 0 ? QStringLiteral("未采集宝贝暂不能进行编辑")
                                           : QStringLiteral("宝贝状态不正确"), {}}, true);
    // The row was there a moment ago: a failed write is the database's fault, not a lost row.
    if (!m_db.saveEdit(id, webTitle, webKey, webDoc))
        return refuse({QStringLiteral("保存失败：数据库无法写入"), {}}, true);
    emit rowLabelById(id, QStringLiteral("已修改"));
    const QString done = QStringLiteral("保存成功，请重新上传该数据！");
    emit status(done);
    m_logged.showmsg(done);
    return {};
}

int Session::deleteItems(const QList<qint64> &ids)
{
    QStringList gone;
    int failed = 0;
    for (qint64 id : ids) {
        const auto rec = m_db.itemById(id);
        if (!rec)
            continue;
        if (m_db.deleteById(id))
            gone << rec->item;
        else
            ++failed;
    }
    // A few hundred IDs a line: a log line is cut at its length limit, and every ID is kept.
    constexpr int kPerLine = 200;
    for (qsizetype from = 0; from < gone.size(); from += kPerLine)
        m_log.write(QStringLiteral("删除"), QStringLiteral("%1个宝贝：").arg(gone.size())
                                              + gone.mid(from, kPerLine).join(QStringLiteral("，")));
    if (failed)
        emit status(QStringLiteral("有%1个宝贝删除失败：数据库无法写入").arg(failed));
    return int(gone.size());
}

void Session::recollect(const QString &item)
{
    if (m_editorRow == 0 || item.isEmpty())
        return;
    if (!m_logged.ask(QStringLiteral("是否确定重新采集ID为%1的宝贝数据？").arg(item), QStringLiteral("注意")))
        return;
    m_collector->getitem(item, QString(), this, [this](ItemCollector::Result r) {
        if (r == ItemCollector::Result::Stored)
            emit status(QStringLiteral("重新采集完毕"));
    });
}
