#include "ui/screen.h"

#include <algorithm>
#include <ctime>

#include "base/cp850.h"
#include "base/process_state.h"
#include "base/text.h"
#include "ui/button.h"
#include "ui/detail.h"
#include "ui/dialog.h"
#include "ui/get.h"
#include "ui/menu.h"
#include "ui/statusbar.h"

namespace kdx2::ui {

using platform::Cell;
using platform::Grid;
using platform::Rect;

namespace detail {

State& state() {
    static State instance;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { stop(); });
    return instance;
}

LDialog* windowByHandle(int handle) {
    for (const auto& window : state().windows)
        if (window->nHandle == handle && window->created()) return window.get();
    return nullptr;
}

LDialog* active() {
    return windowByHandle(state().activeHandle);
}

namespace {

bool coversGrid(const LDialog& window) {
    return window.nTop <= 0 && window.nLeft <= 0 && window.nBottom >= platform::kGridRows - 1 &&
           window.nRight >= platform::kGridCols - 1;
}

// A dialog smaller than the grid gets a frame with its title around its
// rectangle; a full-grid window shows its title on the menu-bar row.
void drawFrame(Grid& screen, const LDialog& window, bool isActive) {
    const uint8_t attr = windowAttr(window);
    const Rect frame{screenTop(window) - 1, screenLeft(window) - 1,
                     screenTop(window) + window.grid().rows(),
                     screenLeft(window) + window.grid().cols()};
    screen.box(frame, isActive ? platform::kDoubleFrame : platform::kSingleFrame, attr);
    const std::string& title = window.cTitle();
    const int room = frame.width() - 4;
    if (title.empty() || room <= 0) return;
    const std::string shown = " " + title.substr(0, static_cast<size_t>(room)) + " ";
    const int col = frame.left + (frame.width() - static_cast<int>(shown.size())) / 2;
    screen.write(frame.top, col, shown, attr);
}

void drawWindow(Grid& screen, const LDialog& window, bool isActive) {
    if (!coversGrid(window) && (window.style() & LDialog::kBorder) != 0)
        drawFrame(screen, window, isActive);
    screen.blit(window.grid(), screenTop(window), screenLeft(window));
    // Push buttons are controls above the grid, as on a desktop.
    for (const auto& button : window.aControls)
        if (button->lCreate) button->draw(screen);
}

}  // namespace

Grid& compose() {
    State& s = state();
    Grid& screen = s.console->screen();
    screen.clear(Cell{' ', 0x07});
    LDialog* current = active();
    for (const auto& window : s.windows)
        if (window->visible() && window.get() != current) drawWindow(screen, *window, false);
    if (current && current->visible()) drawWindow(screen, *current, true);
    drawMenuRow(screen);
    drawStatusRow(screen);
    if (current && s.cursorShape != platform::CursorShape::Hidden &&
        current->grid().inside(current->cursorRow, current->cursorCol)) {
        s.console->setCursor(screenTop(*current) + current->cursorRow,
                             screenLeft(*current) + current->cursorCol, s.cursorShape);
    } else {
        s.console->setCursor(0, 0, platform::CursorShape::Hidden);
    }
    return screen;
}

void runTimers() {
    State& s = state();
    const int64_t now = s.console->nowMs();
    // Copy the due ones first: an action may add or remove timers.
    std::vector<std::function<void()>> due;
    for (auto& timer : s.timers) {
        if (timer.due > now) continue;
        timer.due = std::max(timer.due + timer.intervalMs, now + 1);
        due.push_back(timer.action);
    }
    for (auto& action : due)
        action();
}

int64_t nextTimerDelay() {
    State& s = state();
    if (s.timers.empty()) return -1;
    const int64_t now = s.console->nowMs();
    int64_t next = -1;
    for (const auto& timer : s.timers) {
        const int64_t delay = std::max<int64_t>(timer.due - now, 0);
        if (next < 0 || delay < next) next = delay;
    }
    return next;
}

platform::Event nextEvent(int timeoutMs, const std::function<void(Grid&)>& overlay) {
    State& s = state();
    const int64_t deadline = timeoutMs < 0 ? -1 : s.console->nowMs() + timeoutMs;
    for (;;) {
        runTimers();
        // A timer action may have queued keys: the caller takes them first.
        if (!s.typeahead.empty() && !overlay) return platform::Event{platform::EventKind::Timeout};
        Grid& screen = compose();
        if (overlay) overlay(screen);
        s.console->present();
        int64_t wait = nextTimerDelay();
        if (deadline >= 0) {
            const int64_t left = std::max<int64_t>(deadline - s.console->nowMs(), 0);
            wait = wait < 0 ? left : std::min(wait, left);
        }
        platform::Event event = s.console->nextEvent(static_cast<int>(wait));
        if (event.kind == platform::EventKind::Timeout) {
            if (deadline >= 0 && s.console->nowMs() >= deadline) {
                runTimers();
                return event;
            }
            continue;  // a timer is due
        }
        return event;
    }
}

uint8_t windowAttr(const LDialog& window) {
    return parseColorList(window.cColor.empty() ? LDialog::csColorWin : window.cColor).standard;
}

int screenTop(const LDialog& window) {
    return window.nTop + platform::kFirstGridRow;
}

int screenLeft(const LDialog& window) {
    return window.nLeft;
}

uint8_t buttonAttr(const LDialog* window, bool focused) {
    if (focused) return parseColorList(LDialog::csColorGetActive).standard;
    const uint8_t base =
        parseColorList(window && !window->cColor.empty() ? window->cColor : LDialog::csColorWin)
            .standard;
    // The window's colour reversed stands out as a button on it.
    return static_cast<uint8_t>(((base & 0x07) << 4) | ((base >> 4) & 0x07) |
                                (base & 0x08 ? 0x80 : 0));
}

}  // namespace detail

