#include "collect/itemparser.h"
#include "convert/convrequest.h"
#include "outside/outside.h"
#include "publish/sitelogin.h"
#include "publish/uploadrecord.h"
#include "web/charset.h"
#include "web/text.h"

#include <QFile>
#include <QtTest>

// What the outside services expect and answer, written out here by hand and not taken from the
// program's own constants: the simulator and the other tests build their pages from those
// constants, so a text changed there would pass them all. Each row compares what the program
// sends or looks for with the text the services really use.

class TestOutside : public QObject
{
    Q_OBJECT

    static QByteArray corpus(const QString &name)
    {
        QFile f(QStringLiteral(VELORIX_CORPUS_DIR "/") + name);
        if (!f.open(QIODevice::ReadOnly))
            qFatal("no corpus file %s", qPrintable(name));
        return f.readAll();
    }
    static QString page(const QString &name) { return decodePage(corpus(name), "text/html", QStringLiteral("GB2312")); }

private slots:
    void textsOfTheOutsideServices_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("service");
        const auto row = [](const char *name, const QString &program, const char *service) {
            QTest::newRow(name) << program << QString::fromUtf8(service);
        };
        // The shop's list pages.
        row("list page address", outside::shopListAddress(QStringLiteral("shop.example"), 3),
            "http://shop.example/?search=y&scid=0&orderType=newOn&viewType=grid&pageNum=3");
        row("page-info marker", outside::pageInfoMarker, "page-info\">");
        row("item block", outside::itemBlockSeparator, "<div class=\"item\">");
        row("list picture", outside::listPictureMarker, "src=\"");
        row("list title", outside::listTitleMarker, "permalink\">");
        // Item pages.
        row("item page address", outside::itemPageAddress(QStringLiteral("520000000011")),
            "http://item.taobao.com/item.htm?id=520000000011");
        row("unavailable 1", outside::unavailableText1, "对不起，暂时不提供查看该宝贝的信息");
        row("unavailable 2", outside::unavailableText2, "您查看的宝贝不存在");
        row("title suffix", outside::titleSuffixShop, "-淘宝网");
        row("mall title suffix", outside::titleSuffixMall, "-淘宝商城");
        row("description marker", outside::descriptionMarker, "description\" content=\"");
        row("keywords marker", outside::keywordsMarker, "keywords\" content=\"");
        row("attributes marker", outside::attributesMarker, "attributes-list\">");
        row("price marker", outside::priceMarker, "id=\"J_StrPrice\"");
        row("picture marker", outside::pictureMarker, "<img id=\"J_ImgBooth\" src=\"");
        row("description boilerplate", outside::descriptionBoilerplate, "欢迎前来淘宝网");
        row("keywords boilerplate", outside::keywordsBoilerplate, "淘宝,掏宝,网上购物,店铺, ");
        row("description prefix", outside::descriptionPrefix(), "http://dsc.taobaocdn.com/");
        // The API test tool.
        row("tool path", outside::apiToolPath, "/apitools/getResult.htm");
        row("tool page", outside::apiToolRefererPath, "/apitools/apiTools.htm");
        row("item body", itemConvertBody(QStringLiteral("42"), QStringLiteral("16243710")),
            "format=xml&method=taobao.taobaoke.items.convert&restId=2&api_soure=0"
            "&app_key=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97&app_secret=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97"
            "&sip_http_method=POST&codeType=.NET&fields=click_url&nick=&outer_code=&num_iids=42"
            "&pid=16243710&is_mobile=&session=");
        row("shop body", shopConvertBody(QStringLiteral("77"), QStringLiteral("16243710")),
            "format=xml&method=taobao.taobaoke.shops.convert&restId=2&api_soure=0"
            "&app_key=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97&app_secret=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97"
            "&sip_http_method=POST&codeType=.NET&fields=click_url&sids=77&nick=&outer_code=&pid=16243710&session=");
        row("item query", outside::itemConvertQuery(QStringLiteral("42")),
            "format=xml&method=taobao.taobaoke.items.convert&restId=2&api_soure=0"
            "&app_key=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97&app_secret=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97"
            "&sip_http_method=GET&codeType=.NET&fields=click_url&nick=&outer_code=&num_iids=42"
            "&pid=16243710&is_mobile=&session=");
        row("shop query", outside::shopConvertQuery(QStringLiteral("77")),
            "format=xml&method=taobao.taobaoke.shops.convert&restId=2&api_soure=0"
            "&app_key=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97&app_secret=%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97"
            "&sip_http_method=GET&codeType=JAVA&fields=click_url&sids=77&nick=&outer_code=&pid=16243710&session=");
        row("success mark", outside::convertSuccessMark, "200 OK");
        row("link start", outside::clickUrlStart, "&lt;click_url&gt;");
        row("link end", outside::clickUrlEnd, "&lt;/click_url&gt;");
        row("removed from the link", outside::clickUrlRemoved, "amp;");
        row("request", QString::fromLatin1(convrequest(QStringLiteral("a=1"))),
            "POST /apitools/getResult.htm HTTP/1.0\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\nReferer: http://api.taobao.com/apitools/apiTools.htm\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Mozilla/4.0 (compatible; MSIE 6.0; "
            "Windows NT 5.1; SV1) ; .NET CLR 2.0.50727)\r\nHost: api.taobao.com\r\nContent-Length:3\r\n\r\na=1");
        // The mirror site's administration pages.
        row("login path", outside::loginPath, "/admin/soft_login.asp");
        row("upload path", outside::uploadPath, "/admin/user_update.asp");
        row("picture page", outside::imagePagePath, "/img.asp?img=");
        row("challenge marker", outside::challengeMarker, "NOID:");
        row("login answer", outside::loginOk, "OK");
        row("login refusal", outside::loginRefusedMarker, "ERR");
        row("upload answer", outside::uploadOk, "OK");
        row("login lost", outside::relogMarker, "请重新登录");
        row("image domain mask", outside::imageDomainMask, "AAAAAAAAAA");
        row("login request", SiteLogin::loginAddress({QStringLiteral("site.test"), QStringLiteral("admin1"),
                                                      QStringLiteral("abc"), QStringLiteral("http://s/t?a=1")},
                                                     QStringLiteral("c0ffee")),
            "http://site.test/admin/soft_login.asp?username=admin1&password=b84e58b08584a23d25b5773254f81348"
            "&sha1=f6b40c9ede070cdf7259561fa243957c&open=1&openurl=http%3A%2F%2Fs%2Ft%3Fa%3D1");
        row("browser", outside::browserUserAgent(),
            "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; EmbeddedWB 14.52 from: "
            "http://www.embeddedwb.example/ EmbeddedWB 14.52; .NET CLR 2.0.50727)");
    }
    void textsOfTheOutsideServices()
    {
        QFETCH(QString, program);
        QFETCH(QString, service);
        QCOMPARE(program, service);
    }

    void numbersOfTheOutsideServices()
    {
        QCOMPARE(outside::convertSuccessWithin, 50);
        QCOMPARE(outside::descWrapperHead, 10);
        QCOMPARE(outside::descWrapperTail, 3);
        QCOMPARE(outside::apiToolPort, quint16(80));
        QCOMPARE(outside::builtinPid.size(), 8);
    }

    // The connect-to switch: a value that is set but cannot be used sends nowhere and says so;
    // it never lets a connection go to the real host.
    void connectToSwitch_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("to");   // "HOST:PORT"; "-" the real host; "!" nowhere
        QTest::newRow("unset") << "" << "item.taobao.com" << "-";
        QTest::newRow("every host") << "127.0.0.1:18080" << "item.taobao.com" << "127.0.0.1:18080";
        QTest::newRow("one host elsewhere") << "item.taobao.com=127.0.0.1:1,127.0.0.1:18080" << "item.taobao.com"
                                            << "127.0.0.1:1";
        QTest::newRow("its subdomain too") << "taobao.com=127.0.0.1:1,127.0.0.1:18080" << "item.taobao.com" << "127.0.0.1:1";
        QTest::newRow("the others") << "item.taobao.com=127.0.0.1:1,127.0.0.1:18080" << "api.taobao.com"
                                    << "127.0.0.1:18080";
        QTest::newRow("named only") << "item.taobao.com=127.0.0.1:1" << "api.taobao.com" << "-";
        QTest::newRow("a comma too many") << "127.0.0.1:18080," << "item.taobao.com" << "127.0.0.1:18080";
        for (const char *bad : {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:99999", "127.0.0.1:18080;", "127.0.0.1:18080/",
                                "=127.0.0.1:5", "http://127.0.0.1:18080", "item.taobao.com=bad,127.0.0.1:18080"})
            QTest::newRow(bad) << bad << "item.taobao.com" << "!";
    }
    void connectToSwitch()
    {
        QFETCH(QString, value);
        QFETCH(QString, host);
        QFETCH(QString, to);
        const QByteArray before = qgetenv("VELORIX_CONNECT_TO");
        qputenv("VELORIX_CONNECT_TO", value.toLatin1());
        const auto endpoint = outside::connectTo(host);
        const QUrl routed = outside::route(QUrl("http://" + host + "/x"));
        const QString problem = outside::connectToProblem();
        qputenv("VELORIX_CONNECT_TO", before);
        if (to == "-") {
            QVERIFY(!endpoint);
            QCOMPARE(routed.host(), host);
        } else if (to == "!") {
            QVERIFY(endpoint && endpoint->host.isEmpty());
            QVERIFY(!routed.isValid() || routed.host().isEmpty());
            QVERIFY(problem.startsWith(QStringLiteral("VELORIX_CONNECT_TO 的设置无法使用：")));
        } else {
            QVERIFY(endpoint);
            QCOMPARE(endpoint->host + ":" + QString::number(endpoint->port), to);
            QCOMPARE(routed.host() + ":" + QString::number(routed.port()), to);
            QVERIFY(problem.isEmpty());
        }
    }

    // What the program makes of the pages and replies kept in the fuzz corpus, written out by hand.
    void corpusPages()
    {
        QVERIFY(isUnavailable(page("item-gone.html")));
        QVERIFY(isUnavailable(page("item-hidden.html")));
        QVERIFY(!isUnavailable(page("item-mall.html")));

        const ItemTexts mall = parseDetail(page("item-mall.html"), {});
        QCOMPARE(mall.web_title, QStringLiteral("红豆韩版连衣裙 第3款 “热卖”"));
        QCOMPARE(mall.web_doc, QStringLiteral("红豆韩版连衣裙 第3款，“正品保证”，全场包邮"));
        QCOMPARE(mall.web_key, QStringLiteral("红豆韩版连衣裙 第3款,“新品”,特价"));
        QCOMPARE(parseListFields(page("item-mall.html")).money, QStringLiteral("282"));

        const ListPage list = parseListPage(page("list-page2-25blocks.html"), 2);
        QVERIFY(list.ok && list.countOk);
        QCOMPARE(list.items.size(), 20);
        QCOMPARE(list.items.first().byid, 21);
        QCOMPARE(list.items.last().byid, 40);

        const auto body = pagebody(page("desc-520000100011.js"), {});
        QVERIFY(body);
        QVERIFY(body->startsWith(QStringLiteral("<p><img src=\"/img.asp?img=img01AAAAAAAAAA/imgextra/i1/520000100011/T1d1.jpg\"")));
        QVERIFY(body->contains(QStringLiteral("<img src=/img.asp?img=img02AAAAAAAAAA/")));
        QVERIFY(body->contains(QStringLiteral("\r\n")));

        QCOMPARE(SiteLogin::challenge(QString::fromLatin1(corpus("login-challenge.txt"))), std::optional<QString>("c0ffee01"));
        QCOMPARE(SiteLogin::judge(QString::fromLatin1(corpus("login-ok.txt"))), SiteLogin::Result::LoggedIn);
        QCOMPARE(SiteLogin::judge(decodePage(corpus("login-err.txt"), {}, QStringLiteral("GB2312"))),
                 SiteLogin::Result::Refused);

        QVERIFY(!judgeReply(QString::fromUtf8(corpus("convert-error.txt"))).ok);
        const ConvertReply nolink = judgeReply(QString::fromUtf8(corpus("convert-nolink.txt")));
        QVERIFY(nolink.ok);
        QCOMPARE(nolink.clickurl, QString());
        const ConvertReply shop = judgeReply(QString::fromUtf8(corpus("convert-shop.txt")));
        QVERIFY(shop.ok);
        QCOMPARE(shop.clickurl, QStringLiteral("http://s.click.taobao.com/t?e=saf2b941d&pid=16243710&unid=33550011"));
    }
};

QTEST_GUILESS_MAIN(TestOutside)
#include "tst_outside.moc"
