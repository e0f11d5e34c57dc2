#include "collect/itemparser.h"
#include "outside/outside.h"

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
