#pragma once

#include <QWidget>

class ItemListModel;
class QLabel;
class QLineEdit;
class QTimer;

// The search box over the item list and the count of the rows shown. The list follows the
// box as the operator types, a moment after the last key; Ctrl+F in the window puts the
// cursor into it, Esc empties it.
class ListSearch : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kDelayMs = 200;

    ListSearch(ItemListModel *model, QWidget *parent = nullptr);

    QLineEdit *box() const { return m_box; }
    // How long the list waits for the next key before it searches.
    void setDelay(int ms);

private:
    void search();
    void showCount();

    ItemListModel *m_model;
    QLineEdit *m_box;
    QLabel *m_count;
    QTimer *m_wait;
};
