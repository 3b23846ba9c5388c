#include "HelpText.h"

#include <algorithm>
#include <sstream>
#include <utility>

namespace mv62tool {

std::string HelpEntry(std::string_view names, std::string_view text) {
    constexpr std::size_t kColumn = 24;
    constexpr std::size_t kWidth = 80;
    std::string line = "  " + std::string(names);
    // help2man tells the names from the text by the two blanks at least between them.
    std::string entry = line.size() + 2 > kColumn ? std::exchange(line, {}) + "\n" : "";
    std::istringstream words{std::string(text)};
    for (std::string word; words >> word;) {
        if (line.size() > kColumn && line.size() + 1 + word.size() > kWidth) {
            entry += std::exchange(line, {}) + "\n";
        }
        line.resize(std::max(line.size() + 1, kColumn), ' ');
        line += word;
    }
    return entry + line + "\n";
}

}  // namespace mv62tool
