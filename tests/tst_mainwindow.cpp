#include "app/itemlistmodel.h"
#include "app/mainwindow.h"
#include "app/uihelpers.h"
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "publish/uploadstep.h"
#include "session/session.h"
#include "store/initialsettings.h"
#include "sim/simulator.h"
#include "testsupport.h"
#include "widgets/xpbutton2.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTreeView>
#include <QtTest>

// Records the addresses the window asks the desktop to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl &url) { urls << url.toString(); }

public:
    QStringList urls;
};

// A window over a fresh profile; rows and settings can be prepared before it loads.
struct Fixture {
    TempProfile profile;
    ScriptedNotifier notes;
    Session session{notes};
    std::unique_ptr<MainWindow> window;

    ProfileDb &prepare()
    {
        if (!prepared.isOpen())
            prepared.open(profile.path());
        return prepared;
    }
    void exec(const QString &sql)
    {
        QSqlQuery q(prepare().database());
        QVERIFY2(q.exec(sql), qPrintable(sql));
    }
    qint64 addRow(const QString &item, int state, int itemstate = 0, int byid = 1)
    {
        const qint64 id = prepare().insertListed(item, "标题" + item, "", "9.90", byid);
        exec(QStringLiteral("UPDATE itemlist SET state=%1, itemstate=%2, web_title='页标题%3', "
                            "web_key='关键词%3', web_doc='描述%3' WHERE id=%4")
                 .arg(state).arg(itemstate).arg(item).arg(id));
        return id;
    }
    MainWindow &open()
    {
        prepared.close();
        window = std::make_unique<MainWindow>(session);
        window->load(profile.path());
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("window not active");
        return *window;
    }
    template <class T = QWidget>
    T *get(const QString &name)
    {
        T *w = window->findChild<T *>(name);
        if (!w)
            qWarning("no control %s", qPrintable(name));
        return w;
    }
    QString status() { return get<QLabel>("Label1")->text(); }
    QTreeView *list() { return get<QTreeView>("ListView1"); }
    void select(std::initializer_list<int> rows)
    {
        list()->clearSelection();
        for (int r : rows)
            list()->selectionModel()->select(window->model()->index(r, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void clickRow(int row)
    {
        const QRect rect = list()->visualRect(window->model()->index(row, 1));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    QAction *action(const QString &name) { return window->findChild<QAction *>(name); }
    int count(const QString &sql)
    {
        ProfileDb &db = prepare();
        QSqlQuery q(db.database());
        q.exec(sql);
        q.next();
        const int n = q.value(0).toInt();
        return n;
    }

private:
    ProfileDb prepared;
};

class TestMainWindow : public QObject
{
    Q_OBJECT
    UrlRecorder recorder;

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler("http", &recorder, "open");
        QDesktopServices::setUrlHandler("file", &recorder, "open");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("file");
    }
    void init() { recorder.urls.clear(); }

    void startCreatesProfileAndShowsWelcome()
    {
        Fixture f;
        MainWindow &w = f.open();
        QVERIFY(QFile::exists(f.profile.path()));
        QCOMPARE(w.objectName(), QStringLiteral("Form1"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Velorix"));
        QCOMPARE(w.size(), QSize(660, 433));
        QCOMPARE(f.status(), QStringLiteral("欢迎使用Tarnwick软件，软件已准备就绪"));
        QVERIFY(f.get("Frame1")->isVisible());
        QVERIFY(!f.get("Frame3")->isVisible());
        QVERIFY(!f.get("Frame10")->isVisible());
        QCOMPARE(f.get<QAbstractButton>("XPButton25")->text(), QStringLiteral("综合设置"));
        QCOMPARE(w.editorTag(), QStringLiteral("0"));
        for (const char *box : {"web_title", "web_key", "web_doc"})
            QVERIFY(f.get<QLineEdit>(box)->text().isEmpty());
        // The new profile's settings row is loaded into the site boxes and the copies.
        QCOMPARE(f.get<QLineEdit>("web_server")->text(), initial::webServer);
        QCOMPARE(f.session.webuser(), initial::webUser);
    }

    void controlsCarryTheirNamesAndTexts()
    {
        Fixture f;
        f.open();
        const struct { const char *name; const char *caption; } buttons[] = {
            {"Command1", "第一步：列表采集"}, {"command2", "第二步：宝贝采集"}, {"command3", "第三步：更新上传"},
            {"XPButton28", "淘客宝贝"}, {"XPButton210", "添加"}, {"XPButton22", "保存"},
            {"XPButton23", "重新采集"}, {"XPButton24", "更新上传"}, {"XPButton25", "综合设置"},
            {"XPButton26", "使用帮助"}, {"XPButton21", "保存设置"}, {"XPButton27", "保存设置"},
            {"Command4", "打开"}, {"Command5", "打开"},
        };
        for (const auto &b : buttons) {
            auto *button = f.get<XPButton2>(b.name);
            QVERIFY2(button, b.name);
            QCOMPARE(button->text(), QString::fromUtf8(b.caption));
        }
        QVERIFY(f.window->findChildren<QPushButton *>().isEmpty());
        const struct { const char *name; int max; const char *tip; } boxes[] = {
            {"guest_shop", 50, ""}, {"web_server", 50, "网站域名，可带端口和网站所在目录，如 www.example.com:8080/shop"},
            {"web_user", 32, ""}, {"web_pass", 32, ""},
            {"web_adminpath", 20, ""}, {"alimama_pid", 20, ""}, {"ttx_1", 50, ""}, {"ttx_2", 50, ""},
            {"ttx_3", 50, ""}, {"web_title", 250, "一般不超过80个字符"}, {"web_key", 250, "一般不超过100个字符"},
            {"web_doc", 250, "一般不超过200个字符"},
        };
        const QString emoji = QStringLiteral("\U0001F600");
        for (const auto &b : boxes) {
            auto *box = f.get<QLineEdit>(b.name);
            QVERIFY2(box, b.name);
            QCOMPARE(box->toolTip(), QString::fromUtf8(b.tip));
            if (b.max < 250) {
                QCOMPARE(box->maxLength(), b.max);
                continue;
            }
            // The work boxes count characters: an emoji is one, and none is cut in half.
            box->setText(emoji.repeated(251));
            QCOMPARE(box->text(), emoji.repeated(250));
            box->setText(QString(249, 'x'));
            box->end(false);
            box->insert(emoji + "y");   // what typing or pasting does
            QCOMPARE(box->text(), QString(249, 'x') + emoji);
            box->clear();
        }
        QCOMPARE(f.get<QLineEdit>("web_pass")->echoMode(), QLineEdit::Password);
        // The two address boxes show a whole address of 50 characters.
        f.window->show();
        f.get<QAbstractButton>("XPButton25")->click();
        for (const char *name : {"guest_shop", "web_server"}) {
            auto *box = f.get<QLineEdit>(name);
            const QString address = QStringLiteral("shop-%1.velorix-demo.mirror.test").arg(QString(20, QLatin1Char('x')));
            QCOMPARE(address.size(), 50);
            QVERIFY2(box->fontMetrics().horizontalAdvance(address) < box->width() - 8, name);
        }
        const struct { const char *name; const char *title; } frames[] = {
            {"Frame1", "宝贝采集"}, {"Frame2", "快捷编辑区"}, {"Frame3", "综合设置"},
            {"Frame4", "采集替换规则"}, {"Frame8", "网站相关设置"}, {"Frame10", "淘客采集"},
        };
        for (const auto &fr : frames)
            QCOMPARE(f.get<QGroupBox>(fr.name)->title(), QString::fromUtf8(fr.title));
        QCOMPARE(f.get("Frame1")->size(), QSize(653, 407));

        QStringList menu;
        for (QAction *a : f.get("rightmenu")->actions())
            menu << a->objectName() + "=" + (a->isSeparator() ? "-" : a->text());
        QCOMPARE(menu, QStringList({"openie=在游览器中打开", "reupdate=重新上传", "delitem=删除此宝贝",
                                    "showneeding=", "showall=", "fgf1=-", "endsoft=退出"}));

        auto *header = f.list()->header();
        QStringList captions;
        QList<int> widths;
        for (int c = 0; c < header->count(); ++c) {
            captions << f.window->model()->headerData(c, Qt::Horizontal).toString();
            widths << header->sectionSize(c);
        }
        QCOMPARE(captions, QStringList({"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间"}));
        QCOMPARE(widths, QList<int>({46, 200, 66, 66, 80, 133}));

        for (const char *p : {"t_3", "d_3", "k_3"}) {
            const auto options = f.window->findChildren<QRadioButton *>(p);
            QCOMPARE(options.size(), 2);
            QCOMPARE(options[0]->text(), QStringLiteral("标题前"));
            QCOMPARE(options[1]->text(), QStringLiteral("标题后"));
            QVERIFY(options[1]->isChecked());
        }
    }

    void listShowsRowsWithLabels()
    {
        Fixture f;
        f.addRow("100", 0, 0, 1);
        f.addRow("101", 1, 0, 2);
        f.addRow("102", 2, 0, 3);
        f.addRow("103", 3, 0, 4);
        f.addRow("104", 1, 1, 5);
        const qint64 quoted = f.prepare().insertListed("it'em\"", "O'Neil's \"best\"", "", "1'0", 6);
        f.open();
        ItemListModel *m = f.window->model();
        QCOMPARE(m->rowCount(), 6);
        auto cell = [m](int r, int c) { return m->data(m->index(r, c)).toString(); };
        QStringList labels;
        for (int r = 0; r < 6; ++r)
            labels << cell(r, ItemListModel::StateColumn);
        QCOMPARE(labels, QStringList({"未采集", "状态不正常", "已上传", "已修改", "已采集", "未采集"}));
        QCOMPARE(cell(0, 0), QString::number(quoted));
        QCOMPARE(cell(0, 1), QStringLiteral("O'Neil's \"best\""));
        QCOMPARE(cell(0, 2), QStringLiteral("1'0"));
        QCOMPARE(cell(0, 3), QStringLiteral("it'em\""));
        QVERIFY(!cell(0, 5).isEmpty());
    }

    // The rows that need the operator say why, and the menu can show them alone.
    void failuresInSight()
    {
        Fixture f;
        f.addRow("1", 1);
        const qint64 refused = f.addRow("2", 1);
        f.exec(QStringLiteral("UPDATE itemlist SET errcode=1, errdecription='该宝贝不允许发布' WHERE id=%1").arg(refused));
        f.addRow("3", 0, 1);
        const qint64 noTitle = f.addRow("4", 1, 1);
        f.exec(QStringLiteral("UPDATE itemlist SET title='' WHERE id=%1").arg(noTitle));
        const qint64 again = f.addRow("5", 3);
        f.exec(QStringLiteral("UPDATE itemlist SET errcode=1 WHERE id=%1").arg(again));   // uploaded by hand since
        f.open();
        ItemListModel *m = f.window->model();
        QMap<QString, QString> tips;
        for (int r = 0; r < m->rowCount(); ++r)
            tips[m->row(r).item] = m->data(m->index(r, 1), Qt::ToolTipRole).toString();
        QCOMPARE(tips["1"], QString());
        QCOMPARE(tips["2"], QStringLiteral("上传失败：该宝贝不允许发布"));
        QCOMPARE(tips["3"], QStringLiteral("状态不正常：宝贝页面显示该宝贝已不存在或暂不提供查看"));
        QCOMPARE(tips["4"], QStringLiteral("状态不正常：宝贝标题为空，无法上传"));
        QCOMPARE(tips["5"], QString());

        auto *menu = f.get<QMenu>("rightmenu");
        emit menu->aboutToShow();
        QCOMPARE(f.action("showneeding")->text(), QStringLiteral("只显示需处理的宝贝（上传失败 1，状态不正常 2）"));
        QCOMPARE(f.action("showall")->text(), QStringLiteral("显示全部宝贝（共 5）"));
        f.action("showneeding")->trigger();
        QStringList shown;
        for (int r = 0; r < m->rowCount(); ++r)
            shown << m->row(r).item;
        QCOMPARE(shown, QStringList({"4", "3", "2"}));   // in list order
        QVERIFY(!m->setLabelByItem("1", QStringLiteral("正在上传...")));   // not shown: skipped
        f.action("showall")->trigger();
        QCOMPARE(m->rowCount(), 5);
    }

    void pageSwitchAndAffiliateBox()
    {
        Fixture f;
        f.addRow("1", 1);
        f.open();
        auto *toggle = f.get<QAbstractButton>("XPButton25");
        toggle->click();
        QVERIFY(!f.get("Frame1")->isVisible());
        QVERIFY(f.get("Frame3")->isVisible());
        QCOMPARE(toggle->text(), QStringLiteral("宝贝采集"));
        toggle->click();
        QVERIFY(f.get("Frame1")->isVisible());
        QVERIFY(!f.get("Frame3")->isVisible());
        QCOMPARE(toggle->text(), QStringLiteral("综合设置"));

        f.get<QAbstractButton>("XPButton28")->click();
        QVERIFY(f.get("Frame10")->isVisible());
        f.get<QAbstractButton>("XPButton28")->click();
        QVERIFY(!f.get("Frame10")->isVisible());
        f.get<QAbstractButton>("XPButton28")->click();
        f.clickRow(0);
        QVERIFY(!f.get("Frame10")->isVisible());
        // A click below the last row is a click into the list as well.
        f.get<QAbstractButton>("XPButton28")->click();
        QVERIFY(f.get("Frame10")->isVisible());
        QTest::mouseClick(f.list()->viewport(), Qt::LeftButton, {}, QPoint(20, f.list()->viewport()->height() - 5));
        QVERIFY(!f.get("Frame10")->isVisible());
    }

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
        const auto c = f.prepare().loadSettings();
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
        QCOMPARE(f.prepare().loadSettings()->web_user, initial::webUser);

        user->setText("admin5");
        f.get<QAbstractButton>("XPButton21")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("网站信息保存完毕"));
        QCOMPARE(f.status(), QStringLiteral("网站信息保存完毕"));
        QCOMPARE(server->text(), QStringLiteral("new.site.test"));
        QCOMPARE(f.session.webserver(), QStringLiteral("new.site.test"));
        QCOMPARE(f.session.webuser(), QStringLiteral("admin5"));
        QCOMPARE(f.prepare().loadSettings()->web_server, QStringLiteral("new.site.test"));

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
        QCOMPARE(f.notes.messages.last(), QStringLiteral("保存失败：数据库无法写入"));
        QCOMPARE(f.window->model()->label(0), QStringLiteral("已采集"));
        f.get<QAbstractButton>("XPButton21")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("网站信息保存失败：数据库无法写入"));
        QCOMPARE(f.status(), QStringLiteral("网站信息保存失败：数据库无法写入"));
        f.get<QAbstractButton>("XPButton27")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("替换规则保存失败：数据库无法写入"));
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
        pid->setText("mm_1'2");
        // The window going to the back saves nothing; the focus moving to another box does.
        QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(pid, &away);
        QCOMPARE(f.prepare().loadSettings()->alimama, QString());
        f.get<QLineEdit>("alimama_item")->setFocus();
        QCOMPARE(f.prepare().loadSettings()->alimama, QStringLiteral("mm_1'2"));
        // A new start shows it again.
        f.window.reset();
        f.open();
        QCOMPARE(f.get<QLineEdit>("alimama_pid")->text(), QStringLiteral("mm_1'2"));
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
        const auto stored = f.prepare().loadSettings();
        QCOMPARE(stored->guest_shop, QStringLiteral("shop.velorix.test"));
        QCOMPARE(stored->shopsid, QStringLiteral("20260001"));
        f.window.reset();
        f.open();
        QCOMPARE(f.get<QLineEdit>("guest_shop")->text(), QStringLiteral("shop.velorix.test"));
        QCOMPARE(f.get<QLineEdit>("shopsid")->text(), QStringLiteral("20260001"));
        QCOMPARE(f.session.shared().shopsid, QStringLiteral("20260001"));
    }

    void openButtonsAndLinks()
    {
        Fixture f;
        f.open();
        f.get<QAbstractButton>("XPButton25")->click();
        f.get<QLineEdit>("web_server")->setText("a.bcd");
        f.get<QAbstractButton>("Command4")->click();
        QVERIFY(recorder.urls.isEmpty());
        f.get<QLineEdit>("web_server")->setText("a.bcde");
        f.get<QAbstractButton>("Command4")->click();
        f.get<QLineEdit>("guest_shop")->setText("shop.test");
        f.get<QAbstractButton>("Command5")->click();
        QCOMPARE(recorder.urls, QStringList({"http://a.bcde", "http://shop.test"}));

        recorder.urls.clear();
        f.get<QAbstractButton>("XPButton26")->click();
        QCOMPARE(recorder.urls.size(), 1);
        QVERIFY(recorder.urls[0].endsWith("/help.html"));
        QVERIFY(QFile::exists(QUrl(recorder.urls[0]).toLocalFile()));
        emit f.get<QLabel>("Label4")->linkActivated(QString());
        QCOMPARE(recorder.urls.last(), links::makerHomePage);
    }

    void openSelectedItemPages()
    {
        Fixture f;
        f.addRow("11", 1, 0, 1);
        f.addRow("22", 1, 0, 2);
        f.addRow("33", 1, 0, 3);
        f.open();
        f.select({});
        f.action("openie")->trigger();
        QVERIFY(recorder.urls.isEmpty());
        f.select({2, 0});
        f.action("openie")->trigger();
        QCOMPARE(recorder.urls, QStringList({"http://item.taobao.com/item.htm?id=33",
                                             "http://item.taobao.com/item.htm?id=11"}));
        recorder.urls.clear();
        const QRect rect = f.list()->visualRect(f.window->model()->index(1, 1));
        QTest::mouseClick(f.list()->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(f.list()->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(recorder.urls, QStringList({"http://item.taobao.com/item.htm?id=22"}));
    }

    void editorLoadsTheClickedRow()
    {
        Fixture f;
        const qint64 abnormal = f.addRow("1", 0, 1, 1);
        const qint64 fresh = f.addRow("2", 0, 0, 2);
        const qint64 collected = f.addRow("3", 1, 0, 3);
        f.open();
        f.clickRow(0);
        QCOMPARE(f.window->editorTag(), QString::number(collected));
        QCOMPARE(f.get<QLineEdit>("web_title")->text(), QStringLiteral("页标题3"));
        QCOMPARE(f.get<QLineEdit>("web_key")->text(), QStringLiteral("关键词3"));
        QCOMPARE(f.get<QLineEdit>("web_doc")->text(), QStringLiteral("描述3"));
        QCOMPARE(f.status(), QString());

        f.clickRow(1);
        QCOMPARE(f.window->editorTag(), QString::number(fresh));
        QVERIFY(f.get<QLineEdit>("web_title")->text().isEmpty());
        QCOMPARE(f.status(), QStringLiteral("未采集宝贝暂不能进行编辑"));
        f.clickRow(2);
        QCOMPARE(f.window->editorTag(), QString::number(abnormal));
        QCOMPARE(f.status(), QStringLiteral("宝贝状态不正确"));
    }

    void editorSave()
    {
        Fixture f;
        const qint64 uploaded = f.addRow("1", 3, 0, 1);
        f.exec("UPDATE itemlist SET click_url='http://c', errcode=1 WHERE item='1'");
        f.addRow("2", 0, 0, 2);
        f.open();

        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages, QStringList({"非编辑状态不能保存"}));
        QCOMPARE(f.status(), QStringLiteral("非编辑状态不能保存"));

        f.clickRow(1);
        auto *title = f.get<QLineEdit>("web_title");
        title->setText("新标题'含引号");
        f.get<QLineEdit>("web_key")->clear();
        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("网页关键词不能为空"));
        QVERIFY(f.get("web_key")->hasFocus());
        f.get<QLineEdit>("web_key")->setText("新关键词");
        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("保存成功，请重新上传该数据！"));
        QCOMPARE(f.status(), QStringLiteral("保存成功，请重新上传该数据！"));
        // The row's label changes in place; the list is not refilled.
        QCOMPARE(f.window->model()->label(1), QStringLiteral("已修改"));
        QCOMPARE(f.window->model()->row(1).state, 3);
        const auto r = f.prepare().itemById(uploaded);
        QCOMPARE(r->state, 2);
        QCOMPARE(r->web_title, QStringLiteral("新标题'含引号"));
        QCOMPARE(r->web_key, QStringLiteral("新关键词"));
        QCOMPARE(r->web_doc, QStringLiteral("描述1"));
        QCOMPARE(r->errcode, 1);
        QCOMPARE(r->click_url, QStringLiteral("http://c"));

        // A row that is not collected yet cannot be marked edited.
        f.clickRow(0);
        f.get<QLineEdit>("web_title")->setText("t");
        f.get<QLineEdit>("web_key")->setText("k");
        f.get<QLineEdit>("web_doc")->setText("d");
        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("未采集宝贝暂不能进行编辑"));
        QCOMPARE(f.prepare().itemByItem("2")->state, 0);

