#include <algorithm>
#include <cmath>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "editor/browse.h"
#include "editor/engine.h"
#include "editor/lookup_lists.h"
#include "platform/console/keys.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::editor {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

void putIfPresent(store::Table& table, std::string_view field, const base::Value& value) {
    if (table.hasField(field)) table.put(field, value);
}

// The day and month of a 1900 date in the base year of the settings.
base::Date inBaseYear(const base::Date& date) {
    const int year = static_cast<int>(base::parseNumber(settings().text("ANOBASE")));
    if (year <= 0) return date;
    return base::Date::fromYmd(year, date.month(), date.day()).value_or(date);
}

// The highest account code in use (-1 when there is none): a new account
// takes the next one, so a deleted account's code is never given again to
// a different account while cash-book entries may still name it.
int highestAccountCode(store::Table& table, uint32_t except) {
    int highest = -1;
    table.forEach([&](store::Table& t) {
        if (t.recNo() != except)
            highest = std::max(highest, static_cast<int>(t.get("COD_CONTA").number()));
        return true;
    });
    return highest;
}

void packIfExclusive(store::Table& table) {
    if (!table.exclusive()) return;
    try {
        table.flush();
        table.pack();
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
    }
}

std::string workFolder() {
    const base::NamedValues& s = settings();
    std::string folder = s.text("LOCTRAB");
    if (base::alltrim(folder).empty()) folder = s.text("DIRTRAB");
    return base::alltrim(folder).empty() ? std::string() : common::BAR_DIR(base::alltrim(folder));
}

std::string terminal() {
    return base::alltrim(settings().text("NUSU"));
}

}  // namespace

std::string entryColumnKey(const std::string& field) {
    const std::string name = base::asciiUpper(field);
    if (name == "DT_LC") return "DTOS(DT_LC)";
    if (name == "I1_2") return "upper(I1_2)";
    if (name == "I1_413") return "str(I1_413)";
    if (name == "CDCONTA") return "CDCONTA";
    if (name == "NROIMO") return "str(NROIMO)";
    if (name == "I1_3") return "I1_3";
    if (name == "TIPODOC") return "TIPODOC";
    if (name == "NUM_DOC") return "upper(NUM_DOC)";
    if (name == "COD_CONTA") return "COD_CONTA";
    return {};
}

// The transferred flag is a logical field; an index keeps it as a letter.
std::string cashBookColumnKey(int column) {
    static const char* const keys[] = {"CDCONTA",
                                       "Upper(DESCONTA)",
                                       "VALODESP",
                                       "DTOS(DATALAN)",
                                       "MESLAN",
                                       "NROCGCCPF",
                                       "TIPODOC",
                                       "COD_CONTA",
                                       "NUM_DOC",
                                       "NROIMO",
                                       "IIF(LANCADO,\"T\",\"F\")"};
    return column >= 1 && column <= 11 ? keys[column - 1] : std::string();
}

// ---- New records and stored values ------------------------------------------

void incomeDefaults(store::Table& table, const base::Value& typed, const std::string& editing) {
    const base::NamedValues& s = settings();
    std::string kind = s.text("I1_1");
    std::string credit = s.text("TIPOCR");
    const int account = static_cast<int>(base::parseNumber(base::alltrim(typed.text())));
    if (editing == "CDCONTA" && account >= 4101 && account <= 4199) {
        kind = "O";
        credit = "N";
    }
    putIfPresent(table, "TIPOCR", credit);
    putIfPresent(table, "I1_1", kind);
}

void ruralEntryDefaults(store::Table& table, const base::Value& typed, const std::string&) {
    putIfPresent(table, "I1_1", "R");
    putIfPresent(table, "TIPOCR", settings().text("TIPOCR"));
    if (typed.isDate() && typed.date().year() == 1900)
        putIfPresent(table, "DT_LC", inBaseYear(typed.date()));
}

void bankAccountDefaults(store::Table& table, const base::Value&, const std::string&) {
    const int code = highestAccountCode(table, table.recNo()) + 1;
    putIfPresent(table, "COD_CONTA", code);
}

void ADIC_REG(int mode) {
    store::Table* table = store::workAreas().currentTable();
    if (!table) return;
    base::NamedValues& s = settings();
    const ScreenRules& rules = screenRules(screenCode());
    if (mode != 1) return;  // the blank row has no record to fill yet
    if (rules.compactsBeforeAppend) packIfExclusive(*table);
    if (!store::ADD_REC(5)) return;
    const std::string editing = base::asciiUpper(base::alltrim(s.text("EDI_CAMPO")));
    const base::Value& typed = s.get("MGETVAR");
    if (rules.keepsTaxpayer) putIfPresent(*table, "CPF", s.get("CPF"));
    if (rules.newRecord) rules.newRecord(*table, typed, editing);
}

