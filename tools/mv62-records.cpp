// mv62-records: reads the station's test records: lists them, shows one, exports them as CSV,
// prints a unit's report as HTML, and rebuilds the records of a station that was killed.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "CommandLine.h"
#include "RecordFiles.h"
#include "SafeText.h"
#include "records/HtmlReport.h"
#include "records/RunFolder.h"
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
                         One recover at a time: a second one waits up to 5 s.

  RUN is a record file, or -N for the N-th newest run in DIR (-1 the newest).

Options:
  --device TEXT          list, csv: only units whose identification contains TEXT
  --since DATE           list, csv: only runs started on DATE (YYYY-MM-DD) or
                         later, or at an ISO 8601 time or later
  --outcome OUTCOME      list, csv: only runs of outcome PASS, FAIL or INCOMPLETE
  -o, --output FILE      csv, html: write to FILE (whole or not at all) instead of
                         standard output
  --help                 this text
  --version              the program's version

Exit codes:
  0  done
  1  bad input, named on standard error one line each: a folder that is missing
     or cannot be read, a file that is not a run record (not a regular file, larger
     than 16 MiB, not JSON) or is one of an unknown schema, a journal cut off in
     the middle of a line (its complete lines are still used), a run that is not
     there, a file that could not be written, another recover running; what could
     be read was still used
  2  usage: an unknown command or option, a missing or bad value
)";

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

struct Command {
    QString name;
    QStringList args;
    QString folder;
    RunFilter filter;
    QString output;
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
                     .arg(QString::number(n), c.folder, QString::number(runs.size())));
        return false;
    }
    found = runs[static_cast<std::size_t>(n - 1)];
    return true;
}

int Run(const Command& c) {
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
            Print(("recovered: " + mv62rec::TerminalText(w) + '\n').toUtf8());
        }
        if (written.isEmpty() && problems.isEmpty()) {
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
    const QStringList withValue = {"--device", "--since", "--outcome", "-o", "--output"};
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
        return Usage("a command is needed: list, show, csv, html or recover");
    }
    Command c;
    c.name = positional.takeFirst();
    const bool needsRun = c.name == "show" || c.name == "html";
    if (!QStringList{"list", "show", "csv", "html", "recover"}.contains(c.name)) {
        return Usage(QString("unknown command \"%1\"").arg(c.name));
    }
    if (needsRun && positional.isEmpty()) {
        return Usage(c.name + " needs a RUN: a record file, or -1 for the newest run");
    }
    const qsizetype most = needsRun ? 2 : 1;
    if (positional.size() > most) {
        return Usage(QString("%1 takes at most %2 argument(s); \"%3\" is one too many")
                         .arg(c.name, QString::number(most), positional[most]));
    }
    c.args = positional;
    c.folder = positional.size() == most ? positional.back() : mv62rec::DefaultRecordsFolder();
    const bool filters = c.name == "list" || c.name == "csv";
    for (const QCommandLineOption* o : {&device, &since, &outcome}) {
        if (parser.isSet(*o) && !filters) {
            return Usage(QString("--%1 is for list and csv").arg(o->names().front()));
        }
    }
    if (parser.isSet(output) && c.name != "csv" && c.name != "html") {
        return Usage("-o is for csv and html");
    }
    c.filter.device = parser.value(device);
    if (parser.isSet(since) && !(c.filter.since = ParseSince(parser.value(since)))) {
        return Usage(QString("bad value \"%1\" for --since: a date such as 2026-12-08 or an ISO "
                             "8601 time")
                         .arg(parser.value(since)));
    }
    if (parser.isSet(outcome) &&
        !(c.filter.outcome = mv62rec::OutcomeNamed(parser.value(outcome), Qt::CaseInsensitive))) {
        return Usage(QString("bad value \"%1\" for --outcome: PASS, FAIL or INCOMPLETE")
                         .arg(parser.value(outcome)));
    }
    c.output = parser.value(output);
    return Run(c);
}
