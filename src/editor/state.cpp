#include <algorithm>

#include "base/process_state.h"
#include "base/text.h"
#include "editor/browse.h"
#include "editor/engine.h"
#include "editor/field_checks.h"
#include "platform/console/keys.h"
#include "store/work_areas.h"
#include "ui/color.h"
#include "ui/dialog.h"
#include "ui/screen.h"

namespace kdx2::editor {

BrowseDescription& browseDescription() {
    static BrowseDescription description;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { description = BrowseDescription{}; });
    return description;
}

Hooks& hooks() {
    static Hooks all;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { all = Hooks{}; });
    return all;
}

int screenCode() {
    return settings().integer("OPC");
}

GridColours browseColours() {
    const base::NamedValues& s = settings();
    auto pair = [&s](const char* name, uint8_t fallback) {
        return ui::parseColorPair(s.text(name)).value_or(fallback);
    };
    GridColours colours;
    colours.normal = pair("COR_CLI_HE", 0x70);
    colours.frame = colours.normal;
    const std::string selected =
        s.text("COR_ESC_CL") == s.text("COR_CLI_HE") ? "COR_2_CLI" : "COR_ESC_CL";
    colours.selected = pair(selected.c_str(), 0x4F);
    return colours;
}

platform::Rect innerArea(int top, int left, int bottom, int right) {
    int rowOffset = 0;
    int colOffset = 0;
    if (std::shared_ptr<ui::LDialog> window = ui::activeWindow()) {
        rowOffset = window->nTop;
        colOffset = window->nLeft;
    }
    return platform::Rect{top + 1 - rowOffset, left + 1 - colOffset, bottom - 1 - rowOffset,
                          right - 1 - colOffset};
}

void stuffKeys(std::initializer_list<int> keys) {
    while (ui::keyPending())
        ui::waitKey(0);
    ui::pushKeys(keys);
}

bool handleSharedKey(GridView& view, const ScreenRules& rules, int key, bool& done) {
    namespace keys = platform::keys;
    switch (key) {
        case keys::Esc:
        case keys::Tab:
        case keys::ShiftTab:
            view.deHilite();
            settings().set("ULTTECLA", key);
            settings().set("TECLAMUDA", true);
            done = true;
            return true;
        case keys::LeftClick:
            HANDLEMOUSE(view, rules, ui::mouseRow(), ui::mouseCol());
            return true;
        default:
            return false;
    }
}

CellRule cellRuleFor(int screen, const ScreenRules& rules, int column) {
    if (hooks().cellRule) return hooks().cellRule(screen, column);
    CellRule checks = fieldRule(screen, column);
    if (checks.before || checks.check || checks.stored) return checks;
    return rules.builtInRule ? rules.builtInRule(column) : CellRule{};
}

CellRule bankNumberRule() {
    CellRule rule;
    rule.stored = [] {
        if (store::Table* accounts = store::workAreas().currentTable())
            BUS_BANCO(accounts->get("NRO_BANCO").text());
    };
    return rule;
}

int TRAZ_IND(int column, int code) {
    switch (code) {
        case 1:
            if (column <= 3) return 1;
            return column % 2 == 0 ? (column - 2) / 2 : column / 2;
        case 2:
            return column <= 4 ? 3 : column - 1;
        default:
            return column <= 2 ? 1 : column - 2;
    }
}

int SKIP_MATRIZ(const Matrix& matrix, int row, int n) {
    const int last = std::max(1, matrix.rows());
    const int target = std::clamp(row + n, 1, last);
    return target - row;
}

}  // namespace kdx2::editor
