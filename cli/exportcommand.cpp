#include "cli/exportcommand.h"
#include "cli/consolenotifier.h"
#include "store/itemexport.h"
#include "store/profiledb.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

void complain(const QString &text)
{
    ConsoleNotifier::progress().set({});
    std::fputs(("velorix-cli: " + text + "\n").toUtf8().constData(), ConsoleNotifier::errors());
    std::fflush(ConsoleNotifier::errors());
}

} // namespace

int exportCommand(ProfileDb &db, const QMap<QString, QString> &options)
{
    ItemExport::Format format = ItemExport::Format::Csv;
    if (options.contains("--format") && !ItemExport::parseFormat(options.value("--format"), &format)) {
        complain(QStringLiteral("--format takes csv or json"));
        return 2;
    }
    QStringList states;
    QString error;
    if (options.contains("--state") && !ItemExport::parseStates(options.value("--state"), &states, &error)) {
        complain(error);
        return 2;
    }
    const QString target = options.value("-o");
    if (options.contains("-o") && target.isEmpty()) {
        complain(QStringLiteral("-o needs a file"));
        return 2;
    }

    // A file is written beside its place and takes its name only when whole: a failed export
    // never leaves half a file under the name asked for.
    QSaveFile file(target);
    QFile standardOut;
    QIODevice *out = nullptr;
    if (!target.isEmpty()) {
        if (!file.open(QIODevice::WriteOnly)) {
            complain(QStringLiteral("导出失败：无法创建文件 %1（%2）").arg(QDir::toNativeSeparators(target), file.errorString()));
            return 1;
        }
        out = &file;
    } else {
        if (!standardOut.open(ConsoleNotifier::out(), QIODevice::WriteOnly)) {
            complain(QStringLiteral("导出失败：无法写入标准输出"));
            return 1;
        }
        out = &standardOut;
    }
    ItemExport exporter(db, *out, format, states);
    const bool ok = exporter.writeAll();
    if (ok && !target.isEmpty() && !file.commit()) {
        complain(QStringLiteral("导出失败：无法写入文件 %1（%2）").arg(QDir::toNativeSeparators(target), file.errorString()));
        return 1;
    }
    if (!ok) {
        if (!target.isEmpty())
            file.cancelWriting();
        complain(exporter.error());
        return 1;
    }
    standardOut.close();
    if (!target.isEmpty())
        ConsoleNotifier::line(QStringLiteral("已导出 %1 件宝贝到 %2").arg(exporter.written()).arg(QDir::toNativeSeparators(target)));
    return 0;
}
