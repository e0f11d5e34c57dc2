#include "store/dbresult.h"

#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

DbStatus DbStatus::of(const QSqlError &e)
{
    if (e.type() == QSqlError::NoError)
        return {};
    // SQLite's own words where the driver has them; the driver's otherwise.
    const QString text = !e.databaseText().isEmpty() ? e.databaseText() : e.text();
    bool numeric = false;
    const int code = e.nativeErrorCode().toInt(&numeric);
    return failed(text, numeric && code != 0 ? code : 1);
}

QString DbStatus::reason() const
{
    if (ok())
        return {};
    if (code == kFileReplaced)
        return QStringLiteral("数据库文件已被删除、移动或替换");
    // The journal's shared index beside the file cannot grow: the disk is full.
    if (code == SQLITE_IOERR_SHMSIZE)
        return QStringLiteral("磁盘空间不足");
    switch (code & 0xff) {   // the primary code of an extended one
    case 5: return QStringLiteral("数据库正被其他程序使用");
    case 6: return QStringLiteral("数据库被锁定");
    case 7: return QStringLiteral("内存不足");
    case 8: return QStringLiteral("数据库只读，无法写入");
    case 10: return QStringLiteral("磁盘读写错误");
    case 11: return QStringLiteral("数据库文件已损坏");
    case 13: return QStringLiteral("磁盘空间不足");
    case 14: return QStringLiteral("无法打开数据库文件");
    case 19: return QStringLiteral("数据违反约束");
    case 26: return QStringLiteral("不是数据库文件");
    }
    return QStringLiteral("数据库错误");
}

QString DbStatus::logReason() const
{
    return ok() ? QString() : reason() + QStringLiteral("（") + error + QStringLiteral("）");
}

DbStatus runStatement(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    if (!q.prepare(sql))
        return DbStatus::of(q.lastError());
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        return DbStatus::of(q.lastError());
    return {};
}
