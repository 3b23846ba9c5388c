#include "records/Dashboard.h"

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

#include "MeasurementText.h"
#include "RecordVocabulary.h"
#include "SafeText.h"
#include "records/StatsViews.h"

namespace mv62tool {

using namespace mv62rec;

namespace {

constexpr int kRunLength = 8;        // points on one side of the mean that make a signal
constexpr int kMostPoints = 200;     // a control chart draws single points up to this many
constexpr int kMostDayPoints = 200;  // the trend marks single days up to this many
constexpr int kMostParetoBars = 12;  // the Pareto draws the largest this many
constexpr int kMostHistogramBins = 40;

constexpr char kFpyColour[] = "#1f5fbf";
constexpr char kFinalColour[] = "#1e8e3e";
constexpr char kLimitColour[] = "#d32f2f";
constexpr char kSignalColour[] = "#f57c00";

QString Esc(const QString& text) {
    return text.toHtmlEscaped();
}

// An attribute with its value escaped, and a space before it. Control characters are written
// as the text views show them ("\x1b"): a page has no sound way to carry them.
QString Attr(const char* name, const QString& value) {
    return QString(" %1=\"%2\"").arg(QLatin1String(name), TerminalText(value).toHtmlEscaped());
}

// A coordinate in a chart: one decimal is finer than a printed dot.
QString At(double v) {
    return QString::number(v, 'f', 1);
}

// A figure for a script: every digit, empty where it does not apply.
QString Data(std::optional<double> v) {
    return v ? QString::number(*v, 'g', QLocale::FloatingPointShortest) : QString();
}

// The figures of a group for a script.
QString YieldData(const YieldFigures& f) {
    return Attr("data-runs", QString::number(f.runs)) +
           Attr("data-units", QString::number(f.units)) +
           Attr("data-pass", QString::number(f.pass)) + Attr("data-fail", QString::number(f.fail)) +
           Attr("data-incomplete", QString::number(f.incomplete)) +
           Attr("data-first-pass-yield", Data(f.firstPassYield)) +
           Attr("data-final-yield", Data(f.finalYield)) +
           Attr("data-retests", QString::number(f.retests));
}

// A linear map from values onto one axis of a chart.
struct Scale {
    double lo, hi, from, to;
    double operator()(double v) const {
        return hi == lo ? (from + to) / 2 : from + (v - lo) * (to - from) / (hi - lo);
    }
};

// Round tick values in [lo, hi], about `count` of them: steps of 1, 2 or 5 times a power of 10.
std::vector<double> Ticks(double lo, double hi, int count) {
    if (!(hi > lo)) {
        return {lo};
    }
    const double raw = (hi - lo) / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * magnitude;
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw) {
            step = m * magnitude;
            break;
        }
    }
    std::vector<double> ticks;
    for (double i = std::ceil(lo / step); i * step <= hi + step * 1e-9; ++i) {
        ticks.push_back(i * step);
    }
    return ticks;
}

// Charts are drawn at about the size they are shown: a unit of the view box is a CSS pixel.
QString SvgOpen(const char* cls, int width, int height, int fontSize = 9) {
    return QString(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"%1\" viewBox=\"0 0 %2 %3\" "
               "font-family=\"DejaVu Sans, sans-serif\" font-size=\"%4\">\n")
        .arg(cls)
        .arg(width)
        .arg(height)
        .arg(fontSize);
}

QString Line(const char* cls, double x1, double y1, double x2, double y2, const QString& stroke,
             const char* extra = "") {
    return QString("<line class=\"%1\" x1=\"%2\" y1=\"%3\" x2=\"%4\" y2=\"%5\" stroke=\"%6\"%7/>\n")
        .arg(cls, At(x1), At(y1), At(x2), At(y2), stroke, extra);
}

QString Label(double x, double y, const QString& text, const char* anchor = "start",
              const char* fill = "#333") {
    return QString("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\" fill=\"%4\">%5</text>\n")
        .arg(At(x), At(y), anchor, fill, text);
}

QString Polyline(const char* cls, const std::vector<std::pair<double, double>>& points,
                 const QString& stroke) {
    if (points.empty()) {
        return {};
    }
    QString list;
    for (const auto& [x, y] : points) {
        list += At(x) + ',' + At(y) + ' ';
    }
    return QString(
               "<polyline class=\"%1\" points=\"%2\" fill=\"none\" stroke=\"%3\" "
               "stroke-width=\"1.3\"/>\n")
        .arg(cls, list.trimmed(), stroke);
}

