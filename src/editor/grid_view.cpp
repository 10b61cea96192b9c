#include "editor/grid_view.h"

#include <algorithm>

#include "base/text.h"
#include "platform/console/keys.h"
#include "ui/screen.h"

namespace kdx2::editor {

GridView::GridView(RowSource& source, platform::Rect area, std::vector<GridColumn> columns,
                   bool footingLine, GridColours colours)
    : source_(source),
      area_(area),
      columns_(std::move(columns)),
      footingLine_(footingLine),
      colours_(colours) {
    for (GridColumn& c : columns_)
        c.width = std::max(1, c.width);
    leftVisible_ = 1;
}

int GridView::rowCount() const {
    // Heading and its separator above, the footing separator below.
    return std::max(1, area_.height() - 2 - (footingLine_ ? 1 : 0));
}

// ---- Columns on the screen -------------------------------------------------

std::vector<int> GridView::visibleColumns() const {
    std::vector<int> shown;
    int x = area_.left;
    auto place = [&](int col) {
        const int width = column(col).width;
        if (!shown.empty() && x + width - 1 > area_.right) return false;
        shown.push_back(col);
        x += width + 1;
        return x <= area_.right;
    };
    for (int col = 1; col <= freeze_ && col <= columnCount(); ++col)
        if (!place(col)) return shown;
    for (int col = std::max(leftVisible_, freeze_ + 1); col <= columnCount(); ++col)
        if (!place(col)) break;
    return shown;
}

bool GridView::isVisible(int col) const {
    const std::vector<int> shown = visibleColumns();
    return std::find(shown.begin(), shown.end(), col) != shown.end();
}

int GridView::rightVisible() const {
    const std::vector<int> shown = visibleColumns();
    return shown.empty() ? 0 : shown.back();
}

int GridView::firstColumnX(int col) const {
    int x = area_.left;
    for (int shown : visibleColumns()) {
        if (shown == col) return x;
        x += column(shown).width + 1;
    }
    return -1;
}

int GridView::cellCol() const {
    return firstColumnX(colPos_);
}

int GridView::columnAt(int windowCol) const {
    int x = area_.left;
    for (int shown : visibleColumns()) {
        const int width = column(shown).width;
        if (windowCol >= x && windowCol < x + width) return shown;
        x += width + 1;
    }
    return 0;
}

void GridView::setColPos(int col) {
    colPos_ = std::clamp(col, 1, std::max(1, columnCount()));
    keepColumnVisible();
    allDirty_ = true;
}

void GridView::setFreeze(int columns) {
    freeze_ = std::clamp(columns, 0, std::max(0, columnCount() - 1));
    leftVisible_ = std::max(leftVisible_, freeze_ + 1);
    keepColumnVisible();
    allDirty_ = true;
}

void GridView::keepColumnVisible() {
    if (colPos_ <= freeze_) return;
    if (colPos_ < leftVisible_) leftVisible_ = colPos_;
    while (leftVisible_ < colPos_ && !isVisible(colPos_))
        ++leftVisible_;
}

// ---- Movement -----------------------------------------------------------------

void GridView::down() {
    clearHits();
    if (source_.skip(1) == 0) {
        hitBottom_ = true;
        return;
    }
    rowPos_ = std::min(rowPos_ + 1, rowCount());
    allDirty_ = true;
}

void GridView::up() {
    clearHits();
    if (source_.skip(-1) == 0) {
        hitTop_ = true;
        return;
    }
    rowPos_ = std::max(rowPos_ - 1, 1);
    allDirty_ = true;
}

void GridView::pageDown() {
    clearHits();
    const long moved = source_.skip(rowCount());
    if (moved == 0) {
        hitBottom_ = true;
        return;
    }
    // Fewer rows than a page were left: the last one comes to the bottom.
    if (moved < rowCount()) rowPos_ = rowCount();
    allDirty_ = true;
}

void GridView::pageUp() {
    clearHits();
    const long moved = source_.skip(-rowCount());
    if (moved == 0) {
        hitTop_ = true;
        return;
    }
    if (-moved < rowCount()) rowPos_ = 1;
    allDirty_ = true;
}

void GridView::goTop() {
    clearHits();
    source_.goTop();
    rowPos_ = 1;
    allDirty_ = true;
}

void GridView::goBottom() {
    clearHits();
    source_.goBottom();
    rowPos_ = rowCount();
    allDirty_ = true;
}

void GridView::right() {
    if (colPos_ < columnCount()) setColPos(colPos_ + 1);
}

void GridView::left() {
    if (colPos_ > 1) setColPos(colPos_ - 1);
}

void GridView::home() {
    colPos_ = freeze_ > 0 ? 1 : leftVisible_;
    allDirty_ = true;
}

void GridView::end() {
    colPos_ = std::max(1, rightVisible());
    allDirty_ = true;
}

void GridView::panLeft() {
    if (leftVisible_ > freeze_ + 1) --leftVisible_;
    if (colPos_ > freeze_ && colPos_ > rightVisible()) colPos_ = rightVisible();
    allDirty_ = true;
}

void GridView::panRight() {
    if (rightVisible() < columnCount()) ++leftVisible_;
    if (colPos_ > freeze_ && colPos_ < leftVisible_) colPos_ = leftVisible_;
    allDirty_ = true;
}

void GridView::panHome() {
    colPos_ = 1;
    leftVisible_ = freeze_ + 1;
    allDirty_ = true;
}

void GridView::panEnd() {
    colPos_ = std::max(1, columnCount());
    keepColumnVisible();
    allDirty_ = true;
}

bool GridView::moveAlongRow(int key) {
    namespace keys = platform::keys;
    switch (key) {
        case keys::Home:
            home();
            return true;
        case keys::End:
            end();
            return true;
        case keys::CtrlLeft:
            panLeft();
            return true;
        case keys::CtrlRight:
            panRight();
            return true;
        case keys::CtrlHome:
            panHome();
            return true;
        case keys::CtrlEnd:
            panEnd();
            return true;
        default:
            return false;
    }
}

bool GridView::moveAcrossRows(int key) {
    namespace keys = platform::keys;
    switch (key) {
        case keys::Down:
            down();
            return true;
        case keys::Up:
            up();
            return true;
        case keys::PgDn:
            pageDown();
            return true;
        case keys::PgUp:
            pageUp();
            return true;
        case keys::CtrlPgUp:
            goTop();
            return true;
        case keys::CtrlPgDn:
            goBottom();
            return true;
        default:
            return false;
    }
}

// ---- Drawing ------------------------------------------------------------------

void GridView::setHighlight(bool on) {
    if (highlight_ != on) currentDirty_ = true;
    highlight_ = on;
}

void GridView::drawHeadings() {
    const int width = area_.width();
    std::string heading(static_cast<size_t>(width), ' ');
    std::string line(static_cast<size_t>(width), kHorizontal);
    std::string foot = line;
    const std::vector<int> shown = visibleColumns();
    int x = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        const GridColumn& c = column(shown[i]);
        const std::string text = base::padRight(c.heading, static_cast<size_t>(c.width));
        for (int k = 0; k < c.width && x + k < width; ++k)
            heading[static_cast<size_t>(x + k)] = text[static_cast<size_t>(k)];
        x += c.width;
        if (i + 1 < shown.size() && x < width) {
            heading[static_cast<size_t>(x)] = kColumnSeparator;
            line[static_cast<size_t>(x)] = kHeadJoin;
            foot[static_cast<size_t>(x)] = kFootJoin;
        }
        ++x;
    }
    ui::say(area_.top, area_.left, heading, colours_.frame);
    ui::say(area_.top + 1, area_.left, line, colours_.frame);
    if (footingLine_) ui::say(area_.bottom, area_.left, foot, colours_.frame);
}

