#include "sim/CommandDecoder.h"

#include <bit>
#include <cstdio>

namespace mv62sim {

std::size_t ParameterCount(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return 3;
        case 0x51:
            return 30;
        default:
            return 0;
    }
}

std::vector<DecodedItem> CommandDecoder::Feed(std::span<const std::uint8_t> bytes, SimTime now) {
    std::vector<DecodedItem> out;
    if (bytes.empty()) {
        return out;
    }
    if (state_ != State::Idle && now - lastByte_ > kPartialTimeout) {
        // The rest of this command never came: give it up and start afresh.
        garbage_.insert(garbage_.end(), pending_.begin(), pending_.end());
        pending_.clear();
        state_ = State::Idle;
    }
    lastByte_ = now;
    for (std::uint8_t b : bytes) {
        Take(b, out);
    }
    FlushGarbage(out);
    return out;
}

void CommandDecoder::Take(std::uint8_t b, std::vector<DecodedItem>& out) {
    switch (state_) {
        case State::Idle:
            if (b == kSync1) {
                pending_.assign(1, b);
                state_ = State::GotSync1;
            } else if (b == kStopCode) {
                FlushGarbage(out);
                DecodedItem item;
                item.command.kind = HostCommand::Kind::LoneStop;
                item.command.code = kStopCode;
                item.bytes.assign(1, b);
                out.push_back(std::move(item));
            } else {
                garbage_.push_back(b);
            }
            return;
        case State::GotSync1:
            if (b == kSync2) {
                pending_.push_back(b);
                state_ = State::GotSync2;
                return;
            }
            // Not a header after all: the 0x55 was noise. Look at this byte afresh; it may be
            // the 0x55 of the real header or a lone stop.
            garbage_.insert(garbage_.end(), pending_.begin(), pending_.end());
            pending_.clear();
            state_ = State::Idle;
            Take(b, out);
            return;
        case State::GotSync2:
            pending_.push_back(b);
            if (ParameterCount(b) == 0) {
                EmitCommand(out);
            } else {
                state_ = State::InParams;
            }
            return;
        case State::InParams:
            pending_.push_back(b);
            if (pending_.size() == 3 + ParameterCount(pending_[2])) {
                EmitCommand(out);
            }
            return;
    }
}

void CommandDecoder::FlushGarbage(std::vector<DecodedItem>& out) {
    if (garbage_.empty()) {
        return;
    }
    DecodedItem item;
    item.kind = DecodedItem::Kind::Garbage;
    item.bytes = std::move(garbage_);
    garbage_.clear();
    out.push_back(std::move(item));
}

void CommandDecoder::EmitCommand(std::vector<DecodedItem>& out) {
    FlushGarbage(out);
    DecodedItem item;
    item.command.kind = HostCommand::Kind::Framed;
    item.command.code = pending_[2];
    item.command.params.assign(pending_.begin() + 3, pending_.end());
    item.bytes = std::move(pending_);
    pending_.clear();
    state_ = State::Idle;
    out.push_back(std::move(item));
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string s;
    char pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        if (i > 0) {
            s += ' ';
        }
        s += pair;
    }
    return s;
}

int LampPatternFromCode(std::uint8_t code) {
    if (code >= 0x35 && code <= 0x39) {
        return code - 0x35;
    }
    if (code >= 0x40 && code <= 0x42) {
        return code - 0x40 + 5;
    }
    return -1;
}

int DriveIndexForChannel(std::uint8_t channel) {
    if (channel <= 5) {
        return channel;
    }
    if (channel == 8 || channel == 9) {
        return channel - 2;
    }
    return -1;
}

std::string DescribeCommand(const HostCommand& cmd) {
    if (cmd.kind == HostCommand::Kind::LoneStop) {
        return "lone stop";
    }
    const int lamps = LampPatternFromCode(cmd.code);
    if (lamps >= 0) {
        auto onOff = [&](int bit) { return (lamps >> bit) & 1 ? "on" : "off"; };
        return std::string("pilot lamp outputs 1 ") + onOff(2) + ", 2 " + onOff(1) + ", 3 " +
               onOff(0);
    }
    switch (cmd.code) {
        case 0x00:
            return "link start";
        case 0x01: {
            if (cmd.params.size() != 3) {
                return "set DAC (incomplete)";
            }
            const int index = DriveIndexForChannel(cmd.params[0]);
            const int value = cmd.params[1] * 256 + cmd.params[2];
            std::string s = "set DAC channel " + std::to_string(cmd.params[0]);
            if (index >= 0) {
                s += " (D" + std::to_string(index + 1) + ")";
            }
            return s + " to " + std::to_string(value);
        }
        case 0x02:
            return "sensor run";
        case 0x07:
            return "motor test";
        case 0x08:
            return "pulse test";
        case 0x11:
            return "fish sensor test";
        case 0x12:
            return "EEPROM test";
        case 0x13:
            return "I/O test";
        case 0x14:
            return "pilot lamp test";
        case 0x15:
            return "read SW1";
        case 0x16:
            return "read SW2";
        case 0x30:
            return "maintenance mode on";
        case 0x31:
            return "maintenance mode off";
        case 0x32:
            return "transport motor +";
        case 0x33:
            return "transport motor -";
        case 0x34:
            return "transport motor stop";
        case 0x43:
            return "LED on";
        case 0x44:
            return "LED off";
        case 0x45:
            return "IR on";
        case 0x46:
            return "IR off";
        case 0x47:
            return "cash-box motor +";
        case 0x48:
            return "cash-box motor -";
        case 0x49:
            return "cash-box motor stop";
        case 0x50:
            return "home position";
        case 0x51: {
            int countries = 0;
            for (std::uint8_t b : cmd.params) {
                countries += std::popcount(b);
            }
            return "write country mask (" + std::to_string(countries) + " countries)";
        }
        case 0x52:
            return "default DAC values";
        case 0x53:
            return "fill EEPROM with FF";
        case 0x54:
            return "read EEPROM";
        case kStopCode:
            return "stop";
        default:
            return "unknown command";
    }
}

std::string CommandLogLine(const HostCommand& cmd) {
    if (cmd.kind == HostCommand::Kind::LoneStop) {
        return "rx ED (lone stop)";
    }
    const std::uint8_t header[] = {kSync1, kSync2, cmd.code};
    std::string line = "rx " + HexBytes(header);
    if (cmd.params.size() <= 3) {
        if (!cmd.params.empty()) {
            line += ' ' + HexBytes(cmd.params);
        }
    } else {
        line += " +" + std::to_string(cmd.params.size()) + " bytes";
    }
    return line + ' ' + DescribeCommand(cmd);
}

}  // namespace mv62sim