// Many small circles as one path: a bounded number of elements whatever the points.
QString Dots(const char* cls, const std::vector<std::pair<double, double>>& points, double r,
             const QString& fill) {
    if (points.empty()) {
        return {};
    }
    QString d;
    for (const auto& [x, y] : points) {
        d += QString("M%1 %2a%3 %3 0 1 0 %4 0a%3 %3 0 1 0 -%4 0")
                 .arg(At(x - r), At(y), At(r), At(2 * r));
    }
    return QString("<path class=\"%1\" d=\"%2\" fill=\"%3\"/>\n").arg(cls, d, fill);
}

// --- the yield trend ---------------------------------------------------------------------------

QString TrendChart(const std::vector<YieldRow>& days) {
    constexpr int kW = 520, kH = 215;
    constexpr double x0 = 42, x1 = kW - 42, y0 = 22, y1 = kH - 22;
    QString svg = SvgOpen("trend", kW, kH);
    if (days.empty()) {
        return svg + Label(kW / 2.0, kH / 2.0, "no runs", "middle") + "</svg>\n";
    }
    const QDate first = QDate::fromString(days.front().day, Qt::ISODate);
    const auto dayIndex = [&](const YieldRow& d) {
        return static_cast<double>(first.daysTo(QDate::fromString(d.day, Qt::ISODate)));
    };
    const double span = dayIndex(days.back());
    const double slot = (x1 - x0) / (span + 1);
    const Scale x{0, span, x0 + slot / 2, x1 - slot / 2};

    double lowest = 1;
    int mostRuns = 1;
    for (const YieldRow& d : days) {
        for (const auto& y : {d.figures.firstPassYield, d.figures.finalYield}) {
            lowest = y ? std::min(lowest, *y) : lowest;
        }
        mostRuns = std::max(mostRuns, d.figures.runs);
    }
    const double bottom = std::max(0.0, std::floor((lowest - 0.02) * 10) / 10);
    const Scale y{bottom, 1, y1, y0};
    const Scale runs{0, static_cast<double>(mostRuns), y1, y1 - 0.35 * (y1 - y0)};

    for (double t : Ticks(bottom, 1, 5)) {
        svg += Line("grid", x0, y(t), x1, y(t), "#ddd");
        svg += Label(x0 - 3, y(t) + 3, QString::number(t * 100, 'f', 0) + "%", "end");
    }
    // The day's runs as grey bars behind the yields: one path for every day.
    QString bars;
    const double barWidth = std::min(14.0, std::max(0.6, 0.6 * slot));
    for (const YieldRow& d : days) {
        bars += QString("M%1 %2V%3h%4V%2Z")
                    .arg(At(x(dayIndex(d)) - barWidth / 2), At(y1), At(runs(d.figures.runs)),
                         At(barWidth));
    }
    svg += QString("<path class=\"runs\" d=\"%1\" fill=\"#e3e3e3\"/>\n").arg(bars);

    std::vector<std::pair<double, double>> fpy, final;
    for (const YieldRow& d : days) {
        if (d.figures.firstPassYield) {
            fpy.push_back({x(dayIndex(d)), y(*d.figures.firstPassYield)});
        }
        if (d.figures.finalYield) {
            final.push_back({x(dayIndex(d)), y(*d.figures.finalYield)});
        }
    }
    svg += Polyline("final-yield", final, kFinalColour);
    svg += Polyline("first-pass-yield", fpy, kFpyColour);
    if (days.size() <= kMostDayPoints) {
        for (const YieldRow& d : days) {
            const YieldFigures& f = d.figures;
            svg += "<g class=\"day\"" + Attr("data-day", d.day) + YieldData(f) +
                   QString("><title>%1: %2 runs, %3 units, first-pass %4, final %5</title>\n")
                       .arg(Esc(d.day), QString::number(f.runs), QString::number(f.units),
                            PercentText(f.firstPassYield), PercentText(f.finalYield));
            for (const auto& [v, colour] :
                 {std::pair{f.finalYield, kFinalColour}, std::pair{f.firstPassYield, kFpyColour}}) {
                if (v) {
                    svg += QString("<circle cx=\"%1\" cy=\"%2\" r=\"2.6\" fill=\"%3\"/>\n")
                               .arg(At(x(dayIndex(d))), At(y(*v)), colour);
                }
            }
            svg += "</g>\n";
        }
    }
    // About eight day labels along the bottom.
    const int every = std::max(1, static_cast<int>(std::ceil((span + 1) / 8)));
    for (int i = 0; i <= span; i += every) {
        svg += Label(x(i), y1 + 12, first.addDays(i).toString(span < 1 ? "yyyy-MM-dd" : "MM-dd"),
                     "middle");
    }
    svg += Line("axis", x0, y1, x1, y1, "#999");
    svg += QString(
               "<g class=\"legend\"><rect x=\"%1\" y=\"4\" width=\"10\" height=\"3\" fill=\"%2\"/>"
               "<text x=\"%3\" y=\"9\">first-pass yield</text>"
               "<rect x=\"%4\" y=\"4\" width=\"10\" height=\"3\" fill=\"%5\"/>"
               "<text x=\"%6\" y=\"9\">final yield</text>"
               "<rect x=\"%7\" y=\"2\" width=\"8\" height=\"7\" fill=\"#e3e3e3\"/>"
               "<text x=\"%8\" y=\"9\">runs per day (the tallest bar: %9)</text></g>\n")
               .arg(At(x0), kFpyColour, At(x0 + 14), At(x0 + 100), kFinalColour, At(x0 + 114),
                    At(x0 + 175), At(x0 + 187), QString::number(mostRuns));
    return svg + "</svg>\n";
}

