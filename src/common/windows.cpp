#include "common/windows.h"

#include <map>

#include "base/named_values.h"
#include "base/process_state.h"
#include "ui/color.h"

namespace kdx2::common {

namespace {

constexpr char kShadow = '\xB0';
constexpr std::string_view kBox = platform::kSingleFrame;

// The window definitions and saved regions of the session; the process
// reset drops them all.
struct OpenWindows {
    std::map<int, WindowSlot> slots;
    std::map<int, platform::SavedRegion> saved;
};

OpenWindows& openWindows() {
    static OpenWindows windows;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { windows = OpenWindows{}; });
    return windows;
}

std::function<TextSurface()> surfaceProvider;

platform::Grid& ownGrid() {
    static platform::Grid grid(kGridRows, kGridCols);
    return grid;
}

platform::Rect onSurface(const TextSurface& surface, platform::Rect rect) {
    rect.top -= surface.top;
    rect.bottom -= surface.top;
    rect.left -= surface.left;
    rect.right -= surface.left;
    return rect;
}

platform::Rect clipped(int top, int left, int bottom, int right) {
    return platform::Rect{top, left, bottom, right}.intersect(
        platform::Rect{0, 0, kGridRows - 1, kGridCols - 1});
}

void put(const TextSurface& surface, int row, int col, char ch, uint8_t attr) {
    if (row < 0 || row >= kGridRows || col < 0 || col >= kGridCols) return;
    surface.grid->put(row - surface.top, col - surface.left,
                      platform::Cell{static_cast<uint8_t>(ch), attr});
}

void saveRegion(int number, int top, int left, int bottom, int right) {
    const TextSurface surface = textSurface();
    platform::Rect rect = clipped(top, left, bottom, right);
    platform::SavedRegion region = surface.grid->save(onSurface(surface, rect));
    openWindows().saved[number] = std::move(region);
}

void restoreRegion(int number) {
    const auto found = openWindows().saved.find(number);
    if (found == openWindows().saved.end()) return;
    textSurface().grid->restore(found->second);
    openWindows().saved.erase(found);
}

void drawBox(int top, int left, int bottom, int right, uint8_t attr) {
    const TextSurface surface = textSurface();
    // The box is cut where it leaves the grid rather than drawn elsewhere.
    for (int col = left; col <= right; ++col) {
        const bool first = col == left;
        const bool last = col == right;
        put(surface, top, col, first ? kBox[0] : last ? kBox[2] : kBox[1], attr);
        put(surface, bottom, col, first ? kBox[6] : last ? kBox[4] : kBox[5], attr);
    }
    for (int row = top + 1; row < bottom; ++row) {
        put(surface, row, left, kBox[7], attr);
        put(surface, row, right, kBox[3], attr);
    }
}

void define(int number, int colour1, int colour2, int colour3, int top, int left, int bottom,
            int right, int frame) {
    WindowSlot slot;
    slot.number = number;
    slot.colour1 = static_cast<uint8_t>(colour1 & 0xFF);
    slot.colour2 = static_cast<uint8_t>(colour2 & 0xFF);
    slot.colour3 = static_cast<uint8_t>(colour3 & 0xFF);
    slot.top = top;
    slot.left = left;
    slot.bottom = frame == 7 ? bottom + 2 : bottom;
    slot.right = right;
    slot.frame = frame;
    const auto existing = openWindows().slots.find(number);
    if (existing != openWindows().slots.end()) slot.lastText = existing->second.lastText;
    openWindows().slots[number] = slot;
}

int lastUsableColumn(const WindowSlot& slot) {
    return slot.frame != 0 ? slot.right - 2 : slot.right;
}

// Writes a text into a slot; the colours switch at marker bytes.
void writeInto(WindowSlot& slot, std::string_view raw) {
    const std::string text = XREP(raw);
    std::string plain;
    for (char ch : text)
        if (ch < 1 || ch > 3) plain += ch;
    slot.lastText = plain;

    const TextSurface surface = textSurface();
    const uint8_t colours[3] = {slot.colour1, slot.colour2, slot.colour3};
    const int last = lastUsableColumn(slot);
    uint8_t attr = slot.colour1;
    int row = slot.top;
    int col = slot.left;
    const bool shadow = slot.frame == 7;
    for (char ch : text) {
        if (ch >= 1 && ch <= 3) {
            attr = colours[ch - 1];
            continue;
        }
        if (col > last) {
            if (shadow && row != slot.top) {
                put(surface, row, col, kShadow, slot.colour3);
                put(surface, row, col + 1, kShadow, slot.colour3);
            }
            ++row;
            col = slot.left;
        }
        put(surface, row, col, ch, attr);
        ++col;
    }
    if (shadow) {
        put(surface, row, col, kShadow, slot.colour3);
        put(surface, row, col + 1, kShadow, slot.colour3);
        const int run = last - slot.left + 2;
        for (int i = 0; i < run; ++i)
            put(surface, row + 1, slot.left + 1 + i, kShadow, slot.colour3);
    }
}

void resetTextPairs() {
    base::NamedValues& s = base::session();
    s.set("COR_1_CLI", "GR+/B");
    s.set("COR_2_CLI", "W+/B");
    s.set("COR_INI", "W+/B");
}

uint8_t statusAttr() {
    return ui::parseColorPair(base::session().text("COR_SAY")).value_or(0x7F);
}

void move(int number, int rows, int cols) {
    const auto found = openWindows().slots.find(number);
    if (found == openWindows().slots.end()) return;
    WindowSlot& slot = found->second;
    const int top = slot.top + rows;
    const int bottom = slot.bottom + rows;
    const int left = slot.left + cols;
    const int right = slot.right + cols;
    if (top < 0 || bottom > kGridRows || left < 0 || right > kGridCols) return;
    const bool open = windowOpen(number);
    if (open) FECHAJAN(number);
    slot.top = top;
    slot.bottom = bottom;
    slot.left = left;
    slot.right = right;
    const std::string text = slot.lastText;
    if (open) ABREJAN(number);
    writeInto(slot, text);
}

}  // namespace

