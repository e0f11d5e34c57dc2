#include "app/itemlistmodel.h"
#include "store/itemstate.h"

#include <numeric>

QString ItemListModel::caption(int column)
{
    static const char *const captions[] = {"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间"};
    return QString::fromUtf8(captions[column]);
}

namespace {
QString refusedLabel()
{
    return QStringLiteral("上传失败");
}

bool refused(const ItemListRow &r)
{
    // Uploaded by hand after a refusal, the row no longer waits for the operator.
    return r.itemstate == 0 && r.errcode != 0 && r.state != itemstate::Uploaded;
}
} // namespace

QString ItemListModel::reason(const ItemListRow &r)
{
    if (r.itemstate != 0) {
        // Set aside by Step 2 with why (a refusal's reason belongs to the refusal).
        if (r.errcode == 0 && !r.errdecription.isEmpty())
            return QStringLiteral("状态不正常：") + r.errdecription;
        switch (r.abnormal) {
        case ItemListRow::Abnormal::NoTitle: return QStringLiteral("状态不正常：宝贝标题为空，无法上传");
        case ItemListRow::Abnormal::NoDescription: return QStringLiteral("状态不正常：没有宝贝描述地址，无法上传，请重新采集");
        case ItemListRow::Abnormal::PageGone: break;
        }
        return QStringLiteral("状态不正常：宝贝页面显示该宝贝已不存在或暂不提供查看");
    }
    if (refused(r))
        return QStringLiteral("上传失败：") + r.errdecription;
    return {};
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
    const ItemListRow &row = m_all[m_view[r]];
    // Its state is still "collected", but that would tell the operator nothing is wrong.
    if (refused(row))
        return refusedLabel();
    return statelabel(row.state, row.itemstate);
}

ItemListModel::Need ItemListModel::need(int r) const
{
    // By the label shown, so that a row a step has just refused or set aside is coloured at
    // once, not only after the next refill.
    const QString shown = label(r);
    if (shown == refusedLabel())
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
