#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "HostCommandDecoder.h"
#include "HostCommands.h"
#include "Replies.h"
#include "ReplyMath.h"
#include "TestPlan.h"

namespace mv62 {
namespace {

using Stream = std::vector<std::uint8_t>;

TEST(ReplyMath, MotorSpeedAndEncoderLimits) {
    EXPECT_EQ(MotorRpm(800), 4320);
    EXPECT_TRUE(MotorSpeedPasses(4320, false));
    EXPECT_TRUE(EncoderPasses(800));
    EXPECT_EQ(MotorRpm(400), 2160);
    EXPECT_FALSE(MotorSpeedPasses(2160, false));
    EXPECT_FALSE(EncoderPasses(400));

    for (int count = 0; count <= 0xFFFF; count += 7) {
        EXPECT_EQ(MotorRpm(count) % 60, 0);
    }
    EXPECT_EQ(MotorRpm(923), 4980);
    EXPECT_EQ(MotorRpm(924), 5040);
    EXPECT_TRUE(MotorSpeedPasses(4980, false));
    EXPECT_TRUE(MotorSpeedPasses(4980, true));
    EXPECT_FALSE(MotorSpeedPasses(5040, false));
    EXPECT_FALSE(MotorSpeedPasses(5040, true));

    EXPECT_EQ(MotorRpm(649), 3540);
    EXPECT_EQ(MotorRpm(648), 3480);
    EXPECT_TRUE(MotorSpeedPasses(3540, false));
    EXPECT_FALSE(MotorSpeedPasses(3480, false));
    EXPECT_TRUE(MotorSpeedPasses(3480, true));

    EXPECT_EQ(MotorRpm(572), 3120);
    EXPECT_EQ(MotorRpm(571), 3060);
    EXPECT_TRUE(MotorSpeedPasses(3120, true));
    EXPECT_FALSE(MotorSpeedPasses(3060, true));

    EXPECT_FALSE(EncoderPasses(550));
    EXPECT_TRUE(EncoderPasses(551));
    EXPECT_TRUE(EncoderPasses(915));
    EXPECT_FALSE(EncoderPasses(916));
}

std::vector<std::uint32_t> CorrectAll(const std::vector<int>& raw, int offset) {
    std::vector<std::uint32_t> out;
    for (int ch = 0; ch < kChannels; ++ch) {
        out.push_back(CorrectedSensorValue(ch, static_cast<std::uint8_t>(raw[ch]), offset));
    }
    return out;
}

TEST(ReplyMath, SensorCorrection) {
    EXPECT_EQ(SensorOffsetFromByte(95), -5);
    EXPECT_EQ(SensorOffsetFromByte(0), -100);
    EXPECT_EQ(SensorOffsetFromByte(255), 155);

    // Offset 0: channel 2 adds ceil(0) - 8, the others subtract 8/3 = 2.
    const auto c0 = CorrectAll({30, 60, 30, 30, 30, 30}, 0);
    EXPECT_EQ(c0, (std::vector<std::uint32_t>{28, 52, 28, 28, 28, 28}));
    EXPECT_TRUE(CalibValuePasses(1, c0[1]));
    EXPECT_FALSE(CalibValuePasses(0, c0[0]));

    // Offset -5: ceil(-35/9) = -3, q = 13/3 = 4.
    EXPECT_EQ(CorrectAll({30, 60, 30, 30, 30, 30}, -5),
              (std::vector<std::uint32_t>{26, 49, 26, 26, 26, 26}));
    // Offset 9: ceil(63/9) = 7, q = -1/3 = 0.
    EXPECT_EQ(CorrectAll({30, 45, 30, 30, 30, 30}, 9),
              (std::vector<std::uint32_t>{30, 44, 30, 30, 30, 30}));
    EXPECT_FALSE(CalibValuePasses(1, 44));
    // Offset -2: ceil(-14/9) = -1, q = 10/3 = 3.
    EXPECT_EQ(CorrectAll({30, 60, 30, 30, 30, 30}, -2),
              (std::vector<std::uint32_t>{27, 51, 27, 27, 27, 27}));
    // Offset 1: ceil(7/9) = 1; offset 10: q = -2/3 = 0.
    EXPECT_EQ(CorrectedSensorValue(1, 60, 1), 53u);
    EXPECT_EQ(CorrectedSensorValue(0, 30, 10), 30u);

    // Below zero reads 0, above 200 reads 200.
    EXPECT_EQ(CorrectedSensorValue(0, 1, 0), 0u);
    EXPECT_EQ(CorrectedSensorValue(1, 0, 0), 0u);
    EXPECT_EQ(CorrectedSensorValue(1, 5, -100), 0u);
    EXPECT_EQ(CorrectedSensorValue(0, 255, 0), 200u);
    EXPECT_EQ(CorrectedSensorValue(1, 100, 155), 200u);
    EXPECT_EQ(CorrectedSensorValue(3, 160, 155), 200u);
    EXPECT_EQ(CorrectedSensorValue(3, 150, 155), 199u);
}

TEST(ReplyMath, CalibrationAndPeakVerdicts) {
    EXPECT_FALSE(CalibValuePasses(1, 45));
    EXPECT_TRUE(CalibValuePasses(1, 46));
    EXPECT_TRUE(CalibValuePasses(1, 54));
    EXPECT_FALSE(CalibValuePasses(1, 55));
    for (int ch : {0, 2, 3, 4, 5}) {
        EXPECT_FALSE(CalibValuePasses(ch, 15));
        EXPECT_TRUE(CalibValuePasses(ch, 16));
        EXPECT_TRUE(CalibValuePasses(ch, 24));
        EXPECT_FALSE(CalibValuePasses(ch, 25));
    }
    EXPECT_FALSE(CalibValuePasses(0, 0));

    EXPECT_TRUE(PeakPasses(0, 230));
    EXPECT_EQ(LimitToDisplay(230), 200u);
    EXPECT_EQ(LimitToDisplay(200), 200u);
    EXPECT_EQ(LimitToDisplay(7), 7u);
    EXPECT_FALSE(PeakPasses(0, 39));
    EXPECT_TRUE(PeakPasses(0, 40));
    EXPECT_FALSE(PeakPasses(1, 54));
    EXPECT_TRUE(PeakPasses(1, 55));
}

TEST(ReplyMath, SwitchPositions) {
    // SW1: byte 3 = 0x02, byte 4 = 0x81 sets positions 1, 8 and 10.
    for (int pos = 1; pos <= 10; ++pos) {
        EXPECT_EQ(Sw1PositionOn(0x02, 0x81, pos), pos == 1 || pos == 8 || pos == 10) << pos;
    }
    EXPECT_TRUE(Sw1PositionOn(0x01, 0x00, 9));
    EXPECT_FALSE(Sw1PositionOn(0xFC, 0x00, 9));
    EXPECT_FALSE(Sw1PositionOn(0xFF, 0xFF, 0));
    EXPECT_FALSE(Sw1PositionOn(0xFF, 0xFF, 11));

    // SW2: bits 4..7 are not positions.
    EXPECT_TRUE(Sw2PositionOn(0xF5, 1));
    EXPECT_FALSE(Sw2PositionOn(0xF5, 2));
    EXPECT_TRUE(Sw2PositionOn(0xF5, 3));
    EXPECT_FALSE(Sw2PositionOn(0xF5, 4));
    EXPECT_FALSE(Sw2PositionOn(0xFF, 5));
}

TEST(HostCommands, Bytes) {
    EXPECT_EQ(PlainCommand(cmd::LedOn), (Stream{0x55, 0xAA, 0x43}));
    EXPECT_EQ(PlainCommand(cmd::Stop), (Stream{0x55, 0xAA, 0xED}));

    EXPECT_EQ(ChannelDacCommand(kDriveChannelCodes[7], 1023),
              (Stream{0x55, 0xAA, 0x01, 0x09, 0x03, 0xFF}));
    EXPECT_EQ(ChannelDacCommand(kDriveChannelCodes[0], 0),
              (Stream{0x55, 0xAA, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(ChannelDacCommand(kDriveChannelCodes[6], 256),
              (Stream{0x55, 0xAA, 0x01, 0x08, 0x01, 0x00}));

    EXPECT_EQ(LampPatternCode(false, false, false), 0x35);
    EXPECT_EQ(LampPatternCode(false, false, true), 0x36);
    EXPECT_EQ(LampPatternCode(false, true, false), 0x37);
    EXPECT_EQ(LampPatternCode(false, true, true), 0x38);
    EXPECT_EQ(LampPatternCode(true, false, false), 0x39);
    EXPECT_EQ(LampPatternCode(true, false, true), 0x40);
    EXPECT_EQ(LampPatternCode(true, true, false), 0x41);
    EXPECT_EQ(LampPatternCode(true, true, true), 0x42);

    std::array<std::uint8_t, 30> mask{};
    for (std::size_t i = 0; i < mask.size(); ++i) {
        mask[i] = static_cast<std::uint8_t>(0x80 >> (i % 8)) ^ static_cast<std::uint8_t>(i);
    }
    const Bytes country = CountryWriteCommand(mask);
    ASSERT_EQ(country.size(), 33u);
    EXPECT_EQ(Stream(country.begin(), country.begin() + 3), (Stream{0x55, 0xAA, 0x51}));
    EXPECT_EQ(Stream(country.begin() + 3, country.end()), Stream(mask.begin(), mask.end()));
}

TEST(Vocabulary, SensorFrameCodecAndReplyTableAgree) {
    SensorFrameData d;
    d.raw = {1, 0x55, 3, 4, 5, 0xAA};
    d.byte9 = 9;
    d.byte10 = 10;
    d.drive = {0x0102, 0x55AA, 0, 1023, 0xFFFF, 7, 8, 512};
    d.peak = {200, 230, 0x55, 40, 39, 0};
    const Bytes bytes = EncodeSensorFrame(reply::LastSensorFrame, d);
    ASSERT_EQ(static_cast<int>(bytes.size()), FrameLengthFor(reply::LastSensorFrame));
    EXPECT_EQ(bytes[11], 0x01);  // D1 high byte first
    EXPECT_EQ(bytes[32], 0);     // P6 is the last byte

    // Through the assembler, in two pieces that split a 0x55 data byte from its neighbours.
    FrameAssembler assembler;
    DeviceFrame frame;
    EXPECT_FALSE(assembler.Feed(std::span(bytes).first(4), frame));
    ASSERT_TRUE(assembler.Feed(std::span(bytes).subspan(4), frame));
    EXPECT_TRUE(IsSensorFrame(frame.code()));
    EXPECT_EQ(DecodeSensorFrame(frame), d);

    for (const ReplyInfo& r : kReplyTable) {
        EXPECT_EQ(FrameLengthFor(r.code), r.length);
        EXPECT_FALSE(ReplyName(r.code).empty());
    }
    EXPECT_EQ(FrameLengthFor(0x30), 0);
}

TEST(Vocabulary, LimitsAsDataJudgeLikeTheWindow) {
    EXPECT_TRUE(CalibLimit(1).Passes(46) && CalibLimit(1).Passes(54));
    EXPECT_FALSE(CalibLimit(1).Passes(45) || CalibLimit(1).Passes(55));
    EXPECT_TRUE(PeakLimit(1).Passes(55) && !PeakLimit(0).Passes(39));
    EXPECT_TRUE(kPulseLimit.Passes(0x10) && !kPulseLimit.Passes(0x11));
    EXPECT_TRUE(kResultLimit.Passes(1) && !kResultLimit.Passes(0) && !kResultLimit.Passes(2));
    EXPECT_EQ(ComparisonName(PeakLimit(0).comparison), "at-least");
    EXPECT_EQ(LineSpeedForIndex(4), 115200);
    EXPECT_EQ(LineSpeedForIndex(-1), 0);
    EXPECT_EQ(LineSpeedForIndex(5), 0);
    EXPECT_EQ(HexBytes(Bytes{0x55, 0xAA, 0x0A}), "55 AA 0A");
    EXPECT_EQ(CommandName(cmd::MotorTest), "motor test");
    EXPECT_EQ(ParameterCount(cmd::CountryWrite), static_cast<std::size_t>(kCountryMaskSize));
}

}  // namespace
}  // namespace mv62

namespace mv62 {
namespace {

// The plan must agree with the protocol: a misdeclared stage or a name used twice would give
// records whose stage of stop or measurements are wrong.
TEST(TestPlan, StagesAndMeasurementsAgreeWithTheProtocol) {
    for (const PlanStage& s : kStages) {
        EXPECT_NE(CommandName(s.command), "unknown command") << s.name;
        EXPECT_NE(FrameLengthFor(s.answer), 0) << s.name;
        EXPECT_EQ(StageStartedBy(s.command), s.stage);
        EXPECT_EQ(StageAnsweredBy(s.answer), s.stage);
    }
    std::set<std::string> names;
    for (const PlanMeasurement& m : kMeasurements) {
        for (int ch = 0; ch < m.Channels(); ++ch) {
            const std::string& name = MeasurementName(m.quantity, ch);
            EXPECT_TRUE(names.insert(name).second) << name;
            EXPECT_EQ(FindMeasurement(name).measurement, &m);
            EXPECT_EQ(FindMeasurement(name).channel, ch);
        }
        if (!m.list.empty()) {
            EXPECT_TRUE(names.insert(std::string(m.list)).second) << m.list;
            EXPECT_TRUE(FindMeasurement(m.list).list);
        }
    }
    EXPECT_EQ(FindMeasurement("optics.ch7.corrected").measurement, nullptr);
}

// One motor reply and one sensor frame read as the window shows them, in both views.
TEST(TestPlan, ReadingsJudgeAndShowAsTheWindow) {
    const FrameReading motor = ReadFrame(
        ToDeviceFrame(MakeDeviceFrame(reply::MotorRate, Bytes{2, 0x3C})), {true, 0, false});
    ASSERT_EQ(motor.readings.size(), 2u);
    EXPECT_EQ(motor.readings[0].shown, "3120 rpm");  // count 572: passes only with CashBox
    EXPECT_TRUE(motor.readings[0].Passed());
    EXPECT_EQ(motor.readings[1].shown, "572 gap/sec");
    EXPECT_EQ(ReadFrame(ToDeviceFrame(MakeDeviceFrame(reply::PulseResult, Bytes{0x11})), {}).shown,
              "ERROR");

    SensorFrameData d;
    d.raw = {30, 60, 30, 30, 30, 30};
    d.peak = {39, 55, 230, 40, 40, 40};
    const DeviceFrame frame = ToDeviceFrame(EncodeSensorFrame(reply::SensorFrame, d));
    const FrameReading judged = ReadFrame(frame, {false, 0, false});
    const Reading& corrected = *judged.Find(Quantity::OpticsCorrected);
    EXPECT_EQ(corrected.Name(), "optics.corrected");
    EXPECT_EQ(corrected.values, (std::vector<int>{28, 52, 28, 28, 28, 28}));
    EXPECT_EQ(corrected.passed, (std::vector<bool>{false, true, false, false, false, false}));
    EXPECT_EQ(judged.Find(Quantity::OpticsPeak)->passed,
              (std::vector<bool>{false, true, true, true, true, true}));
    EXPECT_FALSE(ReadFrame(frame, {false, 0, true}).Find(Quantity::OpticsCorrected)->Judged());
    EXPECT_FALSE(ReadFrame(ToDeviceFrame(MakeDeviceFrame(0x30, Bytes{0})), {}).handled);
}

}  // namespace
}  // namespace mv62
