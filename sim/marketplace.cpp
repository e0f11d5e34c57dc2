#include "sim/simulator.h"
#include "sim/support.h"
#include "outside/outside.h"

#include <random>

// The marketplace: the shop's list pages, item pages, description documents and pictures.

using namespace sim;

namespace {

const char *const kBrands[] = {"韩都", "森马", "梦露", "雅鹿", "红豆", "以纯", "南极人", "恒源祥"};
const char *const kStyles[] = {"2026新款", "韩版", "修身", "宽松", "复古", "清新", "加厚", "纯棉"};
const char *const kKinds[] = {"连衣裙", "衬衫", "T恤", "毛衣", "外套", "牛仔裤", "卫衣", "半身裙"};

} // namespace

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

QByteArray Simulator::marketPage(const QString &text, Reply &reply) const
{
    const bool utf8 = m_options.pageCharset == QLatin1String("utf-8");
    reply.contentType = m_options.charsetIn == QLatin1String("meta") ? QByteArray("text/html")
                                                                      : utf8 ? QByteArray("text/html; charset=utf-8")
                                                                             : QByteArray("text/html; charset=gb2312");
    return utf8 ? text.toUtf8() : gb(text);
}

QString Simulator::charsetMeta() const
{
    if (m_options.charsetIn == QLatin1String("header"))
        return {};
    const QString name = m_options.pageCharset == QLatin1String("utf-8") ? QStringLiteral("utf-8") : QStringLiteral("gb2312");
    if (m_options.pageStyle == QLatin1String("2017"))
        return QStringLiteral("<meta charset=\"%1\">").arg(name);
    return QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=%1\">").arg(name);
}

namespace {

// A picture address as later pages write it: without its scheme.
QString schemeless(const QString &address)
{
    return QString(address).remove(QStringLiteral("http:"));
}

const QString kPlaceholder = QStringLiteral("//a.tbcdn.cn/s.gif");

} // namespace

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

    QString s = QStringLiteral("<html><head>") + charsetMeta()
                + QStringLiteral("<title>模拟店铺 - 淘宝网</title></head><body>\r\n"
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
        if (m_options.pageStyle.isEmpty()) {
            s += QStringLiteral("<div class=\"item\">\r\n"
                                "  <div class=\"pic\"><a href=\"%1\" target=\"_blank\"><img src=\"%2\" alt=\"\" /></a></div>\r\n"
                                "  <div class=\"desc\"><a target=\"_blank\" href=\"%1\" class=\"permalink\">\r\n\t\t%3 \r\n\t</a></div>\r\n"
                                "  <div class=\"price\"><strong>%4 元</strong></div>\r\n"
                                "</div>\r\n")
                     .arg(link, it.picture, html(it.title), it.price);
            continue;
        }
        // The later grid: pictures loaded by a script, more attributes on the title link.
        s += QStringLiteral("<div class=\"item\">\r\n"
                            "  <div class=\"pic\"><a href=\"%1\" target=\"_blank\"><img alt=\"%3\" data-ks-lazyload=\"%2\" "
                            "src=\"%5\" /></a></div>\r\n"
                            "  <div class=\"desc\"><a target=\"_blank\" href=\"%1\" class=\"permalink\" style=\"\">\r\n\t\t%3 \r\n\t</a></div>\r\n"
                            "  <div class=\"price\"><strong>%4 元</strong></div>\r\n"
                            "</div>\r\n")
                 .arg(schemeless(link), schemeless(it.picture), html(it.title), it.price, kPlaceholder);
    }
    s += QStringLiteral("</div></body></html>");
    reply.body = marketPage(s, reply);
    return reply;
}

