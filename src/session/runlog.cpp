#include "session/runlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

QString RunLog::pathFor(const QString &profile)
{
    const QFileInfo info(profile);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".log"));
}

void RunLog::setPath(const QString &path)
{
    m_path = path;
    m_warned = false;
}

void RunLog::write(const QString &kind, const QString &text)
{
    if (m_path.isEmpty())
        return;
    QString one = text.left(kMaxEntryChars);
    one.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (text.size() > kMaxEntryChars)
        one += QStringLiteral(" …（共%1字）").arg(text.size());
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" [")
                         + kind + QStringLiteral("] ") + one + QLatin1Char('\n');
    if (append(line.toUtf8()) || m_warned)
        return;
    m_warned = true;
    emit unwritable(QStringLiteral("运行日志无法写入：%1，软件继续运行但不再记录").arg(QDir::toNativeSeparators(m_path)));
}

bool RunLog::append(const QByteArray &line)
{
    const QFileInfo info(m_path);
    if (info.exists() && info.size() + line.size() > kRotateBytes) {
        const QString older = m_path + QStringLiteral(".1");
        QFile::remove(older);
        if (!QFile::rename(m_path, older))
            return false;
    }
    QFile f(m_path);
    const bool created = !f.exists();
    if (!f.open(QIODevice::Append))
        return false;
    // The log names the site and its replies: it is its owner's, as the profile is.
    if (created)
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return f.write(line) == line.size() && f.flush();
}
