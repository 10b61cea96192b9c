#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console/grid.h"

// The drawing and cursor movement shared by the table and matrix browses: a
// grid of rows (records or matrix rows) and columns inside a rectangle of
// the active window, with a heading line, column separators, frozen columns
// and horizontal panning. The rows come from a RowSource that knows where
// the current row is; the view only remembers on which screen row it stands.
namespace kdx2::editor {

// Where the rows come from. skip() moves the current row by up to n rows
// (negative: backwards) and returns how many it moved, with the sign.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual void goTop() = 0;
    virtual void goBottom() = 0;
    virtual long skip(long n) = 0;
    // The text of a column (0-based) on the current row, before cutting.
    virtual std::string cellText(int column) = 0;
    // A position to come back to (the record number, the matrix row).
    virtual long bookmark() = 0;
    virtual void restore(long bookmark) = 0;
};

struct GridColumn {
    std::string heading;
    int width = 1;
};

struct GridColours {
    uint8_t frame = 0x1E;     // headings and separators
    uint8_t normal = 0x70;    // cells
    uint8_t selected = 0x4F;  // the current row and the current cell
};

// The box characters of the heading, column and footing separators (CP850).
inline constexpr char kColumnSeparator = '\xB3';  // │
inline constexpr char kHorizontal = '\xC4';       // ─
inline constexpr char kHeadJoin = '\xC2';         // ┬
inline constexpr char kFootJoin = '\xC1';         // ┴

class GridView {
  public:
    // area: the rectangle (window coordinates) the browse draws in.
    GridView(RowSource& source, platform::Rect area, std::vector<GridColumn> columns,
             bool footingLine, GridColours colours);

    // ---- Geometry ----
    int rowCount() const;  // data rows on the screen
    int dataTop() const { return area_.top + 2; }
    int dataBottom() const { return dataTop() + rowCount() - 1; }
    const platform::Rect& area() const { return area_; }
    int columnCount() const { return static_cast<int>(columns_.size()); }
    const GridColumn& column(int col) const { return columns_[static_cast<size_t>(col - 1)]; }
    // Screen row and column of the current cell, and its width.
    int cellRow() const { return dataTop() + rowPos_ - 1; }
    int cellCol() const;
    int cellWidth() const { return column(colPos_).width; }
    // The visible column (1-based) at a window column; 0 when none.
    int columnAt(int windowCol) const;
    bool isVisible(int col) const;
    int leftVisible() const { return leftVisible_; }
    int rightVisible() const;

    // ---- Cursor ----
    int rowPos() const { return rowPos_; }
    int colPos() const { return colPos_; }
    void setColPos(int col);
    int freeze() const { return freeze_; }
    void setFreeze(int columns);
    // Changes a column's heading (a mark that moves between columns).
    void setHeading(int col, const std::string& heading) {
        columns_[static_cast<size_t>(col - 1)].heading = heading;
        allDirty_ = true;
    }
    bool hitTop() const { return hitTop_; }
    bool hitBottom() const { return hitBottom_; }
    void setHitBottom(bool on) { hitBottom_ = on; }
    void clearHits() { hitTop_ = hitBottom_ = false; }

    // ---- Movement (each marks what has to be redrawn) ----
    void down();
    void up();
    void pageDown();
    void pageUp();
    void goTop();
    void goBottom();
    void right();
    void left();
    void home();  // first visible column
    void end();   // last visible column
    void panLeft();
    void panRight();
    void panHome();  // first column
    void panEnd();   // last column
    // Home, End and the Ctrl+arrow pans, which every browse treats alike;
    // false for any other key.
    bool moveAlongRow(int key);
    // The arrows, pages and Ctrl+PgUp/PgDn between rows, alike in every
    // browse; false for any other key.
    bool moveAcrossRows(int key);

    // ---- Drawing ----
    // Everything is redrawn at the next stabilize(); the row is kept.
    void refreshAll() { allDirty_ = true; }
    void refreshCurrent() { currentDirty_ = true; }
    bool stable() const { return !allDirty_ && !currentDirty_; }
    // Draws what is pending; the current row in the selected colours unless
    // highlighting is off.
    void stabilize();
    void setHighlight(bool on);
    // Repaints the current row in the normal colours (leaving the browse).
    void deHilite();

  private:
    void drawHeadings();
    void drawRow(int screenRow, bool blank);
    void drawBlankRow(int screenRow);
    void keepColumnVisible();
    int firstColumnX(int col) const;
    std::vector<int> visibleColumns() const;

    RowSource& source_;
    platform::Rect area_;
    std::vector<GridColumn> columns_;
    bool footingLine_;
    GridColours colours_;
    int rowPos_ = 1;
    int colPos_ = 1;
    int leftVisible_ = 1;
    int freeze_ = 0;
    bool hitTop_ = false;
    bool hitBottom_ = false;
    bool allDirty_ = true;
    bool currentDirty_ = true;
    bool highlight_ = true;
};

}  // namespace kdx2::editor
