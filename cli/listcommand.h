#pragma once

#include "store/dbresult.h"

#include <QMap>
#include <QString>
#include <functional>

class ProfileDb;

// The runner's list: a header line, then one tab-separated line per row the options keep
// (id, item ID, state, title, why the row needs the operator), written as they are read so
// that a profile of any size takes the same memory.
namespace listcommand {

// The options the command takes; true: it takes a value.
QMap<QString, bool> options();
// The command's lines of the usage text.
QString usage();

// Writes the list; 0 when it was written whole, 2 for an option of a wrong value (said on
// stderr), 1 when the profile could not be read (handed to failedRead).
int run(ProfileDb &db, const QMap<QString, QString> &options, const std::function<void(const DbStatus &)> &failedRead);

// One row's line, with tabs and line breaks of its texts made spaces and a long reason cut.
QString line(qint64 id, const QString &item, const QString &state, const QString &title, const QString &reason);

} // namespace listcommand