// --- the failure Pareto ------------------------------------------------------------------------

QString ParetoChart(const StatsReport& report) {
    constexpr int kW = 520, kH = 215;
    constexpr double x0 = 42, x1 = kW - 42, y0 = 12, y1 = kH - 72;
    QString svg = SvgOpen("pareto", kW, kH);
    if (report.pareto.empty()) {
        return svg + Label(kW / 2.0, kH / 2.0, "no FAIL runs in the selection", "middle") +
               "</svg>\n";
    }
    const auto shown = std::min<std::size_t>(report.pareto.size(), kMostParetoBars);
    const int most = report.pareto.front().failedRuns;
    const double topShare = std::max(1.0, report.pareto.back().cumulative);
    const Scale y{0, static_cast<double>(most), y1, y0};
    const Scale share{0, topShare, y1, y0};
    const double slot = std::min(64.0, (x1 - x0) / static_cast<double>(shown));

    for (double t : Ticks(0, most, 4)) {
        if (t == std::floor(t)) {
            svg += Line("grid", x0, y(t), x1, y(t), "#ddd");
            svg += Label(x0 - 3, y(t) + 3, QString::number(t), "end");
        }
    }
    for (double t : Ticks(0, topShare, 4)) {
        svg += Label(x1 + 3, share(t) + 3, QString::number(t * 100, 'f', 0) + "%");
    }
    std::vector<std::pair<double, double>> cumulative;
    for (std::size_t i = 0; i < shown; ++i) {
        const ParetoRow& p = report.pareto[i];
        const double left = x0 + slot * static_cast<double>(i) + slot * 0.15;
        const double middle = left + slot * 0.35;
        svg += "<rect class=\"pareto-bar\"" + Attr("data-measurement", p.measurement) +
               Attr("data-failed-runs", QString::number(p.failedRuns)) +
               Attr("data-share", Data(p.share)) + Attr("data-cumulative", Data(p.cumulative)) +
               QString(
                   " x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#c62828\"><title>%5: "
                   "%6 FAIL runs, %7</title></rect>\n")
                   .arg(At(left), At(y(p.failedRuns)), At(slot * 0.7), At(y1 - y(p.failedRuns)),
                        Esc(TerminalText(p.measurement)), QString::number(p.failedRuns),
                        PercentText(p.share));
        svg += Label(middle, y(p.failedRuns) - 2, QString::number(p.failedRuns), "middle");
        svg += QString(
                   "<text x=\"%1\" y=\"%2\" text-anchor=\"end\" transform=\"rotate(-35 %1 %2)\" "
                   "fill=\"#333\">%3</text>\n")
                   .arg(At(middle + 3), At(y1 + 9), Esc(TerminalText(p.measurement)));
        cumulative.push_back({middle, share(p.cumulative)});
    }
    svg += Polyline("cumulative", cumulative, "#333");
    svg += Dots("cumulative-points", cumulative, 2.2, "#333");
    svg += Line("axis", x0, y1, x1, y1, "#999");
    if (shown < report.pareto.size()) {
        svg += Label(x1, y0 - 4,
                     QString("and %1 more measurement(s)").arg(report.pareto.size() - shown), "end",
                     "#888");
    }
    return svg + "</svg>\n";
}

