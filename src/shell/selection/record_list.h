#pragma once

// A framed list of the records of a table, one line per record in the
// table's current order, with a highlighted current line; the lists of the
// selection screens are built on it. Not for use outside this folder.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/table.h"

namespace kdx2::shell::selection::detail {

struct ListLayout {
    int top = 0;  // grid rectangle, frame included
    int left = 0;
    int bottom = 0;
    int right = 0;
    std::string title;               // on the top border
    std::vector<std::string> intro;  // fixed lines under the top border
    std::string heading;             // column headings
    std::string footer;              // key line while the list is open
};

class RecordList;

enum class ListAction { Ignored, Redraw, Reload, Choose, Close };

// Called for every key before the list's own keys, with the table on the
// current line's record (when there is one).
using ListKeys = std::function<ListAction(RecordList& list, int key)>;

class RecordList {
  public:
    using RowText = std::function<std::string(store::Table&)>;

    RecordList(store::Table& table, ListLayout layout, RowText rowText);

    // Runs until Enter (true, the table on the chosen record) or Esc
    // (false). Up, Down, PgUp, PgDn, Home and End move; `keys` sees every
    // key first. The screen under the list is restored at the end.
    bool run(const ListKeys& keys = {});

    store::Table& table() { return table_; }
    bool empty() const { return rows_.empty(); }
    bool atLast() const { return rows_.empty() || current_ + 1 == rows_.size(); }
    // Grid row and first text column of the current line.
    int currentRow() const;
    int textColumn() const { return layout_.left + 1; }
    // The table on the current line's record; false when the list is empty.
    bool positionTable();
    // Reads the records again, keeping the line on `recno` when listed; the
    // table is left on the current line's record.
    void reload(uint32_t recno);
    // Shows a blank line after the last one, highlighted, scrolling when
    // needed; its grid row, for typing a new entry there. draw() goes back
    // to the records.
    int openNewLine();

  private:
    int visibleLines() const;
    int firstLineRow() const;
    void draw();
    void move(long lines);

    store::Table& table_;
    ListLayout layout_;
    RowText rowText_;
    std::vector<uint32_t> rows_;
    size_t current_ = 0;
    size_t first_ = 0;
    bool newLine_ = false;  // a blank line after the last is being typed
};

}  // namespace kdx2::shell::selection::detail
