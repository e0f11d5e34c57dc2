#include "cli/runner.h"
#include "store/keychainstore.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// A signal handler may do next to nothing: it hands the signal to the event loop.
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velorix"));
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));

    QCoreApplication::setApplicationVersion(QStringLiteral(VELORIX_VERSION));

    Runner runner;
    KeychainSecretStore keyring;
    if (qEnvironmentVariable("VELORIX_KEYRING") != QLatin1String("none"))
        runner.setSecretStore(&keyring);
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &runner, [&runner] {
            char c;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
            runner.interrupt();
        });
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
    }
    // Queued: a command may end inside start(), before the event loop runs.
    QObject::connect(&runner, &Runner::finished, &app, [](int status) { QCoreApplication::exit(status); },
                     Qt::QueuedConnection);
    const int immediate = runner.start(app.arguments().mid(1));
    if (immediate >= 0)
        return immediate;
    return app.exec();
}
