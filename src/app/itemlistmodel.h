#pragma once

#include "store/profiledb.h"

#include <QAbstractTableModel>
#include <QHash>
#include <vector>

// The item list: a view of itemlist rows in list order, with passing labels that steps write
// into the state column between refills.
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
    const ItemListRow &row(int r) const { return m_rows[r]; }
    QString label(int r) const;

    // The first row with this id / item ID takes the label; false when no row shows it.
    bool setLabelById(qint64 id, const QString &label);
    bool setLabelByItem(const QString &item, const QString &label);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void setLabelAt(int r, const QString &label);

    std::vector<ItemListRow> m_rows;
    QHash<int, QString> m_labels;   // row -> label written since the last refill
};
