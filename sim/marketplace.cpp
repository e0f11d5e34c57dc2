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
