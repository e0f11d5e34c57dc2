#include "sim/simulator.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--version"))) {
        std::printf("velorix-sim %s\n", VELORIX_VERSION);
        return 0;
    }
    SimOptions options;
    quint16 port = 18080;
    QString error;
    if (!Simulator::parseArguments(app.arguments().mid(1), options, port, error)) {
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n\n%s", qPrintable(error), qPrintable(Simulator::usage()));
            return 2;
        }
        std::printf("%s", qPrintable(Simulator::usage()));
        return 0;
    }
    Simulator sim(options);
    if (!sim.listen(port)) {
        std::fprintf(stderr, "velorix-sim: cannot listen on port %u: %s\n", port, qPrintable(sim.errorString()));
        return 1;
    }
    std::printf("velorix-sim listening on 127.0.0.1:%u (shop %s, %d items, %d pages)\n", sim.port(),
                qPrintable(options.shopHost), int(sim.items().size()), sim.pageCount());
    std::fflush(stdout);
    return app.exec();
}
