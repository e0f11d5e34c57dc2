#include "outside/outside.h"
#include "simexchange.h"
#include "web/md5.h"

// Raw exchanges with the simulator, as the outside world sees them.
class TestSim : public QObject
{
    Q_OBJECT

    using Answer = SimAnswer;
    static Answer exchange(Simulator &sim, const QByteArray &request, int ms = 3000) { return simExchange(sim, request, ms); }
    static Answer get(Simulator &sim, const QString &host, const QString &target, const QByteArray &cookie = {})
    {
        return simGet(sim, host, target, cookie);
    }
    static QByteArray cookieOf(const Answer &a)
    {
        for (const QByteArray &line : a.head.split('\n'))
            if (line.startsWith("Set-Cookie: "))
                return line.mid(12).split(';').first().trimmed();
        return {};
    }
    static QByteArray toolRequest(const QString &body)
    {
        return "POST /apitools/getResult.htm HTTP/1.0\r\nAccept: */*\r\nHost: " + outside::apiToolHost.toLatin1()
               + "\r\nContent-Length:" + QByteArray::number(body.size()) + "\r\n\r\n" + body.toLatin1();
    }
    static QString itemBody(const QString &id, const QString &pid = "16243710")
    {
        return outside::itemConvertHead() + id + outside::itemConvertTail(pid);
    }
    // Logs in over raw requests as the client does (the name as QUrl encodes it, the address
    // to open in GBK); the session cookie.
    static QByteArray login(Simulator &sim, const QString &password, const QString &openUrl = {})
    {
        const Answer first = get(sim, "site.test", outside::loginPath + "?t=1");
        const QByteArray cookie = cookieOf(first);
        const QString noid = first.text().remove(outside::challengeMarker);
        const QString digest = splitmd5(password);
        const QString user = sim.options().siteUser;
        const Answer second = get(sim, "site.test",
                                  outside::loginPath + "?username=" + urlencode(user) + "&password="
                                      + digest + "&sha1=" + splitmd5(user + "_" + noid + "_" + digest)
                                      + "&open=1&openurl=" + urlencode(openUrl),
                                  cookie);
        return second.text() == outside::loginOk ? cookie : QByteArray();
    }
    static Answer upload(Simulator &sim, const QByteArray &cookie, const QString &form)
    {
        QByteArray r = "POST " + outside::uploadPath.toLatin1() + " HTTP/1.1\r\nHost: site.test\r\nConnection: close\r\n"
                       "Content-Length: " + QByteArray::number(form.size()) + "\r\n";
        if (!cookie.isEmpty())
            r += "Cookie: " + cookie + "\r\n";
        return exchange(sim, r + "\r\n" + form.toLatin1());
    }

private slots:
    // The fault switch: what it takes, and what it refuses rather than take a fault that can
    // never meet a request.
    void faultSwitch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        for (const char *ok : {"upload:503", "desc:500:5", "item:404@520000100011", "tool:garbage@42", "upload:half@7",
                               "list:reset:2", "login:hang"})
            QTest::newRow(ok) << ok << true;
        for (const char *bad : {"", "upload", "upload:", "upload:502", "shop:500", "item:404:0", "item:404:x",
                                "item:404@", "list:500@42", "login:500@42", "item:404:1:2"})
            QTest::newRow(bad) << bad << false;
    }
    void faultSwitch()
    {
        QFETCH(QString, text);
        QFETCH(bool, taken);
        QCOMPARE(SimFault::parse(text).has_value(), taken);
    }

    void shopListPages()
    {
        SimOptions o;
        o.page25 = 2;
        Simulator sim(o);
        QVERIFY(sim.listen());
        QCOMPARE(sim.pageCount(), 3);
        const struct { int page; int blocks; } pages[] = {{1, 20}, {2, 25}, {3, 17}, {9, 17}};
        for (const auto &p : pages) {
            const QString text = get(sim, o.shopHost, outside::shopListQuery + QString::number(p.page)).text();
            const int shown = qMin(p.page, 3);
            QCOMPARE(getbetween(text, outside::pageInfoMarker, "<"), QStringLiteral("%1/3").arg(shown));
            const QStringList blocks = text.split(outside::itemBlockSeparator).mid(1);
            QCOMPARE(blocks.size(), p.blocks);
            for (int i = 0; i < qMin(20, int(blocks.size())); ++i) {
                const SimItem &item = sim.items().at((shown - 1) * 20 + i);
                QString id = getbetween(blocks[i], "id=", "&");
                if (id.isEmpty())
                    id = getbetween(blocks[i], "id=", "\"");
                QCOMPARE(id, item.id);
                QCOMPARE(getbetween(blocks[i], outside::listPictureMarker, "\""), item.picture);
                const QString title = getbetween(blocks[i], outside::listTitleMarker, "<");
                QVERIFY(title.contains("\r\n\t"));
                QCOMPARE(title.simplified(), item.title);
                QCOMPARE(getbetween(blocks[i], "<strong>", "<"), item.price + " 元");
            }
        }
        // Some blocks link without a parameter after the ID.
        const QString first = get(sim, o.shopHost, outside::shopListQuery + "1").text();
        QVERIFY(!first.split(outside::itemBlockSeparator)[8].contains('&'));
    }

    void failingListPages()
    {
        SimOptions o;
        o.listFailEvery = 2;
        Simulator sim(o);
        QVERIFY(sim.listen());
        QVERIFY(get(sim, o.shopHost, outside::shopListQuery + "1").text().contains(outside::pageInfoMarker));
        const Answer failed = get(sim, o.shopHost, outside::shopListQuery + "1");
        QVERIFY(!failed.text().contains(outside::pageInfoMarker));
        QVERIFY(failed.head.startsWith("HTTP/1.1 503"));
    }

    void itemPagesCarryTheMarkers()
    {
        SimOptions o;
        o.goneShare = 0;
        Simulator sim(o);
        QVERIFY(sim.listen());
        int mall = 0;
        for (const SimItem &item : sim.items().mid(0, 6)) {
            const QString page = get(sim, outside::itemHost, outside::itemPagePath + item.id).text();
            const QString title = getbetween(page, "<title>", "</title>");
            QVERIFY(title.endsWith(item.mall ? outside::titleSuffixMall : outside::titleSuffixShop));
            mall += item.mall;
            QVERIFY(title.contains("&ldquo;") && title.contains("&rdquo;"));
            QVERIFY(getbetween(page, outside::descriptionMarker, "\"").startsWith(outside::descriptionBoilerplate));
            QVERIFY(getbetween(page, outside::keywordsMarker, "\"").startsWith(outside::keywordsBoilerplate));
            QCOMPARE(getbetween(page, "'" + outside::descriptionPrefix(), "'"), "i1/" + item.id + "/desc.js");
            QVERIFY(getbetween(page, outside::attributesMarker, "</ul>").contains("\r\n<li"));
            QCOMPARE(getbetween(page, "<h3>", "</h3>").simplified(), item.title);
            QVERIFY(getbetween(page, outside::priceMarker, "元").contains(item.price));
            QCOMPARE(getbetween(page, outside::pictureMarker, "\""), item.picture);
            QVERIFY(!page.contains(outside::unavailableText1) && !page.contains(outside::unavailableText2));
        }
        QVERIFY(mall > 0);
        QVERIFY(get(sim, outside::itemHost, outside::itemPagePath + "999").text().contains(outside::unavailableText2));
    }

    void goneItemsSayUnavailable()
    {
        SimOptions o;
        o.goneShare = 100;
        Simulator sim(o);
        QVERIFY(sim.listen());
        QSet<QString> texts;
        for (const SimItem &item : sim.items().mid(0, 12)) {
            QVERIFY(item.gone);
            const QString page = get(sim, outside::itemHost, outside::itemPagePath + item.id).text();
            texts << (page.contains(outside::unavailableText1) ? "1" : page.contains(outside::unavailableText2) ? "2" : "none");
        }
        QCOMPARE(texts, QSet<QString>({"1", "2"}));
    }

    void descriptionDocumentsAreWrapped()
    {
        Simulator sim;
        QVERIFY(sim.listen());
        const SimItem &item = sim.items().at(2);
        const QString doc = get(sim, outside::descHost, "/i1/" + item.id + "/desc.js").text();
        QCOMPARE(doc.left(outside::descWrapperHead), QStringLiteral("var desc='"));
        QCOMPARE(doc.right(outside::descWrapperTail), QStringLiteral("';\n"));
        const QString markup = doc.mid(outside::descWrapperHead, doc.size() - 13);
        QVERIFY(markup.contains("src=\\\"http://img01" + outside::imageDomainSuffix));
        QVERIFY(markup.contains("src=http://img02" + outside::imageDomainSuffix));
        QVERIFY(markup.contains("&nbsp;"));
        QVERIFY(markup.contains('\n'));
    }

    void toolAnswersAsHttp10AndCloses()
    {
        Simulator sim;
        QVERIFY(sim.listen());
        const QByteArray request = toolRequest(itemBody("12345"));
        const Answer a = exchange(sim, request);
        QVERIFY(a.closedByServer);
        QVERIFY(a.head.startsWith("HTTP/1.0 200 OK\r\n"));
        const QString page = QString::fromUtf8(a.body);
        const QString link = getbetween(page, outside::clickUrlStart, outside::clickUrlEnd);
        QVERIFY2(link.contains("&amp;pid=16243710&amp;unid=12345"), qPrintable(link));
        QCOMPARE(sim.toolRequests().size(), 1);
        QCOMPARE(sim.toolRequests().first().raw, request);

        const QString shop = outside::shopConvertHead() + "777" + outside::shopConvertTail("16243710");
        QVERIFY(QString::fromUtf8(exchange(sim, toolRequest(shop)).body).contains(outside::clickUrlStart));
        // A request that is not a number gets no link.
        QVERIFY(!QString::fromUtf8(exchange(sim, toolRequest(itemBody("abc"))).body).contains(outside::clickUrlStart));
    }

    void toolFaults()
    {
        SimOptions o;
        o.convertFailEvery = 2;
        o.convertNoLinkEvery = 3;
        o.convertHangEvery = 5;
        Simulator sim(o);
        QVERIFY(sim.listen());
        QStringList kinds;
        for (int i = 1; i <= 5; ++i) {
            const Answer a = exchange(sim, toolRequest(itemBody("1")), i == 5 ? 400 : 3000);
            if (!a.closedByServer)
                kinds << "hang";
            else if (!a.head.left(50).contains("200 OK"))
                kinds << "fail";
            else if (!a.body.contains(outside::clickUrlStart.toLatin1()))
                kinds << "nolink";
            else
                kinds << "ok";
        }
        QCOMPARE(kinds, QStringList({"ok", "fail", "nolink", "fail", "hang"}));
    }

    void mirrorSiteLoginAndUploads()
    {
        SimOptions o;
        o.sessionLossAfter = 2;
        o.refuseItems = {"666"};
        Simulator sim(o);
        QVERIFY(sim.listen());
        QVERIFY(login(sim, "wrong").isEmpty());
        QVERIFY(upload(sim, {}, "itemid=1").text().contains(outside::relogMarker));

        const QByteArray cookie = login(sim, o.sitePass);
        QVERIFY(!cookie.isEmpty());
        const QString form = "itemid=101&title=" + urlencode("女装 连衣裙") + "&web_content2="
                             + urlencode("<p>描述</p>") + "&money=9.90&click_url=" + urlencode("http://s/t?a=1&b=2");
        QCOMPARE(upload(sim, cookie, form).text(), outside::uploadOk);
        QCOMPARE(upload(sim, cookie, "itemid=666").text(), QStringLiteral("该宝贝不允许发布：666"));
        QCOMPARE(upload(sim, cookie, "itemid=102&taokei=1").text(), outside::uploadOk);
        // After two stored uploads the site has forgotten the login.
        QVERIFY(upload(sim, cookie, "itemid=103").text().contains(outside::relogMarker));

        const auto published = sim.published();
        QCOMPARE(published.keys(), QStringList({"101", "102"}));
        QCOMPARE(published["101"]["title"], QStringLiteral("女装 连衣裙"));
        QCOMPARE(published["101"]["click_url"], QStringLiteral("http://s/t?a=1&b=2"));
        QVERIFY(!published["101"].contains("taokei"));
        QCOMPARE(published["102"]["taokei"], QStringLiteral("1"));

        const QString index = get(sim, "127.0.0.1", "/").text();
        QVERIFY(index.contains(QStringLiteral("女装 连衣裙")));
        QVERIFY(index.contains(QStringLiteral("已发布 2 件宝贝")));
    }

    // A plain browser pages through the shop and follows its item links within the simulator.
    void browserCanPageThroughTheShop()
    {
        Simulator sim;
        QVERIFY(sim.listen());
        const QString prefix = "/_host/" + sim.options().shopHost;
        const QString page = get(sim, "127.0.0.1", prefix + outside::shopListQuery + "1").text();
        QVERIFY(page.contains("href=\"" + prefix + outside::shopListQuery + "2\""));
        QVERIFY(page.contains("href=\"/_host/" + outside::itemHost + outside::itemPagePath));
        QVERIFY(!page.contains("http://"));
        const QString item = get(sim, "127.0.0.1", "/_host/" + outside::itemHost + outside::itemPagePath
                                                     + sim.items().at(0).id).text();
        QVERIFY(item.contains(sim.items().at(0).title));
        QVERIFY(item.contains("src=\"/_host/img0"));
    }

    void maskedPicturesAreServed()
    {
        Simulator sim;
        QVERIFY(sim.listen());
        const Answer a = get(sim, "site.test", outside::imagePagePath + "img01" + outside::imageDomainMask + "/i1/T1.jpg");
        QVERIFY(a.head.startsWith("HTTP/1.1 200"));
        QVERIFY(a.head.contains("image/svg+xml"));
        QVERIFY(a.body.contains("<svg"));
        QCOMPARE(a.body, get(sim, "img01" + outside::imageDomainSuffix, "/i1/T1.jpg").body);
    }

    // What a login and an upload carry in GBK is read as GBK, even where the bytes would
    // also pass for UTF-8 (女装 is C5 AE D7 B0, "Ůװ" in UTF-8).
    void mirrorSiteReadsGbkValues()
    {
        SimOptions o;
        o.siteUser = QStringLiteral("管理员");
        Simulator sim(o);
        QVERIFY(sim.listen());
        const QByteArray cookie = login(sim, o.sitePass, QStringLiteral("http://s.click/t?q=女装&a=1"));
        QVERIFY(!cookie.isEmpty());
        QCOMPARE(sim.lastOpenUrl(), QStringLiteral("http://s.click/t?q=女装&a=1"));
        QCOMPARE(upload(sim, cookie, "itemid=7&title=%C5%AE%D7%B0&web_key=" + urlencode("女装 长裙")).text(),
                 outside::uploadOk);
        QCOMPARE(sim.published()["7"]["title"], QStringLiteral("女装"));
        QCOMPARE(sim.published()["7"]["web_key"], QStringLiteral("女装 长裙"));
    }

    // As a real server: a Host that is more than a host and port is refused; a site in a folder
    // answers only there.
    void hostHeaderAndSiteFolder_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("status");
        const QString login = outside::loginPath + "?t=1";
        QTest::newRow("host") << "mirror.example.net" << "/shop" + login << QByteArray("200 OK");
        QTest::newRow("host and port") << "mirror.example.net:8080" << "/shop" + login << QByteArray("200 OK");
        QTest::newRow("host and folder") << "mirror.example.net/shop" << login << QByteArray("400 Bad Request");
        QTest::newRow("outside the folder") << "mirror.example.net" << login << QByteArray("404 Not Found");
        QTest::newRow("the folder's neighbour") << "mirror.example.net" << "/shopping" + login << QByteArray("404 Not Found");
    }
    void hostHeaderAndSiteFolder()
    {
        QFETCH(QString, host);
        QFETCH(QString, target);
        QFETCH(QByteArray, status);
        SimOptions o;
        o.sitePath = "/shop";
        Simulator sim(o);
        QVERIFY(sim.listen());
        const Answer a = get(sim, host, target);
        QVERIFY2(a.head.startsWith("HTTP/1.1 " + status), a.head.constData());
        QCOMPARE(a.text().startsWith(outside::challengeMarker), status == "200 OK");
    }

    // A later page's description address is signed: only the whole of it finds the document.
    void signedDescriptionAddresses()
    {
        SimOptions o;
        o.pageStyle = "2017";
        o.goneShare = 0;
        Simulator sim(o);
        QVERIFY(sim.listen());
        const SimItem &item = sim.items().at(1);
        const QString page = get(sim, outside::itemHost, outside::itemPagePath + item.id).text();
        const QString address = getbetween(page, "'//" + outside::descHost, "'");
        QVERIFY(address.contains("%7Cvar%5Edesc%3Bsign%5E"));
        QVERIFY(get(sim, outside::descHost, address).text().startsWith("var desc='"));
        QVERIFY(get(sim, outside::descHost, address.left(address.indexOf("%7C"))).head.contains("404"));
        QVERIFY(get(sim, outside::descHost, address + "x").head.contains("404"));
    }

    void commandLine()
    {
        SimOptions o;
        quint16 port = 0;
        QString error;
        QVERIFY(Simulator::parseArguments({"--port", "18081", "--items=5", "--refuse", "1,2", "--compress", "gzip"},
                                          o, port, error));
        QCOMPARE(port, quint16(18081));
        QCOMPARE(o.items, 5);
        QCOMPARE(o.refuseItems, QStringList({"1", "2"}));
        QVERIFY(Simulator::parseArguments({"--pages", "4"}, o, port, error));
        QCOMPARE(Simulator(o).pageCount(), 4);
        QVERIFY(!Simulator::parseArguments({"--help"}, o, port, error));
        QVERIFY(error.isEmpty());
        QVERIFY(!Simulator::parseArguments({"--bogus", "1"}, o, port, error));
        QVERIFY(error.contains("--bogus"));
        QVERIFY(!Simulator::parseArguments({"--compress", "zip"}, o, port, error));
        QVERIFY(!Simulator::parseArguments({"--items", "-3"}, o, port, error));
        QVERIFY(Simulator::parseArguments({"--page-style", "2017", "--page-charset=utf-8", "--charset-in", "meta",
                                           "--click-form", "json", "--site-path", "/shop/"},
                                          o, port, error));
        QCOMPARE(o.pageStyle, QStringLiteral("2017"));
        QCOMPARE(o.pageCharset, QStringLiteral("utf-8"));
        QCOMPARE(o.charsetIn, QStringLiteral("meta"));
        QCOMPARE(o.clickForm, QStringLiteral("json"));
        QCOMPARE(o.sitePath, QStringLiteral("/shop"));
        for (const char *bad : {"--page-style=2020", "--page-charset=latin1", "--charset-in=body", "--click-form=xml",
                                "--site-path=shop"})
            QVERIFY2(!Simulator::parseArguments({bad}, o, port, error), bad);
        QVERIFY(Simulator::usage().contains("--convert-hang"));
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
