#pragma once

#include <string>

#include "common/messages.h"

// The message procedures on the screen: message windows, questions and
// prompts drawn as text windows, boxes through the UI layer's message box,
// the status line in the main window's status bar.
namespace kdx2::common {

// Installs the screen handler of the messages and makes text windows draw on
// the UI layer's active window. Needs the UI layer started.
void installScreenMessages();
void removeScreenMessages();

// The text and width of a message window after the grid's limits: the
// width is text length + 1 (kind 4 adds room for the value) and, over
// several lines, the text is padded to lines x width so that it wraps; a
// window that would be wider than the grid has its text cut.
struct MensLayout {
    std::string text;
    int width = 0;
    int row = 0;
    int column = 0;
    int lines = 1;
};
MensLayout mensLayout(const MensRequest& request);

}  // namespace kdx2::common
