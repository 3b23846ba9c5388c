#pragma once
// Device frames (device to host): 0x55 0xAA, a reply code and data whose length follows from the
// code alone. The assembler cuts them out of the byte stream across receive events.
#include <array>
#include <cstdint>
#include <span>

namespace mv62 {

inline constexpr int kFrameBufferSize = 52;
inline constexpr int kHistorySlots = 100;
inline constexpr int kHistorySlotSize = 50;

// Total length (header included) of a frame with this reply code; 0 for a code outside the table.
int FrameLengthFor(std::uint8_t replyCode);

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
