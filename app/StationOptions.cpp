#include "StationOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "Comm.h"
#include "CommandLine.h"
#include "GivenText.h"
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

// A serial or a name given on the command line, checked as the window's prompts check them.
std::optional<QString> GivenOption(const QCommandLineParser& parser,
                                   const QCommandLineOption& option, QString& error) {
    const mv62rec::GivenText given = mv62rec::CheckGivenText(parser.value(option));
    if (!given.Good()) {
        error = "--" + option.names().first() + ": " +
                mv62rec::QuotedForMessage(parser.value(option)) + ' ' + given.problem;
        return std::nullopt;
    }
    return given.text;
}

// `--records` without a folder (last, or followed by another option) records into the user's
// data folder: it is given that folder here, so that the parser sees an option with a value.
// `unnamed` tells whether the last --records was one without a folder.
QStringList WithRecordsFolder(QStringList args, bool& unnamed) {
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--records" && (i + 1 == args.size() || args[i + 1].startsWith('-'))) {
            args[i] = "--records=" + mv62rec::DefaultRecordsFolder();
            unnamed = true;
        } else if (args[i] == "--records" || args[i].startsWith("--records=")) {
            unnamed = false;
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
        "environment variable MV62_RECORDS or the configuration file names a records folder).\n\n"
        "The configuration file is --config <file>, else the user's\n"
        "$XDG_CONFIG_HOME/mv62-station/station.conf (~/.config/mv62-station/station.conf),\n"
        "else mv62-station/station.conf in the system's $XDG_CONFIG_DIRS (/etc/xdg); the first\n"
        "one found is read, and without one nothing changes. Its keys, all optional:\n"
        "  [station]  id=BENCH-07 (the host name when not set), line=L2, location=Hall 3:\n"
        "             texts of 1 to 64 printable characters, named in every record\n"
        "  [records]  folder=/srv/mv62/records (as --records), ask_serial=true (the unit's\n"
        "             serial number before each run), ask_operator=true (the operator when\n"
        "             the window opens); true or false, also yes/no or 1/0\n"
        "  [database] uri=postgresql://user@host/dbname for mv62-records (no password in it:\n"
        "             passwords go in ~/.pgpass or PGPASSFILE)\n"
        "A value that holds a comma or a semicolon goes in double quotes.\n"
        "The command line wins over MV62_RECORDS, which wins over the file. A file with a\n"
        "fault is not used at all: one line names the file, the key and what is wrong, and\n"
        "the station ends with exit code 2 (the window does not open).\n\n"
        "Exit codes of --auto-test: 0 PASS, 1 FAIL, 2 bad option or value, 3 INCOMPLETE (no\n"
        "reply, time-out, port lost), 4 the port cannot be opened, 5 tested, but the record\n"
        "could not be written (the reason on standard error; the outcome is printed).");
    const QCommandLineOption help({"h", "help"}, "Shows these options.");
    const QCommandLineOption version({"v", "version"}, "Shows the version.");
    const QCommandLineOption records(
        "records",
        "Records every link and run into <folder> (also MV62_RECORDS=<folder>). Without a "
        "folder: the configuration file's, else " +
            mv62rec::DefaultRecordsFolder() + ".",
        "folder");
    const QCommandLineOption autoTest(
        "auto-test",
        "Runs the automatic test without a window: Start Protocol, Auto Test, End Protocol; "
        "prints each measurement and the outcome, records into the user's records folder "
        "unless --records, MV62_RECORDS or the configuration file says otherwise.");
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
    const QCommandLineOption config(
        "config", "Reads the station's configuration from <file> instead of the usual places.",
        "file");
    const QCommandLineOption serial(
        "serial",
        "With --auto-test: the serial number of the unit under test, for its record (1 to 64 "
        "printable characters).",
        "text");
    const QCommandLineOption operatorName(
        "operator",
        "The operator the records name, instead of the user logged in (1 to 64 printable "
        "characters).",
        "name");
    const QCommandLineOption askSerial(
        "ask-serial",
        "In a window that records: asks for the unit's serial number (typed, or scanned by a "
        "barcode scanner that ends with Enter) before each Auto Test and CALIBRATION; Escape "
        "withdraws the press. Also ask_serial=true in the configuration file.");
    parser.addOptions({help, version, records, autoTest, port, speed, cashBox, timeout, serial,
                       operatorName, askSerial, config, checkPort});

    bool recordsUnnamed = false;
    if (!parser.parse(WithRecordsFolder(QCoreApplication::arguments(), recordsUnnamed))) {
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
        options.recordsFolderUnnamed = recordsUnnamed;
        if (options.recordsFolder->isEmpty()) {
            return UsageError("--records needs a folder");
        }
    }
    options.autoTest = parser.isSet(autoTest);
    for (const QCommandLineOption* o : {&port, &speed, &cashBox, &timeout, &serial}) {
        if (parser.isSet(*o) && !options.autoTest) {
            return UsageError("--" + o->names().first() + " needs --auto-test");
        }
    }
    if (parser.isSet(askSerial)) {
        if (options.autoTest) {
            return UsageError("--ask-serial is for the window; --auto-test takes --serial");
        }
        options.askSerial = true;
    }
    if (parser.isSet(config)) {
        options.configFile = parser.value(config);
        if (options.configFile->isEmpty()) {
            return UsageError("--config needs a file");
        }
    }
    QString error;
    if (parser.isSet(operatorName)) {
        options.operatorName = GivenOption(parser, operatorName, error);
        if (!options.operatorName) {
            return UsageError(error);
        }
    }
    if (!options.autoTest) {
        return std::nullopt;
    }
    if (parser.isSet(serial)) {
        options.unitSerial = GivenOption(parser, serial, error);
        if (!options.unitSerial) {
            return UsageError(error);
        }
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

std::optional<QString> ApplyStationConfig(StationOptions& options) {
    const QString path = mv62rec::StationConfigPath(options.configFile.value_or(QString()));
    if (!path.isEmpty()) {
        QString error;
        const std::optional<mv62rec::StationConfig> config =
            mv62rec::ReadStationConfig(path, error);
        if (!config) {
            return "mv62-station: " + error;
        }
        options.config = *config;
    }
    // A folder named on the command line or by MV62_RECORDS wins over the file's; --records
    // alone (as the menu entry starts the station) records into the file's.
    if ((!options.recordsFolder || options.recordsFolderUnnamed) && options.config.recordsFolder) {
        options.recordsFolder = options.config.recordsFolder;
    }
    if (!options.recordsFolder && options.autoTest) {
        options.recordsFolder = mv62rec::DefaultRecordsFolder();
    }
    options.askSerial = options.askSerial || options.config.askSerial;
    options.askOperator = options.config.askOperator && !options.operatorName;
    return std::nullopt;
}

mv62rec::StationIdentity StationIdentityOf(const StationOptions& options) {
    mv62rec::StationIdentity identity =
        mv62rec::StationIdentity::OfThisMachine("mv62-station", MV62_VERSION);
    const mv62rec::StationConfig& config = options.config;
    identity.stationId = config.stationId.value_or(identity.host);
    identity.line = config.line.value_or(QString());
    identity.location = config.location.value_or(QString());
    identity.operatorName = options.operatorName.value_or(identity.operatorName);
    return identity;
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
