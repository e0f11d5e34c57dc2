#include "app/mainwindow.h"
#include "app/messageboxnotifier.h"
#include "session/session.h"
#include "store/profiledb.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velorix"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));

    MessageBoxNotifier notifier;
    Session session(notifier);
    MainWindow window(session);
    notifier.setOwner(&window);
    window.load(ProfileDb::defaultPath());
    window.show();
    return app.exec();
}
