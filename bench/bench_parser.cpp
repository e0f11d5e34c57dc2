// The page readers on realistic pages: an item page of 300 KB read with all six rules on, and
// a shop list page of 20 items; the same item page in its later form (description address
// without a scheme near its end, lazy picture, price in tags) and its charset decided and
// decoded as UTF-8; and hostile input of 1 MB for the loose readers. Prints the median and the
// slowest of many runs.
// Run: build/bin/bench_parser
#include "collect/itemparser.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "web/charset.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString itemPage()
{
    QString page = QStringLiteral("<html><head><meta charset=\"gbk\"><title>&ldquo;2026新款&rdquo;韩版修身连衣裙 女装 长裙-淘宝网</title>"
                                  "<meta name=\"keywords\" content=\"") + outside::keywordsBoilerplate
                   + QStringLiteral("连衣裙,韩版,修身\"><meta name=\"description\" content=\"") + outside::descriptionBoilerplate
                   + QStringLiteral("，&ldquo;韩版&rdquo;修身连衣裙，包邮\"></head><body>");
    // The bulk of a real page: scripts and markup the readers pass over.
    const QString filler = QStringLiteral("<div class=\"tb-detail\"><script>var g_config={\"x\":\"y\"};</script>"
                                          "<a href=\"http://item.taobao.com/item.htm?id=1\">相关宝贝</a></div>\r\n");
    while (page.size() < 290 * 1024)
        page += filler;
    page += QStringLiteral("<ul class=\"attributes-list\">\r\n<li>材质: 棉</li>\r\n<li>尺码: S M L</li>\r\n</ul>"
                           "<script>var c={'api':'") + outside::descriptionPrefix() + QStringLiteral("i1/1/desc.js'};</script>");
    while (page.size() < 300 * 1024)
        page += filler;
    return page + QStringLiteral("</body></html>");
}

QString listPage()
{
    QString page = QStringLiteral("<html><body><div class=\"page-info\">2/5</div>");
    for (int i = 0; i < 20; ++i)
        page += QStringLiteral("<div class=\"item\"><a href=\"http://item.taobao.com/item.htm?id=52000010%1&amp;\">"
                               "<img src=\"http://img01.taobaocdn.com/bao/uploaded/i1/%1.jpg\"></a><a class=\"permalink\">\r\n\t"
                               "韩版修身连衣裙 第%1款 \r\n</a><strong>128.00 元</strong></div>\n")
                    .arg(1000 + i);
    return page + QStringLiteral("</body></html>");
}

// The later form: what the classic markers miss, the loose readers find.
QString laterItemPage()
{
    QString page = itemPage();
    page.replace(QStringLiteral("'") + outside::descriptionPrefix(), QStringLiteral("'//") + outside::descHost + QLatin1Char('/'));
    return page.replace(QStringLiteral("<body>"),
                        QStringLiteral("<body><strong id=\"J_StrPrice\"><em>&yen;</em><em>128.00</em></strong>"
                                       "<img id=\"J_ImgBooth\" alt=\"x\" src=\"//a.tbcdn.cn/s.gif\" "
                                       "data-ks-lazyload=\"//img01.taobaocdn.com/bao/1.jpg\">"));
}

template <class F>
void measure(const char *name, int runs, double goalMs, F f)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %7.3f ms  slowest %7.3f ms  (goal: median at most %.0f ms)\n", name, ms[ms.size() / 2],
                ms.back(), goalMs);
}

} // namespace

int main()
{
    const QString item = itemPage(), list = listPage();
    RuleSet rules;
    rules.title = {true, QStringLiteral("连衣裙"), QStringLiteral("长裙"), true, QStringLiteral("【新品】"), true};
    rules.doc = {true, QStringLiteral("包邮"), QStringLiteral("全国包邮"), true, QStringLiteral(" 欢迎选购"), false};
    rules.key = {true, QStringLiteral("韩版"), QStringLiteral("韩风"), true, QStringLiteral(",新款"), false};
    std::printf("item page %lld KB, list page %lld KB\n", static_cast<long long>(item.size() / 1024),
                static_cast<long long>(list.size() / 1024));
    volatile qsizetype sink = 0;
    measure("item page: detail read, all six rules", 300, 2, [&] {
        sink = sink + parseDetail(item, rules).web_title.size() + (isUnavailable(item) ? 1 : 0);
    });
    measure("list page: 20 items", 2000, 1, [&] { sink = sink + parseListPage(list, 2).items.size(); });
    const QString later = laterItemPage();
    measure("later item page: detail and list fields", 300, 3, [&] {
        sink = sink + parseDetail(later, rules).web_url.size() + parseListFields(later).web_pic.size();
    });
    const QByteArray utf8 = QString(later).replace(QStringLiteral("charset=\"gbk\""), QStringLiteral("charset=\"utf-8\"")).toUtf8();
    measure("later item page: charset by meta, decoded", 300, 3,
            [&] { sink = sink + decodePage(utf8, "text/html", QStringLiteral("GB2312")).size(); });
    // Hostile: the description host 50 000 times, never quoted; a price element never closed;
    // a click URL element of ampersands.
    const QString hosts = (QStringLiteral("x//") + outside::descHost + QStringLiteral("/a ")).repeated(50000);
    measure("1 MB of unquoted description hosts", 20, 50, [&] { sink = sink + parseDetail(hosts, {}).web_url.size(); });
    const QString price = QStringLiteral("<b id=\"J_StrPrice\">") + QString(1 << 20, QLatin1Char('<'));
    measure("1 MB price element never closed", 20, 50, [&] { sink = sink + parseListFields(price).money.size(); });
    const QString reply = outside::clickUrlStart + QString(1 << 20, QLatin1Char('&')) + outside::clickUrlEnd;
    measure("1 MB click URL of ampersands", 20, 50, [&] { sink = sink + cutClickUrl(reply).size(); });
    return 0;
}
