#include "BenchStreams.h"

#include <algorithm>
#include <array>
#include <random>
#include <string_view>

#include "Replies.h"

namespace mv62bench {

namespace {

namespace reply = mv62::reply;

Bytes Frame(std::uint8_t code, std::initializer_list<std::uint8_t> data) {
    return mv62::MakeDeviceFrame(code, std::span(data.begin(), data.size()));
}

}  // namespace

Bytes SensorFrame(std::uint32_t seed, int n) {
    std::mt19937 rng(seed * 7919u + static_cast<std::uint32_t>(n));
    auto near = [&](int centre, int spread) {
        return static_cast<std::uint8_t>(
            std::clamp(centre + int(rng() % std::uint32_t(2 * spread + 1)) - spread, 0, 255));
    };
    constexpr std::array<int, mv62::kChannels> kRawCentre = {22, 58, 22, 22, 22, 22};
    mv62::SensorFrameData d;
    for (int i = 0; i < mv62::kChannels; ++i) {
        d.raw[i] = near(kRawCentre[i], 6);
    }
    d.byte9 = near(100, 50);  // the two values of the hidden labels
    d.byte10 = near(100, 50);
    for (std::uint16_t& v : d.drive) {
        v = static_cast<std::uint16_t>(1800 + rng() % 600);
    }
    for (std::uint8_t& p : d.peak) {
        p = near(120, 90);
    }
    if (n % 4 == 0) {
        d.raw[1] = 0x55;      // raw value of channel 2
        d.drive[1] = 0x5555;  // both bytes of drive value D2
        d.peak[3] = 0x55;     // peak of channel 4
    }
    return mv62::EncodeSensorFrame(reply::SensorFrame, d);
}

RecordedStream MakeRecordedStream(std::size_t targetBytes, std::uint32_t seed) {
    RecordedStream s;
    std::mt19937 rng(seed);
    Bytes& out = s.bytes;
    auto frame = [&](const Bytes& f) {
        // Now and then a few bytes of line noise before a frame, any value (a stray 0x55
        // included, which starts a header that the next bytes drop again).
        if (rng() % 8 == 0) {
            const int noise = 1 + int(rng() % 6);
            for (int i = 0; i < noise; ++i) {
                out.push_back(static_cast<std::uint8_t>(rng()));
            }
        }
        out.insert(out.end(), f.begin(), f.end());
        ++s.framesWritten;
    };

    int sample = 0;
    while (out.size() < targetBytes) {
        std::array<std::uint8_t, mv62::kIdentificationLength> ident{};
        const std::string_view text = "MV62 SIM 1.0";
        std::copy(text.begin(), text.end(), ident.begin());
        frame(mv62::MakeDeviceFrame(reply::Identification, ident));
        frame(Frame(reply::OffsetAndLens, {100, 0x04, 0xD2}));
        frame(Frame(reply::ExchangeSensors, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
        for (int i = 0; i < 30; ++i) {
            frame(SensorFrame(seed, sample++));
        }
        Bytes last = SensorFrame(seed, sample++);
        last[2] = reply::LastSensorFrame;
        frame(last);
        for (int i = 0; i < 3; ++i) {
            frame(Frame(reply::MotorRate, {0x03, 0x20}));
        }
        frame(Frame(reply::PulseResult, {0x10}));
        frame(Frame(reply::FishResult, {1}));
        frame(Frame(reply::EepromResult, {1}));
        frame(Frame(reply::IoResult, {1}));
        frame(Frame(reply::Sw1Positions, {0x02, 0x81}));
        frame(Frame(reply::Sw2Positions, {0x05}));
        for (std::uint8_t step = 0; step < 4; ++step) {
            frame(Frame(reply::LampStep, {step}));
        }
        for (int i = 0; i < 4; ++i) {
            frame(Frame(reply::FishState, {1}));
            frame(Frame(reply::HookSensor, {0}));
            frame(Frame(reply::InSensor, {1}));
            frame(Frame(reply::SensorReadings, {30, 31, 32, 0x55, 34, 35}));
        }
    }

    // Receive events of 1 to 1152 bytes.
    std::uniform_int_distribution<std::size_t> size(1, 1152);
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t n = std::min(size(rng), out.size() - at);
        s.chunks.emplace_back(out.data() + at, n);
        at += n;
    }
    return s;
}

}  // namespace mv62bench
