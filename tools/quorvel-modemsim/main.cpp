#include "tools/quorvel-modemsim/ModemSimulator.h"
#include "tools/quorvel-modemsim/SimOptions.h"

#include <QCoreApplication>
#include <cstdio>

using quorvel::modemsim::ModemSimulator;
using quorvel::modemsim::SimOptions;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString error;
    switch (SimOptions::parse(app.arguments().mid(1), &options, &error)) {
    case SimOptions::Status::Help:
        std::fputs(qPrintable(SimOptions::usage()), stdout);
        return 0;
    case SimOptions::Status::Error:
        std::fprintf(stderr, "quorvel-modemsim: %s\n%s", qPrintable(error),
                     qPrintable(SimOptions::usage()));
        return ModemSimulator::ExitUsage;
    case SimOptions::Status::Ok:
        break;
    }
    ModemSimulator simulator(options);
    const int code = simulator.start(&error);
    if (code != ModemSimulator::ExitOk) {
        std::fprintf(stderr, "quorvel-modemsim: %s\n", qPrintable(error));
        return code;
    }
    QObject::connect(&simulator, &ModemSimulator::finished, &app,
                     [&app](int exitCode) { app.exit(exitCode); });
    return app.exec();
}
