// The MV62 simulator: decoder, device model, pacing and options on a virtual clock, and one run
// of the real program on a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "Replies.h"
#include "sim/CommandDecoder.h"
#include "sim/DeviceModel.h"
#include "sim/LinePacer.h"
#include "sim/Options.h"
#include "sim/Replay.h"

using namespace mv62sim;
using std::chrono::milliseconds;

namespace {

// Frame lengths of the device replies as the station expects them, written out here on purpose:
// a wrong length in the shared frame table must not pass because the simulator uses it too.
const std::map<std::uint8_t, std::size_t> kStationFrameLength = {
    {0x00, 26}, {0x02, 33}, {0x03, 5}, {0x04, 4}, {0x05, 4},  {0x06, 5},
    {0x07, 4},  {0x08, 4},  {0x09, 4}, {0x10, 4}, {0x20, 4},  {0x21, 4},
    {0x22, 4},  {0x23, 9},  {0x24, 4}, {0x25, 9}, {0x26, 33}, {0x27, 6}};

HostCommand Cmd(std::uint8_t code, Bytes params = {}) {
    return HostCommand{HostCommand::Kind::Framed, code, std::move(params)};
}
const HostCommand kLoneStop{HostCommand::Kind::LoneStop, kStopCode, {}};

// Everything the model sends from `from` until it has nothing planned, or until `until`.
std::vector<Emission> RunUntilIdle(DeviceModel& model,
                                   SimTime until = SimTime{milliseconds(60000)}) {
    std::vector<Emission> all;
    while (auto next = model.NextDue()) {
        if (*next > until) {
            break;
        }
        for (Emission& e : model.TakeDue(*next)) {
            all.push_back(std::move(e));
        }
    }
    return all;
}

std::vector<std::uint8_t> Codes(const std::vector<Emission>& out) {
    std::vector<std::uint8_t> codes;
    for (const Emission& e : out) {
        codes.push_back(e.bytes.at(2));
    }
    return codes;
}

// The station's correction of a raw sensor value with sensor offset k, and its targets and
// minimums, worked out on their own: the simulator aims at the shared limits, and this checks
// that it hits the station's.
std::uint32_t StationCorrected(int channel, int raw, int k) {
    const int c =
        channel == 1 ? raw + static_cast<int>(std::ceil(7.0 * k / 9.0)) - 8 : raw - (8 - k) / 3;
    const auto u = static_cast<std::uint32_t>(c);
    return u > 200 ? 200 : u;
}
constexpr std::array<int, 6> kTarget = {20, 50, 20, 20, 20, 20};
constexpr std::array<int, 6> kMinimumPeak = {40, 55, 40, 40, 40, 40};

bool ChannelPasses(const Bytes& frame, int ch, int k) {
    const std::uint32_t c = StationCorrected(ch, frame[3 + ch], k);
    const int peak = frame[27 + ch];
    return std::abs(static_cast<int>(c) - kTarget[ch]) <= 4 && peak >= kMinimumPeak[ch];
}

}  // namespace

TEST(SimDecoder, CommandsSplitAcrossReadsAndParameters) {
    CommandDecoder d;
    SimTime t{};
    EXPECT_TRUE(d.Feed(Bytes{0x55}, t).empty());
    EXPECT_TRUE(d.Feed(Bytes{0xAA}, t).empty());
    auto out = d.Feed(Bytes{0x07, 0x55, 0xAA, 0x01, 0x09}, t);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].command.code, 0x07);
    EXPECT_TRUE(d.InCommand());

    // 0x01 takes three parameter bytes, whatever their values (0x55, 0xED are data here).
    out = d.Feed(Bytes{0x55, 0xED, 0x55, 0xAA, 0x02}, t);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].command.code, 0x01);
    EXPECT_EQ(out[0].command.params, (Bytes{0x09, 0x55, 0xED}));
    EXPECT_EQ(out[1].command.code, 0x02);

    // 0x51 takes thirty.
    Bytes mask(30);
    for (int i = 0; i < 30; ++i) {
        mask[i] = static_cast<std::uint8_t>(i % 2 ? 0x55 : 0xAA);
    }
    Bytes command{0x55, 0xAA, 0x51};
    command.insert(command.end(), mask.begin(), mask.end());
    command.insert(command.end(), {0x55, 0xAA, 0x00});
    out.clear();
    for (std::uint8_t b : command) {  // one byte per read
        for (auto& item : d.Feed(Bytes{b}, t)) {
            out.push_back(item);
        }
    }
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].command.code, 0x51);
    EXPECT_EQ(out[0].command.params, mask);
    EXPECT_EQ(out[0].bytes.size(), 33u);
    EXPECT_EQ(out[1].command.code, 0x00);
}

TEST(SimDecoder, GarbageLoneStopAndResynchronisation) {
    CommandDecoder d;
    const SimTime t{};
    // Noise, a false start (55 55), then a real command.
    auto out = d.Feed(Bytes{0x12, 0x34, 0x55, 0x55, 0xAA, 0x07}, t);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].kind, DecodedItem::Kind::Garbage);
    EXPECT_EQ(out[0].bytes, (Bytes{0x12, 0x34, 0x55}));
    EXPECT_EQ(out[1].command.code, 0x07);

    // A lone ED, one after a broken header, and the framed stop 55 AA ED.
    out = d.Feed(Bytes{0xED, 0x55, 0xED, 0xAA, 0x11, 0x55, 0xAA, 0xED}, t);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0].command.kind, HostCommand::Kind::LoneStop);
    EXPECT_EQ(out[1].bytes, Bytes{0x55});
    EXPECT_EQ(out[2].command.kind, HostCommand::Kind::LoneStop);
    EXPECT_EQ(out[3].bytes, (Bytes{0xAA, 0x11}));
    EXPECT_EQ(out[4].command.kind, HostCommand::Kind::Framed);
    EXPECT_EQ(out[4].command.code, kStopCode);

    // A command cut off by lost bytes is given up after a pause instead of swallowing the next.
    EXPECT_TRUE(d.Feed(Bytes{0x55, 0xAA, 0x51, 0x01}, t).empty());
    out = d.Feed(Bytes{0x55, 0xAA, 0x02}, t + milliseconds(600));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, (Bytes{0x55, 0xAA, 0x51, 0x01}));
    EXPECT_EQ(out[1].command.code, 0x02);
    // A short pause inside a command is fine.
    EXPECT_TRUE(d.Feed(Bytes{0x55, 0xAA, 0x01, 0x00}, t).empty());
    out = d.Feed(Bytes{0x03, 0xFF}, t + milliseconds(100));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].command.params, (Bytes{0x00, 0x03, 0xFF}));
}

