#include "records/StatsViews.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace mv62tool {

using namespace mv62rec;

namespace {

QString Shortest(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString ComparisonText(mv62::Comparison c) {
    return QString::fromLatin1(mv62::ComparisonName(c).data());
}

QJsonValue Json(std::optional<double> v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonValue JsonText(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// The figures of a group under the names scripts read.
QJsonObject YieldJson(const YieldFigures& f) {
    return {{"runs", f.runs},
            {"units", f.units},
            {"pass", f.pass},
            {"fail", f.fail},
            {"incomplete", f.incomplete},
            {"first_pass_yield", Json(f.firstPassYield)},
            {"final_yield", Json(f.finalYield)},
            {"retests", f.retests}};
}

// One cell of a table, as text and as the kind of value it holds.
struct Cell {
    QString text;
    bool number = false;
};

Cell Text(const QString& s) {
    return {s, false};
}
Cell Count(int n) {
    return {QString::number(n), true};
}
Cell Exact(std::optional<double> v) {
    return {v ? Shortest(*v) : QString(), true};
}

// The columns and rows of the four tables; each view writes them in its own way.
struct Table {
    QString title;
    QStringList header;
    std::vector<std::vector<Cell>> rows;
};

const QStringList kYieldColumns = {
    "runs", "units", "pass", "fail", "incomplete", "first_pass_yield", "final_yield", "retests"};

std::vector<Cell> YieldCells(const YieldFigures& f, bool forText) {
    const auto share = [&](std::optional<double> v) {
        return forText ? Cell{PercentText(v), true} : Exact(v);
    };
    return {Count(f.runs),       Count(f.units),          Count(f.pass),       Count(f.fail),
            Count(f.incomplete), share(f.firstPassYield), share(f.finalYield), Count(f.retests)};
}

// The report as tables; `forText` chooses readable numbers over exact ones.
std::vector<Table> Tables(const StatsReport& report, bool forText) {
    const auto share = [&](std::optional<double> v) {
        return forText ? Cell{PercentText(v), true} : Exact(v);
    };
    const auto figure = [&](std::optional<double> v) {
        return forText ? Cell{FigureText(v), true} : Exact(v);
    };
    const auto index = [&](std::optional<double> v) {
        return forText ? Cell{IndexText(v), true} : Exact(v);
    };
    const auto exact = [&](std::optional<double> v) {
        return forText ? Cell{ExactText(v), true} : Exact(v);
    };

    Table yield{"Yield per day and station", QStringList{"day", "station"} + kYieldColumns, {}};
    for (const YieldRow& r : report.yield) {
        std::vector<Cell> row = {Text(r.day), Text(r.station)};
        std::ranges::copy(YieldCells(r.figures, forText), std::back_inserter(row));
        yield.rows.push_back(row);
    }
    Table totals{"Totals over the selection", kYieldColumns, {YieldCells(report.totals, forText)}};

    Table pareto{QString("Failure Pareto over %1 FAIL run(s)").arg(report.failRuns),
                 {"measurement", "failed_runs", "share", "cumulative"},
                 {}};
    for (const ParetoRow& p : report.pareto) {
        pareto.rows.push_back(
            {Text(p.measurement), Count(p.failedRuns), share(p.share), share(p.cumulative)});
    }

    Table measurements{"Judged measurements",
                       {"name", "plan_version", "low", "high", "comparison", "n", "mean", "sd",
                        "min", "max", "outside", "cp", "cpk", "cpu", "cpl"},
                       {}};
    for (const MeasurementRow& m : report.measurements) {
        const LimitKey& k = m.key;
        measurements.rows.push_back(
            {Text(k.name), Text(forText && k.planVersion.isEmpty() ? "-" : k.planVersion),
             exact(k.low), exact(k.high), Text(ComparisonText(k.comparison)), Count(m.n),
             figure(m.mean), figure(m.sd), exact(m.min), exact(m.max), share(m.outside),
             index(m.cp), index(m.cpk), index(m.cpu), index(m.cpl)});
    }
    return {yield, totals, pareto, measurements};
}

// RFC 4180 quoting; text a spreadsheet would read as a formula starts with an apostrophe.
QString CsvCell(const Cell& cell) {
    QString text = cell.text;
    static const QString kFormulaStarts = "=+-@\t\r";
    if (!cell.number && !text.isEmpty() && kFormulaStarts.contains(text[0])) {
        text.prepend('\'');
    }
    if (text.contains('"') || text.contains(',') || text.contains('\r') || text.contains('\n')) {
        text = '"' + text.replace('"', "\"\"") + '"';
    }
    return text;
}

QString CsvLine(const std::vector<Cell>& cells) {
    QStringList fields;
    for (const Cell& c : cells) {
        fields << CsvCell(c);
    }
    return fields.join(',') + "\r\n";
}

// Columns padded to their widest cell: text to the left, numbers to the right.
QString AlignedText(const Table& t) {
    std::vector<Cell> header;
    for (const QString& h : t.header) {
        header.push_back(Text(h));
    }
    std::vector<std::vector<Cell>> rows = {header};
    for (const std::vector<Cell>& row : t.rows) {
        std::vector<Cell> shown;
        for (const Cell& c : row) {
            shown.push_back(
                {c.number ? c.text : VisibleText(c.text.isEmpty() ? "-" : c.text), c.number});
        }
        rows.push_back(shown);
    }
    std::vector<qsizetype> width(header.size(), 0);
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
    QJsonArray yield;
    for (const YieldRow& r : report.yield) {
        QJsonObject o = YieldJson(r.figures);
        o["day"] = r.day;
        o["station"] = r.station;
        yield.append(o);
    }
    QJsonArray pareto;
    for (const ParetoRow& p : report.pareto) {
        pareto.append(QJsonObject{{"measurement", p.measurement},
                                  {"failed_runs", p.failedRuns},
                                  {"share", p.share},
                                  {"cumulative", p.cumulative}});
    }
    QJsonArray measurements;
    for (const MeasurementRow& m : report.measurements) {
        measurements.append(QJsonObject{{"name", m.key.name},
                                        {"plan_version", JsonText(m.key.planVersion)},
                                        {"low", Json(m.key.low)},
                                        {"high", Json(m.key.high)},
                                        {"comparison", ComparisonText(m.key.comparison)},
                                        {"n", m.n},
                                        {"mean", m.mean},
                                        {"sd", Json(m.sd)},
                                        {"min", m.min},
                                        {"max", m.max},
                                        {"outside", m.outside},
                                        {"cp", Json(m.cp)},
                                        {"cpk", Json(m.cpk)},
                                        {"cpu", Json(m.cpu)},
                                        {"cpl", Json(m.cpl)}});
    }
    const QJsonObject all{{"yield", yield},
                          {"totals", YieldJson(report.totals)},
                          {"pareto", pareto},
                          {"measurements", measurements}};
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

QByteArray StatsCsv(const StatsReport& report) {
    QStringList tables;
    for (const Table& t : Tables(report, false)) {
        std::vector<Cell> header;
        for (const QString& h : t.header) {
            header.push_back(Text(h));
        }
        QString table = CsvLine(header);
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

QString LimitsText(const LimitKey& key) {
    const QString low = ExactText(key.low);
    const QString high = ExactText(key.high);
    switch (key.comparison) {
        case mv62::Comparison::Exclusive:
            return QString("%1 < x < %2").arg(low, high);
        case mv62::Comparison::Inclusive:
            return QString("%1 \u2264 x \u2264 %2").arg(low, high);
        case mv62::Comparison::AtLeast:
            return QString("x \u2265 %1").arg(low);
        case mv62::Comparison::Equals:
            break;
    }
    return QString("x = %1").arg(low);
}

QString VisibleText(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += QString("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        }
    }
    return out;
}

}  // namespace mv62tool