// --- a measurement's histogram and control chart ---------------------------------------------

// The limit lines a measurement has: both bounds of a range, the lower of at-least, the value
// of an equality.
std::vector<std::pair<QString, double>> LimitLines(const LimitKey& k) {
    std::vector<std::pair<QString, double>> lines;
    if (k.low) {
        lines.push_back({k.comparison == mv62::Comparison::Equals ? "=" : "low", *k.low});
    }
    const bool range =
        k.comparison == mv62::Comparison::Exclusive || k.comparison == mv62::Comparison::Inclusive;
    if (range && k.high) {
        lines.push_back({"high", *k.high});
    }
    return lines;
}

QString Histogram(const MeasurementRow& m) {
    constexpr int kW = 130, kH = 80;
    constexpr double x0 = 5, x1 = kW - 5, y0 = 20, y1 = kH - 13;
    // Whole numbers a few dozen apart get a bin each, as does a single value; anything else
    // up to kMostHistogramBins.
    const bool whole = std::ranges::all_of(m.values, [](double v) { return v == std::floor(v); });
    int bins = 0;
    double start = 0, width = 1;
    if (m.min == m.max || (whole && m.max - m.min < kMostHistogramBins)) {
        bins = static_cast<int>(m.max - m.min) + 1;
        start = m.min - 0.5;
    } else {
        bins = std::clamp(static_cast<int>(std::ceil(std::sqrt(m.n))), 5, kMostHistogramBins);
        width = (m.max - m.min) / bins;
        start = m.min;
    }
    std::vector<int> counts(static_cast<std::size_t>(bins), 0);
    for (double v : m.values) {
        const int i = static_cast<int>(std::floor((v - start) / width));
        ++counts[static_cast<std::size_t>(std::clamp(i, 0, bins - 1))];
    }
    // The range takes in the limits unless one lies so far out that the bars would shrink to
    // a sliver; that limit is named at the edge instead.
    double lo = start, hi = start + bins * width;
    const double reach = m.min == m.max ? HUGE_VAL : std::max(hi - lo, 6 * m.sd.value_or(0));
    QStringList beyondLeft, beyondRight;
    for (const auto& [name, value] : LimitLines(m.key)) {
        if (value < lo - reach) {
            beyondLeft << QString("%1 %2").arg(name, ExactText(value));
        } else if (value > hi + reach) {
            beyondRight << QString("%1 %2").arg(name, ExactText(value));
        } else {
            lo = std::min(lo, value);
            hi = std::max(hi, value);
        }
    }
    const double pad = (hi - lo) * 0.04;
    const Scale x{lo - pad, hi + pad, x0, x1};
    const Scale y{0, static_cast<double>(*std::ranges::max_element(counts)), y1, y0 + 4};

    QString svg = SvgOpen("histogram", kW, kH, 8);
    for (int i = 0; i < bins; ++i) {
        const int count = counts[static_cast<std::size_t>(i)];
        if (count > 0) {
            const double left = x(start + i * width), right = x(start + (i + 1) * width);
            svg +=
                QString(
                    "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#90a4c8\" "
                    "stroke=\"#fff\" stroke-width=\"0.3\"><title>%5</title></rect>\n")
                    .arg(At(left), At(y(count)), At(std::max(0.4, right - left)), At(y1 - y(count)))
                    .arg(count);
        }
    }
    svg += Line("axis", x0, y1, x1, y1, "#999");
    for (const auto& [name, value] : LimitLines(m.key)) {
        if (value >= lo && value <= hi) {
            svg += Line("limit", x(value), y0, x(value), y1, kLimitColour, " stroke-width=\"1.2\"");
            // Near an edge the label stands inside the chart.
            const double at = x(value);
            const char* anchor = at < x0 + 20 ? "start" : at > x1 - 20 ? "end" : "middle";
            svg += Label(at, y0 - 2, QString("%1 %2").arg(name, ExactText(value)), anchor,
                         kLimitColour);
        }
    }
    if (!beyondLeft.isEmpty()) {
        svg += Label(x0, y0 - 2, "\u25c2 " + beyondLeft.join(", "), "start", kLimitColour);
    }
    if (!beyondRight.isEmpty()) {
        svg += Label(x1, y0 - 2, beyondRight.join(", ") + " \u25b8", "end", kLimitColour);
    }
    svg += Line("mean", x(m.mean), y0 + 4, x(m.mean), y1, kFpyColour,
                " stroke-width=\"1.2\" stroke-dasharray=\"3 2\"");
    // The mean under its line; the smallest and largest values under theirs where they leave it
    // room (a character is about 5 units wide).
    const QString mean = FigureText(m.mean);
    const double meanAt = std::clamp(x(m.mean), x0 + 2.6 * mean.size(), x1 - 2.6 * mean.size());
    for (const double v : {m.min, m.max}) {
        const QString text = ExactText(v);
        if (std::abs(x(v) - meanAt) > 2.6 * (text.size() + mean.size()) + 4) {
            svg += Label(x(v), y1 + 10, text, "middle", "#666");
        }
    }
    svg += Label(meanAt, y1 + 10, mean, "middle", kFpyColour);
    if (m.cpk) {
        svg += Label(x1, 8, "Cpk " + IndexText(m.cpk), "end", "#000");
    }
    return svg + "</svg>\n";
}