using detail::state;

// ---- Drawing ---------------------------------------------------------------

namespace {
Grid& fallbackGrid() {
    static Grid grid(platform::kGridRows, platform::kGridCols);
    return grid;
}
}  // namespace

Grid& grid() {
    LDialog* window = detail::active();
    return window ? window->grid() : fallbackGrid();
}

int maxRow() {
    return grid().rows() - 1;
}

int maxCol() {
    return grid().cols() - 1;
}

void say(int row, int col, std::string_view text) {
    say(row, col, text, state().colors.standard);
}

void say(int row, int col, std::string_view text, uint8_t attr) {
    const int end = grid().write(row, col, text, attr);
    setPos(row, end);
}

void clearArea(int top, int left, int bottom, int right) {
    grid().fill(Rect{top, left, bottom, right}, Cell{' ', state().colors.standard});
    setPos(top, left);
}

platform::SavedRegion saveScreen(int top, int left, int bottom, int right) {
    return grid().save(Rect{top, left, bottom, right});
}

void restScreen(const platform::SavedRegion& region) {
    grid().restore(region);
}

void setPos(int row, int col) {
    if (LDialog* window = detail::active()) {
        window->cursorRow = row;
        window->cursorCol = col;
    }
}

int row() {
    LDialog* window = detail::active();
    return window ? window->cursorRow : 0;
}

int col() {
    LDialog* window = detail::active();
    return window ? window->cursorCol : 0;
}

platform::CursorShape setCursorShape(platform::CursorShape shape) {
    const auto previous = state().cursorShape;
    state().cursorShape = shape;
    return previous;
}

platform::CursorShape cursorShape() {
    return state().cursorShape;
}

std::string setColor(std::string_view colors) {
    std::string previous = state().color;
    state().color = std::string(colors);
    state().colors = parseColorList(colors);
    return previous;
}

const std::string& colorSpec() {
    return state().color;
}

uint8_t standardAttr() {
    return state().colors.standard;
}

uint8_t enhancedAttr() {
    return state().colors.enhanced;
}

bool insertMode() {
    return state().insert;
}

void setInsertMode(bool on) {
    state().insert = on;
}

// ---- Input -------------------------------------------------------------------

platform::Console& console() {
    return *state().console;
}

bool started() {
    return state().console != nullptr;
}

