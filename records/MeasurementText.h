#pragma once
// A measurement in words, the same wherever it is shown: the headless printout, `show`, the
// report and the CSV.
#include <QString>

#include "Measurement.h"

namespace mv62rec {

// The value without its unit ("4320", "1,8,10"); empty when nothing was measured.
QString PlainValue(const Measurement& m);
// The value with its unit ("4320 rpm"); "not measured", or "none" for an empty list.
QString ValueText(const Measurement& m);
// The limits as a rule ("3500 < x < 5000", "x >= 40"); empty where there are none.
QString LimitText(const Measurement& m);
QString LimitText(std::optional<double> low, std::optional<double> high, mv62::Comparison c);
// "PASS", "FAIL", or empty for a value that is shown but not judged.
QString VerdictText(const Measurement& m);

inline constexpr char kNotMeasured[] = "not measured";

}  // namespace mv62rec
