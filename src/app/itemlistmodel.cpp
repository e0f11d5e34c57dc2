#include "app/itemlistmodel.h"
#include "store/itemstate.h"

#include <numeric>

QString ItemListModel::caption(int column)
{
    static const char *const captions[] = {"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间"};
    return QString::fromUtf8(captions[column]);
}

namespace {
bool refused(const ItemListRow &r)
{
    return itemstate::refused(r.state, r.itemstate, r.errcode);
}
} // namespace

QString ItemListModel::reason(const ItemListRow &r)
{
    return needreason(r);
}

void ItemListModel::rebuildView()
{
    m_view.clear();
    if (!m_onlyNeeding) {
        m_view.resize(m_all.size());
        std::iota(m_view.begin(), m_view.end(), 0);
        return;
    }
    for (int i = 0; i < int(m_all.size()); ++i)
        if (m_all[i].itemstate != 0 || refused(m_all[i]))
            m_view.push_back(i);
}

void ItemListModel::setRows(std::vector<ItemListRow> rows)
{
    beginResetModel();
    m_all = std::move(rows);
    m_labels.clear();
    rebuildView();
    endResetModel();
}

void ItemListModel::setOnlyNeeding(bool only)
{
    if (only == m_onlyNeeding)
        return;
    beginResetModel();
    m_onlyNeeding = only;
    rebuildView();
    endResetModel();
}

ItemListModel::Counts ItemListModel::counts() const
{
    Counts c;
    c.all = int(m_all.size());
    for (const ItemListRow &r : m_all) {
        c.abnormal += r.itemstate != 0;
        c.refused += refused(r);
    }
    return c;
}

QString ItemListModel::label(int r) const
{
    const auto it = m_labels.constFind(m_view[r]);
    if (it != m_labels.constEnd())
        return *it;
    return listlabel(m_all[m_view[r]]);
}

ItemListModel::Need ItemListModel::need(int r) const
{
    // By the label shown, so that a row a step has just refused or set aside is coloured at
    // once, not only after the next refill.
    const QString shown = label(r);
    if (shown == QStringLiteral("上传失败"))
        return Need::Refused;
    if (shown == QStringLiteral("状态不正常"))
        return Need::Abnormal;
    return Need::None;
}

QColor ItemListModel::background(Need need)
{
    switch (need) {
    case Need::Refused: return QColor(255, 214, 214);
    case Need::Abnormal: return QColor(255, 236, 179);
    case Need::None: break;
    }
    return {};
}

void ItemListModel::setLabelAt(int r, const QString &label)
{
    m_labels.insert(m_view[r], label);
    const QModelIndex i = index(r, StateColumn);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

bool ItemListModel::setLabelById(qint64 id, const QString &label)
{
    for (int r = 0; r < int(m_view.size()); ++r)
        if (row(r).id == id) {
            setLabelAt(r, label);
            return true;
        }
    return false;
}

bool ItemListModel::setLabelByItem(const QString &item, const QString &label)
{
    for (int r = 0; r < int(m_view.size()); ++r)
        if (row(r).item == item) {
            setLabelAt(r, label);
            return true;
        }
    return false;
}

int ItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_view.size());
}

int ItemListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const ItemListRow &r = row(index.row());
    if (role == Qt::ToolTipRole) {
        const QString why = reason(r);
        return why.isEmpty() ? QVariant() : QVariant(why);
    }
    if (role == Qt::BackgroundRole) {
        const QColor c = background(need(index.row()));
        return c.isValid() ? QVariant(c) : QVariant();
    }
    if (role == Qt::ForegroundRole)
        return need(index.row()) == Need::None ? QVariant() : QVariant(QColor(Qt::black));
    if (role != Qt::DisplayRole)
        return {};
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
