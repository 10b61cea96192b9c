#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kdx2::platform {

// One character cell: a CP850 byte and a PC text attribute (background * 16 +
// foreground; the high background bit means a bright background, not blink).
struct Cell {
    uint8_t ch = ' ';
    uint8_t attr = 0x07;
    bool operator==(const Cell&) const = default;
};

// An inclusive rectangle of cells. Empty when bottom < top or right < left.
struct Rect {
    int top = 0;
    int left = 0;
    int bottom = -1;
    int right = -1;

    bool empty() const { return bottom < top || right < left; }
    int height() const { return empty() ? 0 : bottom - top + 1; }
    int width() const { return empty() ? 0 : right - left + 1; }
    bool contains(int row, int col) const {
        return row >= top && row <= bottom && col >= left && col <= right;
    }
    Rect intersect(const Rect& other) const;
    bool operator==(const Rect&) const = default;
};

// Cells saved from a grid; `rect` is the part that lay inside the grid.
struct SavedRegion {
    Rect rect;
    std::vector<Cell> cells;
};

// A rectangle of cells in memory. Every operation is clipped to the grid:
// writing, filling, saving or restoring outside it is silently cut, never an
// out-of-bounds access, so callers may pass any coordinates.
class Grid {
  public:
    Grid() = default;
    Grid(int rows, int cols, Cell fill = {});

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    Rect bounds() const { return Rect{0, 0, rows_ - 1, cols_ - 1}; }
    bool inside(int row, int col) const {
        return row >= 0 && row < rows_ && col >= 0 && col < cols_;
    }

    // The cell at a position; a blank cell outside the grid.
    Cell cell(int row, int col) const;
    void put(int row, int col, Cell cell);

    // Writes text on one row from (row, col); what falls outside is dropped.
    // Returns the column after the last character written (as if unclipped).
    int write(int row, int col, std::string_view text, uint8_t attr);
    // The same keeping the attributes already in the cells.
    int writeChars(int row, int col, std::string_view text);
    void fill(const Rect& rect, Cell cell);
    void clear(Cell cell) { fill(bounds(), cell); }
    // Changes the attribute of the cells of a rectangle, keeping the characters.
    void setAttr(const Rect& rect, uint8_t attr);
    // Draws a box with eight CP850 characters (top-left, top, top-right,
    // right, bottom-right, bottom, bottom-left, left), as text windows do.
    void box(const Rect& rect, std::string_view frame, uint8_t attr);
    // Scrolls the rectangle's rows up (lines > 0) or down (lines < 0),
    // filling the rows freed with `fill`; 0 clears the rectangle.
    void scroll(const Rect& rect, int lines, Cell fill);

    SavedRegion save(const Rect& rect) const;
    // Puts saved cells back at their own place.
    void restore(const SavedRegion& region);
    // Puts saved cells back with their top-left corner at (row, col).
    void restoreAt(const SavedRegion& region, int row, int col);

    // Copies all of `source` with its top-left corner at (row, col), clipped.
    void blit(const Grid& source, int row, int col);

    // The characters of one row (CP850), trailing blanks kept.
    std::string rowText(int row) const;
    // The whole grid as UTF-8 lines, trailing blanks of each line removed.
    std::string toUtf8() const;

    bool operator==(const Grid&) const = default;

  private:
    int rows_ = 0;
    int cols_ = 0;
    std::vector<Cell> cells_;
};

// The single-line frame of text windows, in CP850.
inline constexpr std::string_view kSingleFrame = "\xDA\xC4\xBF\xB3\xD9\xC4\xC0\xB3";
// The double-line frame, in CP850.
inline constexpr std::string_view kDoubleFrame = "\xC9\xCD\xBB\xBA\xBC\xCD\xC8\xBA";

}  // namespace kdx2::platform
