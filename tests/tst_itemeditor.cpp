#include "windowfixture.h"
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "collect/manualadd.h"
#include "publish/uploadstep.h"
#include "outside/outside.h"
#include "sim/simulator.h"

#include <QLineEdit>

// A simulated shop with every item collectable, and the steps run on it fast.
struct Shop {
    SimOptions options;
    std::unique_ptr<Simulator> sim_;
    Simulator &sim;
    explicit Shop(int items) : options(make(items)), sim_(std::make_unique<Simulator>(options)), sim(*sim_)
    {
        if (!sim.listen())
            qWarning("the simulator does not listen");
        qputenv("VELORIX_CONNECT_TO", "127.0.0.1:" + QByteArray::number(sim.port()));
    }
    static SimOptions make(int items)
    {
        SimOptions o;
        o.items = items;
        o.goneShare = 0;
        return o;
    }
    void list(Fixture &f)
    {
        f.session.listStep().setIntervals(1, 1);
        f.session.detailStep().setIntervals(1, 20);
        f.session.uploadStep().setIntervals(1, 1, 1);
        f.get<QLineEdit>("guest_shop")->setText(options.shopHost);
        f.session.listStep().start(CollectMode::Resume);
        QTRY_COMPARE_WITH_TIMEOUT(f.session.listStep().running(), false, 10000);
        QCOMPARE(f.window->model()->rowCount(), options.items);
    }
    void detail(Fixture &f)
    {
        f.session.detailStep().click();
        QTRY_COMPARE_WITH_TIMEOUT(f.session.detailStep().running(), false, 20000);
        QCOMPARE(f.count("SELECT count(*) FROM itemlist WHERE state=1"), options.items);
    }
};

// The quick-edit area and the row it holds: the boxes belong to the editor's row, and the row
// the operator sees highlighted is the row every action acts on.
class TestItemEditor : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;

