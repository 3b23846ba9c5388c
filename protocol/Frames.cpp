#include "Frames.h"

#include <algorithm>

namespace mv62 {

namespace {

constexpr std::uint8_t kHeaderStart = 0x55;
constexpr std::uint8_t kHeaderSecond = 0xAA;
constexpr int kHeaderLength = 3;

// Total frame length per reply code; 0 for codes the device never sends.
constexpr std::array<std::uint8_t, 256> kFrameLengths = [] {
    std::array<std::uint8_t, 256> t{};
    t[0x00] = 26;  // identification text
    t[0x02] = 33;  // sensor frame
    t[0x03] = 5;   // motor encoder rate
    t[0x04] = 4;   // pulse result
    t[0x05] = 4;   // pilot lamp step
    t[0x06] = 5;   // SW1 positions
    t[0x07] = 4;   // SW2 positions
    t[0x08] = 4;   // fish result
    t[0x09] = 4;   // EEPROM result
    t[0x10] = 4;   // I/O result
    t[0x20] = 4;   // fish sensor state
    t[0x21] = 4;   // hook sensor
    t[0x22] = 4;   // in sensor
    t[0x23] = 9;   // sensor readings
    t[0x24] = 4;   // acknowledgement
    t[0x25] = 9;   // exchange sensors
    t[0x26] = 33;  // last sensor frame of a run
    t[0x27] = 6;   // sensor offset and lens count
    return t;
}();

// Every frame fits the assembly buffer and one history slot.
static_assert(*std::max_element(kFrameLengths.begin(), kFrameLengths.end()) <= kHistorySlotSize);
static_assert(kHistorySlotSize <= kFrameBufferSize);

}  // namespace

int FrameLengthFor(std::uint8_t replyCode) {
    return kFrameLengths[replyCode];
}

bool FrameAssembler::Feed(std::span<const std::uint8_t> bytes, DeviceFrame& latest) {
    bool completed = false;
    for (std::uint8_t b : bytes) {
        completed |= Step(b, latest);
    }
    return completed;
}

bool FrameAssembler::Step(std::uint8_t b, DeviceFrame& latest) {
    if (!InHeader && !InBody) {
        if (b == kHeaderStart) {
            FrameBuffer[0] = b;
            FrameIndex = 1;
            HeaderCount = 0;
            InHeader = true;
        }
        return false;
    }

    if (InHeader) {
        FrameBuffer[static_cast<std::size_t>(FrameIndex++)] = b;
        if (++HeaderCount < 2) {
            return false;
        }
        InHeader = false;
        HeaderCount = 0;
        if (FrameBuffer[1] != kHeaderSecond) {
            // Not a header after all: the two bytes after the 0x55 are scanned again, so a 0x55
            // among them can start the real header. Neither can complete a header here.
            FrameIndex = 0;
            const std::uint8_t second = FrameBuffer[1];
            const std::uint8_t third = FrameBuffer[2];
            Step(second, latest);
            Step(third, latest);
            return false;
        }
        // A code outside the table keeps the length of the last known one.
        const int length = FrameLengthFor(FrameBuffer[2]);
        if (length != 0) {
            FrameLength = length;
        }
        if (FrameLength <= kHeaderLength) {
            // No known code seen yet: such a frame could never complete, so drop it.
            FrameIndex = 0;
            return false;
        }
        InBody = true;
        return false;
    }

    // InBody: every byte is data, 0x55 included. FrameLength is a table length here (4..33), so
    // the frame completes well inside FrameBuffer and its history slot.
    FrameBuffer[static_cast<std::size_t>(FrameIndex++)] = b;
    if (FrameIndex < FrameLength) {
        return false;
    }
    auto& slot = FrameHistory[static_cast<std::size_t>(HistoryIndex)];
    std::copy_n(FrameBuffer.begin(), FrameIndex, slot.begin());
    latest.bytes = FrameBuffer;
    latest.length = FrameIndex;
    HistoryIndex = (HistoryIndex + 1) % kHistorySlots;
    FrameIndex = 0;
    InBody = false;
    return true;
}

}  // namespace mv62
