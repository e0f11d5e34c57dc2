#include "sim/simulator.h"
#include "outside/outside.h"
#include "web/inflate.h"
#include "web/md5.h"
#include "web/text.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QPointer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <random>

namespace {

const QByteArray kSessionCookie = "ASPSESSIONIDVELORIX";

QByteArray gb(const QString &text)
{
    return gbkBytes(text);
}

// Percent-decoded form or query value: UTF-8 when it is valid UTF-8, else GBK.
QString decodeValue(QByteArray value, bool plusIsSpace)
{
    if (plusIsSpace)
        value.replace('+', ' ');
    const QByteArray bytes = QByteArray::fromPercentEncoding(value);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GBK");
    return gbk.decode(bytes);
}

QMap<QString, QString> parseForm(const QByteArray &form)
{
    QMap<QString, QString> fields;
    for (const QByteArray &pair : form.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        fields.insert(QString::fromLatin1(key), eq < 0 ? QString() : decodeValue(pair.mid(eq + 1), true));
    }
    return fields;
}

QString html(QString text)
{
    return text.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
}

quint32 hashOf(const QString &text)
{
    const QByteArray h = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    return quint32(uchar(h[0])) | quint32(uchar(h[1])) << 8 | quint32(uchar(h[2])) << 16 | quint32(uchar(h[3])) << 24;
}

const char *const kBrands[] = {"韩都", "森马", "梦露", "雅鹿", "红豆", "以纯", "南极人", "恒源祥"};
const char *const kStyles[] = {"2026新款", "韩版", "修身", "宽松", "复古", "清新", "加厚", "纯棉"};
const char *const kKinds[] = {"连衣裙", "衬衫", "T恤", "毛衣", "外套", "牛仔裤", "卫衣", "半身裙"};

} // namespace

QByteArray SimRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

QByteArray SimRequest::path() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QByteArray SimRequest::query(const QByteArray &key) const
{
    const qsizetype q = target.indexOf('?');
    if (q < 0)
        return {};
    for (const QByteArray &pair : target.mid(q + 1).split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if ((eq < 0 ? pair : pair.left(eq)) == key)
            return eq < 0 ? QByteArray("") : pair.mid(eq + 1);
    }
    return {};
}

