#include "session/session.h"
#include "store/itemstate.h"
#include "web/notifier.h"

#include <QDir>

Session::Session(QObject *parent) : QObject(parent) {}

QString Session::welcomeText()
{
    return QStringLiteral("欢迎使用Tarnwick软件，软件已准备就绪");
}

QString Session::opendb(const QString &path)
{
    if (m_db.open(path) == ProfileDb::OpenResult::Failed)
        return QStringLiteral("数据库 %1 无法使用：%2").arg(QDir::toNativeSeparators(path), m_db.lastError());
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
    }
    return c;
}

FieldCheck Session::refuse(const FieldCheck &c, bool toStatus)
{
    if (toStatus)
        emit status(c.message);
    showmsg(c.message);
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
    showmsg(done);
    emit status(done);
    return {};
}

void Session::savePublisherId(const QString &pid)
{
    m_db.savePublisherId(pid);
}

RuleCheck Session::saveRules(const RuleSet &rules)
{
    const RuleCheck c = checkrules(rules);
    if (!c.ok()) {
        showmsg(c.message);
        return c;
    }
    if (!m_db.saveRules(rules)) {
        const QString failed = QStringLiteral("替换规则保存失败：数据库无法写入");
        showmsg(failed);
        emit status(failed);
        return {failed, {}};
    }
    const QString done = QStringLiteral("替换规则保存完毕！");
    showmsg(done);
    emit status(done);
    return {};
}

Session::EditorRow Session::loadEditorRow(qint64 id)
{
    EditorRow row;
    const auto rec = m_db.itemById(id);
    if (!rec)
        return row;
    row.found = true;
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

FieldCheck Session::saveEdit(const QString &tag, const QString &webTitle, const QString &webKey,
                             const QString &webDoc)
{
    const FieldCheck c = checkEdit(tag, webTitle, webDoc, webKey);
    if (!c.ok())
        return refuse(c, true);
    bool numeric = false;
    const qint64 id = tag.toLongLong(&numeric);
    const auto rec = numeric ? m_db.itemById(id) : std::nullopt;
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
    showmsg(done);
    return {};
}

void Session::deleteItem(qint64 id)
{
    m_db.deleteById(id);
}
