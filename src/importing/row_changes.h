#pragma once

#include <cstdint>
#include <vector>

#include "base/named_values.h"
#include "store/table.h"

namespace kdx2::importing {

// The changes one taxpayer's import makes to the open tables of the work
// areas, kept so that they can all be taken back: a taxpayer is written
// whole or not at all. Appended records are deleted again, deleted ones
// recalled and changed ones given their old values. Shared tables are locked
// whole while the taxpayer is written (lock()), and unlocked at the end.
class RowChanges {
  public:
    RowChanges() = default;
    // Takes back whatever was not committed.
    ~RowChanges();
    RowChanges(const RowChanges&) = delete;
    RowChanges& operator=(const RowChanges&) = delete;

    // Locks the table of `area` whole (FIL_LOCK), waiting up to `seconds`;
    // false when it stayed unavailable (the store told the user).
    bool lock(int area, double seconds);
    // Appends a blank record to the table of `area` and makes it current.
    // Throws base::Error when it cannot be appended.
    store::Table& append(int area);
    // Call before changing the current record of `area`.
    void changing(int area);
    // Deletes the current record of `area`.
    void remove(int area);
    // The changes stand; the tables are written and unlocked.
    void commit();
    // Takes every change back and unlocks (also done by the destructor).
    void rollback();

  private:
    enum class Kind { Appended, Removed, Changed };
    struct Undo {
        Kind kind;
        int area;
        uint32_t recno;
        base::NamedValues before;
    };
    void release();
    std::vector<Undo> undo_;
    std::vector<int> locked_;
};

}  // namespace kdx2::importing
