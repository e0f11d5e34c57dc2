#pragma once

#include <QTreeView>

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

signals:
    // A left button was released over the list, on a row or below the last one.
    void leftReleased();
    // A key moved the current row.
    void movedByKey();
    // The pop-up menu is wanted here (screen coordinates), after its row was made current.
    void menuWanted(const QPoint &globalPos);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
