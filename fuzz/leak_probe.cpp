// Leaks on purpose, from a slot the Qt event loop calls, the way a forgotten delete in our code
// would leak. The sanitized suite expects LeakSanitizer to name leakOnPurpose: if the leak
// suppressions ever hide it, they hide our own leaks too.
#include <QCoreApplication>
#include <QTimer>

struct Forgotten {
    char payload[96];
};

Forgotten *volatile g_last = nullptr;

__attribute__((noinline)) void leakOnPurpose()
{
    for (int i = 0; i < 4; ++i) {
        g_last = new Forgotten{};
        g_last->payload[0] = char(i);
    }
    g_last = nullptr;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTimer::singleShot(0, &app, [] {
        leakOnPurpose();
        QCoreApplication::quit();
    });
    return app.exec();
}
