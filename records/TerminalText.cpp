#include "TerminalText.h"

namespace mv62rec {

namespace {

void AppendEscape(std::string& out, const char* prefix, unsigned char value) {
    constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    out += kHex[value >> 4];
    out += kHex[value & 0xF];
}

// The length of the well-formed UTF-8 sequence that starts at `at`; 0 when there is none.
std::size_t SequenceLength(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte, narrower after some leads
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;    // no overlong forms
        high = lead == 0xED ? 0x9F : high;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > s.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string TerminalText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            switch (c) {
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    AppendEscape(out, "\\x", c);
            }
            ++i;
            continue;
        }
        const std::size_t length = SequenceLength(utf8, i);
        if (length == 0) {
            AppendEscape(out, "\\x", c);
            ++i;
            continue;
        }
        const auto second = static_cast<unsigned char>(utf8[i + 1]);
        if (c == 0xC2 && second < 0xA0) {  // U+0080 to U+009F, the C1 controls: C2 80 to C2 9F
            AppendEscape(out, "\\u00", second);
        } else {
            out.append(utf8.substr(i, length));
        }
        i += length;
    }
    return out;
}

}  // namespace mv62rec
