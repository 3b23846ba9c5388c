// mv62-records: reads the station's test records: lists them, shows one, exports them as CSV,
// prints a unit's report as HTML, rebuilds the records of a station that was killed, gives a
// line's yields and capability as figures and as a dashboard page, keeps the records folder's
// index and sends the records to the line's database. Every reading command answers from the
// folder's index, or from the line's database. Its commands and options are declared in two
// tables, from which the parsing, the checks and --help follow.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "CommandLine.h"
#include "DatabaseUri.h"
#include "HelpText.h"
#include "RecordFiles.h"
#include "RecordVocabulary.h"
#include "SafeText.h"
#include "StationConfig.h"
#include "records/FolderIndex.h"
#include "records/HtmlReport.h"
#include "records/Progress.h"
#include "records/RunFolder.h"
#include "records/RunSource.h"
#include "records/StatsCommand.h"
#include "records/Sync.h"
#include "records/TextViews.h"

using namespace mv62tool;

namespace {

enum Exit { kDone = 0, kBadInput = 1, kUsage = 2 };

void Print(const QByteArray& text, FILE* to = stdout) {
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), to);
}

// One line on standard error; it may quote a file name or a record's text.
void Complain(const QString& line) {
    Print(("mv62-records: " + mv62rec::TerminalText(line) + '\n').toUtf8(), stderr);
}

void Complain(const QStringList& lines) {
    for (const QString& line : lines) {
        Complain(line);
    }
}

int Usage(const QString& line) {
    Complain(line + " (see --help)");
    return kUsage;
}

// Writes to the file given with -o, or to standard output.
bool Output(const QString& file, const QByteArray& data) {
    if (file.isEmpty()) {
        Print(data);
        return true;
    }
    QString error;
    if (!mv62rec::WriteFileWhole(file, data, mv62rec::IfTaken::Replace, error)) {
        Complain(QString("cannot write %1: %2").arg(file, error));
        return false;
    }
    return true;
}

// What a command was given.
struct Command {
    QString name;
    QString run;  // a record file or a run id, or empty with `newest`
    int newest = 0;
    QString folder;
    QString database;  // a line's database instead of the folder (sync: where to send)
    QString config;    // --config
    RunFilter filter;
    int limit = 0;
    bool watch = false;
    QString output;
    StatsRequest stats;
};

// The folder's index brought up to date, or the line's database; false after saying why. Files
// that are not records are named; `damaged` says whether there were any.
bool Open(const Command& c, RunSource& source, bool& damaged) {
    QStringList notes, problems;
    QString error;
    ProgressLine progress("indexing");
    const bool opened =
        OpenRunSource(c.folder, c.database, &progress, source, notes, problems, error);
    progress.Clear();
    Complain(notes);
    if (!opened) {
        Complain(error);
        return false;
    }
    Complain(problems);
    damaged = !problems.isEmpty();
    return true;
}

// RUN: a record file, the N-th newest run, or a run's id.
bool OneRun(const Command& c, FoundRun& found) {
    const bool file = c.newest == 0 &&
                      (QFileInfo::exists(c.run) || c.run.contains('/') || c.run.endsWith(".json"));
    QString error;
    if (file) {
        found.path = c.run;
        if (!mv62rec::LoadRunRecord(found.path, found.run, error)) {
            Complain(QString("%1: %2").arg(found.path, error));
            return false;
        }
        return true;
    }
    RunSource source;
    bool damaged = false;
    if (!Open(c, source, damaged)) {
        return false;
    }
    mv62rec::StoredRun run;
    QByteArray record;
    const bool there = c.newest > 0 ? source.store->NthNewest(c.newest, run, record, error)
                                    : source.store->FindRun(c.run, run, record, error);
    if (!there) {
        qint64 count = 0;
        if (!error.isEmpty()) {
            Complain(error);
        } else if (c.newest == 0) {
            Complain(
                QString("there is no record file or run \"%1\" in %2").arg(c.run, source.Name()));
        } else if (source.store->CountRuns(count, error)) {
            Complain(QString("there is no run -%1 in %2: it holds %3 run record(s)")
                         .arg(QString::number(c.newest), source.Name(), QString::number(count)));
        } else {
            Complain(error);
        }
        return false;
    }
    if (!WholeRun(source, run, record, found, error)) {
        Complain(error);
        return false;
    }
    return true;
}

