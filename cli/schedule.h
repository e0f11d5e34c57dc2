#pragma once

#include <QMap>
#include <QString>
#include <QTime>

// velorix-cli schedule: a daily unattended run of a profile, the Linux way — a systemd user
// timer and its service, or the equivalent crontab line for a machine without a user manager.
namespace schedule {

// "HH:MM", 00:00 to 23:59; an invalid time otherwise.
QTime parseTime(const QString &text);

// The units' base name for a profile: one timer per profile, whatever else is scheduled.
QString unitName(const QString &profile);
// Where the user's own units go: $XDG_CONFIG_HOME/systemd/user (~/.config/systemd/user).
QString unitFolder();

struct Units {
    QString service, timer;
};
// The service runs `cli --db PROFILE run` once; the timer starts it daily at `at`, and after
// a start-up when the machine was off at that time.
Units units(const QString &cli, const QString &profile, QTime at);
// The same run as one crontab line.
QString cronLine(const QString &cli, const QString &profile, QTime at);

// The command: --daily HH:MM writes and starts the units, --off stops and removes them, --show
// says what is set; with --cron, the crontab line is printed instead of writing anything.
// systemctl is the one on the PATH, or $VELORIX_SYSTEMCTL. Returns the runner's exit status.
int command(const QString &profile, const QMap<QString, QString> &options);

} // namespace schedule
