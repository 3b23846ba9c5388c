#pragma once
// The arithmetic that turns reply data into readings and verdicts, and the pass limits as data:
// the window's indicators and the test records judge with these same functions.
#include <array>
#include <cstdint>
#include <string_view>

#include "Vocabulary.h"

namespace mv62 {

inline constexpr std::array<int, kChannels> CalibTarget = {20, 50, 20, 20, 20, 20};
inline constexpr int CalibTolerance = 4;
inline constexpr std::array<int, kChannels> MaxMinimum = {40, 55, 40, 40, 40, 40};
inline constexpr std::uint32_t kDisplayLimit = 200;

// How a limit's bounds apply to a value.
enum class Comparison {
    Exclusive,  // low < value < high
    Inclusive,  // low <= value <= high
    AtLeast,    // value >= low
    Equals,     // value == low
};
std::string_view ComparisonName(Comparison c);  // "exclusive", "inclusive", "at-least", "equals"

struct Limit {
    int low = 0;
    int high = 0;  // unused for AtLeast and Equals
    Comparison comparison = Comparison::Exclusive;
    constexpr bool Passes(std::int64_t v) const {
        switch (comparison) {
            case Comparison::Exclusive:
                return low < v && v < high;
            case Comparison::Inclusive:
                return low <= v && v <= high;
            case Comparison::AtLeast:
                return v >= low;
            case Comparison::Equals:
                return v == low;
        }
        return false;
    }
};

// The pass limits of the function tests.
inline constexpr Limit kMotorRpmLimit{3500, 5000, Comparison::Exclusive};
inline constexpr Limit kMotorRpmLimitCashBox{3100, 5000, Comparison::Exclusive};
inline constexpr Limit kEncoderLimit{550, 916, Comparison::Exclusive};
// The result bytes of a passed pulse test (shown as "10") and of a passed fish, EEPROM or I/O test.
inline constexpr std::uint8_t kPulsePassed = 0x10;
inline constexpr std::uint8_t kResultPassed = 1;
inline constexpr Limit kPulseLimit{kPulsePassed, kPulsePassed, Comparison::Equals};
inline constexpr Limit kResultLimit{kResultPassed, kResultPassed, Comparison::Equals};

// The motor speed limit as the CashBox box says.
constexpr Limit MotorRpmLimit(bool cashBox) {
    return cashBox ? kMotorRpmLimitCashBox : kMotorRpmLimit;
}
// Corrected value of channel 0..5: target - tolerance <= value <= target + tolerance.
constexpr Limit CalibLimit(int channel) {
    const int target = CalibTarget[static_cast<std::size_t>(channel)];
    return {target - CalibTolerance, target + CalibTolerance, Comparison::Inclusive};
}
// Peak of channel 0..5, judged on the byte before the display limit: at least MaxMinimum.
constexpr Limit PeakLimit(int channel) {
    return {MaxMinimum[static_cast<std::size_t>(channel)], 0, Comparison::AtLeast};
}

// Motor reply 0x03: encoder count per second to rpm ((count div 11) * 60).
int MotorRpm(int encoderCount);
bool MotorSpeedPasses(int rpm, bool cashBox);
bool EncoderPasses(int encoderCount);
bool PulsePasses(std::uint8_t result);
bool ResultPasses(std::uint8_t result);  // fish, EEPROM and I/O

// Reply 0x27 byte 3 holds the offset plus 100.
int SensorOffsetFromByte(std::uint8_t b);

// Corrected value of channel (0..5) for raw value and sensor offset, limited to 0..200.
std::uint32_t CorrectedSensorValue(int channel, std::uint8_t raw, int sensorOffset);
bool CalibValuePasses(int channel, std::uint32_t corrected);
bool PeakPasses(int channel, int peak);
std::uint32_t LimitToDisplay(std::uint32_t v);

// Reply 0x06: state of SW1 position 1..10 (bytes 3 and 4 of the frame).
inline constexpr int kSw1Positions = 10;
inline constexpr int kSw2Positions = 4;
bool Sw1PositionOn(std::uint8_t byte3, std::uint8_t byte4, int position);
// Reply 0x07: state of SW2 position 1..4.
bool Sw2PositionOn(std::uint8_t byte3, int position);

// Reply 0x05: the pilot lamp test is over at step 3.
inline constexpr std::uint8_t kLastLampStep = 3;

}  // namespace mv62
