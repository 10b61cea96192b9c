#pragma once

#include <string>
#include <vector>

// The fixed frames of the pop-up windows the shell draws: the title window
// and the folder window. Each call records the window's top-left corner in
// the layout anchors of the session (ALJA/ACJA, NTA).
namespace kdx2::shell {

// MTELA1 (n, row, column): screen 9 is the title window (slot 7), screen 4
// the folder pair window (slot 3). Other screens only set their anchor.
void MTELA1(int screen, int row = 0, int column = 0);

// The fixed text of the title window, row by row (50 characters each).
std::vector<std::string> titleWindowRows(int baseYear, const std::string& terminal,
                                         const std::string& version);
// The two captions of the folder window for a command code.
std::vector<std::string> folderWindowCaptions(int command, int baseYear);

}  // namespace kdx2::shell
