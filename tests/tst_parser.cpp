#include "collect/itemparser.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "web/charset.h"

#include <QtTest>

// The page readers, case by case, on small pages shaped like the marketplace's.
class TestParser : public QObject
{
    Q_OBJECT

    static QString itemPage(const QString &title, const QString &desc, const QString &keys, const QString &rest = {})
    {
        return "<html><head><title>" + title + "</title><meta name=\"description\" content=\"" + desc
               + "\"><meta name=\"keywords\" content=\"" + keys + "\"></head><body>" + rest + "</body></html>";
    }
    static QString block(const QString &link, const QString &pic, const QString &title, const QString &price)
    {
        return "<div class=\"item\"><a href=\"http://item.taobao.com/item.htm?" + link + "\"><img " + pic
               + "></a><a class=\"permalink\">" + title + "</a>" + price + "</div>\n";
    }
    static QByteArray fixture(const QString &name)
    {
        QFile f(QStringLiteral(VELORIX_CORPUS_DIR "/") + name);
        if (!f.open(QIODevice::ReadOnly))
            qFatal("no fixture %s", qPrintable(name));
        return f.readAll();
    }
    // A fixture page as the fetch service gives it: in the charset its reply or itself names.
    static QString served(const QString &name, const QByteArray &contentType)
    {
        return decodePage(fixture(name), contentType, QStringLiteral("GB2312"));
    }

private slots:
    void detail_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("doc");
        QTest::addColumn<QString>("key");
        const QString kb = outside::keywordsBoilerplate;
        QTest::newRow("shop suffix and quotes")
            << itemPage("&ldquo;新款&rdquo;连衣裙-淘宝网", "&ldquo;好&rdquo;", kb + "裙子,&ldquo;x&rdquo;")
            << "“新款”连衣裙" << "“好”" << "裙子,“x”";
        QTest::newRow("mall suffix") << itemPage("衬衫-淘宝商城", "d", "k") << "衬衫" << "d" << "k";
        QTest::newRow("description only boilerplate")
            << itemPage("t", outside::descriptionBoilerplate, "k") << "t" << "" << "k";
        QTest::newRow("boilerplate kept mid keywords") << itemPage("t", "d", "a," + kb) << "t" << "d" << "a,";
        QTest::newRow("empty page") << QString() << "" << "" << "";
        QTest::newRow("title cut to the box")
            << itemPage(QString(240, 'x') + QStringLiteral("\U0001F600").repeated(20), "d", "k")
            << QString(240, 'x') + QStringLiteral("\U0001F600").repeated(10) << "d" << "k";
    }
    void detail()
    {
        QFETCH(QString, page);
        QFETCH(QString, title);
        QFETCH(QString, doc);
        QFETCH(QString, key);
        const ItemTexts t = parseDetail(page, {});
        QCOMPARE(t.web_title, title);
        QCOMPARE(t.web_doc, doc);
        QCOMPARE(t.web_key, key);
    }

    void addressAndAttributes()
    {
        const QString prefix = outside::descriptionPrefix();
        const QString page = itemPage("t", "d", "k",
                                      "<ul class=\"attributes-list\">\r\n<li>材质: 棉</li>\r\n<li>尺码: M</li>\n</ul>"
                                      "<script>var c={'desc':'" + prefix + "i1/42/desc.js'};</script>");
        const ItemTexts t = parseDetail(page, {});
        QCOMPARE(t.web_url, prefix + "i1/42/desc.js");
        QCOMPARE(t.web_content, QStringLiteral("<li>材质: 棉</li><li>尺码: M</li>\n"));
        // Without the quoted address the description address is the prefix alone.
        QCOMPARE(parseDetail(itemPage("t", "d", "k"), {}).web_url, prefix);
    }

    // Pages and conversion replies in the forms the marketplace gave them over the years, as
    // they come off the wire; the classic page reads as it always did.
    void variants_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("address");   // after the description prefix
        const QByteArray plain = "text/html";
        QTest::newRow("classic, GBK") << "item-shop.html" << QByteArray("text/html; charset=gb2312") << "convert-item.txt"
                                      << "i1/520000100011/desc.js";
        QTest::newRow("classic, UTF-8 by its meta") << "item-shop-utf8.html" << plain << "convert-item.txt"
                                                    << "i1/520000100011/desc.js";
        QTest::newRow("2014, GBK: address in JSON, lazy picture")
            << "item-2014-gbk.html" << QByteArray("text/html; charset=GBK") << "convert-cdata.txt"
            << "i4/520000100011/desc.js";
        QTest::newRow("2014, UTF-8 by its meta: address in double quotes")
            << "item-2014-utf8.html" << plain << "convert-json.txt" << "i4/520000100011/desc.js";
        const QString signedAddress = "i2/520000100011/desc%7Cvar%5Edesc%3Bsign%5Ebafe3413%3Blang%5Egbk";
        QTest::newRow("2017, GBK: address without scheme, price in tags")
            << "item-2017-gbk.html" << plain << "convert-cdata.txt" << signedAddress;
        QTest::newRow("2017, UTF-8 by its header: picture behind a data URI")
            << "item-2017-utf8.html" << QByteArray("text/html;charset=UTF-8") << "convert-json.txt" << signedAddress;
    }
    void variants()
    {
        QFETCH(QString, page);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, reply);
        QFETCH(QString, address);
        const QString text = served(page, contentType);
        QVERIFY(!isUnavailable(text));
        const ItemTexts t = parseDetail(text, {});
        QCOMPARE(t.web_title, QStringLiteral("红豆宽松牛仔裤 第1款 “热卖”"));
        QCOMPARE(t.web_doc, QStringLiteral("红豆宽松牛仔裤 第1款，“正品保证”，全场包邮"));
        QCOMPARE(t.web_key, QStringLiteral("红豆宽松牛仔裤 第1款,“新品”,特价"));
        QCOMPARE(t.web_url, outside::descriptionPrefix() + address);
        QCOMPARE(t.web_content, QStringLiteral("<li title=\"红豆\">品牌:&nbsp;红豆</li><li>货号:&nbsp;520000100011</li>"
                                               "<li>适用季节:&nbsp;春秋</li>"));
        const ListedItem l = parseListFields(text);
        QCOMPARE(l.title, QStringLiteral("红豆宽松牛仔裤 第1款"));
        QCOMPARE(l.money, QStringLiteral("27"));
        QCOMPARE(l.web_pic, QStringLiteral("http://img01.taobaocdn.com/bao/uploaded/i1/520000100011/T1pic.jpg"));
        // The conversion channel reads its reply as UTF-8.
        QCOMPARE(cutClickUrl(QString::fromUtf8(fixture(reply))),
                 QStringLiteral("http://s.click.taobao.com/t?e=i919711be&pid=16243710&unid=520000100011"));
    }

    void listVariants_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("classic, GBK") << "list-page1.html";
        QTest::newRow("2014 grid, UTF-8: lazy pictures, attributes after the title's class") << "list-2014-utf8.html";
    }
    void listVariants()
    {
        QFETCH(QString, page);
        const ListPage p = parseListPage(served(page, "text/html"), 1);
        QVERIFY(p.countOk);
        QCOMPARE(p.items.size(), 20);
        QCOMPARE(p.items.first().item, QStringLiteral("520000100011"));
        QCOMPARE(p.items.first().title, QStringLiteral("红豆宽松牛仔裤 第1款"));
        QCOMPARE(p.items.first().web_pic, QStringLiteral("http://img01.taobaocdn.com/bao/uploaded/i1/520000100011/T1pic.jpg"));
        QCOMPARE(p.items.first().money, QStringLiteral("27.00"));
        QCOMPARE(p.items.last().item, QStringLiteral("520000100714"));
    }

    void descriptionAddress_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("address");   // after the description prefix; empty: none
        const QString host = outside::descHost;
        QTest::newRow("classic") << "'http://" + host + "/i1/1/desc.js'" << "i1/1/desc.js";
        QTest::newRow("double quotes") << "\"http://" + host + "/i1/1/desc.js\"" << "i1/1/desc.js";
        QTest::newRow("no scheme") << "'//" + host + "/i1/1/desc.js'" << "i1/1/desc.js";
        QTest::newRow("https kept to http") << "\"https://" + host + "/i1/1/desc.js\"" << "i1/1/desc.js";
        QTest::newRow("JSON slashes") << "\"http:\\/\\/" + host + "\\/i1\\/1\\/desc.js\"" << "i1/1/desc.js";
        QTest::newRow("JSON slashes, no scheme") << "\"\\/\\/" + host + "\\/i1\\/1\\/desc.js\"" << "i1/1/desc.js";
        QTest::newRow("the classic form first") << "\"http://" + host + "/a\",'http://" + host + "/b'" << "b";
        QTest::newRow("first on the host") << "'//desc.alicdn.com/a','//" + host + "/b'" << "b";
        QTest::newRow("another host only") << "'//desc.alicdn.com/i1/1/desc.js'" << "";
        QTest::newRow("a host that begins with it") << "'//" + host + ".example.test/x'" << "";
        QTest::newRow("a host that ends with it") << "'//x" + host + "/x'" << "";
        QTest::newRow("not quoted") << "src=//" + host + "/x" << "";
        QTest::newRow("quote left open") << "'//" + host + "/i1/1/desc.js" << "";
        QTest::newRow("quotes that differ") << "'//" + host + "/i1/1/desc.js\"" << "";
        QTest::newRow("a blank inside") << "'//" + host + "/i1/1 desc.js'" << "";
        QTest::newRow("the host alone") << "'//" + host + "/'" << "";
        QTest::newRow("too long") << "'//" + host + "/" + QString(5000, 'x') + "'" << "";
    }
    void descriptionAddress()
    {
        QFETCH(QString, script);
        QFETCH(QString, address);
        const QString page = itemPage("t", "d", "k", "<script>var c={desc:" + script + "};</script>");
        QCOMPARE(parseDetail(page, {}).web_url, outside::descriptionPrefix() + address);
    }

    void rulesRunAfterTheCleanUps()
    {
        RuleSet rules;
        rules.title = {true, "裙", "裤", true, "[新]", true};
        rules.doc = {false, {}, {}, true, "只有添加", true};
        rules.key = {true, "“", "\"", false, {}, false};
        const ItemTexts t = parseDetail(itemPage("连衣裙-淘宝网", outside::descriptionBoilerplate, "&ldquo;a"), rules);
        QCOMPARE(t.web_title, QStringLiteral("[新]连衣裤"));
        QCOMPARE(t.web_doc, QStringLiteral("只有添加"));
        QCOMPARE(t.web_key, QStringLiteral("\"a"));
    }

    void unavailable()
    {
        QVERIFY(isUnavailable("x" + outside::unavailableText1 + "y"));
        QVERIFY(isUnavailable(outside::unavailableText2));
        QVERIFY(!isUnavailable(itemPage("t", "d", "k")));
        QVERIFY(!isUnavailable(QString()));
        QVERIFY(isUnavailable(served("item-gone-utf8.html", "text/html")));
    }

    void listFields_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("money");
        QTest::addColumn<QString>("picture");
        const QString pic = outside::pictureMarker;
        QTest::newRow("full") << "<h3>\r\n\t 韩版 T恤 \n</h3><em id=\"J_StrPrice\">>128.00</strong></em>元"
                                     + pic + "http://img/1.jpg\" />"
                              << "韩版 T恤" << "128" << "http://img/1.jpg";
        QTest::newRow("cents") << "<h3>a</h3>id=\"J_StrPrice\" >19.90 元" << "a" << "19.9" << "";
        QTest::newRow("no number") << "id=\"J_StrPrice\">面议元" << "" << "0" << "";
        QTest::newRow("nothing") << QString() << "" << "0" << "";
        QTest::newRow("heading with attributes") << "<h3 class=\"tb-main-title\" data-title=\"x\">\r\n 长裙 \r\n</h3>" << "长裙"
                                                 << "0" << "";
        QTest::newRow("figures in tags") << "<strong id=\"J_StrPrice\" ><em>&yen;</em><em class=\"n\">128.00</em></strong>"
                                         << "" << "128" << "";
        QTest::newRow("a range, currency sign") << "<span class=\"p\" id=\"J_StrPrice\">¥ 19.90 - 29.90</span>" << ""
                                                << "19.9" << "";
        QTest::newRow("price element never closed") << "<strong id=\"J_StrPrice\"><em>128.00" << "" << "0" << "";
        QTest::newRow("lazy picture") << pic + "//a.tbcdn.cn/s.gif\" data-src=\"//img01/1.jpg\" />" << "" << "0"
                                      << "http://img01/1.jpg";
        QTest::newRow("data URI, lazy-load attribute")
            << "<img id=\"J_ImgBooth\" alt=\"a\" src=\"data:image/gif;base64,R0l\" data-ks-lazyload='//img01/2.jpg'>" << ""
            << "0" << "http://img01/2.jpg";
        QTest::newRow("attributes before src") << "<img id=\"J_ImgBooth\" alt=\"a\" src=\"http://img01/3.jpg\">" << ""
                                               << "0" << "http://img01/3.jpg";
        QTest::newRow("placeholder, nothing lazy") << pic + "//a.tbcdn.cn/s.gif\">" << "" << "0" << "http://a.tbcdn.cn/s.gif";
        QTest::newRow("no scheme") << pic + "//img01/4.jpg\" data-src=\"//img01/5.jpg\">" << "" << "0" << "http://img01/4.jpg";
        QTest::newRow("lazy script address") << pic + "//a.tbcdn.cn/s.gif\" data-src=\"javascript:alert(1)\">" << "" << "0"
                                             << "http://a.tbcdn.cn/s.gif";
        QTest::newRow("booth that is no image") << "<div id=\"J_ImgBooth\" data-src=\"//img01/6.jpg\">" << "" << "0" << "";
    }
    void listFields()
    {
        QFETCH(QString, page);
        QFETCH(QString, title);
        QFETCH(QString, money);
        QFETCH(QString, picture);
        const ListedItem l = parseListFields(page);
        QCOMPARE(l.title, title);
        QCOMPARE(l.money, money);
        QCOMPARE(l.web_pic, picture);
    }

    void listPage()
    {
        QString page = "<div class=\"page-info\">3/12</div>";
        for (int i = 1; i <= 25; ++i)
            page += block(QStringLiteral("id=%1&amp;x=1").arg(1000 + i), QStringLiteral("src=\"p%1.jpg\"").arg(i),
                          QStringLiteral("\r\n\t  标题 %1 \r\n").arg(i), QStringLiteral("<strong>12%1.00 元</strong>").arg(i % 10));
        const ListPage p = parseListPage(page, 3);
        QVERIFY(p.ok && p.countOk);
        QCOMPARE(p.pageCount, 12);
        QCOMPARE(p.items.size(), 20);
        QCOMPARE(p.items.first().item, QStringLiteral("1001"));
        QCOMPARE(p.items.first().byid, 41);
        QCOMPARE(p.items.last().byid, 60);
        QCOMPARE(p.items.first().web_pic, QStringLiteral("p1.jpg"));
        QCOMPARE(p.items.first().title, QStringLiteral("标题 1"));
        QCOMPARE(p.items.first().money, QStringLiteral("121.00"));
    }

    void listBlocks_data()
    {
        QTest::addColumn<QString>("blocks");
        QTest::addColumn<QStringList>("items");   // id|picture|title|price of each stored block
        QTest::newRow("no ampersand") << block("id=77\" x=\"", "src=\"a.jpg\"", "t", "<strong>1</strong>")
                                      << QStringList{"77|a.jpg|t|1"};
        QTest::newRow("no markers") << block("id=78&a", "", "", "") << QStringList{"78|||"};
        QTest::newRow("no id ends the page") << block("x=1", "src=\"a\"", "t", "") + block("id=79&", "", "", "")
                                             << QStringList{};
        QTest::newRow("letters end the page") << block("id=80&", "", "", "") + block("id=8x1&", "", "", "")
                                                        + block("id=82&", "", "", "")
                                              << QStringList{"80|||"};
        QTest::newRow("title link with more attributes")
            << "<div class=\"item\"><a href=\"item.htm?id=83&x\" class=\"permalink\" style=\"\">\r\n 裙 </a></div>"
            << QStringList{"83||裙|"};
        QTest::newRow("lazy picture") << block("id=84&", "data-ks-lazyload=\"//img01/8.jpg\" src=\"//a.tbcdn.cn/s.gif\"", "", "")
                                      << QStringList{"84|http://img01/8.jpg||"};
        QTest::newRow("picture without src") << block("id=85&", "data-ks-lazyload=\"//img01/9.jpg\"", "", "")
                                             << QStringList{"85|http://img01/9.jpg||"};
    }
    void listBlocks()
    {
        QFETCH(QString, blocks);
        QFETCH(QStringList, items);
        const ListPage p = parseListPage("<b class=\"page-info\">1/1</b>" + blocks, 1);
        QStringList got;
        for (const ListedItem &l : p.items)
            got << l.item + "|" + l.web_pic + "|" + l.title + "|" + l.money;
        QCOMPARE(got, items);
    }

    void listPageFailures()
    {
        QVERIFY(!parseListPage("<html>503</html>", 1).ok);
        QVERIFY(!parseListPage(QString(), 1).ok);
        const ListPage words = parseListPage("page-info\">第1/共几页<", 1);
        QVERIFY(words.ok);
        QVERIFY(!words.countOk);
        const ListPage single = parseListPage("page-info\">1/1<", 1);
        QVERIFY(single.countOk);
        QCOMPARE(single.pageCount, 1);
        QCOMPARE(parseListPage("page-info\">7<", 1).pageCount, 7);
        QCOMPARE(parseListPage("page-info\">1/32767<", 1).pageCount, 32767);
        QVERIFY(!parseListPage("page-info\">1/32768<", 1).countOk);
        QVERIFY(!parseListPage("page-info\">1/2000000000<", 1).countOk);
    }
};

QTEST_GUILESS_MAIN(TestParser)
#include "tst_parser.moc"
