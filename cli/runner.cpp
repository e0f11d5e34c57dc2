#include "cli/runner.h"
#include "cli/exportcommand.h"
#include "cli/listcommand.h"
#include "cli/passinput.h"
#include "cli/schedule.h"
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "collect/manualadd.h"
#include "convert/convertchannel.h"
#include "outside/outside.h"
#include "publish/uploadstep.h"
#include "base/checks.h"
#include "session/session.h"
#include "store/itemstate.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTimer>
#include <cstdio>

namespace {

void err(const QString &text)
{
    ConsoleNotifier::progress().set({});
    std::fputs(text.toUtf8().constData(), ConsoleNotifier::errors());
    std::fputc('\n', ConsoleNotifier::errors());
    std::fflush(ConsoleNotifier::errors());
}

// The options each command takes; true: it takes a value.
const QMap<QString, QMap<QString, bool>> kCommands = {
    {"settings", {{"--site", true}, {"--user", true}, {"--pass", true}, {"--pass-file", true}, {"--pid", true},
                  {"--shop", true}, {"--shopsid", true}}},
    {"collect", {{"--shop", true}, {"--fresh", false}}},
    {"detail", {}},
    {"add", {}},
    {"list", listcommand::options()},
    {"upload", {}},
    {"summary", {}},
    {"run", {{"--shop", true}, {"--fresh", false}}},
    {"export", {{"--format", true}, {"--state", true}, {"-o", true}}},
    {"schedule", {{"--daily", true}, {"--off", false}, {"--show", false}, {"--cron", false}}},
};
const QMap<QString, int> kPositionals = {{"add", 1}};
// The commands that run steps or add items.
const QStringList kRunning = {"collect", "detail", "add", "upload", "run"};
// The commands whose end goes into the profile's run records.
const QStringList kRecorded = {"collect", "detail", "upload", "run"};

} // namespace

Runner::Runner(QObject *parent) : QObject(parent)
{
    // The error output is the operator's, in Chinese: a failed fetch's own words already go with
    // its reason into Profile.log (QT_LOGGING_RULES still shows them to whoever asks).
    QLoggingCategory::setFilterRules(QStringLiteral("velorix.fetch.warning=false"));
}

Runner::~Runner() = default;

QString Runner::usage()
{
    return QStringLiteral(
        "velorix-cli: the Velorix steps without a window\n"
        "usage: velorix-cli [--db FILE] COMMAND [options]\n"
        "  settings --site DOMAIN --user NAME (--pass-file FILE | --pass -) [--pid PID] [--shop HOST]\n"
        "           [--shopsid SID]\n"
        "                         save the mirror site's settings (checked as the settings page checks them);\n"
        "                         the password is the first line of FILE, or of standard input with --pass -\n"
        "                         (--pass PASSWORD works too, but shows it in the process list). It is kept\n"
        "                         in the system keyring where one answers, else in the profile\n"
        "  collect [--shop HOST] [--fresh]\n"
        "                         Step 1: read the shop's item list (resume by default; the stored shop\n"
        "                         address unless --shop is given, which is stored too)\n"
        "  detail                 Step 2: collect every uncollected item\n"
        "  add URL                add one item by its page address (the stored publisher ID)\n"
        "%1"
        "  summary                how many items are listed, waiting for upload, uploaded, refused\n"
        "                         and abnormal\n"
        "  upload                 Step 3: convert the shop, log in to the mirror site and publish every\n"
        "                         collected item\n"
        "  run [--shop HOST] [--fresh]\n"
        "                         Steps 1, 2 and 3 in turn, stopping at the first that fails\n"
        "  export [--format csv|json] [--state STATES] [-o FILE]\n"
        "                         the items with every column of the list, the click URL, the description\n"
        "                         address and the reason; CSV is UTF-8 with a byte-order mark. STATES: any of\n"
        "                         uncollected,collected,edited,uploaded,refused,abnormal\n"
        "  schedule --daily HH:MM | --off | --show [--cron]\n"
        "                         a daily unattended run of this profile as a systemd user timer\n"
        "                         (~/.config/systemd/user/velorix-run-*.timer); --cron prints the crontab\n"
        "                         line instead\n"
        "  --help                 this text\n"
        "  --version              the program's version\n"
        "--db FILE: the profile database (default: %2, as the window uses).\n"
        "Status and message texts go to stdout, one per line; questions are answered No.\n"
        "SIGINT/SIGTERM pause: the unit in flight is finished and stored, then the runner exits;\n"
        "a later run resumes. A second signal ends at once.\n"
        "A failure's reason goes to stderr as well, in Chinese.\n"
        "exit status: 0 done, 1 the step stopped on a failure or the profile could not be read,\n"
        "2 usage or a refused setting,\n"
        "3 paused by a signal, 4 the profile cannot be used (another program runs on it, or it can\n"
        "only be read); for run, 11, 12 or 13 when Step 1, 2 or 3 stopped on a failure.\n"
        "collect, detail, add, upload and run hold the profile's lock file (FILE.lock) while they\n"
        "run; list and summary read a profile that cannot be written.\n"
        "VELORIX_CONNECT_TO=HOST:PORT sends every outside connection to that address.\n"
        "VELORIX_PACE=SHARE (between 0 and 1) shortens the pauses between units to that share of\n"
        "the normal pace, for checks against the simulator; never use it against a real site.\n"
        "VELORIX_KEYRING=none keeps the password out of the system keyring.\n")
        .arg(listcommand::usage(), QDir::toNativeSeparators(ProfileDb::defaultPath()));
}