// The points of an individuals chart that signal: beyond mean ± 3 sd, or in a run of at least
// kRunLength consecutive points on one side of the mean (a point on the mean ends a run).
struct Signals {
    std::vector<bool> beyond;
    std::vector<bool> inRun;
    int beyondCount = 0;
    int inRunCount = 0;
};

Signals ControlSignals(const MeasurementRow& m) {
    Signals s;
    const std::size_t n = m.values.size();
    s.beyond.assign(n, false);
    s.inRun.assign(n, false);
    if (!m.sd) {
        return s;
    }
    const double upper = m.mean + 3 * *m.sd, lower = m.mean - 3 * *m.sd;
    std::size_t runStart = 0;
    int runSide = 0;
    for (std::size_t i = 0; i <= n; ++i) {
        const int side = i == n ? 0 : (m.values[i] > m.mean) - (m.values[i] < m.mean);
        if (side != runSide || side == 0) {
            if (runSide != 0 && i - runStart >= kRunLength) {
                std::fill(s.inRun.begin() + static_cast<std::ptrdiff_t>(runStart),
                          s.inRun.begin() + static_cast<std::ptrdiff_t>(i), true);
                s.inRunCount += static_cast<int>(i - runStart);
            }
            runStart = i;
            runSide = side;
        }
        if (i < n && (m.values[i] > upper || m.values[i] < lower)) {
            s.beyond[i] = true;
            ++s.beyondCount;
        }
    }
    return s;
}

