#pragma once

#include <optional>
#include <string_view>

#include "platform/file.h"
#include "store/table.h"

namespace kdx2::common {

// Moves the record pointer `count` records (negative: backwards) and returns
// how many it really moved, as lists scroll. Past the last record the pointer
// stays on the end position (the row a list appends on) in append mode,
// counting that move, and steps back otherwise; going backwards it stops at
// the first record. An empty table moves nothing.
long SKIPPED(store::Table& table, long count, bool appendMode);

// Opens a file of a drive path: mode 0 to read, any other to read and write.
// nullopt when it cannot be opened.
std::optional<platform::File> LF_FOPEN(std::string_view path, int mode = 0);

}  // namespace kdx2::common