void GridView::drawRow(int screenRow, bool blank) {
    const int row = dataTop() + screenRow - 1;
    const bool current = screenRow == rowPos_ && highlight_;
    const uint8_t rowAttr = current ? colours_.selected : colours_.normal;
    const std::vector<int> shown = visibleColumns();
    int x = area_.left;
    for (size_t i = 0; i < shown.size(); ++i) {
        const int col = shown[i];
        const GridColumn& c = column(col);
        const int room = std::min(c.width, area_.right - x + 1);
        if (room <= 0) break;
        const std::string text =
            blank ? std::string() : source_.cellText(col - 1).substr(0, static_cast<size_t>(room));
        // The current cell stands out from its highlighted row.
        const uint8_t attr = current && col == colPos_ ? colours_.normal : rowAttr;
        ui::say(row, x, base::padRight(text, static_cast<size_t>(room)), attr);
        x += c.width;
        if (x > area_.right) break;
        if (i + 1 < shown.size()) ui::say(row, x, std::string(1, kColumnSeparator), rowAttr);
        ++x;
    }
    if (x <= area_.right)
        ui::say(row, x, std::string(static_cast<size_t>(area_.right - x + 1), ' '),
                colours_.normal);
}

void GridView::drawBlankRow(int screenRow) {
    const bool saved = highlight_;
    highlight_ = false;
    drawRow(screenRow, true);
    highlight_ = saved;
}

void GridView::stabilize() {
    if (allDirty_) {
        const long mark = source_.bookmark();
        const long back = source_.skip(-(rowPos_ - 1));
        rowPos_ = 1 + static_cast<int>(-back);
        drawHeadings();
        int screenRow = 1;
        drawRow(screenRow, false);
        for (++screenRow; screenRow <= rowCount(); ++screenRow) {
            if (source_.skip(1) == 0) break;
            drawRow(screenRow, false);
        }
        for (; screenRow <= rowCount(); ++screenRow)
            drawBlankRow(screenRow);
        source_.restore(mark);
    } else if (currentDirty_) {
        drawRow(rowPos_, false);
    }
    allDirty_ = currentDirty_ = false;
}

void GridView::deHilite() {
    const bool saved = highlight_;
    highlight_ = false;
    drawRow(rowPos_, false);
    highlight_ = saved;
}

}  // namespace kdx2::editor