Simulator::Simulator(SimOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_server(new QTcpServer(this))
{
    static int instances = 0;
    m_siteConnection = QStringLiteral("velorix-sim-%1").arg(instances++);
    buildCatalogue();
    openSiteStore();
    connect(m_server, &QTcpServer::newConnection, this, &Simulator::onConnection);
}

Simulator::~Simulator()
{
    QSqlDatabase::database(m_siteConnection, false).close();
    QSqlDatabase::removeDatabase(m_siteConnection);
}

bool Simulator::listen(quint16 port, const QHostAddress &address)
{
    return m_server->listen(address, port);
}

quint16 Simulator::port() const
{
    return m_server->serverPort();
}

QString Simulator::errorString() const
{
    return m_server->errorString();
}

void Simulator::buildCatalogue()
{
    std::mt19937 rng(m_options.seed);
    m_items.clear();
    for (int i = 0; i < m_options.items; ++i) {
        SimItem it;
        it.id = QString::number(520000000000LL + qint64(m_options.seed % 1000) * 100000 + i * 37 + 11);
        it.title = QString::fromUtf8(kBrands[rng() % 8]) + QString::fromUtf8(kStyles[rng() % 8])
                   + QString::fromUtf8(kKinds[rng() % 8]) + QStringLiteral(" 第%1款").arg(i + 1);
        it.price = QStringLiteral("%1.%2").arg(19 + rng() % 480).arg(rng() % 2 ? "00" : "90");
        it.picture = QStringLiteral("http://img0%1.taobaocdn.com/bao/uploaded/i%1/%2/T1pic.jpg")
                         .arg(1 + i % 4).arg(it.id);
        it.gone = int((hashOf(it.id) + m_options.seed) % 100) < m_options.goneShare;
        it.mall = i % 5 == 2;
        m_items << it;
    }
}

const SimItem *Simulator::item(const QString &id) const
{
    for (const SimItem &it : m_items)
        if (it.id == id)
            return &it;
    return nullptr;
}

int Simulator::pageCount() const
{
    return qMax(1, (int(m_items.size()) + 19) / 20);
}

QList<SimRequest> Simulator::toolRequests() const
{
    QList<SimRequest> out;
    for (const SimRequest &r : m_requests)
        if (r.host == outside::apiToolHost.toLatin1())
            out << r;
    return out;
}

// ---------------------------------------------------------------- HTTP on the wire

void Simulator::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void Simulator::onReadable(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        SimRequest r;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.target = first.value(1);
        qint64 length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            r.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            if (line.left(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = line.mid(colon + 1).trimmed().toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        r.raw = buffer.left(end + 4 + length);
        r.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);

        r.host = r.header("Host");
        // A browser using the simulator as its proxy names the whole address.
        if (r.target.startsWith("http://")) {
            const QUrl url(QString::fromLatin1(r.target));
            r.host = url.host().toLatin1();
            r.target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
            if (r.target.isEmpty())
                r.target = "/";
        }
        if (const qsizetype colon = r.host.indexOf(':'); colon >= 0)
            r.host = r.host.left(colon);
        r.host = r.host.toLower();
        handle(socket, std::move(r));
    }
}

void Simulator::handle(QTcpSocket *socket, SimRequest request)
{
    // "/_host/HOST/..." lets a plain browser look at any host of the simulated world.
    bool viaPrefix = false;
    if (request.target.startsWith("/_host/")) {
        const qsizetype slash = request.target.indexOf('/', 7);
        request.host = request.target.mid(7, slash < 0 ? -1 : slash - 7).toLower();
        request.target = slash < 0 ? QByteArray("/") : request.target.mid(slash);
        viaPrefix = true;
    }
    m_requests.append(request);
    Reply reply = route(request);
    if (viaPrefix && reply.contentType.startsWith("text/html")) {
        static const QRegularExpression absolute(QStringLiteral("http://([a-z0-9.-]+\\.(taobao|taobaocdn|tmall)\\.com)/"));
        QString text = bytestostr(reply.body, QStringLiteral("GBK"));
        // Links within the host first, then links to the other simulated hosts.
        const QString own = QStringLiteral("/_host/") + QString::fromLatin1(request.host) + QLatin1Char('/');
        text.replace(QStringLiteral("href=\"/"), QStringLiteral("href=\"") + own);
        text.replace(QStringLiteral("src=\"/"), QStringLiteral("src=\"") + own);
        reply.body = gb(text.replace(absolute, QStringLiteral("/_host/\\1/")));
    }
    if (reply.hang)
        return;   // the connection stays open and silent until the client gives up
    if (m_options.slowMs > 0) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(m_options.slowMs, this, [this, guard, request, reply] {
            if (guard)
                send(guard, request, reply);
        });
        return;
    }
    send(socket, request, reply);
}

void Simulator::send(QTcpSocket *socket, const SimRequest &request, Reply reply)
{
    const bool http10 = reply.http10Close || request.raw.left(request.raw.indexOf('\n')).contains("HTTP/1.0");
    const QByteArray connection = request.header("Connection").toLower();
    const bool close = reply.http10Close || connection == "close" || (http10 && connection != "keep-alive");
    if (!m_options.compress.isEmpty() && !reply.http10Close
        && request.header("Accept-Encoding").contains(m_options.compress.toLatin1())) {
        reply.body = deflateBody(reply.body, m_options.compress == QLatin1String("gzip"));
        reply.headers.append({"Content-Encoding", m_options.compress.toLatin1()});
    }
    QByteArray out = (http10 ? "HTTP/1.0 " : "HTTP/1.1 ") + reply.status + "\r\n";
    out += "Server: velorix-sim\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto &h : reply.headers)
        out += h.first + ": " + h.second + "\r\n";
    if (!reply.http10Close)
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += close ? "Connection: close\r\n" : "Connection: Keep-Alive\r\n";
    out += "\r\n" + reply.body;
    socket->write(out);
    if (close)
        socket->disconnectFromHost();
}

