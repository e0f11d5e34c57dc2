#include "cli/passinput.h"

#include <QDir>
#include <QFile>

namespace {

// The first line of at most kMaxBytes bytes; a longer line is refused, not cut. Read by line,
// so that a password typed at a terminal ends with Enter.
bool firstLine(QIODevice &in, QString *line)
{
    QByteArray first = in.readLine(PassInput::kMaxBytes + 2);
    if (first.endsWith('\n'))
        first.chop(1);
    else if (first.size() > PassInput::kMaxBytes)
        return false;
    if (first.endsWith('\r'))
        first.chop(1);
    *line = QString::fromUtf8(first);
    return true;
}

} // namespace

PassInput PassInput::from(const QMap<QString, QString> &options, FILE *standardInput)
{
    PassInput r;
    const bool onLine = options.contains(QStringLiteral("--pass")), inFile = options.contains(QStringLiteral("--pass-file"));
    if (onLine == inFile) {
        r.error = onLine ? QStringLiteral("settings takes --pass or --pass-file, not both")
                         : QStringLiteral("settings needs --pass-file FILE or --pass - (the password on standard input)");
        return r;
    }
    if (onLine && options.value(QStringLiteral("--pass")) != QLatin1String("-")) {
        r.pass = options.value(QStringLiteral("--pass"));
        r.exposed = true;
        return r;
    }
    QFile in;
    QString from;
    if (onLine) {
        from = QStringLiteral("标准输入");
        if (!in.open(standardInput, QIODevice::ReadOnly)) {
            r.error = QStringLiteral("无法读取标准输入中的密码");
            return r;
        }
    } else {
        const QString path = options.value(QStringLiteral("--pass-file"));
        from = QDir::toNativeSeparators(path);
        in.setFileName(path);
        if (!in.open(QIODevice::ReadOnly)) {
            r.error = QStringLiteral("无法读取密码文件 %1（%2）").arg(from, in.errorString());
            return r;
        }
    }
    if (!firstLine(in, &r.pass))
        r.error = QStringLiteral("%1 中的密码过长").arg(from);
    return r;
}
