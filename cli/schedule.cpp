#include "cli/schedule.h"
#include "cli/consolenotifier.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

namespace {

void complain(const QString &text)
{
    std::fputs(("velorix-cli: " + text + "\n").toUtf8().constData(), ConsoleNotifier::errors());
    std::fflush(ConsoleNotifier::errors());
}

// A word of a unit file's command line: quoted, with systemd's specifiers and variables kept
// from being expanded.
QString unitWord(QString s)
{
    s.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    s.replace(QLatin1Char('%'), QStringLiteral("%%")).replace(QLatin1Char('$'), QStringLiteral("$$"));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// A word for the shell cron hands its line to; cron itself takes a bare "%" for a line break.
QString shellWord(QString s)
{
    s.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    s.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

QString systemctl()
{
    const QString chosen = qEnvironmentVariable("VELORIX_SYSTEMCTL");
    return chosen.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("systemctl")) : chosen;
}

// systemctl --user with these arguments; its complaint, empty when it did what was asked.
QString userctl(const QStringList &args)
{
    const QString program = systemctl();
    if (program.isEmpty())
        return QStringLiteral("找不到 systemctl");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, QStringList{QStringLiteral("--user")} + args);
    if (!p.waitForStarted(5000))
        return QStringLiteral("systemctl 无法启动");
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("systemctl 没有在 30 秒内结束");
    }
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    const QString said = QString::fromLocal8Bit(p.readAll()).trimmed().left(500);
    return said.isEmpty() ? QStringLiteral("systemctl 退出状态 %1").arg(p.exitCode()) : said;
}

bool writeFile(const QString &path, const QString &text, QString *why)
{
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size() && f.commit())
        return true;
    *why = QStringLiteral("无法写入 %1（%2）").arg(path, f.errorString());
    return false;
}

// The time a timer in place is set to, from its OnCalendar line; invalid when there is none.
QTime timerTime(const QString &timerPath)
{
    QFile f(timerPath);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 64 * 1024)
        return {};
    const auto m = QRegularExpression(QStringLiteral("^OnCalendar=\\*-\\*-\\* (\\d\\d:\\d\\d):00$"),
                                      QRegularExpression::MultilineOption)
                       .match(QString::fromUtf8(f.readAll()));
    return m.hasMatch() ? QTime::fromString(m.captured(1), QStringLiteral("HH:mm")) : QTime();
}

} // namespace

QTime schedule::parseTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([01]?\\d|2[0-3]):([0-5]\\d)$"));
    const auto m = form.match(text.trimmed());
    return m.hasMatch() ? QTime(m.captured(1).toInt(), m.captured(2).toInt()) : QTime();
}

QString schedule::unitName(const QString &profile)
{
    const QByteArray id = QCryptographicHash::hash(QFileInfo(profile).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("velorix-run-") + QString::fromLatin1(id.toHex().left(12));
}

QString schedule::unitFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/systemd/user");
}

schedule::Units schedule::units(const QString &cli, const QString &profile, QTime at)
{
    const QString where = QFileInfo(profile).absoluteFilePath();
    QString described = where;
    described.replace(QLatin1Char('%'), QStringLiteral("%%")).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f]")), QStringLiteral("?"));
    Units u;
    u.service = QStringLiteral("[Unit]\n"
                               "Description=Velorix: the three steps on %1\n"
                               "\n"
                               "[Service]\n"
                               "Type=oneshot\n"
                               "ExecStart=%2 --db %3 run\n")
                    .arg(described, unitWord(cli), unitWord(where));
    u.timer = QStringLiteral("[Unit]\n"
                             "Description=Velorix: a daily run at %1 on %2\n"
                             "\n"
                             "[Timer]\n"
                             "OnCalendar=*-*-* %1:00\n"
                             "Persistent=true\n"
                             "Unit=%3.service\n"
                             "\n"
                             "[Install]\n"
                             "WantedBy=timers.target\n")
                  .arg(at.toString(QStringLiteral("HH:mm")), described, unitName(profile));
    return u;
}

