#include "app/appsetup.h"
#include "app/mainwindow.h"
#include "app/messageboxnotifier.h"
#include "session/session.h"
#include "store/profiledb.h"
#include "web/fetch.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    appsetup::setup();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velorix: mirrors one marketplace shop onto the operator's site"));
    parser.addHelpOption();
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("The profile database (default: db/Profile.db beside the program)."),
                                QStringLiteral("FILE"));
    parser.addOption(db);
    parser.process(app);

    MessageBoxNotifier notifier;
    WebService web;
    Session session(notifier, web);
    MainWindow window(session);
    notifier.setOwner(&window);
    window.load(parser.isSet(db) ? parser.value(db) : ProfileDb::defaultPath());
    window.show();
    return app.exec();
}