int Show(const Command& c) {
    FoundRun run;
    if (!OneRun(c, run)) {
        return kBadInput;
    }
    Print(ShowText(run).toUtf8());
    return kDone;
}

int Html(const Command& c) {
    FoundRun run;
    return OneRun(c, run) && Output(c.output, HtmlReport(run)) ? kDone : kBadInput;
}

int Stats(const Command& c) {
    RunSource source;
    bool damaged = false;
    if (!Open(c, source, damaged)) {
        return kBadInput;
    }
    QByteArray out;
    QStringList problems;
    QString error;
    if (!StatsOutput(c.name, source, c.filter, c.stats, out, problems, error)) {
        Complain(error);
        return kBadInput;
    }
    Complain(problems);
    return Output(c.output, out) && problems.isEmpty() && !damaged ? kDone : kBadInput;
}

int Recover(const Command& c) {
    QStringList written, problems;
    QString error;
    if (!RecoverRuns(c.folder, written, problems, error)) {
        Complain(error);
        return kBadInput;
    }
    Complain(problems);
    for (const QString& w : written) {
        Print(("recovered: " + mv62rec::TerminalText(w) + '\n').toUtf8());
    }
    if (written.isEmpty() && problems.isEmpty()) {
        Print("nothing to recover: every run in the journals has its record\n");
    }
    return problems.isEmpty() ? kDone : kBadInput;
}

int List(const Command& c) {
    RunSource source;
    bool damaged = false;
    if (!Open(c, source, damaged)) {
        return kBadInput;
    }
    // Each line as its run comes: `list | head` ends early.
    const auto print = [](const mv62rec::StoredRun& r) {
        Print((ListLine(r) + '\n').toUtf8());
        return true;
    };
    QString error;
    if (!source.store->ForEachRun(c.filter, mv62rec::ResultsStore::Order::NewestFirst, c.limit,
                                  true, print, error)) {
        Complain(error);
        return kBadInput;
    }
    return damaged ? kBadInput : kDone;
}

int Csv(const Command& c) {
    RunSource source;
    bool damaged = false;
    if (!Open(c, source, damaged)) {
        return kBadInput;
    }
    CsvTable table;
    const auto add = [&table](const mv62rec::StoredRun& run,
                              const std::vector<mv62rec::StoredValue>& values) {
        table.Add(run, values);
    };
    QString error;
    if (!source.store->ForEachRunWithValues(c.filter, add, error)) {
        Complain(error);
        return kBadInput;
    }
    if (!Output(c.output, table.Finish())) {
        return kBadInput;
    }
    return damaged ? kBadInput : kDone;
}

int Reindex(const Command& c) {
    FolderIndex index;
    QStringList notes, problems;
    QString error;
    ProgressLine progress("indexing");
    IndexOptions options;
    options.rebuild = true;
    options.progress = &progress;
    const bool opened = OpenFolderIndex(c.folder, options, index, notes, problems, error);
    progress.Clear();
    Complain(notes);
    if (!opened) {
        Complain(error);
        return kBadInput;
    }
    Complain(problems);
    qint64 runs = 0;
    if (!index.store->CountRuns(runs, error)) {
        Complain(error);
        return kBadInput;
    }
    Print(QString("the index of %1 holds %2 run(s)%3\n")
              .arg(mv62rec::TerminalText(c.folder), QString::number(runs),
                   index.inMemory ? " (in memory: not kept)" : "")
              .toUtf8());
    return problems.isEmpty() ? kDone : kBadInput;
}