void F_TROCA(const base::Value& value) {
    store::Table* table = store::workAreas().currentTable();
    const std::string field = base::alltrim(settings().text("EDI_CAMPO"));
    if (!table || field.empty() || !table->hasField(field) || table->eof()) return;
    base::Value stored = value;
    if (base::equalsIgnoreCase(field, "DT_LC") && value.isDate() && value.date().year() == 1900)
        stored = inBaseYear(value.date());
    try {
        table->put(field, stored);
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
    }
}

// ---- Deletion -------------------------------------------------------------------

void TableBrowser::deleteRow() {
    if (onBlankRow()) return;
    if (rules.mayDelete && !rules.mayDelete(table)) return;
    if (common::askBeforeDestroying("Confirma a Exclusão dessa linha?"_cp) != "S") return;
    select();
    if (!store::FIL_LOCK(5)) return;
    table.deleteRecord();
    table.skip(1);
    if (table.eof()) table.skip(-1);
    if (tableIsEmpty(table)) setAppend(true);
    table.unlock();
    if (rules.recomputesAfterDelete) call(rules.recompute);
    select();
    view.refreshAll();
}

void TableBrowser::deleteFollowing() {
    if (onBlankRow()) return;
    const uint32_t here = table.recNo();
    table.skip(1);
    const bool last = table.eof();
    table.goTo(here);
    if (last) return;

    view.stabilize();
    const int row = view.cellRow() + 1;
    const platform::SavedRegion under = ui::saveScreen(row, 0, row, ui::maxCol());
    ui::say(row, 20, "Elimina   linhas após esse Item"_cp);
    base::Value count(0);
    ui::GetList prompt{ui::Get::of(row, 28, count, "@Z 99")};
    const ui::ReadResult result = ui::readFields(prompt);
    ui::restScreen(under);
    const int lines = static_cast<int>(count.number());
    if (result.exit == ui::ReadExit::Escape || lines <= 0) return;

    // Like a single deletion, the rows go under the table lock.
    select();
    if (!store::FIL_LOCK(5)) return;
    for (int i = 0; i < lines; ++i) {
        table.skip(1);
        if (table.eof()) break;
        table.deleteRecord();
    }
    table.unlock();
    table.goTo(here);
    view.refreshAll();
}

// ---- Orders, marks and subtotals ---------------------------------------------------

TemporaryOrders::TemporaryOrders(store::Table& table) : table_(table) {}

TemporaryOrders::~TemporaryOrders() {
    try {
        drop();
    } catch (const base::Error& e) {
        ui::diagnostic(e.what());
    }
}

void TemporaryOrders::build(const std::string& prefix, const std::string& key) {
    if (files_.empty()) {
        ownOrder_ = table_.order();
        for (int i = 1; i <= table_.indexCount(); ++i)
            ownIndexes_.push_back(table_.indexPath(i));
    }
    const uint32_t here = table_.recNo();
    const bool atEnd = table_.eof();
    table_.closeIndexes();
    for (const std::string& path : ownIndexes_)
        table_.openIndex(path);
    const std::string path = workFolder() + prefix + terminal();
    try {
        table_.createIndex(path, key);
        table_.setOrder(table_.indexCount());
        files_.push_back(path);
    } catch (const base::Error& e) {
        table_.setOrder(ownOrder_);
        common::MENS(1, std::string(e.what()));
    }
    atEnd ? table_.goTo(table_.recCount() + 1) : table_.goTo(here);
}

void TemporaryOrders::drop() {
    if (files_.empty()) return;
    const uint32_t here = table_.recNo();
    const bool atEnd = table_.eof();
    table_.closeIndexes();
    for (const std::string& path : ownIndexes_)
        table_.openIndex(path);
    table_.setOrder(ownOrder_);
    for (const std::string& file : files_) {
        const std::string withExtension = platform::hasExtension(file) ? file : file + ".cdx";
        platform::removeFile(withExtension);
    }
    files_.clear();
    ownIndexes_.clear();
    atEnd ? table_.goTo(table_.recCount() + 1) : table_.goTo(here);
}

void TableBrowser::temporaryOrder() {
    const std::string key = rules.orderKey ? rules.orderKey(view.colPos(), currentField()) : "";
    if (key.empty()) return;
    orders.build("PRA_", key);
    view.refreshAll();
}

