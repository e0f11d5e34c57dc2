#include "store/profiledb.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>

#include <sqlite3.h>

// Copies of the profile, taken with SQLite's online backup: the copy is consistent even while
// the program writes, and it is a database of its own that opens like the profile.

namespace {

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

} // namespace

DbResult<QString> ProfileDb::backup(const QDateTime &now, int keep)
{
    sqlite3 *source = m_ok ? handleOf(database()) : nullptr;
    if (!source)
        return DbStatus::failed(QStringLiteral("not open"), SQLITE_CANTOPEN);
    const QFileInfo profile(m_path);
    const QString stem = profile.dir().filePath(profile.completeBaseName() + now.toString(QStringLiteral("-yyyyMMdd-HHmmss")));
    QString target = stem + QStringLiteral(".db");
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + QStringLiteral("-%1.db").arg(n);

    // The copy holds the site password as the profile does: only its owner may read it.
    {
        QFile f(target);
        if (!f.open(QIODevice::WriteOnly) || !f.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
            return DbStatus::failed(QStringLiteral("cannot create %1: %2").arg(target, f.errorString()), SQLITE_CANTOPEN);
    }
    sqlite3 *copy = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(target).constData(), &copy, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup *b = sqlite3_backup_init(copy, "main", source, "main");
        if (b) {
            rc = sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE)
                rc = SQLITE_OK;
        } else {
            rc = sqlite3_errcode(copy);
        }
    }
    const DbStatus why = DbStatus::failed(copy ? QString::fromUtf8(sqlite3_errmsg(copy)) : QString(), rc);
    sqlite3_close(copy);
    if (rc != SQLITE_OK) {
        QFile::remove(target);
        return why;
    }

    // The newest copies stay; the names sort by their time.
    const QString pattern = profile.completeBaseName() + QLatin1Char('-') + QString(8, QLatin1Char('?'))
                            + QLatin1Char('-') + QString(6, QLatin1Char('?')) + QStringLiteral("*.db");
    QStringList copies = profile.dir().entryList({pattern}, QDir::Files, QDir::Name | QDir::Reversed);
    for (int i = keep; i < copies.size(); ++i)
        QFile::remove(profile.dir().filePath(copies[i]));
    return target;
}
