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

}  // namespace mv62