int Sync(const Command& c) {
    const SyncOptions options{c.folder, c.database, c.watch};
    const auto say = [](const QString& line) { Complain(line); };
    const auto print = [](const QString& line) {
        Print((mv62rec::TerminalText(line) + '\n').toUtf8());
    };
    return SyncFolder(options, say, print);
}

// ---- The command line, declared

enum class Opt {
    Device,
    Serial,
    Station,
    Line,
    Since,
    Until,
    Outcome,
    Kind,
    Newest,
    Limit,
    Format,
    Output,
    Database,
    Config,
    Watch
};

struct OptionEntry {
    Opt id;
    QStringList names;
    const char* value;  // none for a switch
    const char* help;
};

// clang-format off
const OptionEntry kOptions[] = {
    {Opt::Device, {"device"}, "TEXT", "only units whose identification contains TEXT"},
    {Opt::Serial, {"serial"}, "SERIAL", "only the runs of the unit with this serial number"},
    {Opt::Station, {"station"}, "ID", "only runs of the station with this id"},
    {Opt::Line, {"line"}, "LINE", "only runs of the stations of this line"},
    {Opt::Since, {"since"}, "DATE",
     "only runs of DATE (YYYY-MM-DD, the day the record shows) or later, or started at an ISO "
     "8601 time or later"},
    {Opt::Until, {"until"}, "DATE",
     "only runs of DATE or earlier, or started at an ISO 8601 time or earlier"},
    {Opt::Outcome, {"outcome"}, "OUTCOME", "only runs of outcome PASS, FAIL or INCOMPLETE"},
    {Opt::Kind, {"kind"}, "KIND", "only auto-test or only calibration runs"},
    {Opt::Newest, {"newest"}, "N", "the N-th newest run of DIR as RUN; -N for short"},
    {Opt::Limit, {"limit"}, "N", "only the N newest runs"},
    {Opt::Format, {"format"}, "FORMAT", "text (the default), csv or json"},
    {Opt::Output, {"o", "output"}, "FILE",
     "write to FILE (whole or not at all) instead of standard output"},
    {Opt::Database, {"database"}, "URI",
     "the line's database, a PostgreSQL connection URI such as postgresql://user@host/dbname: "
     "read it instead of DIR (sync: send to it; by default the station configuration file's "
     "[database] uri)"},
    {Opt::Config, {"config"}, "FILE",
     "the station configuration file to read (by default the user's, else the system's): its "
     "[records] folder is DIR when none is given, its [database] uri where sync sends"},
    {Opt::Watch, {"watch"}, nullptr,
     "keep running: send each new record within 2 s, wait out a database that cannot be "
     "reached, end at SIGTERM or SIGINT"},
};
// clang-format on

struct CommandEntry {
    const char* name;
    const char* arguments;
    bool takesRun;  // RUN before DIR
    std::vector<Opt> options;
    const char* help;
    int (*action)(const Command&);
};

// Which runs a command reads; the statistics read every outcome.
const std::vector<Opt> kSelection = {Opt::Device, Opt::Serial, Opt::Station, Opt::Line,
                                     Opt::Since,  Opt::Until,  Opt::Kind};
// Where a reading command reads from, besides DIR.
const std::vector<Opt> kSource = {Opt::Database, Opt::Config};

std::vector<Opt> With(std::vector<Opt> options, std::initializer_list<Opt> more) {
    options.insert(options.end(), more);
    return options;
}

