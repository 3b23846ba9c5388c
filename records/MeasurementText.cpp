#include "MeasurementText.h"

#include <QJsonArray>
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
    const QString low = QString::number(*m.low);
    const QString high = m.high ? QString::number(*m.high) : QString();
    switch (*m.comparison) {
        case mv62::Comparison::Exclusive:
            return low + " < x < " + high;
        case mv62::Comparison::Inclusive:
            return low + " <= x <= " + high;
        case mv62::Comparison::AtLeast:
            return "x >= " + low;
        case mv62::Comparison::Equals:
            return "x = " + low;
    }
    return {};
}

QString VerdictText(const Measurement& m) {
    return m.passed ? QString(*m.passed ? outcome::Pass : outcome::Fail) : QString();
}

}  // namespace mv62rec