bool Runner::parse(const QStringList &args, Args &out, QString &error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        if (a == QLatin1String("--db")) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--db needs a file");
                return false;
            }
            out.db = args[++i];
            if (out.db.trimmed().isEmpty()) {
                error = QStringLiteral("--db needs a file");
                return false;
            }
        } else if (out.command.isEmpty()) {
            if (!kCommands.contains(a)) {
                error = a.startsWith(QLatin1String("--")) ? QStringLiteral("unknown option: ") + a
                                                           : QStringLiteral("unknown command: ") + a;
                return false;
            }
            out.command = a;
        } else if (a.startsWith(QLatin1String("--")) || a == QLatin1String("-o")) {
            const auto &known = kCommands[out.command];
            if (!known.contains(a)) {
                error = QStringLiteral("%1 takes no option %2").arg(out.command, a);
                return false;
            }
            if (known[a]) {
                if (i + 1 >= args.size()) {
                    error = QStringLiteral("%1 needs a value").arg(a);
                    return false;
                }
                out.options.insert(a, args[++i]);
            } else {
                out.options.insert(a, QString());
            }
        } else {
            out.positional << a;
        }
    }
    if (out.command.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    if (out.positional.size() != kPositionals.value(out.command, 0)) {
        error = QStringLiteral("%1 takes %2 argument(s)").arg(out.command).arg(kPositionals.value(out.command, 0));
        return false;
    }
    if (out.command == QLatin1String("settings"))
        for (const char *needed : {"--site", "--user"})
            if (!out.options.contains(QString::fromLatin1(needed))) {
                error = QStringLiteral("settings needs %1").arg(QLatin1String(needed));
                return false;
            }
    return true;
}

