// Feeds arbitrary bytes, in chunks whose sizes come from the input, to the frame assembler and
// runs the reply arithmetic on every completed frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "Frames.h"
#include "ReplyMath.h"

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

    switch (known != 0 ? f.code() : 0xFF) {
        case 0x03: {
            const int count = f[3] * 256 + f[4];
            const int rpm = MotorRpm(count);
            Check(rpm % 60 == 0 && rpm >= 0);
            MotorSpeedPasses(rpm, true);
            MotorSpeedPasses(rpm, false);
            EncoderPasses(count);
            break;
        }
        case 0x06:
            for (int pos = 1; pos <= 10; ++pos) {
                Sw1PositionOn(f[3], f[4], pos);
            }
            break;
        case 0x07:
            for (int pos = 1; pos <= 4; ++pos) {
                Sw2PositionOn(f[3], pos);
            }
            break;
        case 0x27:
            sensorOffset = SensorOffsetFromByte(f[3]);
            Check(sensorOffset >= -100 && sensorOffset <= 155);
            break;
        case 0x02:
        case 0x26:
            for (int ch = 0; ch < kChannels; ++ch) {
                const std::uint32_t c = CorrectedSensorValue(ch, f[3 + ch], sensorOffset);
                Check(c <= kDisplayLimit);
                CalibValuePasses(ch, c);
                PeakPasses(ch, f[27 + ch]);
                Check(LimitToDisplay(f[27 + ch]) <= kDisplayLimit);
            }
            break;
        default:
            break;
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