platform::LocalTime localTime() {
    const platform::Console* running = state().console;
    return running ? running->localTime() : platform::localTimeAt(std::time(nullptr));
}

base::Date today() {
    return localTime().date;
}

long secondsSinceMidnight() {
    return localTime().secondsSinceMidnight;
}

void refresh() {
    if (!started()) return;
    detail::compose();
    state().console->present();
}

namespace {

// Turns a click on the composed screen into the active window's coordinates.
void recordClick(const platform::Event& event) {
    LDialog* window = detail::active();
    const int top = window ? window->nTop : 0;
    const int left = window ? window->nLeft : 0;
    state().mouseRow = event.row - platform::kFirstGridRow - top;
    state().mouseCol = event.col - left;
}

bool menuKey(int key) {
    if (key == platform::keys::ctrlFunction(10)) return true;
    return key == platform::keys::function(10) && !isBound(key);
}

}  // namespace

int waitKey(int timeoutMs) {
    auto& s = state();
    if (!s.console) {
        if (s.typeahead.empty()) return 0;
        s.lastKey = s.typeahead.front();
        s.typeahead.pop_front();
        return s.lastKey;
    }
    const int64_t deadline = timeoutMs < 0 ? -1 : s.console->nowMs() + timeoutMs;
    for (;;) {
        if (!s.typeahead.empty()) {
            s.lastKey = s.typeahead.front();
            s.typeahead.pop_front();
            return s.lastKey;
        }
        int wait = -1;
        if (deadline >= 0)
            wait = static_cast<int>(std::max<int64_t>(deadline - s.console->nowMs(), 0));
        const platform::Event event = detail::nextEvent(wait);
        switch (event.kind) {
            case platform::EventKind::Timeout:
                if (!s.typeahead.empty()) continue;
                if (deadline >= 0 && s.console->nowMs() >= deadline) return 0;
                continue;
            case platform::EventKind::Resize:
                continue;
            case platform::EventKind::Key: {
                LDialog* window = detail::active();
                if (menuKey(event.key) && window && window->oMenu && window->oMenu->created()) {
                    const int command = runMenuBar(0);
                    if (command > 0 && dispatchMenuCommand(command))
                        return s.lastKey = platform::keys::MenuEvent;
                    continue;
                }
                if (event.key == platform::keys::Paste) s.pasted = event.text;
                return s.lastKey = event.key;
            }
            case platform::EventKind::Click: {
                if (event.row == platform::kMenuBarRow) {
                    LDialog* window = detail::active();
                    if (!window || !window->oMenu || !window->oMenu->created()) continue;
                    const int command = runMenuBar(-1, event.col);
                    if (command > 0 && dispatchMenuCommand(command))
                        return s.lastKey = platform::keys::MenuEvent;
                    continue;
                }
                if (event.row == platform::kStatusBarRow) continue;
                recordClick(event);
                return s.lastKey = event.key;
            }
            case platform::EventKind::Menu: {
                std::string reason;
                LMenuItem* item = detail::resolveMenuEvent(event, reason);
                if (!item) {
                    diagnostic(reason);
                    s.console->rejectEvent(event, reason);
                    continue;
                }
                if (dispatchMenuCommand(item->nSequence))
                    return s.lastKey = platform::keys::MenuEvent;
                continue;
            }
        }
    }
}

int lastKey() {
    return state().lastKey;
}

const std::string& pastedText() {
    return state().pasted;
}

int mouseRow() {
    return state().mouseRow;
}

int mouseCol() {
    return state().mouseCol;
}

void pushKey(int key) {
    state().typeahead.push_back(key);
}

void pushKeys(std::initializer_list<int> keys) {
    for (int key : keys)
        pushKey(key);
}

void clearKeyboard() {
    state().typeahead.clear();
    if (state().console) state().console->flushInput();
}

bool keyPending() {
    return !state().typeahead.empty();
}

// ---- Key bindings -------------------------------------------------------------

KeyAction bindKey(int key, KeyAction action) {
    auto& bindings = state().bindings;
    KeyAction previous;
    if (auto it = bindings.find(key); it != bindings.end()) previous = it->second;
    if (action)
        bindings[key] = std::move(action);
    else
        bindings.erase(key);
    return previous;
}

