#include "app/itemlistview.h"
#include "app/itemlistmodel.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

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
