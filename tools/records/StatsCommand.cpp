#include "records/StatsCommand.h"

#include <QDate>

#include "records/Dashboard.h"
#include "records/StatsViews.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

const QStringList kFormats = {"text", "csv", "json"};
const QStringList kOwnOptions = {"format", "until", "station", "line", "kind"};

// DATE: the day a record shows; an ISO 8601 time: the instant a run started.
bool ReadBound(const QString& text, std::optional<QString>& day, std::optional<QDateTime>& time) {
    if (QDate::fromString(text, Qt::ISODate).isValid() && text.size() == 10) {
        day = text;
        return true;
    }
    if (const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs); t.isValid()) {
        time = t;
        return true;
    }
    return false;
}

}  // namespace

bool IsStatsCommand(const QString& command) {
    return command == "stats" || command == "dashboard";
}

QList<QCommandLineOption> StatsOptions() {
    return {QCommandLineOption("format", "", "FORMAT"), QCommandLineOption("until", "", "DATE"),
            QCommandLineOption("station", "", "ID"), QCommandLineOption("line", "", "LINE"),
            QCommandLineOption("kind", "", "KIND")};
}

QString ReadStatsOptions(const QString& command, const QCommandLineParser& parser,
                         StatsRequest& request) {
    if (!IsStatsCommand(command)) {
        for (const QString& name : kOwnOptions) {
            if (parser.isSet(name)) {
                return QString("--%1 is for stats and dashboard").arg(name);
            }
        }
        return {};
    }
    if (parser.isSet("outcome")) {
        return "--outcome is for list and csv: the statistics need every outcome";
    }
    if (parser.isSet("format")) {
        if (command != "stats") {
            return "--format is for stats";
        }
        request.format = parser.value("format");
        if (!kFormats.contains(request.format)) {
            return QString("bad value \"%1\" for --format: text, csv or json").arg(request.format);
        }
    }
    RunSelection& s = request.selection;
    for (const char* bound : {"since", "until"}) {
        if (!parser.isSet(bound)) {
            continue;
        }
        const QString value = parser.value(bound);
        const bool since = QLatin1String(bound) == QLatin1String("since");
        if (!ReadBound(value, since ? s.sinceDay : s.untilDay, since ? s.sinceTime : s.untilTime)) {
            return QString(
                       "bad value \"%1\" for --%2: a date such as 2026-12-08 or an ISO 8601 "
                       "time")
                .arg(value, bound);
        }
        request.filters << QString("%1 %2").arg(bound, value);
    }
    if (parser.isSet("kind")) {
        const QString kind = parser.value("kind");
        if (kind != RunKindName(RunKind::AutoTest) && kind != RunKindName(RunKind::Calibration)) {
            return QString("bad value \"%1\" for --kind: auto-test or calibration").arg(kind);
        }
        s.kind = kind == RunKindName(RunKind::AutoTest) ? RunKind::AutoTest : RunKind::Calibration;
        request.filters << "kind " + kind;
    }
    s.station = parser.value("station");
    s.line = parser.value("line");
    s.device = parser.value("device");
    for (const char* name : {"station", "line", "device"}) {
        if (parser.isSet(name)) {
            request.filters << QString("%1 %2").arg(name, parser.value(name));
        }
    }
    return {};
}

bool StatsOutput(const QString& command, const QString& folder, const StatsRequest& request,
                 QByteArray& out, QStringList& problems, QString& error) {
    StatsEngine engine;
    const auto add = [&engine](const RunSample& run) { engine.Add(run); };
    if (!ForEachRunSample(folder, request.selection, add, problems, error)) {
        return false;
    }
    const StatsReport report = engine.Report();
    if (command == "dashboard") {
        const QStringList words = QStringList{folder} + request.filters;
        out = DashboardPage(report, words.join(" \u00b7 "));
    } else if (request.format == "json") {
        out = StatsJson(report);
    } else if (request.format == "csv") {
        out = StatsCsv(report);
    } else {
        out = StatsText(report).toUtf8();
    }
    return true;
}

}  // namespace mv62tool
