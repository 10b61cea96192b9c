#pragma once

#include <functional>
#include <string>
#include <vector>

// The main menu: its items with their texts, hot keys and command codes, and
// the dispatch of a chosen command (MENUSELECT).
namespace kdx2::shell {

// One entry of the menu bar. A sub-menu has children; an action item has a
// command code and option (a heading is an item whose action does nothing:
// code 0).
struct MenuEntry {
    std::string prompt;  // CP850, "&" before the hot-key letter, trailing blanks kept
    int code = 0;
    int option = 0;
    bool separatorAfter = false;
    std::vector<MenuEntry> children;

    bool subMenu() const { return !children.empty(); }
    char hotKey() const;
};

// The whole menu bar in order; the printer item shows `printerName`.
std::vector<MenuEntry> mainMenuDefinition(const std::string& printerName);

// A command of the main menu. Commands register themselves by code; a code
// without a command tells the user it is not available yet.
using Command = std::function<void(int option)>;
void registerCommand(int code, Command command);
bool commandAvailable(int code);

// What a command without its procedure answers.
std::string notAvailableMessage();

// Records the code in OPCAO_1 and runs the command; always closes window
// slot 2 at the end.
void MENUSELECT(int code, int option = 0);

// Runs the title window again (commands that clear the screen end with it).
void setTitleRedraw(std::function<void()> redraw);

}  // namespace kdx2::shell
