#pragma once
// What the MV62 hears: host commands (0x55 0xAA, a command code and a fixed number of parameter
// bytes) and the lone stop byte 0xED. The decoder cuts them out of the received byte stream and
// skips whatever does not fit, so that it finds its feet again after line noise.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mv62sim {

using Bytes = std::vector<std::uint8_t>;
// Simulator time: time since the simulator started. Tests drive it by hand.
using SimTime = std::chrono::microseconds;

inline constexpr std::uint8_t kSync1 = 0x55;
inline constexpr std::uint8_t kSync2 = 0xAA;
inline constexpr std::uint8_t kStopCode = 0xED;

// Parameter bytes after the command code: 3 for 0x01 (set DAC), 30 for 0x51 (country mask),
// none for every other code.
std::size_t ParameterCount(std::uint8_t code);

struct HostCommand {
    enum class Kind {
        Framed,    // 55 AA code parameters
        LoneStop,  // the single byte ED outside a command
    };
    Kind kind = Kind::Framed;
    std::uint8_t code = 0;  // kStopCode for a lone stop
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
    // A command that is still unfinished this long after its last byte is given up as garbage
    // when the next byte arrives. The station sends a command's bytes back to back, so a long
    // pause inside a command means bytes were lost.
    static constexpr SimTime kPartialTimeout = std::chrono::milliseconds(500);

    // Decodes the bytes received at `now`. Garbage runs are reported as items of their own.
    std::vector<DecodedItem> Feed(std::span<const std::uint8_t> bytes, SimTime now);

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
    SimTime lastByte_{};
};

// The bytes as upper-case hexadecimal pairs separated by blanks ("55 AA 07").
std::string HexBytes(std::span<const std::uint8_t> bytes);

// What a command means, for the log ("motor test", "set DAC channel 8 (D7) to 511").
std::string DescribeCommand(const HostCommand& cmd);

// The log line of a received command: "rx 55 AA 07 motor test", "rx ED (lone stop)".
std::string CommandLogLine(const HostCommand& cmd);

// The three pilot lamp outputs switched by codes 0x35..0x39, 0x40..0x42 (bit 2: lamp 1, bit 1:
// lamp 2, bit 0: lamp 3); -1 for any other code.
int LampPatternFromCode(std::uint8_t code);

// Drive output index 0..7 (D1..D8) of a DAC channel number of command 0x01; -1 when unknown.
int DriveIndexForChannel(std::uint8_t channel);

}  // namespace mv62sim
