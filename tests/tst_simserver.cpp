// The simulator's server itself against what a hostile or broken client sends: malformed and
// oversize requests, idle connections, a full descriptor table, header injection.
#include "sim/http.h"
#include "simexchange.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

class TestSimServer : public QObject
{
    Q_OBJECT

    using Answer = SimAnswer;
    static Answer exchange(Simulator &sim, const QByteArray &request, int ms = 3000) { return simExchange(sim, request, ms); }
    static Answer get(Simulator &sim, const QString &host, const QString &target) { return simGet(sim, host, target); }

private slots:
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

};

QTEST_GUILESS_MAIN(TestSimServer)
#include "tst_simserver.moc"
