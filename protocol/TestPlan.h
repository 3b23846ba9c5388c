#pragma once
// The automatic test as one declared plan: its stages in the order the chain runs them, the
// command that starts each and the reply that answers it, and what each stage measures with its
// unit and the limit it is judged by (or that it is shown and not judged). One function reads a
// device frame into readings with the window's state. The window, the records, the simulator
// and the reports take these facts from here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Frames.h"
#include "HostCommands.h"
#include "ReplyMath.h"

namespace mv62 {

// The stages of the automatic test, in chain order.
enum class Stage : std::uint8_t { Sensor, Motor, Pulse, Fish, Eeprom, Io, Sw1, Sw2, Lamp };

struct PlanStage {
    Stage stage;
    std::string_view name;
    std::uint8_t command;  // the host command that starts it
    std::uint8_t answer;   // the reply code that answers it
    int answers;           // how many of those replies answer it
    // The motor stage also counts as answered once the lone stop byte that ends it went out.
    bool endedByLoneStop;
    // What the simulator calls a unit that fails this stage (--fail); empty: the stage's name.
    std::string_view faultName;
};

// clang-format off
inline constexpr std::array<PlanStage, 9> kStages = {{
    // stage          name      command          answered by             n  lone stop  fault
    {Stage::Sensor, "sensor", cmd::SensorRun,  reply::LastSensorFrame, 1, false,     "optics"},
    {Stage::Motor,  "motor",  cmd::MotorTest,  reply::MotorRate,       3, true,      "motor-speed"},
    {Stage::Pulse,  "pulse",  cmd::PulseTest,  reply::PulseResult,     1, false,     {}},
    {Stage::Fish,   "fish",   cmd::FishTest,   reply::FishResult,      1, false,     {}},
    {Stage::Eeprom, "eeprom", cmd::EepromTest, reply::EepromResult,    1, false,     {}},
    {Stage::Io,     "io",     cmd::IoTest,     reply::IoResult,        1, false,     {}},
    {Stage::Sw1,    "sw1",    cmd::ReadSw1,    reply::Sw1Positions,    1, false,     {}},
    {Stage::Sw2,    "sw2",    cmd::ReadSw2,    reply::Sw2Positions,    1, false,     {}},
    {Stage::Lamp,   "lamp",   cmd::LampTest,   reply::LampStep,        1, false,     {}},
}};
// clang-format on

const PlanStage& InPlan(Stage stage);
// The stage this host command starts; none for other commands.
std::optional<Stage> StageStartedBy(std::uint8_t command);
// The stage whose answer this reply code is; none for other replies.
std::optional<Stage> StageAnsweredBy(std::uint8_t replyCode);
std::string_view FaultName(Stage stage);

// What the station measures, in the order of a run record's measurements.
enum class Quantity : std::uint8_t {
    OpticsCorrected,
    OpticsPeak,
    SensorOffset,
    LensCount,
    MotorRpm,
    MotorEncoder,
    Pulse,
    Fish,
    Eeprom,
    Io,
    Sw1,
    Sw2,
    Lamp,
    Exchange,
    Drive,
};

// How the limit of a measurement follows from the channel and from CashBox.
using LimitRule = Limit (*)(int channel, bool cashBox);

struct PlanMeasurement {
    Quantity quantity;
    // The measurement's name; with '#' for the channel number where it has one per channel.
    std::string_view name;
    // Channels journaled together as one list under this name; empty: each on its own.
    std::string_view list;
    std::string_view unit;  // empty: no unit
    // The stage that measures it; none for what the device reports on its own.
    std::optional<Stage> stage;
    LimitRule limit;  // none: shown, not judged
    // The window's text for a passed and a failed value where it is not the value itself.
    std::string_view passedText;
    std::string_view failedText;
    bool recorded;  // a measurement of the run record (the drive values are only journaled)