Simulator::Reply Simulator::route(const SimRequest &r)
{
    const QString host = QString::fromLatin1(r.host);
    if (host == outside::apiToolHost)
        return apiTool(r);
    if (host == outside::itemHost)
        return itemPage(r);
    if (host == outside::descHost)
        return descDocument(r);
    if (host.endsWith(outside::imageDomainSuffix))
        return picture(QStringLiteral("http://") + host + QString::fromLatin1(r.target));
    if (host.endsWith(QStringLiteral(".taobao.com")) || host.endsWith(outside::mallDomain))
        return shopList(r);

    // Anything else is the operator's mirror site.
    const QByteArray path = r.path();
    Reply reply;
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
        QString address = decodeValue(r.query("img"), false);
        address.replace(outside::imageDomainMask, outside::imageDomainSuffix);
        if (!address.startsWith(QLatin1String("http://")))
            address.prepend(QStringLiteral("http://"));
        return picture(address);
    }
    if (path == "/go.asp") {
        reply.status = "302 Found";
        reply.headers.append({"Location", QByteArray::fromPercentEncoding(r.query("url"))});
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

// ---------------------------------------------------------------- marketplace

Simulator::Reply Simulator::shopList(const SimRequest &r)
{
    Reply reply;
    ++m_listCount;
    if (m_options.listFailEvery > 0 && m_listCount % m_options.listFailEvery == 0) {
        reply.status = "503 Service Unavailable";
        reply.body = gb(QStringLiteral("<html><body>系统繁忙，请稍后再试</body></html>"));
        return reply;
    }
    const int pages = pageCount();
    const int page = qBound(1, r.query("pageNum").toInt(), pages);
    const int blocks = page == m_options.page25 ? 25 : 20;
    const QString list = outside::shopListQuery;

    QString s = QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                               "<title>模拟店铺 - 淘宝网</title></head><body>\r\n"
                               "<div class=\"pagination\"><span class=\"page-info\">%1/%2</span>")
                    .arg(page).arg(pages);
    if (page > 1)
        s += QStringLiteral(" <a href=\"%1%2\">上一页</a>").arg(list).arg(page - 1);
    if (page < pages)
        s += QStringLiteral(" <a href=\"%1%2\">下一页</a>").arg(list).arg(page + 1);
    s += QStringLiteral("</div>\r\n<div class=\"shop-hesper-bd grid\">\r\n");
    for (int i = 0; i < blocks; ++i) {
        const int index = (page - 1) * 20 + i;
        if (index >= m_items.size())
            break;
        const SimItem &it = m_items[index];
        // Some links carry no further parameter after the ID.
        const QString link = outside::itemPageAddress(it.id) + (index % 13 == 7 ? QString() : QStringLiteral("&ref=shop"));
        s += QStringLiteral("<div class=\"item\">\r\n"
                            "  <div class=\"pic\"><a href=\"%1\" target=\"_blank\"><img src=\"%2\" alt=\"\" /></a></div>\r\n"
                            "  <div class=\"desc\"><a target=\"_blank\" href=\"%1\" class=\"permalink\">\r\n\t\t%3 \r\n\t</a></div>\r\n"
                            "  <div class=\"price\"><strong>%4 元</strong></div>\r\n"
                            "</div>\r\n")
                 .arg(link, it.picture, html(it.title), it.price);
    }
    s += QStringLiteral("</div></body></html>");
    reply.body = gb(s);
    return reply;
}