QString schedule::cronLine(const QString &cli, const QString &profile, QTime at)
{
    return QStringLiteral("%1 %2 * * * %3 --db %4 run")
        .arg(at.minute())
        .arg(at.hour())
        .arg(shellWord(cli), shellWord(QFileInfo(profile).absoluteFilePath()));
}

int schedule::command(const QString &profile, const QMap<QString, QString> &options)
{
    const bool daily = options.contains("--daily"), off = options.contains("--off"), show = options.contains("--show"),
               cron = options.contains("--cron");
    if (int(daily) + int(off) + int(show) != 1 && !(cron && !off && !show)) {
        complain(QStringLiteral("schedule takes one of --daily HH:MM, --off, --show (and --cron)"));
        return 2;
    }
    if (QFileInfo(profile).absoluteFilePath().contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f]")))) {
        complain(QStringLiteral("数据库路径中含有控制字符，无法设置定时运行"));
        return 2;
    }
    const QString cli = QCoreApplication::applicationFilePath();
    const QString name = unitName(profile);
    const QString folder = unitFolder();
    const QString timerPath = folder + QLatin1Char('/') + name + QStringLiteral(".timer");
    const QString servicePath = folder + QLatin1Char('/') + name + QStringLiteral(".service");

    QTime at;
    if (daily) {
        at = parseTime(options.value("--daily"));
        if (!at.isValid()) {
            complain(QStringLiteral("--daily takes a time of day as HH:MM, 00:00 to 23:59"));
            return 2;
        }
    }
    if (cron) {
        if (!at.isValid())
            at = timerTime(timerPath);
        if (!at.isValid()) {
            complain(QStringLiteral("--cron needs --daily HH:MM (no timer is set for this profile)"));
            return 2;
        }
        ConsoleNotifier::line(cronLine(cli, profile, at));
        return 0;
    }
    if (show) {
        at = timerTime(timerPath);
        if (!at.isValid()) {
            ConsoleNotifier::line(QStringLiteral("未设置定时运行"));
            return 0;
        }
        ConsoleNotifier::line(QStringLiteral("每天 %1 运行：%2 --db %3 run").arg(at.toString(QStringLiteral("HH:mm")), cli,
                                                                         QFileInfo(profile).absoluteFilePath()));
        ConsoleNotifier::line(timerPath);
        ConsoleNotifier::line(servicePath);
        return 0;
    }
    if (off) {
        const bool existed = QFile::exists(timerPath) || QFile::exists(servicePath);
        // A timer that is not loaded has nothing to stop; the files go all the same.
        if (existed)
            userctl({QStringLiteral("disable"), QStringLiteral("--now"), name + QStringLiteral(".timer")});
        QFile::remove(timerPath);
        QFile::remove(servicePath);
        if (existed)
            userctl({QStringLiteral("daemon-reload")});
        ConsoleNotifier::line(existed ? QStringLiteral("已取消定时运行") : QStringLiteral("未设置定时运行"));
        return 0;
    }

    const Units u = units(cli, profile, at);
    QString why;
    if (!QDir().mkpath(folder)) {
        complain(QStringLiteral("无法创建目录 %1").arg(folder));
        return 1;
    }
    if (!writeFile(servicePath, u.service, &why) || !writeFile(timerPath, u.timer, &why)) {
        complain(why);
        return 1;
    }
    ConsoleNotifier::line(QStringLiteral("已设置每天 %1 运行：%2").arg(at.toString(QStringLiteral("HH:mm")), timerPath));
    QString failed = userctl({QStringLiteral("daemon-reload")});
    if (failed.isEmpty())
        failed = userctl({QStringLiteral("enable"), QStringLiteral("--now"), name + QStringLiteral(".timer")});
    if (!failed.isEmpty()) {
        // Written but not started: a machine without a user manager (a container, a server
        // without a login) runs it from cron instead.
        complain(QStringLiteral("定时器已写入，但无法启动（%1）。可稍后执行 systemctl --user enable --now %2.timer，"
                                "或改用 crontab：%3")
                     .arg(failed, name, cronLine(cli, profile, at)));
        return 1;
    }
    return 0;
}
