#include "outside/outside.h"
#include "sim/simulator.h"
#include "web/md5.h"
#include "web/text.h"

#include <QTcpSocket>
#include <QtTest>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

// Raw exchanges with the simulator, as the outside world sees them.
class TestSim : public QObject
{
    Q_OBJECT

    struct Answer {
        QByteArray head, body;
        bool closedByServer = false;
        QString text() const { return bytestostr(body, "gb2312"); }
    };

    // Sends raw bytes and reads until the server closes or the time is up.
    static Answer exchange(Simulator &sim, const QByteArray &request, int ms = 3000)
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, sim.port());
        if (!s.waitForConnected(2000))
            return {};
        s.write(request);
        QByteArray all;
        Answer a;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QTest::qWait(10);
            all += s.readAll();
            if (s.state() == QAbstractSocket::UnconnectedState) {
                a.closedByServer = true;
                break;
            }
        }
        all += s.readAll();
        const qsizetype split = all.indexOf("\r\n\r\n");
        a.head = all.left(split);
        a.body = split < 0 ? QByteArray() : all.mid(split + 4);
        return a;
    }
    static Answer get(Simulator &sim, const QString &host, const QString &target, const QByteArray &cookie = {})
    {
        QByteArray r = "GET " + target.toUtf8() + " HTTP/1.1\r\nHost: " + host.toLatin1() + "\r\nConnection: close\r\n";
        if (!cookie.isEmpty())
            r += "Cookie: " + cookie + "\r\n";
        return exchange(sim, r + "\r\n");
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

    // Whatever a reply's headers were given, each stays one line.
    void replyHeadersCarryNoControlCharacters()
    {
        HttpReply reply;
        reply.contentType = "text/html\n";
        reply.headers.append({"Location", QByteArray("http://a/\r\nSet-Cookie: x=1\r\n\r\n<b>\t\x7f")});
        const QByteArray bytes = replyBytes(reply, false, true);
        // Status, Server, Content-Type, Location, Content-Length, Connection, the blank line.
        QCOMPARE(bytes.count('\n'), 7);
        QVERIFY(bytes.contains("\r\nLocation: http://a/Set-Cookie: x=1<b>\r\n"));
        QVERIFY(bytes.contains("\r\nContent-Type: text/html\r\n"));
    }

    // A request the server cannot take is refused at once and its connection closed; the
    // server goes on serving everyone else.
    void refusesMalformedAndOversizeRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        const QByteArray post = "POST /admin/user_update.asp HTTP/1.1\r\nHost: site.test\r\nContent-Length: ";
        QTest::newRow("negative length") << post + "-100\r\n\r\nitemid=1" << QByteArray("400 Bad Request");
        QTest::newRow("length not a number") << post + "ten\r\n\r\n" << QByteArray("400 Bad Request");
        QTest::newRow("lengths disagree") << post + "3\r\nContent-Length: 4\r\n\r\nabcd" << QByteArray("400 Bad Request");
        QTest::newRow("length near 2^63") << post + "9223372036854775800\r\n\r\n" << QByteArray("413 Payload Too Large");
        QTest::newRow("body over the limit") << post + QByteArray::number(HttpLimits().body + 1) + "\r\n\r\n"
                                             << QByteArray("413 Payload Too Large");
        // Exactly the limit, so that the server has read every byte when it closes.
        QByteArray head = "GET / HTTP/1.1\r\nHost: site.test\r\nX-Filler: ";
        head += QByteArray(HttpLimits().head - head.size(), 'a');
        QTest::newRow("head over the limit") << head << QByteArray("431 Request Header Fields Too Large");
    }
    void refusesMalformedAndOversizeRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        Simulator sim;
        QVERIFY(sim.listen());
        QElapsedTimer t;
        t.start();
        const Answer a = exchange(sim, request);
        QVERIFY(a.closedByServer);
        QVERIFY(t.elapsed() < 2000);
        QVERIFY2(a.head.startsWith("HTTP/1.1 " + status + "\r\n"), a.head.left(80).constData());
        QVERIFY(sim.requests().isEmpty());
        QVERIFY(get(sim, "site.test", "/").head.startsWith("HTTP/1.1 200 OK"));
    }

    // The request parser on its own, with small limits (head 128 bytes, body 32).
    void parseRequest_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("size");            // Complete: consumed; NeedMore: expected
        QTest::addColumn<QByteArray>("result");   // Complete: method, target, host; Error: status
        const QByteArray get = "GET /a?b=1 HTTP/1.1\r\nHost: X.test:81\r\n\r\n";
        const QByteArray post = "POST / HTTP/1.1\r\nContent-Length: ";
        const int postHead = post.size() + 6;   // with "10\r\n\r\n"
        const int needMore = ParsedRequest::NeedMore, complete = ParsedRequest::Complete, error = ParsedRequest::Error;
        QTest::newRow("empty") << QByteArray() << needMore << 0 << QByteArray();
        QTest::newRow("head unfinished") << get.left(30) << needMore << 0 << QByteArray();
        QTest::newRow("get, another behind it") << get + get << complete << int(get.size()) << QByteArray("GET /a?b=1 x.test");
        QTest::newRow("proxy form") << QByteArray("GET http://Item.test/p?q=1 HTTP/1.1\r\nHost: x\r\n\r\n") << complete << 48
                                    << QByteArray("GET /p?q=1 item.test");
        QTest::newRow("body unfinished") << post + "10\r\n\r\nabc" << needMore << postHead + 10 << QByteArray();
        QTest::newRow("body complete") << post + "10\r\n\r\n0123456789GET" << complete << postHead + 10
                                       << QByteArray("POST / ");
        QTest::newRow("head at the limit") << "GET / HTTP/1.1\r\nX: " + QByteArray(105, 'a') + "\r\n\r\n" << complete
                                           << 128 << QByteArray("GET / ");
        QTest::newRow("head over the limit") << "GET / HTTP/1.1\r\nX: " + QByteArray(106, 'a') + "\r\n\r\n" << error << 0
                                             << QByteArray("431 Request Header Fields Too Large");
        QTest::newRow("body at the limit") << post + "32\r\n\r\n" << needMore << postHead + 32 << QByteArray();
        const struct { const char *name, *length, *status; } bad[] = {
            {"body over the limit", "33", "413 Payload Too Large"},
            {"length near 2^63", "9223372036854775807", "413 Payload Too Large"},
            {"length of 30 digits", "123456789012345678901234567890", "413 Payload Too Large"},
            {"negative length", "-100", "400 Bad Request"},
            {"signed length", "+5", "400 Bad Request"},
            {"length not a number", "1e3", "400 Bad Request"},
            {"empty length", "", "400 Bad Request"},
            {"lengths disagree", "3\r\nContent-Length: 4", "400 Bad Request"},
        };
        for (const auto &b : bad)
            QTest::newRow(b.name) << post + b.length + "\r\n\r\nabcd" << error << 0 << QByteArray(b.status);
    }
    void parseRequest()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, outcome);
        QFETCH(int, size);
        QFETCH(QByteArray, result);
        const ParsedRequest p = ::parseRequest(input, HttpLimits{128, 32});
        QCOMPARE(int(p.outcome), outcome);
        if (outcome == ParsedRequest::NeedMore)
            QCOMPARE(int(p.expected), size);
        if (outcome == ParsedRequest::Error)
            QCOMPARE(p.status, result);
        if (outcome != ParsedRequest::Complete)
            return;
        const SimRequest &r = p.request;
        QCOMPARE(int(p.consumed), size);
        QCOMPARE(r.method + ' ' + r.target + ' ' + r.host, result);
        QCOMPARE(r.raw, input.left(size));
        QCOMPARE(r.body, r.raw.mid(r.raw.indexOf("\r\n\r\n") + 4));
    }

    void requestRecordIsBounded()
    {
        SimOptions o;
        o.recordCount = 3;
        Simulator sim(o);
        QVERIFY(sim.listen());
        QByteArray pipelined;
        for (int i = 1; i <= 5; ++i)
            pipelined += "GET /" + QByteArray::number(i) + " HTTP/1.1\r\nHost: site.test\r\n"
                         + (i == 5 ? "Connection: close\r\n\r\n" : "\r\n");
        QVERIFY(exchange(sim, pipelined).closedByServer);
        QStringList targets;
        for (const SimRequest &r : sim.requests())
            targets << QString::fromLatin1(r.target);
        QCOMPARE(targets, QStringList({"/3", "/4", "/5"}));

        // A byte budget as well: two posts of 317 bytes do not fit into 500.
        sim.clearRequests();
        sim.options().recordBytes = 500;
        const QByteArray post = "POST /x HTTP/1.1\r\nHost: site.test\r\nConnection: close\r\nContent-Length: 240\r\n\r\n";
        exchange(sim, post + QByteArray(240, 'a'));
        exchange(sim, post + QByteArray(240, 'b').replace(0, 3, "end"));
        QCOMPARE(sim.requests().size(), 1);
        const SimRequest &last = sim.requests().first();
        QCOMPARE(last.body, "end" + QByteArray(237, 'b'));
        QCOMPARE(last.raw, post + last.body);
        // The body is the tail of the raw bytes, not a second copy of them.
        QCOMPARE(last.body.constData(), last.raw.constData() + post.size());
    }

    void closesIdleConnections_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("slowMs");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("silent") << QByteArray() << 0 << QByteArray();
        QTest::newRow("head unfinished") << QByteArray("GET / HTTP/1.1\r\nHost: site.test\r\n") << 0 << QByteArray();
        QTest::newRow("body unfinished") << QByteArray("POST / HTTP/1.1\r\nHost: site.test\r\nContent-Length: 9\r\n\r\nabc")
                                         << 0 << QByteArray();
        QTest::newRow("idle after an answer") << QByteArray("GET / HTTP/1.1\r\nHost: site.test\r\n\r\n") << 0
                                              << QByteArray("HTTP/1.1 200 OK");
        // The time-out counts the client's silence, not the server's.
        QTest::newRow("answer slower than the time-out") << QByteArray("GET / HTTP/1.1\r\nHost: site.test\r\n\r\n")
                                                         << 300 << QByteArray("HTTP/1.1 200 OK");
    }
    void closesIdleConnections()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, slowMs);
        QFETCH(QByteArray, answer);
        SimOptions o;
        o.idleTimeoutMs = 100;
        o.slowMs = slowMs;
        Simulator sim(o);
        QVERIFY(sim.listen());
        QElapsedTimer t;
        t.start();
        const Answer a = exchange(sim, request);
        QVERIFY(a.closedByServer);
        QVERIFY(t.elapsed() < 2000);
        QVERIFY(a.head.startsWith(answer));
        QCOMPARE(a.head.isEmpty(), answer.isEmpty());
    }

    // Accepting fails while no descriptor is free; once there are free ones again, the
    // waiting client is served.
    void servesAgainAfterRunningOutOfDescriptors()
    {
        Simulator sim;
        QVERIFY(sim.listen());
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        struct Restore {
            rlimit limit;
            ~Restore() { setrlimit(RLIMIT_NOFILE, &limit); }
        } restore{saved};

        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, sim.port());
        QVERIFY(client.waitForConnected(2000));   // queued in the kernel, not accepted yet
        client.write("GET / HTTP/1.1\r\nHost: site.test\r\nConnection: close\r\n\r\n");
        const int lowestFree = ::open("/dev/null", O_RDONLY);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        rlimit low = saved;
        low.rlim_cur = rlim_t(lowestFree);   // no new descriptor at all
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        QTest::qWait(300);
        QCOMPARE(client.bytesAvailable(), 0);   // accepting did fail

        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT((reply += client.readAll()).contains("\r\n\r\n"), 3000);
        QVERIFY(reply.startsWith("HTTP/1.1 200 OK"));
    }

    void redirectAddressCannotAddHeaders_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("plain") << QByteArray("http%3A%2F%2Fitem.taobao.com%2Fitem.htm%3Fid%3D1") << QByteArray("302 Found");
        QTest::newRow("CR LF") << QByteArray("http://a/%0D%0ASet-Cookie:%20x=1%0D%0A%0D%0AHTTP/1.1%20200%20OK")
                               << QByteArray("400 Bad Request");
        QTest::newRow("LF") << QByteArray("http://a/%0ASet-Cookie:%20x=1") << QByteArray("400 Bad Request");
        QTest::newRow("NUL") << QByteArray("http://a/%00x") << QByteArray("400 Bad Request");
    }
    void redirectAddressCannotAddHeaders()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, status);
        Simulator sim;
        QVERIFY(sim.listen());
        const Answer a = exchange(sim, "GET /go.asp?url=" + url + " HTTP/1.1\r\nHost: site.test\r\nConnection: close\r\n\r\n");
        QVERIFY2(a.head.startsWith("HTTP/1.1 " + status + "\r\n"), a.head.constData());
        QVERIFY(!a.head.contains("Set-Cookie"));
        QVERIFY(!a.body.contains("HTTP/1.1"));
        if (status.startsWith("302"))
            QVERIFY(a.head.contains("\r\nLocation: " + QByteArray::fromPercentEncoding(url) + "\r\n"));
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
