#pragma once

#include <QString>
#include <sys/types.h>

// The profile as a file on disk: which file a path names, whether it may be written, and how a
// new one comes into place whole.
namespace profilefile {

// The file a path names: it stays the same file while it is renamed within its folder, and
// another file put in its place, or none, is told apart.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;
    bool operator==(const Identity &o) const { return valid && o.valid && device == o.device && inode == o.inode; }
};
Identity identityOf(const QString &path);

// Why an existing profile can only be read ("文件夹只读", "文件只读"), or empty when this
// process may write it.
QString readOnlyReason(const QString &path);
// The folder cannot be written: no journal can be made beside the file, so nobody can change
// it while it stays so, unless a journal of a writer that opened it before is still there.
bool nobodyCanWrite(const QString &path);

// A name beside the profile for building a new one, this process's own.
QString buildPath(const QString &path);
// Removes what a process that died while building a profile left beside it.
void removeDeadBuilds(const QString &path);
// Gives the finished build the profile's name. An empty profile file is replaced; any other
// file that appeared meanwhile is kept, and false is returned with taken set; on any failure the
// build is removed. The folder is synced, so that the name outlasts a power loss.
bool place(const QString &build, const QString &path, bool replaceEmpty, bool *taken);

} // namespace profilefile