void setTextSurface(std::function<TextSurface()> provider) {
    surfaceProvider = std::move(provider);
}

TextSurface textSurface() {
    if (surfaceProvider) {
        TextSurface surface = surfaceProvider();
        if (surface.grid != nullptr) return surface;
    }
    return TextSurface{&ownGrid(), 0, 0};
}

void DEFINEJAN(int number, int colour1, int colour2, int colour3, int top, int left, int bottom,
               int right, int frame) {
    define(number, colour1, colour2, colour3, top, left, bottom, right, frame);
}

void REDEFJAN(int number, int colour1, int colour2, int colour3, int top, int left, int bottom,
              int right, int frame) {
    define(number, colour1, colour2, colour3, top, left, bottom, right, frame);
}

void REDFATR(int number, int which, int attribute) {
    const auto found = openWindows().slots.find(number == 0 ? 10 : number);
    if (found == openWindows().slots.end()) return;
    const uint8_t attr = static_cast<uint8_t>(attribute & 0xFF);
    if (which == 1) found->second.colour1 = attr;
    if (which == 2) found->second.colour2 = attr;
    if (which == 3) found->second.colour3 = attr;
}

const WindowSlot* windowSlot(int number) {
    const auto found = openWindows().slots.find(number);
    return found == openWindows().slots.end() ? nullptr : &found->second;
}

bool windowOpen(int number) {
    return openWindows().saved.count(number) > 0;
}

