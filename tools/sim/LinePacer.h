#pragma once
// The device's transmitter: bytes leave no faster than the line carries them (11 bits per byte
// at 8E1, so baud / 11 bytes per second), in small chunks. Also the line faults that can be
// switched on: noise between frames and frames broken into pieces.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "sim/CommandDecoder.h"

namespace mv62sim {

class LinePacer {
  public:
    explicit LinePacer(int baud);

    // Queues bytes to send after a pause of `gap` on the line. When the backlog (about two
    // seconds of line time) is full, the oldest unsent bytes are dropped, as on a line nobody
    // reads; returns how many bytes were dropped.
    std::size_t Queue(Bytes bytes, SimTime now, SimTime gap = {});

    // The bytes whose time has come (at most one chunk); empty when none is due yet.
    std::span<const std::uint8_t> Due(SimTime now);

    // The first `count` bytes of the last Due() went out.
    void Sent(std::size_t count);

    // Drops every queued piece that has not begun to go out (the one on the line finishes).
    // Returns the number of bytes dropped.
    std::size_t DropUnstarted();

    // When the next chunk is due; none when nothing waits.
    std::optional<SimTime> NextSendTime() const;

    std::size_t Backlog() const { return backlog_; }
    std::size_t ChunkSize() const { return chunk_; }
    SimTime ByteTime() const { return byteTime_; }
    std::size_t MaxBacklog() const { return maxBacklog_; }

  private:
    struct Segment {
        Bytes bytes;
        std::size_t sent = 0;
        SimTime gap{};
    };

    SimTime byteTime_;  // one byte's time on the line, rounded up
    std::size_t chunk_;
    std::size_t maxBacklog_;
    std::deque<Segment> queue_;
    std::size_t backlog_ = 0;
    SimTime next_{};  // when the next byte may start
};

// Cuts the device's output into what goes on the line: with noise, a few random bytes (never
// 0x55, so no false frame start) before each frame; with split, each frame in random pieces of
// 1..12 bytes with pauses of 1..10 ms between them.
class LineFaults {
  public:
    struct Piece {
        Bytes bytes;
        SimTime gap{};
    };

    LineFaults(bool noise, bool split, std::uint32_t seed);
    std::vector<Piece> Shape(const Bytes& bytes, bool framed);

  private:
    bool noise_;
    bool split_;
    std::mt19937 random_;
};

}  // namespace mv62sim
