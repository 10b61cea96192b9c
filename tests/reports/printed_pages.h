#pragma once

// Reading back the lines of a print file (as DarfTest::printedLines gives
// them, page ejects as "\f" lines).

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"

namespace kdx2::reports_test {

inline std::string joinedLines(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

// The first line holding `part`; empty when none does.
inline std::string lineWith(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return line;
    return "";
}

// The trimmed text of `width` columns from `column`.
inline std::string cut(const std::string& line, size_t column, size_t width) {
    return line.size() <= column ? "" : base::alltrim(line.substr(column, width));
}

// The most lines any page holds.
inline int longestPage(const std::vector<std::string>& lines) {
    int onPage = 0;
    int longest = 0;
    for (const std::string& line : lines) {
        onPage = line == "\f" ? 0 : onPage + 1;
        longest = std::max(longest, onPage);
    }
    return longest;
}

inline int pageCount(const std::vector<std::string>& lines) {
    return 1 + static_cast<int>(std::count(lines.begin(), lines.end(), "\f"));
}

}  // namespace kdx2::reports_test
