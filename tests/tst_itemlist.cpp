#include "windowfixture.h"
#include "app/listsearch.h"
#include "session/profilewatch.h"
#include "store/itemlist.h"
#include "store/itemstate.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSqlError>

// The item list read from the database as it is shown: every place of every order, filter and
// search against the same query in SQL; label patches of rows on and off the screen; refills
// that keep what the operator chose; sorting by the header, kept with the window's settings;
// the search box; the title search's index following every writer.

namespace {

constexpr int kRows = 300;

// Rows of every kind: equal titles, prices and positions (ties go by id), titles of NULL,
// prices whose digits sort otherwise than their amounts, each state, refused and abnormal rows.
void fillRows(ProfileDb &db, int n, int firstItem = 0)
{
    QVERIFY(db.begin());
    QSqlQuery q(db.database());
    q.prepare("INSERT INTO itemlist (item, title, money, state, itemstate, errcode, errdecription, byid, updatetime) "
              "VALUES (?,?,?,?,?,?,?,?,?)");
    for (int i = 0; i < n; ++i) {
        q.addBindValue(QString::number(5200000 + firstItem + i * 7 % n));
        const QString title = i % 10 == 7 ? QStringLiteral("第1\"号 50%折扣") : QStringLiteral("连衣裙 第%1款%2").arg(i % 40).arg(i % 3 ? "夏" : "Winter");
        q.addBindValue(i % 23 == 0 ? QVariant() : QVariant(title));
        q.addBindValue(QStringLiteral("%1.%2").arg(i % 13 * 37 % 200).arg(i % 10 * 5));
        q.addBindValue(i % 4);
        q.addBindValue(i % 11 == 0 ? 1 : 0);
        q.addBindValue(i % 7 == 0 ? 1 : 0);
        q.addBindValue(i % 7 == 0 ? QVariant(QStringLiteral("不允许")) : QVariant());
        q.addBindValue(n - i / 2);
        q.addBindValue(QStringLiteral("2026-01-%1 10:00:00").arg(1 + i % 28, 2, 10, QChar('0')));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QVERIFY(db.commit());
}

QList<qint64> idsOf(ProfileDb &db, const QString &sql)
{
    QList<qint64> ids;
    QSqlQuery q(db.database());
    if (!q.exec(sql))
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    while (q.next())
        ids << q.value(0).toLongLong();
    return ids;
}

// Every place, read in an order that takes each way there is: from the last row, from the
// middle, forwards and backwards beside held rows, and after held rows were let go.
QList<qint64> shownIds(ItemListModel &m)
{
    const int n = m.rowCount();
    QList<int> places;
    if (n > 0)
        places << n - 1 << n / 2 << n / 2 - 1 << 0;
    for (int r = n - 1; r >= 0; r -= 3)
        places << r;
    for (int r = 0; r < n; ++r)
        places << r;
    QMap<int, qint64> seen;
    for (int r : places) {
        if (r < 0)
            continue;
        const qint64 id = m.data(m.index(r, ItemListModel::IdColumn)).toLongLong();
        if (seen.contains(r) && seen[r] != id)
            qWarning("row %d read as %lld and as %lld", r, seen[r], id);
        seen[r] = id;
    }
    return seen.values();
}

} // namespace

class TestItemList : public QObject
{
    Q_OBJECT
    IsolatedSettings settings;

private slots:
    void everyPlaceAsSqlHasIt_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<bool>("needing");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("sqlWhere");
        QTest::addColumn<QString>("sqlOrder");
        QTest::addColumn<int>("indexed");   // rows the title index may hand over; 0: as the program has it
        const QString needing = "(itemstate<>0 OR (errcode<>0 AND state<>3 AND itemstate=0))";
        // Rows that need the operator sort by that alone, whatever their state.
        const QString needingState = "CASE WHEN " + needing + " THEN 0 ELSE state END";
        const struct { int column; QString asc, desc; } orders[] = {
            {-1, "byid DESC, id DESC", "byid DESC, id DESC"},
            {ItemListModel::IdColumn, "id", "id DESC"},
            {ItemListModel::TitleColumn, "title, id", "title DESC, id DESC"},
            {ItemListModel::MoneyColumn, "CAST(money AS REAL), id", "CAST(money AS REAL) DESC, id DESC"},
            {ItemListModel::ItemColumn, "item, id", "item DESC, id DESC"},
            {ItemListModel::StateColumn, "itemstate<>0, itemstate=0 AND errcode<>0 AND state<>3, " + needingState + ", id",
             "itemstate<>0 DESC, (itemstate=0 AND errcode<>0 AND state<>3) DESC, " + needingState + " DESC, id DESC"},
            {ItemListModel::TimeColumn, "updatetime, id", "updatetime DESC, id DESC"},
        };
        for (const auto &o : orders)
            for (int order : {0, 1}) {
                const QByteArray name = QByteArray::number(o.column) + (order ? " desc" : " asc");
                QTest::newRow(name) << o.column << order << false << QString() << QString() << (order ? o.desc : o.asc) << 0;
                QTest::newRow(name + " needing") << o.column << order << true << QString() << "WHERE " + needing
                                                 << (order ? o.desc : o.asc) << 0;
            }
        // The searches: by the title index (three characters and more), row by row (fewer),
        // in any case of Latin letters, by part of an item ID; with the filter and a sort.
        const struct { const char *name; const char *word; const char *like; } searches[] = {
            {"index", "第1款", "%第1款%"}, {"short", "1款", "%1款%"}, {"case", "winter", "%winter%"},
            {"item ID", "520001", "%520001%"}, {"quote", "第1\"", "%第1\"%"}, {"percent", "0%", "%0\\%%"},
        };
        for (const auto &s : searches) {
            const QString where = QStringLiteral("(title LIKE '%1' ESCAPE '\\' OR item LIKE '%1' ESCAPE '\\')").arg(s.like);
            for (int indexed : {0, 5}) {
                const QByteArray name = QByteArray("search ") + s.name + (indexed ? " row by row" : "");
                QTest::newRow(name) << -1 << 0 << false << QString::fromUtf8(s.word) << "WHERE " + where
                                    << QStringLiteral("byid DESC, id DESC") << indexed;
                QTest::newRow(name + " needing by title")
                    << int(ItemListModel::TitleColumn) << 1 << true << QString::fromUtf8(s.word)
                    << "WHERE " + where + " AND " + needing << QStringLiteral("title DESC, id DESC") << indexed;
            }
        }
    }
    void everyPlaceAsSqlHasIt()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(bool, needing);
        QFETCH(QString, search);
        QFETCH(QString, sqlWhere);
        QFETCH(QString, sqlOrder);
        QFETCH(int, indexed);
        TempProfile t;
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
        fillRows(db, kRows);
        ItemListModel m(db);
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.setChunking(7, 3);
        m.setCountStretch(100);
        if (indexed)
            m.reader().setIndexedRows(indexed);
        QVERIFY(m.refill());
        m.setOnlyNeeding(needing);
        m.setSearch(search);
        m.sort(column, Qt::SortOrder(order));
        const QList<qint64> expected = idsOf(db, "SELECT id FROM itemlist " + sqlWhere + " ORDER BY " + sqlOrder);
        QTRY_VERIFY(!m.counting());
        QVERIFY(!expected.isEmpty());
        QCOMPARE(m.rowCount(), expected.size());
        QCOMPARE(shownIds(m), expected);
        QVERIFY(m.heldChunks() <= 3);
        // A word of three characters and more, held by more rows than the index may hand over,
        // is looked for row by row.
        QCOMPARE(m.query().scan, !search.isEmpty() && (indexed > 0 || search.size() < 3));
        QVERIFY(indexed == 0 || needing || m.rowCount() > indexed);
        // Where each row is, asked by its id.
        for (int r : {0, int(expected.size()) / 2, int(expected.size()) - 1})
            QCOMPARE(m.positionOf(expected[r]), r);
        QCOMPARE(m.hiddenCount(), kRows - expected.size());
    }

    // A step's label goes to its row without a refill: at once on the screen, and when a row
    // far off it comes into sight; a row the filter hides takes none.
    void patchesOfShownAndUnshownRows()
    {
        Fixture f;
        fillRows(f.prepare(), kRows);
        const QList<qint64> order = idsOf(f.prepare(), "SELECT id FROM itemlist ORDER BY byid DESC, id DESC");
        f.open();
        ItemListModel *m = f.window->model();
        QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(m, &QAbstractItemModel::dataChanged);
        emit f.session.rowLabelById(order[1], QStringLiteral("正在上传..."));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex(), m->index(1, ItemListModel::StateColumn));
        QCOMPARE(m->data(m->index(1, ItemListModel::StateColumn)).toString(), QStringLiteral("正在上传..."));

        const int far = kRows - 5;
        emit f.session.rowLabelById(order[far], QStringLiteral("已采集"));
        QCOMPARE(changed.size(), 1);   // nothing of it is held: nothing to draw again
        f.list()->scrollTo(m->index(far, 0));
        QTRY_VERIFY(f.list()->visualRect(m->index(far, 0)).isValid()
                    && f.list()->viewport()->rect().contains(f.list()->visualRect(m->index(far, 0)).center()));
        QCOMPARE(m->data(m->index(far, ItemListModel::StateColumn)).toString(), QStringLiteral("已采集"));

        // Under the filter, a row it hides is not shown and takes no label.
        m->setOnlyNeeding(true);
        const QList<qint64> hidden = idsOf(f.prepare(), "SELECT id FROM itemlist WHERE itemstate=0 AND errcode=0 LIMIT 1");
        QVERIFY(!m->setLabelById(hidden[0], QStringLiteral("正在上传...")));
        QCOMPARE(m->positionOf(hidden[0]), -1);
        m->setOnlyNeeding(false);
        QCOMPARE(m->label(m->positionOf(hidden[0])), statelabel(f.prepare().itemById(hidden[0]).value->state, 0));
    }

    // Another process changes the profile: the list follows, and the rows highlighted, the
    // current one and the editor's row stay, wherever they are now.
    void refillKeepsSelectionAndEditorRow()
    {
        Fixture f;
        fillRows(f.prepare(), kRows);
        f.open();
        ItemListModel *m = f.window->model();
        QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        f.session.profileWatch().setInterval(20);
        f.list()->scrollTo(m->index(200, 0));
        f.clickRow(195);
        f.clickRow(200, Qt::LeftButton, Qt::ControlModifier);
        const qint64 editorRow = f.session.editorRow();
        QCOMPARE(editorRow, m->row(200).id);
        const qint64 current = m->row(f.list()->currentIndex().row()).id;
        const QSet<qint64> chosen = {m->row(195).id, editorRow};

        // Rows come in at the top of the list and one goes, from another connection.
        fillRows(f.prepare(), 20, 100000);
        f.exec(QStringLiteral("UPDATE itemlist SET byid=byid+1000 WHERE item>='5300000'"));
        f.exec(QStringLiteral("DELETE FROM itemlist WHERE id=%1").arg(m->row(0).id));
        QTRY_COMPARE(m->rowCount(), kRows + 19);
        const QList<qint64> order = idsOf(f.prepare(), "SELECT id FROM itemlist ORDER BY byid DESC, id DESC");
        QCOMPARE(m->row(int(order.indexOf(editorRow))).id, editorRow);
        QSet<qint64> selected;
        for (const QModelIndex &i : f.list()->selectionModel()->selectedRows())
            selected << m->row(i.row()).id;
        QCOMPARE(selected, chosen);
        QCOMPARE(m->row(f.list()->currentIndex().row()).id, current);
        QCOMPARE(f.session.editorRow(), editorRow);
        QCOMPARE(f.window->editorTag(), QString::number(editorRow));
    }

    // A click on a header sorts by its column, a second the other way, a third back to the
    // list's own order; the order the window closed with is the one it opens with.
    void headerSortsAndTheOrderIsKept()
    {
        Fixture f;
        fillRows(f.prepare(), 40);
        f.open();
        ItemListModel *m = f.window->model();
        QHeaderView *header = f.list()->header();
        auto clickHeader = [&](int column) {
            const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        auto firstAndLast = [m] { return QStringList{m->row(0).title, m->row(m->rowCount() - 1).title}; };
        const QStringList byTitle = [&] {
            QStringList t;
            QSqlQuery q(f.prepare().database());
            q.exec("SELECT coalesce(title,'') FROM itemlist ORDER BY title, id");
            while (q.next())
                t << q.value(0).toString();
            return t;
        }();
        clickHeader(ItemListModel::TitleColumn);
        QCOMPARE(firstAndLast(), QStringList({byTitle.first(), byTitle.last()}));
        clickHeader(ItemListModel::TitleColumn);
        QCOMPARE(firstAndLast(), QStringList({byTitle.last(), byTitle.first()}));
        QCOMPARE(m->query().sort, int(ItemListModel::TitleColumn));
        QVERIFY(m->query().descending);

        f.notes.answers = {true};
        QVERIFY(f.window->close());
        f.window.reset();
        f.open();
        m = f.window->model();
        header = f.list()->header();
        QCOMPARE(f.window->model()->row(0).title, byTitle.last());
        QCOMPARE(header->sortIndicatorSection(), int(ItemListModel::TitleColumn));
        clickHeader(ItemListModel::TitleColumn);
        QCOMPARE(m->query().sort, int(itemlist::Listed));
        QCOMPARE(m->row(0).id, idsOf(f.prepare(), "SELECT id FROM itemlist ORDER BY byid DESC, id DESC LIMIT 1").value(0));
    }

    // Ctrl+F puts the cursor into the search box; the list follows what is typed, with the
    // filter, and says how many rows it shows; Esc shows every row again.
    void searchBoxFiltersAsTheOperatorTypes()
    {
        Fixture f;
        fillRows(f.prepare(), 60);
        f.open();
        ItemListModel *m = f.window->model();
        QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto *bar = f.window->findChild<ListSearch *>();
        QVERIFY(bar);
        bar->setDelay(10);
        auto *count = f.get<QLabel>("listCount");
        QCOMPARE(count->text(), QStringLiteral("共 60 个宝贝"));
        f.list()->setFocus();
        f.key(Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(bar->box()->hasFocus());
        f.type("winter");
        const int winter = f.count("SELECT count(*) FROM itemlist WHERE title LIKE '%winter%'");
        QTRY_COMPARE(m->rowCount(), winter);
        QCOMPARE(count->text(), QStringLiteral("显示 %1 个，共 60 个宝贝").arg(winter));
        for (int r = 0; r < m->rowCount(); ++r)
            QVERIFY(m->row(r).title.contains("Winter"));
        f.action("showneeding")->trigger();
        QCOMPARE(m->rowCount(), f.count("SELECT count(*) FROM itemlist WHERE title LIKE '%winter%' AND "
                                        "(itemstate<>0 OR (errcode<>0 AND state<>3))"));
        f.action("showall")->trigger();
        bar->box()->setFocus();
        f.key(Qt::Key_Escape);
        QCOMPARE(bar->box()->text(), QString());
        QCOMPARE(m->rowCount(), 60);
        QCOMPARE(count->text(), QStringLiteral("共 60 个宝贝"));

        // A word too short for the title index: the first rows at once, then the rest as they
        // are counted, and the count says so meanwhile.
        m->setChunking(7, 3);
        m->setCountStretch(10);
        QSignalSpy inserted(m, &QAbstractItemModel::rowsInserted);
        m->setSearch(QStringLiteral("款"));
        QVERIFY(m->counting());
        QCOMPARE(m->rowCount(), 7);
        QCOMPARE(count->text(), QStringLiteral("显示 7 个以上（正在计数），共 60 个宝贝"));
        const int short_ = f.count("SELECT count(*) FROM itemlist WHERE title LIKE '%款%'");
        QTRY_VERIFY(!m->counting());
        QCOMPARE(m->rowCount(), short_);
        QVERIFY(inserted.size() > 1);
        QCOMPARE(count->text(), QStringLiteral("显示 %1 个，共 60 个宝贝").arg(short_));
    }

    // The title index follows every writer of the profile, in the same commit: inserts,
    // changed titles, deletes; and a profile of the version before is indexed when it opens.
    void titleIndexFollowsEveryWriter()
    {
        TempProfile t;
        QDir().mkpath(QFileInfo(t.path()).path());
        {
            ProfileDb db;
            QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Created);
            QSqlQuery q(db.database());
            // What a profile of version 3 is: no list indexes, no title index.
            for (const char *drop : {"DROP TRIGGER itemlist_find_insert", "DROP TRIGGER itemlist_find_update",
                                     "DROP TRIGGER itemlist_find_delete", "DROP TABLE itemlist_find", "PRAGMA user_version=3"})
                QVERIFY2(q.exec(drop), drop);
            QVERIFY(db.insertListed("5201", "红色长裙", "", "1", 1));
            QVERIFY(db.insertListed("5202", "蓝色短裙", "", "1", 2));
        }
        ProfileDb db;
        QCOMPARE(db.open(t.path()), ProfileDb::OpenResult::Opened);
        itemlist::Reader reader(db);
        auto found = [&](const QString &word) {
            itemlist::Query q;
            q.search = word;
            QStringList items;
            reader.forEach(q, 0, [&](const ItemListRow &r) {
                items << r.item;
                return true;
            });
            return items;
        };
        QCOMPARE(found("红色长"), QStringList{"5201"});
        // Another connection writes, as another process would.
        ProfileDb other;
        QCOMPARE(other.open(t.path()), ProfileDb::OpenResult::Opened);
        QVERIFY(other.insertListed("5203", "红色长款外套", "", "1", 3));
        QVERIFY(other.additemlist({"5202", "红色长裙 新款", "", "2", 2}, true));
        QCOMPARE(found("红色长"), QStringList({"5203", "5202", "5201"}));
        QCOMPARE(found("蓝色短"), QStringList());
        QVERIFY(other.deleteById(other.itemByItem("5201").value->id));
        QCOMPARE(found("红色长"), QStringList({"5203", "5202"}));
        QCOMPARE(found("5203"), QStringList{"5203"});
        QCOMPARE(reader.count({itemlist::StateFilter::All, "长"}).value, 2);
        // The count of every row follows as well.
        QCOMPARE(reader.count({}).value, 2);
        QVERIFY(other.insertListed("5204", "外套", "", "1", 4));
        QCOMPARE(reader.count({}).value, 3);
    }
};

QTEST_MAIN(TestItemList)
#include "tst_itemlist.moc"
