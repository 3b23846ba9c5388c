#pragma once
// What the MV62 hears: the host commands of the protocol's decoder, and their log lines.
#include <chrono>
#include <cstdint>
#include <string>

#include "HostCommandDecoder.h"
#include "HostCommands.h"
#include "Vocabulary.h"

namespace mv62sim {

using mv62::Bytes;
using mv62::CommandDecoder;
using mv62::DecodedItem;
using mv62::DriveIndexForChannel;
using mv62::HexBytes;
using mv62::HostCommand;
using mv62::LampPatternFromCode;
using mv62::ParameterCount;

// Simulator time: time since the simulator started. Tests drive it by hand.
using SimTime = std::chrono::microseconds;

inline constexpr std::uint8_t kStopCode = mv62::cmd::Stop;

// What a command means, for the log ("motor test", "set DAC channel 8 (D7) to 511").
std::string DescribeCommand(const HostCommand& cmd);

// The log line of a received command: "rx 55 AA 07 motor test", "rx ED (lone stop)".
std::string CommandLogLine(const HostCommand& cmd);

}  // namespace mv62sim
