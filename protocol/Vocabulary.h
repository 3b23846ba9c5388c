#pragma once
// The words every room shares about the MV62's serial protocol: the header that opens every
// frame and command, the line speeds the device runs at, the sizes of its fixed fields.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mv62 {

using Bytes = std::vector<std::uint8_t>;

// Every device frame and every host command starts with these two bytes.
inline constexpr std::uint8_t kHeaderStart = 0x55;
inline constexpr std::uint8_t kHeaderSecond = 0xAA;
// The header and the code byte after it.
inline constexpr int kHeaderLength = 3;

// The line speeds of the station's speed selector, in its item order.
inline constexpr std::array<int, 5> kLineSpeeds = {9600, 19200, 38400, 57600, 115200};
// Speed of item `index` of the selector; 0 for any other index.
int LineSpeedForIndex(int index);

// Optical channels (S1..S6, P1..P6) and drive outputs (D1..D8) of the device.
inline constexpr int kChannels = 6;
inline constexpr int kDriveChannels = 8;

// The country mask: one bit per country of the country table, 240 countries.
inline constexpr int kCountryMaskSize = 30;
using CountryMaskBytes = std::array<std::uint8_t, kCountryMaskSize>;

// The bytes as upper-case hexadecimal pairs separated by blanks ("55 AA 07").
std::string HexBytes(std::span<const std::uint8_t> bytes);
// Hexadecimal pairs, with or without blanks between them ("55 AA 07", "07"), back to their bytes;
// nothing when the text is not that.
std::optional<Bytes> ParseHexBytes(std::string_view text);

}  // namespace mv62
