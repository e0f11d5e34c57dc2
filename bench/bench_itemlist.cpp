// Measures the item list over a large profile: the start-up to a shown window, the refill, the
// memory after scrolling from the first row to the last, a sort by title, the first screen of
// a search, a Step 2 label patch, and what the model adds to the database's own read of a
// screen. Prints its figures; run: build/bin/bench_itemlist [rows]
#include "app/itemlistmodel.h"
#include "app/mainwindow.h"
#include "session/session.h"
#include "store/itemlist.h"
#include "web/fetch.h"
#include "base/notifier.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest/QTest>

#include <sys/resource.h>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> f = statm.readAll().split(' ');
    return f.size() > 1 ? f[1].toLongLong() * 4096.0 / (1024 * 1024) : 0;
}

// In SQLite itself: a row at a time through Qt would take longer than everything measured.
void fill(ProfileDb &db, int rows)
{
    QSqlQuery q(db.database());
    db.database().transaction();
    q.prepare(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<?-1) "
        "INSERT INTO itemlist (item, title, money, web_pic, state, itemstate, errcode, errdecription, byid) "
        "SELECT 10000000000+i, '2026新款韩版修身休闲女装连衣裙 第'||i||'款 包邮', (50+i%300)||'.00', "
        "'http://img01.taobaocdn.com/bao/uploaded/i1/'||i||'.jpg', i%4, i%17=0, i%29=0, "
        "CASE WHEN i%29=0 THEN '该宝贝不允许发布' END, i+1 FROM n"));
    q.addBindValue(rows);
    if (!q.exec())
        std::fprintf(stderr, "fill failed\n");
    db.database().commit();
}

double seconds(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e9;
}

