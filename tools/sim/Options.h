#pragma once
// The simulator's command line.
#include <optional>
#include <span>
#include <string>

#include "sim/DeviceModel.h"

namespace mv62sim {

struct SimOptions {
    DeviceConfig device;
    std::string linkPath;    // --link: symbolic link to the device path
    std::string devicePath;  // --device: a real serial device instead of a pseudo-terminal
    std::string replayPath;  // --replay: a session journal whose device side is played back
    int baud = 9600;
    bool noise = false;
    bool split = false;
    bool verbose = false;
    std::uint32_t seed = 1;
    std::optional<double> exitAfterSeconds;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. Returns false with a message in `error` when an
// option is unknown, lacks its value or has a value out of range.
bool ParseOptions(std::span<const std::string> args, SimOptions& options, std::string& error);

std::string HelpText();

}  // namespace mv62sim
