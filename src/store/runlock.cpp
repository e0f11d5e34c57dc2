#include "store/runlock.h"

#include <QDir>
#include <QLockFile>
#include <QThread>

namespace {

// One period of the lock, from the first hold to the last: it owns the lock file, so that the
// lock is given back with the last hold wherever that ends, even after the RunLock is gone.
struct Token {
    explicit Token(std::unique_ptr<QLockFile> f) : file(std::move(f)) {}
    std::unique_ptr<QLockFile> file;
};

QString otherProcess(const QLockFile &file)
{
    qint64 pid = 0;
    QString host, program;
    // A lock taken a moment ago may not say whose it is yet: its owner writes that just after.
    bool known = file.getLockInfo(&pid, &host, &program);
    for (int wait = 0; !known && wait < 5; ++wait) {
        QThread::msleep(10);
        known = file.getLockInfo(&pid, &host, &program);
    }
    if (!known)
        return QStringLiteral("数据库正被另一个程序使用，请等它运行结束后再开始");
    if (program.isEmpty())
        program = QStringLiteral("未知程序");
    if (host.isEmpty())
        host = QStringLiteral("本机");
    return QStringLiteral("数据库正被另一个程序使用：%1（进程号 %2，主机 %3），请等它运行结束后再开始")
        .arg(program).arg(pid).arg(host);
}

} // namespace

RunLock::RunLock() = default;
RunLock::~RunLock() = default;

void RunLock::setProfile(const QString &profilePath, const QString &readOnly)
{
    m_lockPath = profilePath.isEmpty() ? QString() : pathFor(profilePath);
    m_readOnly = readOnly;
    m_current.reset();
}

RunLock::Hold RunLock::take(QString *why)
{
    if (Hold current = m_current.lock())
        return current;
    auto refuse = [why](const QString &text) {
        if (why)
            *why = text;
        return Hold();
    };
    if (m_lockPath.isEmpty())
        return refuse(QStringLiteral("数据库未打开，不能开始运行"));
    if (!m_readOnly.isEmpty())
        return refuse(QStringLiteral("数据库只读（%1），只能查看，不能开始运行").arg(m_readOnly));
    auto file = std::make_unique<QLockFile>(m_lockPath);
    // A run lasts hours: only a lock whose process is gone is stale, never an old one.
    file->setStaleLockTime(0);
    if (!file->tryLock(0)) {
        switch (file->error()) {
        case QLockFile::LockFailedError:
            return refuse(otherProcess(*file));
        case QLockFile::PermissionError:
            return refuse(QStringLiteral("无法创建运行锁文件 %1（没有写入权限），不能开始运行")
                              .arg(QDir::toNativeSeparators(m_lockPath)));
        default:
            return refuse(QStringLiteral("无法创建运行锁文件 %1（磁盘已满或无法写入），不能开始运行")
                              .arg(QDir::toNativeSeparators(m_lockPath)));
        }
    }
    auto token = std::make_shared<const Token>(std::move(file));
    m_current = token;
    return token;
}