TEST(SimDecoder, LogLines) {
    EXPECT_EQ(CommandLogLine(Cmd(0x07)), "rx 55 AA 07 motor test");
    EXPECT_EQ(CommandLogLine(kLoneStop), "rx ED (lone stop)");
    EXPECT_EQ(CommandLogLine(Cmd(0x01, {0x08, 0x01, 0xFF})),
              "rx 55 AA 01 08 01 FF set DAC channel 8 (D7) to 511");
    EXPECT_EQ(CommandLogLine(Cmd(0x40)), "rx 55 AA 40 pilot lamp outputs 1 on, 2 off, 3 on");
    EXPECT_EQ(CommandLogLine(Cmd(0x51, Bytes(30, 0x81))),
              "rx 55 AA 51 +30 bytes write country mask (60 countries)");
    EXPECT_EQ(CommandLogLine(Cmd(0x3A)), "rx 55 AA 3A unknown command");
}

TEST(SimModel, IdentificationOffsetAndExchangeSensors) {
    DeviceConfig config;
    config.ident = "MV62 TEST";
    config.sensorOffset = -5;
    DeviceModel model(config);
    const SimTime t{milliseconds(1000)};
    model.Receive(Cmd(0x00), t);
    auto now = model.TakeDue(t);
    ASSERT_EQ(now.size(), 1u);  // the other two follow later, each on its own
    const Bytes& ident = now[0].bytes;
    ASSERT_EQ(ident.size(), 26u);
    EXPECT_EQ(std::string(ident.begin() + 3, ident.begin() + 12), "MV62 TEST");
    EXPECT_TRUE(std::all_of(ident.begin() + 12, ident.end(), [](auto b) { return b == 0; }));

    auto later = RunUntilIdle(model);
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(later[0].bytes, (Bytes{0x55, 0xAA, 0x27, 95, 0x04, 0xD2}));
    EXPECT_EQ(later[1].bytes, (Bytes{0x55, 0xAA, 0x25, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_GE(later[0].at - t, milliseconds(150));
    EXPECT_GE(later[1].at - later[0].at, milliseconds(150));
}

TEST(SimModel, SensorRunEndsWithLastFrameAndReportsDriveValues) {
    DeviceModel model{DeviceConfig{}};
    model.Receive(Cmd(0x01, {0x09, 0x03, 0xFF}), SimTime{});  // D8 = 1023
    model.Receive(Cmd(0x01, {0x07, 0x00, 0x01}), SimTime{});  // no such channel
    model.Receive(Cmd(0x02), SimTime{});
    const auto out = RunUntilIdle(model);
    ASSERT_EQ(out.size(), 31u);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const Bytes& f = out[i].bytes;
        ASSERT_EQ(f.size(), 33u);
        EXPECT_EQ(f[2], i < 30 ? 0x02 : 0x26);
        for (int d = 0; d < 7; ++d) {
            EXPECT_EQ(f[11 + 2 * d] * 256 + f[12 + 2 * d], 512);
        }
        EXPECT_EQ(f[25] * 256 + f[26], 1023);
        if (i > 0) {
            EXPECT_GE(out[i].at - out[i - 1].at, milliseconds(100));
        }
    }
    EXPECT_TRUE(out[29].routine);  // the closing frame is always logged
    EXPECT_FALSE(out[30].routine);
}

TEST(SimModel, StopEndsSensorRunMotorAndLampTest) {
    for (const HostCommand& stop : {Cmd(kStopCode), kLoneStop}) {
        DeviceModel model{DeviceConfig{}};
        model.Receive(Cmd(0x02), SimTime{});
        model.Receive(Cmd(0x07), SimTime{});
        model.Receive(Cmd(0x14), SimTime{});
        EXPECT_EQ(model.CurrentOutputs().transportMotor, 1);
        auto before = RunUntilIdle(model, SimTime{milliseconds(550)});
        const auto notes = model.Receive(stop, SimTime{milliseconds(560)});
        EXPECT_EQ(notes.size(), 4u);  // sensor run, motor test, lamp test, motor
        EXPECT_FALSE(model.NextDue().has_value());
        EXPECT_EQ(model.CurrentOutputs().transportMotor, 0);
        const auto codes = Codes(before);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x02), 5);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x26), 0);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x03), 1);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x05), 2);
    }
}

TEST(SimModel, MotorRepliesAndLampSteps) {
    DeviceModel model{DeviceConfig{}};
    model.Receive(Cmd(0x07), SimTime{});
    auto out = RunUntilIdle(model);
    ASSERT_EQ(out.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i].bytes, (Bytes{0x55, 0xAA, 0x03, 0x03, 0x20}));  // 800: 4320 rpm
        EXPECT_EQ(out[i].at, SimTime{milliseconds(300 * (i + 1))});
    }
    EXPECT_EQ(model.CurrentOutputs().transportMotor, 1);  // until a stop

    model.Receive(Cmd(0x14), SimTime{milliseconds(5000)});
    out = RunUntilIdle(model);
    ASSERT_EQ(out.size(), 4u);
    for (std::uint8_t step = 0; step < 4; ++step) {
        EXPECT_EQ(out[step].bytes, (Bytes{0x55, 0xAA, 0x05, step}));
        EXPECT_EQ(out[step].at, SimTime{milliseconds(5000 + 500 * step)});
    }
}

