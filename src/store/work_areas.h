#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "store/table.h"

namespace kdx2::store {

// The numbered work areas of the program (one set per process, like the
// session record): each holds at most one open table under its alias. A table
// of the data store is always opened in the area of its table number, so any
// procedure selects it again by that number written as text ("9") or by its
// alias ("IRM9"), and names its fields as "IRM9->NOVO".
class WorkAreas {
  public:
    static constexpr int kSlots = 255;  // areas 1 ... 255

    // The area named by a number ("9") or an alias ("IRM9", case-blind);
    // 0 when there is none.
    int slotOf(std::string_view numberOrAlias) const;
    // The table open in an area, or nullptr.
    Table* table(int slot) const;
    Table* table(std::string_view numberOrAlias) const;
    // Like table(), but a closed area throws base::Error naming it.
    Table& area(int slot) const;
    Table& area(std::string_view numberOrAlias) const;

    int current() const { return current_; }
    Table* currentTable() const { return table(current_); }
    // Selects an area (open or not); out-of-range numbers throw base::Error.
    void select(int slot);
    // Selects by number or alias; false (selection unchanged) when unknown.
    bool select(std::string_view numberOrAlias);

    // Puts an open table into an area, closing what the area held.
    void attach(int slot, std::unique_ptr<Table> table);
    void close(int slot);
    void closeAll();
    // The highest area without a table (temporary opens take areas from the
    // top, away from the table numbers); 0 when all are full.
    int freeSlot() const;

  private:
    std::array<std::unique_ptr<Table>, kSlots + 1> tables_{};
    int current_ = 1;
};

WorkAreas& workAreas();

}  // namespace kdx2::store