void ABREJAN(int number) {
    const WindowSlot* slot = windowSlot(number);
    if (slot == nullptr) return;
    restoreRegion(number);
    const int t = slot->top, l = slot->left, b = slot->bottom, r = slot->right;
    switch (slot->frame) {
        case 1:
            saveRegion(number, t - 1, l - 1, b, r);
            drawBox(t - 1, l - 1, b - 1, r - 1, slot->colour2);
            break;
        case 2:
            saveRegion(number, t, l, b, r);
            drawBox(t, l, b, r, slot->colour2);
            break;
        case 7:
            saveRegion(number, t, l, b + 2, r + 1);
            break;
        default:
            saveRegion(number, t, l, b, r);
            break;
    }
}

void FECHAJAN(int number) {
    if (windowSlot(number) == nullptr) return;
    restoreRegion(number);
}

void ESCRJAN(int number, std::string_view text) {
    resetTextPairs();
    if (number == 0) {
        const TextSurface surface = textSurface();
        int col = 0;
        for (char ch : XREP(text)) {
            if (ch >= 1 && ch <= 3) continue;
            put(surface, kGridRows - 1, col++, ch, statusAttr());
        }
        return;
    }
    const auto found = openWindows().slots.find(number);
    if (found == openWindows().slots.end()) return;
    writeInto(found->second, text);
}

void ESCRLCOL(int number, int row, int column, std::string_view text) {
    resetTextPairs();
    int top = kGridRows - 1;
    int left = column;
    if (number != 0) {
        const WindowSlot* slot = windowSlot(number);
        if (slot == nullptr) return;
        top = slot->top + row - 1;
        left = slot->left + column - 1;
    }
    if (top < 0 || top >= kGridRows) return;
    const TextSurface surface = textSurface();
    const std::string expanded = XREP(text);
    for (size_t i = 0; i < expanded.size(); ++i) {
        const int col = left + static_cast<int>(i);
        if (col < 0 || col >= kGridCols) continue;
        const platform::Cell cell = surface.grid->cell(top - surface.top, col - surface.left);
        put(surface, top, col, expanded[i], cell.attr);
    }
}

void ESCRATR(int number, int row, int column, int attribute, int length) {
    const WindowSlot* slot = windowSlot(number);
    if (slot == nullptr || length <= 0) return;
    const int lineLength = length == 1 ? slot->right - slot->left + 1
                                       : slot->right - slot->left - 1 + (slot->frame == 0 ? 2 : 0);
    if (lineLength <= 0) return;
    const long start = static_cast<long>(row - 1) * lineLength + (column - 1);
    const TextSurface surface = textSurface();
    const uint8_t attr = static_cast<uint8_t>(attribute & 0xFF);
    for (int i = 0; i < length; ++i) {
        const long index = start + i;
        const char ch = index >= 0 && index < static_cast<long>(slot->lastText.size())
                            ? slot->lastText[static_cast<size_t>(index)]
                            : ' ';
        put(surface, slot->top + row - 1, slot->left + column - 1 + i, ch, attr);
    }
}

void MOVEVER(int number, int direction) {
    move(number, direction == kTowardsStart ? -1 : 1, 0);
}

void MOVEHOR(int number, int direction) {
    move(number, 0, direction == kTowardsStart ? -1 : 1);
}

void SCREEN_(int number, int top, int left, int bottom, int right, bool save) {
    restoreRegion(number);
    if (save) saveRegion(number, top, left, bottom, right);
}

void ENCHETELA(char character, uint8_t attribute) {
    const TextSurface surface = textSurface();
    for (int row = 0; row < kGridRows; ++row)
        for (int col = 0; col < kGridCols; ++col)
            put(surface, row, col, character, attribute);
}

void ENCHETELA(char character, std::string_view colourPair) {
    ENCHETELA(character, ui::parseColorPair(colourPair).value_or(0x1F));
}

std::string REP(int count) {
    return std::string{'\x04', static_cast<char>(count & 0xFF)};
}

std::string XREP(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x04' && i + 2 < text.size()) {
            out.append(static_cast<uint8_t>(text[i + 1]), text[i + 2]);
            i += 2;
        } else if (text[i] != '\x04') {
            out += text[i];
        }
    }
    return out;
}

}  // namespace kdx2::common
