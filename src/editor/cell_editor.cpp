#include <algorithm>
#include <cctype>

#include "base/cp850.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/numbers.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "editor/engine.h"
#include "editor/lookup_lists.h"
#include "platform/console/keys.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::editor {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

constexpr int kMessageWindow = 10;

// Dates are typed as text under the date mask, so that a date typed with its
// day and month only can be read: it reads as 1900, and F_TROCA then moves an
// entry date of 1900 into the base year. A two-digit year is read around the
// tax years (00-49 are 20xx).
constexpr const char* kDateMask = "99/99/9999";

bool blankOrDigits(std::string_view text, size_t& digits) {
    digits = 0;
    bool blanks = false;
    for (char c : text) {
        if (c == ' ') {
            blanks = true;
        } else if (std::isdigit(static_cast<unsigned char>(c)) && !blanks) {
            ++digits;
        } else {
            return false;
        }
    }
    return true;
}

std::optional<base::Date> readDate(const std::string& text) {
    if (base::alltrim(text).find_first_not_of("/ ") == std::string::npos) return base::Date();
    if (text.size() != 10 || text[2] != '/' || text[5] != '/') return std::nullopt;
    const int day = static_cast<int>(base::parseNumber(text.substr(0, 2)));
    const int month = static_cast<int>(base::parseNumber(text.substr(3, 2)));
    const std::string yearText = text.substr(6);
    size_t digits = 0;
    if (!blankOrDigits(yearText, digits) || (digits != 0 && digits != 2 && digits != 4))
        return std::nullopt;
    int year = static_cast<int>(base::parseNumber(yearText));
    if (digits == 0) year = 1900;
    if (digits == 2) year = ui::fullYear(year);
    return base::Date::fromYmd(year, month, day);
}

std::string dateText(const base::Value& value) {
    return value.date().empty() ? "  /  /    " : value.date().dtoc();
}

std::string cellColours() {
    const base::NamedValues& s = settings();
    const std::string normal = s.text("COR_CLI_HE").empty() ? "N/W" : s.text("COR_CLI_HE");
    const std::string selected =
        s.text("COR_ESC_CL") == s.text("COR_CLI_HE") ? s.text("COR_2_CLI") : s.text("COR_ESC_CL");
    return normal + "," + (selected.empty() ? "W/R+" : selected);
}

// The blank value a field holds on the blank row.
base::Value blankOf(const store::FieldDef& field) {
    if (field.type == base::Type::Character)
        return base::Value(std::string(static_cast<size_t>(field.width), ' '));
    return base::Value::emptyOf(field.type);
}

}  // namespace

int EXITKEY(int key, bool append) {
    switch (key) {
        case keys::PgDn:
            return append ? 0 : keys::Down;
        case keys::PgUp:
            return append ? 0 : keys::Up;
        case keys::Up:
        case keys::Down:
            return key;
        case keys::Esc:
            common::FECHAJAN(kMessageWindow);
            return 0;
        default:
            break;
    }
    if (key == keys::Enter || keys::isCharacter(key)) {
        const base::NamedValues& s = settings();
        if (s.integer("PONTEIRO") >= s.integer("ULT_POS") && s.integer("ULT_POS") > 0)
            stuffKeys({keys::CtrlHome, keys::Down});
        else
            stuffKeys({keys::Right});
    }
    return 0;
}

void FRESHORDER(TableBrowser& browser) {
    store::Table& table = browser.table;
    // Off the blank row, the cursor goes back to the last record.
    if (table.eof() && !browser.append)
        table.goBottom();
    else
        table.goTo(table.eof() ? table.recCount() + 1 : table.recNo());
    browser.view.refreshAll();
    browser.view.stabilize();
}