Simulator::Reply Simulator::itemPage(const SimRequest &r)
{
    Reply reply;
    const QString id = QString::fromLatin1(r.query("id"));
    const SimItem *it = item(id);
    if (!it || it->gone) {
        const QString text = it && hashOf(id) % 2 ? outside::unavailableText1 : outside::unavailableText2;
        reply.body = gb(QStringLiteral("<html><head><title>淘宝网 - 淘！我喜欢</title></head><body><div class=\"error\">%1</div></body></html>")
                            .arg(text));
        return reply;
    }
    const QString suffix = it->mall ? outside::titleSuffixMall : outside::titleSuffixShop;
    QString s = QStringLiteral(
                    "<html><head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />\r\n"
                    "<title>%1 &ldquo;热卖&rdquo;%2</title>\r\n"
                    "<meta name=\"description\" content=\"%3%1，&ldquo;正品保证&rdquo;，全场包邮\" />\r\n"
                    "<meta name=\"keywords\" content=\"%4%1,&ldquo;新品&rdquo;,特价\" />\r\n"
                    "</head><body>\r\n<div class=\"tb-detail-hd\"><h3>\r\n\t\t%1\r\n\t</h3></div>\r\n"
                    "<ul class=\"tb-meta\"><li>价格：<strong id=\"J_StrPrice\" >%5</strong>元</li></ul>\r\n"
                    "<div class=\"tb-booth\"><img id=\"J_ImgBooth\" src=\"%6\" /></div>\r\n"
                    "<div class=\"attributes\"><ul class=\"attributes-list\">\r\n"
                    "<li title=\"%7\">品牌:&nbsp;%7</li>\r\n<li>货号:&nbsp;%8</li>\r\n<li>适用季节:&nbsp;春秋</li>\r\n</ul></div>\r\n"
                    "<script type=\"text/javascript\">var g_config = {\"itemId\":\"%8\",\"apiItemDesc\":'%9i1/%8/desc.js'};</script>\r\n"
                    "</body></html>")
                    .arg(html(it->title), suffix, outside::descriptionBoilerplate, outside::keywordsBoilerplate,
                         it->price, it->picture, it->title.left(2), it->id, outside::descriptionPrefix());
    reply.body = gb(s);
    return reply;
}

Simulator::Reply Simulator::descDocument(const SimRequest &r)
{
    Reply reply;
    reply.contentType = "application/x-javascript; charset=gb2312";
    const QList<QByteArray> parts = r.path().split('/');   // "", "i1", id, "desc.js"
    const SimItem *it = parts.size() == 4 ? item(QString::fromLatin1(parts[2])) : nullptr;
    if (!it) {
        reply.status = "404 Not Found";
        return reply;
    }
    const QString img = QStringLiteral("http://img0%1.taobaocdn.com/imgextra/i%1/%2/T1d%3.jpg");
    // The markup sits in a 10-character head and a 3-character tail, its quotes escaped.
    QString markup = QStringLiteral("<p><img src=\\\"%1\\\" /></p>\n<p>%2&nbsp;&nbsp;细节图</p>\n"
                                    "<p><img src=%3 /></p>\n<p>更多宝贝请看<a href=\\\"http://shop.taobaocdn.com/%4\\\">本店</a></p>")
                         .arg(img.arg(1).arg(it->id).arg(1), html(it->title), img.arg(2).arg(it->id).arg(2), it->id);
    reply.body = gb(QStringLiteral("var desc='") + markup + QStringLiteral("';\n"));
    return reply;
}

Simulator::Reply Simulator::picture(const QString &address)
{
    Reply reply;
    reply.contentType = "image/svg+xml";
    const quint32 h = hashOf(address);
    const QString name = address.section(QLatin1Char('/'), -2);
    reply.body = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"160\" height=\"160\">"
                                "<rect width=\"160\" height=\"160\" fill=\"#%1\"/>"
                                "<text x=\"80\" y=\"84\" font-size=\"11\" text-anchor=\"middle\" fill=\"#fff\">%2</text></svg>")
                     .arg(h & 0x7f7f7f, 6, 16, QLatin1Char('0'))
                     .arg(html(name))
                     .toUtf8();
    return reply;
}

QString Simulator::clickUrl(const QString &kind, const QString &id, const QString &pid) const
{
    const QString e = QString::number(hashOf(kind + id + pid + QString::number(m_options.seed)), 16);
    return QStringLiteral("http://s.click.taobao.com/t?e=%1%2&pid=%3&unid=%4").arg(kind, e, pid, id);
}

