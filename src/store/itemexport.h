#pragma once

#include "store/dbresult.h"

#include <QByteArray>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

class ProfileDb;
class QIODevice;

// The item list written out for a spreadsheet or a script, read row by row from the profile and
// written chunk by chunk: a million rows take no more memory than a few.
class ItemExport
{
public:
    enum class Format { Csv, Json };

    // The places of the list an export can be limited to, by name ("uploaded") or by the list's
    // own label ("已上传"). Empty: every row.
    static QStringList stateNames();
    // Turns "refused,abnormal" into the condition; false with the unknown name in error.
    static bool parseStates(const QString &names, QStringList *states, QString *error);
    // "csv" or "json"; false for anything else.
    static bool parseFormat(const QString &name, Format *format);

    ItemExport(ProfileDb &db, QIODevice &out, Format format, const QStringList &states = {});

    // Starts the read and writes what comes before the rows (CSV: the byte-order mark and the
    // header line; JSON: the opening bracket).
    DbStatus start();
    // Writes up to `rows` more rows; false once the last is written or the export failed.
    bool writeSome(int rows);
    // Runs the whole export: start(), then writeSome() to the end.
    bool writeAll();

    qint64 written() const { return m_written; }
    bool failed() const { return !m_error.isEmpty(); }
    // Why the export stopped, in the operator's words; empty while nothing went wrong.
    QString error() const { return m_error; }

    // One CSV field: quoted when it holds a comma, a quote or a line break, and kept from being
    // taken for a formula by a spreadsheet program.
    static QString csvField(const QString &value);

private:
    bool flush(const QByteArray &bytes);
    bool fail(const QString &why);

    ProfileDb &m_db;
    QIODevice &m_out;
    Format m_format;
    QStringList m_states;
    QSqlQuery m_query;
    qint64 m_written = 0;
    bool m_done = false;
    QString m_error;
};
