#pragma once

#include "store/dbresult.h"
#include "store/profiledb.h"

#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

// The item list as the database reads it: the rows a filter, a search and a sort show, counted
// apart from the rows, and read a chunk at a time by the order's own key (never by counting
// rows from the start), so that a list of a million rows costs what one screen of it costs.
namespace itemlist {

// Which rows, by what the state column says of them.
enum class StateFilter { All, Needing, NotCollected, Collected, Edited, Uploaded, Refused, Abnormal };

// The columns the list sorts by, numbered as the window's columns; Listed is the list's own
// order (the shop's order, the far end first).
enum SortColumn { Listed = -1, ById = 0, ByTitle, ByMoney, ByItem, ByState, ByTime, SortColumnCount };

struct Query {
    StateFilter state = StateFilter::All;
    QString search;          // part of the title or of the item ID; empty: every row
    int sort = Listed;
    bool descending = false;   // ignored by the list's own order, which is always the far end first
    // The search looks at every row in the order's own index instead of asking the title index
    // for its rows: what plan() chooses for a word that many rows hold, or that is too short for
    // the index. Counting such a search reads every row.
    bool scan = false;

    bool operator==(const Query &) const = default;
};

// A row's place in an order: the value of the order's key, and its id for rows of equal keys.
struct Key {
    QVariant value;
    qint64 id = 0;
};

struct Chunk {
    std::vector<ItemListRow> rows;   // in list order
    Key first, last;                 // the keys of the first and the last row
};

// What the list's reads need of the schema: an index per order and for the rows that need the
// operator, and the title search's index, kept in step with the rows by triggers (so that any
// process writing the profile keeps it, in the same transaction as its own write).
QStringList schema();
// Fills the title search's index from the rows there are (a profile of an earlier version).
inline constexpr const char *kRebuildFind = "INSERT INTO itemlist_find(itemlist_find) VALUES('rebuild')";

// The state filter named on a command line: an English word or the state column's own label;
// nullopt when the name is none of them.
std::optional<StateFilter> stateNamed(const QString &name);
// The words stateNamed() takes, for a usage text.
QString stateNames();

class Reader
{
public:
    explicit Reader(ProfileDb &db) : m_db(db) {}

    // The query as it is best read: a word that many rows hold is looked for row by row along
    // the order (its rows are dense there, so a screen ends soon), a rarer one by the title index.
    DbResult<Query> plan(Query q);
    // How many rows the query shows.
    DbResult<qint64> count(const Query &q);
    // How many rows of ids in (after, upTo] the query shows: a count taken a stretch at a time.
    DbResult<qint64> countIds(const Query &q, qint64 after, qint64 upTo);
    // The highest id there is; 0 when there are no rows.
    DbResult<qint64> maxId();
    // Up to `limit` rows of the order after `from` (from the first row when there is none),
    // `skip` rows further on. Backwards: the rows before `from`, read towards the first row,
    // and returned in list order.
    DbResult<Chunk> read(const Query &q, const std::optional<Key> &from, qint64 skip, int limit, bool backwards = false);
    // The place of the row with this id in the query's order; -1 when the query does not show it.
    DbResult<qint64> position(const Query &q, qint64 id);
    // The id of the row the query shows for this item ID; 0 when it shows none.
    DbResult<qint64> shownItem(const Query &q, const QString &item);
    // Whether the query shows the row with this id.
    DbResult<bool> shows(const Query &q, qint64 id);
    // Rows the title index hands over for a search read by it, at most.
    static constexpr int kIndexedRows = 20000;
    // Fewer, for tests that read both ways with a few rows.
    void setIndexedRows(int rows) { m_indexedRows = rows; }

    // Every row the query shows, in order, `limit` at most (0: no limit), handed over one by
    // one and read a chunk at a time; `row` returns false to stop.
    DbStatus forEach(const Query &q, qint64 limit, const std::function<bool(const ItemListRow &)> &row);

private:
    ProfileDb &m_db;
    int m_indexedRows = kIndexedRows;
};

} // namespace itemlist
