#include "httpstub.h"
#include "outside/outside.h"
#include "sim/simulator.h"
#include "web/cookiejar.h"
#include "web/fetch.h"
#include "web/inflate.h"
#include "web/md5.h"
#include "web/text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QPointer>
#include <QTcpServer>
#include <QtTest>

using Header = QPair<QByteArray, QByteArray>;
Q_DECLARE_METATYPE(FetchResult::Failure)

class TestFetch : public QObject
{
    Q_OBJECT
    std::unique_ptr<Simulator> sim;
    // Each case a fresh service: a hostile case's connections and cookies never reach the next.
    std::unique_ptr<WebService> web;
    const QString site = QStringLiteral("mirror.velorix.test");

    void pointAt(quint16 port)
    {
        qputenv("VELORIX_CONNECT_TO", QByteArray("127.0.0.1:") + QByteArray::number(port));
    }

    // Runs one fetch to its end; an answer "<none>" when none came in time.
    static FetchResult wait(const std::function<void(FetchDone)> &start, int ms = 5000)
    {
        FetchResult result = FetchResult::answer(QStringLiteral("<none>"), -1);
        QEventLoop loop;
        bool answered = false;
        start([&](const FetchResult &r) {
            result = r;
            answered = true;
            loop.quit();
        });
        if (!answered) {
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return result;
    }
    FetchResult fetch(const QString &address, const QString &charset = QStringLiteral("gb2312"))
    {
        return wait([&](FetchDone d) { web->gethtml(address, charset, this, d); });
    }
    FetchResult send(const QString &path, const QString &body)
    {
        return wait([&](FetchDone d) { web->httppost("http://" + site + path, site, QString(), body, "gb2312", this, d); });
    }
    QString get(const QString &address, const QString &charset = QStringLiteral("gb2312"))
    {
        return fetch(address, charset).text;
    }
    QString post(const QString &path, const QString &body)
    {
        return send(path, body).text;
    }
    // Logs in to the simulated site the way the program does.
    bool login()
    {
        const QString challenge = get("http://" + site + outside::loginPath + "?t=2026129")
                                      .remove(outside::challengeMarker);
        const QString digest = splitmd5(sim->options().sitePass);
        const QString sign = splitmd5(sim->options().siteUser + "_" + challenge + "_" + digest);
        return get("http://" + site + outside::loginPath + "?username=" + sim->options().siteUser + "&password="
                   + digest + "&sha1=" + sign + "&open=1&openurl=" + urlencode("http://s.click/t?a=1&b=2"))
               == outside::loginOk;
    }

    enum Kind { Get, Plain, Post };
    FetchResult fetchFrom(quint16 port, Kind kind, int ms = 8000)
    {
        pointAt(port);
        const QString address = "http://" + site + "/page";
        QObject asker;   // an answer that comes after the wait has nobody to go to
        return wait([&](FetchDone d) {
            switch (kind) {
            case Get: web->httpget(address, site, {}, "gb2312", &asker, d); break;
            case Plain: web->gethtml(address, "gb2312", &asker, d); break;
            case Post: web->httppost(address, site, {}, "a=1", "gb2312", &asker, d); break;
            }
        }, ms);
    }


private slots:
    void initTestCase()
    {
        SimOptions o;
        o.items = 30;
        o.goneShare = 0;
        sim = std::make_unique<Simulator>(o);
        QVERIFY(sim->listen());
        pointAt(sim->port());
    }
    void init()
    {
        web = std::make_unique<WebService>();
        sim->clearRequests();
        sim->options().compress.clear();
        sim->options().slowMs = 0;
        pointAt(sim->port());
    }

    void cleanup()
    {
        web.reset();
    }

    void falseAddressAnswersFalseWithoutARequest()
    {
        for (const QString &address : {QString(), QStringLiteral("$False$")}) {
            bool calledInside = true;
            QString result;
            QEventLoop loop;
            web->gethtml(address, "gb2312", this, [&](const FetchResult &r) {
                result = r.text;
                loop.quit();
            });
            calledInside = !result.isNull();
            loop.exec();
            QVERIFY(!calledInside);
            QCOMPARE(result, QStringLiteral("$False$"));
        }
        QVERIFY(sim->requests().isEmpty());
    }

    void gethtmlReadsAGb2312Page()
    {
        const SimItem &item = sim->items().at(3);
        const QString page = get(outside::itemPageAddress(item.id));
        QVERIFY2(page.contains("<title>" + item.title), qPrintable(page.left(300)));
        QVERIFY(page.contains(outside::keywordsBoilerplate));
        QCOMPARE(sim->requests().size(), 1);
        const SimRequest &r = sim->requests().first();
        QCOMPARE(r.header("Host"), outside::itemHost.toLatin1());
        QCOMPARE(r.target, "/item.htm?id=" + item.id.toLatin1());
    }

    void httpgetSendsTheBrowserHeaderSet()
    {
        const QString referer = "http://" + outside::apiToolHost + outside::apiToolRefererPath;
        const QString page = wait([&](FetchDone d) {
            web->httpget("http://" + outside::apiToolHost + outside::apiToolPath + "?num_iids=42&pid=1", outside::apiToolHost,
                    referer, "utf-8", this, d);
        }).text;
        QVERIFY(page.contains(outside::clickUrlStart));
        const SimRequest &r = sim->requests().last();
        QVERIFY(r.raw.startsWith("GET /apitools/getResult.htm?num_iids=42&pid=1 HTTP/1.1\r\n"));
        const QList<Header> expected = {
            {"Accept", "*/*"},
            {"Referer", referer.toLatin1()},
            {"Accept-Language", "zh-cn"},
            {"Accept-Encoding", "gzip, deflate"},
            {"User-Agent", outside::browserUserAgent().toLatin1()},
            {"Host", outside::apiToolHost.toLatin1()},
            {"Connection", "Keep-Alive"},
        };
        QCOMPARE(r.headers, expected);
    }

    void httppostSendsTheUploadHeaderSet()
    {
        const QString body = "itemid=1&title=" + urlencode("测试 宝贝") + "&money=9.90";
        const QString reply = post(outside::uploadPath, body);
        QVERIFY2(reply.contains(outside::relogMarker), qPrintable(reply));   // no login yet
        const SimRequest &r = sim->requests().last();
        QVERIFY(r.raw.startsWith("POST /admin/user_update.asp HTTP/1.1\r\n"));
        const QList<Header> expected = {
            {"Accept", "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
                       "application/x-silverlight, application/QVOD, application/QVOD, */*"},
            {"Content-Type", "application/x-www-form-urlencoded"},
            {"Referer", ""},
            {"Accept-Language", "zh-cn"},
            {"Accept-Encoding", "deflate"},
            {"User-Agent", outside::browserUserAgent().toLatin1()},
            {"Host", site.toLatin1()},
            {"Content-Length", QByteArray::number(body.size())},
            {"Cache-Control", "no-cache"},
        };
        // The site's session cookie may follow the set; the set itself comes first, in order.
        QCOMPARE(r.headers.mid(0, expected.size()), expected);
        QCOMPARE(r.body, body.toLatin1());
    }

    void cookiesOfOneRequestGoWithTheNext()
    {
        QVERIFY(login());
        const QList<SimRequest> &reqs = sim->requests();
        QVERIFY(reqs.first().header("Cookie").isEmpty());
        const QByteArray cookie = reqs.last().header("Cookie");
        QVERIFY(cookie.startsWith("ASPSESSIONIDVELORIX="));
        QCOMPARE(sim->lastOpenUrl(), QStringLiteral("http://s.click/t?a=1&b=2"));

        // The post carries the login of the plain fetches, and the site stores the item.
        const QString reply = post(outside::uploadPath, "itemid=77&title=" + urlencode("中文标题") + "&money=1");
        QCOMPARE(reply, outside::uploadOk);
        QCOMPARE(sim->requests().last().header("Cookie"), cookie);
        QCOMPARE(sim->published().value("77").value("title"), QStringLiteral("中文标题"));
        // Cookies belong to the host asked for, not to the address the switch connects to.
        QVERIFY(web->cookieJar()->cookiesForUrl(QUrl("http://" + outside::itemHost + "/")).isEmpty());
    }

    void compressedBodiesAreDecoded_data()
    {
        QTest::addColumn<QString>("coding");
        QTest::newRow("gzip") << "gzip";
        QTest::newRow("deflate") << "deflate";
    }
    void compressedBodiesAreDecoded()
    {
        QFETCH(QString, coding);
        const SimItem &item = sim->items().at(5);
        const QString address = outside::itemPageAddress(item.id);
        const QString plain = get(address);
        sim->options().compress = coding;
        const QString viaGet = wait([&](FetchDone d) { web->httpget(address, outside::itemHost, {}, "gb2312", this, d); }).text;
        QCOMPARE(viaGet, plain);
        QVERIFY(viaGet.contains(item.title));
        QCOMPARE(get(address), plain);   // the plain fetch leaves decoding to the network stack
        if (coding == QLatin1String("deflate")) {   // the post offers deflate only
            QVERIFY(login());
            QCOMPARE(post(outside::uploadPath, "itemid=5"), outside::uploadOk);
        }
    }

    // An error page is not the page asked for: it is a failure that names its status.
    void errorPagesAreFailures()
    {
        const FetchResult r = fetch("http://" + site + "/no-such-page");
        QCOMPARE(r.failure, FetchResult::Failure::ErrorStatus);
        QCOMPARE(r.status, 404);
        QCOMPARE(r.text, QString());
        QCOMPARE(r.reason(), QStringLiteral("网站返回错误 404"));
    }

    void redirectsAreFollowed()
    {
        const SimItem &item = sim->items().at(1);
        const QString target = outside::itemPageAddress(item.id);
        const QString page = get("http://" + site + "/go.asp?url=" + QUrl::toPercentEncoding(target));
        QVERIFY(page.contains(item.title));
        QCOMPARE(sim->requests().last().header("Host"), outside::itemHost.toLatin1());
        // A moved post is fetched again with GET, as a browser does.
        const QString viaPost = post("/go.asp?url=" + QUrl::toPercentEncoding(target), "a=1");
        QVERIFY(viaPost.contains(item.title));
        QCOMPARE(sim->requests().last().method, QByteArray("GET"));
        QCOMPARE(sim->requests().last().header("Host"), outside::itemHost.toLatin1());
    }

    void refusedConnectionSaysSo()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closed = probe.serverPort();
        probe.close();
        pointAt(closed);
        QElapsedTimer t;
        t.start();
        for (const FetchResult &r : {fetch(outside::itemPageAddress("1")), send(outside::uploadPath, "a=1")}) {
            QCOMPARE(r.failure, FetchResult::Failure::Refused);
            QCOMPARE(r.text, QString());
            QCOMPARE(r.reason(), QStringLiteral("连接被拒绝"));
            QVERIFY(!r.detail.isEmpty());   // the network stack's own words, for the log
        }
        QVERIFY(t.elapsed() < 4000);
    }

