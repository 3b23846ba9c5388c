#include "TestPlan.h"

#include <algorithm>

#include "Replies.h"

namespace mv62 {

namespace {

constexpr std::size_t Index(auto e) {
    return static_cast<std::size_t>(e);
}

// Each table has a row for every value of its enumeration, in the enumeration's order: a row
// forgotten or misplaced does not compile.
constexpr bool StagesInOrder() {
    for (std::size_t i = 0; i < kStages.size(); ++i) {
        if (Index(kStages[i].stage) != i) {
            return false;
        }
    }
    return true;
}
constexpr bool MeasurementsInOrder() {
    for (std::size_t i = 0; i < kMeasurements.size(); ++i) {
        if (Index(kMeasurements[i].quantity) != i) {
            return false;
        }
    }
    return true;
}
static_assert(StagesInOrder() && Index(Stage::Lamp) + 1 == kStages.size());
static_assert(MeasurementsInOrder() && Index(Quantity::Drive) + 1 == kMeasurements.size());

constexpr char kChannelMark = '#';
static_assert(kExchangeSensors <= kChannels);

// Every measurement name, one per channel, made once: a stream of sensor frames names twelve
// measurements ten times a second.
const std::array<std::array<std::string, kChannels>, kMeasurements.size()>& Names() {
    static const auto names = [] {
        std::array<std::array<std::string, kChannels>, kMeasurements.size()> all;
        for (const PlanMeasurement& m : kMeasurements) {
            for (int ch = 0; ch < m.Channels(); ++ch) {
                const std::size_t at = m.name.find(kChannelMark);
                all[Index(m.quantity)][static_cast<std::size_t>(ch)] =
                    at == std::string_view::npos
                        ? std::string(m.name)
                        : std::string(m.name.substr(0, at)) + std::to_string(ch + 1) +
                              std::string(m.name.substr(at + 1));
            }
        }
        return all;
    }();
    return names;
}

const std::string& ListName(const PlanMeasurement& m) {
    static const auto lists = [] {
        std::array<std::string, kMeasurements.size()> all;
        for (const PlanMeasurement& measurement : kMeasurements) {
            all[Index(measurement.quantity)] = std::string(measurement.list);
        }
        return all;
    }();
    return lists[Index(m.quantity)];
}

std::string ShownText(const PlanMeasurement& m, int value, bool judged, bool passed) {
    if (judged && !m.passedText.empty()) {
        return std::string(passed ? m.passedText : m.failedText);
    }
    std::string text = std::to_string(value);
    return m.unit.empty() ? text : text + ' ' + std::string(m.unit);
}

// Builds the readings of one frame in the order they are journaled.
class Readings {
  public:
    Readings(FrameReading& out, const FrameContext& context) : out_(out), context_(context) {}

    // One value, judged where the plan gives it a limit.
    void One(Quantity q, int value, int channel = 0) {
        const PlanMeasurement& m = InPlan(q);
        Reading r{&m, channel, false, {value}, {}, {}};
        if (Judges(m)) {
            r.passed.push_back(m.limit(channel, context_.cashBox).Passes(value));
        }
        r.shown = ShownText(m, value, r.Judged(), r.Passed());
        out_.readings.push_back(std::move(r));
    }
    // The channels of a measurement as one list, each judged against its own channel's limit.
    template <typename Values>
    void Channels(Quantity q, const Values& values) {
        const PlanMeasurement& m = InPlan(q);
        Reading r{&m, 0, true, {}, {}, {}};
        for (std::size_t ch = 0; ch < values.size(); ++ch) {
            const int v = static_cast<int>(values[ch]);
            r.values.push_back(v);
            if (Judges(m)) {
                r.passed.push_back(m.limit(static_cast<int>(ch), context_.cashBox).Passes(v));
            }
        }
        out_.readings.push_back(std::move(r));
    }
    // A list that is shown, not judged (switch positions that are on).
    void List(Quantity q, std::vector<int> values) {
        out_.readings.push_back({&InPlan(q), 0, true, std::move(values), {}, {}});
    }

  private:
    // In the calibration view the sensor stage's values are shown, not judged.
    bool Judges(const PlanMeasurement& m) const {
        return m.Judged() && !(context_.calibMode && m.stage == Stage::Sensor);
    }

