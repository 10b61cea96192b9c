#pragma once

#include <string>
#include <string_view>

namespace kdx2::importing {

// Text of the tax authority's files (Windows-1252) as the program stores
// it: the accented letters its names use through AJUS_CAR (ã stored as ä,
// accented capitals but É and Ç as plain capitals), every other character
// that code page 850 has as its CP850 form, typographic quotes and dashes
// as their plain forms and anything else as "?". Trailing blanks go.
std::string importText(std::string_view windows1252);

}  // namespace kdx2::importing