TEST(SimModel, TestResultsFaultsAndSilentCodes) {
    auto replies = [](const DeviceConfig& config) {
        DeviceModel model(config);
        std::vector<Bytes> frames;
        for (std::uint8_t code : {0x08, 0x11, 0x12, 0x13, 0x15, 0x16, 0x07}) {
            model.Receive(Cmd(code), SimTime{});
            for (const Emission& e : RunUntilIdle(model)) {
                frames.push_back(e.bytes);
            }
        }
        return frames;
    };
    const std::vector<Bytes> passing = {
        {0x55, 0xAA, 0x04, 0x10},       {0x55, 0xAA, 0x08, 1},
        {0x55, 0xAA, 0x09, 1},          {0x55, 0xAA, 0x10, 1},
        {0x55, 0xAA, 0x06, 0x02, 0x81}, {0x55, 0xAA, 0x07, 0x05},
        {0x55, 0xAA, 0x03, 0x03, 0x20}, {0x55, 0xAA, 0x03, 0x03, 0x20},
        {0x55, 0xAA, 0x03, 0x03, 0x20}};
    EXPECT_EQ(replies(DeviceConfig{}), passing);

    DeviceConfig failing;
    for (auto f : {Fault::Pulse, Fault::Fish, Fault::Eeprom, Fault::Io, Fault::Motor}) {
        failing.faults.insert(f);
    }
    const std::vector<Bytes> failed = {
        {0x55, 0xAA, 0x04, 0x00},       {0x55, 0xAA, 0x08, 0},
        {0x55, 0xAA, 0x09, 0},          {0x55, 0xAA, 0x10, 0},
        {0x55, 0xAA, 0x06, 0x02, 0x81}, {0x55, 0xAA, 0x07, 0x05},
        {0x55, 0xAA, 0x03, 0x01, 0x90}, {0x55, 0xAA, 0x03, 0x01, 0x90},
        {0x55, 0xAA, 0x03, 0x01, 0x90}};
    EXPECT_EQ(replies(failing), failed);

    DeviceConfig silent;
    silent.silent = {0x11, 0x07, kStopCode};
    auto frames = replies(silent);
    EXPECT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[1], (Bytes{0x55, 0xAA, 0x09, 1}));
    DeviceModel model(silent);
    model.Receive(Cmd(0x02), SimTime{});
    model.Receive(kLoneStop, SimTime{});  // not heard: the run goes on to its 0x26
    EXPECT_EQ(Codes(RunUntilIdle(model)).back(), 0x26);
    model.Receive(Cmd(0x42), SimTime{});  // unknown outside maintenance mode: nothing
    model.Receive(Cmd(0x99), SimTime{});
    EXPECT_FALSE(model.NextDue().has_value());
}

TEST(SimModel, MaintenanceModeReportsAndManualOutputs) {
    DeviceModel model{DeviceConfig{}};
    model.Receive(Cmd(0x32), SimTime{});  // not in maintenance mode: ignored
    EXPECT_EQ(model.CurrentOutputs().transportMotor, 0);

    model.Receive(Cmd(0x30), SimTime{});
    auto out = RunUntilIdle(model, SimTime{milliseconds(1000)});
    EXPECT_EQ(Codes(out),
              (std::vector<std::uint8_t>{0x20, 0x21, 0x22, 0x23, 0x20, 0x21, 0x22, 0x23}));
    EXPECT_EQ(out[0].bytes[3], 1);  // fish: normal
    EXPECT_EQ(out[2].bytes[3], 0);  // in sensor: nothing passes
    EXPECT_EQ(out[3].bytes, Bytes({0x55, 0xAA, 0x23, 0, 0, 0, 0, 0, 0}));  // LEDs off

    const SimTime t{milliseconds(1000)};
    for (std::uint8_t code : {0x32, 0x43, 0x40, 0x47}) {
        model.Receive(Cmd(code), t);
    }
    EXPECT_EQ(model.CurrentOutputs().transportMotor, 1);
    EXPECT_EQ(model.CurrentOutputs().cashMotor, 1);
    EXPECT_TRUE(model.CurrentOutputs().led);
    EXPECT_EQ(model.CurrentOutputs().lamps, (std::array<bool, 3>{true, false, true}));
    out = RunUntilIdle(model, SimTime{milliseconds(1500)});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[2].bytes[3], 1);        // the transport carries something past the in sensor
    EXPECT_NEAR(out[3].bytes[4], 58, 2);  // sensor readings with the LEDs on
    model.Receive(Cmd(0x50), SimTime{milliseconds(1500)});
    EXPECT_EQ(RunUntilIdle(model, SimTime{milliseconds(1800)})[0].bytes[3], 1);  // hook at home

    model.Receive(Cmd(0x31), SimTime{milliseconds(2000)});
    EXPECT_FALSE(model.NextDue().has_value());
    model.Receive(Cmd(0x30), SimTime{milliseconds(2000)});
    model.Receive(Cmd(0x00), SimTime{milliseconds(2000)});  // a new link: back to normal mode
    EXPECT_FALSE(model.MaintenanceMode());
    EXPECT_EQ(Codes(RunUntilIdle(model)), (std::vector<std::uint8_t>{0x00, 0x27, 0x25}));
}

TEST(SimModel, CountryMaskEepromAndDefaultDac) {
    DeviceModel model{DeviceConfig{}};
    Bytes mask(30, 0);
    mask[0] = 0x80;
    mask[29] = 0x01;
    model.Receive(Cmd(0x51, mask), SimTime{});
    model.Receive(Cmd(0x01, {0x00, 0x01, 0x02}), SimTime{});
    model.Receive(Cmd(0x54), SimTime{});
    auto out = RunUntilIdle(model);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, (Bytes{0x55, 0xAA, 0x24, 0x01}));
    const Bytes& dump = out[1].bytes;
    ASSERT_EQ(dump.size(), 256u);
    EXPECT_FALSE(out[1].framed);
    EXPECT_EQ(Bytes(dump.begin() + kEepromCountry, dump.begin() + kEepromCountry + 30), mask);
    EXPECT_EQ(dump[kEepromDac], 0x01);
    EXPECT_EQ(dump[kEepromDac + 1], 0x02);

    model.Receive(Cmd(0x52), SimTime{});
    EXPECT_EQ(model.Dac()[0], kDefaultDac);
    model.Receive(Cmd(0x53), SimTime{});
    model.Receive(Cmd(0x54), SimTime{});
    out = RunUntilIdle(model);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, Bytes(256, 0xFF));
}

TEST(SimModel, EveryFrameHasTheLengthTheStationExpects) {
    DeviceConfig config;
    config.faults = {Fault::Fish};
    DeviceModel model(config);
    for (int code = 0; code < 0x60; ++code) {
        if (code != 0x54 && code != 0x31 && code != kStopCode) {
            model.Receive(Cmd(static_cast<std::uint8_t>(code),
                              Bytes(ParameterCount(static_cast<std::uint8_t>(code)), 0x01)),
                          SimTime{});
        }
    }
    int frames = 0;
    for (const Emission& e : RunUntilIdle(model, SimTime{milliseconds(5000)})) {
        ASSERT_TRUE(kStationFrameLength.count(e.bytes[2])) << int(e.bytes[2]);
        EXPECT_EQ(e.bytes.size(), kStationFrameLength.at(e.bytes[2]));
        EXPECT_EQ(e.bytes[0], 0x55);
        EXPECT_EQ(e.bytes[1], 0xAA);
        ++frames;
    }
    EXPECT_GT(frames, 40);
}