// clang-format off
const CommandEntry kCommands[] = {
    {"list", "[DIR]", false, With(kSelection, {Opt::Outcome, Opt::Limit, Opt::Database, Opt::Config}),
     "one line per run, newest first: time, kind, unit serial, device, outcome, station, "
     "operator, the failed measurements (where an INCOMPLETE run stopped)",
     List},
    {"show", "RUN [DIR]", true, With(kSource, {Opt::Newest}),
     "the run's facts and measurement table (name, value, unit, low, high, verdict)",
     Show},
    {"csv", "[DIR]", false, With(kSelection, {Opt::Outcome, Opt::Output, Opt::Database, Opt::Config}),
     "every run as one CSV row, oldest first (RFC 4180, UTF-8): run_id, started, finished, kind, "
     "unit_serial, device, station, line, operator, outcome, stopped_at, then each "
     "measurement's value and verdict",
     Csv},
    {"html", "RUN [DIR]", true, With(kSource, {Opt::Newest, Opt::Output}),
     "the run's printable report: one self-contained HTML page for A4 (no scripts, nothing "
     "fetched)",
     Html},
    {"recover", "[DIR]", false, {Opt::Config},
     "writes the record of every run whose journal is there but whose record is not (a station "
     "that was killed): INCOMPLETE, reason \"recovered\"; existing records are never changed. Run "
     "it while no station records there. One recover at a time: a second one waits up to 5 s.",
     Recover},
    {"stats", "[DIR]", false, With(kSelection, {Opt::Format, Opt::Output, Opt::Database, Opt::Config}),
     "yields per day and station (runs, units, PASS, FAIL, INCOMPLETE, first-pass and final "
     "yield, retests), the failure Pareto, and each judged measurement's n, mean, sd, min, max, "
     "share outside, Cp, Cpk, Cpu, Cpl",
     Stats},
    {"dashboard", "[DIR]", false, With(kSelection, {Opt::Output, Opt::Database, Opt::Config}),
     "the same as one self-contained HTML page for A4 landscape: yield trend, Pareto, a table "
     "per station, histograms and control charts",
     Stats},
    {"reindex", "[DIR]", false, {Opt::Config},
     "makes the folder's index anew from its record files (the index is brought up to date by "
     "every command by itself; this reads every file again)",
     Reindex},
    {"sync", "[DIR]", false, {Opt::Database, Opt::Config, Opt::Watch},
     "sends every run record of DIR that the line's database has not acknowledged, in "
     "transactions, each run once; --watch keeps sending new records as they come",
     Sync},
};
// clang-format on

QString Dashes(const QString& name) {
    return (name.size() == 1 ? "-" : "--") + name;
}

QString OptionNames(const OptionEntry& o) {
    QStringList names;
    for (const QString& n : o.names) {
        names << Dashes(n);
    }
    return names.join(", ") + (o.value != nullptr ? QString(' ') + o.value : QString());
}

// The commands that take an option, as the help names them: "list, csv".
QString TakenBy(Opt id) {
    QStringList names;
    for (const CommandEntry& c : kCommands) {
        if (std::ranges::find(c.options, id) != c.options.end()) {
            names << c.name;
        }
    }
    return names.join(", ");
}

std::string Entry(const QString& names, const QString& text) {
    return HelpEntry(names.toStdString(), text.toStdString());
}