KeyAction keyBinding(int key) {
    auto& bindings = state().bindings;
    auto it = bindings.find(key);
    return it == bindings.end() ? KeyAction{} : it->second;
}

bool isBound(int key) {
    return state().bindings.count(key) > 0;
}

bool SETKEYEVAL(int key, bool keepBound, Get* field) {
    KeyAction action = keyBinding(key);
    if (!action) return false;
    if (!field) field = activeGet();
    if (keepBound) {
        action(field);
        return true;
    }
    // Unbound while it runs, so that pressing the key again inside the action
    // does not run it a second time.
    bindKey(key, {});
    action(field);
    if (!isBound(key)) bindKey(key, action);
    return true;
}

void SETKEYOFF() {
    auto& s = state();
    std::map<int, KeyAction> saved;
    for (auto it = s.bindings.begin(); it != s.bindings.end();) {
        if (it->first >= -1000 && it->first <= 1000) {
            saved.insert(*it);
            it = s.bindings.erase(it);
        } else {
            ++it;
        }
    }
    s.suspended.push_back(std::move(saved));
}

void SETKEYON() {
    auto& s = state();
    if (s.suspended.empty()) return;
    for (auto& [key, action] : s.suspended.back())
        s.bindings[key] = action;
    s.suspended.pop_back();
}

// ---- Timers -------------------------------------------------------------------

int addTimer(int intervalMs, std::function<void()> action) {
    auto& s = state();
    detail::Timer timer;
    timer.id = s.nextTimer++;
    timer.intervalMs = std::max(intervalMs, 1);
    timer.due = (s.console ? s.console->nowMs() : 0) + timer.intervalMs;
    timer.action = std::move(action);
    s.timers.push_back(std::move(timer));
    return s.timers.back().id;
}

void removeTimer(int id) {
    auto& timers = state().timers;
    timers.erase(
        std::remove_if(timers.begin(), timers.end(), [id](const auto& t) { return t.id == id; }),
        timers.end());
}

// ---- Clipboard ------------------------------------------------------------------

std::string clipboardText() {
    return state().console ? state().console->clipboard() : std::string();
}

void setClipboardText(std::string cp850) {
    if (state().console) state().console->setClipboard(std::move(cp850));
}

namespace {

std::string valueAsText(const base::Value& value) {
    switch (value.type()) {
        case base::Type::Character:
            return base::rtrim(value.text());  // trailing blanks of a field are no text
        case base::Type::Date:
            return value.date().dtoc();
        case base::Type::Logical:
            return value.logical() ? "T" : "F";
        case base::Type::Numeric: {
            const double number = value.number();
            for (int decimals = 0; decimals <= 8; ++decimals)
                if (base::roundDecimal(number, decimals) == number)
                    return base::alltrim(*base::formatFixed(number, 40, decimals));
            return base::alltrim(*base::formatFixed(number, 40, 8));
        }
    }
    return {};
}

}  // namespace

void LGETCLIPBOARD() {
    Get* field = activeGet();
    if (!field) return;
    const std::string text = clipboardText();
    if (text.empty()) return;
    field->paste(text);
}

void LSETCLIPBOARD() {
    Get* field = activeGet();
    if (!field) return;
    base::Value value;
    if (!field->bufferValue(value)) value = field->value();
    LSETCLIPBOARD(value);
}

void LSETCLIPBOARD(const base::Value& value) {
    setClipboardText(valueAsText(value));
}

// ---- Diagnostics ------------------------------------------------------------------

void diagnostic(std::string message) {
    auto& list = state().diagnostics;
    platform::appendDiagnosticLog(base::cp850::toUtf8(message));
    list.push_back(std::move(message));
    if (list.size() > 100) list.erase(list.begin());
}

const std::vector<std::string>& diagnostics() {
    return state().diagnostics;
}

void clearDiagnostics() {
    state().diagnostics.clear();
}

bool mouseEnabled() {
    return state().mouse;
}

void setMouseEnabled(bool on) {
    state().mouse = on;
}

}  // namespace kdx2::ui