    void silentServerTimesOut()
    {
        sim->options().slowMs = 5000;
        web->setTransferTimeout(300);
        QElapsedTimer t;
        t.start();
        QCOMPARE(fetch(outside::itemPageAddress(sim->items().at(0).id)).failure, FetchResult::Failure::Timeout);
        QVERIFY(t.elapsed() < 3000);
    }

    void addressesThatAreNoneFailAtOnce_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("file") << "file:///etc/passwd";
        QTest::newRow("no host") << "http:///item.htm";
        QTest::newRow("ftp") << "ftp://item.taobao.com/x";
    }
    void addressesThatAreNoneFailAtOnce()
    {
        QFETCH(QString, address);
        QCOMPARE(fetch(address).failure, FetchResult::Failure::BadAddress);
        QVERIFY(sim->requests().isEmpty());
    }

    // A page cut off on the way is a failure, not a shorter page.
    void truncatedAnswerIsAFailure_data()
    {
        QTest::addColumn<bool>("serverCloses");
        QTest::addColumn<FetchResult::Failure>("failure");
        QTest::newRow("server closes mid-page") << true << FetchResult::Failure::CutOff;
        QTest::newRow("server stalls mid-page") << false << FetchResult::Failure::Timeout;
    }
    void truncatedAnswerIsAFailure()
    {
        QFETCH(bool, serverCloses);
        QFETCH(FetchResult::Failure, failure);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s, serverCloses] {
                s->readAll();
                s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n\r\n<html>half");
                if (serverCloses)
                    s->disconnectFromHost();
            });
        });
        pointAt(server.serverPort());
        web->setTransferTimeout(300);
        QCOMPARE(fetch(outside::itemPageAddress("1")).failure, failure);
        QCOMPARE(send(outside::uploadPath, "a=1").failure, failure);
    }

    // What a hostile or broken server sends must end as a failed fetch, soon and without
    // holding its bytes.
    void hostileBodiesFail_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<FetchResult::Failure>("failure");
        using F = FetchResult::Failure;
        const struct { const char *fault; F failure; } faults[] = {
            {"bomb", F::TooLarge},           {"endless", F::TooLarge},
            {"trickle", F::Timeout},         {"truncated-gzip", F::Undecodable},
            {"trailing-bytes", F::Undecodable}, {"endless-head", F::Timeout},
        };
        for (int k : {Get, Plain, Post}) {
            const char *name = k == Get ? "httpget" : k == Plain ? "gethtml" : "httppost";
            for (const auto &f : faults)
                QTest::addRow("%s %s", name, f.fault) << k << QString::fromLatin1(f.fault) << f.failure;
        }
    }
    void hostileBodiesFail()
    {
        QFETCH(int, kind);
        QFETCH(QString, fault);
        QFETCH(FetchResult::Failure, failure);
        // The post offers deflate only; the fetches take gzip as well.
        const bool gzip = kind != Post;
        const QByteArray coding = gzip ? "gzip" : "deflate";
        static const QByteArray bomb = deflateBody(QByteArray(40 << 20, 'a'), true);
        static const QByteArray bombZlib = deflateBody(QByteArray(40 << 20, 'a'), false);
        const QByteArray page = deflateBody(QByteArray(5000, 'p'), gzip);
        HttpStub stub([&](QTcpSocket *s, const QByteArray &) {
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: " + coding + "\r\n";
            if (fault == "bomb") {
                const QByteArray &b = gzip ? bomb : bombZlib;
                s->write(head + "Content-Length: " + QByteArray::number(b.size()) + "\r\n\r\n" + b);
            } else if (fault == "truncated-gzip" || fault == "trailing-bytes") {
                const QByteArray b = fault == "trailing-bytes" ? page + "junk" : page.left(page.size() - 20);
                s->write(head + "Content-Length: " + QByteArray::number(b.size()) + "\r\n\r\n" + b);
            } else if (fault == "endless-head") {
                // A header that never ends: the stack must give up on it, not keep it.
                s->write("HTTP/1.1 200 OK\r\nX-Filler: ");
                auto *t = new QTimer(s);
                connect(t, &QTimer::timeout, s, [s] {
                    if (s->bytesToWrite() < (4 << 20))
                        s->write(QByteArray(1 << 20, 'h'));
                });
                t->start(1);
            } else {
                // A body without an end: a megabyte at a time, or a byte now and then.
                s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n");
                auto *t = new QTimer(s);
                const bool trickle = fault == "trickle";
                connect(t, &QTimer::timeout, s, [s, trickle] {
                    if (s->bytesToWrite() < (4 << 20))
                        s->write(trickle ? QByteArray("x") : QByteArray(1 << 20, 'x'));
                });
                t->start(trickle ? 50 : 1);
            }
        });
        // Only the faults that never finish wait for the deadline; the others must end on their
        // own, however busy the machine.
        const bool waitsForDeadline = failure == FetchResult::Failure::Timeout;
        web->setTransferTimeout(waitsForDeadline ? 300 : 5000);
        web->setDeadline(waitsForDeadline ? 800 : 10000);
        QElapsedTimer t;
        t.start();
        const FetchResult r = fetchFrom(stub.serverPort(), Kind(kind));
        QCOMPARE(r.failure, failure);
        QCOMPARE(r.text, QString());
        QVERIFY2(t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));
    }

    void multiMemberGzipYieldsEveryMember_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("httpget") << int(Get);
        QTest::newRow("gethtml") << int(Plain);
    }
    void multiMemberGzipYieldsEveryMember()
    {
        QFETCH(int, kind);
        const QByteArray body = deflateBody("<p>one</p>", true) + deflateBody("<p>two</p>", true);
        HttpStub stub([&](QTcpSocket *s, const QByteArray &) {
            HttpStub::answer(s, body, "Content-Encoding: gzip\r\n");
        });
        QCOMPARE(fetchFrom(stub.serverPort(), Kind(kind)).text, QStringLiteral("<p>one</p><p>two</p>"));
    }

    // Any status of 400 and above, known to the network stack or not, is an error page.
    void errorStatusesAreFailures_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("418 with a page") << QByteArray("418 I'm a teapot") << QByteArray("<p>teapot</p>");
        QTest::newRow("503 with a page") << QByteArray("503 Service Unavailable") << QByteArray("<h1>503</h1>");
        QTest::newRow("404 without a body") << QByteArray("404 Not Found") << QByteArray();
        QTest::newRow("599 unknown") << QByteArray("599 Whatever") << QByteArray("x");
    }
    void errorStatusesAreFailures()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        HttpStub stub([&](QTcpSocket *s, const QByteArray &) { HttpStub::answer(s, body, {}, status); });
        for (int k : {Get, Plain, Post}) {
            const FetchResult r = fetchFrom(stub.serverPort(), Kind(k));
            QCOMPARE(r.failure, FetchResult::Failure::ErrorStatus);
            QCOMPARE(r.status, status.left(3).toInt());
            QCOMPARE(r.text, QString());
        }
    }

    // A kept-alive connection that the server has closed behind the client's back: the post is
    // sent again on a new one, body and all, instead of coming back empty.
    void postSurvivesAServerThatClosesAfterEachReply()
    {
        int empty = 0, bodiesMissing = 0;
        HttpStub stub([&](QTcpSocket *s, const QByteArray &request) {
            if (!request.endsWith("\r\n\r\nn=1"))
                ++bodiesMissing;
            HttpStub::answer(s, "OK");
            s->flush();
            s->disconnectFromHost();
        });
        pointAt(stub.serverPort());
        constexpr int kPosts = 1000;
        for (int i = 0; i < kPosts; ++i)
            if (post("/p", "n=1") != QLatin1String("OK"))
                ++empty;
        QCOMPARE(empty, 0);
        QCOMPARE(bodiesMissing, 0);
        QVERIFY(stub.requests >= kPosts);
    }

    void cookieJarKeepsTheNewestCookiesOfAHost()
    {
        int n = 0;
        HttpStub stub([&](QTcpSocket *s, const QByteArray &) {
            QByteArray cookies;
            for (int i = 0; i < 40; ++i, ++n)
                cookies += "Set-Cookie: c" + QByteArray::number(n) + "=v; path=/\r\n";
            HttpStub::answer(s, "x", cookies);
        });
        for (int i = 0; i < 10; ++i)
            QCOMPARE(fetchFrom(stub.serverPort(), Plain).text, QStringLiteral("x"));
        const QList<QNetworkCookie> kept = web->cookieJar()->cookiesForUrl(QUrl("http://" + site + "/"));
        QCOMPARE(kept.size(), WebService::kMaxCookiesPerHost);
        QStringList names;
        for (const QNetworkCookie &c : kept)
            names << QString::fromLatin1(c.name());
        QVERIFY(names.contains("c399"));
        QVERIFY(!names.contains("c0"));
    }

    // The request target keeps the meaning urlencode gave it: the network stack writes
    // unreserved characters plainly (%7E as ~), which every server decodes the same.
    void encodedTargetKeepsItsMeaning()
    {
        const QString value = QStringLiteral("a~b-c_d.e 女装/+&=");
        get("http://" + site + "/p?v=" + urlencode(value));
        const QByteArray sent = sim->requests().last().query("v");
        const QByteArray bytes = QByteArray::fromPercentEncoding(QByteArray(sent).replace('+', ' '));
        QCOMPARE(QString(QStringDecoder("GBK").decode(bytes)), value);
    }

    // The asker gone, its transfer goes too: the connection is closed, nothing is delivered.
    void transferIsAbortedWhenTheAskerIsGone()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QPointer<QTcpSocket> peer;
        bool closed = false;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::disconnected, this, [&] { closed = true; });
            connect(peer, &QTcpSocket::readyRead, peer, [&] {
                peer->readAll();
                peer->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<html>");
            });
        });
        pointAt(server.serverPort());
        auto *asker = new QObject;
        bool called = false;
        web->gethtml("http://" + site + "/slow", "gb2312", asker, [&](const FetchResult &) { called = true; });
        QTRY_VERIFY(peer && peer->bytesToWrite() == 0 && peer->isOpen());
        QTest::qWait(50);
        delete asker;
        QTRY_VERIFY_WITH_TIMEOUT(closed, 3000);
        QTest::qWait(50);
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestFetch)
#include "tst_fetch.moc"