int Runner::start(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        ConsoleNotifier::line(usage());
        return Done;
    }
    if (args.contains(QStringLiteral("--version"))) {
        ConsoleNotifier::line(QStringLiteral("velorix-cli " VELORIX_VERSION));
        return Done;
    }
    if (const QString problem = outside::connectToProblem(); !problem.isEmpty()) {
        err(QStringLiteral("velorix-cli: ") + problem);
        return Usage;
    }
    Args a;
    QString error;
    if (!parse(args, a, error)) {
        err(QStringLiteral("velorix-cli: ") + error + QStringLiteral("\n\n") + usage());
        return Usage;
    }
    // A schedule is about the profile's path; the profile itself is opened by the run.
    if (a.command == QLatin1String("schedule"))
        return schedule::command(a.db.isEmpty() ? ProfileDb::defaultPath() : a.db, a.options);
    PassInput pass;
    if (a.command == QLatin1String("settings")) {
        pass = PassInput::from(a.options);
        if (!pass.error.isEmpty()) {
            err(QStringLiteral("velorix-cli: ") + pass.error);
            return Usage;
        }
        if (pass.exposed)
            err(QStringLiteral("velorix-cli: 警告：--pass 的密码在进程列表中人人可见，请改用 --pass-file FILE 或 --pass -"));
    }
    m_session = std::make_unique<Session>(m_notifier, m_web);
    m_session->password().setStore(m_secrets);
    if (m_limits.fetchTimeoutMs > 0) {
        m_web.setTransferTimeout(m_limits.fetchTimeoutMs);
        m_web.setDeadline(3 * m_limits.fetchTimeoutMs);
    }
    for (ConvertChannel *c : {&m_session->channel1(), &m_session->channel2()}) {
        if (m_limits.convertTimeoutMs > 0)
            c->setTimeoutInterval(m_limits.convertTimeoutMs);
        if (m_limits.convertRetryMs > 0)
            c->setRetryInterval(m_limits.convertRetryMs);
    }
    connect(m_session.get(), &Session::status, this, [this](const QString &t, const QString &reason) {
        if (t.isEmpty())
            return;
        m_lastStatus = t;
        m_lastReason = reason;
        // A message shown a moment ago and then put in the status line is one line here.
        if (!m_notifier.takeShown(t))
            ConsoleNotifier::line(t);
        // Why a failure happened goes to the error output, in the operator's words.
        if (!reason.isEmpty())
            err(QStringLiteral("velorix-cli: ") + t + QStringLiteral("（原因：") + reason + QStringLiteral("）"));
    });
    connect(&m_session->progress(), &Progress::changed, this, [](const QString &t) { ConsoleNotifier::progress().set(t); });
    const QString opened = m_session->opendb(a.db.isEmpty() ? ProfileDb::defaultPath() : a.db);
    if (!m_session->db().isOpen()) {
        err(opened);
        return NoProfile;
    }
    if (const auto settings = m_session->getsoftinfo(); !settings) {
        err(QStringLiteral("velorix-cli: ") + settings.readFailure());
        return Failed;
    }
    if (!m_session->db().readOnly().isEmpty())
        err(QStringLiteral("velorix-cli: ") + opened);
    applyPace(qEnvironmentVariable("VELORIX_PACE"));

    // The commands that fetch and store hold the profile's run lock from start to end, the
    // whole run included: a second runner, or the window, is refused meanwhile.
    if (kRunning.contains(a.command)) {
        QString why;
        m_hold = m_session->runLock().take(&why);
        if (!m_hold) {
            err(QStringLiteral("velorix-cli: ") + why);
            return NoProfile;
        }
        if (kRecorded.contains(a.command)) {
            m_record.command = a.command;
            m_record.started = QDateTime::currentDateTime();
            m_record.unattended = ::isatty(0) != 1;
            const auto before = m_session->db().counts();
            m_uploadedBefore = before ? before.value.uploaded : -1;
        }
    }

    if (a.command == QLatin1String("settings"))
        return settings(a, pass.pass);
    if (a.command == QLatin1String("export"))
        return exportCommand(m_session->db(), a.options);
    if (a.command == QLatin1String("list"))
        return listcommand::run(m_session->db(), a.options, [this](const DbStatus &why) { failedRead(why); });
    if (a.command == QLatin1String("summary"))
        return summary();
    if (a.command == QLatin1String("add")) {
        add(a.positional.first());
        return -1;
    }
    auto finish = [this](int status) { end(status); };
    if (a.command == QLatin1String("collect"))
        collect(a, finish);
    else if (a.command == QLatin1String("detail"))
        detail(finish);
    else if (a.command == QLatin1String("upload"))
        upload(finish);
    else
        run(a);
    return -1;
}

