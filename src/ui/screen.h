#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/value.h"
#include "platform/console/console.h"

// The UI layer's view of the console: drawing on the active window, the wait
// for the next event, the type-ahead buffer, key bindings, timers, the
// clipboard and developer diagnostics. One thread; every modal loop of the
// program waits through waitKey().
namespace kdx2::ui {

class Get;
class LDialog;

// Starts the UI layer on a console that outlives it: default colours, hidden
// cursor, bright backgrounds, the main window (created, active, window 0),
// the menu-event hook. stop() shows the cursor again and forgets every window.
void start(platform::Console& console);
void stop();
bool started();
platform::Console& console();

// ---- Drawing on the active window's grid (window coordinates) ----------
// Every write is clipped to the window's grid.
platform::Grid& grid();
int maxRow();  // last row of the active window
int maxCol();  // last column of the active window
// Writes text in the standard colour of the current colour list, or in attr.
void say(int row, int col, std::string_view text);
void say(int row, int col, std::string_view text, uint8_t attr);
// Fills a rectangle with blanks in the standard colour (CLEAR / @ CLEAR).
void clearArea(int top, int left, int bottom, int right);
platform::SavedRegion saveScreen(int top, int left, int bottom, int right);
void restScreen(const platform::SavedRegion& region);

// Cursor of the active window (window coordinates) and its shape.
void setPos(int row, int col);
int row();
int col();
platform::CursorShape setCursorShape(platform::CursorShape shape);  // returns the previous
platform::CursorShape cursorShape();

// Current colour list (SetColor): returns the previous one.
std::string setColor(std::string_view colors);
const std::string& colorSpec();
uint8_t standardAttr();
uint8_t enhancedAttr();

// Insert mode of the field editor (toggled by Ins).
bool insertMode();
void setInsertMode(bool on);

// ---- Time ----------------------------------------------------------------
// The local date and time by the running console's clock (the system clock
// when none runs): a headless run sees time pass only with its script's
// `wait` lines, as its timers do.
platform::LocalTime localTime();
base::Date today();
long secondsSinceMidnight();

// ---- Input --------------------------------------------------------------
// Composes and shows the screen, then waits up to timeoutMs (-1: without
// limit) for the next key. Timer ticks run their actions meanwhile; a menu
// command (mouse, F10 or Ctrl+F10 on a window with a menu, or a script line)
// runs its item and is reported as keys::MenuEvent. Returns keys::None on
// timeout. Keys pushed with pushKey() come first.
int waitKey(int timeoutMs = -1);
int lastKey();
// The text of the last keys::Paste read (CP850).
const std::string& pastedText();
// Position of the last mouse click, in the active window's coordinates
// (row −1 is the menu bar row above a full-screen window).
int mouseRow();
int mouseCol();
// The type-ahead buffer (KEYBOARD / CLEAR TYPEAHEAD).
void pushKey(int key);
void pushKeys(std::initializer_list<int> keys);
void clearKeyboard();
bool keyPending();
// Composes the windows onto the console and shows them without waiting.
void refresh();

// ---- Key bindings (SetKey) ---------------------------------------------
// An action bound to a key runs with the field being edited (or nullptr).
using KeyAction = std::function<void(Get* field)>;
// Binds (an empty action unbinds) and returns the previous binding.
KeyAction bindKey(int key, KeyAction action);
KeyAction keyBinding(int key);
bool isBound(int key);
// Runs the key's action when it has one. Unless keepBound, the key is unbound
// while its action runs and bound again afterwards. True when an action ran.
bool SETKEYEVAL(int key, bool keepBound = false, Get* field = nullptr);
// Unbinds every key with a code from −1000 to 1000, remembering them;
// SETKEYON binds them again. Calls nest.
void SETKEYOFF();
void SETKEYON();

// ---- Timers -------------------------------------------------------------
// Runs `action` every intervalMs between key reads; returns its id.
int addTimer(int intervalMs, std::function<void()> action);
void removeTimer(int id);

// ---- Clipboard ----------------------------------------------------------
std::string clipboardText();
void setClipboardText(std::string cp850);
// Puts the clipboard text into the field being edited, converted to the
// field's type (LGETCLIPBOARD); nothing happens without a field.
void LGETCLIPBOARD();
// Places the value, or else the field being edited, as text on the
// clipboard (LSETCLIPBOARD).
void LSETCLIPBOARD();
void LSETCLIPBOARD(const base::Value& value);

// ---- Diagnostics --------------------------------------------------------
// Failures of this layer are developer diagnostics: kept in memory (the last
// hundred) and appended to the file named by KDX2_UI_LOG when it is set.
void diagnostic(std::string message);
const std::vector<std::string>& diagnostics();
void clearDiagnostics();

// Whether the program takes mouse input (its event mask; off at start). Clicks
// reach waitKey either way; the setting enters readmodal's re-validation rule.
bool mouseEnabled();
void setMouseEnabled(bool on);

}  // namespace kdx2::ui
