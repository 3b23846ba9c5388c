#pragma once
// The data layouts of the device's replies: where each field sits in a frame, read out into plain
// values, and built back into frames for the simulator, the tests and the benchmarks.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "Frames.h"
#include "Vocabulary.h"

namespace mv62 {

// A sensor frame (reply 0x02, or 0x26 for the last one of a run): 33 bytes.
struct SensorFrameData {
    std::array<std::uint8_t, kChannels> raw{};          // S1..S6, bytes 3..8
    std::uint8_t byte9 = 0;                             // shown in Label7
    std::uint8_t byte10 = 0;                            // shown in Label8
    std::array<std::uint16_t, kDriveChannels> drive{};  // D1..D8, bytes 11..26, big-endian
    std::array<std::uint8_t, kChannels> peak{};         // P1..P6, bytes 27..32
    friend bool operator==(const SensorFrameData&, const SensorFrameData&) = default;
};

namespace sensor_layout {
inline constexpr int kRaw = 3;
inline constexpr int kByte9 = 9;
inline constexpr int kByte10 = 10;
inline constexpr int kDrive = 11;
inline constexpr int kPeak = 27;
inline constexpr int kLength = 33;
}  // namespace sensor_layout

bool IsSensorFrame(std::uint8_t replyCode);
// Reads the fields of a sensor frame (the frame must hold 33 bytes).
SensorFrameData DecodeSensorFrame(const DeviceFrame& frame);
// The 33 bytes of a sensor frame with reply code 0x02 or 0x26.
Bytes EncodeSensorFrame(std::uint8_t replyCode, const SensorFrameData& data);

// Big-endian 16-bit number at byte `at` of a frame.
int BigEndian16(const DeviceFrame& frame, int at);

// Reply 0x00: the identification characters (bytes 3..25), up to the first zero byte.
inline constexpr int kIdentificationLength = 23;
std::string IdentificationText(const DeviceFrame& frame);
// Reply 0x03: encoder count per second.
int EncoderCount(const DeviceFrame& frame);
// Reply 0x27: the sensor offset (byte 3 less 100) and the lens count (bytes 4..5).
struct OffsetAndLensData {
    int sensorOffset = 0;
    int lensCount = 0;
};
OffsetAndLensData DecodeOffsetAndLens(const DeviceFrame& frame);
// Reply 0x25: the six exchange sensors; a sensor that is not flagged reads 0xFF.
inline constexpr int kExchangeSensors = 6;
inline constexpr std::uint8_t kExchangeNotFlagged = 0xFF;
// Replies 0x23 and 0x25: six bytes, 3..8.
std::array<std::uint8_t, 6> SixValues(const DeviceFrame& frame);
// The one data byte of the four-byte replies (byte 3).
inline std::uint8_t ResultByte(const DeviceFrame& frame) {
    return frame[3];
}

// Frames as a span of bytes, for the assembler's DeviceFrame.
DeviceFrame ToDeviceFrame(std::span<const std::uint8_t> bytes);

}  // namespace mv62
