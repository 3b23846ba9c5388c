#include "StationOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "Comm.h"
#include "CommandLine.h"
#include "PortNames.h"
#include "RecordFiles.h"
#include "SerialErrors.h"
#include "Vocabulary.h"

namespace {

void PrintLine(std::FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
}

QString SpeedList(const QString& separator) {
    QStringList speeds;
    for (int baud : mv62::kLineSpeeds) {
        speeds << QString::number(baud);
    }
    return speeds.join(separator);
}

int UsageError(const QString& text) {
    PrintLine(stderr, "mv62-station: " + text + " (try --help)");
    return kExitUsage;
}

// "COM1 ... COM8", the names --port and --check-port take.
QString PortRange() {
    return QString::fromStdString(PortName(0) + " ... " + PortName(kPortCount - 1));
}

// `--records` without a folder (last, or followed by another option) records into the user's
// data folder: it is given that folder here, so that the parser sees an option with a value.
QStringList WithRecordsFolder(QStringList args) {
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--records" && (i + 1 == args.size() || args[i + 1].startsWith('-'))) {
            args[i] = "--records=" + mv62rec::DefaultRecordsFolder();
        }
    }
    return args;
}

}  // namespace

std::optional<int> ReadStationOptions(int argc, char** argv, StationOptions& options) {
    if (const QString folder = qEnvironmentVariable("MV62_RECORDS"); !folder.isEmpty()) {
        options.recordsFolder = folder;
    }
    if (argc <= 1) {
        return std::nullopt;
    }
    // The parser needs an application object; the station makes its own afterwards.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName("mv62-station");
    QCoreApplication::setApplicationVersion(MV62_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "MV62 calibration and test station.\n\n"
        "Without options the window starts as always and nothing is recorded (unless the\n"
        "environment variable MV62_RECORDS names a records folder).\n\n"
        "Exit codes of --auto-test: 0 PASS, 1 FAIL, 2 bad option or value, 3 INCOMPLETE (no\n"
        "reply, time-out, port lost), 4 the port cannot be opened, 5 tested, but the record\n"
        "could not be written (the reason on standard error; the outcome is printed).");
    const QCommandLineOption help({"h", "help"}, "Shows these options.");
    const QCommandLineOption version({"v", "version"}, "Shows the version.");
    const QCommandLineOption records(
        "records",
        "Records every link and run into <folder> (also MV62_RECORDS=<folder>). Without a "
        "folder: " +
            mv62rec::DefaultRecordsFolder() + ".",
        "folder");
    const QCommandLineOption autoTest(
        "auto-test",
        "Runs the automatic test without a window: Start Protocol, Auto Test, End Protocol; "
        "prints each measurement and the outcome, records into the user's records folder "
        "unless --records says otherwise.");
    const QCommandLineOption port("port",
                                  "With --auto-test: the port, " + PortRange() + " (" +
                                      QString::fromStdString(PortName(0)) + ").",
                                  "port");
    const QCommandLineOption speed(
        "speed", "With --auto-test: the line speed, " + SpeedList(" ") + " (9600).", "baud");
    const QCommandLineOption cashBox("cashbox", "With --auto-test: CashBox ticked.");
    const QCommandLineOption timeout(
        "timeout", "With --auto-test: gives up a run after <seconds> (120).", "seconds");
    const QCommandLineOption checkPort(
        "check-port",
        "Opens <port> (" + PortRange() +
            ") as Start Protocol would, then ends: exit code 0 when it "
            "opens, else 4 with the reason on standard error.",
        "port");
    parser.addOptions({help, version, records, autoTest, port, speed, cashBox, timeout, checkPort});

    if (!parser.parse(WithRecordsFolder(QCoreApplication::arguments()))) {
        return UsageError(mv62rec::ParseErrorText(parser));
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return kExitPass;
    }
    if (parser.isSet(version)) {
        PrintLine(stdout, QString("mv62-station %1").arg(MV62_VERSION));
        return kExitPass;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError("unexpected argument '" + parser.positionalArguments().first() +
                          "': the station takes options only");
    }
    if (parser.isSet(checkPort)) {
        return CheckPort(parser.value(checkPort));
    }
    if (parser.isSet(records)) {
        options.recordsFolder = parser.value(records);
        if (options.recordsFolder->isEmpty()) {
            return UsageError("--records needs a folder");
        }
    }
    options.autoTest = parser.isSet(autoTest);
    for (const QCommandLineOption* o : {&port, &speed, &cashBox, &timeout}) {
        if (parser.isSet(*o) && !options.autoTest) {
            return UsageError("--" + o->names().first() + " needs --auto-test");
        }
    }
    if (!options.autoTest) {
        return std::nullopt;
    }
    if (!options.recordsFolder) {
        options.recordsFolder = mv62rec::DefaultRecordsFolder();
    }
    if (parser.isSet(port)) {
        options.portIndex = PortIndex(parser.value(port).toStdString());
        if (options.portIndex < 0) {
            return UsageError("--port takes " + PortRange() + ", not '" + parser.value(port) + "'");
        }
    }
    if (parser.isSet(speed)) {
        options.speedIndex = -1;
        for (std::size_t i = 0; i < mv62::kLineSpeeds.size(); ++i) {
            if (parser.value(speed) == QString::number(mv62::kLineSpeeds[i])) {
                options.speedIndex = static_cast<int>(i);
            }
        }
        if (options.speedIndex < 0) {
            return UsageError("--speed takes one of " + SpeedList(", ") + ", not '" +
                              parser.value(speed) + "'");
        }
    }
    options.cashBox = parser.isSet(cashBox);
    if (parser.isSet(timeout)) {
        bool ok = false;
        options.timeoutSeconds = parser.value(timeout).toDouble(&ok);
        if (!ok || options.timeoutSeconds <= 0 || options.timeoutSeconds > 86400) {
            return UsageError("--timeout takes a number of seconds above 0 (at most 86400), not '" +
                              parser.value(timeout) + "'");
        }
    }
    return std::nullopt;
}

int CheckPort(const QString& portName) {
    const int index = PortIndex(portName.toStdString());
    if (index < 0) {
        return UsageError("--check-port takes " + PortRange() + ", not '" + portName + "'");
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
    return kExitPass;
}
