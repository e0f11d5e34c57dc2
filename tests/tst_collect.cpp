#include "cache/cachecleaner.h"
#include "httpstub.h"
#include "collect/manualadd.h"
#include "outside/outside.h"
#include "rig.h"
#include "store/itemstate.h"
#include "web/cookiejar.h"

#include <QDir>
#include <QRegularExpression>
#include <QFileInfo>

#include <QNetworkCookie>

// Steps 1 and 2, the manual add and the re-collection, driven through the session against
// the simulator as the window and the runner drive them.
class TestCollect : public QObject
{
    Q_OBJECT

    static SimOptions shop(int items, int goneShare = 0)
    {
        SimOptions o;
        o.items = items;
        o.goneShare = goneShare;
        return o;
    }
    static void setShop(Rig &r) { r.session.setShopAddress(r.sim.options().shopHost); }
    static int listRequests(const Simulator &sim)
    {
        int n = 0;
        for (const SimRequest &q : sim.requests())
            n += q.target.contains("pageNum=");
        return n;
    }

private slots:
    void freshRunStoresEveryListedItem()
    {
        Rig r(shop(57));
        setShop(r);
        QSignalSpy refills(&r.session, &Session::refillList);
        QCOMPARE(r.collect(CollectMode::Fresh), StepOutcome::Completed);
        QCOMPARE(r.count(), 57);
        QCOMPARE(r.count("state=0 AND itemstate=0"), 57);
        QCOMPARE(r.db().pageId().value, 3);
        QCOMPARE(refills.size(), 1);
        QCOMPARE(r.session.listStep().caption(), QStringLiteral("第一步：列表采集"));
        QCOMPARE(r.lastStatus(), QStringLiteral("宝贝列表读取完毕共计宝贝：57件，请采集宝贝详细信息"));
        QVERIFY(r.statuses.contains(QStringLiteral("正在读取第2/3页宝贝列表")));
        // Positions follow the shop's list: its first item is 1, the first of page 2 is 21.
        QCOMPARE(r.db().itemByItem(r.sim.items().at(0).id).value->byid, 1);
        QCOMPARE(r.db().itemByItem(r.sim.items().at(20).id).value->byid, 21);
        QCOMPARE(r.db().itemByItem(r.sim.items().at(3).id).value->title, r.sim.items().at(3).title);
    }

    void pauseThenResumeDuplicatesNothing()
    {
        Rig r(shop(60));
        setShop(r);
        ListStep &step = r.session.listStep();
        QSignalSpy ended(&step, &ListStep::ended);
        connect(&step, &ListStep::pageRead, &step, [&step](int page) {
            if (page == 1)
                step.click();   // the operator pauses while the first page is being stored
        });
        step.start(CollectMode::Resume);
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Paused);
        QCOMPARE(r.lastStatus(), QStringLiteral("用户暂停中"));
        QCOMPARE(step.caption(), QStringLiteral("第一步：继续采集"));
        QCOMPARE(r.db().pageId().value, 1);
        QCOMPARE(r.count(), 20);
        disconnect(&step, &ListStep::pageRead, nullptr, nullptr);

