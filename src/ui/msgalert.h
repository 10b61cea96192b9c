#pragma once

#include <string>
#include <vector>

namespace kdx2::ui {

// A message box: the lines in a read-only text box (at most 16 rows shown,
// PgUp/PgDn/arrows of the text box scroll the rest), the buttons on the row
// above the last. Returns the number (1-based) of the button chosen, 0 when
// left with Esc (allowed only with exitOnEsc). The box opens with the button
// numbered `defaultButton` selected, so that Enter alone chooses it.
int MSGALERT(const std::vector<std::string>& lines,
             const std::vector<std::string>& buttons = {"<ENTER>"}, const std::string& color = {},
             const std::string& title = {}, bool exitOnEsc = true, int defaultButton = 1);
// One text with ";" between the lines.
int MSGALERT(const std::string& text, const std::vector<std::string>& buttons = {"<ENTER>"},
             const std::string& color = {}, const std::string& title = {}, bool exitOnEsc = true,
             int defaultButton = 1);

// The window rectangle a message box takes (for tests and for callers that
// place things around it): top, left, bottom, right of the grid.
struct AlertLayout {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    int shownLines = 0;
    int buttonRow = 0;  // window row of the first row of buttons
};
AlertLayout alertLayout(const std::vector<std::string>& lines,
                        const std::vector<std::string>& buttons, const std::string& title);

}  // namespace kdx2::ui
