#include "records/HtmlReport.h"

#include <QFileInfo>
#include <map>

#include "Journal.h"
#include "RecordVocabulary.h"
#include "ReplyMath.h"
#include "SafeText.h"
#include "SignalColumns.h"
#include "TestPlan.h"
#include "records/TextViews.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

// The raw line is folded away at the end of the page; a stream can make it very long.
constexpr int kMostRawLines = 5000;
constexpr int kLabelRows = 18;  // below the columns: the channel names

QString Rgb(std::uint32_t argb) {
    return QString("#%1").arg(argb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

double Alpha(std::uint32_t argb) {
    return static_cast<double>(argb >> 24) / 255.0;
}

std::optional<int> ChannelValue(const std::map<QString, const Measurement*>& byName, int channel,
                                mv62::Quantity quantity) {
    const auto it = byName.find(QString::fromStdString(mv62::MeasurementName(quantity, channel)));
    if (it == byName.end() || !it->second->value.isDouble()) {
        return std::nullopt;
    }
    return it->second->value.toInt();
}

int Row(int value) {
    return columns::kHeight - columns::kRowsPerUnit * value;
}

// One bar as the window draws it: from the bottom up to the value's row, its number above it.
QString Bar(const char* cls, int left, int value, const QString& fill, const QString& text) {
    const int top = Row(value);
    return QString(
               "<rect class=\"%1\" data-value=\"%2\" x=\"%3\" y=\"%4\" width=\"%5\" "
               "height=\"%6\" fill=\"%7\"/>"
               "<text x=\"%3\" y=\"%8\" fill=\"%9\" font-size=\"11\">%2</text>\n")
        .arg(cls)
        .arg(value)
        .arg(left)
        .arg(top)
        .arg(columns::kBarWidth)
        .arg(columns::kHeight - top)
        .arg(fill)
        .arg(std::max(top - 3, 11))
        .arg(text);
}

// The six optical channels as the station's columns show them after the run's last sensor
// frame: black columns, the peak in a white bar, the corrected value in a blue one (white where
// it equals the peak), the lowest acceptable peak as a green line, and the corrected value's
// target band.
QString ChannelColumns(const RunRecord& run) {
    std::map<QString, const Measurement*> byName;
    for (const Measurement& m : run.measurements) {
        byName[m.name] = &m;
    }
    const int width = columns::kPitch * (mv62::kChannels - 1) + columns::kWidth;
    const int height = columns::kHeight + kLabelRows;
    QString svg = QString(
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"channels\" "
                      "viewBox=\"0 0 %1 %2\" width=\"%1\" height=\"%2\" "
                      "font-family=\"DejaVu Sans, sans-serif\">\n")
                      .arg(width)
                      .arg(height);
    for (int i = 0; i < mv62::kChannels; ++i) {
        const mv62::Limit target = mv62::CalibLimit(i);
        const int minimum = mv62::PeakLimit(i).low;
        svg += QString("<g class=\"channel\" data-channel=\"%1\" transform=\"translate(%2,0)\">\n")
                   .arg(i + 1)
                   .arg(columns::kPitch * i);
        svg += QString(
                   "<rect class=\"column\" x=\"0\" y=\"0\" width=\"%1\" height=\"%2\" "
                   "fill=\"#000000\"/>\n")
                   .arg(columns::kWidth)
                   .arg(columns::kHeight);
        svg += QString(
                   "<rect class=\"target\" x=\"0\" y=\"%1\" width=\"%2\" height=\"%3\" "
                   "fill=\"#ffff00\" fill-opacity=\"0.35\"/>\n")
                   .arg(Row(target.high))
                   .arg(columns::kWidth)
                   .arg(Row(target.low) - Row(target.high));
        const std::optional<int> peak = ChannelValue(byName, i, mv62::Quantity::OpticsPeak);
        const std::optional<int> corrected =
            ChannelValue(byName, i, mv62::Quantity::OpticsCorrected);
        const QString white = Rgb(columns::kPeakBar);
        if (peak) {
            svg += Bar("peak", columns::kPeakBarLeft,
                       static_cast<int>(mv62::LimitToDisplay(static_cast<std::uint32_t>(*peak))),
                       white, white);
        }
        if (corrected) {
            const bool same =
                peak && static_cast<int>(mv62::LimitToDisplay(static_cast<std::uint32_t>(*peak))) ==
                            *corrected;
            svg += Bar("corrected", columns::kCalibBarLeft, *corrected,
                       same ? white : Rgb(columns::kCalibBar), Rgb(columns::kCalibBar));
        }
        const QString green = Rgb(columns::kThresholdLine);
        svg += QString(
                   "<line class=\"minimum\" x1=\"0\" y1=\"%1\" x2=\"%2\" y2=\"%1\" "
                   "stroke=\"%3\" stroke-opacity=\"%4\"/>"
                   "<text x=\"1\" y=\"%5\" fill=\"%6\" font-size=\"11\">%7</text>\n")
                   .arg(Row(minimum))
                   .arg(columns::kWidth)
                   .arg(green)
                   .arg(Alpha(columns::kThresholdLine))
                   .arg(Row(minimum) + 12)
                   .arg(Rgb(columns::kThresholdText))
                   .arg(minimum);
        svg += QString(
                   "<text x=\"%1\" y=\"%2\" text-anchor=\"middle\" font-size=\"12\" "
                   "fill=\"#000000\">C%3</text>\n</g>\n")
                   .arg(columns::kWidth / 2)
                   .arg(height - 4)
                   .arg(i + 1);
    }
    return svg + "</svg>\n";
}

QString FactRow(const char* name, const QString& value) {
    return QString("<tr><th>%1</th><td>%2</td></tr>\n").arg(name, HtmlText(value));
}

QString MeasurementRows(const RunRecord& run) {
    QString rows;
    for (const Measurement& m : run.measurements) {
        const QString verdict = VerdictText(m);
        const QString cls =
            m.passed ? (*m.passed ? "pass" : "fail") : (m.value.isNull() ? "missing" : "shown");
        rows += QString(
                    "<tr class=\"%1\"><td>%2</td><td class=\"num\">%3</td><td>%4</td>"
                    "<td>%5</td><td>%6</td></tr>\n")
                    .arg(cls, HtmlText(m.name),
                         HtmlText(m.value.isNull() ? QString(kNotMeasured) : PlainValue(m)),
                         HtmlText(m.unit), HtmlText(LimitText(m)),
                         verdict.isEmpty() ? QString("&ndash;") : verdict);
    }
    return rows;
}

constexpr char kStyle[] = R"(
@page { size: A4; margin: 14mm 14mm 16mm 14mm; }
* { box-sizing: border-box; }
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 9.5pt;
       color: #000; background: #fff; margin: 0 auto; max-width: 182mm; padding: 4mm 0; }
.banner { padding: 5mm 6mm; font-size: 20pt; font-weight: bold; color: #fff;
          -webkit-print-color-adjust: exact; print-color-adjust: exact; }
.banner small { display: block; font-size: 10pt; font-weight: normal; margin-top: 1mm; }
.banner.pass { background: #1e8e3e; }
.banner.fail { background: #d32f2f; }
.banner.incomplete { background: #f5a300; color: #000; }
.top { display: flex; gap: 8mm; margin-top: 5mm; align-items: flex-start; }
svg.channels { width: 62mm; height: auto; flex: none; }
table { border-collapse: collapse; }
table.facts th { text-align: left; padding: 0.6mm 4mm 0.6mm 0; vertical-align: top;
                 white-space: nowrap; }
table.facts td { padding: 0.6mm 0; word-break: break-all; }
h2 { font-size: 12pt; margin: 6mm 0 2mm 0; }
table.measurements { width: 100%; }
table.measurements th, table.measurements td { border: 0.2mm solid #999; padding: 0.5mm 2mm;
    text-align: left; }
table.measurements td.num { text-align: right; }
tr.pass td:last-child { background: #c8f0c8; }
tr.fail td { background: #ffd6d6; font-weight: bold; }
tr.missing td { color: #777; }
tr { break-inside: avoid; -webkit-print-color-adjust: exact; print-color-adjust: exact; }
details pre { font-size: 7.5pt; white-space: pre-wrap; word-break: break-all; }
@media print {
  body { font-size: 8.5pt; max-width: none; padding: 0; }
  .banner { padding: 3mm 5mm; font-size: 16pt; }
  svg.channels { width: 48mm; }
  .top { margin-top: 3mm; }
  h2 { margin: 3mm 0 1.5mm 0; }
  table.measurements th, table.measurements td { padding: 0.15mm 2mm; }
}
)";

}  // namespace

QStringList RawLine(const FoundRun& r, QString& note) {
    const RunRecord& run = r.run;
    QString path = run.journal;
    if (!QFileInfo::exists(path) && r.onDisk) {
        // The records folder may have moved: the journal lies beside its record.
        path = QFileInfo(r.path).absolutePath() + '/' + QFileInfo(run.journal).fileName();
    }
    if (run.journal.isEmpty() || !QFileInfo(path).isFile()) {
        note = QString("The session journal %1 is not at hand.").arg(run.journal);
        return {};
    }
    JournalReader journal;
    QString error;
    if (!journal.Open(path, error)) {
        note = QString("The session journal %1 cannot be read: %2.").arg(path, error);
        return {};
    }
    // Read as a stream up to the run's last line: the journal's times only grow.
    QStringList lines;
    int more = 0;
    for (QJsonObject e; journal.Next(e);) {
        const QString kind = e[key::Event].toString();
        const qint64 ms = e[key::Ms].toInteger();
        if (ms > run.finishMs) {
            break;
        }
        if ((kind != event::Sent && kind != event::Received) || ms < run.startMs) {
            continue;
        }
        if (lines.size() >= kMostRawLines) {
            ++more;
            continue;
        }
        lines << (QString::number(ms).rightJustified(8) + "  " + kind + "  " +
                  e[key::Bytes].toString() + "  " + e[key::Command].toString())
                     .trimmed();
    }
    note = QString("%1 lines from %2").arg(QString::number(lines.size()), path);
    if (more > 0) {
        note += QString(" (and %1 more there)").arg(more);
    }
    return lines;
}

QByteArray HtmlReport(const FoundRun& r) {
    const RunRecord& run = r.run;
    const StationInfo& s = run.station;
    const QString outcome = OutcomeName(run.outcome);
    QString failedOrStop = run.outcome == Outcome::Incomplete ? StopText(run)
                           : run.Failed().isEmpty()           ? QString("every judged value passed")
                                                    : "failed: " + run.Failed().join(", ");
    QString page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += QString("<title>MV62 %1 %2: %3</title>\n")
                .arg(HtmlText(RunKindName(run.kind)), HtmlText(UnitText(run)), outcome);
    page += QString("<style>%1</style>\n</head>\n<body>\n").arg(kStyle);
    page += QString(
                "<div class=\"banner %1\" id=\"banner\">%2<small>%3 of %4 &middot; %5</small>"
                "</div>\n")
                .arg(outcome.toLower(), outcome, HtmlText(RunKindName(run.kind)),
                     HtmlText(UnitText(run)), HtmlText(failedOrStop));
    page += "<div class=\"top\">\n" + ChannelColumns(run) + "<table class=\"facts\">\n";
    page += FactRow("Serial", run.unitSerial.isEmpty() ? QString("-") : run.unitSerial);
    page += FactRow("Device", DeviceText(run));
    page += FactRow("Kind", RunKindName(run.kind));
    page += FactRow("Outcome", outcome);
    if (run.outcome == Outcome::Incomplete) {
        page += FactRow("Stopped at", run.stoppedAt);
    }
    page += FactRow("Ended by", run.reason);
    page += FactRow("Started", run.started);
    page += FactRow("Finished", run.finished);
    page += FactRow("Station", StationText(s));
    page += FactRow("Host", s.host);
    page += FactRow("Program", s.program + ' ' + s.version);
    page += FactRow("Port",
                    QString("%1 (%2), %3 baud").arg(s.port, s.devicePath, QString::number(s.baud)));
    page += FactRow("CashBox", s.cashBox ? "ticked" : "not ticked");
    page += FactRow("Operator", s.operatorName);
    page += FactRow("Record", QFileInfo(r.path).fileName());
    if (!run.runId.isEmpty()) {
        page += FactRow("Run id", run.runId);
    }
    if (!run.planVersion.isEmpty()) {
        page += FactRow("Test plan", run.planVersion);
    }
    page += "</table>\n</div>\n";
    page +=
        "<h2>Measurements</h2>\n<table class=\"measurements\">\n<thead><tr><th>Name</th>"
        "<th>Value</th><th>Unit</th><th>Limits</th><th>Verdict</th></tr></thead>\n"
        "<tbody>\n" +
        MeasurementRows(run) + "</tbody>\n</table>\n";
    QString note;
    const QStringList raw = RawLine(r, note);
    page += QString("<h2>Raw line</h2>\n<details><summary>%1</summary>\n<pre>").arg(HtmlText(note));
    for (const QString& line : raw) {
        page += HtmlText(line) + '\n';
    }
    page += "</pre></details>\n</body>\n</html>\n";
    return page.toUtf8();
}

}  // namespace mv62tool