QString ControlChart(const MeasurementRow& m, const Signals& s) {
    constexpr int kW = 196, kH = 80;
    constexpr double x0 = 27, x1 = kW - 26, y0 = 6, y1 = kH - 13;
    const double sd = m.sd.value_or(0);
    double lo = std::min(m.min, m.mean - 3 * sd), hi = std::max(m.max, m.mean + 3 * sd);
    if (hi == lo) {
        lo -= 1;
        hi += 1;
    }
    const double pad = (hi - lo) * 0.06;
    const Scale y{lo - pad, hi + pad, y1, y0};
    const std::size_t n = m.values.size();
    const Scale x{0, static_cast<double>(std::max<std::size_t>(n, 2) - 1), x0 + 3, x1 - 3};

    QString svg = SvgOpen("control", kW, kH, 8);
    // The process limits, and the measurement's own limits where they fall on the chart.
    for (const auto& [name, value] : LimitLines(m.key)) {
        if (value > lo - pad && value < hi + pad) {
            svg += Line("chart-limit", x0, y(value), x1, y(value), kLimitColour,
                        " stroke-width=\"0.6\" stroke-dasharray=\"1 2\"");
        }
    }
    svg += Line("center", x0, y(m.mean), x1, y(m.mean), kFpyColour);
    svg += Label(x1 + 2, y(m.mean) + 3, "mean", "start", kFpyColour);
    if (sd > 0) {
        for (const auto& [name, value] :
             {std::pair{"+3 sd", m.mean + 3 * sd}, std::pair{"\u22123 sd", m.mean - 3 * sd}}) {
            svg += Line("control-limit", x0, y(value), x1, y(value), kLimitColour,
                        " stroke-dasharray=\"4 2\"");
            svg += Label(x1 + 2, y(value) + 3, name, "start", kLimitColour);
        }
    }
    for (double t : Ticks(lo, hi, 4)) {
        svg += Label(x0 - 3, y(t) + 3, FigureText(t), "end", "#666");
    }
    svg += Line("axis", x0, y1, x1, y1, "#999");
    svg += Label(x0, y1 + 10, "1", "start", "#666");
    svg += Label(x1, y1 + 10, QString::number(n), "end", "#666");
    svg += Label((x0 + x1) / 2, y1 + 10, "runs in time order", "middle", "#888");

    std::vector<std::pair<double, double>> plain, beyond, inRun, means;
    if (n <= kMostPoints) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::pair point{x(static_cast<double>(i)), y(m.values[i])};
            means.push_back(point);
            (s.beyond[i] ? beyond : s.inRun[i] ? inRun : plain).push_back(point);
        }
        svg += Polyline("values", means, "#7a8fb8");
        svg += Dots("point", plain, 1.6, "#44587f");
    } else {
        // Buckets of consecutive runs: each one's range as a stroke and its mean on a line; the
        // farthest point beyond the limits of a bucket as a red dot, and the share of its points
        // in runs of kRunLength as an orange bar under the chart: where drift sets in shows as
        // a growing strip, not as a cloud of marks.
        const std::size_t per = (n + kMostPoints - 1) / kMostPoints;
        QString spread, runShare;
        for (std::size_t b = 0; b * per < n; ++b) {
            const std::size_t from = b * per, to = std::min(n, from + per);
            double low = m.values[from], high = low, sum = 0, farthest = m.mean;
            int inRuns = 0;
            for (std::size_t i = from; i < to; ++i) {
                const double v = m.values[i];
                low = std::min(low, v);
                high = std::max(high, v);
                sum += v;
                if (s.beyond[i] && std::abs(v - m.mean) > std::abs(farthest - m.mean)) {
                    farthest = v;
                }
                inRuns += s.inRun[i] ? 1 : 0;
            }
            const double px = x((static_cast<double>(from) + static_cast<double>(to - 1)) / 2);
            spread += QString("M%1 %2V%3").arg(At(px), At(y(low)), At(y(high)));
            means.push_back({px, y(sum / static_cast<double>(to - from))});
            if (farthest != m.mean) {
                beyond.push_back({px, y(farthest)});
            }
            if (inRuns > 0) {
                const double share = static_cast<double>(inRuns) / static_cast<double>(to - from);
                runShare += QString("M%1 %2v-%3").arg(At(px), At(y1 - 1), At(1 + 5 * share));
            }
        }
        svg +=
            QString("<path class=\"spread\" d=\"%1\" stroke=\"#b7c3da\" stroke-width=\"1.2\"/>\n")
                .arg(spread);
        svg += Polyline("bucket-means", means, "#44587f");
        if (!runShare.isEmpty()) {
            svg +=
                QString("<path class=\"run-share\" d=\"%1\" stroke=\"%2\" stroke-width=\"1\"/>\n")
                    .arg(runShare, kSignalColour);
        }
    }
    svg += Dots("run-of-8", inRun, 1.8, kSignalColour);
    svg += Dots("beyond", beyond, n <= kMostPoints ? 2.2 : 1.4, kLimitColour);
    return svg + "</svg>\n";
}

QString CpkClass(std::optional<double> cpk) {
    return !cpk ? "none" : *cpk < 1 ? "poor" : *cpk < 1.33 ? "marginal" : "capable";
}

