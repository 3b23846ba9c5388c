// mv62-records: reads the station's test records: lists them, shows one, exports them as CSV,
// prints a unit's report as HTML, rebuilds the records of a station that was killed, and gives
// a line's yields and capability as figures and as a dashboard page.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "CommandLine.h"
#include "RecordFiles.h"
#include "records/HtmlReport.h"
#include "records/RunFolder.h"
#include "records/StatsCommand.h"
#include "records/TextViews.h"

using namespace mv62tool;

namespace {

enum Exit { kDone = 0, kBadInput = 1, kUsage = 2 };

constexpr char kHelp[] = R"(Usage: mv62-records COMMAND [options]

Reads the run records and session journals the station writes into its records
folder (default: %1).

Commands:
  list [DIR]             one line per run, newest first: time, kind, device,
                         outcome, the failed measurements (where an INCOMPLETE
                         run stopped)
  show RUN [DIR]         the run's facts and measurement table (name, value,
                         unit, low, high, verdict)
  csv [DIR] [-o FILE]    every run as one CSV row, oldest first (RFC 4180,
                         UTF-8): started, finished, kind, device, station,
                         operator, outcome, stopped_at, then each measurement's
                         value and verdict
  html RUN [DIR] [-o FILE]
                         the run's printable report: one self-contained HTML
                         page for A4 (no scripts, nothing fetched)
  recover [DIR]          writes the record of every run whose journal is there
                         but whose record is not (a station that was killed):
                         INCOMPLETE, reason "recovered"; existing records are
                         never changed. Run it while no station records there.
  stats [DIR] [--format text|csv|json]
                         yields per day and station (runs, units, PASS, FAIL,
                         INCOMPLETE, first-pass and final yield, retests), the
                         failure Pareto, and each judged measurement's n, mean,
                         sd, min, max, share outside, Cp, Cpk, Cpu, Cpl
  dashboard [DIR] [-o FILE]
                         the same as one self-contained HTML page for A4
                         landscape: yield trend, Pareto, a table per station,
                         histograms and control charts

  RUN is a record file, or -N for the N-th newest run in DIR (-1 the newest).

Options:
  --device TEXT          list, csv, stats, dashboard: only units whose
                         identification contains TEXT
  --since DATE           list, csv: only runs started on DATE (YYYY-MM-DD) or
                         later, or at an ISO 8601 time or later; stats,
                         dashboard: on the day the record shows or later
  --until DATE           stats, dashboard: only runs of DATE or earlier, or
                         started at an ISO 8601 time or earlier
  --station ID           stats, dashboard: only runs of station ID
  --line LINE            stats, dashboard: only runs of line LINE
  --kind KIND            stats, dashboard: only auto-test or calibration runs
  --format FORMAT        stats: text (the default), csv or json
  --outcome OUTCOME      list, csv: only runs of outcome PASS, FAIL or INCOMPLETE
  -o, --output FILE      csv, html, stats, dashboard: write to FILE (whole or
                         not at all) instead of standard output
  --help                 this text
  --version              the program's version

Exit codes:
  0  done
  1  bad input, named on standard error one line each: a folder that is missing,
     a file that is not a run record or is one of an unknown schema, a journal cut
     off in the middle of a line (its complete lines are still used), a run that
     is not there, a run id met a second time (stats, dashboard: counted once);
     what could be read was still used
  2  usage: an unknown command or option, a missing or bad value
)";

void Print(const QByteArray& text, FILE* to = stdout) {
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), to);
}

void Complain(const QString& line) {
    Print(("mv62-records: " + line + '\n').toUtf8(), stderr);
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
    QSaveFile out(file);
    QString error;
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() ||
        !mv62rec::CommitAtomically(out, error)) {
        Complain(
            QString("cannot write %1: %2").arg(file, error.isEmpty() ? out.errorString() : error));
        return false;
    }
    return true;
}

struct Command {
    QString name;
    QStringList args;
    QString folder;
    RunFilter filter;
    QString output;
    StatsRequest stats;
};

// The runs of the folder, or false after saying why; unreadable records are named and counted.
bool Runs(const Command& c, std::vector<FoundRun>& runs, bool& damaged) {
    QStringList problems;
    QString error;
    if (!FindRuns(c.folder, runs, problems, error)) {
        Complain(error);
        return false;
    }
    Complain(problems);
    damaged = !problems.isEmpty();
    return true;
}

// RUN: a record file, or the N-th newest run of the folder.
bool OneRun(const Command& c, FoundRun& found) {
    int n = 0;
    if (!IsNewestIndex(c.args[0], n)) {
        found.path = c.args[0];
        QString error;
        if (!mv62rec::LoadRunRecord(found.path, found.run, error)) {
            Complain(QString("%1: %2").arg(found.path, error));
            return false;
        }
        return true;
    }
    std::vector<FoundRun> runs;
    bool damaged = false;
    if (!Runs(c, runs, damaged)) {
        return false;
    }
    if (n > static_cast<int>(runs.size())) {
        Complain(QString("there is no run -%1 in %2: it holds %3 run record(s)")
                     .arg(n)
                     .arg(c.folder)
                     .arg(runs.size()));
        return false;
    }
    found = runs[static_cast<std::size_t>(n - 1)];
    return true;
}