        // The click asks for the mode; resuming reads the last finished page again.
        QSignalSpy modeWanted(&r.session, &Session::modeWanted);
        step.click();
        QCOMPARE(modeWanted.size(), 1);
        QVERIFY(!r.session.shared().userpause);
        r.sim.clearRequests();
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QCOMPARE(r.count(), 60);
        QCOMPARE(listRequests(r.sim), 3);   // pages 1, 2 and 3
    }

    // Paused while a page is on its way, then the button pressed again (the mode is asked, the
    // pause flag cleared): the run still stops at its next tick.
    void pauseStandsWhenTheButtonIsPressedAgain()
    {
        SimOptions o = shop(60);
        o.slowMs = 100;
        Rig r(o);
        setShop(r);
        ListStep &step = r.session.listStep();
        QSignalSpy ended(&step, &ListStep::ended);
        step.start(CollectMode::Resume);
        QTRY_COMPARE(r.sim.requests().size(), 1);
        step.click();
        step.click();
        QCOMPARE(r.session.shared().userpause, false);
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Paused);
        QCOMPARE(r.count(), 20);
        QTest::qWait(200);
        QCOMPARE(r.sim.requests().size(), 1);
    }

    void resumeAfterACompleteRunKeepsStoredRows()
    {
        Rig r(shop(30));
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        const QString first = r.sim.items().at(0).id;
        r.exec("UPDATE itemlist SET state=3, title='上传过' WHERE item='" + first + "'");
        r.sim.clearRequests();
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QCOMPARE(listRequests(r.sim), 1);   // only the last page, read again
        QCOMPARE(r.count(), 30);
        QCOMPARE(r.db().itemByItem(first).value->state, 3);
        // A fresh run starts over: every row back to not collected, list data renewed.
        QCOMPARE(r.collect(CollectMode::Fresh), StepOutcome::Completed);
        QCOMPARE(r.db().itemByItem(first).value->state, 0);
        QCOMPARE(r.db().itemByItem(first).value->title, r.sim.items().at(0).title);
    }

    void freshStartResetsBeforeTheFirstPage()
    {
        Rig r(shop(5));
        setShop(r);
        QVERIFY(r.db().insertListed("1", "t", "", "", 1).ok());
        r.exec("UPDATE itemlist SET state=3, itemstate=1");
        r.db().setPageId(9);
        r.session.listStep().start(CollectMode::Fresh);
        QCOMPARE(r.count("state=0 AND itemstate=0"), 1);
        QCOMPARE(r.db().pageId().value, 0);
        // The profile as it was before is kept beside it.
        const QStringList copies = QFileInfo(r.profile.path()).dir().entryList({"Profile-*.db"});
        QCOMPARE(copies.size(), 1);
        QVERIFY(r.statuses.first().startsWith(QStringLiteral("已备份数据库：")));
        ProfileDb before;
        QCOMPARE(before.open(QFileInfo(r.profile.path()).dir().filePath(copies.first())), ProfileDb::OpenResult::Opened);
        QCOMPARE(before.itemByItem("1").value->state, 3);
        QCOMPARE(before.pageId().value, 9);
    }

    void noShopAddress()
    {
        Rig r(shop(5));
        QSignalSpy settings(&r.session, &Session::settingsWanted);
        QCOMPARE(r.collect(), StepOutcome::Stopped);
        const QString text = QStringLiteral("请先设置需采集的店铺地址");
        QCOMPARE(r.lastStatus(), text);
        QCOMPARE(r.notes.messages, QStringList{text});
        QCOMPARE(settings.size(), 1);
        QCOMPARE(r.session.listStep().caption(), QStringLiteral("第一步：继续采集"));
        QVERIFY(r.sim.requests().isEmpty());
    }

    void failedPageStopsTheRun()
    {
        SimOptions o = shop(45);
        o.listFailEvery = 2;
        Rig r(o);
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Stopped);
        QCOMPARE(r.lastStatus(), QStringLiteral("获取数据失败，请检查网络!"));
        QCOMPARE(r.session.listStep().caption(), QStringLiteral("第一步：继续采集"));
        QCOMPARE(r.db().pageId().value, 1);
        QCOMPARE(r.count(), 20);
    }

    // A page count that is not a number ends the run as a failed page does.
    void pageCountThatIsNotANumber()
    {
        Rig r(shop(5));
        r.session.setShopAddress(QStringLiteral("odd.test"));
        HttpStub odd([](QTcpSocket *s, const QByteArray &) {
            HttpStub::answer(s, "<div class=\"page-info\">1/\xb5\xda\xbc\xb8\xd2\xb3</div><div class=\"item\"><a href=\"x?id=1&\">");
        });
        qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(odd.serverPort()));
        QCOMPARE(r.collect(), StepOutcome::Stopped);
        QCOMPARE(r.session.listStep().caption(), QStringLiteral("第一步：继续采集"));
        QCOMPARE(r.count(), 0);
        QCOMPARE(r.db().pageId().value, 0);
    }

    void twentyFiveBlocksStoreTwenty()
    {
        SimOptions o = shop(45);
        o.page25 = 2;
        Rig r(o);
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QSqlQuery q(r.db().database());
        q.exec("SELECT min(byid), max(byid), count(*) FROM itemlist WHERE byid BETWEEN 21 AND 40");
        q.next();
        QCOMPARE(q.value(0).toInt(), 21);
        QCOMPARE(q.value(1).toInt(), 40);
        QCOMPARE(q.value(2).toInt(), 20);
    }

    void detailCollectsEveryItem()
    {
        Rig r(shop(12, 25));
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QSignalSpy texts(&r.session, &Session::workTexts);
        QCOMPARE(r.detail(), StepOutcome::Completed);
        QCOMPARE(r.session.detailStep().caption(), QStringLiteral("第二步：宝贝采集"));
        QCOMPARE(r.lastStatus(), QStringLiteral("所有宝贝详情采集完成，请编辑后更新至服务器"));
        int gone = 0;
        for (const SimItem &it : r.sim.items()) {
            const auto row = r.db().itemByItem(it.id).value;
            if (it.gone) {
                ++gone;
                QCOMPARE(row->itemstate, 1);
                QCOMPARE(row->state, 0);
                continue;
            }
            QCOMPARE(row->state, 1);
            QVERIFY2(row->click_url.endsWith("&pid=" + outside::builtinPid + "&unid=" + it.id), qPrintable(row->click_url));
            QVERIFY(!row->web_title.isEmpty() && !row->web_title.contains("淘宝"));
            QCOMPARE(row->web_url, outside::descriptionPrefix() + "i1/" + it.id + "/desc.js");
        }
        QVERIFY(gone > 0);
        QVERIFY(!texts.isEmpty());
        // With nothing left, a start ends at once without a request.
        r.sim.clearRequests();
        QCOMPARE(r.detail(), StepOutcome::Completed);
        QVERIFY(r.sim.requests().isEmpty());
    }

    // The progress of each step, from its own signals: pages of the page count, items done of
    // those waiting when it began; gone when the step ends.
    void progressFollowsTheSteps()
    {
        Rig r(shop(45, 20));
        setShop(r);
        QStringList seen;
        connect(&r.session.progress(), &Progress::changed, &r.session, [&](const QString &t) { seen << t; });
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QCOMPARE(seen.first(), QStringLiteral("第一步 0/0页"));
        QVERIFY(seen.contains(QStringLiteral("第一步 1/3页")));
        QVERIFY(seen.filter(QRegularExpression("^第一步 3/3页 · [0-9.]+页/秒$")).size() == 1);
        QCOMPARE(seen.last(), QString());
        QVERIFY(!r.session.progress().active());

        seen.clear();
        QCOMPARE(r.detail(), StepOutcome::Completed);
        QCOMPARE(seen.first(), QStringLiteral("第二步 0/45件"));
        QVERIFY(seen.filter(QRegularExpression("^第二步 10/45件 · [0-9.]+件/秒 · 约剩\\d+:\\d\\d$")).size() == 1);
        QVERIFY(seen.contains(QStringLiteral("第二步 45/45件")) || seen.filter(QRegularExpression("^第二步 45/45件 · ")).size() == 1);
        QCOMPARE(seen.last(), QString());
    }

    void detailTakesTheFarEndFirst()
    {
        Rig r(shop(4));
        for (const char *item : {"11", "12", "13"})
            QVERIFY(r.db().insertListed(item, item, "", "", 7).ok());
        QVERIFY(r.db().insertListed("14", "14", "", "", 2).ok());
        QCOMPARE(r.detail(), StepOutcome::Completed);
        QStringList order;
        for (const SimRequest &q : r.sim.toolRequests())
            order << QString::fromLatin1(q.body).section("num_iids=", 1).section('&', 0, 0);
        QCOMPARE(order, QStringList({"13", "12", "11", "14"}));
    }

    void detailConversionFaults_data()
    {
        QTest::addColumn<int>("failEvery");
        QTest::addColumn<int>("hangEvery");
        QTest::addColumn<int>("noLinkEvery");
        QTest::newRow("failed replies are retried") << 2 << 0 << 0;
        QTest::newRow("replies that never come") << 0 << 3 << 0;
        QTest::newRow("replies without a link") << 0 << 0 << 1;
    }
    void detailConversionFaults()
    {
        QFETCH(int, failEvery);
        QFETCH(int, hangEvery);
        QFETCH(int, noLinkEvery);
        SimOptions o = shop(6);
        o.convertFailEvery = failEvery;
        o.convertHangEvery = hangEvery;
        o.convertNoLinkEvery = noLinkEvery;
        Rig r(o);
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        r.exec("UPDATE itemlist SET click_url='old'");
        QCOMPARE(r.detail(), StepOutcome::Completed);
        QCOMPARE(r.count("state=1"), 6);
        for (const SimItem &it : r.sim.items()) {
            const QString link = r.db().itemByItem(it.id).value->click_url;
            // Each item has its own link, never another's; without a link, the old one stays.
            QVERIFY2(noLinkEvery ? link == "old" : link.endsWith("&unid=" + it.id), qPrintable(link));
        }
        if (failEvery)
            QVERIFY(r.statuses.contains(QStringLiteral("状态：获取数据失败")));
        if (hangEvery)
            QVERIFY(r.statuses.contains(QStringLiteral("连接超时，正在断开重试")));
    }

    // A tool that never converts stops the step after the item's attempts and one look at another
    // item's conversion, the rows as they were.
    void itemThatNeverConvertsStopsTheStep()
    {
        SimOptions o = shop(3);
        o.convertFailEvery = 1;
        Rig r(o);
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        QCOMPARE(r.detail(), StepOutcome::Stopped);
        QCOMPARE(r.sim.toolRequests().size(), DetailStep::kMaxAttemptsPerItem + 1);
        QVERIFY(r.lastStatus().endsWith(QStringLiteral("多次转换或读取失败，已暂停采集，请检查网络后继续")));
        QCOMPARE(r.session.detailStep().caption(), QStringLiteral("第二步：继续采集"));
        QCOMPARE(r.count("state=0 AND itemstate=0"), 3);
    }

    // Paused by its own button, Step 2 stays paused when another step clears the shared flag;
    // resumed while its item is still under way, it does not take that item twice.
    void pauseAndResumeOfStep2KeepToOneChain()
    {
        SimOptions o = shop(6);
        o.slowMs = 120;
        Rig r(o);
        setShop(r);
        QCOMPARE(r.collect(), StepOutcome::Completed);
        DetailStep &step = r.session.detailStep();
        QSignalSpy ended(&step, &DetailStep::ended);
        step.click();
        QTRY_COMPARE(r.sim.toolRequests().size(), 1);
        step.click();                               // pause, the first item under way
        r.session.shared().userpause = false;       // another step starts meanwhile
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Paused);
        QCOMPARE(r.count("state=1"), 1);

        r.sim.clearRequests();
        ended.clear();
        step.click();                               // resume
        QTRY_COMPARE(r.sim.toolRequests().size(), 1);
        step.click();                               // pause and resume while that item is under way
        step.click();
        QVERIFY(ended.wait(10000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Completed);
        QStringList items;
        for (const SimRequest &q : r.sim.toolRequests())
            items << QString::fromLatin1(q.body).section("num_iids=", 1).section('&', 0, 0);
        QCOMPARE(items.size(), 5);
        items.removeDuplicates();
        QCOMPARE(items.size(), 5);
    }

    // A page that does not come is never stored: the row keeps its texts and is tried again.
    void unreadablePageIsNotStored()
    {
        SimOptions o = shop(1);
        o.slowMs = 300;
        Rig r(o);
        r.web.setTransferTimeout(100);
        r.session.channel1().setTimeoutInterval(3000);
        const QString item = r.sim.items().at(0).id;
        QVERIFY(r.db().insertListed(item, "列表标题", "", "", 1).ok());
        r.exec("UPDATE itemlist SET web_title='旧标题', click_url='old'");
        QSignalSpy ended(&r.session.detailStep(), &DetailStep::ended);
        r.session.detailStep().click();
        QTRY_VERIFY_WITH_TIMEOUT(r.statuses.filter(QStringLiteral("页面读取失败")).size() >= 2, 8000);
        auto row = r.db().itemByItem(item).value;
        QCOMPARE(row->state, 0);
        QCOMPARE(row->web_title, QStringLiteral("旧标题"));
        QCOMPARE(row->click_url, QStringLiteral("old"));
        r.web.setTransferTimeout(3000);   // the network is back
        QVERIFY(ended.wait(8000));
        QCOMPARE(r.db().itemByItem(item).value->state, 1);
    }

    void cacheCleanerDropsTheMarketplaceOnly()
    {
        Rig r;
        auto *jar = r.web.cookieJar();
        const struct { const char *url; bool goes; } cookies[] = {
            {"http://item.taobao.com/", true}, {"http://detail.tmall.com/", true},
            {"http://shop.example.test/Taobao/x", false}, {"http://mirror.velorix.test/", false},
            {"http://taobao.mirror.test/", true},
        };
        for (const auto &c : cookies)
            jar->setCookiesFromUrl({QNetworkCookie("k", "v")}, QUrl(QString::fromLatin1(c.url)));
        QCOMPARE(r.session.cacheCleaner().run(), 3);
        for (const auto &c : cookies)
            QCOMPARE(jar->cookiesForUrl(QUrl(QString::fromLatin1(c.url))).isEmpty(), c.goes);
        // Loaded for half a second: a second clean-up meanwhile does nothing.
        jar->setCookiesFromUrl({QNetworkCookie("k", "v")}, QUrl("http://item.taobao.com/"));
        QCOMPARE(r.session.cacheCleaner().run(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!r.session.cacheCleaner().loaded(), 2000);
        QCOMPARE(r.session.cacheCleaner().run(), 1);
    }

    void manualAddFailures_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("convertFail");
        QTest::addColumn<int>("noLink");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("caption");
        const QString bad = QStringLiteral("宝贝地址不正确");
        const QString idle = QStringLiteral("添加");
        const QString page = "http://" + outside::itemHost + "/item.htm?id=";
        QTest::newRow("short") << "id=1" << 0 << 0 << bad << idle;
        QTest::newRow("ampersand") << page + "520000000011&spm=1" << 0 << 0 << bad << idle;
        QTest::newRow("no id") << "http://" + outside::itemHost + "/item.htm" << 0 << 0 << bad << idle;
        QTest::newRow("letters") << page + "abc" << 0 << 0 << bad << idle;
        // Only the marketplace's item pages are read, never a file or another host.
        QTest::newRow("a file") << "file://localhost/etc/passwd?id=123" << 0 << 0 << bad << idle;
        QTest::newRow("another host") << "http://mirror.velorix.test/item.htm?id=123" << 0 << 0 << bad << idle;
        QTest::newRow("no scheme") << outside::itemHost + "/item.htm?id=520000000011" << 0 << 0 << bad << idle;
        QTest::newRow("user in it") << "http://x@" + outside::itemHost + "/item.htm?id=1" << 0 << 0 << bad << idle;
        QTest::newRow("another path") << "http://" + outside::itemHost + "/go.asp?id=1" << 0 << 0 << bad << idle;
        QTest::newRow("gone") << page + "999" << 0 << 0 << QStringLiteral("该宝贝不存在") << idle;
        QTest::newRow("no link") << QString() << 0 << 1
                                 << QStringLiteral("状态：没有获取到此宝贝的阿里妈妈链接，可能未加入淘宝联盟") << idle;
        QTest::newRow("failed reply") << QString() << 1 << 0 << QStringLiteral("状态：获取数据失败")
                                      << QStringLiteral("正在读取...");
    }
    void manualAddFailures()
    {
        QFETCH(QString, address);
        QFETCH(int, convertFail);
        QFETCH(int, noLink);
        QFETCH(QString, status);
        QFETCH(QString, caption);
        SimOptions o = shop(3);
        o.convertFailEvery = convertFail;
        o.convertNoLinkEvery = noLink;
        Rig r(o);
        if (address.isEmpty())
            address = outside::itemPageAddress(r.sim.items().at(1).id);
        r.session.manualAdd().click(address, QStringLiteral("16243710"));
        QTRY_COMPARE_WITH_TIMEOUT(r.lastStatus(), status, 5000);
        QTest::qWait(50);
        QCOMPARE(r.lastStatus(), status);
        QCOMPARE(r.session.manualAdd().caption(), caption);
        QCOMPARE(r.count(), 0);
    }

    void manualAddStoresTheItem()
    {
        Rig r(shop(3));
        const SimItem &it = r.sim.items().at(2);
        QVERIFY(r.db().insertListed(it.id, "列表", "", "", 99).ok());   // listed by Step 1 before
        QSignalSpy added(&r.session, &Session::manualAdded);
        QSignalSpy refills(&r.session, &Session::refillList);
        r.session.manualAdd().click(outside::itemPageAddress(it.id), QString());
        QVERIFY(added.wait(5000));
        QCOMPARE(r.lastStatus(), QStringLiteral("添加成功"));
        QCOMPARE(r.session.manualAdd().caption(), QStringLiteral("添加"));
        QCOMPARE(refills.size(), 1);
        QCOMPARE(r.count(), 1);
        const auto row = r.db().itemByItem(it.id).value;
        QCOMPARE(row->state, 1);
        QCOMPARE(row->html, 1);
        QCOMPARE(row->byid, row->id);
        QCOMPARE(row->title, it.title);
        QCOMPARE(row->money, QString::number(it.price.toDouble()));
        QCOMPARE(row->web_pic, it.picture);
        // The operator's publisher ID goes with the request, empty as it is here.
        QVERIFY(row->click_url.endsWith("&pid=&unid=" + it.id));
        QVERIFY(r.sim.toolRequests().last().body.contains("&pid=&is_mobile=&session="));
    }

    void manualAddAbortedDuringItsFirstFetch()
    {
        SimOptions o = shop(3);
        o.slowMs = 200;
        Rig r(o);
        ManualAdd &add = r.session.manualAdd();
        add.click(outside::itemPageAddress(r.sim.items().at(0).id), "1");
        QCOMPARE(add.caption(), QStringLiteral("正在读取..."));
        add.click({}, {});
        QCOMPARE(r.lastStatus(), QStringLiteral("已中止获取"));
        QCOMPARE(add.caption(), QStringLiteral("添加"));
        QTest::qWait(500);
        QVERIFY(r.sim.toolRequests().isEmpty());
        QCOMPARE(r.count(), 0);
        QCOMPARE(r.lastStatus(), QStringLiteral("已中止获取"));
    }

    void recollectionKeepsTheClickUrl()
    {
        Rig r(shop(2));
        const SimItem &it = r.sim.items().at(0);
        const qint64 id = r.db().insertListed(it.id, "t", "", "", 1).value;
        r.exec("UPDATE itemlist SET state=3, click_url='keep', web_title='旧'");
        // Nothing while no row is in the editor; nothing on No.
        r.session.recollect(it.id);
        QVERIFY(r.notes.questions.isEmpty());
        r.session.loadEditorRow(id);
        r.notes.answers = {false};
        r.session.recollect(it.id);
        QCOMPARE(r.notes.questions, QStringList{"注意|是否确定重新采集ID为" + it.id + "的宝贝数据？"});
        QTest::qWait(100);
        QCOMPARE(r.db().itemByItem(it.id).value->state, 3);
        r.notes.answers = {true};
        r.session.recollect(it.id);
        QTRY_COMPARE_WITH_TIMEOUT(r.lastStatus(), QStringLiteral("重新采集完毕"), 5000);
        const auto row = r.db().itemByItem(it.id).value;
        QCOMPARE(row->state, 1);
        QCOMPARE(row->click_url, QStringLiteral("keep"));
        QVERIFY(row->web_title != QStringLiteral("旧"));
    }
};

QTEST_GUILESS_MAIN(TestCollect)
#include "tst_collect.moc"