TEST(SimModel, SensorFramesPassTheStationLimitsUnlessOpticsFail) {
    EXPECT_EQ(RawForCorrected(0, 20, 0), 22);
    EXPECT_EQ(RawForCorrected(1, 50, 0), 58);
    for (int k : {-100, -9, -5, -2, 0, 9, 10, 50}) {
        DeviceConfig config;
        config.sensorOffset = k;
        for (int frame = 0; frame < 100; ++frame) {
            const SensorSample s = MakeSensorSample(config, frame);
            EXPECT_FALSE(s.clipped);
            mv62::SensorFrameData data;
            data.raw = s.raw;
            data.peak = s.peak;
            const Bytes f = mv62::EncodeSensorFrame(mv62::reply::SensorFrame, data);
            for (int ch = 0; ch < 6; ++ch) {
                EXPECT_TRUE(ChannelPasses(f, ch, k))
                    << "offset " << k << " frame " << frame << " channel " << ch;
            }
        }
    }
    DeviceConfig failing;
    failing.faults = {Fault::Sensor};
    DeviceModel model(failing);
    model.Receive(Cmd(0x02), SimTime{});
    for (const Emission& e : RunUntilIdle(model)) {
        for (int ch = 0; ch < 6; ++ch) {
            EXPECT_GT(
                std::abs(static_cast<int>(StationCorrected(ch, e.bytes[3 + ch], 0)) - kTarget[ch]),
                4);
            EXPECT_LT(e.bytes[27 + ch], kMinimumPeak[ch]);
        }
    }
    DeviceConfig outOfReach;
    outOfReach.sensorOffset = 155;
    EXPECT_TRUE(MakeSensorSample(outOfReach, 0).clipped);
}

// What a device without a population answers to a whole session, every byte and its time,
// folded into one number taken from the simulator before populations came: they must leave it
// exactly as it was, and settings of a population that is not turned on must do nothing.
TEST(SimModel, WithoutAPopulationTheDeviceAnswersAsItAlwaysHas) {
    auto sessionDigest = [](const DeviceConfig& config) {
        DeviceModel model(config);
        std::uint64_t digest = 14695981039346656037u;  // FNV-1a
        auto fold = [&digest](std::uint64_t value) {
            for (int i = 0; i < 8; ++i) {
                digest = (digest ^ ((value >> (8 * i)) & 0xFF)) * 1099511628211u;
            }
        };
        const std::vector<std::pair<int, HostCommand>> session = {
            {0, Cmd(0x00)},         {1000, Cmd(0x02)},  {5000, Cmd(0x07)},  {6500, kLoneStop},
            {6600, Cmd(0x08)},      {6700, Cmd(0x11)},  {6800, Cmd(0x12)},  {6900, Cmd(0x13)},
            {7000, Cmd(0x15)},      {7100, Cmd(0x16)},  {7200, Cmd(0x14)},  {9500, Cmd(0x02)},
            {9800, Cmd(kStopCode)}, {10000, Cmd(0x30)}, {10100, Cmd(0x47)}, {10200, Cmd(0x32)},
            {12000, Cmd(0x31)}};
        for (const auto& [ms, command] : session) {
            const SimTime at{milliseconds(ms)};
            for (const Emission& e : RunUntilIdle(model, at)) {
                fold(static_cast<std::uint64_t>(e.at.count()));
                for (std::uint8_t b : e.bytes) {
                    fold(b);
                }
            }
            model.Receive(command, at);
        }
        for (const Emission& e : RunUntilIdle(model)) {
            fold(static_cast<std::uint64_t>(e.at.count()));
            for (std::uint8_t b : e.bytes) {
                fold(b);
            }
        }
        return digest;
    };
    DeviceConfig plain;
    EXPECT_EQ(sessionDigest(plain), 0x9550b1f1278dae83u);
    DeviceConfig failing;
    failing.faults = {Fault::Sensor, Fault::Motor, Fault::Eeprom};
    failing.sensorOffset = -7;
    EXPECT_EQ(sessionDigest(failing), 0xe6734e47412d0c17u);
    plain.population.spread = 3;
    plain.population.driftPerUnit[2] = 0.5;
    plain.population.failRate[Fault::Io] = 1;
    EXPECT_EQ(sessionDigest(plain), 0x9550b1f1278dae83u);
}

namespace {

// What the station reads of one unit in an automatic test: the sensor run to its closing frame,
// the motor test, and the pulse, fish, EEPROM and I/O tests.
struct TestedUnit {
    std::vector<std::string> notes;  // the log's lines for the sensor run command
    std::array<int, 6> corrected{};  // of the closing frame, as the station corrects it
    std::array<int, 6> peak{};
    int widestWander = 0;  // how far the run's other frames stray from the closing one
    int motorCount = 0;
    std::map<std::uint8_t, std::uint8_t> results;  // function test reply code: result byte
    Bytes sent;                                    // every byte, for comparing units
};

TestedUnit TestOneUnit(DeviceModel& model, SimTime& now) {
    TestedUnit unit;
    const int k = model.Config().sensorOffset;
    auto run = [&](const HostCommand& command) {
        const auto notes = model.Receive(command, now);
        if (command.code == 0x02) {
            unit.notes = notes;
        }
        auto out = RunUntilIdle(model, now + milliseconds(60000));
        for (const Emission& e : out) {
            unit.sent.insert(unit.sent.end(), e.bytes.begin(), e.bytes.end());
            now = e.at;
        }
        return out;
    };
    const auto frames = run(Cmd(0x02));
    const Bytes& last = frames.back().bytes;
    EXPECT_EQ(last[2], 0x26);
    for (int ch = 0; ch < 6; ++ch) {
        unit.corrected[ch] = static_cast<int>(StationCorrected(ch, last[3 + ch], k));
        unit.peak[ch] = last[27 + ch];
        for (const Emission& e : frames) {
            const int c = static_cast<int>(StationCorrected(ch, e.bytes[3 + ch], k));
            unit.widestWander = std::max({unit.widestWander, std::abs(c - unit.corrected[ch]),
                                          std::abs(e.bytes[27 + ch] - unit.peak[ch])});
        }
    }
    const auto motor = run(Cmd(0x07));
    unit.motorCount = motor.back().bytes[3] * 256 + motor.back().bytes[4];
    run(kLoneStop);
    for (std::uint8_t code : {0x08, 0x11, 0x12, 0x13}) {
        const auto reply = run(Cmd(code));
        unit.results[reply.at(0).bytes[2]] = reply.at(0).bytes[3];
    }
    return unit;
}

struct Spread {
    double mean = 0;
    double sd = 0;  // sample standard deviation
};
template <typename Values>
Spread SpreadOf(const Values& values) {
    Spread s;
    for (double v : values) {
        s.mean += v / values.size();
    }
    for (double v : values) {
        s.sd += (v - s.mean) * (v - s.mean) / (values.size() - 1);
    }
    s.sd = std::sqrt(s.sd);
    return s;
}

}  // namespace