Simulator::Reply Simulator::apiTool(const SimRequest &r)
{
    Reply reply;
    reply.http10Close = true;
    reply.contentType = "text/html; charset=utf-8";
    ++m_toolCount;
    auto every = [this](int n) { return n > 0 && m_toolCount % n == 0; };
    if (every(m_options.convertHangEvery)) {
        reply.hang = true;
        return reply;
    }
    if (every(m_options.convertFailEvery)) {
        reply.status = "500 Internal Server Error";
        reply.body = "<html><body>Internal Server Error</body></html>";
        return reply;
    }
    const QByteArray form = r.method == "POST" ? r.body : r.target.mid(r.target.indexOf('?') + 1);
    const QMap<QString, QString> f = parseForm(form);
    const bool shop = f.value("method") == QLatin1String("taobao.taobaoke.shops.convert");
    const QString id = shop ? f.value("sids") : f.value("num_iids");
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    QString xml;
    const QString root = shop ? QStringLiteral("taobaoke_shops_convert_response")
                              : QStringLiteral("taobaoke_items_convert_response");
    if (every(m_options.convertNoLinkEvery) || !digits.match(id).hasMatch()) {
        xml = QStringLiteral("<%1><total_results>0</total_results></%1>").arg(root);
    } else {
        QString link = clickUrl(shop ? "s" : "i", id, f.value("pid"));
        link.replace('&', "&amp;");
        const QString el = shop ? QStringLiteral("taobaoke_shop") : QStringLiteral("taobaoke_item");
        xml = QStringLiteral("<%1><%2s list=\"true\"><%2><click_url>%3</click_url><%4>%5</%4></%2></%2s>"
                             "<total_results>1</total_results></%1>")
                  .arg(root, el, link, shop ? QStringLiteral("user_id") : QStringLiteral("num_iid"), id);
    }
    // The tool shows the XML on its page with the angle brackets and quotes escaped.
    xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" ?>") + xml;
    xml.replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
    reply.body = QStringLiteral("<html><head><title>API测试工具</title></head><body>\n"
                                "<div class=\"result\"><textarea id=\"apiResult\">%1</textarea></div>\n</body></html>")
                     .arg(xml)
                     .toUtf8();
    return reply;
}

// ---------------------------------------------------------------- mirror site

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
    const QString user = decodeValue(r.query("username"), false);
    const QString password = decodeValue(r.query("password"), false);
    const QString sign = decodeValue(r.query("sha1"), false);
    const QString digest = splitmd5(m_options.sitePass);
    if (s.noid.isNull()) {
        reply.body = gb(QStringLiteral("ERR:请先获取登录验证码"));
    } else if (user == m_options.siteUser && password == digest
               && sign == splitmd5(user + "_" + s.noid + "_" + digest)) {
        s.loggedIn = true;
        s.uploads = 0;
        m_lastOpenUrl = decodeValue(r.query("openurl"), true);
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
    const QMap<QString, QString> f = parseForm(r.body);
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
    reply.body = gb(outside::uploadOk);
    return reply;
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
        s += QStringLiteral("<tr><td><img width=\"80\" src=\"/img.asp?img=%1\"></td><td><a href=\"/item.asp?id=%2\">%3</a>"
                            "</td><td>%4</td><td><a href=\"%5\">去购买</a></td></tr>")
                 .arg(html(pic), html(f.value("itemid")), html(f.value("title")), html(f.value("money")),
                      html(f.value("click_url")));
    }
    s += QStringLiteral("</table></body></html>");
    reply.body = gb(s);
    return reply;
}

