#include "HostCommands.h"

#include <algorithm>

namespace mv62 {

namespace {
constexpr std::uint8_t kHead0 = 0x55;
constexpr std::uint8_t kHead1 = 0xAA;
}  // namespace

Bytes PlainCommand(std::uint8_t code) {
    return {kHead0, kHead1, code};
}

Bytes ChannelDacCommand(std::uint8_t channel, int value) {
    return {kHead0,
            kHead1,
            cmd::ChannelDac,
            channel,
            static_cast<std::uint8_t>(value / 256),
            static_cast<std::uint8_t>(value % 256)};
}

std::uint8_t LampPatternCode(bool red, bool green, bool blue) {
    // Indexed by cb1 cb2 cb3 as a 3-bit number; the codes skip 0x3A..0x3F.
    static constexpr std::array<std::uint8_t, 8> kCodes = {0x35, 0x36, 0x37, 0x38,
                                                           0x39, 0x40, 0x41, 0x42};
    return kCodes[(red ? 4u : 0u) | (green ? 2u : 0u) | (blue ? 1u : 0u)];
}

Bytes CountryWriteCommand(const std::array<std::uint8_t, 30>& mask) {
    Bytes out(3 + mask.size());
    out[0] = kHead0;
    out[1] = kHead1;
    out[2] = cmd::CountryWrite;
    std::copy(mask.begin(), mask.end(), out.begin() + 3);
    return out;
}

}  // namespace mv62