void Runner::applyPace(const QString &pace)
{
    // Scripted checks of whole runs would wait minutes on the operator's pace; a share of it,
    // never more than the normal pace.
    bool ok = false;
    const double share = pace.toDouble(&ok);
    if (!ok || share <= 0 || share >= 1)
        return;
    auto ms = [share](int normal) { return qMax(1, int(normal * share)); };
    m_session->listStep().setIntervals(ms(200), ms(500));
    m_session->detailStep().setIntervals(ms(100), ms(200));
    m_session->uploadStep().setIntervals(ms(500), ms(1000), ms(1000));
}

QString Runner::lastStatus() const
{
    return m_lastReason.isEmpty() ? m_lastStatus : m_lastStatus + QStringLiteral("（原因：") + m_lastReason + QStringLiteral("）");
}

void Runner::end(int status, const QString &why)
{
    if (m_ended)
        return;
    m_ended = true;
    if (!why.isEmpty())
        err(QStringLiteral("velorix-cli: ") + why);
    record(status);
    emit finished(status);
}

// How the run ended goes into the profile, for the window to show at its next start.
void Runner::record(int status)
{
    if (m_record.command.isEmpty() || !m_hold || !m_session)
        return;
    m_record.ended = QDateTime::currentDateTime();
    m_record.status = status;
    if (const auto c = m_session->db().counts(); c) {
        m_record.listed = c.value.listed;
        m_record.waiting = c.value.collected;
        m_record.uploaded = c.value.uploaded;
        m_record.refused = c.value.refused;
        m_record.abnormal = c.value.abnormal;
        m_record.uploadedNow = m_uploadedBefore >= 0 ? qMax<qint64>(0, c.value.uploaded - m_uploadedBefore) : 0;
    }
    if (const DbStatus s = m_session->db().addRunRecord(m_record); !s)
        err(QStringLiteral("velorix-cli: ") + s.writeFailure(QStringLiteral("运行记录")));
}

void Runner::interrupt()
{
    if (m_interrupted || !m_pause) {
        end(Paused, QStringLiteral("stopped at once"));
        return;
    }
    m_interrupted = true;
    err(QStringLiteral("velorix-cli: pausing: the item in flight is finished first"));
    m_pause();
}

int Runner::settings(const Args &a, const QString &pass)
{
    // Every value is checked before any is kept: a refused one leaves the profile as it was.
    QString server = normaliseOnLeave(a.options.value("--site"));
    QString checkedServer = server;
    const QString shop = normaliseOnLeave(a.options.value("--shop"));
    for (const FieldCheck &c : {checkSiteSettings(a.options.value("--user"), pass, checkedServer),
                                checkPublisherId(a.options.value("--pid")), checkShopAddress(shop),
                                checkShopSid(a.options.value("--shopsid"))})
        if (!c.ok()) {
            m_session->notifier().showmsg(c.message);
            return Usage;
        }
    if (!m_session->saveSiteSettings(a.options.value("--user"), pass, server, m_session->webadminpath()).ok())
        return Failed;
    const struct { const char *option; std::function<FieldCheck()> save; } more[] = {
        {"--pid", [&] { return m_session->savePublisherId(a.options.value("--pid")); }},
        {"--shop", [&] { return m_session->saveShopAddress(shop); }},
        {"--shopsid", [&] { return m_session->saveShopSid(a.options.value("--shopsid")); }},
    };
    for (const auto &m : more)
        if (a.options.contains(QString::fromLatin1(m.option)))
            if (const FieldCheck saved = m.save(); !saved.ok()) {
                err(QStringLiteral("velorix-cli: ") + saved.message);
                return Failed;
            }
    // The password goes on to the keyring, or stays in the profile; the runner ends when that
    // is settled, and says which.
    SitePassword &password = m_session->password();
    connect(&password, &SitePassword::saved, this, [this, &password] {
        ConsoleNotifier::line(password.placeText());
        end(Done);
    });
    return -1;
}