Simulator::Reply Simulator::siteItem(const SimRequest &r)
{
    Reply reply;
    const auto items = published();
    const auto f = items.value(decodeValue(r.query("id"), false));
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

// ---------------------------------------------------------------- command line

QString Simulator::usage()
{
    return QStringLiteral(
        "velorix-sim: the outside world of Velorix on one local port\n"
        "usage: velorix-sim [options]\n"
        "  --port N              port to listen on (default 18080)\n"
        "  --seed N              seed of the simulated shop (default 1)\n"
        "  --items N             items in the shop (default 57)\n"
        "  --pages N             a shop of N full list pages (N x 20 items)\n"
        "  --page25 N            list page N carries 25 item blocks\n"
        "  --gone-share P        percent of items whose page says unavailable (default 10)\n"
        "  --shop-host HOST      the shop's host name (default velorix-demo.taobao.com)\n"
        "  --site-user NAME      the mirror site's admin account (default demoadmin)\n"
        "  --site-pass TEXT      its password (default plumo)\n"
        "  --site-db FILE        keep the mirror site's items in this file (default: memory)\n"
        "faults, all off by default (\"every N\": the Nth, 2Nth, ... request):\n"
        "  --convert-fail N      every Nth conversion reply is not \"200 OK\"\n"
        "  --convert-nolink N    every Nth conversion reply has no click URL\n"
        "  --convert-hang N      every Nth conversion request is never answered\n"
        "  --list-fail N         every Nth shop list page fails\n"
        "  --session-loss N      the site forgets the login after every N uploads\n"
        "  --refuse ID[,ID...]   the site refuses these items\n"
        "  --compress gzip|deflate   compress replies the client accepts so\n"
        "  --slow MS             every reply waits MS milliseconds\n"
        "  --help                this text\n"
        "A browser can look at the mirror site at http://127.0.0.1:PORT/ and at any simulated\n"
        "host through http://127.0.0.1:PORT/_host/HOST/..., or use the simulator as its HTTP proxy.\n");
}

bool Simulator::parseArguments(const QStringList &args, SimOptions &o, quint16 &port, QString &error)
{
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i], value;
        if (const qsizetype eq = name.indexOf('='); eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        } else if (name != QLatin1String("--help") && i + 1 < args.size()) {
            value = args[++i];
        }
        bool ok = true;
        auto number = [&](int &target) {
            target = value.toInt(&ok);
            ok = ok && target >= 0;
        };
        if (name == QLatin1String("--help")) {
            error.clear();
            return false;
        } else if (name == QLatin1String("--port")) {
            const uint p = value.toUInt(&ok);
            ok = ok && p <= 65535;
            port = quint16(p);
        } else if (name == QLatin1String("--seed")) {
            o.seed = value.toUInt(&ok);
        } else if (name == QLatin1String("--items")) {
            number(o.items);
        } else if (name == QLatin1String("--pages")) {
            int pages = 0;
            number(pages);
            ok = ok && pages > 0;
            o.items = pages * 20;
        } else if (name == QLatin1String("--page25")) {
            number(o.page25);
        } else if (name == QLatin1String("--gone-share")) {
            number(o.goneShare);
            ok = ok && o.goneShare <= 100;
        } else if (name == QLatin1String("--shop-host")) {
            o.shopHost = value;
        } else if (name == QLatin1String("--site-user")) {
            o.siteUser = value;
        } else if (name == QLatin1String("--site-pass")) {
            o.sitePass = value;
        } else if (name == QLatin1String("--site-db")) {
            o.siteDb = value;
        } else if (name == QLatin1String("--convert-fail")) {
            number(o.convertFailEvery);
        } else if (name == QLatin1String("--convert-nolink")) {
            number(o.convertNoLinkEvery);
        } else if (name == QLatin1String("--convert-hang")) {
            number(o.convertHangEvery);
        } else if (name == QLatin1String("--list-fail")) {
            number(o.listFailEvery);
        } else if (name == QLatin1String("--session-loss")) {
            number(o.sessionLossAfter);
        } else if (name == QLatin1String("--refuse")) {
            o.refuseItems = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (name == QLatin1String("--compress")) {
            o.compress = value;
            ok = value == QLatin1String("gzip") || value == QLatin1String("deflate");
        } else if (name == QLatin1String("--slow")) {
            number(o.slowMs);
        } else {
            error = QStringLiteral("unknown option: %1").arg(name);
            return false;
        }
        if (!ok || value.isEmpty()) {
            error = QStringLiteral("bad value for %1: %2").arg(name, value);
            return false;
        }
    }
    return true;
}
