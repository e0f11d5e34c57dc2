#include "sim/simulator.h"
#include "sim/support.h"
#include "outside/outside.h"
#include "web/md5.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

// The operator's mirror site: its administration (login, uploads), its pages of published
// items, and its picture and redirect helpers. It is a GBK site: the values of its forms and
// queries come percent-encoded in GBK.

using namespace sim;

namespace {

const QByteArray kSessionCookie = "ASPSESSIONIDVELORIX";

bool hasControls(const QByteArray &bytes)
{
    for (char c : bytes)
        if (uchar(c) < 0x20 || uchar(c) == 0x7f)
            return true;
    return false;
}

} // namespace

Simulator::Reply Simulator::mirrorSite(const SimRequest &r)
{
    QByteArray path = r.path();
    Reply reply;
    // A site in a folder has nothing outside it.
    const QByteArray folder = m_options.sitePath.toUtf8();
    if (!folder.isEmpty()) {
        if (!path.startsWith(folder + "/")) {
            reply.status = "404 Not Found";
            reply.body = gb(QStringLiteral("<html><body>找不到该页面</body></html>"));
            return reply;
        }
        path = path.mid(folder.size());
    }
    if (path == outside::loginPath.toLatin1()) {
        Session &s = sessionFor(r, reply);
        Reply login = siteLogin(r, s);
        login.headers += reply.headers;
        return login;
    }
    if (path == outside::uploadPath.toLatin1()) {
        Session &s = sessionFor(r, reply);
        Reply upload = siteUpload(r, s);
        upload.headers += reply.headers;
        return upload;
    }
    if (path == "/img.asp") {
        QString address = decodeValue(r.query("img"), Charset::Gbk, false);
        address.replace(outside::imageDomainMask, outside::imageDomainSuffix);
        if (!address.startsWith(QLatin1String("http://")))
            address.prepend(QStringLiteral("http://"));
        return picture(address);
    }
    if (path == "/go.asp") {
        const QByteArray target = QByteArray::fromPercentEncoding(r.query("url"));
        // A line break in the address would end the Location header and start others.
        if (hasControls(target)) {
            reply.status = "400 Bad Request";
            reply.body = gb(QStringLiteral("<html><body>转向地址无效</body></html>"));
            return reply;
        }
        reply.status = "302 Found";
        reply.headers.append({"Location", target});
        reply.body = gb(QStringLiteral("页面已转移"));
        return reply;
    }
    if (path == "/item.asp")
        return siteItem(r);
    if (path == "/" || path == "/index.asp")
        return siteIndex();
    reply.status = "404 Not Found";
    reply.body = gb(QStringLiteral("<html><body>找不到该页面</body></html>"));
    return reply;
}


Simulator::Session &Simulator::sessionFor(const SimRequest &r, Reply &reply)
{
    QString id;
    for (const QByteArray &part : r.header("Cookie").split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(kSessionCookie + "="))
            id = QString::fromLatin1(p.mid(kSessionCookie.size() + 1));
    }
    if (id.isEmpty() || !m_sessions.contains(id)) {
        id = QStringLiteral("S%1X%2").arg(++m_sessionCounter).arg(hashOf(QString::number(m_options.seed)), 0, 16);
        m_sessions.insert(id, Session{});
        reply.headers.append({"Set-Cookie", kSessionCookie + "=" + id.toLatin1() + "; path=/"});
    }
    return m_sessions[id];
}

Simulator::Reply Simulator::siteLogin(const SimRequest &r, Session &s)
{
    Reply reply;
    if (!r.query("t").isNull()) {
        s.noid = QString::number(hashOf(QStringLiteral("%1/%2").arg(m_options.seed).arg(++m_sessionCounter)), 16)
                     .rightJustified(8, QLatin1Char('0'));
        s.loggedIn = false;
        reply.body = gb(outside::challengeMarker + s.noid);
        return reply;
    }
    // The client puts the account name into the address as it is, so it reaches the wire
    // percent-encoded in UTF-8; the rest it percent-encodes in GBK.
    const QString user = decodeValue(r.query("username"), Charset::Gbk, false);
    const QString password = decodeValue(r.query("password"), Charset::Gbk, false);
    const QString sign = decodeValue(r.query("sha1"), Charset::Gbk, false);
    const QString digest = splitmd5(m_options.sitePass);
    if (s.noid.isNull()) {
        reply.body = gb(QStringLiteral("ERR:请先获取登录验证码"));
    } else if (user == m_options.siteUser && password == digest
               && sign == splitmd5(user + "_" + s.noid + "_" + digest)) {
        s.loggedIn = true;
        s.uploads = 0;
        m_lastOpenUrl = decodeValue(r.query("openurl"), Charset::Gbk, true);
        reply.body = gb(outside::loginOk);
    } else {
        reply.body = gb(QStringLiteral("ERR:用户名或密码错误"));
    }
    return reply;
}

