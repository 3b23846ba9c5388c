#pragma once
// Text from outside (a device's identification, a record's fields, a file name) on a terminal:
// plain C++, so that the simulator's log uses the same rule as the station and the records reader.
#include <string>
#include <string_view>

namespace mv62rec {

// UTF-8 text with every control character shown as a visible escape instead of being sent to
// the terminal, where it could move the cursor, clear the screen or forge a line: "\n", "\r",
// "\t", "\x1b" for the other C0 controls and DEL, "\u009b" for the C1 controls, and "\xff" for a
// byte that is not part of UTF-8. Everything else is kept as it is.
std::string TerminalText(std::string_view utf8);

}  // namespace mv62rec
