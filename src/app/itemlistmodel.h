#pragma once

#include "store/profiledb.h"

#include <QAbstractTableModel>
#include <QHash>
#include <vector>

// The item list: a view of itemlist rows in list order, with passing labels that steps write
// into the state column between refills. It can show only the rows that need the operator
// (refused by the site, or abnormal); a row's tooltip says why it needs them.
class ItemListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { IdColumn, TitleColumn, MoneyColumn, ItemColumn, StateColumn, TimeColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Column captions and widths in twips, in order.
    static QString caption(int column);
    static int widthTwips(int column);

    void setRows(std::vector<ItemListRow> rows);
    // The row shown at this place.
    const ItemListRow &row(int r) const { return m_all[m_view[r]]; }
    QString label(int r) const;
    // Why a row needs the operator, empty when it does not.
    static QString reason(const ItemListRow &row);

    void setOnlyNeeding(bool only);
    bool onlyNeeding() const { return m_onlyNeeding; }
    struct Counts {
        int all = 0, refused = 0, abnormal = 0;
    };
    Counts counts() const;

    // The first shown row with this id / item ID takes the label; false when no row shows it.
    bool setLabelById(qint64 id, const QString &label);
    bool setLabelByItem(const QString &item, const QString &label);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void setLabelAt(int r, const QString &label);
    void rebuildView();

    std::vector<ItemListRow> m_all;
    std::vector<int> m_view;         // the shown rows, as places in m_all
    bool m_onlyNeeding = false;
    QHash<int, QString> m_labels;    // place in m_all -> label written since the last refill
};