// The best and the median of runs of the same work.
std::pair<double, double> runs(int n, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < n; ++i)
        times.push_back(seconds(work));
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 100000;

    QTemporaryDir dir;
    const QString path = dir.filePath("db/Profile.db");
    {
        ProfileDb db;
        db.open(path);
        const double filled = seconds([&] { fill(db, rows); });
        std::printf("fill (with every index)   %.1f s\n", filled);
    }
    const long baseKb = peakKb();

    // Start-up: open the profile, load settings, fill the list, show the window.
    QElapsedTimer startup;
    startup.start();
    LogNotifier notes;
    WebService web;
    Session session(notes, web);
    MainWindow window(session);
    window.load(path);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "window was not exposed\n");
    QCoreApplication::processEvents();
    const double startupS = startup.nsecsElapsed() / 1e9;

    auto *view = window.findChild<QTreeView *>(QStringLiteral("ListView1"));
    ItemListModel *model = window.model();
    auto shown = [&] {
        view->viewport()->repaint();
        QCoreApplication::processEvents();
    };
    const auto refill = runs(7, [&] {
        window.resetlist();
        shown();
    });

    // Of a refill, what the model does and what the view's own layout of every row takes.
    const auto modelRefill = runs(7, [&] { model->refill(); });
    const auto viewLayout = runs(7, [&] {
        model->refill();
        view->doItemsLayout();
    });

    // The refill after another process changed the profile, with two rows highlighted in the
    // middle of the list and the place kept.
    view->scrollTo(model->index(rows / 2, 0), QAbstractItemView::PositionAtTop);
    view->selectionModel()->select(model->index(rows / 2 + 2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(model->index(rows / 2 + 3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    shown();
    const auto keeping = runs(7, [&] {
        window.refillKeepingSelection();
        shown();
    });
    const int keptRows = int(view->selectionModel()->selectedRows().size());

    // Scrolling from the first row to the last, in steps of the scroll bar, then page by page
    // over a stretch in the middle.
    QScrollBar *bar = view->verticalScrollBar();
    const double scrollS = seconds([&] {
        for (int v = 0; v <= bar->maximum(); v += qMax(1, bar->maximum() / 2000)) {
            bar->setValue(v);
            shown();
        }
        bar->setValue(bar->maximum());
        shown();
    });
    const int pages = 200;
    bar->setValue(bar->maximum() / 2);
    shown();
    const double pageS = seconds([&] {
        for (int i = 0; i < pages; ++i) {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            shown();
        }
    }) / pages;
    const double scrolledMb = residentMb();

    // A label patch from Step 2, of a row on the screen and of a row far from it.
    const int top = view->indexAt(QPoint(2, 2)).row();
    const qint64 onScreen = model->row(top).id;
    itemlist::Reader reader(session.db());
    // Found without the model, which would read it and hold it.
    const qint64 offScreen = reader.read({}, std::nullopt, top > rows / 2 ? 10 : rows - 10, 1).value.rows.at(0).id;
    auto patch = [&](qint64 id) {
        return seconds([&] {
                   for (int i = 0; i < 1000; ++i)
                       model->setLabelById(id, i % 2 ? QStringLiteral("已采集") : QStringLiteral("未采集"));
               })
            / 1000;
    };
    const double patchShown = patch(onScreen), patchUnshown = patch(offScreen);

    // What the database alone takes for one screen of rows at a place in the middle, what the
    // model takes to give the view every cell of a screen at a place it holds nothing of, and
    // what drawing it takes.
    const int screen = view->viewport()->height() / qMax(1, view->sizeHintForRow(0));
    const itemlist::Key middle{rows / 2, rows / 2};
    const auto dbScreen = runs(9, [&] { reader.read({}, middle, 0, screen); });
    int jump = 0;
    const auto modelScreen = runs(9, [&] {
        const int first = (rows / 11) * (++jump) + 37;
        for (int r = first; r < first + screen; ++r)
            for (int c = 0; c < ItemListModel::ColumnCount; ++c)
                for (int role : {Qt::DisplayRole, Qt::BackgroundRole, Qt::ForegroundRole, Qt::ToolTipRole})
                    model->data(model->index(r, c), role);
    });
    const auto drawScreen = runs(9, [&] {
        bar->setValue((bar->maximum() / 13) * (++jump % 13));
        shown();
    });

    // A sort by title, to its first screen; and back.
    bar->setValue(0);
    const double sortTitle = seconds([&] {
        view->sortByColumn(ItemListModel::TitleColumn, Qt::AscendingOrder);
        shown();
    });
    const double sortTitleDesc = seconds([&] {
        view->sortByColumn(ItemListModel::TitleColumn, Qt::DescendingOrder);
        shown();
    });
    view->sortByColumn(-1, Qt::AscendingOrder);
    shown();

    // Searches, to their first screen: a word of few rows, a word every title holds, a word too
    // short for the title index.
    struct Search { const char *what; QString word; double s = 0, counted = 0; qint64 found = 0; };
    Search searches[] = {{"few rows", QStringLiteral("第%1款").arg(rows / 3)},
                         {"every row", QStringLiteral("连衣裙")},
                         {"two characters", QStringLiteral("韩版")},
                         {"an item ID", QString::number(10000000000LL + rows / 7)}};
    for (Search &s : searches) {
        QElapsedTimer t;
        t.start();
        model->setSearch(s.word);
        view->viewport()->repaint();
        s.s = t.nsecsElapsed() / 1e9;
        // A search read row by row goes on counting between the window's events.
        while (model->counting())
            QCoreApplication::processEvents();
        s.counted = t.nsecsElapsed() / 1e9;
        s.found = model->rowCount();
        model->setSearch({});
    }

    std::printf("rows                      %d\n", rows);
    std::printf("start-up to shown window  %.3f s   (goal <= 0.5 s)\n", startupS);
    std::printf("refill best / median      %.4f s / %.4f s   (goal <= 0.05 s)\n", refill.first, refill.second);
    std::printf("  of which the model      %.4f s; the model and the view's layout %.4f s\n", modelRefill.first,
                viewLayout.first);
    std::printf("refill keeping selection  %.4f s / %.4f s, %d rows kept highlighted\n", keeping.first, keeping.second, keptRows);
    std::printf("scroll first to last      %.2f s in 2000 steps; a page down %.2f ms\n", scrollS, pageS * 1e3);
    std::printf("resident after scrolling  %.1f MB (peak %.1f MB, %.1f MB before start-up)   (goal <= 150 MB)\n",
                scrolledMb, peakKb() / 1024.0, baseKb / 1024.0);
    std::printf("sort by title asc / desc  %.3f s / %.3f s   (goal <= 1 s)\n", sortTitle, sortTitleDesc);
    for (const Search &s : searches)
        std::printf("search, %-14s    %.3f s to the first screen, %.3f s to the count of %lld rows   (goal <= 0.2 s)\n",
                    s.what, s.s, s.counted, s.found);
    std::printf("label patch shown / not   %.4f ms / %.4f ms   (goal <= 1 ms)\n", patchShown * 1e3, patchUnshown * 1e3);
    std::printf("a screen (%d rows): database %.2f ms, model %.2f ms, ratio %.2f; drawn %.1f ms\n", screen,
                dbScreen.first * 1e3, modelScreen.second * 1e3, dbScreen.first / modelScreen.second, drawScreen.second * 1e3);
    return 0;
}
