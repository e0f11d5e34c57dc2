#include "convert/convertchannel.h"
#include "convert/convrequest.h"
#include "web/fetch.h"
#include "httpstub.h"
#include "outside/outside.h"
#include "sim/simulator.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kReading = QStringLiteral("状态：正在读取");
const QString kSucceeded = QStringLiteral("状态：成功，正在分析数据");
const QString kFailed = QStringLiteral("状态：获取数据失败");
const QString kTimedOut = QStringLiteral("连接超时，正在断开重试");

const QByteArray kApp = "%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97";
const QByteArray kItemHead = "format=xml&method=taobao.taobaoke.items.convert&restId=2&api_soure=0&app_key=" + kApp
                             + "&app_secret=" + kApp
                             + "&sip_http_method=POST&codeType=.NET&fields=click_url&nick=&outer_code=&num_iids=";
const QByteArray kShopHead = "format=xml&method=taobao.taobaoke.shops.convert&restId=2&api_soure=0&app_key=" + kApp
                             + "&app_secret=" + kApp + "&sip_http_method=POST&codeType=.NET&fields=click_url&sids=";
const QString kItem = QStringLiteral("520000000148");
const QString kOtherItem = QStringLiteral("520000000259");
const QString kShop = QStringLiteral("73216045");

// A conversion as one of the program's three callers asks for it.
struct Caller {
    const char *kind;
    int channel;
    bool retry, reconnect;
};
const Caller kItemCaller{"item", 1, true, false};
const Caller kShopCaller{"shop", 1, true, true};
const Caller kManualCaller{"manual", 2, false, true};

const Caller &callerOf(const QString &kind)
{
    return kind == QLatin1String("item") ? kItemCaller : kind == QLatin1String("shop") ? kShopCaller : kManualCaller;
}

// The simulator's links name their publisher ID and the converted ID last.
bool isLinkOf(const QString &link, const QString &id, const QString &pid)
{
    return link.startsWith(QStringLiteral("http://s.click.taobao.com/t?e="))
           && link.endsWith(QStringLiteral("&pid=") + pid + QStringLiteral("&unid=") + id) && !link.contains(u"amp;");
}

// Answers the first request on each connection with the chunks, a little apart; then closes,
// or, when endless, keeps writing for as long as the client reads.
class ScriptedServer : public QTcpServer
{
public:
    QList<QByteArray> chunks;
    bool endless = false;
    qint64 written = 0;
    bool clientClosed = false;

    ScriptedServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (s->property("answered").toBool() || !s->peek(1 << 16).contains("\r\n\r\n"))
                        return;
                    s->setProperty("answered", true);
                    answer(s, 0);
                });
                connect(s, &QTcpSocket::disconnected, s, [this, s] {
                    clientClosed = true;
                    s->deleteLater();
                });
            }
        });
    }

private:
    void answer(QTcpSocket *s, int next)
    {
        if (s->state() != QAbstractSocket::ConnectedState)
            return;
        if (next < chunks.size()) {
            written += s->write(chunks.at(next));
            QTimer::singleShot(30, s, [this, s, next] { answer(s, next + 1); });
        } else if (endless) {
            const QByteArray filler(64 * 1024, 'a');
            if (s->bytesToWrite() < 4 * filler.size())
                written += s->write(filler);
            QTimer::singleShot(1, s, [this, s, next] { answer(s, next); });
        } else {
            s->disconnectFromHost();
        }
    }
};

} // namespace

class TestConvert : public QObject
{
    Q_OBJECT
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<ConvertChannel> channels[2];
    QStringList statuses;
    QStringList events;
    QStringList reasons;   // why each job that failed did, in order
    QStringList delivered;   // the ID of each job that got a reply

    void pointAt(quint16 port)
    {
        qputenv("VELORIX_CONNECT_TO", QByteArray("127.0.0.1:") + QByteArray::number(port));
    }
    ConvertChannel &channel(int number) { return *channels[number - 1]; }