    FrameReading& out_;
    const FrameContext& context_;
};

template <typename Values>
std::vector<int> Ints(const Values& values) {
    return {values.begin(), values.end()};
}

std::vector<int> PositionsOn(int count, auto isOn) {
    std::vector<int> on;
    for (int position = 1; position <= count; ++position) {
        if (isOn(position)) {
            on.push_back(position);
        }
    }
    return on;
}

void ReadSensorFrame(const DeviceFrame& frame, const FrameContext& context, FrameReading& r,
                     Readings& out) {
    const SensorFrameData d = DecodeSensorFrame(frame);
    r.sensorBytes9And10 = {d.byte9, d.byte10};
    std::array<std::uint32_t, kChannels> corrected{};
    for (int i = 0; i < kChannels; ++i) {
        corrected[i] = CorrectedSensorValue(i, d.raw[i], context.sensorOffset);
    }
    out.Channels(Quantity::OpticsCorrected, corrected);
    // Judged on the byte before the display limit, as the window does.
    out.Channels(Quantity::OpticsPeak, d.peak);
    out.One(Quantity::SensorOffset, context.sensorOffset);
    out.List(Quantity::Drive, Ints(d.drive));
}

// False for a reply code the window does not handle.
bool Read(const DeviceFrame& f, const FrameContext& context, FrameReading& r) {
    Readings out(r, context);
    switch (f.code()) {
        case reply::Identification:
            r.identification = IdentificationText(f);
            return true;
        case reply::SensorFrame:
        case reply::LastSensorFrame:
            ReadSensorFrame(f, context, r, out);
            return true;
        case reply::MotorRate: {
            const int count = EncoderCount(f);
            r.cashBox = context.cashBox;
            out.One(Quantity::MotorRpm, MotorRpm(count));
            out.One(Quantity::MotorEncoder, count);
            return true;
        }
        case reply::PulseResult:
            out.One(Quantity::Pulse, ResultByte(f));
            r.shown = r.readings.back().shown;
            return true;
        case reply::FishResult:
            out.One(Quantity::Fish, ResultByte(f));
            return true;
        case reply::EepromResult:
            out.One(Quantity::Eeprom, ResultByte(f));
            return true;
        case reply::IoResult:
            out.One(Quantity::Io, ResultByte(f));
            return true;
        case reply::Sw1Positions:
            out.List(Quantity::Sw1, PositionsOn(kSw1Positions, [&](int p) {
                         return Sw1PositionOn(f[3], f[4], p);
                     }));
            return true;
        case reply::Sw2Positions:
            out.List(Quantity::Sw2,
                     PositionsOn(kSw2Positions, [&](int p) { return Sw2PositionOn(f[3], p); }));
            return true;
        case reply::LampStep:
            r.step = ResultByte(f);
            if (*r.step <= kLastLampStep) {
                out.One(Quantity::Lamp, *r.step);  // a step the lamp indicators show
            }
            return true;
        case reply::FishState:
            r.state = ResultByte(f);
            if (const std::string_view text = FishStateText(*r.state); !text.empty()) {
                r.shown = std::string(text);
            }
            return true;
        case reply::HookSensor:
        case reply::InSensor:
            r.state = ResultByte(f);
            return true;
        case reply::SensorReadings:
            r.sensorReadings = Ints(SixValues(f));
            return true;
        case reply::Acknowledge:
            return true;
        case reply::ExchangeSensors: {
            const auto sensors = SixValues(f);
            r.flagged.emplace();
            for (int i = 0; i < kExchangeSensors; ++i) {
                if (sensors[i] != kExchangeNotFlagged) {
                    r.flagged->push_back(i + 1);
                }
                out.One(Quantity::Exchange, sensors[i], i);
            }
            return true;
        }
        case reply::OffsetAndLens: {
            const OffsetAndLensData d = DecodeOffsetAndLens(f);
            r.sensorOffset = d.sensorOffset;
            out.One(Quantity::LensCount, d.lensCount);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

const PlanStage& InPlan(Stage stage) {
    return kStages[Index(stage)];
}

std::optional<Stage> StageStartedBy(std::uint8_t command) {
    const auto it = std::ranges::find(kStages, command, &PlanStage::command);
    return it == kStages.end() ? std::nullopt : std::optional(it->stage);
}

std::optional<Stage> StageAnsweredBy(std::uint8_t replyCode) {
    const auto it = std::ranges::find(kStages, replyCode, &PlanStage::answer);
    return it == kStages.end() ? std::nullopt : std::optional(it->stage);
}

std::string_view FaultName(Stage stage) {
    const PlanStage& s = InPlan(stage);
    return s.faultName.empty() ? s.name : s.faultName;
}

const PlanMeasurement& InPlan(Quantity quantity) {
    return kMeasurements[Index(quantity)];
}

const std::string& MeasurementName(Quantity quantity, int channel) {
    return Names()[Index(quantity)]
                  [static_cast<std::size_t>(std::clamp(channel, 0, kChannels - 1))];
}

NamedMeasurement FindMeasurement(std::string_view name) {
    for (const PlanMeasurement& m : kMeasurements) {
        if (!m.list.empty() && m.list == name) {
            return {&m, 0, true};
        }
        for (int ch = 0; ch < m.Channels(); ++ch) {
            if (MeasurementName(m.quantity, ch) == name) {
                return {&m, ch, false};
            }
        }
    }
    return {};
}

const PlanMeasurement* JudgedMeasurementOf(Stage stage) {
    const auto it = std::ranges::find_if(
        kMeasurements, [&](const PlanMeasurement& m) { return m.stage == stage && m.Judged(); });
    return it == kMeasurements.end() ? nullptr : &*it;
}

bool RecordedIn(const PlanMeasurement& m, bool autoTest) {
    return m.recorded && (autoTest || !m.stage || m.stage == Stage::Sensor);
}

const std::string& PlanVersion() {
    static const std::string version = [] {
        // Everything that decides a verdict or a stage of stop, written out in one text.
        std::string plan;
        for (const PlanStage& s : kStages) {
            plan += std::string(s.name) + ' ' + std::to_string(s.command) + ' ' +
                    std::to_string(s.answer) + ' ' + std::to_string(s.answers) +
                    (s.endedByLoneStop ? " lone" : "") + '\n';
        }
        for (const PlanMeasurement& m : kMeasurements) {
            plan += std::string(m.name) + ' ' + std::string(m.unit) + ' ' +
                    (m.stage ? std::string(InPlan(*m.stage).name) : "-") +
                    (m.recorded ? " recorded" : "");
            for (int ch = 0; m.Judged() && ch < m.Channels(); ++ch) {
                for (bool cashBox : {false, true}) {
                    const Limit l = m.limit(ch, cashBox);
                    plan += ' ' + std::string(ComparisonName(l.comparison)) + ' ' +
                            std::to_string(l.low) + ' ' + std::to_string(l.high);
                }
            }
            plan += '\n';
        }
        // FNV-1a, 64 bits; its first 48 as twelve hexadecimal digits.
        std::uint64_t hash = 0xcbf29ce484222325ULL;
        for (const char c : plan) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        }
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string digest;
        for (int shift = 60; digest.size() < 12; shift -= 4) {
            digest += kDigits[(hash >> shift) & 0xF];
        }
        return digest;
    }();
    return version;
}

const std::string& Reading::Name() const {
    return list && !measurement->list.empty() ? ListName(*measurement)
                                              : MeasurementName(measurement->quantity, channel);
}

const Reading* FrameReading::Find(Quantity quantity, int channel) const {
    for (const Reading& r : readings) {
        if (r.measurement->quantity == quantity && r.channel == channel) {
            return &r;
        }
    }
    return nullptr;
}

FrameReading ReadFrame(const DeviceFrame& frame, const FrameContext& context) {
    FrameReading r;
    r.code = frame.code();
    r.handled = Read(frame, context, r);
    return r;
}

std::string_view FishStateText(int state) {
    static constexpr std::string_view kStates[] = {"Normal", "Fished", "Open_Cover"};  // 1 .. 3
    return state >= 1 && state <= 3 ? kStates[state - 1] : std::string_view();
}

}  // namespace mv62
