#include "BenchStreams.h"

#include <algorithm>
#include <array>
#include <random>
#include <string_view>

namespace mv62bench {

namespace {

Bytes Frame(std::uint8_t code, std::initializer_list<std::uint8_t> data) {
    Bytes f;
    f.reserve(3 + data.size());
    f.push_back(0x55);
    f.push_back(0xAA);
    f.push_back(code);
    for (std::uint8_t b : data) {
        f.push_back(b);
    }
    return f;
}

void Append(Bytes& out, const Bytes& frame) {
    out.insert(out.end(), frame.begin(), frame.end());
}

}  // namespace

Bytes SensorFrame(std::uint32_t seed, int n) {
    std::mt19937 rng(seed * 7919u + static_cast<std::uint32_t>(n));
    auto near = [&](int centre, int spread) {
        return static_cast<std::uint8_t>(
            std::clamp(centre + int(rng() % std::uint32_t(2 * spread + 1)) - spread, 0, 255));
    };
    Bytes f = {0x55, 0xAA, 0x02};
    constexpr std::array<int, 6> kRawCentre = {22, 58, 22, 22, 22, 22};
    for (int c : kRawCentre) {
        f.push_back(near(c, 6));
    }
    f.push_back(near(100, 50));  // the two values of the hidden labels
    f.push_back(near(100, 50));
    for (int d = 0; d < 8; ++d) {
        const auto v = static_cast<std::uint16_t>(1800 + rng() % 600);
        f.push_back(static_cast<std::uint8_t>(v >> 8));
        f.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    for (int p = 0; p < 6; ++p) {
        f.push_back(near(120, 90));
    }
    if (n % 4 == 0) {
        f[4] = 0x55;   // raw value of channel 2
        f[13] = 0x55;  // both bytes of drive value D2
        f[14] = 0x55;
        f[30] = 0x55;  // peak of channel 4
    }
    return f;
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
        Append(out, f);
        ++s.framesWritten;
    };

    int sample = 0;
    while (out.size() < targetBytes) {
        Bytes ident = Frame(0x00, {});
        for (char c : std::string_view("MV62 SIM 1.0")) {
            ident.push_back(static_cast<std::uint8_t>(c));
        }
        ident.resize(26, 0);
        frame(ident);
        frame(Frame(0x27, {100, 0x04, 0xD2}));
        frame(Frame(0x25, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
        for (int i = 0; i < 30; ++i) {
            frame(SensorFrame(seed, sample++));
        }
        Bytes last = SensorFrame(seed, sample++);
        last[2] = 0x26;
        frame(last);
        for (int i = 0; i < 3; ++i) {
            frame(Frame(0x03, {0x03, 0x20}));
        }
        frame(Frame(0x04, {0x10}));
        frame(Frame(0x08, {1}));
        frame(Frame(0x09, {1}));
        frame(Frame(0x10, {1}));
        frame(Frame(0x06, {0x02, 0x81}));
        frame(Frame(0x07, {0x05}));
        for (std::uint8_t step = 0; step < 4; ++step) {
            frame(Frame(0x05, {step}));
        }
        for (int i = 0; i < 4; ++i) {
            frame(Frame(0x20, {1}));
            frame(Frame(0x21, {0}));
            frame(Frame(0x22, {1}));
            frame(Frame(0x23, {30, 31, 32, 0x55, 34, 35}));
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
