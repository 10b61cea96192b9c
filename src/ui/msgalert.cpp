#include "ui/msgalert.h"

#include <algorithm>

#include "base/text.h"
#include "ui/button.h"
#include "ui/detail.h"
#include "ui/dialog.h"

namespace kdx2::ui {

namespace keys = platform::keys;

namespace {

constexpr int kMaxShownLines = 16;

int captionWidth(const std::string& caption) {
    return static_cast<int>(buttonText(buttonCaption(caption)).size()) + 2;
}

// Buttons placed on rows, one column apart, each row centred in the window.
struct ButtonPlace {
    int row = 0;
    int left = 0;
    int width = 0;
};

std::vector<ButtonPlace> placeButtons(const std::vector<std::string>& buttons, int width,
                                      int firstRow) {
    std::vector<std::vector<size_t>> rows(1);
    int used = 0;
    for (size_t i = 0; i < buttons.size(); ++i) {
        const int w = captionWidth(buttons[i]);
        const int needed = used == 0 ? w : used + 1 + w;
        if (needed > width && used > 0) {
            rows.emplace_back();
            used = w;
        } else {
            used = needed;
        }
        rows.back().push_back(i);
    }
    std::vector<ButtonPlace> places(buttons.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        int total = 0;
        for (size_t i : rows[r])
            total += captionWidth(buttons[i]);
        total += static_cast<int>(rows[r].size()) - 1;
        int col = std::max((width - total) / 2, 0);
        for (size_t i : rows[r]) {
            places[i] =
                ButtonPlace{firstRow + 2 * static_cast<int>(r), col, captionWidth(buttons[i])};
            col += places[i].width + 1;
        }
    }
    return places;
}

// The lines as the read-only text box shows them: a line wider than the box
// goes on in the rows below, broken after its last blank that fits (or at the
// box's edge when it has none), as a multi-line text box wraps its text.
std::vector<std::string> wrapToWidth(const std::vector<std::string>& lines, int width) {
    const size_t w = static_cast<size_t>(std::max(width, 1));
    std::vector<std::string> rows;
    for (const std::string& line : lines) {
        std::string rest = line;
        while (rest.size() > w) {
            size_t cut = rest.rfind(' ', w);
            const bool atBlank = cut != std::string::npos && cut > 0;
            if (!atBlank) cut = w;
            rows.push_back(rest.substr(0, cut));
            rest.erase(0, atBlank ? cut + 1 : cut);
        }
        rows.push_back(rest);
    }
    return rows;
}

void showLines(LDialog& window, const std::vector<std::string>& lines, int first, int shown) {
    const uint8_t attr = detail::windowAttr(window);
    const int width = window.grid().cols();
    window.grid().fill(platform::Rect{0, 0, shown - 1, width - 1}, platform::Cell{' ', attr});
    for (int i = 0; i < shown && first + i < static_cast<int>(lines.size()); ++i)
        window.grid().write(i, 1, lines[static_cast<size_t>(first + i)], attr);
}

}  // namespace

AlertLayout alertLayout(const std::vector<std::string>& lines,
                        const std::vector<std::string>& buttons, const std::string& title) {
    const int screenWidth = std::max(platform::kGridCols, 80);
    AlertLayout layout;
    int buttonsWidth = 0;
    for (const auto& caption : buttons)
        buttonsWidth += captionWidth(caption);
    int longest = 0;
    for (const auto& line : lines)
        longest = std::max(longest, static_cast<int>(line.size()));
    int width = std::max({buttonsWidth, longest, static_cast<int>(title.size())}) + 3;
    width = std::min(width, screenWidth - 4);
    // Rows, not lines: a line cut by the screen's width would otherwise
    // hide its end behind a scroll the user has no reason to try.
    const int rows = static_cast<int>(wrapToWidth(lines, width - 2).size());
    layout.shownLines = std::min(rows, kMaxShownLines);
    const int height = layout.shownLines + 3;
    layout.top = platform::kGridRows / 2 - height / 2 - 1;
    layout.left = screenWidth / 2 - width / 2 - 1;
    layout.right = layout.left + width - 1;
    layout.buttonRow = height - 2;
    // Each further row of buttons makes the window two rows taller.
    const auto places = placeButtons(buttons, width, layout.buttonRow);
    const int lastRow = places.empty() ? layout.buttonRow : places.back().row;
    layout.bottom = layout.top + height - 1 + (lastRow - layout.buttonRow);
    return layout;
}

int MSGALERT(const std::vector<std::string>& lines, const std::vector<std::string>& buttons,
             const std::string& color, const std::string& title, bool exitOnEsc,
             int defaultButton) {
    const std::vector<std::string> captions =
        buttons.empty() ? std::vector<std::string>{"<ENTER>"} : buttons;
    const AlertLayout layout = alertLayout(lines, captions, title);
    auto window = LDialog::make(layout.top, layout.left, layout.bottom, layout.right);
    window->cColor = color;
    window->lBoxSysMenu = false;
    window->lExitEsc = exitOnEsc;
    window->cFontName = "Courier New";
    window->cTitle(title);
    if (!window->showWindow()) return 0;
    const std::vector<std::string> rows = wrapToWidth(lines, layout.right - layout.left + 1 - 2);
    showLines(*window, rows, 0, layout.shownLines);

    GetList form;
    const int width = layout.right - layout.left + 1;
    const auto places = placeButtons(captions, width, layout.buttonRow);
    for (size_t i = 0; i < captions.size(); ++i) {
        LButton::Options options;
        options.top = places[i].row;
        options.left = places[i].left;
        options.right = places[i].left + places[i].width - 1;
        options.window = window.get();
        options.form = &form;
        auto button = LButton::make(
            captions[i], [](LButton&, LDialog* owner) { owner->end(); }, options);
        button->create();
    }

    SETKEYOFF();
    // The text box scrolls with PgUp/PgDn when the message is longer than it.
    int first = 0;
    const int lineCount = static_cast<int>(rows.size());
    const bool scrolls = lineCount > layout.shownLines;
    if (scrolls) {
        auto scroll = [&, shown = layout.shownLines](int by) {
            first = std::clamp(first + by, 0, std::max(lineCount - shown, 0));
            showLines(*window, rows, first, shown);
        };
        bindKey(keys::PgDn, [scroll, shown = layout.shownLines](Get*) { scroll(shown); });
        bindKey(keys::PgUp, [scroll, shown = layout.shownLines](Get*) { scroll(-shown); });
    }
    // Only a button, or Esc where allowed, ends the box.
    const int start = std::clamp(defaultButton, 1, static_cast<int>(captions.size())) - 1;
    for (;;) {
        window->readmodal(form, start);
        if (window->nExit == 2) break;
        if (window->nExit == 1) break;
        if (exitOnEsc && lastKey() == keys::Esc) break;
    }
    if (scrolls) {
        bindKey(keys::PgDn, {});
        bindKey(keys::PgUp, {});
    }
    SETKEYON();
    const int chosen = window->nExit == 2 ? window->nLastButton : 0;
    window->close();
    return chosen;
}

int MSGALERT(const std::string& text, const std::vector<std::string>& buttons,
             const std::string& color, const std::string& title, bool exitOnEsc,
             int defaultButton) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t semicolon = text.find(';', start);
        lines.push_back(text.substr(start, semicolon - start));
        if (semicolon == std::string::npos) break;
        start = semicolon + 1;
    }
    return MSGALERT(lines, buttons, color, title, exitOnEsc, defaultButton);
}

}  // namespace kdx2::ui
