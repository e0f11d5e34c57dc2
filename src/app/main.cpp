#include "app/appsetup.h"
#include "app/mainwindow.h"
#include "app/messageboxnotifier.h"
#include "session/session.h"
#include "store/keychainstore.h"
#include "store/profiledb.h"
#include "web/fetch.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    appsetup::setup();

    QCoreApplication::setApplicationVersion(QStringLiteral(VELORIX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velorix: mirrors one marketplace shop onto the operator's site"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("The profile database (default: %1).")
                                    .arg(QDir::toNativeSeparators(ProfileDb::defaultPath())),
                                QStringLiteral("FILE"));
    parser.addOption(db);
    parser.process(app);

    MessageBoxNotifier notifier;
    WebService web;
    Session session(notifier, web);
    KeychainSecretStore keyring;
    if (qEnvironmentVariable("VELORIX_KEYRING") != QLatin1String("none"))
        session.password().setStore(&keyring);
    MainWindow window(session);
    notifier.setOwner(&window);
    window.load(parser.isSet(db) ? parser.value(db) : ProfileDb::defaultPath());
    window.show();
    return app.exec();
}
