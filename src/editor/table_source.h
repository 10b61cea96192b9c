#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/records.h"
#include "editor/browse.h"
#include "editor/grid_view.h"
#include "store/expr.h"
#include "store/table.h"
#include "ui/picture.h"

// The rows of a table browse: the records of one table in its current order
// and filter, with the blank row after the last one while appending.
namespace kdx2::editor {

// True when the table shows no record (empty, or every record filtered out).
bool tableIsEmpty(store::Table& table);

// The picture as a browse cell shows it: a scrolling width only matters
// while editing, so "@S" is dropped.
ui::Picture displayPicture(const std::string& picture);

// One column's display expression, compiled against the table.
struct CompiledColumn {
    store::Expression display;
    ui::Picture picture;
    bool valid = false;
};

class TableSource final : public RowSource {
  public:
    TableSource(store::Table& table, const std::vector<BrowseColumn>& columns);

    void setAppend(bool on) { append_ = on; }
    bool append() const { return append_; }
    store::Table& table() { return table_; }
    // Width of each column: the wider of its heading and its cells.
    int columnWidth(size_t column) const { return widths_[column]; }
    // The text of a column on the current record, formatted by its picture.
    std::string format(size_t column);

    void goTop() override { table_.goTop(); }
    void goBottom() override { table_.goBottom(); }
    long skip(long n) override { return common::SKIPPED(table_, n, append_); }
    std::string cellText(int column) override;
    long bookmark() override { return table_.recNo(); }
    void restore(long bookmark) override;

  private:
    int measure(size_t column);

    store::Table& table_;
    const store::Resolver& resolver_;  // the table's own
    std::vector<BrowseColumn> columns_;
    std::vector<CompiledColumn> compiled_;
    std::vector<int> widths_;
    bool append_ = false;
};

}  // namespace kdx2::editor
