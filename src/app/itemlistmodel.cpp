#include "app/itemlistmodel.h"
#include "store/itemstate.h"

#include <QTimer>

using itemlist::StateFilter;

ItemListModel::ItemListModel(ProfileDb &db, QObject *parent)
    : QAbstractTableModel(parent), m_db(db), m_reader(db), m_countTimer(new QTimer(this))
{
    m_countTimer->setSingleShot(true);
    m_countTimer->setInterval(0);
    connect(m_countTimer, &QTimer::timeout, this, &ItemListModel::countOn);
}

QString ItemListModel::caption(int column)
{
    static const char *const captions[] = {"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间"};
    return QString::fromUtf8(captions[column]);
}

QString ItemListModel::reason(const ItemListRow &r)
{
    return needreason(r);
}

DbStatus ItemListModel::requery(bool keepLabels)
{
    beginResetModel();
    m_chunks.clear();
    if (!keepLabels)
        m_labels.clear();
    m_countTimer->stop();
    m_counting = false;
    DbStatus failed;
    if (const DbResult<itemlist::Query> planned = m_reader.plan(m_query); planned)
        m_query = planned.value;
    else
        failed = planned;
    DbResult<qint64> shown;
    if (m_query.scan && failed.ok()) {
        // Its first chunk is what it shows until the count says more.
        DbResult<itemlist::Chunk> first = m_reader.read(m_query, std::nullopt, 0, m_chunkRows);
        const DbResult<qint64> last = m_reader.maxId();
        shown = first ? (last ? DbResult<qint64>(qint64(first.value.rows.size())) : DbResult<qint64>(last)) : DbResult<qint64>(first);
        if (shown && shown.value == m_chunkRows) {
            m_counting = true;
            m_countedTo = m_countedRows = 0;
            m_lastId = last.value;
            m_countTimer->start();
        }
        if (first)
            m_chunks[0] = {std::move(first.value), ++m_uses, m_chunkRows};
    } else {
        shown = m_reader.count(m_query);
    }
    if (!shown)
        failed = shown;
    m_count = shown.value;
    // Every row is counted when some are hidden (the note over the list says how many), and
    // again only on a refill: a new filter, search or order leaves the rows as they were.
    const bool hides = m_query.state != StateFilter::All || !m_query.search.trimmed().isEmpty();
    if (!keepLabels || !hides)
        m_totalKnown = false;
    if (!hides) {
        m_total = m_count;
        m_totalKnown = bool(shown);
    } else if (shown && !m_totalKnown) {
        const DbResult<qint64> all = m_reader.count({});
        m_total = all.value;
        m_totalKnown = bool(all);
        if (!all)
            failed = all;
    }
    endResetModel();
    return failed;
}

void ItemListModel::setChunking(int rows, int chunks)
{
    beginResetModel();
    m_chunkRows = qMax(1, rows);
    m_maxChunks = qMax(1, chunks);
    m_chunks.clear();
    endResetModel();
}

void ItemListModel::countOn()
{
    const qint64 upTo = m_countedTo + m_countStretch;
    const DbResult<qint64> more = m_reader.countIds(m_query, m_countedTo, upTo);
    if (!more) {
        m_counting = false;
        emit readFailed(more);
        emit counted();
        return;
    }
    m_countedRows += more.value;
    m_countedTo = upTo;
    // The rows counted so far are rows of the order whatever comes after them.
    if (m_countedRows > m_count) {
        beginInsertRows({}, int(m_count), int(m_countedRows - 1));
        m_count = m_countedRows;
        endInsertRows();
    }
    if (m_countedTo < m_lastId) {
        m_countTimer->start();
        return;
    }
    m_counting = false;
    emit counted();
}

DbStatus ItemListModel::refill()
{
    return requery(false);
}

void ItemListModel::setOnlyNeeding(bool only)
{
    if (only == onlyNeeding())
        return;
    m_query.state = only ? StateFilter::Needing : StateFilter::All;
    requery(true);
}

void ItemListModel::setSearch(const QString &text)
{
    if (text == m_query.search)
        return;
    m_query.search = text;
    requery(true);
}

void ItemListModel::sort(int column, Qt::SortOrder order)
{
    const int sort = column >= 0 && column < ColumnCount ? column : itemlist::Listed;
    const bool descending = sort != itemlist::Listed && order == Qt::DescendingOrder;
    if (sort == m_query.sort && descending == m_query.descending)
        return;
    m_query.sort = sort;
    m_query.descending = descending;
    requery(true);
}

