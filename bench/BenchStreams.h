#pragma once
// Byte streams for the benchmarks: what an MV62 sends during automatic tests, with line noise,
// cut into the chunks that receive events deliver. Everything is seeded, so every run measures
// the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Vocabulary.h"

namespace mv62bench {

using mv62::Bytes;

// A 33-byte sensor frame (reply 0x02) of the sample `n` of a seeded series: raw values near the
// targets, drive values and peaks that vary from frame to frame; one frame in four carries 0x55
// bytes in its data (a raw value, a drive value and a peak).
Bytes SensorFrame(std::uint32_t seed, int n);

struct RecordedStream {
    RecordedStream() = default;
    RecordedStream(RecordedStream&&) = default;
    RecordedStream(const RecordedStream&) = delete;  // the chunks point into `bytes`
    RecordedStream& operator=(const RecordedStream&) = delete;

    Bytes bytes;
    // The receive events: consecutive pieces of `bytes`, 1 to 1152 bytes each.
    std::vector<std::span<const std::uint8_t>> chunks;
    int framesWritten = 0;  // device frames put into the stream
};

// About `targetBytes` bytes of automatic tests one after another: identification, sensor
// offset and exchange sensors, a sensor run closed by 0x26, motor, pulse, fish, EEPROM, I/O,
// switch and lamp replies, maintenance reports; random noise bytes between some frames.
RecordedStream MakeRecordedStream(std::size_t targetBytes, std::uint32_t seed);

}  // namespace mv62bench
