#pragma once
// The statistics as text for a terminal, as CSV and as JSON for scripts, and the number formats
// the dashboard page shares with the text.
#include <QByteArray>
#include <QString>
#include <optional>

#include "Statistics.h"

namespace mv62tool {

// {"yield": [...], "totals": {...}, "pareto": [...], "measurements": [...]}; yields and shares
// as fractions, every number with the digits that give it back exactly, null where a figure
// does not apply.
QByteArray StatsJson(const mv62rec::StatsReport& report);
// The same four tables one after another (a header row each, an empty line between them);
// RFC 4180, UTF-8, CRLF. Text that a spreadsheet would take for a formula gets an apostrophe.
QByteArray StatsCsv(const mv62rec::StatsReport& report);
// Aligned tables for a terminal: yields and shares as percentages, control characters in the
// records' text as visible escapes.
QString StatsText(const mv62rec::StatsReport& report);

// "93.33%", or "-" where the figure does not apply.
QString PercentText(std::optional<double> fraction);
// Six significant digits ("4320.12", "20.0512"), or "-".
QString FigureText(std::optional<double> v);
// A capability index with three decimals, or "-".
QString IndexText(std::optional<double> v);
// A number as short as gives it back exactly ("3500", "0.1"), or "-".
QString ExactText(std::optional<double> v);

}  // namespace mv62tool
