#include "platform/console/console.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "base/cp850.h"
#include "base/error.h"

namespace kdx2::platform {

void Console::setCursor(int row, int col, CursorShape shape) {
    cursorRow_ = std::clamp(row, 0, kScreenRows - 1);
    cursorCol_ = std::clamp(col, 0, kScreenCols - 1);
    cursorShape_ = shape;
}

LocalTime localTimeAt(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    const std::optional<base::Date> date =
        base::Date::fromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return LocalTime{date.value_or(base::Date()),
                     local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec};
}

LocalTime Console::localTime() const {
    return localTimeAt(std::time(nullptr));
}

int64_t Console::nowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void appendDiagnosticLog(std::string_view utf8Line) {
    const char* path = std::getenv("KDX2_UI_LOG");
    if (!path || !*path) return;
    std::ofstream log(path, std::ios::app);
    log << utf8Line << '\n';
}

std::unique_ptr<Console> openConsole(int& argc, char** argv) {
    std::string script;
    bool headless = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--headless") == 0) {
            if (i + 1 >= argc)
                throw base::Error(base::cp850::fromUtf8("--headless precisa do nome do roteiro"));
            headless = true;
            script = argv[++i];
            continue;
        }
        if (std::strncmp(arg, "--headless=", 11) == 0) {
            headless = true;
            script = arg + 11;
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    if (headless) {
        if (script.empty())
            throw base::Error(base::cp850::fromUtf8("--headless precisa do nome do roteiro"));
        return openHeadlessConsole(script);
    }
    return openTerminalConsole();
}

}  // namespace kdx2::platform
