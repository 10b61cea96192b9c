#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "base/cp850.h"
#include "base/error.h"
#include "platform/console/console.h"
#include "shell/main_window.h"
#include "store/verify.h"
#include "ui/screen.h"

namespace {

int usage() {
    std::fputs(
        "uso: kdx2 [TERMINAL]\n"
        "     kdx2 --headless ROTEIRO   (roteiro de teclas; - lê a entrada padrão)\n"
        "     kdx2 --verificar PASTA    (confere tabelas e índices da pasta)\n",
        stderr);
    return 2;
}

// The UI layer is stopped however the program leaves, the end of a headless
// script included.
class UiRunning {
  public:
    explicit UiRunning(kdx2::platform::Console& console) { kdx2::ui::start(console); }
    ~UiRunning() { kdx2::ui::stop(); }
    UiRunning(const UiRunning&) = delete;
    UiRunning& operator=(const UiRunning&) = delete;
};

int run(std::unique_ptr<kdx2::platform::Console> console, const std::string& terminal) {
    const UiRunning running(*console);
    return kdx2::shell::MAIN(terminal);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    try {
        if (first == "--verificar") {
            if (argc != 3) return usage();
            return kdx2::store::verifyFolder(argv[2], std::cout);
        }
        if (first == "--headless") {
            if (argc < 3 || argc > 4) return usage();
            return run(kdx2::platform::openHeadlessConsole(argv[2]), argc == 4 ? argv[3] : "");
        }
        if (!first.empty() && first[0] == '-') return usage();
        return run(kdx2::platform::openTerminalConsole(), first);
    } catch (const kdx2::platform::HeadlessStop& stop) {
        // The script's end unwound the program; the console has written
        // what the run shows.
        return stop.exitCode;
    } catch (const kdx2::base::Error& error) {
        // The terminal has been restored by now.
        std::cerr << "kdx2: " << kdx2::base::cp850::toUtf8(error.what()) << '\n';
        return 1;
    }
}
