#include "Frames.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace mv62 {

namespace {

// Total frame length per reply code; 0 for codes the device never sends.
constexpr std::array<std::uint8_t, 256> kFrameLengths = [] {
    std::array<std::uint8_t, 256> t{};
    for (const ReplyInfo& r : kReplyTable) {
        t[r.code] = static_cast<std::uint8_t>(r.length);
    }
    return t;
}();

// Every frame fits the assembly buffer and one history slot.
static_assert(*std::max_element(kFrameLengths.begin(), kFrameLengths.end()) <= kHistorySlotSize);
static_assert(kHistorySlotSize <= kFrameBufferSize);

// The frame in FrameBuffer is complete: it goes into the next history slot and becomes the
// latest frame of this event, and the assembler returns to idle.
void CompleteFrame(FrameAssembler& a, DeviceFrame& latest) {
    auto& slot = a.FrameHistory[static_cast<std::size_t>(a.HistoryIndex)];
    std::copy_n(a.FrameBuffer.begin(), a.FrameIndex, slot.begin());
    latest.bytes = a.FrameBuffer;
    latest.length = a.FrameIndex;
    a.HistoryIndex = (a.HistoryIndex + 1) % kHistorySlots;
    a.FrameIndex = 0;
    a.InBody = false;
}

}  // namespace

int FrameLengthFor(std::uint8_t replyCode) {
    return kFrameLengths[replyCode];
}

std::string_view ReplyName(std::uint8_t replyCode) {
    for (const ReplyInfo& r : kReplyTable) {
        if (r.code == replyCode) {
            return r.name;
        }
    }
    return {};
}

Bytes MakeDeviceFrame(std::uint8_t replyCode, std::span<const std::uint8_t> data) {
    Bytes frame;
    frame.reserve(data.size() + kHeaderLength);
    frame.push_back(kHeaderStart);
    frame.push_back(kHeaderSecond);
    frame.push_back(replyCode);
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

bool FrameAssembler::Feed(std::span<const std::uint8_t> bytes, DeviceFrame& latest) {
    bool completed = false;
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    while (p != end) {
        const int room = FrameLength - FrameIndex;
        if (InBody && room > 0) {
            // Data bytes, 0x55 included, go in as one block up to the end of the frame.
            const auto n = static_cast<int>(std::min<std::ptrdiff_t>(room, end - p));
            std::copy_n(p, n, FrameBuffer.begin() + FrameIndex);
            FrameIndex += n;
            p += n;
            if (FrameIndex == FrameLength) {
                CompleteFrame(*this, latest);
                completed = true;
            }
            continue;
        }
        if (!InHeader && !InBody) {
            // Idle: everything before the next 0x55 is skipped.
            p = static_cast<const std::uint8_t*>(
                std::memchr(p, kHeaderStart, static_cast<std::size_t>(end - p)));
            if (p == nullptr) {
                break;
            }
        }
        completed |= Step(*p++, latest);
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
    CompleteFrame(*this, latest);
    return true;
}

}  // namespace mv62
