#pragma once

#include "store/itemlist.h"
#include "store/profiledb.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <map>

// The item list: a view of the itemlist rows a filter, a search and a sort show, with passing
// labels that steps write into the state column between refills. It holds the count and a few
// chunks of rows around what was last shown, never the whole list: a row is read when it is
// shown, by the order's key from a chunk beside it. A row's tooltip says why it needs the operator.
class ItemListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { IdColumn, TitleColumn, MoneyColumn, ItemColumn, StateColumn, TimeColumn, ColumnCount };
    // Rows read at once, and how many such chunks are kept.
    static constexpr int kChunkRows = 128;
    static constexpr int kMaxChunks = 48;
    // Smaller chunks, for tests that walk every way of reading with a few rows; empties the cache.
    void setChunking(int rows, int chunks);

    explicit ItemListModel(ProfileDb &db, QObject *parent = nullptr);

    // Column captions, in order.
    static QString caption(int column);

    // Reads the list anew: the labels steps wrote since the last refill go, the query stays.
    DbStatus refill();
    // The row shown at this place (an empty row when it cannot be read).
    ItemListRow row(int r) const;
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
    bool onlyNeeding() const { return m_query.state == itemlist::StateFilter::Needing; }
    // Rows whose title or item ID holds this text; empty: every row.
    void setSearch(const QString &text);
    QString search() const { return m_query.search; }
    // By a column, or by the list's own order (column -1).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    const itemlist::Query &query() const { return m_query; }
    itemlist::Reader &reader() { return m_reader; }

    struct Counts {
        qint64 all = 0, refused = 0, abnormal = 0;
    };
    Counts counts() const;
    // Rows the filter and the search keep out of sight, and every row there is.
    qint64 hiddenCount() const { return m_total - m_count; }
    qint64 totalCount() const { return m_total; }
    // Where the row with this id is shown; -1 when it is not.
    int positionOf(qint64 id) const;
    // The same among the rows held now, without asking the database; -1 when not held.
    int heldPosition(qint64 id) const { return cachedPosition(id); }

    // The row shown with this id / item ID takes the label; false when no row shows it.
    bool setLabelById(qint64 id, const QString &label);
    bool setLabelByItem(const QString &item, const QString &label);

    // A search that reads every row to be counted shows its first rows at once and grows as
    // it is counted, a stretch of ids at a time between the window's events.
    bool counting() const { return m_counting; }
    static constexpr int kCountStretch = 65536;
    void setCountStretch(int ids) { m_countStretch = qMax(1, ids); }

    // How many chunks are held now.
    int heldChunks() const { return int(m_chunks.size()); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A read of rows failed; the rows stay empty until the next refill.
    void readFailed(const DbStatus &why);
    // The count of a search has ended: rowCount() is what it shows.
    void counted();

private:
    struct Held {
        itemlist::Chunk chunk;
        quint64 used = 0;
        int asked = 0;   // rows it was read for
    };
    DbStatus requery(bool keepLabels);
    void countOn();
    const ItemListRow *at(int r) const;
    const Held &load(int chunk) const;
    int cachedPosition(qint64 id) const;
    bool labelShown(qint64 id, int shownAt, const QString &label);

    ProfileDb &m_db;
    mutable itemlist::Reader m_reader;
    itemlist::Query m_query;
    qint64 m_count = 0, m_total = 0;
    bool m_totalKnown = false;
    bool m_counting = false;
    qint64 m_countedTo = 0, m_countedRows = 0, m_lastId = 0;
    int m_countStretch = kCountStretch;
    class QTimer *m_countTimer;
    mutable std::map<int, Held> m_chunks;   // by chunk number; a held row stays where it is while others come and go
    mutable quint64 m_uses = 0;
    int m_chunkRows = kChunkRows, m_maxChunks = kMaxChunks;
    QHash<qint64, QString> m_labels;     // id -> label written since the last refill
};
