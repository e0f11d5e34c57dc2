#include "store/profilefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace profilefile {

namespace {

const QString kBuildInfix = QStringLiteral(".new-");

void syncFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void removeWithJournals(const QString &file)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
}

} // namespace

Identity identityOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, true};
}

QString readOnlyReason(const QString &path)
{
    const QFileInfo file(path);
    if (!QFileInfo(file.absolutePath()).isWritable())
        return QStringLiteral("文件夹只读");
    if (!file.isWritable())
        return QStringLiteral("文件只读");
    return {};
}

bool nobodyCanWrite(const QString &path)
{
    const QFileInfo wal(path + QStringLiteral("-wal"));
    return !QFileInfo(QFileInfo(path).absolutePath()).isWritable() && !wal.exists();
}

QString buildPath(const QString &path)
{
    return path + kBuildInfix + QString::number(QCoreApplication::applicationPid());
}

void removeDeadBuilds(const QString &path)
{
    const QFileInfo info(path);
    const QString prefix = info.fileName() + kBuildInfix;
    const QStringList builds = info.dir().entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString &name : builds) {
        bool number = false;
        const qint64 pid = name.mid(prefix.size()).toLongLong(&number);
        if (!number || pid <= 0)
            continue;
        // This process's own is about to be rebuilt; another's only once that process is gone.
        if (pid == QCoreApplication::applicationPid() || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH))
            removeWithJournals(info.dir().filePath(name));
    }
}

bool place(const QString &build, const QString &path, bool replaceEmpty, bool *taken)
{
    *taken = false;
    const QByteArray from = QFile::encodeName(build), to = QFile::encodeName(path);
    bool placed = false;
    if (replaceEmpty) {
        // Only while it is still empty: another program may have put a profile there meanwhile.
        struct stat st;
        if (::stat(to.constData(), &st) == 0 && st.st_size > 0) {
            *taken = true;
            removeWithJournals(build);
            return false;
        }
        placed = ::rename(from.constData(), to.constData()) == 0;
    } else {
        // Another program may have made the profile meanwhile: that one is kept.
        placed = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
        if (!placed && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without that kind of rename: a second name, then the first goes.
            placed = ::link(from.constData(), to.constData()) == 0;
            if (placed)
                ::unlink(from.constData());
        }
        if (!placed && errno == EEXIST)
            *taken = true;
    }
    if (!placed) {
        removeWithJournals(build);
        return false;
    }
    syncFolder(path);
    return true;
}

} // namespace profilefile