int DOGET(TableBrowser& browser, bool append) {
    base::NamedValues& s = settings();
    store::Table& table = browser.table;
    browser.view.stabilize();
    browser.publishState();
    const int column = browser.view.colPos();
    const BrowseColumn& described = browser.currentColumn();
    const int fieldIndex = described.field.empty() ? -1 : table.fieldIndex(described.field);
    if (fieldIndex < 0) return EXITKEY(keys::Enter, append);
    const store::FieldDef def = table.structure()[static_cast<size_t>(fieldIndex)];
    const bool isDate = def.type == base::Type::Date;

    const bool ordered = table.order() > 0;
    // On the blank row this is the key of a blank record.
    const base::Value keyBefore = ordered ? table.currentKey() : base::Value();
    const base::Value old = table.eof() ? blankOf(def) : table.get(fieldIndex);
    s.set("MGETVAR", old);
    s.set("MGETOLD", old);

    const CellRule rule = cellRuleFor(browser.screen, browser.rules, column);
    if (rule.before && !rule.before()) {
        browser.select();
        return EXITKEY(keys::Enter, append);
    }
    browser.select();

    base::Value edited = isDate ? base::Value(dateText(old)) : old;
    base::Value typed = old;  // the value as the field will hold it
    auto field = ui::Get::of(browser.view.cellRow(), browser.view.cellCol(), edited,
                             isDate ? kDateMask : described.picture, described.field);
    field->colorSpec = cellColours();
    field->valid = [&](ui::Get& get) {
        if (isDate) {
            const std::optional<base::Date> date = readDate(edited.text());
            if (!date) {
                ui::console().beep();
                common::AVISOSN("Data inválida: "_cp + base::rtrim(edited.text()) +
                                    ". Confira o dia, o mês e o ano (dd/mm/aaaa)."_cp,
                                common::box::kStop);
                return false;
            }
            typed = base::Value(*date);
        } else {
            typed = edited;
        }
        if (!rule.check || typed == old) return true;
        base::Value checked = typed;
        const bool ok = rule.check(checked);
        browser.select();
        if (checked != typed) {
            typed = checked;
            get.setValue(isDate ? base::Value(dateText(typed)) : typed);
        }
        return ok;
    };
    const platform::CursorShape shape = ui::setCursorShape(platform::CursorShape::Underline);
    const LookupKey lookup(described.field);
    ui::GetList fields{field};
    ui::ReadOptions options;
    options.exitAtEdges = true;
    options.colorSpec = field->colorSpec;
    const ui::ReadResult result = ui::readFields(fields, options);
    ui::setCursorShape(shape);
    browser.select();
    // Ended from outside (the declaration left with what was typed): the
    // cell's own check still decides whether it is stored.
    if (result.exit == ui::ReadExit::Ended && !field->valid(*field)) typed = old;

    if (result.exit != ui::ReadExit::Escape && typed != old) {
        s.set("MGETVAR", typed);
        s.set("EDI_CAMPO", described.field);
        s.set("LASTECLA", 0);
        if (browser.storeInCell(typed, 5)) {
            if (rule.stored) rule.stored();
            browser.select();
            const bool moved = ordered && !table.eof() && table.currentKey() != keyBefore;
            if (moved) {
                FRESHORDER(browser);
                if (append) return 0;
            }
        }
    }
    browser.view.refreshCurrent();
    if (browser.rules.redrawAfterEdit) browser.view.refreshAll();
    return EXITKEY(result.lastKey, append);
}

// ---- Matrix cells ------------------------------------------------------------------

bool MatrixBrowser::editable(int row, int column) const {
    if (column == 13) return false;
    if (rules.totalsRowLocked && row == 13) return false;
    if (std::ranges::find(rules.lockedColumns, column) != rules.lockedColumns.end()) return false;
    return row >= 1 && row <= matrix.rows() && column <= matrix.columns() &&
           column <= static_cast<int>(description.columns.size());
}

int GETMTX(MatrixBrowser& browser) {
    const int row = browser.source.row();
    const int column = browser.view.colPos();
    browser.publishState();
    if (!browser.editable(row, column)) return EXITKEY(keys::Enter, false);
    const BrowseColumn& described = browser.description.columns[static_cast<size_t>(column - 1)];
    const std::string text = browser.matrix.cell(row, column);
    const ScreenRules& rules = browser.rules;
    const bool raw = rules.rawCells;
    base::Value value = raw ? base::Value(text) : base::Value(common::CAR_TO_VAL(text));
    const base::Value old = value;
    browser.view.stabilize();
    auto field =
        ui::Get::of(browser.view.cellRow(), browser.view.cellCol(), value, described.picture);
    field->colorSpec = settings().text("COR_GET").empty()
                           ? std::string("W/N,N/W")
                           : settings().text("COR_GET") + "," + settings().text("COR_1_CLI");
    ui::GetList fields{field};
    ui::ReadOptions options;
    options.exitAtEdges = true;
    const ui::ReadResult result = ui::readFields(fields, options);
    if (result.exit == ui::ReadExit::Escape || value == old) {
        browser.view.refreshCurrent();
        return EXITKEY(result.lastKey, false);
    }
    if (raw) {
        browser.matrix.setCell(row, column, value.text());
    } else {
        const std::string& picture =
            rules.cellPicture.empty() ? described.picture : rules.cellPicture;
        browser.matrix.setCell(row, column, ui::transform(value, picture).text());
    }
    if (rules.cellStored) rules.cellStored(row, column);
    browser.view.refreshAll();
    return 0;
}

}  // namespace kdx2::editor
