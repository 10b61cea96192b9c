#include "common/records.h"

#include "base/error.h"
#include "platform/drives.h"

namespace kdx2::common {

long SKIPPED(store::Table& table, long count, bool appendMode) {
    long moved = 0;
    if (count > 0) {
        if (table.eof()) return 0;
        while (moved < count) {
            table.skip(1);
            if (table.eof()) {
                if (appendMode)
                    ++moved;
                else
                    table.skip(-1);
                break;
            }
            ++moved;
        }
    } else if (count < 0) {
        while (moved > count) {
            table.skip(-1);
            if (table.bof() || table.eof()) break;
            --moved;
        }
    }
    return moved;
}

std::optional<platform::File> LF_FOPEN(std::string_view path, int mode) {
    try {
        return platform::openFile(
            path, mode == 0 ? platform::File::Mode::ReadOnly : platform::File::Mode::ReadWrite);
    } catch (const base::Error&) {
        return std::nullopt;
    }
}

}  // namespace kdx2::common