Simulator::Reply Simulator::itemPage(const SimRequest &r)
{
    Reply reply;
    const QString id = QString::fromLatin1(r.query("id"));
    const SimItem *it = item(id);
    if (!it || it->gone) {
        const QString text = it && hashOf(id) % 2 ? outside::unavailableText1 : outside::unavailableText2;
        reply.body = marketPage(QStringLiteral("<html><head>%1<title>淘宝网 - 淘！我喜欢</title></head><body><div class=\"error\">%2</div></body></html>")
                                    .arg(charsetMeta(), text),
                                reply);
        return reply;
    }
    const QString suffix = it->mall ? outside::titleSuffixMall : outside::titleSuffixShop;
    const QString attributes = QStringLiteral("<div class=\"attributes\"><ul class=\"attributes-list\">\r\n"
                                              "<li title=\"%1\">品牌:&nbsp;%1</li>\r\n<li>货号:&nbsp;%2</li>\r\n"
                                              "<li>适用季节:&nbsp;春秋</li>\r\n</ul></div>\r\n")
                                   .arg(it->title.left(2), it->id);
    QString s;
    if (m_options.pageStyle.isEmpty()) {
        s = QStringLiteral("<html><head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />\r\n"
                           "<title>%1 &ldquo;热卖&rdquo;%2</title>\r\n"
                           "<meta name=\"description\" content=\"%3%1，&ldquo;正品保证&rdquo;，全场包邮\" />\r\n"
                           "<meta name=\"keywords\" content=\"%4%1,&ldquo;新品&rdquo;,特价\" />\r\n"
                           "</head><body>\r\n<div class=\"tb-detail-hd\"><h3>\r\n\t\t%1\r\n\t</h3></div>\r\n"
                           "<ul class=\"tb-meta\"><li>价格：<strong id=\"J_StrPrice\" >%5</strong>元</li></ul>\r\n"
                           "<div class=\"tb-booth\"><img id=\"J_ImgBooth\" src=\"%6\" /></div>\r\n%7"
                           "<script type=\"text/javascript\">var g_config = {\"itemId\":\"%8\",\"apiItemDesc\":'%9i1/%8/desc.js'};</script>\r\n"
                           "</body></html>")
                .arg(html(it->title), suffix, outside::descriptionBoilerplate, outside::keywordsBoilerplate, it->price,
                     it->picture, attributes, it->id, outside::descriptionPrefix());
        QString meta = charsetMeta();
        if (!meta.isEmpty())
            meta.insert(meta.size() - 1, QStringLiteral(" /"));
        s.replace(QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />"), meta);
    } else if (m_options.pageStyle == QLatin1String("2014")) {
        // The description address in the page's JSON, its slashes escaped; the picture loaded
        // by a script into the booth image.
        QString desc = outside::descriptionPrefix() + QStringLiteral("i4/%1/desc.js").arg(it->id);
        desc.replace(QLatin1Char('/'), QStringLiteral("\\/"));
        s = QStringLiteral("<!DOCTYPE html>\r\n<html><head>\r\n%1\r\n<title>%2 &ldquo;热卖&rdquo;%3</title>\r\n"
                           "<meta name=\"keywords\" content=\"%4%2,&ldquo;新品&rdquo;,特价\" />\r\n"
                           "<meta name=\"description\" content=\"%5%2，&ldquo;正品保证&rdquo;，全场包邮\" />\r\n"
                           "</head><body>\r\n<div class=\"tb-detail-hd\"><h3>\r\n\t\t%2\r\n\t</h3></div>\r\n"
                           "<ul class=\"tb-meta\"><li>价格：<strong id=\"J_StrPrice\" >%6</strong>元</li></ul>\r\n"
                           "<div class=\"tb-booth\"><img id=\"J_ImgBooth\" src=\"%7\" data-src=\"%8\" /></div>\r\n%9")
                .arg(charsetMeta(), html(it->title), suffix, outside::keywordsBoilerplate, outside::descriptionBoilerplate,
                     it->price, kPlaceholder, schemeless(it->picture), attributes);
        s += QStringLiteral("<script>var g_config = {\"itemId\":\"%1\",\"apiItemDesc\":\"%2\",\"t\":\"1\"};</script>\r\n"
                            "</body></html>")
                 .arg(it->id, desc);
    } else {
        // The description address without its scheme, chosen by a test of the page's protocol;
        // the price's figures in tags of their own; the booth image's attributes in another order.
        const QString sign = QString::number(hashOf(it->id), 16);
        const QString path = QStringLiteral("i2/") + it->id + QStringLiteral("/desc%7Cvar%5Edesc%3Bsign%5E") + sign
                             + QStringLiteral("%3Blang%5Egbk");
        s = QStringLiteral("<!DOCTYPE html>\r\n<html><head>%1\r\n<title>%2 &ldquo;热卖&rdquo;%3</title>\r\n"
                           "<meta name=\"keywords\" content=\"%4%2,&ldquo;新品&rdquo;,特价\"/>\r\n"
                           "<meta name=\"description\" content=\"%5%2，&ldquo;正品保证&rdquo;，全场包邮\"/>\r\n"
                           "</head><body>\r\n<div class=\"tb-title\"><h3 class=\"tb-main-title\" data-title=\"%2\">\r\n\t%2\r\n</h3></div>\r\n"
                           "<ul class=\"tb-meta\"><li>价格<strong id=\"J_StrPrice\" ><em class=\"tb-rmb\">&yen;</em>"
                           "<em class=\"tb-rmb-num\">%6</em></strong></li></ul>\r\n"
                           "<div class=\"tb-booth\"><img id=\"J_ImgBooth\" alt=\"%2\" src=\"%7\" data-ks-lazyload=\"%8\" "
                           "data-hasZoom=\"700\" /></div>\r\n%9")
                .arg(charsetMeta(), html(it->title), suffix, outside::keywordsBoilerplate, outside::descriptionBoilerplate,
                     it->price, kPlaceholder, schemeless(it->picture), attributes);
        s += QStringLiteral("<script>g_config = {\r\n  descUrl : location.protocol==='http:' ? '//%1/%2' : "
                            "'//desc.alicdn.com/%2',\r\n  itemId : '%3'\r\n};</script>\r\n</body></html>")
                 .arg(outside::descHost, path, it->id);
    }
    reply.body = marketPage(s, reply);
    return reply;
}

Simulator::Reply Simulator::descDocument(const SimRequest &r)
{
    Reply reply;
    reply.contentType = "application/x-javascript; charset=gb2312";
    const QList<QByteArray> parts = r.path().split('/');   // "", "i1", id, "desc.js"
    const SimItem *it = parts.size() == 4 ? item(QString::fromLatin1(parts[2])) : nullptr;
    // The later pages' addresses are signed: only the whole address finds the document.
    const QByteArray signedName = "desc%7Cvar%5Edesc%3Bsign%5E" + QByteArray::number(it ? hashOf(it->id) : 0, 16)
                                  + "%3Blang%5Egbk";
    if (!it || (parts[3] != "desc.js" && parts[3] != signedName)) {
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
