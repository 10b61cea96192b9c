#include "platform/console/grid.h"

#include <algorithm>

#include "base/cp850.h"

namespace kdx2::platform {

Rect Rect::intersect(const Rect& other) const {
    return Rect{std::max(top, other.top), std::max(left, other.left),
                std::min(bottom, other.bottom), std::min(right, other.right)};
}

Grid::Grid(int rows, int cols, Cell fill)
    : rows_(std::max(rows, 0)),
      cols_(std::max(cols, 0)),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(cols_), fill) {}

Cell Grid::cell(int row, int col) const {
    if (!inside(row, col)) return Cell{};
    return cells_[static_cast<size_t>(row) * cols_ + col];
}

void Grid::put(int row, int col, Cell cell) {
    if (inside(row, col)) cells_[static_cast<size_t>(row) * cols_ + col] = cell;
}

int Grid::write(int row, int col, std::string_view text, uint8_t attr) {
    for (char ch : text) {
        put(row, col, Cell{static_cast<uint8_t>(ch), attr});
        ++col;
    }
    return col;
}

int Grid::writeChars(int row, int col, std::string_view text) {
    for (char ch : text) {
        if (inside(row, col)) cells_[static_cast<size_t>(row) * cols_ + col].ch = ch;
        ++col;
    }
    return col;
}

void Grid::fill(const Rect& rect, Cell cell) {
    const Rect r = rect.intersect(bounds());
    for (int row = r.top; row <= r.bottom; ++row)
        for (int col = r.left; col <= r.right; ++col)
            cells_[static_cast<size_t>(row) * cols_ + col] = cell;
}

void Grid::setAttr(const Rect& rect, uint8_t attr) {
    const Rect r = rect.intersect(bounds());
    for (int row = r.top; row <= r.bottom; ++row)
        for (int col = r.left; col <= r.right; ++col)
            cells_[static_cast<size_t>(row) * cols_ + col].attr = attr;
}

void Grid::box(const Rect& rect, std::string_view frame, uint8_t attr) {
    if (rect.empty() || frame.size() < 8) return;
    auto at = [&](size_t i) { return Cell{static_cast<uint8_t>(frame[i]), attr}; };
    for (int col = rect.left + 1; col < rect.right; ++col) {
        put(rect.top, col, at(1));
        put(rect.bottom, col, at(5));
    }
    for (int row = rect.top + 1; row < rect.bottom; ++row) {
        put(row, rect.left, at(7));
        put(row, rect.right, at(3));
    }
    put(rect.top, rect.left, at(0));
    put(rect.top, rect.right, at(2));
    put(rect.bottom, rect.right, at(4));
    put(rect.bottom, rect.left, at(6));
}

void Grid::scroll(const Rect& rect, int lines, Cell fillCell) {
    const Rect r = rect.intersect(bounds());
    if (r.empty()) return;
    const int height = r.height();
    if (lines == 0 || lines >= height || -lines >= height) {
        fill(r, fillCell);
        return;
    }
    auto copyRow = [&](int from, int to) {
        for (int col = r.left; col <= r.right; ++col)
            cells_[static_cast<size_t>(to) * cols_ + col] =
                cells_[static_cast<size_t>(from) * cols_ + col];
    };
    if (lines > 0) {
        for (int row = r.top; row + lines <= r.bottom; ++row)
            copyRow(row + lines, row);
        fill(Rect{r.bottom - lines + 1, r.left, r.bottom, r.right}, fillCell);
    } else {
        const int down = -lines;
        for (int row = r.bottom; row - down >= r.top; --row)
            copyRow(row - down, row);
        fill(Rect{r.top, r.left, r.top + down - 1, r.right}, fillCell);
    }
}

SavedRegion Grid::save(const Rect& rect) const {
    SavedRegion region;
    region.rect = rect.intersect(bounds());
    if (region.rect.empty()) {
        region.rect = Rect{};
        return region;
    }
    region.cells.reserve(static_cast<size_t>(region.rect.height()) * region.rect.width());
    for (int row = region.rect.top; row <= region.rect.bottom; ++row)
        for (int col = region.rect.left; col <= region.rect.right; ++col)
            region.cells.push_back(cells_[static_cast<size_t>(row) * cols_ + col]);
    return region;
}

void Grid::restore(const SavedRegion& region) {
    restoreAt(region, region.rect.top, region.rect.left);
}

void Grid::restoreAt(const SavedRegion& region, int row, int col) {
    const int height = region.rect.height();
    const int width = region.rect.width();
    if (static_cast<size_t>(height) * width != region.cells.size()) return;  // not a saved region
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            put(row + r, col + c, region.cells[static_cast<size_t>(r) * width + c]);
}

void Grid::blit(const Grid& source, int row, int col) {
    const Rect target =
        Rect{row, col, row + source.rows_ - 1, col + source.cols_ - 1}.intersect(bounds());
    for (int r = target.top; r <= target.bottom; ++r) {
        const Cell* from =
            &source.cells_[static_cast<size_t>(r - row) * source.cols_ + (target.left - col)];
        std::copy(from, from + target.width(),
                  &cells_[static_cast<size_t>(r) * cols_ + target.left]);
    }
}

std::string Grid::rowText(int row) const {
    std::string text;
    if (row < 0 || row >= rows_) return text;
    text.reserve(cols_);
    for (int col = 0; col < cols_; ++col) {
        const uint8_t ch = cells_[static_cast<size_t>(row) * cols_ + col].ch;
        text.push_back(static_cast<char>(ch == 0 ? ' ' : ch));
    }
    return text;
}

std::string Grid::toUtf8() const {
    std::string out;
    for (int row = 0; row < rows_; ++row) {
        std::string line = rowText(row);
        line.erase(line.find_last_not_of(' ') + 1);
        for (char ch : line)
            base::cp850::appendUtf8(out, base::cp850::toUnicode(static_cast<uint8_t>(ch)));
        out.push_back('\n');
    }
    return out;
}

}  // namespace kdx2::platform
