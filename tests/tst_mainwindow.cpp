#include "windowfixture.h"
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "publish/uploadstep.h"
#include "store/initialsettings.h"
#include "sim/simulator.h"
#include "widgets/xpbutton2.h"

#include <QDialog>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

// Records the addresses the window asks the desktop to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl &url) { urls << url.toString(); }

public:
    QStringList urls;
};

class TestMainWindow : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;
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
        QCOMPARE(w.size(), MainWindow::kDefaultSize);
        QCOMPARE(w.minimumSize(), QSize(660, 433));
        // A new profile has no shop yet: the status line says where to start.
        QCOMPARE(f.status(), QStringLiteral("第一次使用：请先点“综合设置”，填写店铺地址并保存，然后点“第一步”读取店铺宝贝"));
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

        QStringList menu;
        for (QAction *a : f.get("rightmenu")->actions())
            menu << a->objectName() + "=" + (a->isSeparator() ? "-" : a->text());
        QCOMPARE(menu, QStringList({"openie=在游览器中打开", "reupdate=重新上传", "delitem=删除此宝贝",
                                    "showneeding=", "showall=", "refresh=刷新", "exportcsv=导出为CSV…", "fgf1=-",
                                    "endsoft=退出"}));

        auto *header = f.list()->header();
        QStringList captions;
        for (int c = 0; c < header->count(); ++c)
            captions << f.window->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(captions, QStringList({"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间"}));

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
        const qint64 quoted = f.prepare().insertListed("it'em\"", "O'Neil's \"best\"", "", "1'0", 6).value;
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
        const qint64 aside = f.addRow("6", 0, 1, 0);   // its page would not load: set aside by Step 2
        f.exec(QStringLiteral("UPDATE itemlist SET errdecription='宝贝页面多次读取失败（网站返回错误 404）' WHERE id=%1").arg(aside));
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
        QCOMPARE(tips["6"], QStringLiteral("状态不正常：宝贝页面多次读取失败（网站返回错误 404）"));

        auto *menu = f.get<QMenu>("rightmenu");
        emit menu->aboutToShow();
        QCOMPARE(f.action("showneeding")->text(), QStringLiteral("只显示需处理的宝贝（上传失败 1，状态不正常 3）"));
        QCOMPARE(f.action("showall")->text(), QStringLiteral("显示全部宝贝（共 6）"));
        f.action("showneeding")->trigger();
        QStringList shown;
        for (int r = 0; r < m->rowCount(); ++r)
            shown << m->row(r).item;
        QCOMPARE(shown, QStringList({"4", "3", "2", "6"}));   // in list order
        QVERIFY(!m->setLabelByItem("1", QStringLiteral("正在上传...")));   // not shown: skipped
        f.action("showall")->trigger();
        QCOMPARE(m->rowCount(), 6);
    }

    // A refused row says so in its state column and, like an abnormal one, is drawn in a
    // colour of its own; a passing label a step writes colours the row at once.
    void rowsThatNeedTheOperatorStandOut()
    {
        Fixture f;
        f.addRow("1", 1, 0, 1);
        const qint64 refused = f.addRow("2", 1, 0, 2);
        f.exec(QStringLiteral("UPDATE itemlist SET errcode=1, errdecription='不允许' WHERE id=%1").arg(refused));
        f.addRow("3", 0, 1, 3);
        f.open();
        ItemListModel *m = f.window->model();
        QCOMPARE(f.shownItems(), QStringList({"3", "2", "1"}));
        QCOMPARE(m->label(1), QStringLiteral("上传失败"));
        // What the view draws behind each row, away from its text.
        auto drawn = [&f](int row) {
            const QImage shot = f.list()->viewport()->grab().toImage();
            const QRect r = f.list()->visualRect(f.window->model()->index(row, ItemListModel::MoneyColumn));
            return QColor(shot.pixel(r.right() - 2, r.center().y()));
        };
        f.list()->clearSelection();
        f.list()->setCurrentIndex({});
        const QColor plain = drawn(2), refusedColour = drawn(1), abnormalColour = drawn(0);
        QCOMPARE(refusedColour, ItemListModel::background(ItemListModel::Need::Refused));
        QCOMPARE(abnormalColour, ItemListModel::background(ItemListModel::Need::Abnormal));
        QVERIFY(plain != refusedColour && plain != abnormalColour && refusedColour != abnormalColour);
        // Step 3 refuses row 1 now: coloured before any refill.
        emit f.session.rowLabel(QStringLiteral("1"), QStringLiteral("上传失败"));
        QCOMPARE(drawn(2), refusedColour);
        // After a refill the stored codes say it.
        f.exec(QStringLiteral("UPDATE itemlist SET errcode=1 WHERE item='1'"));
        f.window->resetlist();
        QCOMPARE(m->label(2), QStringLiteral("上传失败"));
    }

    // The filtered view says above the list that it is filtered and how many rows it hides;
    // a refill keeps it, with the count of the moment; "显示全部" ends it.
    void filteredViewSaysWhatItHides()
    {
        Fixture f;
        for (int i = 1; i <= 4; ++i)
            f.addRow(QString::number(i), 1, 0, i);
        f.exec("UPDATE itemlist SET itemstate=1 WHERE item='4'");
        f.open();
        auto *note = f.get<QLabel>("filterNote");
        QVERIFY(!note->isVisible());
        f.menuOnRow(0, "showneeding");
        QCOMPARE(f.shownItems(), QStringList({"4"}));
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().contains(QStringLiteral("另有 3 个宝贝未显示")), qPrintable(note->text()));
        // A refill (the menu's "刷新", or a step's) keeps the filter and counts again.
        f.exec("UPDATE itemlist SET errcode=1 WHERE item='1'");
        f.menuOnRow(0, "refresh");
        QCOMPARE(f.shownItems(), QStringList({"4", "1"}));
        QVERIFY(note->text().contains(QStringLiteral("另有 2 个宝贝未显示")));
        emit f.session.refillList();
        QVERIFY(note->isVisible());
        // The note's link shows every row again.
        emit note->linkActivated(QStringLiteral("all"));
        QCOMPARE(f.window->model()->rowCount(), 4);
        QVERIFY(!note->isVisible());
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

    // The whole selection goes after one question, which names the item or counts the rows;
    // the run log names what went.
    void deleteAsksOnceForTheSelection()
    {
        Fixture f;
        f.addRow("1", 1, 0, 1);
        f.addRow("2", 1, 0, 2);
        f.addRow("3", 1, 0, 3);
        f.addRow("4", 1, 0, 4);
        f.open();
        // Rows 4 and 2, picked with Ctrl; the menu opens on one of them and keeps both.
        f.clickRow(0);
        f.clickRow(2, Qt::LeftButton, Qt::ControlModifier);
        f.notes.answers = {false};
        f.menuOnRow(2, "delitem");
        QCOMPARE(f.notes.questions, QStringList({"删除|是否确定删除选中的2个宝贝？"}));
        QCOMPARE(f.count("SELECT count(*) FROM itemlist"), 4);

        f.notes.answers = {true};
        f.menuOnRow(2, "delitem");
        QCOMPARE(f.shownItems(), QStringList({"3", "1"}));
        QCOMPARE(f.count("SELECT count(*) FROM itemlist"), 2);
        QFile log(f.session.runLog().path());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(log.readAll());
        QVERIFY2(written.contains(QStringLiteral("删除") ) && written.contains(QStringLiteral("2个宝贝：4，2")),
                 qPrintable(written));

        // One row: the question names it.
        f.notes.answers = {true};
        f.menuOnRow(1, "delitem");
        QCOMPARE(f.notes.questions.last(), QStringLiteral("删除|是否确定删除此宝贝？\n标题1（宝贝ID：1）"));
        QCOMPARE(f.shownItems(), QStringList({"3"}));
        // A delete the database will not do deletes nothing and says why.
        f.exec("CREATE TRIGGER no_deletes BEFORE DELETE ON itemlist BEGIN SELECT RAISE(ABORT, 'kept'); END");
        f.notes.answers = {true};
        f.menuOnRow(0, "delitem");
        QCOMPARE(f.shownItems(), QStringList({"3"}));
        QCOMPARE(f.status(), QStringLiteral("删除失败：数据违反约束"));
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
        QCOMPARE(labels, QSet<QString>({"已上传", "状态不正常", "上传失败"}));   // after the refill too
    }

};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
