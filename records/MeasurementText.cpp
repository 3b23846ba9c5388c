#include "MeasurementText.h"

#include <QJsonArray>
#include <QLocale>
#include <QStringList>

#include "RecordVocabulary.h"

namespace mv62rec {

QString PlainValue(const Measurement& m) {
    if (m.value.isArray()) {
        QStringList items;
        for (const QJsonValue& v : m.value.toArray()) {
            items << QString::number(v.toInt());
        }
        return items.join(',');
    }
    if (m.value.isDouble()) {
        return QString::number(m.value.toInteger());
    }
    return m.value.toString();
}

QString ValueText(const Measurement& m) {
    if (m.value.isNull() || m.value.isUndefined()) {
        return kNotMeasured;
    }
    if (m.value.isArray() && m.value.toArray().isEmpty()) {
        return "none";
    }
    const QString value = PlainValue(m);
    return m.unit.isEmpty() ? value : value + ' ' + m.unit;
}

QString LimitText(const Measurement& m) {
    if (!m.comparison || !m.low) {
        return {};
    }
    return LimitText(m.low, m.high, *m.comparison);
}

QString LimitText(std::optional<double> low, std::optional<double> high, mv62::Comparison c) {
    const auto number = [](std::optional<double> v) {
        return v ? QString::number(*v, 'g', QLocale::FloatingPointShortest) : QString();
    };
    switch (c) {
        case mv62::Comparison::Exclusive:
            return number(low) + " < x < " + number(high);
        case mv62::Comparison::Inclusive:
            return number(low) + " <= x <= " + number(high);
        case mv62::Comparison::AtLeast:
            return "x >= " + number(low);
        case mv62::Comparison::Equals:
            return "x = " + number(low);
    }
    return {};
}

QString VerdictText(const Measurement& m) {
    return m.passed ? QString(*m.passed ? outcome::Pass : outcome::Fail) : QString();
}

}  // namespace mv62rec