    // What the program's callers would send; the events name the kind and what came back.
    // An item caller that is handed its conversion back asks again, as Step 2 does.
    ConvertJob job(const QString &kind, const QString &id, const QString &pid = outside::builtinPid,
                   QObject *context = nullptr)
    {
        const Caller &caller = callerOf(kind);
        ConvertJob j;
        j.kind = kind;
        j.body = kind == QLatin1String("shop") ? shopConvertBody(id, pid) : itemConvertBody(id, pid);
        j.retryFailedReply = caller.retry;
        j.reconnectOnTimeout = caller.reconnect;
        j.context = context ? context : this;
        j.done = [this, kind, id, pid, caller](const ConvertResult &r) {
            switch (r.outcome) {
            case ConvertResult::Outcome::Replied: {
                const QString &link = r.clickurl;
                delivered << id;
                events << kind + (link.isEmpty()           ? QStringLiteral(" replied")
                                  : isLinkOf(link, id, pid) ? QStringLiteral(" replied its link")
                                                            : QStringLiteral(" replied ") + link);
                break;
            }
            case ConvertResult::Outcome::FailedReply:
                events << kind + QStringLiteral(" failed");
                break;
            case ConvertResult::Outcome::TimedOut:
                events << kind + QStringLiteral(" timedOut");
                if (kind == QLatin1String("item"))
                    channel(caller.channel).request(job(kind, id, pid));
                break;
            case ConvertResult::Outcome::GaveUp:
                events << kind + QStringLiteral(" gave up");
                break;
            }
            reasons << r.reason;
        };
        return j;
    }
    // Sets what the simulator does with the next conversion request.
    void fault(const QString &what)
    {
        SimOptions &o = sim->options();
        o.convertFailEvery = what == QLatin1String("fail");
        o.convertHangEvery = what == QLatin1String("hang");
        o.convertNoLinkEvery = what == QLatin1String("nolink");
    }
    bool idle(int number)
    {
        const QTimer *timer = channel(number).findChild<QTimer *>(QStringLiteral("Timer%1").arg(number + 4),
                                                                 Qt::FindDirectChildrenOnly);
        return timer && !channel(number).busy() && !timer->isActive();
    }

private slots:
    void init()
    {
        sim = std::make_unique<Simulator>();
        QVERIFY(sim->listen());
        pointAt(sim->port());
        statuses.clear();
        events.clear();
        delivered.clear();
        for (int n = 1; n <= 2; ++n) {
            channels[n - 1] = std::make_unique<ConvertChannel>(n);
            channel(n).setTimeoutInterval(300);
            channel(n).setRetryInterval(100);
            connect(&channel(n), &ConvertChannel::status, this, [this](const QString &s) { statuses << s; });
        }
    }
    void cleanup()
    {
        channels[0].reset();
        channels[1].reset();
        sim.reset();
    }

    void requestIsSentByteForByte_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("pid");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("length");

