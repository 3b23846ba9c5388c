#pragma once
// Host commands as the device hears them: 0x55 0xAA, a command code and its fixed number of
// parameter bytes, or the lone stop byte 0xED. The decoder cuts them out of a byte stream and
// skips whatever does not fit, so that it finds its feet again after line noise. The simulator
// decodes what the station sends with it, the test records what the station wrote.
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "Vocabulary.h"

namespace mv62 {

struct HostCommand {
    enum class Kind {
        Framed,    // 55 AA code parameters
        LoneStop,  // the single byte ED outside a command
    };
    Kind kind = Kind::Framed;
    std::uint8_t code = 0;  // the stop code 0xED for a lone stop
    Bytes params;
};

struct DecodedItem {
    enum class Kind { Command, Garbage };
    Kind kind = Kind::Command;
    HostCommand command;  // valid for Kind::Command
    Bytes bytes;          // the bytes as they came: the whole command, or the skipped garbage
};

class CommandDecoder {
  public:
    using Time = std::chrono::microseconds;

    // A command that is still unfinished this long after its last byte is given up as garbage
    // when the next byte arrives. The station sends a command's bytes back to back, so a long
    // pause inside a command means bytes were lost.
    static constexpr Time kPartialTimeout = std::chrono::milliseconds(500);

    // Decodes the bytes received at `now`. Garbage runs are reported as items of their own.
    std::vector<DecodedItem> Feed(std::span<const std::uint8_t> bytes, Time now);

    // True while part of a command has been taken and the rest is awaited.
    bool InCommand() const { return state_ != State::Idle; }

  private:
    enum class State { Idle, GotSync1, GotSync2, InParams };

    void Take(std::uint8_t b, std::vector<DecodedItem>& out);
    void FlushGarbage(std::vector<DecodedItem>& out);
    void EmitCommand(std::vector<DecodedItem>& out);

    State state_ = State::Idle;
    Bytes pending_;  // the command being taken, from its 0x55 on
    Bytes garbage_;  // skipped bytes not yet reported
    Time lastByte_{};
};

}  // namespace mv62