// A line of 1000 units: the values spread as asked around the good ones, the drifting channel's
// mean moves as asked, and a test fails at its rate while the others pass. Bounds are four
// standard errors wide, so that a sound simulator fails them about once in 15,000 seeds; the
// seed is fixed, so a test run never fails by chance.
TEST(SimPopulation, ValuesSpreadDriftAndFailAsAsked) {
    constexpr int kUnits = 1000;
    constexpr double kSpread = 1.5;
    constexpr double kDrift = -0.005;  // channel 3: past its lower limit after 800 units
    constexpr double kEepromRate = 0.1;
    DeviceConfig config;
    config.sensorOffset = -5;
    config.population.enabled = true;
    config.population.spread = kSpread;
    config.population.driftPerUnit[2] = kDrift;
    config.population.failRate[Fault::Eeprom] = kEepromRate;
    config.population.seed = 7;
    DeviceModel model(config);

    std::array<std::vector<double>, 6> corrected;  // channel 3 with its drift taken off
    std::vector<double> channel3, peaks, counts;
    int eepromFailed = 0;
    int widestWander = 0;
    SimTime now{};
    for (int n = 1; n <= kUnits; ++n) {
        const TestedUnit unit = TestOneUnit(model, now);
        // The log names the values the station reads.
        std::string logged = "unit " + std::to_string(n) + ": optics";
        for (int value : unit.corrected) {
            logged += ' ' + std::to_string(value);
        }
        ASSERT_EQ(unit.notes.at(0).rfind(logged + ", peaks ", 0), 0u) << unit.notes[0];
        const bool madeToFail = unit.notes[0].find("made to fail eeprom") != std::string::npos;
        EXPECT_EQ(madeToFail, unit.results.at(0x09) == 0) << unit.notes[0];  // EEPROM result
        eepromFailed += madeToFail;
        EXPECT_EQ(n > 1, unit.notes[0].find("drifted ch3 -") != std::string::npos);
        widestWander = std::max(widestWander, unit.widestWander);
        EXPECT_EQ(unit.results,
                  (std::map<std::uint8_t, std::uint8_t>{
                      {0x04, 0x10}, {0x08, 1}, {0x09, madeToFail ? 0 : 1}, {0x10, 1}}));
        for (int ch = 0; ch < 6; ++ch) {
            corrected[ch].push_back(unit.corrected[ch] - (ch == 2 ? kDrift * (n - 1) : 0));
            peaks.push_back(unit.peak[ch]);
        }
        channel3.push_back(unit.corrected[2]);
        counts.push_back(unit.motorCount);
    }

    EXPECT_EQ(widestWander, 1);  // the frames of a run stay close to the unit's values

    // The closing frame carries whole values: rounding adds a twelfth to the variance.
    const double sd = std::sqrt(kSpread * kSpread + 1.0 / 12);
    auto expectSpread = [](const std::vector<double>& values, double mean, double sd) {
        const Spread s = SpreadOf(values);
        const double n = static_cast<double>(values.size());
        EXPECT_NEAR(s.mean, mean, 4 * sd / std::sqrt(n));
        EXPECT_NEAR(s.sd, sd, 4 * sd / std::sqrt(2 * (n - 1)));
    };
    for (int ch = 0; ch < 6; ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch + 1));
        expectSpread(corrected[ch], mv62::CalibTarget[ch], sd);
    }
    expectSpread(peaks, kNormalPeak, sd);
    expectSpread(counts, config.motorCount, kSpread * kEncoderCountsPerSpread);

    // Channel 3 itself: its least-squares slope over the units is the drift.
    double xMean = (kUnits + 1) / 2.0, sxx = 0, sxy = 0;
    const double yMean = SpreadOf(channel3).mean;
    for (int i = 0; i < kUnits; ++i) {
        sxx += (i + 1 - xMean) * (i + 1 - xMean);
        sxy += (i + 1 - xMean) * (channel3[i] - yMean);
    }
    EXPECT_NEAR(sxy / sxx, kDrift, 4 * sd / std::sqrt(sxx));
    EXPECT_NEAR(yMean, mv62::CalibTarget[2] + kDrift * (kUnits - 1) / 2,
                4 * sd / std::sqrt(kUnits));

    const double failSd = std::sqrt(kUnits * kEepromRate * (1 - kEepromRate));
    EXPECT_NEAR(eepromFailed, kUnits * kEepromRate, 4 * failSd);
}

// The same settings and seed give the same units; another seed others. A fail rate given leaves
// the values as they were; --fail makes every unit fail that test.
TEST(SimPopulation, TheSeedDecidesTheUnits) {
    auto line = [](std::uint64_t seed, std::map<Fault, double> rates = {},
                   std::set<Fault> faults = {}) {
        DeviceConfig config;
        config.sensorFrames = 3;
        config.faults = std::move(faults);
        config.population.enabled = true;
        config.population.spread = 2;
        config.population.failRate = std::move(rates);
        config.population.seed = seed;
        DeviceModel model(config);
        std::vector<TestedUnit> units;
        SimTime now{};
        for (int n = 0; n < 30; ++n) {
            units.push_back(TestOneUnit(model, now));
        }
        return units;
    };
    auto sent = [](const std::vector<TestedUnit>& units) {
        std::vector<Bytes> all;
        for (const TestedUnit& u : units) {
            all.push_back(u.sent);
        }
        return all;
    };
    const auto first = line(11, {{Fault::Pulse, 0.5}});
    EXPECT_EQ(sent(first), sent(line(11, {{Fault::Pulse, 0.5}})));
    const auto other = line(12, {{Fault::Pulse, 0.5}});
    int differing = 0;
    for (int n = 0; n < 30; ++n) {
        differing += first[n].sent != other[n].sent;
    }
    EXPECT_GE(differing, 25);

    const auto withoutRates = line(11);
    const auto failingOptics = line(11, {}, {Fault::Sensor});
    for (int n = 0; n < 30; ++n) {
        EXPECT_EQ(first[n].corrected, withoutRates[n].corrected);
        EXPECT_EQ(first[n].motorCount, withoutRates[n].motorCount);
        EXPECT_EQ(withoutRates[n].results.at(0x04), 0x10);
        EXPECT_NE(failingOptics[n].notes[0].find("made to fail optics"), std::string::npos);
        EXPECT_GT(std::abs(failingOptics[n].corrected[0] - mv62::CalibTarget[0]), 4);
    }
}

