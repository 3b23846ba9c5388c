#pragma once
// The arithmetic that turns reply data into readings and verdicts.
#include <array>
#include <cstdint>

namespace mv62 {

inline constexpr int kChannels = 6;
inline constexpr std::array<int, kChannels> CalibTarget = {20, 50, 20, 20, 20, 20};
inline constexpr int CalibTolerance = 4;
inline constexpr std::array<int, kChannels> MaxMinimum = {40, 55, 40, 40, 40, 40};
inline constexpr std::uint32_t kDisplayLimit = 200;

// Motor reply 0x03: encoder count per second to rpm ((count div 11) * 60).
int MotorRpm(int encoderCount);
bool MotorSpeedPasses(int rpm, bool cashBox);
bool EncoderPasses(int encoderCount);

// Reply 0x27 byte 3 holds the offset plus 100.
int SensorOffsetFromByte(std::uint8_t b);

// Corrected value of channel (0..5) for raw value and sensor offset, limited to 0..200.
std::uint32_t CorrectedSensorValue(int channel, std::uint8_t raw, int sensorOffset);
bool CalibValuePasses(int channel, std::uint32_t corrected);
bool PeakPasses(int channel, int peak);
std::uint32_t LimitToDisplay(std::uint32_t v);

// Reply 0x06: state of SW1 position 1..10 (bytes 3 and 4 of the frame).
bool Sw1PositionOn(std::uint8_t byte3, std::uint8_t byte4, int position);
// Reply 0x07: state of SW2 position 1..4.
bool Sw2PositionOn(std::uint8_t byte3, int position);

}  // namespace mv62
