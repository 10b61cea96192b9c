#pragma once

// State shared by the UI layer's own files; not for use outside src/ui.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/console/console.h"
#include "ui/color.h"
#include "ui/screen.h"

namespace kdx2::ui {
class LDialog;
class LMenu;
class LMenuItem;
class Get;
}  // namespace kdx2::ui

namespace kdx2::ui::detail {

struct Timer {
    int id = 0;
    int intervalMs = 0;
    int64_t due = 0;
    std::function<void()> action;
};

// How a form being read was ended from outside (a button, a menu command, a
// timer): not at all, keeping the field being edited, or discarding it.
enum class ReadEnd { Running, KeepValues, Cancel };

// One form being read (forms nest: a validation may open a prompt).
struct ReadContext {
    ReadEnd end = ReadEnd::Running;
    Get* field = nullptr;  // the field being edited
};

struct State {
    platform::Console* console = nullptr;
    std::vector<std::shared_ptr<LDialog>> windows;
    int activeHandle = 0;
    int nextHandle = 1;
    int nextWnd = 1;
    std::string color = "W/N,N/W,N,N,N/W";
    ColorList colors = parseColorList("W/N,N/W,N,N,N/W");
    platform::CursorShape cursorShape = platform::CursorShape::Hidden;
    bool insert = false;
    bool breakKey = true;
    bool mouse = false;  // the program declares mouse input (event mask)
    std::deque<int> typeahead;
    int lastKey = 0;
    std::string pasted;  // the text of the last Paste key
    int mouseRow = 0;
    int mouseCol = 0;
    std::map<int, KeyAction> bindings;
    std::vector<std::map<int, KeyAction>> suspended;
    std::vector<Timer> timers;
    int nextTimer = 1;
    std::vector<std::string> diagnostics;
    std::vector<ReadContext*> reads;
    int lastMenuCommand = 0;
};

State& state();

// The window with that handle, or nullptr.
LDialog* windowByHandle(int handle);
LDialog* active();

// Draws every window, the menu bar and the status bar onto the console screen
// (without showing it); returns the screen.
platform::Grid& compose();
// Runs the timers that are due.
void runTimers();
// Milliseconds until the next timer is due (−1 without timers).
int64_t nextTimerDelay();

// The menu item a menu event names in the active window's menu; nullptr with
// the reason (CP850) when there is none.
LMenuItem* resolveMenuEvent(const platform::Event& event, std::string& reason);

// Menu bar drawing (menu.cpp): row 0 of the composed screen.
void drawMenuRow(platform::Grid& screen);
// The window whose menu the top row shows, or nullptr.
LDialog* menuWindow();

// Status bar drawing (statusbar.cpp): row 26 of the composed screen.
void drawStatusRow(platform::Grid& screen);

// Button drawing colours.
uint8_t buttonAttr(const LDialog* window, bool focused);

// The standard colour of a window (its own colour, else the shared one).
uint8_t windowAttr(const LDialog& window);

// Where a window's grid lies on the composed screen (its top-left cell).
int screenTop(const LDialog& window);
int screenLeft(const LDialog& window);

// Reads the next console event, running timers while waiting, with the
// screen composed and shown first; `overlay` draws over the composed screen
// (the open drop-down menus). Used by waitKey and the menu bar.
platform::Event nextEvent(int timeoutMs, const std::function<void(platform::Grid&)>& overlay = {});

}  // namespace kdx2::ui::detail