private slots:
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
        const auto r = f.prepare().itemById(uploaded).value;
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
        QCOMPARE(f.prepare().itemByItem("2").value->state, 0);

        // The row vanished after it was loaded.
        f.clickRow(1);
        f.prepare().deleteById(uploaded);
        f.get<QAbstractButton>("XPButton22")->click();
        QCOMPARE(f.notes.messages.last(), QStringLiteral("参数丢失，保存失败"));
        QCOMPARE(f.status(), QStringLiteral("参数丢失，保存失败"));
        QCOMPARE(f.count("SELECT count(*) FROM itemlist"), 1);
    }

    // Typing in the boxes while Step 2 collects other items and an item is added by its
    // address: the typed texts stay, and the save stores them into the row they came from.
    void editsStayWithTheirRow()
    {
        Shop shop(4);
        Fixture f;
        f.open();
        shop.list(f);
        ItemListModel *m = f.window->model();
        const qint64 a = m->row(0).id;
        const QString added = m->row(3).item;   // deleted, then added again by its address
        f.exec(QStringLiteral("UPDATE itemlist SET state=1, web_title='A的标题', web_key='A键', web_doc='A述' WHERE id=%1").arg(a));
        f.prepare().deleteById(m->row(3).id);
        f.window->resetlist();
        f.clickRow(0);
        auto *title = f.get<QLineEdit>("web_title");
        QCOMPARE(title->text(), QStringLiteral("A的标题"));
        QTest::mouseClick(title, Qt::LeftButton);
        f.key(Qt::Key_End);
        f.type(" new");

        f.click("command2");
        QTRY_COMPARE_WITH_TIMEOUT(f.get<QAbstractButton>("command2")->text(), QStringLiteral("第二步：宝贝采集"), 20000);
        f.click("XPButton28");
        f.get<QLineEdit>("alimama_item")->setText(outside::itemPageAddress(added));
        f.click("XPButton210");
        QTRY_COMPARE_WITH_TIMEOUT(f.status(), QStringLiteral("添加成功"), 20000);
        QCOMPARE(f.count("SELECT count(*) FROM itemlist WHERE state=1"), 4);
        QCOMPARE(title->text(), QStringLiteral("A的标题 new"));
        QCOMPARE(f.get<QLineEdit>("web_key")->text(), QStringLiteral("A键"));

        f.click("XPButton28");   // the affiliate box goes, the editor shows again
        f.click("XPButton22");
        QCOMPARE(f.status(), QStringLiteral("保存成功，请重新上传该数据！"));
        QCOMPARE(f.prepare().itemById(a).value->web_title, QStringLiteral("A的标题 new"));
        QCOMPARE(f.count("SELECT count(*) FROM itemlist WHERE web_title LIKE 'A的标题%'"), 1);
        QCOMPARE(f.count("SELECT count(*) FROM itemlist WHERE state=2"), 1);
    }

    // The editor's own row collected while its boxes are as loaded: they show what was
    // collected, and a save stores it into that row. With nothing in the editor the boxes
    // show the last item collected.
    void theEditorsRowCollectedShowsItsTexts()
    {
        Shop shop(3);
        Fixture f;
        f.open();
        shop.list(f);
        f.clickRow(1);
        const qint64 id = f.window->model()->row(1).id;
        QCOMPARE(f.status(), QStringLiteral("未采集宝贝暂不能进行编辑"));
        f.click("command2");
        QTRY_COMPARE_WITH_TIMEOUT(f.get<QAbstractButton>("command2")->text(), QStringLiteral("第二步：宝贝采集"), 20000);
        const auto stored = f.prepare().itemById(id).value;
        QVERIFY(!stored->web_title.isEmpty());
        QCOMPARE(f.get<QLineEdit>("web_title")->text(), stored->web_title);
        QCOMPARE(f.get<QLineEdit>("web_doc")->text(), stored->web_doc);
        f.click("XPButton22");
        QCOMPARE(f.prepare().itemById(id).value->web_title, stored->web_title);
        QCOMPARE(f.prepare().itemById(id).value->state, 2);
    }

    // The re-collect button asks, and then the boxes show the texts read again, even where
    // the operator had typed: that is what was asked for.
    void reCollectionTheOperatorAskedForReplacesTheBoxes()
    {
        Shop shop(2);
        Fixture f;
        f.open();
        shop.list(f);
        shop.detail(f);
        f.clickRow(0);
        const QString item = f.window->model()->row(0).item;
        const QString collected = f.get<QLineEdit>("web_title")->text();
        f.get<QLineEdit>("web_title")->setText("typed");
        f.notes.answers = {true};
        f.click("XPButton23");
        QCOMPARE(f.notes.questions, QStringList({"注意|是否确定重新采集ID为" + item + "的宝贝数据？"}));
        QTRY_COMPARE_WITH_TIMEOUT(f.status(), QStringLiteral("重新采集完毕"), 20000);
        QCOMPARE(f.get<QLineEdit>("web_title")->text(), collected);
    }

    // Right-click row B after working on row A: B is highlighted and in the editor, and the
    // menu's re-upload uploads B. The arrow keys move the editor with the highlight.
    void theMenuAndTheKeysMoveTheEditor()
    {
        Shop shop(3);
        Fixture f;
        f.open();
        shop.list(f);
        shop.detail(f);
        ItemListModel *m = f.window->model();
        auto *title = f.get<QLineEdit>("web_title");
        f.clickRow(0);
        f.menuOnRow(1, "reupdate");
        QCOMPARE(f.window->editorTag(), QString::number(m->row(1).id));
        QCOMPARE(f.list()->selectionModel()->selectedRows(), QModelIndexList({m->index(1, 0)}));
        QCOMPARE(title->text(), f.prepare().itemById(m->row(1).id).value->web_title);
        QTRY_VERIFY_WITH_TIMEOUT(shop.sim.published().contains(m->row(1).item), 20000);
        QVERIFY(!shop.sim.published().contains(m->row(0).item));

        f.key(Qt::Key_Down);
        QCOMPARE(f.window->editorTag(), QString::number(m->row(2).id));
        QCOMPARE(title->text(), f.prepare().itemById(m->row(2).id).value->web_title);
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Up);
        QCOMPARE(f.window->editorTag(), QString::number(m->row(0).id));
        // A refill keeps the editor's row highlighted, so the buttons' row is in sight.
        f.window->resetlist();
        QCOMPARE(f.list()->selectionModel()->selectedRows(), QModelIndexList({m->index(0, 0)}));
    }

    // A right-click on the editor's own row keeps what the operator typed.
    void theMenuOnTheEditorsRowKeepsTheTyping()
    {
        Fixture f;
        f.addRow("1", 1, 0, 1);
        f.addRow("2", 1, 0, 2);
        f.open();
        f.clickRow(1);
        auto *title = f.get<QLineEdit>("web_title");
        title->setText("typed");
        f.clickRow(1, Qt::RightButton);
        auto *menu = f.get<QMenu>("rightmenu");
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        QCOMPARE(title->text(), QStringLiteral("typed"));
    }

};

QTEST_MAIN(TestItemEditor)
#include "tst_itemeditor.moc"
