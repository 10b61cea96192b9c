#include "base/cp850.h"
#include "base/text.h"
#include "common/calculator.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "editor/engine.h"
#include "editor/field_checks.h"
#include "platform/console/keys.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::editor {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

std::vector<GridColumn> gridColumns(const TableSource& source,
                                    const std::vector<BrowseColumn>& columns) {
    std::vector<GridColumn> grid;
    for (size_t i = 0; i < columns.size(); ++i)
        grid.push_back(GridColumn{columns[i].heading, source.columnWidth(i)});
    return grid;
}

}  // namespace

TableBrowser::TableBrowser(store::Table& table, int area, platform::Rect rect,
                           const BrowseDescription& description)
    : table(table),
      area(area),
      description(description),
      source(table, description.columns),
      view(source, rect, gridColumns(source, description.columns), description.footingLine,
           browseColours()),
      orders(table),
      screen(screenCode()),
      rules(screenRules(screen)) {
    view.setFreeze(description.frozen);
    if (this->description.lastEditable <= 0)
        this->description.lastEditable = static_cast<int>(description.columns.size());
}

const BrowseColumn& TableBrowser::currentColumn() const {
    return description.columns[static_cast<size_t>(view.colPos() - 1)];
}

void TableBrowser::select() const {
    store::workAreas().select(area);
}

void TableBrowser::setAppend(bool on) {
    append = on;
    source.setAppend(on);
    settings().set("LAPPEND", on);
}

void TableBrowser::publishState() const {
    base::NamedValues& s = settings();
    s.set("PONTEIRO", view.colPos());
    s.set("PONTVERT", view.rowPos());
    s.set("EDI_CAMPO", currentField());
    s.set("LAPPEND", append);
    s.set("ULT_POS", description.lastEditable);
}

void TableBrowser::leaveFrozenColumns() {
    if (view.colPos() <= view.freeze())
        view.setColPos(std::max(view.leftVisible(), view.freeze() + 1));
}

bool TableBrowser::storeInCell(const base::Value& value, double lockSeconds) {
    select();
    if (onBlankRow()) {
        if (!append) return false;
        ADIC_REG(1);
        if (onBlankRow()) return false;  // the append was refused
    } else if (!store::REC_LOCK(lockSeconds)) {
        return false;
    }
    F_TROCA(value);
    table.unlock();
    view.refreshCurrent();
    return true;
}

void TableBrowser::recompute() const {
    call(rules.recompute);
    select();
}

// Pushed past the last row: a blank row follows, in append mode.
void TableBrowser::hitBottomRule() {
    if (!view.hitBottom() || !rules.editsRows) return;
    view.clearHits();
    if (append) {
        if (onBlankRow()) return;
        view.goBottom();
        view.down();
    } else {
        setAppend(true);
        ui::setCursorShape(ui::insertMode() ? platform::CursorShape::Block
                                            : platform::CursorShape::Underline);
        ADIC_REG(0);
        view.down();
    }
    view.clearHits();
    view.setHighlight(true);
}

void TableBrowser::run() {
    base::NamedValues& s = settings();
    setAppend(tableIsEmpty(table));
    if (append && !table.eof()) table.goTo(table.recCount() + 1);
    if (append) ui::pushKey(keys::Down);
    int pending = 0;
    while (!done) {
        if (table.eof() && !append) break;
        leaveFrozenColumns();
        publishState();
        if (s.has("SO_MOS") && s.integer("SO_MOS") == 0) {
            view.stabilize();
            return;
        }
        hitBottomRule();
        // Keys typed ahead are taken before the page is drawn again.
        if (!pending && !ui::keyPending()) view.stabilize();
        const int key = pending ? pending : ui::waitKey();
        pending = 0;
        if (key == keys::None || key == keys::MenuEvent) continue;
        if (s.integer("LASTECLA") == 0) s.set("LASTECLA", key);
        leaveAppendRequested = false;
        pending = handle(key);
        select();
        if (leaveAppendRequested) {
            setAppend(tableIsEmpty(table));
            FRESHORDER(*this);
        }
    }
    view.stabilize();
}

void TableBrowser::pageKey(int key) {
    if (append) {
        leaveAppendRequested = true;
        return;
    }
    view.moveAcrossRows(key);
}

