#include "records/StatsViews.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "RecordVocabulary.h"
#include "SafeText.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

QString Shortest(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString ComparisonText(mv62::Comparison c) {
    return QString::fromLatin1(mv62::ComparisonName(c).data());
}

// One cell of a table: its value for JSON (a number, a text, or null where a figure does not
// apply) and its text for CSV and for the terminal.
struct Cell {
    QJsonValue value;
    QString text;
    bool number = false;
};

Cell Text(const QString& s, bool forText) {
    const QString shown = forText && s.isEmpty() ? QString("-") : s;
    return {s.isEmpty() ? QJsonValue() : QJsonValue(s), shown, false};
}
Cell Count(int n) {
    return {n, QString::number(n), true};
}
// A figure: exact in CSV and JSON; for the terminal in the words `readable` gives.
Cell Figure(std::optional<double> v, bool forText, QString (*readable)(std::optional<double>)) {
    return {v ? QJsonValue(*v) : QJsonValue(),
            forText ? readable(v) : (v ? Shortest(*v) : QString()), true};
}

// The report's four tables, each under the name scripts read it by (JSON) and a title (text):
// every column name is written here once, and each view writes the tables in its own way.
struct Table {
    const char* key;
    QString title;
    QStringList header;
    std::vector<std::vector<Cell>> rows;
};

const QStringList kYieldColumns = {
    "runs", "units", "pass", "fail", "incomplete", "first_pass_yield", "final_yield", "retests"};

std::vector<Cell> YieldCells(const YieldFigures& f, bool forText) {
    return {Count(f.runs),
            Count(f.units),
            Count(f.pass),
            Count(f.fail),
            Count(f.incomplete),
            Figure(f.firstPassYield, forText, PercentText),
            Figure(f.finalYield, forText, PercentText),
            Count(f.retests)};
}

// The report as tables; `forText` chooses readable numbers over exact ones.
std::vector<Table> Tables(const StatsReport& report, bool forText) {
    Table yield{
        "yield", "Yield per day and station", QStringList{"day", key::Station} + kYieldColumns, {}};
    for (const YieldRow& r : report.yield) {
        std::vector<Cell> row = {Text(r.day, forText), Text(r.station, forText)};
        std::ranges::copy(YieldCells(r.figures, forText), std::back_inserter(row));
        yield.rows.push_back(row);
    }
    Table totals{
        "totals", "Totals over the selection", kYieldColumns, {YieldCells(report.totals, forText)}};

    Table pareto{"pareto",
                 QString("Failure Pareto over %1 FAIL run(s)").arg(report.failRuns),
                 {"measurement", "failed_runs", "share", "cumulative"},
                 {}};
    for (const ParetoRow& p : report.pareto) {
        pareto.rows.push_back({Text(p.measurement, forText), Count(p.failedRuns),
                               Figure(p.share, forText, PercentText),
                               Figure(p.cumulative, forText, PercentText)});
    }

    Table measurements{"measurements",
                       "Judged measurements",
                       {key::Name, key::PlanVersion, key::Low, key::High, key::Comparison, "n",
                        "mean", "sd", "min", "max", "outside", "cp", "cpk", "cpu", "cpl"},
                       {}};
    for (const MeasurementRow& m : report.measurements) {
        const LimitKey& k = m.key;
        measurements.rows.push_back(
            {Text(k.name, forText), Text(k.planVersion, forText), Figure(k.low, forText, ExactText),
             Figure(k.high, forText, ExactText), Text(ComparisonText(k.comparison), forText),
             Count(m.n), Figure(m.mean, forText, FigureText), Figure(m.sd, forText, FigureText),
             Figure(m.min, forText, ExactText), Figure(m.max, forText, ExactText),
             Figure(m.outside, forText, PercentText), Figure(m.cp, forText, IndexText),
             Figure(m.cpk, forText, IndexText), Figure(m.cpu, forText, IndexText),
             Figure(m.cpl, forText, IndexText)});
    }
    return {yield, totals, pareto, measurements};
}

QJsonObject RowJson(const Table& t, const std::vector<Cell>& row) {
    QJsonObject o;
    for (qsizetype i = 0; i < t.header.size(); ++i) {
        o[t.header[i]] = row[static_cast<std::size_t>(i)].value;
    }
    return o;
}

QString CsvLine(const std::vector<Cell>& cells) {
    QStringList fields;
    for (const Cell& c : cells) {
        fields << CsvField(c.text);
    }
    return fields.join(',') + "\r\n";
}

std::vector<Cell> HeaderCells(const Table& t) {
    std::vector<Cell> header;
    for (const QString& h : t.header) {
        header.push_back(Text(h, false));
    }
    return header;
}

// Columns padded to their widest cell: text to the left, numbers to the right.
QString AlignedText(const Table& t) {
    std::vector<std::vector<Cell>> rows = {HeaderCells(t)};
    for (const std::vector<Cell>& row : t.rows) {
        std::vector<Cell> shown;
        for (const Cell& c : row) {
            shown.push_back({c.value, c.number ? c.text : TerminalText(c.text), c.number});
        }
        rows.push_back(shown);
    }
    std::vector<qsizetype> width(t.header.size(), 0);
    for (const std::vector<Cell>& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            width[i] = std::max(width[i], row[i].text.size());
        }
    }
    QString out = t.title + '\n';
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QString line;
        for (std::size_t i = 0; i < rows[r].size(); ++i) {
            const Cell& c = rows[r][i];
            // Headers stand over their column as its cells do.
            const bool right = r == 0 ? rows.size() > 1 && rows[1][i].number : c.number;
            line +=
                (right ? c.text.rightJustified(width[i]) : c.text.leftJustified(width[i])) + "  ";
        }
        out += line.trimmed() + '\n';
    }
    return out;
}

}  // namespace

QByteArray StatsJson(const StatsReport& report) {
    QJsonObject all;
    for (const Table& t : Tables(report, false)) {
        if (t.rows.size() == 1 && QLatin1String(t.key) == QLatin1String("totals")) {
            all[t.key] = RowJson(t, t.rows.front());
            continue;
        }
        QJsonArray rows;
        for (const std::vector<Cell>& row : t.rows) {
            rows.append(RowJson(t, row));
        }
        all[t.key] = rows;
    }
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

QByteArray StatsCsv(const StatsReport& report) {
    QStringList tables;
    for (const Table& t : Tables(report, false)) {
        QString table = CsvLine(HeaderCells(t));
        for (const std::vector<Cell>& row : t.rows) {
            table += CsvLine(row);
        }
        tables << table;
    }
    return tables.join("\r\n").toUtf8();
}

QString StatsText(const StatsReport& report) {
    QStringList tables;
    for (const Table& t : Tables(report, true)) {
        tables << AlignedText(t);
    }
    return tables.join('\n');
}

QString PercentText(std::optional<double> fraction) {
    return fraction ? QString::number(*fraction * 100, 'f', 2) + '%' : QString("-");
}

QString FigureText(std::optional<double> v) {
    return v ? QString::number(*v, 'g', 6) : QString("-");
}

QString IndexText(std::optional<double> v) {
    return v ? QString::number(*v, 'f', 3) : QString("-");
}

QString ExactText(std::optional<double> v) {
    return v ? Shortest(*v) : QString("-");
}

}  // namespace mv62tool
