#include "Measurement.h"

#include "RecordVocabulary.h"
#include "TestPlan.h"

namespace mv62rec {

namespace {

// The bounds a record shows for a limit: an at-least limit has no high bound, an equals limit
// has the value as both.
void SetLimit(Measurement& m, const mv62::Limit& limit) {
    m.comparison = limit.comparison;
    m.low = limit.low;
    switch (limit.comparison) {
        case mv62::Comparison::Exclusive:
        case mv62::Comparison::Inclusive:
            m.high = limit.high;
            break;
        case mv62::Comparison::AtLeast:
            m.high.reset();
            break;
        case mv62::Comparison::Equals:
            m.high = limit.low;
            break;
    }
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString RunKindName(RunKind kind) {
    return kind == RunKind::AutoTest ? kind::AutoTest : kind::Calibration;
}

std::vector<Measurement> RunTemplate(RunKind kind, bool cashBox) {
    std::vector<Measurement> list;
    for (const mv62::PlanMeasurement& measurement : mv62::kMeasurements) {
        if (!mv62::RecordedIn(measurement, kind == RunKind::AutoTest)) {
            continue;
        }
        for (int channel = 0; channel < measurement.Channels(); ++channel) {
            Measurement m;
            m.name = QString::fromStdString(mv62::MeasurementName(measurement.quantity, channel));
            m.unit = Latin1(measurement.unit);
            if (measurement.Judged()) {
                SetLimit(m, measurement.limit(channel, cashBox));
            }
            list.push_back(std::move(m));
        }
    }
    return list;
}

QJsonObject Measurement::ToJson() const {
    auto number = [](const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); };
    return {{key::Name, name},
            {key::Value, value},
            {key::Unit, unit.isEmpty() ? QJsonValue() : QJsonValue(unit)},
            {key::Low, number(low)},
            {key::High, number(high)},
            {key::Comparison,
             comparison ? QJsonValue(Latin1(mv62::ComparisonName(*comparison))) : QJsonValue()},
            {key::Passed, passed ? QJsonValue(*passed) : QJsonValue()}};
}

Measurement Measurement::FromJson(const QJsonObject& o) {
    auto number = [](const QJsonValue& v) {
        return v.isDouble() ? std::optional(v.toInt()) : std::nullopt;
    };
    Measurement m;
    m.name = o[key::Name].toString();
    m.value = o[key::Value];
    m.unit = o[key::Unit].toString();
    m.low = number(o[key::Low]);
    m.high = number(o[key::High]);
    for (mv62::Comparison c : {mv62::Comparison::Exclusive, mv62::Comparison::Inclusive,
                               mv62::Comparison::AtLeast, mv62::Comparison::Equals}) {
        if (o[key::Comparison].toString() == Latin1(mv62::ComparisonName(c))) {
            m.comparison = c;
        }
    }
    if (o[key::Passed].isBool()) {
        m.passed = o[key::Passed].toBool();
    }
    return m;
}

}  // namespace mv62rec