int TableBrowser::handle(int key) {
    const Hooks& h = hooks();
    const int col = view.colPos();
    if (keys::isCharacter(key) || key == keys::Paste) {
        stuffKeys({keys::Enter, key});
        return 0;
    }
    if (view.moveAlongRow(key) || handleSharedKey(view, rules, key, done)) return 0;
    switch (key) {
        case keys::Enter:
            if (rules.enterOpensBreakdown && rules.enterOpensBreakdown(col)) {
                // A row not added yet has no months: its amount is typed.
                if (!h.MUDATEL13 || onBlankRow()) return DOGET(*this, append);
                breakdown(2);
                return 0;
            }
            if (onBlankRow() && !append) {
                done = true;
                return 0;
            }
            return DOGET(*this, append);
        case keys::Down:
            view.down();
            if (append) {
                view.setHitBottom(true);
                view.setHighlight(true);
            }
            return 0;
        case keys::Up:
        case keys::PgUp:
        case keys::CtrlPgUp:
        case keys::CtrlPgDn:
            pageKey(key);
            return 0;
        case keys::PgDn:
            if (append)
                view.setHitBottom(true);
            else
                view.pageDown();
            return 0;
        case keys::Right:
            if (rules.rightStopsAt > 0 && col >= rules.rightStopsAt) return 0;
            view.right();
            return 0;
        case keys::Left:
            if (rules.leftUnfreezesAt > 0 && col == rules.leftUnfreezesAt) {
                view.setFreeze(0);
                view.setColPos(1);
            } else if (rules.leftReturnsTo > 0) {
                view.setColPos(rules.leftReturnsTo);
            } else {
                view.left();
            }
            return 0;
        case keys::Del:
            if (rules.editsRows) deleteRow();
            return 0;
        case keys::Ins:
            if (rules.editsRows) insertRow();
            return 0;
        case keys::AltEquals:
        case keys::KeypadAltPlus:
            if (rules.marksRows) markAll(true);
            if (rules.entryTools) sortByColumn();
            return 0;
        case keys::AltMinus:
        case keys::KeypadAltMinus:
            if (rules.marksRows) markAll(false);
            return 0;
        default:
            break;
    }
    if (key == keys::function(1) || key == keys::function(2)) {
        const int n = key == keys::function(1) ? 1 : 2;
        switch (rules.functionKeys) {
            case FunctionKeys::Order:
                table.setOrder(n);
                view.refreshAll();
                break;
            case FunctionKeys::RedrawAndLeave:
                view.refreshAll();
                done = true;
                break;
            case FunctionKeys::ChangePage:
                if (n == 1)
                    call(h.MUDATEL1);
                else
                    call(h.QUETEL, 2);
                done = true;
                break;
        }
        return 0;
    }
    for (int n = 3; n <= 11; ++n) {
        if (key != keys::function(n)) continue;
        if (h.QUETEL && h.QUETEL(n)) done = true;
        return 0;
    }
    if (key == keys::alt('E')) {
        if (rules.editsRows) deleteFollowing();
    } else if (key == keys::alt('S')) {
        calculator();
    } else if (key == keys::alt('M')) {
        copyCell();
    } else if (key == keys::alt('C')) {
        pasteCell();
    } else if (key == keys::alt('U')) {
        if (const int slot = breakdownSlot()) breakdown(slot);
    } else if (key == keys::alt('W')) {
        if (settings().integer("TEMP_SAL") < 98) call(h.SAL_DEC);
    } else if (key == keys::alt('O')) {
        temporaryOrder();
    } else if (key == keys::alt('2')) {
        if (rules.entryTools) markSubtotal();
    } else if (key == keys::alt('3')) {
        if (rules.entryTools) subtotal();
    } else if (key == keys::alt('B')) {
        if (rules.banksLookup) banks();
    } else if (key == keys::alt('N')) {
        if (settings().integer("TELA") == 2) h.MUDA_LEAO ? h.MUDA_LEAO() : MUDA_LEAO();
    } else if (ui::isBound(key)) {
        ui::SETKEYEVAL(key);
    }
    return 0;
}

// Ins: the blank row after the last one, in its first column, ready to be
// typed into (what moving past the last row does).
void TableBrowser::insertRow() {
    if (append && onBlankRow()) return;
    view.goBottom();
    view.setColPos(std::max(1, view.freeze() + 1));
    view.setHitBottom(true);
}

// ---- Cell values by key ---------------------------------------------------------

void TableBrowser::copyCell() {
    const std::string field = currentField();
    if (field.empty() || !table.hasField(field)) return;
    base::Value value = table.get(field);
    settings().set("CLIPTEX", value);
}

// The clipboard goes into the cell only under the record's lock, which is
// let go at once, so other workstations never see a half-written row.
void TableBrowser::pasteCell() {
    base::NamedValues& s = settings();
    const std::string field = currentField();
    if (!s.has("CLIPTEX") || field.empty() || !table.hasField(field)) return;
    const base::Value value = s.get("CLIPTEX");
    const int index = table.fieldIndex(field);
    if (value.type() != table.structure()[static_cast<size_t>(index)].type) {
        ui::console().beep();
        return;
    }
    storeInCell(value, 0);
}

void TableBrowser::calculator() {
    base::NamedValues& s = settings();
    const std::string field = currentField();
    if (field.empty() || !table.hasField(field)) return;
    double result = 0;
    if (!common::CALCULADORA(result, 9, s.has("LCAL") ? s.integer("LCAL") : 5,
                             s.has("CCAL") ? s.integer("CCAL") : 10))
        return;
    const store::FieldDef& def = table.structure()[static_cast<size_t>(table.fieldIndex(field))];
    base::Value value(result);
    if (def.type == base::Type::Character) {
        const std::string text = base::alltrim(table.get(field).text()) + " " +
                                 ui::transform(base::Value(result), "@Ez 999,999,999.99").text();
        value = base::Value(base::padRight(text, static_cast<size_t>(def.width)));
    } else if (def.type != base::Type::Numeric) {
        return;
    }
    if (storeInCell(value, 5)) recompute();
}

int TableBrowser::breakdownSlot() const {
    return rules.breakdownSlot ? rules.breakdownSlot(view.colPos()) : 0;
}

void TableBrowser::breakdown(int slot) {
    const Hooks& h = hooks();
    const std::string field = currentField();
    if (!h.MUDATEL13 || field.empty()) return;
    const double total = h.MUDATEL13(slot, field);
    select();
    if (total > 0 && storeInCell(base::Value(total), 5)) recompute();
    view.refreshAll();
}

}  // namespace kdx2::editor
