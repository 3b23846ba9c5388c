#include "StationOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <string>

#include "Comm.h"
#include "SerialErrors.h"

namespace {

void PrintLine(std::FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

std::optional<int> ReadStationOptions(int argc, char** argv, StationOptions& /*options*/) {
    if (argc <= 1) {
        return std::nullopt;
    }
    // The parser and the port check need an application object; the station makes its own.
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("MV62 calibration and test station."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows these options."));
    const QCommandLineOption checkPort(
        QStringLiteral("check-port"),
        QStringLiteral("Opens <port> (COM1 ... COM8) as Start Protocol would, then ends: exit "
                       "code 0 when it opens, else 4 with the reason on standard error."),
        QStringLiteral("port"));
    parser.addOptions({help, checkPort});

    if (!parser.parse(QCoreApplication::arguments())) {
        PrintLine(stderr, parser.errorText() + QStringLiteral(" (try --help)"));
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        PrintLine(stderr,
                  QStringLiteral("The station takes no arguments, only options (try --help)."));
        return kExitUsage;
    }
    if (parser.isSet(checkPort)) {
        return CheckPort(parser.value(checkPort).toLocal8Bit().constData());
    }
    return std::nullopt;
}

int CheckPort(const char* portName) {
    int index = -1;
    for (int n = 1; n <= 8; ++n) {
        if (std::strcmp(portName, ("COM" + std::to_string(n)).c_str()) == 0) {
            index = n - 1;
        }
    }
    if (index < 0) {
        std::fprintf(stderr, "--check-port takes COM1 ... COM8, not '%s'.\n", portName);
        return kExitUsage;
    }
    // The selector indices of COMn and of the first speed, as the window starts with.
    TComm comm(nullptr, index, 0);
    comm.ProcessMessages = [] {};
    comm.SetPortOpen(true);
    if (!comm.PortOpen()) {
        std::fprintf(stderr, "%s\n", SingleLine(comm.OpenErrorText()).c_str());
        return kExitPortUnusable;
    }
    comm.SetPortOpen(false);
    return 0;
}