        const QByteArray itemBody = kItemHead + kItem.toLatin1() + "&pid=16243710&is_mobile=&session=";
        QTest::newRow("item") << "item" << kItem << outside::builtinPid << itemBody << int(itemBody.size());
        const QByteArray shopBody = kShopHead + kShop.toLatin1() + "&nick=&outer_code=&pid=16243710&session=";
        QTest::newRow("shop") << "shop" << kShop << outside::builtinPid << shopBody << int(shopBody.size());
        const QByteArray emptyPid = kItemHead + kItem.toLatin1() + "&pid=&is_mobile=&session=";
        QTest::newRow("empty publisher ID") << "manual" << kItem << "" << emptyPid << int(emptyPid.size());
        const QByteArray typed = kItemHead + kItem.toLatin1() + "&pid=mm_\xe6\xb5\x8b\xe8\xaf\x95&is_mobile=&session=";
        QTest::newRow("publisher ID typed in Chinese")
            << "manual" << kItem << QString::fromUtf8("mm_测试") << typed << int(typed.size());
        const QByteArray tail = "&pid=16243710&is_mobile=&session=";
        const QByteArray longId(412 - kItemHead.size() - tail.size(), '7');
        QTest::newRow("412 characters") << "item" << QString::fromLatin1(longId) << outside::builtinPid
                                        << kItemHead + longId + tail << 412;
    }
    void requestIsSentByteForByte()
    {
        QFETCH(QString, kind);
        QFETCH(QString, id);
        QFETCH(QString, pid);
        QFETCH(QByteArray, body);
        QFETCH(int, length);
        const QByteArray expected =
            "POST /apitools/getResult.htm HTTP/1.0\r\n"
            "Accept: */*\r\n"
            "Accept-Language: zh-cn\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Referer: http://api.taobao.com/apitools/apiTools.htm\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Mozilla/4.0 (compatible; MSIE 6.0; "
            "Windows NT 5.1; SV1) ; .NET CLR 2.0.50727)\r\n"
            "Host: api.taobao.com\r\n"
            "Content-Length:"
            + QByteArray::number(length) + "\r\n\r\n" + body;

        channel(callerOf(kind).channel).request(job(kind, id, pid));
        QTRY_COMPARE(events, QStringList{kind + " replied its link"});
        QCOMPARE(sim->toolRequests().size(), 1);
        QCOMPARE(sim->toolRequests().last().raw, expected);
    }

    void judgeReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("clickurl");

        const QString head = QStringLiteral("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n");
        const QString link = QStringLiteral("&lt;click_url&gt;http://s.click/t?e=1&lt;/click_url&gt;");
        QTest::newRow("mark in the status line") << head + link << true << "http://s.click/t?e=1";
        QTest::newRow("mark ends at the 50th character") << QString(44, 'x') + "200 OK" << true << "";
        QTest::newRow("mark crosses the 50th character") << QString(45, 'x') + "200 OK" << false << "";
        QTest::newRow("mark after the 50th character")
            << "HTTP/1.0 500 Internal Server Error\r\nServer: velorix-sim\r\n\r\n200 OK" + link << false
            << "http://s.click/t?e=1";
        QTest::newRow("mark in other letter case") << "HTTP/1.0 200 ok\r\n\r\n" + link << false
                                                   << "http://s.click/t?e=1";
        QTest::newRow("several links give the first")
            << head + "&lt;click_url&gt;http://a/1&lt;/click_url&gt;&lt;click_url&gt;http://b/2&lt;/click_url&gt;"
            << true << "http://a/1";
        QTest::newRow("escaped ampersands become plain")
            << head + "&lt;click_url&gt;http://s.click/t?e=9&amp;pid=1&amp;unid=2&lt;/click_url&gt;" << true
            << "http://s.click/t?e=9&pid=1&unid=2";
        QTest::newRow("every other amp; goes too")
            << head + "&lt;click_url&gt;http://s.click/t?e=camp;p&amp;amp;k=v&lt;/click_url&gt;" << true
            << "http://s.click/t?e=cp&k=v";
        QTest::newRow("the field's name alone is no link")
            << head + "<input name=\"fields\" value=\"click_url\">click_url: &lt;/click_url&gt;" << true << "";
        QTest::newRow("blanks around the link") << head + "&lt;click_url&gt;\n http://s.click/t?e=1 \n&lt;/click_url&gt;"
                                                << true << "http://s.click/t?e=1";
        QTest::newRow("CDATA in the escaped XML")
            << head + "&lt;click_url&gt;\n &lt;![CDATA[http://s.click/t?e=1&amp;pid=2]]&gt;\n&lt;/click_url&gt;" << true
            << "http://s.click/t?e=1&pid=2";
        QTest::newRow("XML") << head + "<r><click_url>http://s.click/t?e=1&amp;pid=2</click_url></r>" << true
                             << "http://s.click/t?e=1&pid=2";
        QTest::newRow("CDATA in XML") << head + "<click_url><![CDATA[ https://s.click/t?e=1&pid=2 ]]></click_url>" << true
                                      << "https://s.click/t?e=1&pid=2";
        QTest::newRow("JSON") << head + "{\"x\":{\"click_url\" : \"http:\\/\\/s.click\\/t?e=1\\u0026pid=2\"}}" << true
                              << "http://s.click/t?e=1&pid=2";
        QTest::newRow("JSON escaped on the page")
            << head + "{&quot;click_url&quot;:&quot;http:\\/\\/s.click\\/t?e=1&amp;pid=2&quot;}" << true
            << "http://s.click/t?e=1&pid=2";
        QTest::newRow("the first form in the reply wins")
            << head + "{\"click_url\":\"http://a/1\"}&lt;click_url&gt;http://b/2&lt;/click_url&gt;" << true << "http://a/1";
        QTest::newRow("not a web address") << head + "&lt;click_url&gt;javascript:alert(1)&lt;/click_url&gt;" << true << "";
        QTest::newRow("no host") << head + "<click_url>http:///t?e=1</click_url>" << true << "";
        QTest::newRow("quote inside") << head + "<click_url>http://s.click/t?e=\"x</click_url>" << true << "";
        QTest::newRow("CDATA left open") << head + "<click_url><![CDATA[http://s.click/t?e=1</click_url>" << true << "";
        QTest::newRow("JSON string left open") << head + "{\"click_url\":\"http://s.click/t?e=1" << true << "";
        QTest::newRow("blank") << head + "&lt;click_url&gt; &lt;/click_url&gt;" << true << "";
    }
    void judgeReply()
    {
        QFETCH(QString, reply);
        QFETCH(bool, ok);
        QFETCH(QString, clickurl);
        const ConvertReply judged = ::judgeReply(reply);
        QCOMPARE(judged.ok, ok);
        QCOMPARE(judged.clickurl, clickurl);
    }

    void taokeiurlUsesTheGetForm_data()
    {
        QTest::addColumn<int>("cla");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("query");
        const QByteArray common = "format=xml&method=taobao.taobaoke.%1.convert&restId=2&api_soure=0&app_key=" + kApp
                                  + "&app_secret=" + kApp + "&sip_http_method=GET&codeType=%2&fields=click_url";
        QTest::newRow("item") << 0 << kItem
                              << QByteArray(common).replace("%1", "items").replace("%2", ".NET")
                                     + "&nick=&outer_code=&num_iids=" + kItem.toLatin1()
                                     + "&pid=16243710&is_mobile=&session=";
        QTest::newRow("shop") << 2 << kShop
                              << QByteArray(common).replace("%1", "shops").replace("%2", "JAVA") + "&sids="
                                     + kShop.toLatin1() + "&nick=&outer_code=&pid=16243710&session=";
    }
    void taokeiurlUsesTheGetForm()
    {
        QFETCH(int, cla);
        QFETCH(QString, id);
        QFETCH(QByteArray, query);
        QString link = QStringLiteral("<none>");
        WebService web;
        taokeiurl(web, id, cla, this, [&](const QString &l, const FetchResult &) { link = l; });
        QTRY_VERIFY(link != QLatin1String("<none>"));
        QVERIFY2(isLinkOf(link, id, outside::builtinPid), qPrintable(link));
        const SimRequest r = sim->toolRequests().last();
        QCOMPARE(r.target, "/apitools/getResult.htm?" + query);
        QCOMPARE(r.header("Referer"), QByteArray("http://api.taobao.com/apitools/apiTools.htm"));
    }

    // Each row: what the simulator does with each request in turn ("ok", "nolink", "fail",
    // "hang"), the channel's time-out, the status texts and callbacks that follow, the least
    // time before each timer tick and the most the whole conversion may take.
    void attemptsRunTheirCourse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("expectedStatuses");
        QTest::addColumn<QStringList>("expectedEvents");
        QTest::addColumn<int>("minTickMs");
        QTest::addColumn<int>("maxMs");
        const QString R = kReading, S = kSucceeded, F = kFailed, T = kTimedOut;
        using L = QStringList;

        QTest::newRow("item") << "item" << L{"ok"} << 5000 << L{R, S} << L{"item replied its link"} << 0 << 2000;
        QTest::newRow("shop") << "shop" << L{"ok"} << 5000 << L{R, S} << L{"shop replied its link"} << 0 << 2000;
        QTest::newRow("manual") << "manual" << L{"ok"} << 5000 << L{R, S} << L{"manual replied its link"} << 0
                                << 2000;
        QTest::newRow("no link") << "item" << L{"nolink"} << 5000 << L{R, S} << L{"item replied"} << 0 << 2000;
        // A failed reply is retried after the retry interval (100 ms), long before the time-out.
        QTest::newRow("item fails, asked again") << "item" << L{"fail", "ok"} << 5000 << L{R, F, T, R, S}
                                                 << L{"item timedOut", "item replied its link"} << 90 << 2000;
        QTest::newRow("shop fails, reconnects") << "shop" << L{"fail", "ok"} << 5000 << L{R, F, T, R, S}
                                                << L{"shop replied its link"} << 90 << 2000;
        QTest::newRow("manual fails, no retry") << "manual" << L{"fail"} << 5000 << L{R, F} << L{"manual failed"}
                                                << 0 << 2000;
        QTest::newRow("item hangs, handed back") << "item" << L{"hang", "ok"} << 300 << L{R, T, R, S}
                                                 << L{"item timedOut", "item replied its link"} << 270 << 2000;
        QTest::newRow("shop hangs, reconnects") << "shop" << L{"hang", "ok"} << 300 << L{R, T, R, S}
                                                << L{"shop replied its link"} << 270 << 2000;
        QTest::newRow("manual hangs, reconnects") << "manual" << L{"hang", "ok"} << 300 << L{R, T, R, S}
                                                  << L{"manual replied its link"} << 270 << 2000;
        // After a failed reply the retry comes after the retry interval, and the reconnected
        // attempt has the whole time-out again: a tool slower than the retry interval is still
        // waited for.
        QTest::newRow("shop fails, then hangs") << "shop" << L{"fail", "hang", "ok"} << 300
                                                << L{R, F, T, R, T, R, S} << L{"shop replied its link"} << 90 << 2000;
    }
    void attemptsRunTheirCourse()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, script);
        QFETCH(int, timeoutMs);
        QFETCH(QStringList, expectedStatuses);
        QFETCH(QStringList, expectedEvents);
        QFETCH(int, minTickMs);
        QFETCH(int, maxMs);
        const int number = callerOf(kind).channel;
        channel(number).setTimeoutInterval(timeoutMs);

        int attempt = 0;
        QList<qint64> ticks;   // each timer tick, after the start of what it ends
        QElapsedTimer clock, since;
        QObject scope;
        connect(&channel(number), &ConvertChannel::status, &scope, [&](const QString &s) {
            if (s == kReading)   // connected: the request goes out right after
                fault(script.value(attempt++, QStringLiteral("ok")));
            else if (s == kTimedOut)
                ticks << since.restart();
            else if (s == kFailed)
                since.restart();   // the retry interval runs from here
        });
        clock.start();
        since.start();
        const QString id = kind == QLatin1String("shop") ? kShop : kItem;
        channel(number).request(job(kind, id));

        QTRY_COMPARE_WITH_TIMEOUT(events, expectedEvents, 5000);
        const qint64 took = clock.elapsed();
        QCOMPARE(statuses, expectedStatuses);
        QCOMPARE(sim->toolRequests().size(), script.size());
        QVERIFY(idle(number));
        for (qint64 ms : ticks)
            QVERIFY2(ms >= minTickMs, qPrintable(QString::number(ms)));
        if (script.size() > 1 && script.at(1) == QLatin1String("hang"))
            QVERIFY2(ticks.last() >= timeoutMs - 30, qPrintable(QString::number(ticks.last())));
        QVERIFY2(took < maxMs, qPrintable(QString::number(took)));
    }

    void refusedConnectionEndsThroughTheTimer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("expectedEvents");
        QTest::newRow("item, handed back") << "item" << QStringList{"item timedOut", "item replied its link"};
        QTest::newRow("manual, reconnects") << "manual" << QStringList{"manual replied its link"};
    }
    void refusedConnectionEndsThroughTheTimer()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, expectedEvents);
        quint16 closedPort;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        pointAt(closedPort);
        QObject scope;
        connect(&channel(callerOf(kind).channel), &ConvertChannel::status, &scope, [&](const QString &s) {
            if (s == kTimedOut)
                pointAt(sim->port());
        });
        QElapsedTimer clock;
        clock.start();
        channel(callerOf(kind).channel).request(job(kind, kItem));
        QTRY_COMPARE(events, expectedEvents);
        QCOMPARE(statuses, (QStringList{kTimedOut, kReading, kSucceeded}));
        QVERIFY2(clock.elapsed() >= 280, qPrintable(QString::number(clock.elapsed())));
    }

    // A job that retries on its own gives up after its attempts, so no caller waits for ever.
    void retryingJobGivesUpAfterItsAttempts()
    {
        sim->options().convertHangEvery = 1;
        ConvertJob j = job("manual", kItem);
        j.maxAttempts = 3;
        channel(2).request(std::move(j));
        QTRY_COMPARE_WITH_TIMEOUT(events, QStringList{"manual gave up"}, 3000);
        QCOMPARE(sim->toolRequests().size(), 3);
        QVERIFY(idle(2));
    }

    // A job that retries until it succeeds does not keep the channel from the jobs behind it:
    // with the tool failing every shop conversion, the item waiting behind still gets its link.
    void retryingJobLetsTheOthersThrough()
    {
        HttpStub tool([](QTcpSocket *s, const QByteArray &request) {
            if (request.contains("shops.convert")) {
                s->write("HTTP/1.0 500 Internal Server Error\r\n\r\nbusy");
            } else {
                const QByteArray id = request.mid(request.indexOf("num_iids=") + 9).split('&').first();
                s->write("HTTP/1.0 200 OK\r\n\r\n&lt;click_url&gt;http://s.click.taobao.com/t?e=1&amp;pid=16243710&amp;unid=" + id
                         + "&lt;/click_url&gt;");
            }
            s->disconnectFromHost();
        });
        pointAt(tool.serverPort());
        channel(1).request(job("shop", kShop));
        QTRY_VERIFY(statuses.contains(kFailed));
        channel(1).request(job("item", kItem));
        QTRY_COMPARE_WITH_TIMEOUT(events, QStringList{"item replied its link"}, 3000);
        QCOMPARE(channel(1).currentKind(), QStringLiteral("shop"));   // still trying, at the back
    }

    void droppedJobsDeliverNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("survivor");
        QTest::newRow("aborted in flight") << "abort item" << "shop";
        QTest::newRow("aborted in line") << "abort shop" << "item";
        QTest::newRow("its caller gone") << "delete caller" << "shop";
    }
    // An item conversion in flight and a shop conversion in line; one of them is dropped.
    void droppedJobsDeliverNothing()
    {
        QFETCH(QString, how);
        QFETCH(QString, survivor);
        sim->options().slowMs = 150;
        ConvertChannel &one = channel(1);
        auto *caller = new QObject(this);
        one.request(job("item", kItem, outside::builtinPid, caller));
        one.request(job("shop", kShop));
        QTRY_COMPARE(statuses, QStringList{kReading});
        // The item's request has reached the tool, whose answer is on its way, before the drop.
        QTRY_COMPARE(sim->toolRequests().size(), 1);
        if (how == QLatin1String("delete caller"))
            delete caller;
        else
            one.abort(how.section(' ', 1));
        // The channel lets go of a dropped job at once, a caller's end included.
        const bool itemDropped = survivor == QLatin1String("shop");
        QCoreApplication::sendPostedEvents(&one, QEvent::MetaCall);
        QCOMPARE(one.currentKind(), itemDropped ? QStringLiteral("shop") : QStringLiteral("item"));
        // A delivery of the dropped job would come first: its reply was due before the other's.
        QTRY_COMPARE(events, QStringList{survivor + " replied its link"});
        // The dropped item's reply is never judged.
        const QStringList expected = itemDropped ? QStringList{kReading, kReading, kSucceeded}
                                                 : QStringList{kReading, kSucceeded};
        QCOMPARE(statuses, expected);
        QCOMPARE(sim->toolRequests().size(), itemDropped ? 2 : 1);
        QVERIFY(idle(1));
    }

    void jobsOfOtherKindsGetTheirOwnLinks()
    {
        sim->options().slowMs = 100;
        channel(1).request(job("item", kItem));
        QTRY_COMPARE(statuses, QStringList{kReading});   // the item's request is out
        channel(1).request(job("shop", kShop));
        channel(2).request(job("manual", kOtherItem, "mm_1_2_3"));
        QCOMPARE(channel(1).currentKind(), QStringLiteral("item"));
        QTRY_COMPARE(events.size(), 3);
        // The item and the manual add run side by side; the shop waits for the item.
        QVERIFY(events.contains("manual replied its link"));
        QCOMPARE(events.filter("item") + events.filter("shop"),
                 (QStringList{"item replied its link", "shop replied its link"}));
        const QList<SimRequest> requests = sim->toolRequests();
        QVERIFY(requests.first().body.contains("num_iids=" + kItem.toLatin1()));
        QVERIFY(requests.last().body.contains("sids=" + kShop.toLatin1()));
        QVERIFY(idle(1) && idle(2));
    }

    void sameKindReplacesTheEarlier_data()
    {
        QTest::addColumn<bool>("afterSending");
        QTest::newRow("before it connects") << false;
        QTest::newRow("after its request went out") << true;
    }
    void sameKindReplacesTheEarlier()
    {
        QFETCH(bool, afterSending);
        sim->options().slowMs = 100;
        channel(2).request(job("manual", kItem));
        if (afterSending)
            QTRY_COMPARE(sim->toolRequests().size(), 1);
        channel(2).request(job("manual", kOtherItem));
        // Had the earlier request been kept, its reply would come first.
        QTRY_COMPARE(events, QStringList{"manual replied its link"});
        QCOMPARE(delivered, QStringList{kOtherItem});
        QVERIFY(sim->toolRequests().last().body.contains("num_iids=" + kOtherItem.toLatin1()));
        QCOMPARE(sim->toolRequests().size(), afterSending ? 2 : 1);
    }

    void localServerReplies_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("endless");
        QTest::addColumn<QStringList>("expectedEvents");
        const QByteArray head = "HTTP/1.0 200 OK\r\n\r\n&lt;click_url&gt;http://s.click/t?k=";
        // The UTF-8 bytes of "测" arrive in two parts.
        QTest::newRow("a character split between packets")
            << QList<QByteArray>{head + "\xe6\xb5", "\x8b&amp;z=1&lt;/click_url&gt;"} << false
            << QStringList{QString::fromUtf8("manual replied http://s.click/t?k=测&z=1")};
        QTest::newRow("a reply that never ends") << QList<QByteArray>{head} << true << QStringList{"manual failed"};
    }
    void localServerReplies()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, endless);
        QFETCH(QStringList, expectedEvents);
        ScriptedServer server;
        server.chunks = chunks;
        server.endless = endless;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        pointAt(server.serverPort());
        channel(2).setTimeoutInterval(5000);
        channel(2).request(job("manual", kItem));
        QTRY_COMPARE(events, expectedEvents);
        QCOMPARE(statuses.last(), endless ? kFailed : kSucceeded);
        if (endless) {
            // The client stopped it once the cap was passed.
            QTRY_VERIFY(server.clientClosed);
            QVERIFY(server.written > ConvertChannel::kMaxReplyBytes);
        }
        QVERIFY(idle(2));
    }

    void channelsCarryTheirNames()
    {
        QVERIFY(channel(1).findChild<QTcpSocket *>("Winsock1"));
        QVERIFY(channel(1).findChild<QTimer *>("Timer5"));
        QVERIFY(channel(2).findChild<QTcpSocket *>("Winsock2"));
        QVERIFY(channel(2).findChild<QTimer *>("Timer6"));
        QCOMPARE(ConvertChannel(1).timeoutInterval(), 10000);
        QCOMPARE(ConvertChannel(1).retryInterval(), 1000);
    }
};

QTEST_MAIN(TestConvert)
#include "tst_convert.moc"
