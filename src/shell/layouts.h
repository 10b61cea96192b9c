#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The fixed frames of the declaration pages and of the pop-up windows the
// shell draws. Each layout is data: the window (slot, rectangle, colours,
// frame style), the boxes drawn inside it and its fixed texts. Drawing one
// records the window's top-left corner in the layout anchors of the session
// (ALJ/ACJ and NT for the pages, ALJA/ACJA and NTA for the pop-ups); the
// forms place their fields from those anchors.
namespace kdx2::shell {

// A box inside a layout, in window coordinates (0, 0 the window's corner),
// with an optional caption on its top line.
struct LayoutBox {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    std::string caption;  // UTF-8
};

// A fixed text at a window position (UTF-8); a centred text stands in the
// middle of its row whatever its column says.
struct LayoutText {
    int row = 0;
    int column = 0;
    std::string text;
    bool centred = false;
};

struct Layout {
    int slot = 3;
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    // Session names of the three colours (COR_TEL1, COR_TEL2, ...).
    std::string colour1 = "COR_TEL1";
    std::string colour2 = "COR_TEL2";
    std::string colour3 = "COR_ENCHE";
    int frame = 0;
    std::vector<LayoutBox> boxes;
    std::vector<LayoutText> texts;
};

// The layout of `code` ("MTELA 5", "MTELA1 11", "MTELA2 4") with its
// {NAME} fields filled from the session and from `fields`; nullopt for a
// code without a layout.
std::optional<Layout> layoutOf(const std::string& code,
                               const std::map<std::string, std::string>& fields = {});
// Every code of the table of layouts.
std::vector<std::string> layoutCodes();
// The frame of declaration page n (MTELA): nullopt for pages that only set
// their anchor.
std::optional<Layout> pageLayout(int page);
// The window's text row by row (CP850), each as wide as the window: what
// drawing the layout writes. Texts and boxes are cut at the window's edges.
std::vector<std::string> layoutRows(const Layout& layout);
// Defines, opens and writes the layout's window.
void drawLayout(const Layout& layout);

// Whether the income lists sum as amounts are typed (CALBEN), as pages 1
// and 5 show it on the top line of their frame, clear of its corner.
std::string automaticSumsLabel();
inline constexpr int kSumsLabelRow = 0;
inline constexpr int kSumsLabelColumn = 63;

// MTELA (n): the frame of declaration page n; pages without a frame only
// set their anchor.
void MTELA(int page);

// MTELA1 (n, row, column): screen 9 is the title window (slot 7), screen 4
// the folder pair window (slot 3). Other screens only set their anchor.
void MTELA1(int screen, int row = 0, int column = 0);

// The two captions of the folder window for a command code.
std::vector<std::string> folderWindowCaptions(int command, int baseYear);

// MRODAPE (n): the footer line of page n on the message row, the key names
// between the highlight markers (bytes 2 and 1). Pages whose list screen
// writes its own footer get none here (empty text).
std::string pageFooter(int page);
void MRODAPE(int page);

}  // namespace kdx2::shell