int Run(const Command& c) {
    if (IsStatsCommand(c.name)) {
        QByteArray out;
        QStringList problems;
        QString error;
        if (!StatsOutput(c.name, c.folder, c.stats, out, problems, error)) {
            Complain(error);
            return kBadInput;
        }
        Complain(problems);
        return Output(c.output, out) && problems.isEmpty() ? kDone : kBadInput;
    }
    if (c.name == "show" || c.name == "html") {
        FoundRun run;
        if (!OneRun(c, run)) {
            return kBadInput;
        }
        if (c.name == "show") {
            Print(ShowText(run).toUtf8());
            return kDone;
        }
        return Output(c.output, HtmlReport(run)) ? kDone : kBadInput;
    }
    if (c.name == "recover") {
        QStringList written, problems;
        QString error;
        if (!RecoverRuns(c.folder, written, problems, error)) {
            Complain(error);
            return kBadInput;
        }
        Complain(problems);
        for (const QString& w : written) {
            Print(("recovered: " + w + '\n').toUtf8());
        }
        if (written.isEmpty()) {
            Print("nothing to recover: every run in the journals has its record\n");
        }
        return problems.isEmpty() ? kDone : kBadInput;
    }
    std::vector<FoundRun> runs;
    bool damaged = false;
    if (!Runs(c, runs, damaged)) {
        return kBadInput;
    }
    std::vector<const FoundRun*> chosen;
    for (const FoundRun& r : runs) {
        if (c.filter.Accepts(r)) {
            chosen.push_back(&r);
        }
    }
    if (c.name == "list") {
        for (const FoundRun* r : chosen) {
            Print((ListLine(*r) + '\n').toUtf8());
        }
    } else if (!Output(c.output, CsvTable({chosen.rbegin(), chosen.rend()}))) {
        return kBadInput;
    }
    return damaged ? kBadInput : kDone;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("mv62-records");
    QCoreApplication::setApplicationVersion(MV62_VERSION);

    QStringList args = QCoreApplication::arguments();
    // -N names a run, not an option: it is handed past the parser.
    QStringList newest;
    QStringList withValue = {"--device", "--since", "--outcome", "-o", "--output"};
    for (const QCommandLineOption& o : StatsOptions()) {
        withValue << "--" + o.names().front();
    }
    for (qsizetype i = 1; i < args.size(); ++i) {
        int n = 0;
        if (IsNewestIndex(args[i], n) && !withValue.contains(args[i - 1])) {
            newest << args[i];
            args[i] = QString("\x01%1").arg(newest.size() - 1);
        }
    }

    QCommandLineParser parser;
    const QCommandLineOption help("help");
    const QCommandLineOption version("version");
    const QCommandLineOption device("device", "", "TEXT");
    const QCommandLineOption since("since", "", "DATE");
    const QCommandLineOption outcome("outcome", "", "OUTCOME");
    const QCommandLineOption output({"o", "output"}, "", "FILE");
    parser.addOptions({help, version, device, since, outcome, output});
    parser.addOptions(StatsOptions());
    if (!parser.parse(args)) {
        return Usage(mv62rec::ParseErrorText(parser));
    }
    if (parser.isSet(help)) {
        Print(QString(kHelp).arg(mv62rec::DefaultRecordsFolder()).toUtf8());
        return kDone;
    }
    if (parser.isSet(version)) {
        Print("mv62-records " MV62_VERSION "\n");
        return kDone;
    }
    QStringList positional = parser.positionalArguments();
    for (QString& p : positional) {
        if (p.startsWith('\x01')) {
            p = newest[p.mid(1).toInt()];
        }
    }
    if (positional.isEmpty()) {
        return Usage("a command is needed: list, show, csv, html, recover, stats or dashboard");
    }
    Command c;
    c.name = positional.takeFirst();
    const bool needsRun = c.name == "show" || c.name == "html";
    if (!QStringList{"list", "show", "csv", "html", "recover"}.contains(c.name) &&
        !IsStatsCommand(c.name)) {
        return Usage(QString("unknown command \"%1\"").arg(c.name));
    }
    if (needsRun && positional.isEmpty()) {
        return Usage(c.name + " needs a RUN: a record file, or -1 for the newest run");
    }
    const qsizetype most = needsRun ? 2 : 1;
    if (positional.size() > most) {
        return Usage(QString("%1 takes at most %2 argument(s); \"%3\" is one too many")
                         .arg(c.name)
                         .arg(most)
                         .arg(positional[most]));
    }
    c.args = positional;
    c.folder = positional.size() == most ? positional.back() : mv62rec::DefaultRecordsFolder();
    const bool filters = c.name == "list" || c.name == "csv";
    for (const QCommandLineOption* o : {&device, &since, &outcome}) {
        if (parser.isSet(*o) && !filters && !IsStatsCommand(c.name)) {
            return Usage(QString("--%1 is for list and csv").arg(o->names().front()));
        }
    }
    if (parser.isSet(output) && c.name != "csv" && c.name != "html" && !IsStatsCommand(c.name)) {
        return Usage("-o is for csv, html, stats and dashboard");
    }
    if (const QString misuse = ReadStatsOptions(c.name, parser, c.stats); !misuse.isEmpty()) {
        return Usage(misuse);
    }
    c.filter.device = parser.value(device);
    if (parser.isSet(since) && !(c.filter.since = ParseSince(parser.value(since)))) {
        return Usage(QString("bad value \"%1\" for --since: a date such as 2026-12-08 or an ISO "
                             "8601 time")
                         .arg(parser.value(since)));
    }
    if (parser.isSet(outcome) && !(c.filter.outcome = ParseOutcome(parser.value(outcome)))) {
        return Usage(QString("bad value \"%1\" for --outcome: PASS, FAIL or INCOMPLETE")
                         .arg(parser.value(outcome)));
    }
    c.output = parser.value(output);
    return Run(c);
}
