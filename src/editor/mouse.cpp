#include "editor/browse.h"
#include "editor/engine.h"

namespace kdx2::editor {

void HANDLEMOUSE(GridView& view, const ScreenRules& rules, int row, int column) {
    if (rules.hotSpot && rules.hotSpot(view, row, column)) {
        view.refreshAll();
        return;
    }
    const platform::Rect& area = view.area();
    if (row < view.dataTop() || row > view.dataBottom() || column < area.left ||
        column > area.right)
        return;
    // One row at a time, as the arrows would; a click below the last row
    // stops on it without opening a blank row.
    const int target = row - view.dataTop() + 1;
    while (view.rowPos() < target) {
        view.down();
        if (view.hitBottom()) break;
    }
    while (view.rowPos() > target) {
        view.up();
        if (view.hitTop()) break;
    }
    view.clearHits();
    if (const int clicked = view.columnAt(column)) view.setColPos(clicked);
}

}  // namespace kdx2::editor
