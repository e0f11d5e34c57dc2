#include "collect/manualadd.h"
#include "outside/outside.h"
#include "publish/uploadstep.h"
#include "rig.h"

Q_DECLARE_METATYPE(SimOptions)

// The whole road against the simulator serving the forms the outside world has taken over the
// years: later page layouts, UTF-8 pages, click URLs in CDATA or JSON, a site kept in a folder.
class TestVariants : public QObject
{
    Q_OBJECT

    static StepOutcome::Kind runStep3(Rig &r, int ms = 10000)
    {
        QSignalSpy ended(&r.session.uploadStep(), &UploadStep::ended);
        r.session.uploadStep().click();
        if (!ended.wait(ms))
            return StepOutcome::Kind(-1);
        return ended.first().first().value<StepOutcome>().kind;
    }

    // The whole road against the simulator: the shop's list, every item's page and link, the
    // shop's own link, the login and the uploads, to the site named.
    static void publishShop(Rig &r, QString server)
    {
        r.session.setShopAddress(r.sim.options().shopHost);
        r.session.setShopSid(QStringLiteral("7788"));
        QCOMPARE(r.session.saveSiteSettings(QStringLiteral("demoadmin"), QStringLiteral("plumo"), server, QString()).message,
                 QString());
        r.session.uploadStep().setIntervals(1, 1, 1);
        QCOMPARE(r.collect(CollectMode::Fresh), StepOutcome::Completed);
        QCOMPARE(r.detail(), StepOutcome::Completed);
        QCOMPARE(runStep3(r), StepOutcome::Completed);
    }
    static SimOptions pageForm(const QString &style, const QString &charset, const QString &named, const QString &click)
    {
        SimOptions o;
        o.items = 6;
        o.goneShare = 50;
        o.pageStyle = style;
        o.pageCharset = charset;
        o.charsetIn = named;
        o.clickForm = click;
        return o;
    }
    static bool isLinkOf(const QString &link, const QString &id)
    {
        return link.startsWith(QStringLiteral("http://s.click.taobao.com/t?e=")) && link.endsWith("&unid=" + id)
               && !link.contains(QStringLiteral("amp;")) && !link.contains(QLatin1Char(' '))
               && !link.contains(QLatin1Char('\n'));
    }

private slots:
    void siteAddressParts_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("folder");
        QTest::newRow("host") << "mirror.example.net" << "mirror.example.net" << "";
        QTest::newRow("port") << "mirror.example.net:8080" << "mirror.example.net:8080" << "";
        QTest::newRow("folder") << "mirror.example.net/shop" << "mirror.example.net" << "/shop";
        QTest::newRow("port, folders, slashes") << "mirror.example.net:81/a/b//" << "mirror.example.net:81" << "/a/b";
    }
    void siteAddressParts()
    {
        QFETCH(QString, server);
        QFETCH(QString, host);
        QFETCH(QString, folder);
        QCOMPARE(outside::siteHost(server), host);
        QCOMPARE(outside::siteFolder(server), folder);
        QCOMPARE(outside::siteAddress(server, outside::uploadPath), "http://" + host + folder + outside::uploadPath);
    }

    // Every form the marketplace's pages and the tool's answers have taken: the items reach the
    // site with their texts, a description read from their own address and a working link; an
    // item that is gone is set aside whatever its page's charset.
    void everyPageFormIsPublished_data()
    {
        QTest::addColumn<SimOptions>("options");
        QTest::newRow("classic") << pageForm("", "gbk", "both", "");
        QTest::newRow("classic in UTF-8 by header") << pageForm("", "utf-8", "header", "");
        QTest::newRow("2014, GBK, link in CDATA") << pageForm("2014", "gbk", "both", "cdata");
        QTest::newRow("2014, UTF-8 by meta, link in JSON") << pageForm("2014", "utf-8", "meta", "json");
        QTest::newRow("2017, UTF-8 by header, link in CDATA") << pageForm("2017", "utf-8", "header", "cdata");
        QTest::newRow("2017, GBK by meta, link in JSON") << pageForm("2017", "gbk", "meta", "json");
    }
    void everyPageFormIsPublished()
    {
        QFETCH(SimOptions, options);
        Rig r(options);
        publishShop(r, QStringLiteral("mirror.velorix.test"));
        QVERIFY2(isLinkOf(r.sim.lastOpenUrl(), "7788"), qPrintable(r.sim.lastOpenUrl()));
        const auto published = r.sim.published();
        int gone = 0;
        for (const SimItem &it : r.sim.items()) {
            const auto row = r.db().itemByItem(it.id).value;
            if (it.gone) {
                ++gone;
                QCOMPARE(row->itemstate, 1);
                QVERIFY(!published.contains(it.id));
                continue;
            }
            QCOMPARE(row->state, 3);
            QCOMPARE(row->title, it.title);
            QCOMPARE(row->web_pic, it.picture);
            QCOMPARE(row->web_title, it.title + QStringLiteral(" “热卖”"));
            QVERIFY(row->web_doc.startsWith(it.title));
            QVERIFY2(isLinkOf(row->click_url, it.id), qPrintable(row->click_url));
            const auto fields = published.value(it.id);
            QCOMPARE(fields.value("click_url"), row->click_url);
            // The description came from the item's own address: its markup names the item.
            QVERIFY(fields.value("web_content2").contains(it.title + "  细节图"));
            QVERIFY(fields.value("web_content2").contains("src=\"/img.asp?img=img01AAAAAAAAAA/imgextra/i1/" + it.id));
        }
        QVERIFY(gone > 0 && gone < r.sim.items().size());
        QCOMPARE(published.size(), r.sim.items().size() - gone);
    }

    // A site kept in a folder gets Host headers of its host and port alone, and every request
    // and picture address in the folder.
    void siteInAFolder_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("host");
        QTest::newRow("folder") << "mirror.example.net/shop" << QByteArray("mirror.example.net");
        QTest::newRow("port and folder, trailing slash") << "mirror.example.net:8080/shop/" << QByteArray("mirror.example.net:8080");
    }
    void siteInAFolder()
    {
        QFETCH(QString, server);
        QFETCH(QByteArray, host);
        SimOptions o;
        o.items = 3;
        o.goneShare = 0;
        o.sitePath = "/shop";
        Rig r(o);
        publishShop(r, server);
        QCOMPARE(r.sim.published().size(), 3);
        QStringList targets;
        for (const SimRequest &q : r.sim.requests())
            if (q.host.startsWith("mirror.")) {
                QCOMPARE(q.header("Host"), host);
                targets << QString::fromLatin1(q.path());
            }
        targets.removeDuplicates();
        QCOMPARE(targets, QStringList({"/shop" + outside::loginPath, "/shop" + outside::uploadPath}));
        const QString body = r.sim.published().first().value("web_content2");
        QVERIFY(body.contains("src=\"/shop/img.asp?img=") && body.contains("src=/shop/img.asp?img="));
        QVERIFY(!body.contains("src=\"/img.asp") && !body.contains("src=/img.asp"));
    }

    // A page read by hand in a later form still gives its heading, price and picture.
    void manualAddReadsLaterPages_data()
    {
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("click");
        QTest::newRow("2014, GBK, link in CDATA") << "2014" << "gbk" << "both" << "cdata";
        QTest::newRow("2017, UTF-8 by header, link in JSON") << "2017" << "utf-8" << "header" << "json";
    }
    void manualAddReadsLaterPages()
    {
        QFETCH(QString, style);
        QFETCH(QString, charset);
        QFETCH(QString, named);
        QFETCH(QString, click);
        SimOptions o;
        o.items = 3;
        o.goneShare = 0;
        o.pageStyle = style;
        o.pageCharset = charset;
        o.charsetIn = named;
        o.clickForm = click;
        Rig r(o);
        const SimItem &it = r.sim.items().at(1);
        QSignalSpy added(&r.session, &Session::manualAdded);
        r.session.manualAdd().click(outside::itemPageAddress(it.id), QStringLiteral("mm_1_2_3"));
        QVERIFY(added.wait(5000));
        const auto row = r.db().itemByItem(it.id).value;
        QCOMPARE(row->title, it.title);
        QCOMPARE(row->money, QString::number(it.price.toDouble()));
        QCOMPARE(row->web_pic, it.picture);
        QCOMPARE(row->web_title, it.title + QStringLiteral(" “热卖”"));
        QVERIFY(row->web_url.startsWith(outside::descriptionPrefix() + "i"));
        QVERIFY2(row->click_url.startsWith("http://s.click.taobao.com/t?e=") && row->click_url.endsWith("&pid=mm_1_2_3&unid=" + it.id),
                 qPrintable(row->click_url));
    }
};

QTEST_GUILESS_MAIN(TestVariants)
#include "tst_variants.moc"
