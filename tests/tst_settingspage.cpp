#include "windowfixture.h"
#include "app/uihelpers.h"
#include "store/initialsettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

// The settings page: the site settings, the rewriting rules, and what happens to changes
// that were not saved.
class TestSettingsPage : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;

private slots:
    void emptySettingsTableKeepsInitialContents()
    {
        Fixture f;
        f.exec("DELETE FROM soft_config");
        f.open();
        QCOMPARE(f.get<QLineEdit>("web_server")->text(), initial::webServer);
        QCOMPARE(f.get<QLineEdit>("web_user")->text(), initial::webUser);
        QCOMPARE(f.get<QLineEdit>("web_pass")->text(), QStringLiteral("plumo"));
        QCOMPARE(f.get<QLineEdit>("web_adminpath")->text(), QStringLiteral("admin"));
        QVERIFY(f.session.webserver().isEmpty());
        QVERIFY(f.session.webuser().isEmpty());
        for (const char *box : {"ttx_1", "ttx_2", "ttx_3", "dtx_1", "dtx_2", "dtx_3", "ktx_1", "ktx_2", "ktx_3"}) {
            QCOMPARE(ui::background(f.get(box)), ui::kWhite);
            QVERIFY(f.get(box)->isEnabled());
        }
    }

    void loaderGreysAndTicksFromTheSettingsRow()
    {
        Fixture f;
        f.exec("UPDATE soft_config SET t_1=0, t_2=1, t_3=0, ttx_3='[新]', d_1=1, d_2=0, d_3=1, dtx_1='x', "
               "k_1=1, k_2=1, k_3=5, alimama='12345678'");
        f.open();
        // title: replace off -> grey but enabled; add on -> white, options enabled, "before" selected
        QCOMPARE(ui::background(f.get("ttx_1")), ui::kGrey);
        QCOMPARE(ui::background(f.get("ttx_2")), ui::kGrey);
        QVERIFY(f.get("ttx_1")->isEnabled());
        QCOMPARE(ui::background(f.get("ttx_3")), ui::kWhite);
        QCOMPARE(f.get<QLineEdit>("ttx_3")->text(), QStringLiteral("[新]"));
        auto t3 = f.window->findChildren<QRadioButton *>("t_3");
        QVERIFY(t3[0]->isChecked() && t3[0]->isEnabled());
        // description: add off -> grey, options disabled
        QVERIFY(f.get<QCheckBox>("d_1")->isChecked());
        QCOMPARE(ui::background(f.get("dtx_1")), ui::kWhite);
        QCOMPARE(ui::background(f.get("dtx_3")), ui::kGrey);
        QVERIFY(f.get("dtx_3")->isEnabled());
        for (QRadioButton *o : f.window->findChildren<QRadioButton *>("d_3"))
            QVERIFY(!o->isEnabled());
        // keywords: any position other than 0 selects "after"
        QVERIFY(f.window->findChildren<QRadioButton *>("k_3")[1]->isChecked());
        QCOMPARE(f.get<QLineEdit>("alimama_pid")->text(), QStringLiteral("12345678"));
    }

    void ruleSwitchesEnableAndGrey()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton25")->click();
        auto *t1 = f.get<QCheckBox>("t_1");
        t1->click();
        QVERIFY(f.get("ttx_1")->isEnabled() && f.get("ttx_2")->isEnabled());
        QCOMPARE(ui::background(f.get("ttx_1")), ui::kWhite);
        QVERIFY(f.get("ttx_1")->hasFocus());
        t1->click();
        QVERIFY(!f.get("ttx_1")->isEnabled() && !f.get("ttx_2")->isEnabled());
        QCOMPARE(ui::background(f.get("ttx_2")), ui::kGrey);

        auto *k2 = f.get<QCheckBox>("k_2");
        k2->click();
        k2->click();
        QVERIFY(!f.get("ktx_3")->isEnabled());
        QCOMPARE(ui::background(f.get("ktx_3")), ui::kGrey);
        for (QRadioButton *o : f.window->findChildren<QRadioButton *>("k_3"))
            QVERIFY(!o->isEnabled());
        k2->click();
        QVERIFY(f.get("ktx_3")->hasFocus());
        for (QRadioButton *o : f.window->findChildren<QRadioButton *>("k_3"))
            QVERIFY(o->isEnabled());
    }

    void rulesSave()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton25")->click();
        f.get<QCheckBox>("t_1")->click();
        f.get<QCheckBox>("k_2")->click();
        f.get<QAbstractButton>("XPButton27")->click();
        QCOMPARE(f.notes.messages, QStringList({"标题中要查找的替换字符串不能为空"}));
        QVERIFY(f.get("ttx_1")->hasFocus());
        QCOMPARE(f.count("SELECT t_1 FROM soft_config"), 0);

        f.get<QLineEdit>("ttx_1")->setText("鞋");
        f.get<QLineEdit>("ktx_3")->setText("包邮");
        f.window->findChildren<QRadioButton *>("k_3")[0]->click();
        f.get<QAbstractButton>("XPButton27")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("替换规则保存完毕！"));
        QCOMPARE(f.status(), QStringLiteral("替换规则保存完毕！"));
        const auto c = f.prepare().loadSettings().value;
        QCOMPARE(c->rules.title.replaceOn, true);
        QCOMPARE(c->rules.title.find, QStringLiteral("鞋"));
        QCOMPARE(c->rules.key.addOn, true);
        QCOMPARE(c->rules.key.addText, QStringLiteral("包邮"));
        QCOMPARE(c->rules.key.addBefore, true);
        QCOMPARE(c->rules.doc.addBefore, false);
    }

    void siteSettingsSave()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton25")->click();
        auto *user = f.get<QLineEdit>("web_user");
        auto *server = f.get<QLineEdit>("web_server");
        user->setText("abcd");
        server->setText("new.site.test/");
        f.get<QAbstractButton>("XPButton21")->click();
        QCOMPARE(f.notes.messages, QStringList({"网站后台用户名5-32字符之间"}));
        QVERIFY(user->hasFocus());
        QCOMPARE(server->text(), QStringLiteral("new.site.test/"));
        QCOMPARE(f.prepare().loadSettings().value->web_user, initial::webUser);

        user->setText("admin5");
        f.get<QAbstractButton>("XPButton21")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("网站信息保存完毕"));
        QCOMPARE(f.status(), QStringLiteral("网站信息保存完毕"));
        QCOMPARE(server->text(), QStringLiteral("new.site.test"));
        QCOMPARE(f.session.webserver(), QStringLiteral("new.site.test"));
        QCOMPARE(f.session.webuser(), QStringLiteral("admin5"));
        QCOMPARE(f.prepare().loadSettings().value->web_server, QStringLiteral("new.site.test"));

        // Editing a box without saving leaves the settings in force alone.
        server->setText("other.test");
        QCOMPARE(f.session.webserver(), QStringLiteral("new.site.test"));
    }

    // A save the database cannot take is reported as a failure, never as saved.
    void failedWritesAreReported()
    {
        Fixture f;
        f.addRow("1", 1);
        f.open();
        f.clickRow(0);
        f.exec("CREATE TRIGGER no_edits BEFORE UPDATE ON itemlist BEGIN SELECT RAISE(ABORT, 'locked'); END");
        f.exec("CREATE TRIGGER no_settings BEFORE UPDATE ON soft_config BEGIN SELECT RAISE(ABORT, 'locked'); END");
        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("保存失败：数据违反约束"));
        QCOMPARE(f.window->model()->label(0), QStringLiteral("已采集"));
        f.get<QAbstractButton>("XPButton21")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("网站信息保存失败：数据违反约束"));
        QCOMPARE(f.status(), QStringLiteral("网站信息保存失败：数据违反约束"));
        f.get<QAbstractButton>("XPButton27")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("替换规则保存失败：数据违反约束"));
        QVERIFY(!f.notes.messages.contains(QStringLiteral("网站信息保存完毕")));
        QVERIFY(!f.notes.messages.contains(QStringLiteral("替换规则保存完毕！")));
    }

    void addressNormalisers()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton25")->click();
        auto *server = f.get<QLineEdit>("web_server");
        server->clear();
        server->setFocus();
        QTest::keyClicks(server, "http:/");
        QCOMPARE(server->text(), QStringLiteral("http:/"));
        QTest::keyClick(server, '/');
        QCOMPARE(server->text(), QString());

        auto *shop = f.get<QLineEdit>("guest_shop");
        shop->setFocus();
        shop->setText("HTTP://SHOP.TEST");
        QCOMPARE(shop->text(), QStringLiteral("HTTP://SHOP.TEST"));
        server->setFocus();
        QCOMPARE(shop->text(), QString());

        // Another window coming to the front, or a pop-up, leaves a half-typed address alone.
        for (Qt::FocusReason away : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
            shop->setText("http://half");
            QFocusEvent out(QEvent::FocusOut, away);
            QCoreApplication::sendEvent(shop, &out);
            QCOMPARE(shop->text(), QStringLiteral("http://half"));
        }
    }

    void publisherIdIsSavedOnLeaving()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton28")->click();
        auto *pid = f.get<QLineEdit>("alimama_pid");
        pid->setFocus();
        pid->setText("1620&num_iids=9");
        // It goes into the conversion form as it is: only digits are kept, anything else is said.
        f.get<QLineEdit>("alimama_item")->setFocus();
        QCOMPARE(f.prepare().loadSettings().value->alimama, QString());
        QCOMPARE(f.status(), QStringLiteral("淘客PID只能是数字"));
        pid->setFocus();
        pid->setText("16243711");
        // The window going to the back saves nothing; the focus moving to another box does.
        QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(pid, &away);
        QCOMPARE(f.prepare().loadSettings().value->alimama, QString());
        f.get<QLineEdit>("alimama_item")->setFocus();
        QCOMPARE(f.prepare().loadSettings().value->alimama, QStringLiteral("16243711"));
        // A new start shows it again.
        f.window.reset();
        f.open();
        QCOMPARE(f.get<QLineEdit>("alimama_pid")->text(), QStringLiteral("16243711"));
    }

    // The shop and its seller ID stay for the next start, as the publisher ID does.
    void shopAndSellerIdAreKept()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton25")->click();
        auto *shop = f.get<QLineEdit>("guest_shop");
        auto *sid = f.get<QLineEdit>("shopsid");
        shop->setFocus();
        shop->setText("shop.velorix.test");
        QCOMPARE(f.session.shared().shopAddress, QStringLiteral("shop.velorix.test"));   // in force at once
        sid->setFocus();
        sid->setText("20260001");
        f.get<QLineEdit>("web_user")->setFocus();
        const auto stored = f.prepare().loadSettings().value;
        QCOMPARE(stored->guest_shop, QStringLiteral("shop.velorix.test"));
        QCOMPARE(stored->shopsid, QStringLiteral("20260001"));
        f.window.reset();
        f.open();
        QCOMPARE(f.get<QLineEdit>("guest_shop")->text(), QStringLiteral("shop.velorix.test"));
        QCOMPARE(f.get<QLineEdit>("shopsid")->text(), QStringLiteral("20260001"));
        QCOMPARE(f.session.shared().shopsid, QStringLiteral("20260001"));
    }

    // Leaving the page with changes that were not saved asks whether to save them now.
    void leavingWithUnsavedChangesAsks_data()
    {
        QTest::addColumn<QString>("change");   // rule: a title rule; user: the site's account
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("left");        // the collection page shows afterwards
        QTest::addColumn<QString>("message");  // the last message shown
        QTest::addRow("rule, not now") << "rule" << false << true << "";
        QTest::addRow("rule, saved") << "rule" << true << true << "替换规则保存完毕！";
        QTest::addRow("site, saved") << "user" << true << true << "网站信息保存完毕";
        QTest::addRow("site, refused by its check") << "bad user" << true << false << "网站后台用户名5-32字符之间";
    }
    void leavingWithUnsavedChangesAsks()
    {
        QFETCH(QString, change);
        QFETCH(bool, answer);
        QFETCH(bool, left);
        QFETCH(QString, message);
        Fixture f;
        f.open();
        f.click("XPButton25");
        QVERIFY(f.get("Frame3")->isVisible());
        QString part;
        if (change == "rule") {
            f.click("t_1");
            f.type("shoe");
            part = QStringLiteral("替换规则");
        } else {
            QTest::mouseDClick(f.get("web_user"), Qt::LeftButton);
            f.key(Qt::Key_A, Qt::ControlModifier);
            f.type(change == "user" ? "admin7" : "ab");
            part = QStringLiteral("网站设置");
        }
        f.notes.answers = {answer};
        f.click("XPButton25");
        QCOMPARE(f.notes.questions, QStringList({"保存设置|" + part + "已修改，尚未保存。是否现在保存？"}));
        QCOMPARE(f.get("Frame1")->isVisible(), left);
        QCOMPARE(f.notes.messages.isEmpty() ? QString() : f.notes.messages.last(), message);
        const auto stored = f.prepare().loadSettings().value;
        QCOMPARE(stored->rules.title.find == QStringLiteral("shoe"), change == "rule" && answer);
        QCOMPARE(stored->web_user == QStringLiteral("admin7"), change == "user");
        // Rules left unsaved still rewrite what is collected in this run, and the exit
        // question names them.
        if (change == "rule" && !answer) {
            QCOMPARE(f.session.rules().title.find, QStringLiteral("shoe"));
            f.notes.answers = {false};
            f.window->close();
            QCOMPARE(f.notes.questions.last(),
                     QStringLiteral("退出|替换规则尚未保存，退出后这些修改将丢失。\n是否确定退出？"));
        }
        // What was saved asks nothing the next time.
        if (left && answer) {
            f.click("XPButton25");
            f.click("XPButton25");
            QCOMPARE(f.notes.questions.size(), 1);
        }
        QVERIFY(!f.notes.unexpected);
    }

    // Unchanged, or changed back: nothing to ask.
    void leavingUnchangedAsksNothing()
    {
        Fixture f;
        f.open();
        f.click("XPButton25");
        auto *user = f.get<QLineEdit>("web_user");
        const QString was = user->text();
        user->setText("changed");
        user->setText(was);
        f.click("t_2");
        f.click("t_2");
        f.click("XPButton25");
        QVERIFY(f.get("Frame1")->isVisible());
        QVERIFY(f.notes.questions.isEmpty());
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