        // The row vanished after it was loaded.
        f.clickRow(1);
        f.prepare().deleteById(uploaded);
        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("参数丢失，保存失败"));
        QCOMPARE(f.status(), QStringLiteral("参数丢失，保存失败"));
        QCOMPARE(f.count("SELECT count(*) FROM itemlist"), 1);
    }

    void deleteAsksAndDeletesTheFirstSelectedRow()
    {
        Fixture f;
        f.addRow("1", 1, 0, 1);
        f.addRow("2", 1, 0, 2);
        f.addRow("3", 1, 0, 3);
        f.open();
        f.select({0, 2});
        f.notes.answers = {false};
        f.action("delitem")->trigger();
        QCOMPARE(f.notes.questions, QStringList({"删除|是否确定删除此宝贝？"}));
        QCOMPARE(f.count("SELECT count(*) FROM itemlist"), 3);

        f.notes.answers = {true};
        f.action("delitem")->trigger();
        QCOMPARE(f.count("SELECT count(*) FROM itemlist"), 2);
        QVERIFY(!f.prepare().itemByItem("3"));
        QCOMPARE(f.window->model()->rowCount(), 2);
        QVERIFY(f.list()->selectionModel()->selectedRows().isEmpty());
        QVERIFY(!f.notes.unexpected);
    }

    void exitAsks()
    {
        Fixture f;
        f.open();
        f.notes.answers = {false};
        QVERIFY(!f.window->close());
        QVERIFY(f.window->isVisible());
        QVERIFY(f.session.db().isOpen());
        f.notes.answers = {true};
        f.action("endsoft")->trigger();
        QVERIFY(!f.window->isVisible());
        QVERIFY(!f.session.db().isOpen());
        QCOMPARE(f.notes.questions.size(), 2);
        QCOMPARE(f.notes.questions[0], QStringLiteral("退出|是否确定退出？"));
    }

    void unusableProfileOpensAnEmptyWindow()
    {
        Fixture f;
        QDir().mkpath(QFileInfo(f.profile.path()).path());
        QFile file(f.profile.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("garbage, not a database");
        file.close();
        f.open();
        QVERIFY(f.status().contains(f.profile.path()));
        QCOMPARE(f.window->model()->rowCount(), 0);
        QCOMPARE(f.get<QLineEdit>("web_server")->text(), initial::webServer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("garbage, not a database"));
    }

    // The step buttons and the list follow a run against the simulator.
    void stepsShowTheirStateInTheWindow()
    {
        SimOptions o;
        o.items = 25;
        o.goneShare = 20;
        Simulator sim(o);
        QVERIFY(sim.listen());
        qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(sim.port()));
        Fixture f;
        f.open();
        f.session.listStep().setIntervals(1, 1);
        f.session.detailStep().setIntervals(1, 20);
        f.get<QLineEdit>("guest_shop")->setText(o.shopHost);
        auto *command1 = f.get<QAbstractButton>("Command1");
        auto *command2 = f.get<QAbstractButton>("command2");

        // The mode dialog opens on resume; Cancel changes nothing.
        command1->click();
        auto *dialog = f.window->findChild<QDialog *>("Form2");
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请选择采集模式"));
        QVERIFY(dialog->findChild<QRadioButton *>("Option1")->isChecked());
        dialog->findChild<QRadioButton *>("Option2")->click();
        dialog->findChild<QAbstractButton *>("XPButton22")->click();
        QTRY_VERIFY(!f.window->findChild<QDialog *>("Form2"));
        QCOMPARE(command1->text(), QStringLiteral("第一步：列表采集"));
        QTest::qWait(50);
        QVERIFY(sim.requests().isEmpty());

        command1->click();
        dialog = f.window->findChild<QDialog *>("Form2");
        QVERIFY(dialog->findChild<QRadioButton *>("Option1")->isChecked());   // each opening starts on resume
        dialog->findChild<QAbstractButton *>("XPButton21")->click();
        QCOMPARE(command1->text(), QStringLiteral("暂停采集"));
        // While a step runs its progress takes the maker's label's place.
        auto *bar = f.get<QProgressBar>("progress");
        QVERIFY(bar->isVisible() && !f.get("Label4")->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(command1->text(), QStringLiteral("第一步：列表采集"), 10000);
        QVERIFY(!bar->isVisible() && f.get("Label4")->isVisible());
        ItemListModel *m = f.window->model();
        QCOMPARE(m->rowCount(), 25);
        QCOMPARE(m->label(0), QStringLiteral("未采集"));

        command2->click();
        QCOMPARE(command2->text(), QStringLiteral("暂停采集"));
        QTRY_COMPARE_WITH_TIMEOUT(command2->text(), QStringLiteral("第二步：宝贝采集"), 20000);
        QCOMPARE(m->rowCount(), 25);   // patched row by row, not refilled
        QSet<QString> labels;
        for (int r = 0; r < m->rowCount(); ++r)
            labels << m->label(r);
        QCOMPARE(labels, QSet<QString>({"已采集", "状态不正常"}));
        QVERIFY(!f.get<QLineEdit>("web_title")->text().isEmpty());   // the last item's texts
        QCOMPARE(f.status(), QStringLiteral("所有宝贝详情采集完成，请编辑后更新至服务器"));

        // Step 3 with a site that forgets the login now and then and refuses one item: every
        // other collected item ends on the mirror site.
        sim.options().sessionLossAfter = 4;
        const SimItem *refused = nullptr;
        for (const SimItem &it : sim.items())
            if (!it.gone && !refused)
                refused = &it;
        sim.options().refuseItems = QStringList{refused->id};
        f.session.uploadStep().setIntervals(1, 1, 1);
        auto *command3 = f.get<QAbstractButton>("command3");
        command3->click();
        QTRY_COMPARE_WITH_TIMEOUT(f.status(), QStringLiteral("没有未上传的宝贝"), 20000);
        QCOMPARE(command3->text(), QStringLiteral("第三步：更新上传"));
        int collectable = 0;
        for (const SimItem &it : sim.items())
            collectable += !it.gone;
        QCOMPARE(sim.published().size(), collectable - 1);
        QVERIFY(!sim.published().contains(refused->id));
        labels.clear();
        for (int r = 0; r < m->rowCount(); ++r)
            labels << m->label(r);
        QCOMPARE(labels, QSet<QString>({"已上传", "状态不正常", "已采集"}));   // refilled: the refused row is collected
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
