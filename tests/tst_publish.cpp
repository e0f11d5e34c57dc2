#include "collect/itemparser.h"
#include "httpstub.h"
#include "outside/outside.h"
#include "publish/sitelogin.h"
#include "publish/uploadrecord.h"
#include "publish/uploadstep.h"
#include "rig.h"
#include "store/itemstate.h"
#include "web/md5.h"
#include "web/text.h"

#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QUrlQuery>

// The site login, the upload record and Step 3.
class TestPublish : public QObject
{
    Q_OBJECT

    // A mirror site whose answers the test writes: the challenge, the login's answer and the
    // upload's answers in turn (the last one repeats). Description documents are served too.
    struct Site {
        QString challenge = QStringLiteral("NOID:c0ffee");
        QString loginReply = QStringLiteral("OK");
        QStringList uploadReplies = {QStringLiteral("OK")};
        QList<QByteArray> logins, uploads;
        bool closeOnUpload = false;   // the site is gone: connections close without an answer
        int uploadDelayMs = 0;        // the site takes its time over each post
        HttpStub stub{[this](QTcpSocket *s, const QByteArray &request) { answer(s, request); }};

        void answer(QTcpSocket *s, const QByteArray &request)
        {
            const QByteArray target = request.split(' ').value(1);
            if (target.startsWith(outside::loginPath.toLatin1())) {
                logins << target;
                HttpStub::answer(s, gbkBytes(target.contains("?t=") ? challenge : loginReply));
            } else if (target.startsWith(outside::uploadPath.toLatin1())) {
                uploads << request.mid(request.indexOf("\r\n\r\n") + 4);
                if (closeOnUpload) {
                    s->abort();
                    return;
                }
                const QString reply = uploadReplies.size() > 1 ? uploadReplies.takeFirst() : uploadReplies.first();
                QPointer<QTcpSocket> guard(s);
                QTimer::singleShot(uploadDelayMs, s, [guard, reply] {
                    if (guard)
                        HttpStub::answer(guard, gbkBytes(reply));
                });
            } else {
                HttpStub::answer(s, gbkBytes(QStringLiteral("var desc='<p>描述&nbsp;</p>';\n")));
            }
        }
        QString field(int upload, const QString &name) const
        {
            for (const QByteArray &pair : uploads.value(upload).split('&'))
                if (pair.startsWith(name.toLatin1() + "="))
                    return QString::fromLatin1(pair.mid(name.size() + 1));
            return QStringLiteral("<none>");
        }
    };

    static void point(quint16 port) { qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(port)); }

    // A rig whose session has a site account and the shop's link already, so Step 3 starts at
    // the login; the rows are collected items.
    static void prepare(Rig &r, int rows)
    {
        QString server = QStringLiteral("mirror.velorix.test");
        r.session.saveSiteSettings(QStringLiteral("demoadmin"), QStringLiteral("plumo"), server, QString());
        r.notes.messages.clear();
        r.session.uploadStep().setShopLink(true);
        r.session.uploadStep().setIntervals(1, 1, 1);
        for (int i = 1; i <= rows; ++i) {
            const QString item = QString::number(1000 + i);
            QVERIFY(r.db().insertListed(item, "宝贝" + item, "http://img01.taobaocdn.com/p.jpg", "9.90", i).ok());
            r.exec(QStringLiteral("UPDATE itemlist SET state=1, web_url='%1i1/%2/desc.js', web_title='页%2' WHERE item='%2'")
                       .arg(outside::descriptionPrefix(), item));
        }
    }
    static StepOutcome::Kind runStep3(Rig &r, int ms = 10000)
    {
        QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
        r.session.uploadStep().click();
        if (!ended.wait(ms))
            return StepOutcome::Kind(-1);
        return ended.first().first().value<StepOutcome>().kind;
    }