void Simulator::openSiteStore()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_siteConnection);
    db.setDatabaseName(m_options.siteDb.isEmpty() ? QStringLiteral(":memory:") : m_options.siteDb);
    db.open();
    QSqlQuery(db).exec(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS published (itemid TEXT PRIMARY KEY, title TEXT, web_content1 TEXT, "
        "web_content2 TEXT, money TEXT, web_title TEXT, web_key TEXT, web_doc TEXT, web_pic TEXT, "
        "click_url TEXT, taokei TEXT, updated TEXT)"));
}

Simulator::Reply Simulator::siteUpload(const SimRequest &r, Session &s)
{
    Reply reply;
    if (!s.loggedIn) {
        reply.body = gb(QStringLiteral("您还没有登录或登录已超时，") + outside::relogMarker + QStringLiteral("！"));
        return reply;
    }
    const QMap<QString, QString> f = parseForm(r.body, Charset::Gbk);
    const QString id = f.value("itemid");
    if (id.isEmpty()) {
        reply.body = gb(QStringLiteral("提交的宝贝数据不完整"));
        return reply;
    }
    if (m_options.refuseItems.contains(id)) {
        reply.body = gb(QStringLiteral("该宝贝不允许发布：") + id);
        return reply;
    }
    QSqlQuery q(QSqlDatabase::database(m_siteConnection));
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO published VALUES (?,?,?,?,?,?,?,?,?,?,?,?)"));
    for (const char *k : {"itemid", "title", "web_content1", "web_content2", "money", "web_title", "web_key",
                          "web_doc", "web_pic", "click_url"})
        q.addBindValue(f.value(QString::fromLatin1(k)));
    q.addBindValue(f.contains("taokei") ? f.value("taokei") : QVariant());
    q.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    if (!q.exec()) {
        reply.body = gb(QStringLiteral("数据库错误，保存失败"));
        return reply;
    }
    if (m_options.sessionLossAfter > 0 && ++s.uploads % m_options.sessionLossAfter == 0)
        s.loggedIn = false;
    ++m_accepted[id];
    reply.body = gb(outside::uploadOk);
    return reply;
}

void Simulator::clearSite()
{
    m_accepted.clear();
    QSqlQuery(QSqlDatabase::database(m_siteConnection)).exec(QStringLiteral("DELETE FROM published"));
}

QMap<QString, QMap<QString, QString>> Simulator::published() const
{
    QMap<QString, QMap<QString, QString>> out;
    QSqlQuery q(QSqlDatabase::database(m_siteConnection));
    q.exec(QStringLiteral("SELECT * FROM published"));
    while (q.next()) {
        QMap<QString, QString> fields;
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i)
            if (!q.value(i).isNull())
                fields.insert(rec.fieldName(i), q.value(i).toString());
        out.insert(q.value(0).toString(), fields);
    }
    return out;
}

Simulator::Reply Simulator::siteIndex()
{
    Reply reply;
    const auto items = published();
    QString s = QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                               "<title>镜像站</title></head><body><h1>镜像站 · 已发布 %1 件宝贝</h1>"
                               "<p><a href=\"%2\">浏览模拟店铺</a></p><table border=\"1\" cellpadding=\"4\">"
                               "<tr><th>图片</th><th>标题</th><th>价格</th><th>购买</th></tr>")
                    .arg(items.size())
                    .arg(QStringLiteral("/_host/") + m_options.shopHost + outside::shopListQuery + QStringLiteral("1"));
    for (const auto &f : items) {
        QString pic = f.value("web_pic");
        pic.replace(QStringLiteral("http://"), QString()).replace(outside::imageDomainSuffix, outside::imageDomainMask);
        s += QStringLiteral("<tr><td><img width=\"80\" src=\"%6/img.asp?img=%1\"></td><td><a href=\"%6/item.asp?id=%2\">%3</a>"
                            "</td><td>%4</td><td><a href=\"%5\">去购买</a></td></tr>")
                 .arg(html(pic), html(f.value("itemid")), html(f.value("title")), html(f.value("money")),
                      html(f.value("click_url")), html(m_options.sitePath));
    }
    s += QStringLiteral("</table></body></html>");
    reply.body = gb(s);
    return reply;
}

Simulator::Reply Simulator::siteItem(const SimRequest &r)
{
    Reply reply;
    const auto items = published();
    const auto f = items.value(decodeValue(r.query("id"), Charset::Gbk, false));
    if (f.isEmpty()) {
        reply.status = "404 Not Found";
        reply.body = gb(QStringLiteral("<html><body>没有这件宝贝</body></html>"));
        return reply;
    }
    reply.body = gb(QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                                   "<title>%1</title><meta name=\"keywords\" content=\"%2\"><meta name=\"description\" "
                                   "content=\"%3\"></head><body><h1>%4</h1><p>价格：%5 <a href=\"%6\">去购买</a></p>"
                                   "<ul>%7</ul><div>%8</div></body></html>")
                        .arg(html(f.value("web_title")), html(f.value("web_key")), html(f.value("web_doc")),
                             html(f.value("title")), html(f.value("money")), html(f.value("click_url")),
                             f.value("web_content1"), f.value("web_content2")));
    return reply;
}