TEST(SimModel, StreamSendsBackToBackUntilStopped) {
    DeviceConfig config;
    config.stream = true;
    config.baud = 9600;
    DeviceModel model(config);
    model.Receive(Cmd(0x02), SimTime{});
    const auto out = RunUntilIdle(model, SimTime{milliseconds(10000)});
    EXPECT_GT(out.size(), 250u);  // 33 bytes take about 38 ms at 9600 baud
    const auto codes = Codes(out);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x26), 0);
    model.Receive(Cmd(kStopCode), SimTime{milliseconds(10000)});
    EXPECT_FALSE(model.NextDue().has_value());
}

TEST(SimPacer, NeverFasterThanTheLineAndBounded) {
    LinePacer pacer(9600);
    EXPECT_EQ(pacer.ByteTime(), SimTime{1146});  // 11 bits at 9600 baud, rounded up
    pacer.Queue(Bytes(300, 0x11), SimTime{});
    pacer.Queue(Bytes(10, 0x22), SimTime{}, milliseconds(50));
    std::size_t sent = 0;
    SimTime firstOfSecond{-1};
    for (SimTime now{}; now < SimTime{milliseconds(1000)}; now += SimTime{137}) {
        for (auto chunk = pacer.Due(now); !chunk.empty(); chunk = pacer.Due(now)) {
            ASSERT_LE(chunk.size(), pacer.ChunkSize());
            if (chunk[0] == 0x22 && firstOfSecond.count() < 0) {
                firstOfSecond = now;
            }
            pacer.Sent(chunk.size());
            sent += chunk.size();
            // The n-th byte may start no sooner than n byte times after the first.
            ASSERT_LE(static_cast<long>(sent - 1) * pacer.ByteTime().count(), now.count());
        }
    }
    EXPECT_EQ(sent, 310u);
    EXPECT_EQ(pacer.Backlog(), 0u);
    EXPECT_GE(firstOfSecond, 300 * pacer.ByteTime() + milliseconds(50));
    EXPECT_FALSE(pacer.NextSendTime().has_value());

    // A stop drops what has not begun; the frame on the line is finished.
    const SimTime t{milliseconds(1500)};
    pacer.Queue(Bytes(33, 0x26), t);
    pacer.Queue(Bytes(33, 0x02), t);
    ASSERT_FALSE(pacer.Due(t).empty());
    pacer.Sent(1);
    EXPECT_EQ(pacer.DropUnstarted(), 33u);
    EXPECT_EQ(pacer.Backlog(), 32u);
    std::size_t rest = 0;
    for (SimTime now = t; now < t + milliseconds(100); now += SimTime{500}) {
        const auto chunk = pacer.Due(now);
        EXPECT_TRUE(std::all_of(chunk.begin(), chunk.end(), [](auto b) { return b == 0x26; }));
        pacer.Sent(chunk.size());
        rest += chunk.size();
    }
    EXPECT_EQ(rest, 32u);

    // Nobody reads: the backlog stays bounded and the oldest unsent bytes go.
    std::size_t dropped = 0;
    for (int i = 0; i < 200; ++i) {
        dropped += pacer.Queue(Bytes(33, 0x02), SimTime{milliseconds(2000)});
    }
    EXPECT_LE(pacer.Backlog(), pacer.MaxBacklog());
    EXPECT_EQ(dropped + pacer.Backlog(), 200u * 33u);
}

TEST(SimPacer, NoiseAndSplitKeepTheFrameIntact) {
    const Bytes frame = MakeFrame(0x27, Bytes{100, 0x04, 0xD2});
    LineFaults noisy(true, false, 7);
    LineFaults split(false, true, 7);
    LineFaults plain(false, false, 7);
    for (int i = 0; i < 50; ++i) {
        auto pieces = noisy.Shape(frame, true);
        ASSERT_EQ(pieces.size(), 2u);
        EXPECT_EQ(std::count(pieces[0].bytes.begin(), pieces[0].bytes.end(), 0x55), 0);
        EXPECT_FALSE(pieces[0].bytes.empty());
        EXPECT_EQ(pieces[1].bytes, frame);
        EXPECT_EQ(noisy.Shape(Bytes(256, 0x55), false).size(), 1u);  // no noise in a raw dump

        Bytes joined;
        for (const auto& p : split.Shape(frame, true)) {
            joined.insert(joined.end(), p.bytes.begin(), p.bytes.end());
            EXPECT_LE(p.gap, milliseconds(10));
        }
        EXPECT_EQ(joined, frame);
    }
    EXPECT_EQ(plain.Shape(frame, true).size(), 1u);
}

