#pragma once
// The line's dashboard: one self-contained HTML page (inline CSS and SVG, no scripts, nothing
// fetched) laid out for A4 landscape: the yield trend, the failure Pareto, a table per station,
// and each judged measurement's histogram and control chart. Charts draw a bounded number of
// elements whatever the number of runs; the figures are on the page as text and in data-
// attributes with every digit.
#include <QByteArray>
#include <QString>

#include "Statistics.h"

namespace mv62tool {

// `selection` says in words which runs the page covers (folder and filters).
QByteArray DashboardPage(const mv62rec::StatsReport& report, const QString& selection);

}  // namespace mv62tool
