// Feeds arbitrary bytes, in chunks whose sizes come from the input, to the frame assembler and
// reads every completed frame as the window reads it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "Frames.h"
#include "TestPlan.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool IsTableLength(int length) {
    for (int code = 0; code < 256; ++code) {
        if (length != 0 && mv62::FrameLengthFor(static_cast<std::uint8_t>(code)) == length) {
            return true;
        }
    }
    return false;
}

void CheckState(const mv62::FrameAssembler& a) {
    Check(a.FrameIndex >= 0 && a.FrameIndex <= mv62::kFrameBufferSize);
    Check(a.HistoryIndex >= 0 && a.HistoryIndex < mv62::kHistorySlots);
    Check(a.HeaderCount >= 0 && a.HeaderCount < 2);
    Check(!(a.InHeader && a.InBody));
    Check(a.FrameLength == 0 || IsTableLength(a.FrameLength));
    Check(!a.InBody || a.FrameIndex < a.FrameLength);
}

void CheckFrame(const mv62::FrameAssembler& a, const mv62::DeviceFrame& f, int& sensorOffset) {
    using namespace mv62;
    Check(f.length >= 4 && f.length <= kFrameBufferSize && f.length <= kHistorySlotSize);
    Check(f[0] == 0x55 && f[1] == 0xAA);
    const int known = FrameLengthFor(f.code());
    Check(known != 0 ? f.length == known : IsTableLength(f.length));
    const auto& slot = a.FrameHistory[static_cast<std::size_t>(
        (a.HistoryIndex + kHistorySlots - 1) % kHistorySlots)];
    for (int i = 0; i < f.length; ++i) {
        Check(slot[static_cast<std::size_t>(i)] == f[i]);
    }

    // Every frame is read as the window reads it, in both views and with CashBox either way.
    const FrameReading r = ReadFrame(f, {(f[3] & 1) != 0, sensorOffset, (f[3] & 2) != 0});
    Check(r.handled == (known != 0));
    for (const Reading& reading : r.readings) {
        Check(reading.list || reading.values.size() == 1);
        Check(reading.passed.empty() || reading.passed.size() == reading.values.size());
        for (int v : reading.values) {
            if (reading.measurement->quantity == Quantity::OpticsCorrected) {
                Check(v >= 0 && v <= static_cast<int>(kDisplayLimit));
            }
            if (reading.measurement->quantity == Quantity::MotorRpm) {
                Check(v % 60 == 0 && v >= 0);
            }
        }
    }
    if (r.sensorOffset) {
        sensorOffset = *r.sensorOffset;
        Check(sensorOffset >= -100 && sensorOffset <= 155);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mv62::FrameAssembler assembler;
    int sensorOffset = 0;
    std::size_t pos = 0;
    while (pos < size) {
        // Each chunk is preceded by its length byte (0..63, an empty event included).
        const std::size_t want = data[pos++] % 64;
        const std::size_t n = want < size - pos ? want : size - pos;
        mv62::DeviceFrame latest;
        const int before = assembler.HistoryIndex;
        const bool completed = assembler.Feed(std::span(data + pos, n), latest);
        pos += n;
        CheckState(assembler);
        // A chunk holds fewer than 100 frames, so completion always moves the history index.
        Check(completed == (before != assembler.HistoryIndex));
        if (completed) {
            CheckFrame(assembler, latest, sensorOffset);
        }
    }
    return 0;
}
