#include "app/itemlistview.h"
#include "app/itemlistmodel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSettings>

namespace {
const QString kSortKey = QStringLiteral("mainwindow/sort");
}

ItemListView::ItemListView(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("ListView1"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(true);
    // The list's own order until a header is clicked; a third click comes back to it.
    header()->setSortIndicatorClearable(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
}

ItemListModel *ItemListView::listModel() const
{
    return qobject_cast<ItemListModel *>(model());
}

void ItemListView::restoreSort(const QSettings &settings)
{
    // "column order"; anything else is the list's own order.
    const QStringList kept = settings.value(kSortKey).toString().split(QLatin1Char(' '));
    bool columnOk = false, orderOk = false;
    const int column = kept.value(0).toInt(&columnOk), order = kept.value(1).toInt(&orderOk);
    const bool valid = columnOk && orderOk && column >= 0 && column < ItemListModel::ColumnCount && (order == 0 || order == 1);
    sortByColumn(valid ? column : -1, valid ? Qt::SortOrder(order) : Qt::AscendingOrder);
}

void ItemListView::saveSort(QSettings &settings) const
{
    settings.setValue(kSortKey, QStringLiteral("%1 %2").arg(header()->sortIndicatorSection()).arg(int(header()->sortIndicatorOrder())));
}

void ItemListView::refillKeeping(const std::function<void()> &refill)
{
    ItemListModel *m = listModel();
    QList<qint64> chosen;
    const QModelIndexList rows = selectionModel()->selectedRows();
    for (const QModelIndex &i : rows.mid(0, kKeptSelection))
        chosen << m->row(i.row()).id;
    const QModelIndex current = currentIndex();
    const qint64 currentId = current.isValid() ? m->row(current.row()).id : 0;
    const int scrolled = verticalScrollBar()->value();
    refill();
    // Laid out now, not at the next paint: the scroll bar takes its range back first.
    doItemsLayout();
    verticalScrollBar()->setValue(scrolled);
    // The rows on the screen are read first: a highlighted row there is found among them, and
    // only a few others are looked for in the whole list, each a count of the rows before it.
    const int top = qMax(0, indexAt(QPoint(0, 0)).row());
    const int rowsShown = viewport()->height() / qMax(1, sizeHintForRow(top)) + 1;
    for (int r = top; r < qMin(m->rowCount(), top + rowsShown); ++r)
        m->row(r);
    QItemSelection keep;
    int asked = 0;
    for (qint64 id : chosen) {
        int r = m->heldPosition(id);
        if (r < 0 && asked++ < kLookedFor)
            r = m->positionOf(id);
        if (r >= 0)
            keep.select(m->index(r, 0), m->index(r, ItemListModel::ColumnCount - 1));
    }
    selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (const int r = currentId ? m->positionOf(currentId) : -1; r >= 0)
        selectionModel()->setCurrentIndex(m->index(r, current.column()), QItemSelectionModel::NoUpdate);
    verticalScrollBar()->setValue(scrolled);
}

bool ItemListView::highlightRow(qint64 id)
{
    ItemListModel *m = listModel();
    const int r = id > 0 ? m->positionOf(id) : -1;
    if (r < 0)
        return false;
    selectionModel()->setCurrentIndex(m->index(r, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

void ItemListView::setDefaultWidths()
{
    // Samples of the widest text each column shows; the captions must fit as well.
    static const char *const samples[] = {"000000", "", "00000.00", "000000000000", "状态不正常", "0000-00-00 00:00:00"};
    const QFontMetrics text(font()), caption(header()->font());
    const int pad = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + text.averageCharWidth() * 2;
    for (int c = 0; c < ItemListModel::ColumnCount; ++c) {
        const QString sample = QString::fromUtf8(samples[c]);
        const int need = qMax(text.horizontalAdvance(sample), caption.horizontalAdvance(ItemListModel::caption(c)));
        header()->resizeSection(c, need + pad);
        header()->setSectionResizeMode(c, QHeaderView::Interactive);
    }
    header()->setSectionResizeMode(ItemListModel::TitleColumn, QHeaderView::Stretch);
}

void ItemListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit leftReleased();
}

void ItemListView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (currentIndex() != before && currentIndex().isValid())
        emit movedByKey();
}

void ItemListView::contextMenuEvent(QContextMenuEvent *event)
{
    // The press under the pointer has made its row current (and selected it, unless it was
    // part of the selection already); from the keyboard the menu is for the current row.
    QPoint at = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse && currentIndex().isValid())
        at = viewport()->mapToGlobal(visualRect(currentIndex()).center());
    emit menuWanted(at);
    event->accept();
}
