#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "platform/console/grid.h"
#include "platform/console/keys.h"

namespace kdx2::platform {

// The composed screen: row 0 is the active window's title and menu bar,
// rows 1 ... 25 the 25 x 80 grid, row 26 the status bar.
inline constexpr int kGridRows = 25;
inline constexpr int kGridCols = 80;
inline constexpr int kScreenRows = 27;
inline constexpr int kScreenCols = 80;
inline constexpr int kMenuBarRow = 0;
inline constexpr int kFirstGridRow = 1;
inline constexpr int kStatusBarRow = 26;

enum class CursorShape { Hidden, Underline, Block, Vertical };

// A moment as the program shows and stores it: the local date and time.
struct LocalTime {
    base::Date date;
    long secondsSinceMidnight = 0;
};
// The local date and time of a moment of the system clock.
LocalTime localTimeAt(std::time_t moment);

enum class EventKind {
    Timeout,  // nothing arrived in time
    Key,      // key: a key code (keys.h)
    Click,    // key: LeftClick / RightClick; row, col on the composed screen
    Menu,     // command: a menu command number, or 0 and path: prompts from the bar down
    Resize,   // the terminal changed size (the screen is redrawn whole)
};

struct Event {
    Event() = default;
    explicit Event(EventKind kind) : kind(kind) {}

    EventKind kind = EventKind::Timeout;
    int key = 0;
    int row = 0;
    int col = 0;
    int command = 0;
    std::vector<std::string> path;  // CP850, trimmed, without "&"
    std::string text;               // key Paste: the pasted text, CP850
    int line = 0;                   // script line that produced it; 0 from a person
};

// The window console: one screen of CP850 cells plus input. The UI layer
// composes windows, menus and the status bar into screen() and calls
// present(); nextEvent() is the one place where the program waits.
class Console {
  public:
    virtual ~Console() = default;

    Grid& screen() { return screen_; }
    const Grid& screen() const { return screen_; }

    // Cursor on the composed screen (clipped to it).
    void setCursor(int row, int col, CursorShape shape);
    int cursorRow() const { return cursorRow_; }
    int cursorCol() const { return cursorCol_; }
    CursorShape cursorShape() const { return cursorShape_; }

    // Shows the screen as it stands now (the terminal sends only the cells
    // that changed since the last call).
    virtual void present() = 0;
    // Waits up to timeoutMs milliseconds (-1: without limit) for an event.
    virtual Event nextEvent(int timeoutMs) = 0;
    // An event the program could not act on (a menu item that does not
    // exist or is disabled): a script run stops naming its line; at the
    // terminal the user hears a beep.
    virtual void rejectEvent(const Event& event, std::string_view reason) = 0;
    // Drops keys typed ahead and not yet read.
    virtual void flushInput() {}
    virtual void beep() {}
    // Milliseconds of a monotonic clock (the headless clock moves only with
    // the script's `wait` lines, so timers there are reproducible).
    virtual int64_t nowMs() const;
    // The local date and time: the system clock's at the terminal; a
    // headless run starts from the system clock (which faketime sets) and
    // then moves only with the script's `wait` lines, as nowMs() does.
    virtual LocalTime localTime() const;

    // Clipboard text in CP850. Copying also reaches the terminal's own
    // clipboard where the terminal allows it.
    virtual std::string clipboard() const { return clipboard_; }
    virtual void setClipboard(std::string text) { clipboard_ = std::move(text); }

    virtual bool isHeadless() const = 0;

    // Changes the shade of one of the 16 text colours (PC numbering: 4 red,
    // 12 bright red, 7 white, ...) where the terminal allows it; the
    // terminal's own colours come back at exit.
    virtual void setPalette(int color, uint8_t red, uint8_t green, uint8_t blue) {
        (void)color, (void)red, (void)green, (void)blue;
    }

  protected:
    Grid screen_{kScreenRows, kScreenCols};
    int cursorRow_ = 0;
    int cursorCol_ = 0;
    CursorShape cursorShape_ = CursorShape::Hidden;
    std::string clipboard_;
};

// The user's terminal through ncursesw. Throws base::Error (with the reason
// in Portuguese) when there is no usable terminal or it is smaller than
// 80 x 27. The terminal is restored when the console is destroyed, at exit
// and on SIGSEGV, SIGABRT, SIGTERM, SIGINT and SIGHUP.
std::unique_ptr<Console> openTerminalConsole();
// The same on other descriptors (a pseudo-terminal in tests).
std::unique_ptr<Console> openTerminalConsole(int inputFd, int outputFd);

// How a headless run ends when its script is used up or fails. Either way
// the console throws HeadlessStop, so that the program unwinds (closing its
// windows, tables and temporary files) and its main returns exitCode.
enum class HeadlessEnd {
    Report,  // the program's contract: the screen to stdout (status 0), or the
             // failure and the screen to stderr (status 2), written as it ends
    Throw,   // for tests inside one process: nothing is written
};

// Thrown by a headless console when the run ends.
struct HeadlessStop {
    int exitCode = 0;     // 0 script used up, 2 failed expect or bad line
    std::string message;  // UTF-8, names the script line
};

// A console kept in memory and driven by an input script (the format is in
// the README): `key NAME`, `type TEXT`, `menu NUMBER`, `menu A > B`,
// `click ROW COL`, `snap FILE`, `expect TEXT`, `wait SECONDS`, `# comment`.
// Lines are UTF-8. A bad line stops the run before anything else happens.
std::unique_ptr<Console> openHeadlessConsole(const std::string& scriptPath,
                                             HeadlessEnd end = HeadlessEnd::Report);
std::unique_ptr<Console> headlessConsoleFromText(std::string_view script,
                                                 HeadlessEnd end = HeadlessEnd::Throw);

// Appends one line to the developer log named by KDX2_UI_LOG, when it is set
// (the UI layer's diagnostics; nothing happens without it).
void appendDiagnosticLog(std::string_view utf8Line);

// The console the command line asks for: `--headless SCRIPT` (or
// `--headless=SCRIPT`; "-" is standard input) selects the headless console
// and is removed from argv, so the program sees only its own arguments;
// without it, the terminal. Throws base::Error (Portuguese, CP850) when the
// terminal cannot be used or `--headless` has no script.
std::unique_ptr<Console> openConsole(int& argc, char** argv);

}  // namespace kdx2::platform
