#include "app/mainwindow.h"
#include "session/session.h"
#include "store/profiledb.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velorix"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));

    Session session;
    MainWindow window(session);
    window.load(ProfileDb::defaultPath());
    window.show();
    return app.exec();
}
