#pragma once

#include <QString>

struct ItemListRow;

// Pipeline codes of an itemlist row.
namespace itemstate {
enum State { NotCollected = 0, Collected = 1, Edited = 2, Uploaded = 3 };

// The rows that need the operator, one rule for the list, its filter and the runner's counts:
// refused by the site and not uploaded by hand since, or abnormal. The same as SQL conditions.
inline constexpr const char *kRefusedSql = "itemstate=0 AND errcode<>0 AND state<>3";
inline constexpr const char *kAbnormalSql = "itemstate<>0";
bool refused(int state, int itemstate, int errcode);

// The rows waiting for Step 2 and for Step 3. The picks and their partial indexes both take these
// conditions, term for term: SQLite uses a partial index only for a WHERE that implies its own.
inline constexpr const char *kWaitingForCollectionSql = "state=0 AND itemstate=0";
inline constexpr const char *kWaitingForUploadSql = "errcode=0 AND itemstate=0 AND state IN (1,2)";
bool waitingForCollection(int state, int itemstate);
bool waitingForUpload(int state, int itemstate, int errcode);
}

// The list label of a row: its state's label, or the abnormal label whenever itemstate is not 0.
QString statelabel(int state, int itemstate);
// What the list shows: the state's label, and for a refused row "上传失败" (its state still says
// collected, which would tell the operator that nothing is wrong).
QString listlabel(const ItemListRow &row);
// Why a row needs the operator, empty when it does not (the row's tooltip, the runner's list).
QString needreason(const ItemListRow &row);
