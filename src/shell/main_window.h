#pragma once

#include <string>

// The program's entry procedure: the main window, the start-up, the main
// menu and the main key loop.
namespace kdx2::shell {

// Runs the program on the UI layer (already started on a console) until it
// ends; returns the exit code. The argument is an optional terminal number.
int MAIN(const std::string& terminalArgument);

// Builds the main menu on the main window and activates it; false when the
// last key (ULTTECLA) was Esc.
bool MENUCOMMAND(int mode);

// The update check at start-up (mode 0) or on demand (mode 1).
void INTER(int mode);

}  // namespace kdx2::shell
