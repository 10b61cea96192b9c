#include "importing/row_changes.h"

#include <algorithm>

#include "base/cp850.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"

namespace kdx2::importing {

using namespace base::literals;

RowChanges::~RowChanges() {
    rollback();
}

bool RowChanges::lock(int area, double seconds) {
    store::workAreas().select(area);
    if (!store::FIL_LOCK(seconds)) return false;
    if (std::find(locked_.begin(), locked_.end(), area) == locked_.end()) locked_.push_back(area);
    return true;
}

store::Table& RowChanges::append(int area) {
    store::Table& table = store::workAreas().area(area);
    store::workAreas().select(area);
    if (!table.append())
        throw base::Error("Não foi possível incluir um registro em "_cp + table.path());
    undo_.push_back({Kind::Appended, area, table.recNo(), {}});
    if (std::find(locked_.begin(), locked_.end(), area) == locked_.end()) locked_.push_back(area);
    return table;
}

void RowChanges::changing(int area) {
    const store::Table& table = store::workAreas().area(area);
    undo_.push_back({Kind::Changed, area, table.recNo(), table.toValues()});
}

void RowChanges::remove(int area) {
    store::Table& table = store::workAreas().area(area);
    undo_.push_back({Kind::Removed, area, table.recNo(), {}});
    table.deleteRecord();
}

void RowChanges::commit() {
    undo_.clear();
    release();
}

void RowChanges::rollback() {
    // goTo reaches deleted records too.
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
        try {
            store::Table& table = store::workAreas().area(undo->area);
            table.goTo(undo->recno);
            switch (undo->kind) {
                case Kind::Appended:
                    table.deleteRecord();
                    break;
                case Kind::Removed:
                    table.recall();
                    break;
                case Kind::Changed:
                    table.fromValues(undo->before);
                    break;
            }
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
    }
    undo_.clear();
    release();
}

void RowChanges::release() {
    for (int area : locked_) {
        try {
            store::workAreas().area(area).unlock();
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
    }
    locked_.clear();
}

}  // namespace kdx2::importing
