#include "Measurements.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <array>

#include "HostCommands.h"
#include "Replies.h"

namespace mv62rec {

using namespace mv62;

namespace {

constexpr char kNotHandled[] = "not handled";

QString HexCode(std::uint8_t code) {
    static const auto kCodes = [] {
        std::array<QString, 256> codes;
        for (int c = 0; c < 256; ++c) {
            codes[static_cast<std::size_t>(c)] =
                QString("%1").arg(c, 2, 16, QLatin1Char('0')).toUpper();
        }
        return codes;
    }();
    return kCodes[code];
}

QString ChannelName(int channel, const char* what) {
    return QString("optics.ch%1.%2").arg(channel + 1).arg(QLatin1String(what));
}

// The reply's name in the frame table, or that the window does not handle it (a frame taken with
// the length last set, and ignored).
QString ReplyTitle(const ReplyReading& reply) {
    return reply.handled ? QString::fromLatin1(ReplyName(reply.code).data()) : QString(kNotHandled);
}

// Numbers, booleans and lists of them as JSON; anything else through QJsonDocument.
void AppendJson(QByteArray& out, const QJsonValue& v) {
    if (v.isBool()) {
        out += v.toBool() ? "true" : "false";
    } else if (v.isDouble()) {
        out += QByteArray::number(v.toInteger());
    } else if (v.isArray()) {
        out += '[';
        const QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            AppendJson(out, a[i]);
        }
        out += ']';
    } else {
        const QByteArray one = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        out += one.mid(1, one.size() - 2);
    }
}

void SetLimit(Measurement& m, const Limit& limit) {
    m.comparison = limit.comparison;
    m.low = limit.low;
    switch (limit.comparison) {
        case Comparison::Exclusive:
        case Comparison::Inclusive:
            m.high = limit.high;
            break;
        case Comparison::AtLeast:
            m.high.reset();
            break;
        case Comparison::Equals:
            m.high = limit.low;
            break;
    }
}

Measurement Unmeasured(const QString& name, const QString& unit = {}) {
    Measurement m;
    m.name = name;
    m.unit = unit;
    return m;
}

Measurement Limited(const QString& name, const Limit& limit, const QString& unit = {}) {
    Measurement m = Unmeasured(name, unit);
    SetLimit(m, limit);
    return m;
}

// What one applied reply measured, in the order it is journaled. The limits are the station's
// fixed rules; the record takes them from RunTemplate.
struct Readings {
    std::vector<Reading>& list;
    void Shown(const QString& name, const QJsonValue& value) { list.push_back({name, value, {}}); }
    void Judged(const QString& name, int value, const Limit& limit) {
        list.push_back({name, value, limit.Passes(value)});
    }
};

template <typename Range>
QJsonArray Numbers(const Range& values) {
    QJsonArray a;
    for (auto v : values) {
        a.append(static_cast<int>(v));
    }
    return a;
}

QJsonArray SwitchPositionsOn(int count, auto isOn) {
    QJsonArray on;
    for (int position = 1; position <= count; ++position) {
        if (isOn(position)) {
            on.append(position);
        }
    }
    return on;
}

void DecodeSensorFrame(const DeviceFrame& frame, const FrameContext& context, Readings& out) {
    const SensorFrameData d = mv62::DecodeSensorFrame(frame);
    const bool judge = !context.calibMode;
    QJsonArray corrected, peak, correctedPassed, peakPassed;
    for (int i = 0; i < kChannels; ++i) {
        const auto c = static_cast<int>(CorrectedSensorValue(i, d.raw[i], context.sensorOffset));
        corrected.append(c);
        correctedPassed.append(CalibValuePasses(i, static_cast<std::uint32_t>(c)));
        // Judged on the byte before the display limit, as the window does.
        peak.append(d.peak[i]);
        peakPassed.append(PeakPasses(i, d.peak[i]));
    }
    out.list.push_back({kChannelGroups[0], corrected, judge ? correctedPassed : QJsonValue()});
    out.list.push_back({kChannelGroups[1], peak, judge ? peakPassed : QJsonValue()});
    out.Shown("optics.sensor_offset", context.sensorOffset);
    // Shown under the columns; not a measurement of the record. The raw values are in the bytes.
    out.Shown("optics.drive", Numbers(d.drive));
}

// The decoded values and measurements of the replies the window handles; false for a code it
// does not handle.
bool Decode(const DeviceFrame& f, const FrameContext& context, QJsonObject& values, Readings& out) {
    switch (f.code()) {
        case reply::Identification:
            values["text"] = QString::fromLatin1(IdentificationText(f).c_str());
            return true;
        case reply::SensorFrame:
        case reply::LastSensorFrame:
            DecodeSensorFrame(f, context, out);
            return true;
        case reply::MotorRate: {
            const int count = EncoderCount(f);
            values["cashbox"] = context.cashBox;  // the speed limit the window applied
            out.Judged("motor.rpm", MotorRpm(count), MotorRpmLimit(context.cashBox));
            out.Judged("motor.encoder", count, kEncoderLimit);
            return true;
        }
        case reply::PulseResult: {
            const std::uint8_t r = ResultByte(f);
            values["shown"] = PulsePasses(r) ? "10" : "ERROR";
            out.Judged("pulse", r, kPulseLimit);
            return true;
        }
        case reply::FishResult:
        case reply::EepromResult:
        case reply::IoResult: {
            const char* name = f.code() == reply::FishResult     ? "fish"
                               : f.code() == reply::EepromResult ? "eeprom"
                                                                 : "io";
            out.Judged(name, ResultByte(f), kResultLimit);
            return true;
        }
        case reply::Sw1Positions:
            out.Shown("sw1",
                      SwitchPositionsOn(10, [&](int p) { return Sw1PositionOn(f[3], f[4], p); }));
            return true;
        case reply::Sw2Positions:
            out.Shown("sw2", SwitchPositionsOn(4, [&](int p) { return Sw2PositionOn(f[3], p); }));
            return true;
        case reply::LampStep: {
            const std::uint8_t step = ResultByte(f);
            values["step"] = step;
            if (step <= kLastLampStep) {
                out.Shown("lamp", step);  // a step the lamp indicators show
            }
            return true;
        }
        case reply::FishState: {
            const std::uint8_t s = ResultByte(f);
            values["state"] = s;
            const char* text = s == 1 ? "Normal" : s == 2 ? "Fished" : s == 3 ? "Open_Cover" : "";
            if (*text != '\0') {
                values["shown"] = text;
            }
            return true;
        }
        case reply::HookSensor:
        case reply::InSensor:
            values["state"] = ResultByte(f);
            return true;
        case reply::SensorReadings:
            values["readings"] = Numbers(SixValues(f));
            return true;
        case reply::Acknowledge:
            return true;
        case reply::ExchangeSensors: {
            const auto sensors = SixValues(f);
            QJsonArray flagged;
            for (int i = 0; i < 6; ++i) {
                if (sensors[i] != 0xFF) {
                    flagged.append(i + 1);
                }
                out.Shown(QString("exchange.s%1").arg(i + 1), sensors[i]);
            }
            values["flagged"] = flagged;
            return true;
        }
        case reply::OffsetAndLens: {
            const OffsetAndLensData d = DecodeOffsetAndLens(f);
            values["sensor_offset"] = d.sensorOffset;
            out.Shown("optics.lens_count", d.lensCount);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

QJsonObject Measurement::ToJson() const {
    auto number = [](const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); };
    QJsonObject o;
    o["name"] = name;
    o["value"] = value;
    o["unit"] = unit.isEmpty() ? QJsonValue() : QJsonValue(unit);
    o["low"] = number(low);
    o["high"] = number(high);
    o["comparison"] = comparison
                          ? QJsonValue(QString::fromLatin1(ComparisonName(*comparison).data()))
                          : QJsonValue();
    o["passed"] = passed ? QJsonValue(*passed) : QJsonValue();
    return o;
}

Measurement Measurement::FromJson(const QJsonObject& o) {
    auto number = [](const QJsonValue& v) {
        return v.isDouble() ? std::optional(v.toInt()) : std::nullopt;
    };
    Measurement m;
    m.name = o["name"].toString();
    m.value = o["value"];
    m.unit = o["unit"].toString();
    m.low = number(o["low"]);
    m.high = number(o["high"]);
    for (Comparison c :
         {Comparison::Exclusive, Comparison::Inclusive, Comparison::AtLeast, Comparison::Equals}) {
        if (o["comparison"].toString() == QLatin1String(ComparisonName(c).data())) {
            m.comparison = c;
        }
    }
    if (o["passed"].isBool()) {
        m.passed = o["passed"].toBool();
    }
    return m;
}

QString ValueText(const Measurement& m) {
    if (m.value.isNull() || m.value.isUndefined()) {
        return "not measured";
    }
    if (m.value.isArray()) {
        QStringList items;
        for (const QJsonValue& v : m.value.toArray()) {
            items << QString::number(v.toInt());
        }
        return items.isEmpty() ? "none" : items.join(',');
    }
    QString text = m.value.isDouble() ? QString::number(m.value.toInt()) : m.value.toString();
    return m.unit.isEmpty() ? text : text + ' ' + m.unit;
}

QString LimitText(const Measurement& m) {
    if (!m.comparison || !m.low) {
        return {};
    }
    const QString low = QString::number(*m.low);
    const QString high = m.high ? QString::number(*m.high) : QString();
    switch (*m.comparison) {
        case Comparison::Exclusive:
            return low + " < x < " + high;
        case Comparison::Inclusive:
            return low + " <= x <= " + high;
        case Comparison::AtLeast:
            return "x >= " + low;
        case Comparison::Equals:
            return "x = " + low;
    }
    return {};
}

ReplyReading ReadReply(const DeviceFrame& frame, const FrameContext& context) {
    ReplyReading r;
    r.code = frame.code();
    r.bytes = QByteArray::fromStdString(
        HexBytes(std::span(frame.bytes.data(), static_cast<std::size_t>(frame.length))));
    Readings readings{r.readings};
    r.handled = Decode(frame, context, r.values, readings);
    return r;
}

QJsonObject ReplyEvent(const ReplyReading& reply) {
    QJsonObject e{{"event", "reply"},
                  {"code", HexCode(reply.code)},
                  {"name", ReplyTitle(reply)},
                  {"bytes", QString::fromLatin1(reply.bytes)}};
    QJsonObject measurements, passed;
    for (const Reading& r : reply.readings) {
        measurements[r.name] = r.value;
        if (!r.passed.isUndefined() && !r.passed.isNull()) {
            passed[r.name] = r.passed;
        }
    }
    if (!reply.values.isEmpty()) {
        e["values"] = reply.values;
    }
    if (!measurements.isEmpty()) {
        e["measurements"] = measurements;
    }
    if (!passed.isEmpty()) {
        e["passed"] = passed;
    }
    return e;
}

QByteArray ReplyLine(const ReplyReading& reply, qint64 ms, const QString& time) {
    // Written by hand, in the key order of QJsonDocument: a stream applies ten sensor frames a
    // second, and building the JSON object for each costs more than the rest of the journal.
    QByteArray line = "{\"bytes\":\"" + reply.bytes + "\",\"code\":\"" +
                      HexCode(reply.code).toLatin1() + "\",\"event\":\"reply\"";
    const auto object = [&](const char* key, auto select) {
        bool first = true;
        for (const Reading& r : reply.readings) {
            const QJsonValue v = select(r);
            if (v.isUndefined() || v.isNull()) {
                continue;
            }
            line += first ? QByteArray(",\"") + key + "\":{\"" : QByteArray(",\"");
            line += r.name.toLatin1() + "\":";
            AppendJson(line, v);
            first = false;
        }
        if (!first) {
            line += '}';
        }
    };
    object("measurements", [](const Reading& r) { return r.value; });
    line += ",\"ms\":" + QByteArray::number(ms) + ",\"name\":";
    AppendJson(line, ReplyTitle(reply));
    object("passed", [](const Reading& r) { return r.passed; });
    line += ",\"time\":\"" + time.toLatin1() + '"';
    if (!reply.values.isEmpty()) {
        line += ",\"values\":" + QJsonDocument(reply.values).toJson(QJsonDocument::Compact);
    }
    line += "}\n";
    return line;
}

ReplyReading ReplyFromEvent(const QJsonObject& event) {
    ReplyReading r;
    bool ok = false;
    r.code = static_cast<std::uint8_t>(event["code"].toString().toUInt(&ok, 16));
    r.handled = ok && event["name"].toString() != kNotHandled;
    r.bytes = event["bytes"].toString().toLatin1();
    r.values = event["values"].toObject();
    const QJsonObject measurements = event["measurements"].toObject();
    const QJsonObject passed = event["passed"].toObject();
    for (auto it = measurements.begin(); it != measurements.end(); ++it) {
        r.readings.push_back({it.key(), it.value(), passed[it.key()]});
    }
    return r;
}

QString ChannelMeasurementName(int channel, const QString& group) {
    // Made once: every sensor frame of a stream names twelve measurements.
    static const auto kNames = [] {
        std::array<std::array<QString, kChannels>, 2> names;
        for (int i = 0; i < kChannels; ++i) {
            names[0][i] = ChannelName(i, "corrected");
            names[1][i] = ChannelName(i, "peak");
        }
        return names;
    }();
    if (channel < 0 || channel >= kChannels) {
        return {};
    }
    return kNames[group == kChannelGroups[1] ? 1 : 0][static_cast<std::size_t>(channel)];
}

QString RunKindName(RunKind kind) {
    return kind == RunKind::AutoTest ? "auto-test" : "calibration";
}

std::vector<Measurement> RunTemplate(RunKind kind, bool cashBox) {
    std::vector<Measurement> t;
    for (int i = 0; i < kChannels; ++i) {
        t.push_back(Limited(ChannelName(i, "corrected"), CalibLimit(i)));
    }
    for (int i = 0; i < kChannels; ++i) {
        t.push_back(Limited(ChannelName(i, "peak"), PeakLimit(i)));
    }
    t.push_back(Unmeasured("optics.sensor_offset"));
    t.push_back(Unmeasured("optics.lens_count"));
    if (kind == RunKind::AutoTest) {
        t.push_back(Limited("motor.rpm", MotorRpmLimit(cashBox), "rpm"));
        t.push_back(Limited("motor.encoder", kEncoderLimit, "gap/sec"));
        t.push_back(Limited("pulse", kPulseLimit));
        for (const char* name : {"fish", "eeprom", "io"}) {
            t.push_back(Limited(name, kResultLimit));
        }
        for (const char* name : {"sw1", "sw2", "lamp"}) {
            t.push_back(Unmeasured(name));
        }
    }
    for (int i = 1; i <= 6; ++i) {
        t.push_back(Unmeasured(QString("exchange.s%1").arg(i)));
    }
    return t;
}

const std::vector<Stage>& ChainStages() {
    static const std::vector<Stage> stages = {
        {"sensor", cmd::SensorRun}, {"motor", cmd::MotorTest},   {"pulse", cmd::PulseTest},
        {"fish", cmd::FishTest},    {"eeprom", cmd::EepromTest}, {"io", cmd::IoTest},
        {"sw1", cmd::ReadSw1},      {"sw2", cmd::ReadSw2},       {"lamp", cmd::LampTest},
    };
    return stages;
}

QString StageOf(const QString& name) {
    if (name == "optics.lens_count" || name.startsWith("exchange.")) {
        return {};
    }
    if (name.startsWith("optics.")) {
        return "sensor";
    }
    return name.section('.', 0, 0);  // motor.rpm -> motor, pulse -> pulse
}

}  // namespace mv62rec