const ItemListModel::Held &ItemListModel::load(int chunk) const
{
    const int K = m_chunkRows;
    const qint64 start = qint64(chunk) * K;
    const int want = int(qMin<qint64>(K, m_count - start));
    // From whichever known place is nearest: a held chunk beside it (read on by its key, the
    // usual case while scrolling), else the first or the last row.
    qint64 skip = start;
    std::optional<itemlist::Key> from;
    bool backwards = false;
    // Counted from the last row only when the count is whole.
    if (!m_counting && m_count - (start + want) < skip) {
        skip = m_count - (start + want);
        backwards = true;
    }
    for (const auto &[j, held] : m_chunks) {
        if (held.chunk.rows.empty())
            continue;
        const qint64 far = qint64(qAbs(j - chunk) - 1) * K;
        if (far < skip) {
            skip = far;
            backwards = j > chunk;
            from = backwards ? held.chunk.first : held.chunk.last;
        }
    }
    DbResult<itemlist::Chunk> read = m_reader.read(m_query, from, skip, want, backwards);
    if (!read)
        emit const_cast<ItemListModel *>(this)->readFailed(read);
    if (int(m_chunks.size()) >= m_maxChunks) {
        auto oldest = m_chunks.begin();
        for (auto it = m_chunks.begin(); it != m_chunks.end(); ++it)
            if (it->second.used < oldest->second.used)
                oldest = it;
        m_chunks.erase(oldest);
    }
    Held &held = m_chunks[chunk];
    held.chunk = std::move(read.value);
    held.used = ++m_uses;
    held.asked = want;
    return held;
}

const ItemListRow *ItemListModel::at(int r) const
{
    if (r < 0 || r >= m_count)
        return nullptr;
    const int chunk = r / m_chunkRows;
    auto it = m_chunks.find(chunk);
    // A chunk read at the end of a count that has grown since holds too few rows.
    if (it != m_chunks.end() && it->second.asked < qMin<qint64>(m_chunkRows, m_count - qint64(chunk) * m_chunkRows)) {
        m_chunks.erase(it);
        it = m_chunks.end();
    }
    const Held &held = it != m_chunks.end() ? it->second : load(chunk);
    const_cast<Held &>(held).used = ++m_uses;
    const size_t i = size_t(r - chunk * m_chunkRows);
    return i < held.chunk.rows.size() ? &held.chunk.rows[i] : nullptr;
}

ItemListRow ItemListModel::row(int r) const
{
    const ItemListRow *p = at(r);
    return p ? *p : ItemListRow();
}

ItemListModel::Counts ItemListModel::counts() const
{
    Counts c;
    const auto counted = m_db.isOpen() ? m_db.counts() : DbResult<ProfileDb::Counts>();
    c.all = counted.value.listed;
    c.refused = counted.value.refused;
    c.abnormal = counted.value.abnormal;
    return c;
}

int ItemListModel::cachedPosition(qint64 id) const
{
    for (const auto &[chunk, held] : m_chunks)
        for (size_t i = 0; i < held.chunk.rows.size(); ++i)
            if (held.chunk.rows[i].id == id)
                return chunk * m_chunkRows + int(i);
    return -1;
}

int ItemListModel::positionOf(qint64 id) const
{
    if (const int held = cachedPosition(id); held >= 0)
        return held;
    const DbResult<qint64> at = m_reader.position(m_query, id);
    return at && at.value < m_count ? int(at.value) : -1;
}

QString ItemListModel::label(int r) const
{
    const ItemListRow *p = at(r);
    if (!p)
        return {};
    const auto it = m_labels.constFind(p->id);
    return it != m_labels.constEnd() ? *it : listlabel(*p);
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

bool ItemListModel::labelShown(qint64 id, int shownAt, const QString &label)
{
    m_labels.insert(id, label);
    // A row off the screen takes its label when it is read.
    if (shownAt >= 0) {
        const QModelIndex i = index(shownAt, StateColumn);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
    return true;
}

bool ItemListModel::setLabelById(qint64 id, const QString &label)
{
    const int held = cachedPosition(id);
    if (held >= 0)
        return labelShown(id, held, label);
    const DbResult<bool> shown = m_reader.shows(m_query, id);
    return shown && shown.value && labelShown(id, -1, label);
}

bool ItemListModel::setLabelByItem(const QString &item, const QString &label)
{
    for (const auto &[chunk, held] : m_chunks)
        for (size_t i = 0; i < held.chunk.rows.size(); ++i)
            if (held.chunk.rows[i].item == item)
                return labelShown(held.chunk.rows[i].id, chunk * m_chunkRows + int(i), label);
    const DbResult<qint64> id = m_reader.shownItem(m_query, item);
    return id && id.value > 0 && labelShown(id.value, -1, label);
}

int ItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_count);
}

int ItemListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const ItemListRow *r = at(index.row());
    if (!r)
        return {};
    if (role == Qt::ToolTipRole) {
        const QString why = reason(*r);
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
    case IdColumn: return QString::number(r->id);
    case TitleColumn: return r->title;
    case MoneyColumn: return r->money;
    case ItemColumn: return r->item;
    case StateColumn: return label(index.row());
    case TimeColumn: return r->updatetime;
    }
    return {};
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return caption(section);
    return {};
}
