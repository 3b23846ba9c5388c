#pragma once
// Device frames (device to host): 0x55 0xAA, a reply code and data whose length follows from the
// code alone. The assembler cuts them out of the byte stream across receive events.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "Vocabulary.h"

namespace mv62 {

inline constexpr int kFrameBufferSize = 52;
inline constexpr int kHistorySlots = 100;
inline constexpr int kHistorySlotSize = 50;

// Reply codes of the device frames.
namespace reply {
inline constexpr std::uint8_t Identification = 0x00;
inline constexpr std::uint8_t SensorFrame = 0x02;
inline constexpr std::uint8_t MotorRate = 0x03;
inline constexpr std::uint8_t PulseResult = 0x04;
inline constexpr std::uint8_t LampStep = 0x05;
inline constexpr std::uint8_t Sw1Positions = 0x06;
inline constexpr std::uint8_t Sw2Positions = 0x07;
inline constexpr std::uint8_t FishResult = 0x08;
inline constexpr std::uint8_t EepromResult = 0x09;
inline constexpr std::uint8_t IoResult = 0x10;
inline constexpr std::uint8_t FishState = 0x20;
inline constexpr std::uint8_t HookSensor = 0x21;
inline constexpr std::uint8_t InSensor = 0x22;
inline constexpr std::uint8_t SensorReadings = 0x23;
inline constexpr std::uint8_t Acknowledge = 0x24;
inline constexpr std::uint8_t ExchangeSensors = 0x25;
inline constexpr std::uint8_t LastSensorFrame = 0x26;
inline constexpr std::uint8_t OffsetAndLens = 0x27;
}  // namespace reply

// One row of the device's frame table: the total length (header included) follows from the
// reply code alone.
struct ReplyInfo {
    std::uint8_t code;
    int length;
    std::string_view name;
};

inline constexpr std::array<ReplyInfo, 18> kReplyTable = {{
    {reply::Identification, 26, "identification"},
    {reply::SensorFrame, 33, "sensor frame"},
    {reply::MotorRate, 5, "motor encoder rate"},
    {reply::PulseResult, 4, "pulse result"},
    {reply::LampStep, 4, "pilot lamp step"},
    {reply::Sw1Positions, 5, "SW1 positions"},
    {reply::Sw2Positions, 4, "SW2 positions"},
    {reply::FishResult, 4, "fish sensor result"},
    {reply::EepromResult, 4, "EEPROM result"},
    {reply::IoResult, 4, "I/O result"},
    {reply::FishState, 4, "fish sensor state"},
    {reply::HookSensor, 4, "hook sensor"},
    {reply::InSensor, 4, "in sensor"},
    {reply::SensorReadings, 9, "sensor readings"},
    {reply::Acknowledge, 4, "acknowledgement"},
    {reply::ExchangeSensors, 9, "exchange sensors"},
    {reply::LastSensorFrame, 33, "last sensor frame"},
    {reply::OffsetAndLens, 6, "sensor offset and lens count"},
}};

// Total length (header included) of a frame with this reply code; 0 for a code outside the table.
int FrameLengthFor(std::uint8_t replyCode);
// The reply's name in the table ("motor encoder rate"); empty for a code outside it.
std::string_view ReplyName(std::uint8_t replyCode);
// 0x55 0xAA code data: a device frame as the device sends it (the data are taken as given).
Bytes MakeDeviceFrame(std::uint8_t replyCode, std::span<const std::uint8_t> data);

struct DeviceFrame {
    std::array<std::uint8_t, kFrameBufferSize> bytes{};
    int length = 0;
    std::uint8_t code() const { return bytes[2]; }
    std::uint8_t operator[](int i) const { return bytes[static_cast<std::size_t>(i)]; }
};

// The receiver's state machine. Its state survives from one receive event to the next and across
// link restarts; nothing ever resets it.
class FrameAssembler {
  public:
    // Runs over one receive event's bytes. Returns true when at least one frame was completed;
    // `latest` then holds the most recently completed one with its own length.
    bool Feed(std::span<const std::uint8_t> bytes, DeviceFrame& latest);

    std::array<std::uint8_t, kFrameBufferSize> FrameBuffer{};
    int FrameIndex = 0;
    bool InHeader = false;
    int HeaderCount = 0;
    bool InBody = false;
    int FrameLength = 0;
    std::array<std::array<std::uint8_t, kHistorySlotSize>, kHistorySlots> FrameHistory{};
    int HistoryIndex = 0;

  private:
    // Handles one byte; true when it completed a frame (then copied into `latest`).
    bool Step(std::uint8_t b, DeviceFrame& latest);
};

}  // namespace mv62