QString MeasurementPanel(const MeasurementRow& m) {
    const LimitKey& k = m.key;
    const Signals s = ControlSignals(m);
    QString html = "<section class=\"measurement\"" + Attr("data-name", k.name) +
                   Attr("data-plan-version", k.planVersion) + Attr("data-low", Data(k.low)) +
                   Attr("data-high", Data(k.high)) +
                   Attr("data-comparison", mv62::ComparisonName(k.comparison).data()) +
                   Attr("data-n", QString::number(m.n)) + Attr("data-mean", Data(m.mean)) +
                   Attr("data-sd", Data(m.sd)) + Attr("data-min", Data(m.min)) +
                   Attr("data-max", Data(m.max)) + Attr("data-outside", Data(m.outside)) +
                   Attr("data-cp", Data(m.cp)) + Attr("data-cpk", Data(m.cpk)) +
                   Attr("data-cpu", Data(m.cpu)) + Attr("data-cpl", Data(m.cpl)) +
                   Attr("data-beyond", QString::number(s.beyondCount)) +
                   Attr("data-run-of-8", QString::number(s.inRunCount)) + ">\n";
    html += QString("<h3>%1 <span class=\"limits\">%2</span>%3</h3>\n")
                .arg(Esc(TerminalText(k.name)), Esc(LimitText(k.low, k.high, k.comparison)),
                     k.planVersion.isEmpty() ? QString()
                                             : " <span class=\"plan\">plan " +
                                                   Esc(TerminalText(k.planVersion)) + "</span>");
    html += QString(
                "<p class=\"figures\">n <b>%1</b> &middot; mean <b>%2</b> &middot; sd <b>%3</b> "
                "&middot; Cpk <b class=\"cpk %4\">%5</b></p>\n")
                .arg(m.n)
                .arg(FigureText(m.mean), FigureText(m.sd), CpkClass(m.cpk), IndexText(m.cpk));
    html += "<div class=\"charts\">\n" + Histogram(m) + ControlChart(m, s) + "</div>\n";
    html += QString(
                "<p class=\"signals\">%1 outside &middot; <span class=\"%2\">%3 beyond "
                "&plusmn;3 sd</span> &middot; <span class=\"%4\">%5 in runs of %6</span></p>\n")
                .arg(PercentText(m.outside), s.beyondCount > 0 ? "alarm" : "quiet")
                .arg(s.beyondCount)
                .arg(s.inRunCount > 0 ? "warn" : "quiet")
                .arg(s.inRunCount)
                .arg(kRunLength);
    return html + "</section>\n";
}

// --- tables --------------------------------------------------------------------------------------

QString TableHead(const char* cls, const QStringList& columns) {
    return QString("<table class=\"%1\">\n<thead><tr><th>%2</th></tr></thead>\n<tbody>\n")
        .arg(cls, columns.join("</th><th>"));
}

// Numbers in cells of their own, to the right.
QString NumberCells(const QStringList& numbers) {
    return "<td class=\"num\">" + numbers.join("</td><td class=\"num\">") + "</td>";
}

QString YieldCells(const YieldFigures& f) {
    return NumberCells({QString::number(f.runs), QString::number(f.units), QString::number(f.pass),
                        QString::number(f.fail), QString::number(f.incomplete),
                        PercentText(f.firstPassYield), PercentText(f.finalYield),
                        QString::number(f.retests)});
}

QString StationTable(const StatsReport& report) {
    QString html = TableHead("stations", {"Station", "Runs", "Units", "PASS", "FAIL", "INCOMPLETE",
                                          "First-pass yield", "Final yield", "Retests"});
    for (const YieldRow& r : report.stations) {
        html += "<tr class=\"station\"" + Attr("data-station", r.station) + YieldData(r.figures) +
                "><td>" + Esc(TerminalText(r.station)) + "</td>" + YieldCells(r.figures) +
                "</tr>\n";
    }
    html +=
        "<tr class=\"all-stations\"><th>All stations</th>" + YieldCells(report.totals) + "</tr>\n";
    return html + "</tbody>\n</table>\n";
}

QString CapabilityTable(const StatsReport& report) {
    QString html = TableHead("capability", {"Measurement", "Plan", "Limits", "n", "Mean", "sd",
                                            "Min", "Max", "Outside", "Cp", "Cpk", "Cpu", "Cpl"});
    for (const MeasurementRow& m : report.measurements) {
        html += "<tr><td>" + Esc(TerminalText(m.key.name)) + "</td><td>" +
                Esc(TerminalText(m.key.planVersion)) + "</td><td>" +
                Esc(LimitText(m.key.low, m.key.high, m.key.comparison)) + "</td>" +
                NumberCells({QString::number(m.n), FigureText(m.mean), FigureText(m.sd),
                             ExactText(m.min), ExactText(m.max), PercentText(m.outside),
                             IndexText(m.cp)}) +
                QString("<td class=\"num cpk %1\">%2</td>").arg(CpkClass(m.cpk), IndexText(m.cpk)) +
                NumberCells({IndexText(m.cpu), IndexText(m.cpl)}) + "</tr>\n";
    }
    return html + "</tbody>\n</table>\n";
}

constexpr char kStyle[] = R"(
@page { size: A4 landscape; margin: 9mm 10mm 10mm 10mm; }
* { box-sizing: border-box; }
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 8pt;
       color: #000; background: #fff; margin: 0 auto; max-width: 277mm; padding: 3mm 0; }
