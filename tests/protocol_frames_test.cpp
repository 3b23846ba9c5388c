#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <vector>

#include "Frames.h"

namespace mv62 {
namespace {

using Stream = std::vector<std::uint8_t>;

std::optional<DeviceFrame> Feed(FrameAssembler& a, const Stream& bytes) {
    DeviceFrame f;
    if (a.Feed(bytes, f)) {
        return f;
    }
    return std::nullopt;
}

Stream FrameBytes(const DeviceFrame& f) {
    return Stream(f.bytes.begin(), f.bytes.begin() + f.length);
}

Stream HistorySlot(const FrameAssembler& a, int slot, int length) {
    const auto& s = a.FrameHistory[static_cast<std::size_t>(slot)];
    return Stream(s.begin(), s.begin() + length);
}

// A frame of the given code: header, then data counting up from `first`.
Stream MakeFrame(std::uint8_t code, int length, std::uint8_t first = 1) {
    Stream f{0x55, 0xAA, code};
    for (int i = 3; i < length; ++i) {
        f.push_back(static_cast<std::uint8_t>(first + i - 3));
    }
    return f;
}

// Sensor frame whose data holds several 0x55 bytes, one of them followed by 0xAA.
Stream SensorFrameWith55() {
    Stream f = MakeFrame(0x02, 33, 30);
    f[3] = 0x55;
    f[4] = 0xAA;
    f[5] = 0x04;
    f[20] = 0x55;
    f[32] = 0x55;
    return f;
}

void ExpectInRange(const FrameAssembler& a) {
    EXPECT_GE(a.FrameIndex, 0);
    EXPECT_LE(a.FrameIndex, kFrameBufferSize);
    EXPECT_GE(a.HistoryIndex, 0);
    EXPECT_LT(a.HistoryIndex, kHistorySlots);
    EXPECT_FALSE(a.InHeader && a.InBody);
    if (a.InBody) {
        EXPECT_LT(a.FrameIndex, a.FrameLength);
    }
}

TEST(FrameAssembler, EveryCodeOfTheTableCompletesAtItsLength) {
    const std::map<int, int> table = {{0x00, 26}, {0x02, 33}, {0x03, 5}, {0x04, 4}, {0x05, 4},
                                      {0x06, 5},  {0x07, 4},  {0x08, 4}, {0x09, 4}, {0x10, 4},
                                      {0x20, 4},  {0x21, 4},  {0x22, 4}, {0x23, 9}, {0x24, 4},
                                      {0x25, 9},  {0x26, 33}, {0x27, 6}};
    for (int code = 0; code < 256; ++code) {
        const auto it = table.find(code);
        EXPECT_EQ(FrameLengthFor(static_cast<std::uint8_t>(code)),
                  it == table.end() ? 0 : it->second)
            << "code " << code;
    }
    FrameAssembler a;
    for (const auto& [code, length] : table) {
        const Stream frame = MakeFrame(static_cast<std::uint8_t>(code), length);
        // One byte short of the frame completes nothing; the last byte completes it.
        EXPECT_FALSE(Feed(a, Stream(frame.begin(), frame.end() - 1))) << "code " << code;
        const auto got = Feed(a, Stream{frame.back()});
        ASSERT_TRUE(got) << "code " << code;
        EXPECT_EQ(got->length, length);
        EXPECT_EQ(FrameBytes(*got), frame);
    }
}

TEST(FrameAssembler, FrameSplitAnywhereAcrossEventsIsAssembledWhole) {
    for (const Stream& frame : {Stream{0x55, 0xAA, 0x04, 0x10}, SensorFrameWith55()}) {
        const int n = static_cast<int>(frame.size());
        for (int cut1 = 0; cut1 <= n; ++cut1) {
            for (int cut2 = cut1; cut2 <= n; ++cut2) {
                FrameAssembler a;
                const auto r1 = Feed(a, Stream(frame.begin(), frame.begin() + cut1));
                const auto r2 = Feed(a, Stream(frame.begin() + cut1, frame.begin() + cut2));
                const auto r3 = Feed(a, Stream(frame.begin() + cut2, frame.end()));
                // Only the chunk carrying the last byte completes the frame.
                EXPECT_EQ(r1.has_value(), cut1 == n);
                EXPECT_EQ(r2.has_value(), cut1 < n && cut2 == n);
                EXPECT_EQ(r3.has_value(), cut2 < n);
                const auto& got = r3 ? r3 : (r2 ? r2 : r1);
                ASSERT_TRUE(got);
                EXPECT_EQ(FrameBytes(*got), frame);
                EXPECT_EQ(HistorySlot(a, 0, n), frame);
                EXPECT_EQ(a.HistoryIndex, 1);
            }
        }
        // One byte per event.
        FrameAssembler a;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(Feed(a, Stream{frame[static_cast<std::size_t>(i)]}).has_value(), i == n - 1);
        }
    }
}

TEST(FrameAssembler, FalseHeaderIsScannedAgain) {
    FrameAssembler a;
    auto got = Feed(a, {0x55, 0x55, 0xAA, 0x04, 0x10});
    ASSERT_TRUE(got);
    EXPECT_EQ(FrameBytes(*got), (Stream{0x55, 0xAA, 0x04, 0x10}));

    const std::vector<std::pair<Stream, Stream>> splits = {
        {{0x12, 0x55, 0x12, 0x55}, {0xAA, 0x08, 0x01}},
        {{0x55, 0x12}, {0x55, 0xAA, 0x08, 0x01}},
    };
    // The 0x55 in the code position starts the real header, also across events.
    for (const auto& [first, rest] : splits) {
        FrameAssembler b;
        EXPECT_FALSE(Feed(b, first));
        got = Feed(b, rest);
        ASSERT_TRUE(got);
        EXPECT_EQ(FrameBytes(*got), (Stream{0x55, 0xAA, 0x08, 0x01}));
    }

    // 55 55 55 AA: both bytes after the first 0x55 are scanned again.
    FrameAssembler c;
    EXPECT_FALSE(Feed(c, {0x55}));
    EXPECT_FALSE(Feed(c, {0x55}));
    got = Feed(c, {0x55, 0xAA, 0x09, 0x01});
    ASSERT_TRUE(got);
    EXPECT_EQ(got->code(), 0x09);
    EXPECT_EQ(c.HistoryIndex, 1);
}

TEST(FrameAssembler, LatestFrameOfTheEventIsReportedAndAllAreStored) {
    FrameAssembler a;
    const Stream fish{0x55, 0xAA, 0x08, 0x01};
    const Stream eeprom{0x55, 0xAA, 0x09, 0x00};
    Stream both = fish;
    both.insert(both.end(), eeprom.begin(), eeprom.end());
    // A further header in the same event does not disturb the reported frame.
    both.insert(both.end(), {0x00, 0x55, 0xAA, 0x02, 0x07});
    const auto got = Feed(a, both);
    ASSERT_TRUE(got);
    EXPECT_EQ(FrameBytes(*got), eeprom);
    EXPECT_EQ(HistorySlot(a, 0, 4), fish);
    EXPECT_EQ(HistorySlot(a, 1, 4), eeprom);
    EXPECT_EQ(a.HistoryIndex, 2);
    EXPECT_EQ(a.FrameLength, 33);
    EXPECT_TRUE(a.InBody);
}

TEST(FrameAssembler, UnknownCodeTakesTheLastKnownLength) {
    FrameAssembler a;
    ASSERT_TRUE(Feed(a, {0x55, 0xAA, 0x03, 0x03, 0x20}));
    const Stream unknown{0x55, 0xAA, 0x30, 0x55, 0xAA};
    const auto got = Feed(a, unknown);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->length, 5);
    EXPECT_EQ(FrameBytes(*got), unknown);
    EXPECT_EQ(HistorySlot(a, 1, 5), unknown);
}

