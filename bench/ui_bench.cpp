// Costs of the screen: composing and showing a full 25 x 80 screen on the
// headless console, one keystroke in a form field, and what the terminal
// console sends for one changed cell against a whole new screen.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/console/console.h"
#include "platform/console/keys.h"
#include "ui/dialog.h"
#include "ui/get.h"
#include "ui/menu.h"
#include "ui/screen.h"
#include "ui/statusbar.h"

using namespace kdx2;
namespace keys = kdx2::platform::keys;

namespace {

struct HeadlessUi {
    HeadlessUi() : console(platform::headlessConsoleFromText("")) { ui::start(*console); }
    ~HeadlessUi() { ui::stop(); }
    std::unique_ptr<platform::Console> console;
};

void fillMainWindow() {
    for (int row = 0; row < platform::kGridRows; ++row)
        ui::say(row, 0, std::string(platform::kGridCols, static_cast<char>('A' + row)),
                static_cast<uint8_t>(0x10 + row % 7));
}

void buildMenuAndStatusBar() {
    auto menu = ui::LMenu::make();
    for (const char* prompt : {"&Arquivo", "&Editar", "&Opcoes", "&Ajuda"}) {
        menu->subMenu(prompt);
        menu->menuItem("&Um", [](ui::LMenuItem&, ui::LDialog*) {});
        menu->menuItem("&Dois", [](ui::LMenuItem&, ui::LDialog*) {});
        menu->endMenu();
    }
    menu->create();
    ui::LSBDRAW({std::string(250, ' ')});
}

// Compose every window, the menu bar and the status bar, and show them.
void BM_HeadlessFullScreenRedraw(benchmark::State& state) {
    HeadlessUi ui;
    fillMainWindow();
    buildMenuAndStatusBar();
    std::shared_ptr<ui::LDialog> dialog;
    if (state.range(0) > 0) {
        dialog = ui::LDLGSHOW(5, 10, 18, 70, "Dialogo");
        ui::say(2, 2, "Texto do dialogo");
    }
    for (auto _ : state) {
        ui::grid().put(0, 0,
                       platform::Cell{static_cast<uint8_t>('a' + state.iterations() % 26), 0x1F});
        ui::refresh();
        benchmark::DoNotOptimize(ui::console().screen().cell(1, 0));
    }
    state.SetLabel(state.range(0) > 0 ? "main window + dialog" : "main window");
}
BENCHMARK(BM_HeadlessFullScreenRedraw)->Arg(0)->Arg(1);

// One character typed into a form field, the field redrawn and the screen
// composed and shown, as the form editor does for each key.
void BM_FormKeystroke(benchmark::State& state) {
    HeadlessUi ui;
    fillMainWindow();
    buildMenuAndStatusBar();
    auto dialog = ui::LDLGSHOW(5, 10, 18, 70, "Cadastro");
    base::Value name(std::string(40, ' '));
    base::Value amount(0.0);
    auto text = ui::Get::of(2, 2, name, "@!");
    auto number = ui::Get::of(4, 2, amount, "@E 999,999,999.99");
    ui::Get& field = state.range(0) == 0 ? *text : *number;
    field.setFocus();
    int64_t typed = 0;
    for (auto _ : state) {
        if (field.typedOut() || ++typed % 9 == 0) {
            field.clearTypedOut();
            field.applyKey(keys::Home);
        }
        field.applyKey('1' + static_cast<int>(typed % 9));
        ui::refresh();
    }
    state.SetLabel(state.range(0) == 0 ? "text @!" : "amount @E");
}
BENCHMARK(BM_FormKeystroke)->Arg(0)->Arg(1);

// The terminal console on a pseudo-terminal: bytes sent for one changed
// cell and for a screen where every cell changed.
void BM_TerminalPresent(benchmark::State& state) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
    struct winsize size {};
    size.ws_row = platform::kScreenRows;
    size.ws_col = platform::kScreenCols;
    ::ioctl(master, TIOCSWINSZ, &size);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    ::setenv("TERM", "xterm-256color", 0);
    ::setenv("LANG", "C.UTF-8", 0);
    auto drain = [master] {
        char buffer[1 << 16];
        int64_t total = 0;
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            total += n;
        return total;
    };
    {
        auto console = platform::openTerminalConsole(slave, slave);
        auto& screen = console->screen();
        console->present();
        drain();
        const bool everyCell = state.range(0) > 0;
        int64_t bytes = 0;
        int64_t round = 0;
        for (auto _ : state) {
            ++round;
            if (everyCell) {
                const uint8_t ch = static_cast<uint8_t>('a' + round % 26);
                for (int row = 0; row < platform::kScreenRows; ++row)
                    for (int col = 0; col < platform::kScreenCols; ++col)
                        screen.put(
                            row, col,
                            platform::Cell{ch, static_cast<uint8_t>(round % 2 ? 0x1F : 0x70)});
            } else {
                screen.put(12, 40, platform::Cell{static_cast<uint8_t>('a' + round % 26), 0x1F});
            }
            console->present();
            bytes += drain();
        }
        state.counters["bytes_per_present"] =
            benchmark::Counter(static_cast<double>(bytes) / static_cast<double>(round));
        state.SetLabel(everyCell ? "every cell changed" : "one cell changed");
    }
    ::close(slave);
    ::close(master);
}
BENCHMARK(BM_TerminalPresent)->Arg(0)->Arg(1);

}  // namespace
