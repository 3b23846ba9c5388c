#include "Vocabulary.h"

namespace mv62 {

int LineSpeedForIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kLineSpeeds.size())) {
        return 0;
    }
    return kLineSpeeds[static_cast<std::size_t>(index)];
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (bytes.empty()) {
        return {};
    }
    // Sized once and filled in place: receive blocks of kilobytes are journaled this way.
    std::string s(bytes.size() * 3 - 1, ' ');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        s[3 * i] = kDigits[bytes[i] >> 4];
        s[3 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return s;
}

std::optional<Bytes> ParseHexBytes(std::string_view text) {
    const auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    Bytes bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            continue;
        }
        const int high = digit(text[i]);
        const int low = i + 1 < text.size() ? digit(text[i + 1]) : -1;
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        ++i;
    }
    return bytes;
}

}  // namespace mv62