TEST(FrameAssembler, UnknownCodeBeforeAnyKnownOneIsDropped) {
    FrameAssembler a;
    Stream s{0x55, 0xAA, 0x30};
    for (int i = 0; i < 200; ++i) {
        s.push_back(static_cast<std::uint8_t>(i == 50 ? 0x00 : 0x11));
    }
    EXPECT_FALSE(Feed(a, s));
    ExpectInRange(a);
    EXPECT_FALSE(a.InBody);
    EXPECT_EQ(a.FrameLength, 0);
    EXPECT_EQ(a.HistoryIndex, 0);
    const auto got = Feed(a, {0x55, 0xAA, 0x04, 0x10});
    ASSERT_TRUE(got);
    EXPECT_EQ(got->code(), 0x04);
}

TEST(FrameAssembler, HistoryWrapsAfterHundredFrames) {
    FrameAssembler a;
    for (int i = 0; i < 101; ++i) {
        const auto got = Feed(a, {0x55, 0xAA, 0x05, static_cast<std::uint8_t>(i)});
        ASSERT_TRUE(got);
        EXPECT_EQ(a.HistoryIndex, (i + 1) % 100);
    }
    EXPECT_EQ(a.FrameHistory[0][3], 100);
    EXPECT_EQ(a.FrameHistory[1][3], 1);
    EXPECT_EQ(a.FrameHistory[99][3], 99);
}

