#include "platform/console/console.h"

#include <algorithm>
#include <chrono>

namespace kdx2::platform {

void Console::setCursor(int row, int col, CursorShape shape) {
    cursorRow_ = std::clamp(row, 0, kScreenRows - 1);
    cursorCol_ = std::clamp(col, 0, kScreenCols - 1);
    cursorShape_ = shape;
}

int64_t Console::nowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace kdx2::platform