TEST(SimOptionsTest, ParsesAndRejects) {
    auto parse = [](std::vector<std::string> args, SimOptions& o, std::string& error) {
        return ParseOptions(args, o, error);
    };
    SimOptions o;
    std::string error;
    ASSERT_TRUE(
        parse({"--fail", "pulse",    "--fail=optics", "--silent", "0x14",   "--silent", "ED",
               "--sw1",  "2,3",      "--sw2",         "none",     "--baud", "115200",   "--offset",
               "-5",     "--stream", "--exit-after",  "1.5",      "--link", "/tmp/x"},
              o, error))
        << error;
    EXPECT_EQ(o.device.faults, (std::set<Fault>{Fault::Pulse, Fault::Sensor}));
    EXPECT_EQ(o.device.silent, (std::set<std::uint8_t>{0x14, 0xED}));
    EXPECT_EQ(o.device.sw1Low, 0x06);
    EXPECT_EQ(o.device.sw1High, 0x00);
    EXPECT_EQ(o.device.sw2, 0x00);
    EXPECT_EQ(o.device.baud, 115200);
    EXPECT_EQ(o.device.sensorOffset, -5);
    EXPECT_TRUE(o.device.stream);
    EXPECT_EQ(o.exitAfterSeconds, 1.5);
    EXPECT_EQ(o.linkPath, "/tmp/x");

    SimOptions d;  // the defaults answer as a passing device
    ASSERT_TRUE(parse({"--sw1", "1,8,10"}, d, error));
    EXPECT_EQ(d.device.sw1High, 0x02);
    EXPECT_EQ(d.device.sw1Low, 0x81);

    // Every other option reaches its own setting.
    SimOptions e;
    ASSERT_TRUE(parse(
        {"--ident=UNIT 7", "--lens-count=0x10", "--exchange=1,2,3,4,5,255", "--sensor-frames=0",
         "--sensor-period=250", "--motor-count=400", "--seed=7", "--replay=j.jsonl",
         "--device=/dev/ttyS1", "--noise", "--split", "--verbose", "-h", "--version"},
        e, error))
        << error;
    EXPECT_EQ(e.device.ident, "UNIT 7");
    EXPECT_EQ(e.device.lensCount, 16);
    EXPECT_EQ(e.device.exchange, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 255}));
    EXPECT_EQ(e.device.sensorFrames, 0);
    EXPECT_EQ(e.device.sensorPeriod, milliseconds(250));
    EXPECT_EQ(e.device.motorCount, 400);
    EXPECT_EQ(e.seed, 7u);
    EXPECT_EQ(e.replayPath, "j.jsonl");
    EXPECT_EQ(e.devicePath, "/dev/ttyS1");
    EXPECT_TRUE(e.noise && e.split && e.verbose && e.help && e.version);
    EXPECT_FALSE(e.device.stream);
    EXPECT_FALSE(e.device.population.enabled);

    SimOptions p;
    ASSERT_TRUE(
        parse({"--population", "--spread", "0.5", "--drift", "3:-0.02", "--drift=6:1e-3", "--drift",
               "3:-0.04", "--fail-rate", "eeprom:0.03", "--fail-rate=optics:1", "--seed", "42"},
              p, error))
        << error;
    const PopulationConfig& population = p.device.population;
    EXPECT_TRUE(population.enabled);
    EXPECT_EQ(population.spread, 0.5);
    EXPECT_EQ(population.driftPerUnit, (std::array<double, 6>{0, 0, -0.04, 0, 0, 0.001}));
    EXPECT_EQ(population.failRate,
              (std::map<Fault, double>{{Fault::Eeprom, 0.03}, {Fault::Sensor, 1.0}}));
    EXPECT_EQ(population.seed, 42u);

    for (std::vector<std::string> bad : {std::vector<std::string>{"--fail", "motor"},
                                         {"--baud", "9601"},
                                         {"--offset", "156"},
                                         {"--silent", "1FF"},
                                         {"--sw1", "11"},
                                         {"--exchange", "1,2,3"},
                                         {"--bogus"},
                                         {"--sensor-frames"},
                                         {"--ident", "a text that is longer than 23"},
                                         {"--exit-after", "0"},
                                         {"--exit-after", "inf"},
                                         {"--exit-after", "1e300"},
                                         {"--noise=1"},
                                         {"--sw2", "1,"},
                                         {"--sensor-period", "0"},
                                         {"--population", "--spread", "-1"},
                                         {"--population", "--spread", "nan"},
                                         {"--population", "--drift", "7:0.1"},
                                         {"--population", "--drift", "3"},
                                         {"--population", "--drift", "3:inf"},
                                         {"--population", "--fail-rate", "eeprom:1.5"},
                                         {"--population", "--fail-rate", "motor:0.1"},
                                         {"--drift", "3:-0.02"},
                                         {"--fail-rate", "io:0.1"},
                                         {"--link", "/tmp/x", "--device", "/dev/ttyS0"}}) {
        SimOptions x;
        EXPECT_FALSE(parse(bad, x, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

// The real program's command line as a technician and help2man meet it: the help lists every
// option with the defaults of the device model, and a mistake is one line naming the option.
TEST(SimProgram, HelpShowsTheDefaultsAndAMistakeIsOneLine) {
    const std::string err = ::testing::TempDir() + "/mv62-sim-stderr.txt";
    auto run = [&err](const std::string& args, std::string& out) {
        FILE* pipe = popen((std::string(MV62_SIM_PATH) + " " + args + " 2>" + err).c_str(), "r");
        out.clear();
        for (char buffer[4096]; std::fgets(buffer, sizeof buffer, pipe) != nullptr;) {
            out += buffer;
        }
        const int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto errorText = [&err] {
        std::ifstream in(err);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    std::string help;
    ASSERT_EQ(run("--help", help), 0);
    EXPECT_EQ(help.rfind("Usage: mv62-sim [OPTION]...\n", 0), 0u) << help;
    std::istringstream entries(
        "--link PATH|--device PATH|--replay JOURNAL|--baud N|--ident TEXT|--offset K|"
        "--lens-count N|--exchange A,B,C,D,E,F|--sensor-frames N|--sensor-period MS|"
        "--motor-count N|--sw1 LIST|--sw2 LIST|--fail TEST|--silent CODE|--noise|--split|--stream|"
        "--seed N|--population|--spread SD|--drift CH:PER_UNIT|--fail-rate TEST:P|--verbose|"
        "--exit-after SECONDS|-h, --help|--version");
    for (std::string option; std::getline(entries, option, '|');) {
        const std::size_t at = help.find("\n  " + option);
        ASSERT_NE(at, std::string::npos) << option;
        EXPECT_TRUE(std::isspace(help[at + 3 + option.size()])) << option;
    }
    const DeviceConfig device;
    for (const std::string& shown : std::vector<std::string>{
             "default \"" + device.ident + "\"", "default " + std::to_string(device.motorCount),
             "default 255,255,255,255,255,255", "default 1,8,10", "default 1,3", "default 100)",
             "one of optics, motor-speed, pulse, fish, eeprom, io", "What the device answers:"}) {
        EXPECT_NE(help.find(shown), std::string::npos) << shown;
    }
    for (std::size_t end = 0, start = 0; (end = help.find('\n', start)) != help.npos;
         start = end + 1) {
        EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    }

    std::string out;
    for (const auto& [args, line] : std::vector<std::pair<std::string, std::string>>{
             {"--bogus", "mv62-sim: unknown option --bogus (see --help)\n"},
             {"--noise=yes", "mv62-sim: unknown option --noise=yes (see --help)\n"},
             {"--offset=156",
              "mv62-sim: bad value \"156\" for --offset: -100 .. 155 (see --help)\n"},
             {"--spread 2",
              "mv62-sim: --spread shapes a population of units: add --population "
              "(see --help)\n"},
             {"--fail motor",
              "mv62-sim: bad value \"motor\" for --fail: one of optics, motor-speed, pulse, "
              "fish, eeprom, io (see --help)\n"},
             {"--stream --sw1",
              "mv62-sim: --sw1 needs a value: positions 1 .. 10 that are on, "
              "separated by commas, or none (see --help)\n"}}) {
        EXPECT_EQ(run(args, out), 2) << args;
        EXPECT_EQ(errorText(), line);
        EXPECT_EQ(out, "");
    }
}

// The real program on a real pseudo-terminal: start it, read the device path, ask for the
// identification, and see it survive the station closing and reopening the port.
namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) {
            close(out);
        }
    }
};

constexpr int kGenerousMs = 20000;

std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 256) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kGenerousMs) <= 0 || read(fd, &c, 1) != 1 || c == '\n') {
            break;
        }
        line += c;
    }
    return line;
}

