#include "JournalLines.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <array>

#include "HostCommands.h"
#include "RecordVocabulary.h"
#include "Vocabulary.h"

namespace mv62rec {

namespace {

// The name of a frame the window does not handle (taken with the length last set, and ignored).
constexpr char kNotHandled[] = "not handled";

QByteArray Hex(std::span<const std::uint8_t> bytes) {
    return QByteArray::fromStdString(mv62::HexBytes(bytes));
}

QByteArray HexCode(std::uint8_t code) {
    return Hex(std::array{code});
}

QString Name(const mv62::FrameReading& r) {
    return r.handled ? QString::fromLatin1(mv62::ReplyName(r.code).data()) : QString(kNotHandled);
}

QByteArray FrameBytes(const mv62::DeviceFrame& frame) {
    return Hex(std::span(frame.bytes.data(), static_cast<std::size_t>(frame.length)));
}

QJsonArray Numbers(const std::vector<int>& values) {
    QJsonArray a;
    for (int v : values) {
        a.append(v);
    }
    return a;
}

QJsonValue ValueOf(const mv62::Reading& r) {
    return r.list ? QJsonValue(Numbers(r.values)) : QJsonValue(r.Value());
}

QJsonValue VerdictOf(const mv62::Reading& r) {
    if (!r.list) {
        return r.Passed();
    }
    QJsonArray a;
    for (bool passed : r.passed) {
        a.append(passed);
    }
    return a;
}

QString Text(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// What the frame says besides its measurements.
QJsonObject Values(const mv62::FrameReading& r) {
    QJsonObject v;
    if (r.identification) {
        v[key::Text] = Text(*r.identification);
    }
    if (r.cashBox) {
        v[key::CashBox] = *r.cashBox;  // the speed limit the window applied
    }
    if (r.shown) {
        v[key::Shown] = Text(*r.shown);
    }
    if (r.step) {
        v[key::Step] = *r.step;
    }
    if (r.state) {
        v[key::State] = *r.state;
    }
    if (r.sensorReadings) {
        v[key::Readings] = Numbers(*r.sensorReadings);
    }
    if (r.flagged) {
        v[key::Flagged] = Numbers(*r.flagged);
    }
    if (r.sensorOffset) {
        v[key::SensorOffset] = *r.sensorOffset;
    }
    return v;
}

std::vector<int> IntsOf(const QJsonValue& v) {
    std::vector<int> out;
    for (const QJsonValue& item : v.toArray()) {
        out.push_back(item.toInt());
    }
    return out;
}

}  // namespace

QByteArray EventLine(const QJsonObject& event) {
    return QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray ReceivedLine(std::span<const std::uint8_t> block, qint64 ms, const QString& time) {
    // Hexadecimal and the time need no escapes.
    return "{\"bytes\":\"" + Hex(block) + "\",\"event\":\"" + event::Received +
           "\",\"ms\":" + QByteArray::number(ms) +
           ",\"n\":" + QByteArray::number(static_cast<qulonglong>(block.size())) + ",\"time\":\"" +
           time.toLatin1() + "\"}\n";
}

QJsonObject SentEvent(const mv62::DecodedItem& item, bool failed) {
    QJsonObject e{{key::Event, event::Sent}, {key::Bytes, QString::fromLatin1(Hex(item.bytes))}};
    if (item.kind == mv62::DecodedItem::Kind::Garbage) {
        e[key::Garbage] = true;
    } else {
        e[key::Code] = QString::fromLatin1(HexCode(item.command.code));
        e[key::Command] = QString::fromLatin1(mv62::CommandName(item.command.code).data());
        if (item.command.kind == mv62::HostCommand::Kind::LoneStop) {
            e[key::Lone] = true;
        }
    }
    if (failed) {
        e[key::Failed] = true;
    }
    return e;
}

QJsonObject ReplyEvent(const mv62::DeviceFrame& frame, const mv62::FrameReading& reading) {
    QJsonObject e{{key::Event, event::Reply},
                  {key::Code, QString::fromLatin1(HexCode(reading.code))},
                  {key::Name, Name(reading)},
                  {key::Bytes, QString::fromLatin1(FrameBytes(frame))}};
    QJsonObject measurements, passed;
    for (const mv62::Reading& r : reading.readings) {
        const QString name = QString::fromStdString(r.Name());
        measurements[name] = ValueOf(r);
        if (r.Judged()) {
            passed[name] = VerdictOf(r);
        }
    }
    if (const QJsonObject values = Values(reading); !values.isEmpty()) {
        e[key::Values] = values;
    }
    if (!measurements.isEmpty()) {
        e[key::Measurements] = measurements;
    }
    if (!passed.isEmpty()) {
        e[key::Passed] = passed;
    }
    return e;
}

QByteArray ReplyLine(const mv62::DeviceFrame& frame, const mv62::FrameReading& reading, qint64 ms,
                     const QString& time) {
    // The measurements and verdicts in the order the frame was read; only numbers, booleans and
    // lists of them, which need no escapes.
    QByteArray line = "{\"" + QByteArray(key::Bytes) + "\":\"" + FrameBytes(frame) + "\",\"" +
                      key::Code + "\":\"" + HexCode(reading.code) + "\",\"" + key::Event + "\":\"" +
                      event::Reply + '"';
    const auto object = [&](const char* name, bool verdicts) {
        bool first = true;
        for (const mv62::Reading& r : reading.readings) {
            if (verdicts && !r.Judged()) {
                continue;
            }
            line += first ? QByteArray(",\"") + name + "\":{\"" : QByteArray(",\"");
            line += QByteArray::fromStdString(r.Name()) + "\":";
            const auto item = [&](std::size_t i) {
                return verdicts ? QByteArray(r.passed[i] ? "true" : "false")
                                : QByteArray::number(r.values[i]);
            };
            if (r.list) {
                line += '[';
                for (std::size_t i = 0; i < r.values.size(); ++i) {
                    line += (i > 0 ? "," : "") + item(i);
                }
                line += ']';
            } else {
                line += item(0);
            }
            first = false;
        }
        if (!first) {
            line += '}';
        }
    };
    object(key::Measurements, false);
    line += ",\"" + QByteArray(key::Ms) + "\":" + QByteArray::number(ms) + ",\"" + key::Name +
            "\":\"" + Name(reading).toLatin1() + '"';
    object(key::Passed, true);
    line += ",\"" + QByteArray(key::Time) + "\":\"" + time.toLatin1() + '"';
    if (const QJsonObject values = Values(reading); !values.isEmpty()) {
        line += ",\"" + QByteArray(key::Values) +
                "\":" + QJsonDocument(values).toJson(QJsonDocument::Compact);
    }
    return line + "}\n";
}

mv62::FrameReading ReadingFromEvent(const QJsonObject& event) {
    mv62::FrameReading r;
    const std::optional<mv62::Bytes> code =
        mv62::ParseHexBytes(event[key::Code].toString().toStdString());
    r.handled = code && code->size() == 1 && event[key::Name].toString() != kNotHandled;
    r.code = r.handled ? code->front() : 0;
    const QJsonObject values = event[key::Values].toObject();
    if (values.contains(key::Text)) {
        r.identification = values[key::Text].toString().toStdString();
    }
    if (values.contains(key::CashBox)) {
        r.cashBox = values[key::CashBox].toBool();
    }
    if (values.contains(key::Shown)) {
        r.shown = values[key::Shown].toString().toStdString();
    }
    if (values.contains(key::Step)) {
        r.step = values[key::Step].toInt();
    }
    if (values.contains(key::State)) {
        r.state = values[key::State].toInt();
    }
    if (values.contains(key::Readings)) {
        r.sensorReadings = IntsOf(values[key::Readings]);
    }
    if (values.contains(key::Flagged)) {
        r.flagged = IntsOf(values[key::Flagged]);
    }
    if (values.contains(key::SensorOffset)) {
        r.sensorOffset = values[key::SensorOffset].toInt();
    }
    const QJsonObject measurements = event[key::Measurements].toObject();
    const QJsonObject passed = event[key::Passed].toObject();
    for (auto it = measurements.begin(); it != measurements.end(); ++it) {
        const mv62::NamedMeasurement named = mv62::FindMeasurement(it.key().toStdString());
        if (named.measurement == nullptr) {
            continue;  // not one this program measures
        }
        mv62::Reading reading{named.measurement, named.channel, it.value().isArray(), {}, {}, {}};
        const QJsonValue verdict = passed[it.key()];
        if (reading.list) {
            reading.values = IntsOf(it.value());
            for (const QJsonValue& v : verdict.toArray()) {
                reading.passed.push_back(v.toBool());
            }
        } else {
            reading.values = {it.value().toInt()};
            if (verdict.isBool()) {
                reading.passed = {verdict.toBool()};
            }
        }
        r.readings.push_back(std::move(reading));
    }
    return r;
}

}  // namespace mv62rec