h1 { font-size: 14pt; margin: 0; }
h2 { font-size: 10.5pt; margin: 3mm 0 1.5mm 0; }
h3 { font-size: 8.5pt; margin: 0; }
h3 .limits, h3 .plan { font-weight: normal; color: #555; margin-left: 2mm; }
p { margin: 0.6mm 0; }
.selection { color: #555; }
.totals { display: flex; gap: 2.5mm; margin: 2.5mm 0; }
.totals div { border: 0.25mm solid #bbb; padding: 1mm 2.5mm; min-width: 22mm; }
.totals b { display: block; font-size: 12pt; }
.overview { display: grid; grid-template-columns: 1fr 1fr; gap: 6mm; }
figure { margin: 0; }
figcaption { font-weight: bold; font-size: 9pt; margin-bottom: 1mm; }
figcaption small { font-weight: normal; color: #555; font-size: 7.5pt; margin-left: 2mm; }
svg { width: 100%; height: auto; display: block; }
table { border-collapse: collapse; }
th, td { border: 0.2mm solid #aaa; padding: 0.2mm 1.8mm; text-align: left; }
thead th { background: #eee; }
td.num { text-align: right; }
tr { break-inside: avoid; }
.cpk.poor { background: #ffd6d6; color: #a00000; font-weight: bold; }
.cpk.marginal { background: #fff0c2; }
.cpk.capable { background: #d6f5d6; }
b.cpk { padding: 0 1mm; }
h2.new-page { break-before: page; }
.panels { display: grid; grid-template-columns: 1fr 1fr 1fr; gap: 2mm 5mm; }
section.measurement { break-inside: avoid; border-top: 0.3mm solid #999; padding-top: 0.5mm;
                      font-size: 7.5pt; }
section.measurement p { margin: 0.2mm 0; }
section.measurement h3 { font-size: 7.5pt; white-space: nowrap; overflow: hidden; }
section.measurement .charts { display: grid; grid-template-columns: 130fr 196fr; gap: 1mm; }
.signals { color: #555; }
.signals .alarm { color: #c62828; font-weight: bold; }
.signals .warn { color: #e65100; font-weight: bold; }
* { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
@media print { body { padding: 0; max-width: none; } }
)";

}  // namespace

QByteArray DashboardPage(const StatsReport& report, const QString& selection) {
    const YieldFigures& t = report.totals;
    const QString span = report.days.empty() ? QString("no runs")
                         : report.days.size() == 1
                             ? report.days.front().day
                             : report.days.front().day + " to " + report.days.back().day;
    QString page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += QString("<title>MV62 line: yield, capability and drift, %1</title>\n").arg(Esc(span));
    page += QString("<style>%1</style>\n</head>\n<body>\n").arg(kStyle);
    page += QString(
                "<h1>MV62 line: yield, capability and drift</h1>\n<p class=\"selection\">%1 "
                "&middot; %2</p>\n")
                .arg(Esc(span), Esc(TerminalText(selection)));
    page += "<div class=\"totals\"" + YieldData(t) + ">\n";
    const auto box = [&](const char* name, const QString& value) {
        page += QString("<div>%1<b>%2</b></div>\n").arg(name, value);
    };
    box("Runs", QString::number(t.runs));
    box("Units", QString::number(t.units));
    box(outcome::Pass, QString::number(t.pass));
    box(outcome::Fail, QString::number(t.fail));
    box(outcome::Incomplete, QString::number(t.incomplete));
    box("First-pass yield", PercentText(t.firstPassYield));
    box("Final yield", PercentText(t.finalYield));
    box("Retests", QString::number(t.retests));
    page += "</div>\n<div class=\"overview\">\n";
    page += "<figure><figcaption>Yield per day</figcaption>\n" + TrendChart(report.days) +
            "</figure>\n";
    page += QString(
                "<figure><figcaption>Failures by measurement <small>of %1 FAIL runs; the line: "
                "cumulative share</small></figcaption>\n")
                .arg(report.failRuns) +
            ParetoChart(report) + "</figure>\n</div>\n";
    page += "<h2>Per station</h2>\n" + StationTable(report);
    page += "<h2 class=\"new-page\">Capability of the judged measurements</h2>\n" +
            CapabilityTable(report);
    page += "<h2>Distribution and drift</h2>\n<div class=\"panels\">\n";
    for (const MeasurementRow& m : report.measurements) {
        page += MeasurementPanel(m);
    }
    page += "</div>\n</body>\n</html>\n";
    return page.toUtf8();
}

}  // namespace mv62tool
