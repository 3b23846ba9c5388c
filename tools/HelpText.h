#pragma once
// The entries of a program's --help, as help2man reads them for the man page: the names from
// column 2, what they do from column 24, wrapped before column 80. Plain C++: the simulator and
// the records reader both write their help with it.
#include <string>
#include <string_view>

namespace mv62tool {

// "  --since DATE          only runs started ..." (names longer than the column get a line of
// their own).
std::string HelpEntry(std::string_view names, std::string_view text);

}  // namespace mv62tool