// The operator reads why in Chinese; the database's own words go to the run log.
void Runner::failedRead(const DbStatus &why)
{
    err(QStringLiteral("velorix-cli: ") + why.readFailure());
    m_session->runLog().write(QStringLiteral("状态"), why.readFailure() + QStringLiteral("（") + why.error + QStringLiteral("）"));
}

int Runner::summary()
{
    const auto counts = m_session->db().counts();
    if (!counts) {
        failedRead(counts);
        return Failed;
    }
    const ProfileDb::Counts &c = counts.value;
    const QString rows = QStringLiteral("宝贝总数：%1\n待上传：%2（其中已修改 %3）\n已上传：%4\n上传失败：%5\n状态不正常：%6\n未采集：%7");
    ConsoleNotifier::line(rows.arg(c.listed).arg(c.collected).arg(c.edited).arg(c.uploaded).arg(c.refused).arg(c.abnormal)
                              .arg(c.notCollected));
    return Done;
}

// Any step, run to its end: the pause button pauses it, its outcome decides what comes next.
void Runner::drive(Step &step, const QString &stopped, std::function<void(int)> next, const QString &paused)
{
    m_pause = [this, &step] {
        if (step.running())
            step.pause();
        else
            end(Paused, QStringLiteral("paused before the step began"));
    };
    connect(&step, &Step::ended, this, [this, stopped, next, paused](const StepOutcome &o) {
        switch (o.kind) {
        case StepOutcome::Completed:
            next(Done);
            break;
        case StepOutcome::Paused:
            end(Paused, paused);
            break;
        case StepOutcome::Stopped:
            end(m_failedStep ? m_failedStep : Failed, stopped + lastStatus());
            break;
        }
    });
}

void Runner::collect(const Args &a, std::function<void(int)> next)
{
    if (a.options.contains("--shop")) {
        if (const FieldCheck saved = m_session->saveShopAddress(normaliseOnLeave(a.options.value("--shop"))); !saved.ok()) {
            end(Usage, saved.message);
            return;
        }
    }
    ListStep &step = m_session->listStep();
    drive(step, QStringLiteral("Step 1 stopped: "), std::move(next));
    m_session->shared().userpause = false;
    step.start(a.options.contains("--fresh") ? CollectMode::Fresh : CollectMode::Resume);
}

void Runner::detail(std::function<void(int)> next)
{
    DetailStep &step = m_session->detailStep();
    drive(step, QStringLiteral("Step 2 stopped: "), std::move(next));
    if (!step.running())
        step.click();
}

void Runner::upload(std::function<void(int)> next)
{
    UploadStep &step = m_session->uploadStep();
    // A password still on its way from the keyring: the step starts once it is there, or once
    // the keyring said why it is not.
    if (m_session->password().pending()) {
        connect(&m_session->password(), &SitePassword::known, this, [this, next] { upload(next); },
                Qt::SingleShotConnection);
        return;
    }
    drive(step, QStringLiteral("Step 3 stopped: "), std::move(next));
    step.click();
}

void Runner::run(const Args &a)
{
    // Each step hands over to the next; a failure ends the run with the step's own status.
    m_failedStep = 11;
    collect(a, [this](int) {
        m_failedStep = 12;
        detail([this](int) {
            m_failedStep = 13;
            upload([this](int status) { end(status); });
        });
    });
}

void Runner::add(const QString &url)
{
    ManualAdd &add = m_session->manualAdd();
    drive(add, QStringLiteral("the item was not added: "), [this](int status) { end(status); },
          QStringLiteral("the item was not added: the add was aborted; run the command again"));
    const auto config = m_session->db().loadSettings();
    if (!config) {
        end(Failed, config.readFailure());
        return;
    }
    add.click(url, config.value ? config.value->alimama : QString());
}