TEST(FrameAssembler, RandomStreamsInRandomChunks) {
    const std::vector<std::uint8_t> codes = {0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                             0x10, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27};
    std::mt19937 rng(62);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    for (int round = 0; round < 200; ++round) {
        // Noise never holds 0x55, so it cannot start a header; frame data may hold anything.
        Stream stream;
        std::vector<Stream> expected;
        for (int f = 0; f < 40; ++f) {
            for (int n = pick(0, 6); n > 0; --n) {
                int b = pick(0, 254);
                stream.push_back(static_cast<std::uint8_t>(b >= 0x55 ? b + 1 : b));
            }
            const std::uint8_t code = codes[static_cast<std::size_t>(pick(0, 17))];
            Stream frame{0x55, 0xAA, code};
            while (static_cast<int>(frame.size()) < FrameLengthFor(code)) {
                frame.push_back(static_cast<std::uint8_t>(pick(0, 255)));
            }
            stream.insert(stream.end(), frame.begin(), frame.end());
            expected.push_back(frame);
        }

        FrameAssembler a;
        std::vector<Stream> found;
        for (std::size_t pos = 0; pos < stream.size();) {
            const std::size_t n = std::min<std::size_t>(stream.size() - pos, pick(0, 80));
            const int before = a.HistoryIndex;
            const auto got = Feed(a, Stream(stream.begin() + pos, stream.begin() + pos + n));
            pos += n;
            ExpectInRange(a);
            for (int slot = before; slot != a.HistoryIndex; slot = (slot + 1) % kHistorySlots) {
                const int length = FrameLengthFor(a.FrameHistory[slot][2]);
                found.push_back(HistorySlot(a, slot, length));
            }
            EXPECT_EQ(got.has_value(), before != a.HistoryIndex);
            if (got) {
                EXPECT_EQ(FrameBytes(*got), found.back());
            }
        }
        ASSERT_EQ(found, expected) << "round " << round;
    }

    // Unrestricted garbage: only the bounds are checked.
    FrameAssembler a;
    DeviceFrame f;
    for (int i = 0; i < 20000; ++i) {
        Stream chunk(static_cast<std::size_t>(pick(0, 60)));
        for (auto& b : chunk) {
            const int r = pick(0, 9);
            b = static_cast<std::uint8_t>(r < 3 ? 0x55 : (r < 5 ? 0xAA : pick(0, 255)));
        }
        if (a.Feed(chunk, f)) {
            EXPECT_GE(f.length, 4);
            EXPECT_LE(f.length, 33);
        }
        ExpectInRange(a);
    }
}

}  // namespace
}  // namespace mv62
