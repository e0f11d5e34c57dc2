#include "store/profiledb.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// The runner's records: how each run ended, so that an unattended one is seen afterwards.

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

DbStatus ProfileDb::addRunRecord(const RunRecord &r)
{
    DbStatus s = begin();
    if (!s)
        return s;
    s = exec(QStringLiteral("INSERT INTO runrecord (started, ended, command, status, unattended, listed, waiting, "
                            "uploaded, refused, abnormal, uploaded_now) VALUES (?,?,?,?,?,?,?,?,?,?,?)"),
             {r.started.toString(kTimeFormat), r.ended.toString(kTimeFormat), r.command, r.status, int(r.unattended),
              r.listed, r.waiting, r.uploaded, r.refused, r.abnormal, r.uploadedNow});
    // A nightly timer over years would otherwise grow the profile without end.
    if (s)
        s = exec(QStringLiteral("DELETE FROM runrecord WHERE id <= (SELECT max(id) FROM runrecord) - ?"),
                 {kRunRecordsKept});
    if (s)
        s = commit();
    if (!s)
        rollback();
    return s;
}

DbResult<std::optional<RunRecord>> ProfileDb::lastRunRecord(bool unattendedOnly)
{
    if (!m_ok)
        return DbStatus::failed(QStringLiteral("not open"), 14);
    QSqlQuery q(database());
    q.setForwardOnly(true);
    const QString sql = QStringLiteral("SELECT started, ended, command, status, unattended, listed, waiting, uploaded, "
                                       "refused, abnormal, uploaded_now FROM runrecord %1 ORDER BY id DESC LIMIT 1")
                            .arg(unattendedOnly ? QStringLiteral("WHERE unattended<>0") : QString());
    if (const DbStatus s = run(q, sql); !s)
        return s;
    if (!q.next())
        return q.lastError().isValid() ? DbResult<std::optional<RunRecord>>(DbStatus::of(q.lastError()))
                                       : DbResult<std::optional<RunRecord>>(std::optional<RunRecord>());
    RunRecord r;
    r.started = QDateTime::fromString(q.value(0).toString(), kTimeFormat);
    r.ended = QDateTime::fromString(q.value(1).toString(), kTimeFormat);
    r.command = q.value(2).toString();
    r.status = q.value(3).toInt();
    r.unattended = q.value(4).toInt() != 0;
    r.listed = q.value(5).toLongLong();
    r.waiting = q.value(6).toLongLong();
    r.uploaded = q.value(7).toLongLong();
    r.refused = q.value(8).toLongLong();
    r.abnormal = q.value(9).toLongLong();
    r.uploadedNow = q.value(10).toLongLong();
    return std::optional<RunRecord>(r);
}
