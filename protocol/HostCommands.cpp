#include "HostCommands.h"

#include <algorithm>

namespace mv62 {

namespace {

// The catalogue of what the station sends, by code.
struct CommandInfo {
    std::uint8_t code;
    std::string_view name;
};
constexpr CommandInfo kCommandTable[] = {
    {cmd::StartLink, "link start"},
    {cmd::ChannelDac, "set DAC"},
    {cmd::SensorRun, "sensor run"},
    {cmd::MotorTest, "motor test"},
    {cmd::PulseTest, "pulse test"},
    {cmd::FishTest, "fish sensor test"},
    {cmd::EepromTest, "EEPROM test"},
    {cmd::IoTest, "I/O test"},
    {cmd::LampTest, "pilot lamp test"},
    {cmd::ReadSw1, "read SW1"},
    {cmd::ReadSw2, "read SW2"},
    {cmd::MaintenanceOn, "maintenance mode on"},
    {cmd::MaintenanceOff, "maintenance mode off"},
    {cmd::MotorPlus, "transport motor +"},
    {cmd::MotorMinus, "transport motor -"},
    {cmd::MotorStop, "transport motor stop"},
    {cmd::LedOn, "LED on"},
    {cmd::LedOff, "LED off"},
    {cmd::IrOn, "IR on"},
    {cmd::IrOff, "IR off"},
    {cmd::CashMotorPlus, "cash-box motor +"},
    {cmd::CashMotorMinus, "cash-box motor -"},
    {cmd::CashMotorStop, "cash-box motor stop"},
    {cmd::HomePosition, "home position"},
    {cmd::CountryWrite, "write country mask"},
    {cmd::DefaultDac, "default DAC values"},
    {cmd::EepromFill, "fill EEPROM with FF"},
    {cmd::EepromRead, "read EEPROM"},
    {cmd::Stop, "stop"},
};

// Indexed by cb1 cb2 cb3 as a 3-bit number; the codes skip 0x3A..0x3F.
constexpr std::array<std::uint8_t, 8> kLampPatternCodes = {0x35, 0x36, 0x37, 0x38,
                                                           0x39, 0x40, 0x41, 0x42};

}  // namespace

std::size_t ParameterCount(std::uint8_t code) {
    switch (code) {
        case cmd::ChannelDac:
            return 3;
        case cmd::CountryWrite:
            return kCountryMaskSize;
        default:
            return 0;
    }
}

std::string_view CommandName(std::uint8_t code) {
    if (LampPatternFromCode(code) >= 0) {
        return "pilot lamp pattern";
    }
    for (const CommandInfo& c : kCommandTable) {
        if (c.code == code) {
            return c.name;
        }
    }
    return "unknown command";
}

int LampPatternFromCode(std::uint8_t code) {
    for (std::size_t i = 0; i < kLampPatternCodes.size(); ++i) {
        if (kLampPatternCodes[i] == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int DriveIndexForChannel(std::uint8_t channel) {
    for (std::size_t i = 0; i < kDriveChannelCodes.size(); ++i) {
        if (kDriveChannelCodes[i] == channel) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

Bytes PlainCommand(std::uint8_t code) {
    return {kHeaderStart, kHeaderSecond, code};
}

Bytes ChannelDacCommand(std::uint8_t channel, int value) {
    return {kHeaderStart,
            kHeaderSecond,
            cmd::ChannelDac,
            channel,
            static_cast<std::uint8_t>(value / 256),
            static_cast<std::uint8_t>(value % 256)};
}

std::uint8_t LampPatternCode(bool red, bool green, bool blue) {
    return kLampPatternCodes[(red ? 4u : 0u) | (green ? 2u : 0u) | (blue ? 1u : 0u)];
}

Bytes CountryWriteCommand(const CountryMaskBytes& mask) {
    // Made at its final length in one allocation (GCC 12 at -O3 takes an insert that grows the
    // three-byte command for a write out of bounds).
    Bytes out(kHeaderLength + mask.size());
    out[0] = kHeaderStart;
    out[1] = kHeaderSecond;
    out[2] = cmd::CountryWrite;
    std::copy(mask.begin(), mask.end(), out.begin() + kHeaderLength);
    return out;
}

}  // namespace mv62
