#pragma once
// One measurement of a run record, the record's list of them as the test plan gives it for each
// kind of run, and the JSON of a measurement.
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>
#include <vector>

#include "ReplyMath.h"

namespace mv62rec {

enum class RunKind { AutoTest, Calibration };
QString RunKindName(RunKind kind);  // "auto-test", "calibration"

// One measured quantity of a run. `low`/`high` are the numbers of the window's rule and
// `comparison` says how they apply; they are empty where there is no such bound. `passed` is
// empty for values that are shown but not judged, and `value` is null until something was measured.
struct Measurement {
    QString name;
    QJsonValue value;
    QString unit;  // empty: no unit
    std::optional<int> low;
    std::optional<int> high;
    std::optional<mv62::Comparison> comparison;
    std::optional<bool> passed;

    QJsonObject ToJson() const;
    static Measurement FromJson(const QJsonObject& o);
};

// Every measurement of a run of this kind, in record order, with its limits (the motor speed's
// as CashBox says) and nothing measured.
std::vector<Measurement> RunTemplate(RunKind kind, bool cashBox);

}  // namespace mv62rec