// Reads device frames until one with each wanted code has come, or the generous time is up.
std::map<std::uint8_t, Bytes> ReadFrames(int fd, std::set<std::uint8_t> wanted) {
    std::map<std::uint8_t, Bytes> got;
    Bytes stream;
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(kGenerousMs);
    while (got.size() < wanted.size() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            std::uint8_t buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                stream.insert(stream.end(), buffer, buffer + n);
            }
        }
        // Cut frames: 55 AA code, length from the table.
        for (;;) {
            const std::uint8_t header[] = {0x55, 0xAA};
            auto at =
                std::search(stream.begin(), stream.end(), std::begin(header), std::end(header));
            if (at == stream.end() || stream.end() - at < 3 || !kStationFrameLength.count(at[2]) ||
                stream.end() - at < static_cast<long>(kStationFrameLength.at(at[2]))) {
                break;
            }
            const std::size_t length = kStationFrameLength.at(at[2]);
            if (wanted.count(at[2])) {
                got[at[2]] = Bytes(at, at + static_cast<long>(length));
            }
            stream.erase(stream.begin(), at + static_cast<long>(length));
        }
    }
    return got;
}

int OpenStationSide(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

}  // namespace

TEST(SimProgram, AnswersOnItsPseudoTerminalAndSurvivesReopening) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("mv62-sim-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "mv62").string();
    const std::string log = (dir / "sim.log").string();

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> args = {MV62_SIM_PATH, "--link",       link, "--offset",
                                     "-5",          "--exit-after", "120"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    Child child;
    ASSERT_EQ(posix_spawn(&child.pid, MV62_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    child.out = pipeFds[0];
    auto logText = [&] {
        std::ifstream in(log);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };

    const std::string line = ReadLine(child.out);
    const std::string prefix = "mv62-sim: device ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line << logText();
    const std::string device = line.substr(prefix.size());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);

    int fd = OpenStationSide(link);
    ASSERT_GE(fd, 0);
    const std::uint8_t start[] = {0x55, 0xAA, 0x00};
    ASSERT_EQ(write(fd, start, 3), 3);
    auto frames = ReadFrames(fd, {0x00, 0x27, 0x25});
    ASSERT_EQ(frames.size(), 3u) << logText();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&frames[0x00][3])), "MV62 SIM 1.0");
    EXPECT_EQ(frames[0x27], (Bytes{0x55, 0xAA, 0x27, 95, 0x04, 0xD2}));
    EXPECT_EQ(frames[0x25], (Bytes{0x55, 0xAA, 0x25, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

    // End Protocol closes the port, Start Protocol opens it again: the device is still there.
    const std::uint8_t endAndFish[] = {0x55, 0xAA, 0xED};
    ASSERT_EQ(write(fd, endAndFish, 3), 3);
    close(fd);
    fd = OpenStationSide(device);
    ASSERT_GE(fd, 0);
    const std::uint8_t fish[] = {0x55, 0xAA, 0x11};
    ASSERT_EQ(write(fd, fish, 3), 3);
    frames = ReadFrames(fd, {0x08});
    ASSERT_EQ(frames.size(), 1u) << logText();
    EXPECT_EQ(frames[0x08], (Bytes{0x55, 0xAA, 0x08, 1}));
    close(fd);

    ASSERT_EQ(kill(child.pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
    child.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    const std::string text = logText();
    EXPECT_NE(text.find("mv62-sim: rx 55 AA 00 link start"), std::string::npos) << text;
    EXPECT_NE(text.find("mv62-sim: rx 55 AA 11 fish sensor test"), std::string::npos) << text;
    std::filesystem::remove_all(dir);
}

// A journal comes from outside: fields of the wrong type, absurd times, lines that are not JSON
// and a cut last line are passed over, and what is sound still answers its command.
TEST(Replay, HostileJournalLinesArePassedOverAndTheSoundOnesPlayed) {
    const std::string path = ::testing::TempDir() + "/hostile_journal.jsonl";
    std::ofstream(path) << R"({"event":"link_opened","schema":"mv62-journal/1","ms":0})"
                           "\n"
                        << R"({"event":7,"bytes":"55 AA 00","ms":1})"
                           "\n"
                        << R"({"event":"tx","bytes":123,"ms":1,"garbage":"yes"})"
                           "\n"
                        << R"({"event":"tx","bytes":"55 AA 00","ms":18446744073709551615})"
                           "\n"
                        << R"({"event":"tx","bytes":"55 AA 00","ms":-5})"
                           "\n"
                        << R"({"event":"rx","bytes":"zz","ms":2})"
                           "\n"
                        << "[1,2]\nnull\n\xff\xfe\n"
                        << R"({"event":"tx","bytes":"55 AA 00","ms":10})"
                           "\n"
                        << R"({"event":"rx","bytes":"55 AA 00 41","ms":20})"
                           "\n"
                        << R"({"event":"rx","bytes":"55 AA 00 42","ms":9223372036854775807})"
                           "\n"
                        << R"({"event":"tx","bytes":"55 AA 07")";
    mv62sim::ReplayDevice replay;
    std::string error;
    ASSERT_TRUE(replay.Load(path, 115200, error)) << error;
    EXPECT_EQ(replay.CommandCount(), 1u);
    EXPECT_EQ(replay.CutLines(), 4);
    replay.Receive({0x55, 0xAA, 0x00}, SimTime{});
    const std::vector<Emission> sent = replay.TakeDue(SimTime{std::chrono::seconds(1)});
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, (Bytes{0x55, 0xAA, 0x00, 0x41}));
    EXPECT_TRUE(replay.Receive({0x55, 0xAA, 0x07}, SimTime{}).size() == 1);  // not held: logged
}
