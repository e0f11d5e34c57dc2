#pragma once

#include <QTreeView>
#include <functional>

class ItemListModel;
class QSettings;

// ListView1: the item list in report style. The row the operator works on is one thing: a
// left click, a right click and a keyboard move each make a row current, and say so, so that
// the window loads that row into the editor and every action acts on the row highlighted.
class ItemListView : public QTreeView
{
    Q_OBJECT
public:
    explicit ItemListView(QWidget *parent = nullptr);

    // Column widths that show a whole item ID, state label and update time in this font; the
    // title takes the room that is left.
    void setDefaultWidths();

    // A click on a column header sorts by it, ascending, then descending, then back to the
    // list's own order; the order is kept with the window's other settings.
    void restoreSort(const QSettings &settings);
    void saveSort(QSettings &settings) const;

    // Runs the refill and shows again what was shown: the rows highlighted (those on the screen,
    // and a few more), the current one and the place in the list, found by their ids wherever
    // they are now.
    void refillKeeping(const std::function<void()> &refill);
    // Makes the row with this id current and highlighted, where it is shown; false when not.
    bool highlightRow(qint64 id);
    static constexpr int kKeptSelection = 1000;
    static constexpr int kLookedFor = 8;

signals:
    // A left button was released over the list, on a row or below the last one.
    void leftReleased();
    // A key moved the current row.
    void movedByKey();
    // The pop-up menu is wanted here (screen coordinates), after its row was made current.
    void menuWanted(const QPoint &globalPos);

protected:
    ItemListModel *listModel() const;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
