#include "base/checks.h"

#include <QtTest>

class TestChecks : public QObject
{
    Q_OBJECT
private slots:
    void siteSettings_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("serverAfter");
        const QString ok5 = "abcde", ok32(32, 'u');
        QTest::newRow("user 4") << "abcd" << ok5 << "a.test" << "网站后台用户名5-32字符之间" << "web_user" << "a.test";
        QTest::newRow("user 5") << ok5 << ok5 << "a.test" << "" << "" << "a.test";
        QTest::newRow("user 32") << ok32 << ok5 << "a.test" << "" << "" << "a.test";
        QTest::newRow("user 33") << QString(33, 'u') << ok5 << "a.test" << "网站后台用户名5-32字符之间" << "web_user" << "a.test";
        QTest::newRow("chinese user") << "管理员帐号" << ok5 << "a.test" << "" << "" << "a.test";
        QTest::newRow("pass 4") << ok5 << "1234" << "a.test" << "网站后台登录密码5-32字符之间" << "web_pass" << "a.test";
        QTest::newRow("pass 33") << ok5 << QString(33, 'p') << "a.test/" << "网站后台登录密码5-32字符之间" << "web_pass" << "a.test/";
        QTest::newRow("trailing slash") << ok5 << ok5 << "site.test/" << "" << "" << "site.test";
        QTest::newRow("double slash keeps one") << ok5 << ok5 << "site.test//" << "" << "" << "site.test/";
        QTest::newRow("domain 3") << ok5 << ok5 << "a.b" << "请检查网站域名输入是否正确" << "web_server" << "a.b";
        QTest::newRow("domain 3 after slash") << ok5 << ok5 << "a.b/" << "请检查网站域名输入是否正确" << "web_server" << "a.b";
        QTest::newRow("domain 4") << ok5 << ok5 << "a.bc" << "" << "" << "a.bc";
        QTest::newRow("domain 51") << ok5 << ok5 << QString(51, 'd') << "请检查网站域名输入是否正确" << "web_server" << QString(51, 'd');
        // Every address to the site is built from it: a host, a port and a path, nothing else.
        const QString bad = "请检查网站域名输入是否正确";
        QTest::newRow("port and path") << ok5 << ok5 << "mirror.example.net:8080/shop" << "" << "" << "mirror.example.net:8080/shop";
        for (const char *server : {"mirror .test", "mirror.test/a b", "mirror.test?x=1", "mirror.test/#a", "user@mirror.test",
                                   "mirror.test:0", "mirror.test:99999", "-mirror.test", "mirror..test", "mirror.test\\x",
                                   "mirror.test//shop", "mirror.test/shop//x"})
            QTest::newRow(server) << ok5 << ok5 << server << bad << "web_server" << server;
        QTest::newRow("line break") << ok5 << ok5 << "mirror.test\r\nX: 1" << bad << "web_server" << "mirror.test\r\nX: 1";
    }

    void valuesThatGoIntoRequests_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        const QString pid = "淘客PID只能是数字", sid = "店铺ID只能是数字", shop = "店铺地址应为店铺的域名，不需要http://";
        QTest::newRow("pid digits") << "pid" << "16243710" << "";
        QTest::newRow("pid empty") << "pid" << "" << "";
        QTest::newRow("pid with a parameter") << "pid" << "1&num_iids=520000100048" << pid;
        QTest::newRow("pid mm form") << "pid" << "mm_1_2_3" << pid;
        QTest::newRow("pid 21 digits") << "pid" << QString(21, '1') << pid;
        QTest::newRow("sid digits") << "sid" << "61000001" << "";
        QTest::newRow("sid blank") << "sid" << "6100 0001" << sid;
        QTest::newRow("shop host") << "shop" << "velorix-demo.taobao.com" << "";
        QTest::newRow("shop empty") << "shop" << "" << "";
        QTest::newRow("shop path") << "shop" << "shop.taobao.com/x?y" << shop;
        QTest::newRow("shop scheme") << "shop" << "http://shop.taobao.com" << shop;
        QTest::newRow("shop blank") << "shop" << "shop taobao.com" << shop;
    }
    void valuesThatGoIntoRequests()
    {
        QFETCH(QString, what);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const FieldCheck c = what == "pid" ? checkPublisherId(value) : what == "sid" ? checkShopSid(value) : checkShopAddress(value);
        QCOMPARE(c.message, message);
    }
    void siteSettings()
    {
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(QString, server);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(QString, serverAfter);
        const FieldCheck c = checkSiteSettings(user, pass, server);
        QCOMPARE(c.message, message);
        QCOMPARE(c.focus, focus);
        QCOMPARE(server, serverAfter);
    }

    void normalisers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("afterChange");
        QTest::addColumn<QString>("afterLeave");
        QTest::newRow("bare host") << "shop.test" << "shop.test" << "shop.test";
        QTest::newRow("prefix alone") << "http://" << "" << "";
        QTest::newRow("prefix capitals") << "HTTP://" << "" << "";
        QTest::newRow("typing the prefix") << "http:/" << "http:/" << "http:/";
        QTest::newRow("address with prefix") << "http://shop.test" << "http://shop.test" << "";
        QTest::newRow("capital address") << "HTTP://SHOP.TEST" << "HTTP://SHOP.TEST" << "";
        QTest::newRow("https is kept") << "https://shop.test" << "https://shop.test" << "https://shop.test";
        QTest::newRow("empty") << "" << "" << "";
    }
    void normalisers()
    {
        QFETCH(QString, text);
        QFETCH(QString, afterChange);
        QFETCH(QString, afterLeave);
        QCOMPARE(normaliseOnChange(text), afterChange);
        QCOMPARE(normaliseOnLeave(text), afterLeave);
    }

    void browserAddress()
    {
        QCOMPARE(::browserAddress("a.tes"), QString());
        QCOMPARE(::browserAddress("a.test"), QStringLiteral("http://a.test"));
    }

    void edit_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("doc");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        const QString t250(250, 't');
        QTest::newRow("no row") << "0" << "t" << "d" << "k" << "非编辑状态不能保存" << "";
        QTest::newRow("empty title") << "5" << "" << "d" << "k" << "网页标题不能为空" << "web_title";
        QTest::newRow("title 251") << "5" << QString(251, 't') << "d" << "k" << "网页标题不能为空" << "web_title";
        QTest::newRow("title 250") << "5" << t250 << "d" << "k" << "" << "";
        const QString emoji = QStringLiteral("\U0001F600");
        QTest::newRow("title 250 emoji") << "5" << emoji.repeated(250) << "d" << "k" << "" << "";
        QTest::newRow("title 251 emoji") << "5" << emoji.repeated(251) << "d" << "k" << "网页标题不能为空" << "web_title";
        QTest::newRow("empty doc") << "5" << "t" << "" << "" << "网页描述不能为空" << "web_doc";
        QTest::newRow("doc 251") << "5" << "t" << QString(251, 'd') << "k" << "网页描述不能为空" << "web_doc";
        QTest::newRow("empty key") << "5" << "t" << "d" << "" << "网页关键词不能为空" << "web_key";
        QTest::newRow("key 251") << "5" << "t" << "d" << QString(251, 'k') << "网页关键词不能为空" << "web_key";
        QTest::newRow("all good") << "5" << "标题" << "描述" << "关键词" << "" << "";
    }
    void edit()
    {
        QFETCH(QString, tag);
        QFETCH(QString, title);
        QFETCH(QString, doc);
        QFETCH(QString, key);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        const FieldCheck c = checkEdit(tag, title, doc, key);
        QCOMPARE(c.message, message);
        QCOMPARE(c.focus, focus);
    }
};

QTEST_GUILESS_MAIN(TestChecks)
#include "tst_checks.moc"