    bool Judged() const { return limit != nullptr; }
    int Channels() const { return name.find('#') == std::string_view::npos ? 1 : kChannels; }
};

namespace limits {
constexpr Limit Corrected(int channel, bool) {
    return CalibLimit(channel);
}
constexpr Limit Peak(int channel, bool) {
    return PeakLimit(channel);
}
constexpr Limit MotorSpeed(int, bool cashBox) {
    return MotorRpmLimit(cashBox);
}
constexpr Limit Encoder(int, bool) {
    return kEncoderLimit;
}
constexpr Limit Pulse(int, bool) {
    return kPulseLimit;
}
constexpr Limit Result(int, bool) {
    return kResultLimit;
}
}  // namespace limits

// clang-format off
inline constexpr std::array<PlanMeasurement, 15> kMeasurements = {{
    // quantity                name                    journal list        unit       stage          limit               shown as         recorded
    {Quantity::OpticsCorrected, "optics.ch#.corrected", "optics.corrected", {},        Stage::Sensor, limits::Corrected,  {}, {},          true},
    {Quantity::OpticsPeak,      "optics.ch#.peak",      "optics.peak",      {},        Stage::Sensor, limits::Peak,       {}, {},          true},
    {Quantity::SensorOffset,    "optics.sensor_offset", {},                 {},        Stage::Sensor, nullptr,            {}, {},          true},
    {Quantity::LensCount,       "optics.lens_count",    {},                 {},        std::nullopt,  nullptr,            {}, {},          true},
    {Quantity::MotorRpm,        "motor.rpm",            {},                 "rpm",     Stage::Motor,  limits::MotorSpeed, {}, {},          true},
    {Quantity::MotorEncoder,    "motor.encoder",        {},                 "gap/sec", Stage::Motor,  limits::Encoder,    {}, {},          true},
    {Quantity::Pulse,           "pulse",                {},                 {},        Stage::Pulse,  limits::Pulse,      "10", "ERROR",   true},
    {Quantity::Fish,            "fish",                 {},                 {},        Stage::Fish,   limits::Result,     {}, {},          true},
    {Quantity::Eeprom,          "eeprom",               {},                 {},        Stage::Eeprom, limits::Result,     {}, {},          true},
    {Quantity::Io,              "io",                   {},                 {},        Stage::Io,     limits::Result,     {}, {},          true},
    {Quantity::Sw1,             "sw1",                  {},                 {},        Stage::Sw1,    nullptr,            {}, {},          true},
    {Quantity::Sw2,             "sw2",                  {},                 {},        Stage::Sw2,    nullptr,            {}, {},          true},
    {Quantity::Lamp,            "lamp",                 {},                 {},        Stage::Lamp,   nullptr,            {}, {},          true},
    {Quantity::Exchange,        "exchange.s#",          {},                 {},        std::nullopt,  nullptr,            {}, {},          true},
    {Quantity::Drive,           "optics.drive",         {},                 {},        Stage::Sensor, nullptr,            {}, {},          false},
}};
// clang-format on

const PlanMeasurement& InPlan(Quantity quantity);
// The name of one channel's measurement ("optics.ch3.corrected"); the name itself for a
// measurement without channels.
const std::string& MeasurementName(Quantity quantity, int channel = 0);
// The measurement of this name (a channel's name, or a journal list's name), with its channel.
struct NamedMeasurement {
    const PlanMeasurement* measurement = nullptr;
    int channel = 0;
    bool list = false;  // the name of a journal list
};
NamedMeasurement FindMeasurement(std::string_view name);

// The first measurement of a stage that is judged; none for a stage that only shows values.
const PlanMeasurement* JudgedMeasurementOf(Stage stage);

// What a run of each kind records: every stage's measurements for the automatic test; for a
// calibration run the sensor stage's and what the device reports on its own.
bool RecordedIn(const PlanMeasurement& m, bool autoTest);

// The window's state that judging a frame depends on, taken when the window applies it.
struct FrameContext {
    bool cashBox = false;   // CashBox ticked: the motor speed limit
    int sensorOffset = 0;   // the offset the sensor values are corrected with
    bool calibMode = true;  // calibration view: the sensor stage's values are shown, not judged
};

// One value a frame measured, with its verdict when the window judges it and the text the
// window shows for it.
struct Reading {
    const PlanMeasurement* measurement = nullptr;
    int channel = 0;           // for a channel journaled on its own
    bool list = false;         // the values are a list (channels, positions on)
    std::vector<int> values;   // one value, or the list
    std::vector<bool> passed;  // one verdict per value; empty: shown, not judged
    std::string shown;         // the window's text for a single value

    const std::string& Name() const;  // the measurement's name, or its journal list's
    int Value() const { return values.empty() ? 0 : values.front(); }
    bool Judged() const { return !passed.empty(); }
    bool Passed() const { return !passed.empty() && passed.front(); }
};

// What an applied frame says: the readings of what it measured, and its decoded values.
struct FrameReading {
    std::uint8_t code = 0;
    bool handled = false;  // a reply code the window handles
    std::vector<Reading> readings;

    std::optional<std::string> identification;       // 0x00
    std::optional<bool> cashBox;                     // 0x03: CashBox as the speed limit was chosen
    std::optional<std::string> shown;                // 0x04 and 0x20: the text the window shows
    std::optional<int> step;                         // 0x05
    std::optional<int> state;                        // 0x20 .. 0x22
    std::optional<std::vector<int>> sensorReadings;  // 0x23
    std::optional<std::vector<int>> flagged;         // 0x25: the exchange sensors that are flagged
    std::optional<int> sensorOffset;                 // 0x27
    // A sensor frame's bytes 9 and 10, shown in two hidden labels; the journal has the bytes.
    std::array<int, 2> sensorBytes9And10{};

    const Reading* Find(Quantity quantity, int channel = 0) const;
};

// A short, stable digest of the plan's stages and limits ("3f9a2c1b07d4"): records judged under
// other limits carry another.
const std::string& PlanVersion();

// Decodes and judges a frame the window applies, with the window's state.
FrameReading ReadFrame(const DeviceFrame& frame, const FrameContext& context);

// The fish sensor's states 1 .. 3 as the maintenance panel shows them; empty for other values.
std::string_view FishStateText(int state);

}  // namespace mv62