QString HelpText() {
    std::string text =
        "Usage: mv62-records COMMAND [options]\n\n"
        "Reads the run records and session journals the station writes into its records\n"
        "folder (default: the station configuration file's [records] folder, else " +
        mv62rec::DefaultRecordsFolder().toStdString() +
        "),\n"
        "through the folder's index (" +
        mv62rec::kIndexFileName +
        " in it, brought up to date from the files\n"
        "by every command), or reads the line's database (--database URI) that sync fills.\n\n"
        "Commands:\n";
    for (const CommandEntry& c : kCommands) {
        QString usage = QString(c.name) + ' ' + c.arguments;
        for (Opt id : c.options) {
            usage += id == Opt::Output ? " [-o FILE]" : "";
        }
        text += Entry(usage, c.help);
    }
    text +=
        "\n  RUN is a record file, -N for the N-th newest run (-1 the newest), or a run id.\n"
        "  URI is a libpq connection URI: postgresql://[user@][host][:port][/dbname][?param=value\n"
        "  &...], also with ?host=/socket/folder&port=N; never with a password, which libpq\n"
        "  reads from ~/.pgpass or the file PGPASSFILE names.\n\n";
    text += "Options:\n";
    for (const OptionEntry& o : kOptions) {
        text += Entry(OptionNames(o), TakenBy(o.id) + ": " + o.help);
    }
    text += Entry("--help", "this text") + Entry("--version", "the program's version");
    text += R"(
Exit codes:
  0  done
  1  bad input, named on standard error one line each: a folder that is missing
     or cannot be read, a file that is not a run record (not a regular file, larger
     than 16 MiB, not JSON) or is one of an unknown schema, a journal cut off in
     the middle of a line (its complete lines are still used), a run that is not
     there, a file that could not be written, another recover running, a run the
     line's database refused; a database that cannot be reached (a wrong password,
     a server away), is not one of MV62 records or is of a newer schema; what could
     be read was still used
  2  usage: an unknown command or option, a missing or bad value, sync without a
     database, a station configuration file with a fault
)";
    return QString::fromStdString(text);
}

// "-N" names the N-th newest run: it is read as --newest N, unless it is an option's value.
QStringList WithNewestSpelledOut(QStringList args) {
    static const QRegularExpression kNewest("^-([1-9][0-9]{0,8})$");
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QRegularExpressionMatch m = kNewest.match(args[i]);
        const bool value = std::ranges::any_of(kOptions, [&](const OptionEntry& o) {
            return o.value != nullptr && std::ranges::any_of(o.names, [&](const QString& n) {
                       return args[i - 1] == Dashes(n);
                   });
        });
        if (m.hasMatch() && !value && !QFileInfo::exists(args[i])) {
            args[i] = "--newest=" + m.captured(1);
        }
    }
    return args;
}