private slots:
    void loginstampHasNoLeadingZeros()
    {
        QCOMPARE(SiteLogin::loginstamp(QDateTime(QDate(2026, 7, 4), QTime(9, 5, 3))), QStringLiteral("202674953"));
        QCOMPARE(SiteLogin::loginstamp(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))), QStringLiteral("20261231235958"));
    }

    // Only what would break the query is escaped, in GBK as the site reads every value.
    void accountNameInTheAddress()
    {
        auto user = [](const QString &name) {
            return SiteLogin::loginAddress({"s.test", name, "p", {}}, "n").section("username=", 1).section("&password=", 0, 0);
        };
        QCOMPARE(user("demo_admin.01@x"), QStringLiteral("demo_admin.01@x"));
        QCOMPARE(user("a b&c#d"), QStringLiteral("a+b%26c%23d"));
        QCOMPARE(user("管理员"), QStringLiteral("%B9%DC%C0%ED%D4%B1"));
    }

    void login_data()
    {
        QTest::addColumn<QString>("challenge");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("status");
        const QString failed = QStringLiteral("登录失败，请检查用户名密码设置");
        QTest::newRow("good") << "NOID:abc" << "OK" << "plumo" << true << "登录成功";
        QTest::newRow("refused") << "NOID:abc" << "ERR:bad" << "plumo" << false << failed;
        QTest::newRow("trailing blank") << "NOID:abc" << "OK " << "plumo" << false << failed;
        QTest::newRow("line break") << "NOID:abc" << "OK\r\n" << "plumo" << false << failed;
        QTest::newRow("both") << "NOID:abc" << "OKERR" << "plumo" << false << failed;
        QTest::newRow("marker alone") << "NOID:" << "OK" << "plumo" << true << "登录成功";
        QTest::newRow("text around marker") << "x NOID:abc y" << "OK" << "plumo" << true << "登录成功";
        QTest::newRow("empty password") << "NOID:abc" << "OK" << "" << true << "登录成功";
        QTest::newRow("no challenge") << "<html>error</html>" << "OK" << "plumo" << false << "登录错误，请联系软件客服处理";
    }
    void login()
    {
        QFETCH(QString, challenge);
        QFETCH(QString, reply);
        QFETCH(QString, password);
        QFETCH(bool, ok);
        QFETCH(QString, status);
        Site site;
        site.challenge = challenge;
        site.loginReply = reply;
        point(site.stub.serverPort());
        WebService web;
        SiteLogin login(web);
        QStringList statuses;
        connect(&login, &Step::status, &login, [&](const QString &t) { statuses << t; });
        std::optional<SiteLogin::Result> result;
        login.webuserlogin({"mirror.velorix.test", "demoadmin", password, "http://s.click/t?a=1&b=2"}, this,
                           [&](const SiteLogin::Answer &r) { result = r.result; });
        QTRY_VERIFY(result.has_value());
        QCOMPARE(*result == SiteLogin::Result::LoggedIn, ok);
        QCOMPARE(statuses, QStringList({"正在登录", status}));
        QCOMPARE(*result == SiteLogin::Result::NoChallenge, !challenge.contains("NOID:"));
        if (!challenge.contains("NOID:"))
            return;
        QVERIFY(site.logins.first().startsWith(outside::loginPath.toLatin1() + "?t=" + QByteArray::number(QDate::currentDate().year())));
        const QUrlQuery q(QString::fromLatin1(site.logins.last().mid(site.logins.last().indexOf('?') + 1)));
        const QString noid = QString(challenge).remove("NOID:");
        const QString digest = splitmd5(password);
        QCOMPARE(q.queryItemValue("username"), QStringLiteral("demoadmin"));
        QCOMPARE(q.queryItemValue("password"), digest);
        QCOMPARE(q.queryItemValue("sha1"), splitmd5("demoadmin_" + noid + "_" + digest));
        QVERIFY(site.logins.last().endsWith("&open=1&openurl=" + urlencode("http://s.click/t?a=1&b=2").toLatin1()));
    }

    void pagebodyCleanUps_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("cleaned");
        const QString img = "/img.asp?img=img01AAAAAAAAAA/a.jpg";
        QTest::newRow("escaped quote") << "<img src=\\\"http://img01.taobaocdn.com/a.jpg\\\">" << "" << "<img src=\"" + img + "\">";
        QTest::newRow("unquoted source") << "<img src=http://img01.taobaocdn.com/a.jpg>" << "" << "<img src=" + img + ">";
        QTest::newRow("site in a folder") << "<img src=\"http://img01.taobaocdn.com/a.jpg\"><img src=http://img01.taobaocdn.com/a.jpg>"
                                          << "/shop" << "<img src=\"/shop" + img + "\"><img src=/shop" + img + ">";
        QTest::newRow("two nbsp, capitals stay") << "a&nbsp;&nbsp;b&NBSP;" << "" << "a  b&NBSP;";
        QTest::newRow("line ends") << "a\nb\r\nc" << "" << "a\r\nb\r\r\nc";
        QTest::newRow("plain link masked") << "<a href=\"http://shop.taobaocdn.com/x\">" << ""
                                           << "<a href=\"http://shopAAAAAAAAAA/x\">";
    }
    void pagebodyCleanUps()
    {
        QFETCH(QString, markup);
        QFETCH(QString, folder);
        QFETCH(QString, cleaned);
        QCOMPARE(pagebody("var desc='" + markup + "';\n", folder), std::optional<QString>(cleaned));
    }

    void shortDocumentsGiveNoBody()
    {
        QVERIFY(!pagebody(QString(), {}));
        QVERIFY(!pagebody("$False$", {}));
        QVERIFY(!pagebody(QString(12, 'x'), {}));
        QCOMPARE(pagebody(QString(13, 'x'), {}), std::optional<QString>(QString()));
    }

    void uploadbodyOrderAndEncoding()
    {
        ItemRecord row;
        row.item = "42";
        row.title = "女装 连衣裙";
        row.web_content = "<li>a&b</li>";
        row.money = "9.90";
        row.web_title = "t";
        row.web_key = "k";
        row.web_doc = "d";
        row.web_pic = "http://p/1.jpg";
        QCOMPARE(uploadbody(row, "<p>x</p>", false),
                 QStringLiteral("itemid=42&title=%C5%AE%D7%B0+%C1%AC%D2%C2%C8%B9&web_content1=%3Cli%3Ea%26b%3C%2Fli%3E"
                                "&web_content2=%3Cp%3Ex%3C%2Fp%3E&money=9.90&web_title=t&web_key=k&web_doc=d"
                                "&web_pic=http%3A%2F%2Fp%2F1.jpg&click_url="));
        QVERIFY(uploadbody(row, {}, true).endsWith("&click_url=&taokei="));
        row.html = 1;
        QVERIFY(uploadbody(row, {}, true).endsWith("&click_url=&taokei=1"));
    }

    void step3UploadsInOrder()
    {
        Site site;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 3);
        r.exec("UPDATE itemlist SET byid=1 WHERE item IN ('1001','1002')");   // the higher id goes first
        QSignalSpy refills(&r.session, &Session::refillList);
        QStringList progress;
        connect(&r.session.progress(), &Progress::changed, &r.session, [&](const QString &t) { progress << t; });
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(r.count("state=3"), 3);
        QCOMPARE(progress.first(), QStringLiteral("第三步 0/3件"));
        QCOMPARE(progress.filter(QRegularExpression("^第三步 3/3件")).size(), 1);
        QCOMPARE(progress.last(), QString());
        QCOMPARE(site.uploads.size(), 3);
        QCOMPARE(site.field(0, "itemid"), QStringLiteral("1002"));
        QCOMPARE(site.field(1, "itemid"), QStringLiteral("1001"));
        QCOMPARE(site.field(0, "taokei"), QStringLiteral("<none>"));
        QCOMPARE(site.field(0, "web_content2"), urlencode(QStringLiteral("<p>描述 </p>")));
        QCOMPARE(r.lastStatus(), QStringLiteral("没有未上传的宝贝"));
        QVERIFY(r.statuses.contains(QStringLiteral("宝贝1003上传成功")));
        QCOMPARE(r.session.uploadStep().caption(), QStringLiteral("第三步：更新上传"));
        QCOMPARE(refills.size(), 1);
        // Nothing left: the next start refills the list and ends at once.
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(site.uploads.size(), 3);
    }

    void abnormalRowsAndRefusals()
    {
        Site site;
        site.uploadReplies = {"OK\r\n", "该宝贝不允许发布", "OK"};
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 4);
        r.exec("UPDATE itemlist SET title='' WHERE item='1001'");
        r.exec("UPDATE itemlist SET web_url='" + outside::descriptionPrefix() + "' WHERE item='1002'");
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(r.db().itemByItem("1001").value->itemstate, 1);
        QCOMPARE(r.db().itemByItem("1002").value->itemstate, 1);
        auto refused = r.db().itemByItem("1003").value;
        QCOMPARE(refused->errcode, 1);
        QCOMPARE(refused->errdecription, QStringLiteral("OK\r\n"));
        QCOMPARE(r.db().itemByItem("1004").value->errcode, 1);
        QCOMPARE(r.db().itemByItem("1004").value->errdecription, QStringLiteral("该宝贝不允许发布"));
        QFile log(r.session.runLog().path());   // the refusal is in the run log
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains("[上传失败] 1004 该宝贝不允许发布\n"));
        QCOMPARE(site.uploads.size(), 2);
        // A refused row is not picked again, edited or not; by hand it goes.
        r.exec("UPDATE itemlist SET state=2 WHERE item='1003'");
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(site.uploads.size(), 2);
        r.session.loadEditorRow(refused->id);
        site.uploadReplies = {"OK"};
        r.session.uploadStep().uploadNow(r.session.editorRow());
        QTRY_COMPARE(r.db().itemByItem("1003").value->state, 3);
        QCOMPARE(r.db().itemByItem("1003").value->errcode, 1);
        QCOMPARE(site.field(2, "taokei"), QString());
    }

    void lostLoginIsRestoredForTheSameRow()
    {
        Site site;
        site.uploadReplies = {"OK", "您还没有登录或登录已超时，请重新登录！", "OK"};
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 2);
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(r.count("state=3"), 2);
        QCOMPARE(site.logins.size(), 4);   // two logins of two requests each
        QCOMPARE(site.field(1, "itemid"), site.field(2, "itemid"));
        QVERIFY(r.statuses.contains(QStringLiteral("您已经从后台退出，正在重新登录")));
    }

    void failedReloginStops()
    {
        Site site;
        site.uploadReplies = {"请重新登录"};
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 1);
        // Time enough to see the first upload before the login anew.
        r.session.uploadStep().setIntervals(1, 1, 300);
        QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
        r.session.uploadStep().click();
        QTRY_COMPARE(site.uploads.size(), 1);
        site.loginReply = "ERR";
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Stopped);
        QCOMPARE(r.lastStatus(), QStringLiteral("登录失败，请检查网络连接或用户名密码配置是否正确"));
        QCOMPARE(r.count("state=1 AND errcode=0"), 1);
    }

    // A site that cannot be reached refuses nothing: the row stays and the step stops.
    void unreachableSiteStopsTheStep()
    {
        Site site;
        site.closeOnUpload = true;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 3);
        QCOMPARE(runStep3(r), StepOutcome::Stopped);
        QCOMPARE(r.count("state=1 AND errcode=0"), 3);
        QCOMPARE(r.lastStatus(), QStringLiteral("无法连接镜像网站，请检查网络后继续上传"));
        QCOMPARE(r.session.uploadStep().caption(), QStringLiteral("第三步：继续上传"));
        site.closeOnUpload = false;
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(r.count("state=3"), 3);
    }

    // A row whose description cannot be read is recorded as refused, with the reason, once.
    void unreadableDescriptionIsARefusal()
    {
        Site site;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 2);
        r.exec("UPDATE itemlist SET web_url=NULL WHERE item='1001'");
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        const auto row = r.db().itemByItem("1001").value;
        QCOMPARE(row->errcode, 1);
        QVERIFY(row->errdecription.contains(QStringLiteral("宝贝描述无法读取")));
        QCOMPARE(site.uploads.size(), 1);
        QCOMPARE(r.db().itemByItem("1002").value->state, 3);
    }

    // Paused and resumed while a post is under way: that post carries the step on, and no row
    // is posted twice.
    void resumeDuringAPostPostsEachRowOnce()
    {
        Site site;
        site.uploadDelayMs = 150;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 3);
        UploadStep &step = r.session.uploadStep();
        QSignalSpy ended(&step, &UploadStep::ended);
        step.click();
        QTRY_COMPARE(site.uploads.size(), 1);
        step.click();   // pause
        step.click();   // and resume at once, while the first post is still under way
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Completed);
        QCOMPARE(site.uploads.size(), 3);
        QStringList items;
        for (int i = 0; i < site.uploads.size(); ++i)
            items << site.field(i, "itemid");
        items.removeDuplicates();
        QCOMPARE(items.size(), 3);
    }

    // Paused, then resumed while a post is under way, and that resume's login is refused: the
    // post's result is stored and its run ends (the lock held till then); resumed once more in
    // the meantime, the same run goes on. Either way no row is posted twice.
    void resumeWhoseLoginFailsDuringAPost_data()
    {
        QTest::addColumn<bool>("resumeAgain");
        QTest::newRow("left stopped") << false;
        QTest::newRow("resumed again") << true;
    }
    void resumeWhoseLoginFailsDuringAPost()
    {
        QFETCH(bool, resumeAgain);
        Site site;
        site.uploadDelayMs = 400;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 3);
        UploadStep &step = r.session.uploadStep();
        QSignalSpy ended(&step, &UploadStep::ended);
        step.click();
        QTRY_COMPARE(site.uploads.size(), 1);
        step.click();   // pause
        site.loginReply = QStringLiteral("ERR");
        const qsizetype logins = site.logins.size();
        step.click();   // resume: this login is refused while the first post is still under way
        QTRY_COMPARE(site.logins.size(), logins + 2);
        QTRY_VERIFY(step.state() == Step::State::Pausing);
        QVERIFY(ended.isEmpty());
        QVERIFY(QFile::exists(r.profile.path() + QStringLiteral(".lock")));
        if (resumeAgain) {
            site.loginReply = QStringLiteral("OK");
            step.click();
        }
        QVERIFY(ended.wait(5000));
        QTest::qWait(100);
        QCOMPARE(ended.size(), 1);
        QStringList items;
        for (int i = 0; i < site.uploads.size(); ++i)
            items << site.field(i, "itemid");
        const QStringList posted = items;
        items.removeDuplicates();
        QCOMPARE(items, posted);
        if (resumeAgain) {
            QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Completed);
            QCOMPARE(r.count("state=3"), 3);
        } else {
            QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Stopped);
            QCOMPARE(r.lastStatus(), QStringLiteral("登录失败，请检查网络连接或用户名密码配置是否正确"));
            QCOMPARE(r.count("state=3"), 1);   // the post under way was stored
            QCOMPARE(site.uploads.size(), 1);
            QVERIFY(!QFile::exists(r.profile.path() + QStringLiteral(".lock")));
        }
    }

    void pauseDuringTheLoginEndsTheStep()
    {
        Site site;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 1);
        UploadStep &step = r.session.uploadStep();
        QSignalSpy ended(&step, &UploadStep::ended);
        step.click();
        QCOMPARE(r.lastStatus(), QStringLiteral("正在登录"));
        step.click();
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().value<StepOutcome>().kind, StepOutcome::Paused);
        QCOMPARE(r.lastStatus(), QStringLiteral("用户暂停"));
        QVERIFY(site.uploads.isEmpty());
    }

    // A site that grants the login but asks for it again at every post stops the step.
    void endlessLoginRequestsStopTheStep()
    {
        Site site;
        site.uploadReplies = {"请重新登录"};
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 2);
        QCOMPARE(runStep3(r), StepOutcome::Stopped);
        QCOMPARE(site.uploads.size(), UploadStep::kMaxReloginsPerRow + 1);
        QCOMPARE(r.lastStatus(), QStringLiteral("网站连续要求重新登录，已停止上传，请检查网站是否能保持登录"));
        QCOMPARE(r.session.uploadStep().caption(), QStringLiteral("第三步：继续上传"));
        QCOMPARE(r.count("state=1 AND errcode=0"), 2);
    }

    void emptyAnswerIsARefusal()
    {
        Site site;
        site.uploadReplies = {""};
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 1);
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(r.db().itemByItem("1001").value->errcode, 1);
        QCOMPARE(r.db().itemByItem("1001").value->errdecription, QStringLiteral("（网站返回了空白内容）"));
    }

    // A result the database will not keep stops the step instead of posting the row again.
    void refusedWriteStopsTheStep()
    {
        Site site;
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 2);
        r.exec("CREATE TRIGGER no_upload BEFORE UPDATE OF state ON itemlist BEGIN SELECT RAISE(ABORT, 'disk'); END");
        QCOMPARE(runStep3(r), StepOutcome::Stopped);
        QCOMPARE(site.uploads.size(), 1);
        QCOMPARE(r.lastStatus(), QStringLiteral("上传结果保存失败：数据违反约束"));
    }

    // A refused login leaves the button offering to go on, not to pause a step that is not running.
    void refusedLoginStopsWithTheContinueCaption()
    {
        Site site;
        site.loginReply = "ERR";
        Rig r;
        point(site.stub.serverPort());
        prepare(r, 1);
        QCOMPARE(runStep3(r), StepOutcome::Stopped);
        QCOMPARE(r.lastStatus(), QStringLiteral("登录失败，请检查用户名密码设置"));
        QCOMPARE(r.session.uploadStep().caption(), QStringLiteral("第三步：继续上传"));
        QVERIFY(!r.session.shared().userpause);
    }

    // A description that comes but cannot be used: when another row's document comes, it is
    // this row's fault, which is set aside with the reason and the step goes on; when every
    // document is so, it is the host's, and the step stops with no row marked.
    void unusableDescriptionIsARefusal_data()
    {
        QTest::addColumn<bool>("everyDocument");
        QTest::newRow("one row's") << false;
        QTest::newRow("every row's") << true;
    }
    void unusableDescriptionIsARefusal()
    {
        QFETCH(bool, everyDocument);
        HttpStub broken([everyDocument](QTcpSocket *s, const QByteArray &request) {
            const QByteArray target = request.split(' ').value(1);
            if (target.startsWith(outside::loginPath.toLatin1()))
                HttpStub::answer(s, target.contains("?t=") ? "NOID:1" : "OK");
            else if (target.startsWith(outside::uploadPath.toLatin1()))
                HttpStub::answer(s, "OK");
            else if (everyDocument || target.contains("/1001/"))
                HttpStub::answer(s, "\x1f\x8b not really gzip", "Content-Encoding: gzip\r\n");
            else
                HttpStub::answer(s, "var desc='<p>a description</p>';\n");
        });
        Rig r;
        point(broken.serverPort());
        prepare(r, 2);
        r.session.uploadStep().setIntervals(1, 1, 1);
        if (everyDocument) {
            QCOMPARE(runStep3(r), StepOutcome::Stopped);
            QCOMPARE(r.count("errcode=1"), 0);
            QCOMPARE(r.count("state=3"), 0);
            return;
        }
        QCOMPARE(runStep3(r), StepOutcome::Completed);
        QCOMPARE(r.count("errcode=1"), 1);
        QCOMPARE(r.count("state=3"), 1);
        QVERIFY(r.db().itemByItem("1001").value->errdecription.startsWith(QStringLiteral("宝贝描述多次读取失败（回复无法读取）")));
    }

    void manualUploadChecks()
    {
        Site site;
        Rig r;
        point(site.stub.serverPort());
        r.session.uploadStep().uploadNow(0);
        QCOMPARE(r.lastStatus(), QStringLiteral("非编辑状态不能上传"));
        QCOMPARE(r.notes.messages, QStringList{"非编辑状态不能上传"});
        prepare(r, 1);
        site.loginReply = "ERR";
        r.session.uploadStep().uploadNow(r.db().itemByItem("1001").value->id);
        QTRY_COMPARE(r.lastStatus(), QStringLiteral("登录失败，请检查用户名密码设置，若多次失败可联系客服处理！"));
        QCOMPARE(r.notes.messages.last(), QStringLiteral("登录失败，请检查用户名密码设置"));
        QVERIFY(site.uploads.isEmpty());
    }

    // Step 3's shop conversion asked for while Step 2 converts an item: each gets its own link.
    void shopConversionWaitsForTheItemConversion()
    {
        SimOptions o;
        o.items = 3;
        o.goneShare = 0;
        o.slowMs = 100;
        Rig r(o);
        prepare(r, 0);
        r.session.uploadStep().setShopLink(false);
        r.session.setShopSid("7788");
        for (const SimItem &it : r.sim.items())
            QVERIFY(r.db().insertListed(it.id, it.title, "", "", 1).ok());
        QSignalSpy detailEnded(&r.session.detailStep(), &DetailStep::ended);
        r.session.detailStep().click();
        QTRY_VERIFY(r.statuses.contains(QStringLiteral("状态：正在读取")));
        r.session.uploadStep().click();   // the shop conversion queues behind the item's
        QTRY_VERIFY_WITH_TIMEOUT(r.session.uploadStep().shoplinkok(), 5000);
        QVERIFY2(r.session.uploadStep().shopclickurl().endsWith("&unid=7788"), qPrintable(r.session.uploadStep().shopclickurl()));
        QVERIFY(detailEnded.wait(10000));
        for (const SimItem &it : r.sim.items())
            QVERIFY(r.db().itemByItem(it.id).value->click_url.endsWith("&unid=" + it.id));
    }
};

QTEST_GUILESS_MAIN(TestPublish)
#include "tst_publish.moc"
