#pragma once

#include <optional>
#include <string>
#include <string_view>

// Key codes of the program. Printable characters are their CP850 byte
// (32 ... 255); navigation, function and Alt keys keep the classic xBase
// inkey numbers, which screens queue and compare as plain integers. Ctrl+letter
// keys get codes of their own, so that Ctrl+C (copy) is never PgDn and
// Ctrl+V (paste) never Ins.
namespace kdx2::platform::keys {

inline constexpr int None = 0;

inline constexpr int Home = 1;
inline constexpr int CtrlRight = 2;
inline constexpr int PgDn = 3;
inline constexpr int Right = 4;
inline constexpr int Up = 5;
inline constexpr int End = 6;
inline constexpr int Del = 7;
inline constexpr int Backspace = 8;
inline constexpr int Tab = 9;
inline constexpr int CtrlEnter = 10;
inline constexpr int Enter = 13;
inline constexpr int PgUp = 18;
inline constexpr int Left = 19;
inline constexpr int Ins = 22;
inline constexpr int CtrlEnd = 23;
inline constexpr int Down = 24;
inline constexpr int CtrlLeft = 26;
inline constexpr int Esc = 27;
inline constexpr int F1 = 28;
inline constexpr int CtrlHome = 29;
inline constexpr int CtrlPgDn = 30;
inline constexpr int CtrlPgUp = 31;
inline constexpr int Space = 32;
inline constexpr int ShiftTab = 271;
inline constexpr int CtrlUp = 397;
inline constexpr int CtrlDown = 401;

inline constexpr int AltMinus = 386;
inline constexpr int AltEquals = 387;
inline constexpr int KeypadAltMinus = 330;
inline constexpr int KeypadAltPlus = 334;

// Left and right mouse button presses; the position is in the event.
inline constexpr int LeftClick = 1002;
inline constexpr int RightClick = 1004;
// Reported to the program after a menu command has run.
inline constexpr int MenuEvent = 1024;
// Text pasted at the terminal, as one key (the text travels with it), so
// that a paste cannot run on from one field into the next like typing.
inline constexpr int Paste = 1030;

// F1 ... F12; Shift, Ctrl and Alt with F1 ... F12.
int function(int n);
int shiftFunction(int n);
int ctrlFunction(int n);
int altFunction(int n);
// Alt with a letter (A-Z, either case) or a digit; None for anything else.
int alt(char c);
// Ctrl with a letter (A-Z, either case); None for anything else.
int ctrl(char c);

inline constexpr int CtrlY = 725;  // ctrl('Y'): delete to the end of the field
inline constexpr int CtrlW = 723;  // ctrl('W'): end the form keeping the values
inline constexpr int CtrlU = 721;  // ctrl('U'): undo the field
inline constexpr int CtrlT = 720;  // ctrl('T'): delete the word on the right
inline constexpr int CtrlC = 703;  // ctrl('C'): copy the field
inline constexpr int CtrlV = 722;  // ctrl('V'): paste into the field

// True for the CP850 character keys (32 ... 255).
inline bool isCharacter(int key) {
    return key >= 32 && key <= 255;
}

// The key of a script name ("Enter", "Alt+I", "F10", "Shift+Tab", "Ctrl+Y",
// "PgDn", ...), names compared without regard to case; nullopt when unknown.
std::optional<int> fromName(std::string_view name);
// A readable name of a key code ("Alt+I"; a character is itself, in CP850).
std::string name(int key);

}  // namespace kdx2::platform::keys
