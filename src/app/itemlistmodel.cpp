#include "app/itemlistmodel.h"
#include "store/itemstate.h"

QString ItemListModel::caption(int column)
{
    static const char *const captions[] = {"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间"};
    return QString::fromUtf8(captions[column]);
}

int ItemListModel::widthTwips(int column)
{
    static const int widths[] = {700, 3000, 1000, 1000, 1200, 2000};
    return widths[column];
}

void ItemListModel::setRows(std::vector<ItemListRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_labels.clear();
    endResetModel();
}

QString ItemListModel::label(int r) const
{
    const auto it = m_labels.constFind(r);
    if (it != m_labels.constEnd())
        return *it;
    return statelabel(m_rows[r].state, m_rows[r].itemstate);
}

void ItemListModel::setLabelAt(int r, const QString &label)
{
    m_labels.insert(r, label);
    const QModelIndex i = index(r, StateColumn);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

bool ItemListModel::setLabelById(qint64 id, const QString &label)
{
    for (int r = 0; r < int(m_rows.size()); ++r)
        if (m_rows[r].id == id) {
            setLabelAt(r, label);
            return true;
        }
    return false;
}

bool ItemListModel::setLabelByItem(const QString &item, const QString &label)
{
    for (int r = 0; r < int(m_rows.size()); ++r)
        if (m_rows[r].item == item) {
            setLabelAt(r, label);
            return true;
        }
    return false;
}

int ItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ItemListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const ItemListRow &r = m_rows[index.row()];
    switch (index.column()) {
    case IdColumn: return QString::number(r.id);
    case TitleColumn: return r.title;
    case MoneyColumn: return r.money;
    case ItemColumn: return r.item;
    case StateColumn: return label(index.row());
    case TimeColumn: return r.updatetime;
    }
    return {};
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return caption(section);
    return {};
}
