#include "sim/CommandDecoder.h"

#include <bit>

namespace mv62sim {

namespace cmd = mv62::cmd;

std::string DescribeCommand(const HostCommand& c) {
    if (c.kind == HostCommand::Kind::LoneStop) {
        return "lone stop";
    }
    const int lamps = LampPatternFromCode(c.code);
    if (lamps >= 0) {
        auto onOff = [&](int bit) { return (lamps >> bit) & 1 ? "on" : "off"; };
        return std::string("pilot lamp outputs 1 ") + onOff(2) + ", 2 " + onOff(1) + ", 3 " +
               onOff(0);
    }
    if (c.code == cmd::ChannelDac) {
        if (c.params.size() != ParameterCount(c.code)) {
            return "set DAC (incomplete)";
        }
        const int index = DriveIndexForChannel(c.params[0]);
        const int value = c.params[1] * 256 + c.params[2];
        std::string s = "set DAC channel " + std::to_string(c.params[0]);
        if (index >= 0) {
            s += " (D" + std::to_string(index + 1) + ")";
        }
        return s + " to " + std::to_string(value);
    }
    if (c.code == cmd::CountryWrite) {
        int countries = 0;
        for (std::uint8_t b : c.params) {
            countries += std::popcount(b);
        }
        return "write country mask (" + std::to_string(countries) + " countries)";
    }
    return std::string(mv62::CommandName(c.code));
}

std::string CommandLogLine(const HostCommand& c) {
    if (c.kind == HostCommand::Kind::LoneStop) {
        return "rx ED (lone stop)";
    }
    std::string line = "rx " + HexBytes(mv62::PlainCommand(c.code));
    if (c.params.size() <= 3) {
        if (!c.params.empty()) {
            line += ' ' + HexBytes(c.params);
        }
    } else {
        line += " +" + std::to_string(c.params.size()) + " bytes";
    }
    return line + ' ' + DescribeCommand(c);
}

}  // namespace mv62sim
