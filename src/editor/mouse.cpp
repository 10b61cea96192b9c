#include "editor/browse.h"
#include "editor/engine.h"

namespace kdx2::editor {

namespace {

// The marks on the page frames that switch a mode when clicked.
bool hotSpot(GridView& view, int screen, int row, int column) {
    if (screen == 19 && row == 4 && (column == 29 || column == 30)) {
        cycleCashBookMode(19);
        return true;
    }
    if (screen == 12 && row == 2 && column == 71) {
        cycleCashBookMode(12);
        return true;
    }
    if (screen == 16 && row == 4 && column == 66) {
        switchCalculationMode(view);
        return true;
    }
    if (screen == 16 && row == 6 && (column == 65 || column == 77)) {
        call(hooks().MUDA_LEAO);
        return true;
    }
    return false;
}

}  // namespace

void HANDLEMOUSE(GridView& view, int screen, int row, int column) {
    if (hotSpot(view, screen, row, column)) {
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