// Sorts the rows of the current order by the column within equal keys.
void TableBrowser::sortByColumn() {
    const std::string column = entryColumnKey(currentField());
    if (column.empty()) return;
    const std::string current = table.order() > 0 ? table.indexKeyExpression(table.order()) : "";
    if (base::equalsIgnoreCase(base::alltrim(current), column)) return;
    orders.build("TMPX_", current.empty() ? column : current + "+" + column);
    view.refreshAll();
}

void TableBrowser::markAll(bool mark) {
    select();
    if (!store::FIL_LOCK(5)) return;
    table.goTop();
    while (!table.eof()) {
        table.put("IMPRE", mark ? "S" : " ");
        table.skip(1);
    }
    table.unlock();
    view.goTop();
}

void TableBrowser::markSubtotal() {
    if (onBlankRow()) return;
    settings().set("POSCONTA", table.get("I1_2"));
    settings().set("POSREG", static_cast<int>(table.recNo()));
}

void TableBrowser::subtotal() {
    const base::NamedValues& s = settings();
    if (!s.has("POSREG")) return;
    const uint32_t marked = static_cast<uint32_t>(s.integer("POSREG"));
    const std::string description = s.text("POSCONTA");
    const uint32_t here = table.recNo();
    const bool atEnd = table.eof();
    double sum = 0;
    bool inside = false;
    table.goTop();
    while (!table.eof()) {
        if (!inside && table.recNo() == marked && table.get("I1_2").text() == description)
            inside = true;
        if (inside) sum += table.get("I1_413").number();
        if (table.recNo() == here) break;
        table.skip(1);
    }
    atEnd ? table.goTo(table.recCount() + 1) : table.goTo(here);
    const std::string text = ui::transform(base::Value(sum), "@Ez 999,999,999.99").text();
    common::MENS(5, "SUBTOTAL=" + text);
    view.refreshAll();
}

// ---- Banks ------------------------------------------------------------------------

namespace {

store::Table* banksTable() {
    store::WorkAreas& areas = store::workAreas();
    if (!areas.table(store::tables::kBanks)) {
        const int previous = areas.current();
        store::ABERTURA(store::tables::kBanks);
        areas.select(previous);
    }
    return areas.table(store::tables::kBanks);
}

// The shell's lookup when it has one, else the program's lists.
base::Value lookupCode(const std::string& qualhlp, const base::Value& start) {
    if (hooks().lookup) return hooks().lookup(qualhlp, start);
    return GERAL2(qualhlp, start);
}

}  // namespace

void TableBrowser::banks() {
    const int col = view.colPos();
    if (col != 2 && col != 3) return;
    store::Table* banks = banksTable();
    select();
    if (!banks) return;
    const bool byNumber = col == 2;
    const base::Value start =
        onBlankRow() ? base::Value()
                     : base::Value(byNumber ? table.get("NRO_BANCO").text()
                                            : base::asciiUpper(table.get("NOM_BANCO").text()));
    banks->setOrder(byNumber ? 1 : 2);
    if (!start.isEmpty()) banks->seek(start, true);
    const base::Value chosen = lookupCode(byNumber ? "NRO_BANCO" : "NOM_BANCO", start);
    banks->setOrder(1);
    select();
    if (chosen.isEmpty()) {
        view.refreshAll();
        return;
    }
    settings().set("EDI_CAMPO", "NRO_BANCO");
    if (storeInCell(base::Value(base::padRight(base::alltrim(chosen.text()), 3)), 5))
        BUS_BANCO(table.get("NRO_BANCO").text());
    settings().set("EDI_CAMPO", currentField());
    view.refreshAll();
}

std::string BUS_BANCO(const std::string& bankNumber) {
    store::WorkAreas& areas = store::workAreas();
    const int accountsArea = areas.current();
    store::Table* accounts = areas.currentTable();
    store::Table* banks = banksTable();
    std::string number = bankNumber;
    if (!accounts || !banks || accounts->eof()) return number;
    banks->setOrder(1);
    bool found = banks->seek(base::Value(base::padRight(base::alltrim(number), 3)));
    if (!found) {
        const base::Value chosen = lookupCode("NRO_BANCO", base::Value(number));
        if (!chosen.isEmpty()) {
            number = base::padRight(base::alltrim(chosen.text()), 3);
            found = banks->seek(base::Value(number));
        }
    }
    areas.select(accountsArea);
    if (!found || !store::REC_LOCK(5)) return number;
    accounts->put("NRO_BANCO", number);
    accounts->put("NOM_BANCO", banks->get("NOMEBAN"));
    accounts->put("PAIS_CTA", "BR");
    accounts->unlock();
    return number;
}

}  // namespace kdx2::editor