// Reads the values of the options a command takes into `c`; a usage message when one is bad.
QString TakeOption(Opt id, const QString& value, Command& c) {
    switch (id) {
        case Opt::Device:
            c.filter.device = value;
            break;
        case Opt::Serial:
            c.filter.serial = value;
            break;
        case Opt::Station:
            c.filter.station = value;
            break;
        case Opt::Line:
            c.filter.line = value;
            break;
        case Opt::Since:
        case Opt::Until:
            if (!c.filter.SetBound(id == Opt::Since, value)) {
                return "bad value \"" + value + "\" for --" +
                       (id == Opt::Since ? "since" : "until") +
                       ": a date such as 2026-12-08 or an ISO 8601 time";
            }
            break;
        case Opt::Kind:
            if (value != mv62rec::RunKindName(mv62rec::RunKind::AutoTest) &&
                value != mv62rec::RunKindName(mv62rec::RunKind::Calibration)) {
                return "bad value \"" + value + "\" for --kind: auto-test or calibration";
            }
            c.filter.kind = value == mv62rec::RunKindName(mv62rec::RunKind::AutoTest)
                                ? mv62rec::RunKind::AutoTest
                                : mv62rec::RunKind::Calibration;
            break;
        case Opt::Format:
            if (!QStringList{"text", "csv", "json"}.contains(value)) {
                return "bad value \"" + value + "\" for --format: text, csv or json";
            }
            c.stats.format = value;
            break;
        case Opt::Outcome:
            if (!(c.filter.outcome = mv62rec::OutcomeNamed(value, Qt::CaseInsensitive))) {
                return "bad value \"" + value + "\" for --outcome: PASS, FAIL or INCOMPLETE";
            }
            break;
        case Opt::Newest: {
            bool ok = false;
            c.newest = value.toInt(&ok);
            if (!ok || c.newest < 1) {
                return "bad value \"" + value + "\" for --newest: a whole number from 1";
            }
            break;
        }
        case Opt::Limit: {
            bool ok = false;
            c.limit = value.toInt(&ok);
            if (!ok || c.limit < 1) {
                return "bad value \"" + value + "\" for --limit: a whole number from 1";
            }
            break;
        }
        case Opt::Output:
            c.output = value;
            break;
        case Opt::Database: {
            QString why;
            if (!mv62rec::ParseDatabaseUri(value, why)) {
                return "bad value for --database: " + why;
            }
            c.database = value;
            break;
        }
        case Opt::Config:
            c.config = value;
            break;
        case Opt::Watch:
            c.watch = true;
            break;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("mv62-records");
    QCoreApplication::setApplicationVersion(MV62_VERSION);

    QCommandLineParser parser;
    const QCommandLineOption help("help");
    const QCommandLineOption version("version");
    parser.addOptions({help, version});
    for (const OptionEntry& o : kOptions) {
        parser.addOption(QCommandLineOption(o.names, o.help, o.value));
    }
    if (!parser.parse(WithNewestSpelledOut(QCoreApplication::arguments()))) {
        return Usage(mv62rec::ParseErrorText(parser));
    }
    if (parser.isSet(help)) {
        Print(HelpText().toUtf8());
        return kDone;
    }
    if (parser.isSet(version)) {
        Print("mv62-records " MV62_VERSION "\n");
        return kDone;
    }
    QStringList positional = parser.positionalArguments();
    QStringList names;
    for (const CommandEntry& entry : kCommands) {
        names << entry.name;
    }
    if (positional.isEmpty()) {
        return Usage("a command is needed: " + names.join(", "));
    }
    Command c;
    c.name = positional.takeFirst();
    const auto entry =
        std::ranges::find_if(kCommands, [&](const CommandEntry& s) { return c.name == s.name; });
    if (entry == std::end(kCommands)) {
        return Usage("unknown command \"" + c.name + '"');
    }
    for (const OptionEntry& o : kOptions) {
        if (!parser.isSet(o.names.front())) {
            continue;
        }
        if (std::ranges::find(entry->options, o.id) == entry->options.end()) {
            return Usage(Dashes(o.names.back()) + " is for " + TakenBy(o.id));
        }
        const QString value = parser.value(o.names.front());
        if (const QString bad = TakeOption(o.id, value, c); !bad.isEmpty()) {
            return Usage(bad);
        }
        if (std::ranges::find(kSelection, o.id) != kSelection.end()) {
            c.stats.filters << o.names.front() + ' ' + value;  // the selection in words
        }
    }
    if (entry->takesRun && c.newest == 0) {
        if (positional.isEmpty()) {
            return Usage(c.name + " needs a RUN: a record file, or -1 for the newest run");
        }
        c.run = positional.takeFirst();
    }
    if (positional.size() > 1) {
        return Usage(c.name + " takes " + entry->arguments + "; \"" + positional[1] +
                     "\" is one too many");
    }
    const bool folderGiven = !positional.isEmpty();
    if (folderGiven && !c.database.isEmpty() && c.name != "sync") {
        return Usage(c.name + " reads DIR or --database URI, not both");
    }
    // The station configuration file says where the bench records and where its line's database
    // is; it is read only when it has something to say.
    std::optional<mv62rec::StationConfig> config;
    if (!c.config.isEmpty() || c.name == "sync" || (!folderGiven && c.database.isEmpty())) {
        const QString path = mv62rec::StationConfigPath(c.config);
        QString error;
        if (!path.isEmpty() && !(config = mv62rec::ReadStationConfig(path, error))) {
            Complain(error);
            return kUsage;
        }
    }
    c.folder = folderGiven                       ? positional.front()
               : config && config->recordsFolder ? *config->recordsFolder
                                                 : mv62rec::DefaultRecordsFolder();
    if (c.name == "sync" && c.database.isEmpty()) {
        if (!config || !config->databaseUri) {
            return Usage(
                "sync needs the line's database: --database URI, or uri= in the "
                "[database] group of the station configuration file");
        }
        c.database = *config->databaseUri;
    }
    return entry->action(c);
}
