#pragma once

#include "store/profiledb.h"

#include <QAbstractTableModel>
#include <QColor>
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

    // Column captions, in order.
    static QString caption(int column);

    void setRows(std::vector<ItemListRow> rows);
    // The row shown at this place.
    const ItemListRow &row(int r) const { return m_all[m_view[r]]; }
    // The state column: a label a step wrote since the last refill, else the row's own, where a
    // row the site refused reads "上传失败".
    QString label(int r) const;
    // Why a row needs the operator, empty when it does not.
    static QString reason(const ItemListRow &row);

    // Rows that need the operator are drawn in a colour of their own, after what they show.
    enum class Need { None, Refused, Abnormal };
    Need need(int r) const;
    static QColor background(Need need);

    void setOnlyNeeding(bool only);
    bool onlyNeeding() const { return m_onlyNeeding; }
    struct Counts {
        int all = 0, refused = 0, abnormal = 0;
    };
    Counts counts() const;
    // Rows the filter keeps out of sight.
    int hiddenCount() const { return int(m_all.size() - m_view.size()); }

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
