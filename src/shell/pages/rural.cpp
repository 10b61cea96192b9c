// The rural pages' computations over the open declaration (the monthly
// totals from the rural entries, the result form of page 12) and the
// patrimony totals from the goods and debts.

#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/numbers.h"
#include "platform/console/keys.h"
#include "shell/pages/pages.h"
#include "shell/workspace/working_values.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "tax/rural_patrimony.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::shell::pages {

using namespace base::literals;
namespace keys = platform::keys;
namespace tables = store::tables;

namespace {

constexpr int kTop = 3;  // the page's corner (MTELA 12)
constexpr int kLeft = 1;
constexpr int kValueColumn = 60;
const char* const kAmountPicture = "@E 999,999,999.99";

// Visits the rows of a scratch copy (none when it is not open).
void eachRow(int table, const std::function<void(store::Table&)>& visit) {
    store::Table* copy = store::workAreas().table(tables::scratch(table));
    if (!copy) return;
    const uint32_t here = copy->recNo();
    copy->forEach([&visit](store::Table& row) {
        visit(row);
        return true;
    });
    copy->goTo(here);
}

std::vector<double> propertyShares() {
    std::vector<double> shares;
    eachRow(tables::kRuralProperties,
            [&shares](store::Table& row) { shares.push_back(row.get("I2_04").number()); });
    return shares;
}

std::vector<tax::RuralEntry> ruralEntries() {
    std::vector<tax::RuralEntry> entries;
    eachRow(tables::kIncome, [&entries](store::Table& row) {
        if (base::alltrim(row.get("I1_1").text()) != "R") return;
        tax::RuralEntry e;
        e.amount = row.get("I1_413").number();
        e.revenue = base::alltrim(row.get("TIPOCR").text()) == "C";
        const base::Date date = row.get("DT_LC").date();
        e.month = date.empty() ? 1 : date.month();
        e.property = static_cast<int>(row.get("NROIMO").number());
        entries.push_back(e);
    });
    return entries;
}

std::string ruralCell(double amount) {
    return ui::transform(base::Value(amount), workspace::kRuralPicture).text();
}

// ---- Page 12 ----

struct ResultLine {
    const char* name;
    int row;
};
constexpr ResultLine kShown[] = {{"I4_01", 4}, {"I4_02", 5},  {"I4_03", 6}, {"I4_05", 8},
                                 {"I4_06", 9}, {"I5_08", 12}, {"I6_10", 17}};

tax::RuralResult resultFromSession() {
    const base::NamedValues& s = base::session();
    tax::RuralResult r;
    r.I4_04 = s.number("I4_04");
    r.OPTA = base::alltrim(s.text("OPTA")) == "S";
    r.I5_09 = s.number("I5_09");
    r.I5_10 = s.number("I5_10");
    return r;
}

// Works the result out from the rural grid's totals and shows it.
void recomputeResult() {
    base::NamedValues& s = base::session();
    const auto& totals = workspace::workspaceGrids().REND_RURAL[12];
    tax::RuralResult r = resultFromSession();
    tax::computeRuralResult(r, common::CAR_TO_VAL(totals[0]), common::CAR_TO_VAL(totals[1]));
    const std::pair<const char*, double> values[] = {
        {"I4_01", r.I4_01}, {"I4_02", r.I4_02}, {"I4_03", r.I4_03},
        {"I4_05", r.I4_05}, {"I4_06", r.I4_06}, {"I4_07", r.I4_07},
        {"I5_08", r.I5_08}, {"I6_10", r.I6_10}, {"PREJRUR", r.PREJRUR}};
    for (const auto& [name, value] : values)
        s.set(name, base::Value(value));
    for (const ResultLine& line : kShown)
        ui::say(kTop + line.row, kLeft + kValueColumn,
                ui::transform(s.get(line.name), kAmountPicture).text());
}

// OPTOU20: the 20 % option is S or N; choosing it is warned about.
bool OPTOU20(const std::string& answer, const std::string& before) {
    if (answer != "S" && answer != "N") {
        common::AVISOSN({"Informe com S ou N se optará pelos 20% da receita bruta."_cp},
                        common::box::kStop);
        return false;
    }
    if (answer == "S" && before != "S")
        common::AVISOSN({"A opção pelo limite dos 20% da receita bruta implica"_cp,
                         "a perda do direito a compensação total do prejuízo!"_cp},
                        common::box::kInformation);
    return true;
}

std::shared_ptr<ui::Get> amountField(const char* name, int row) {
    const std::string field = name;
    auto get = std::make_shared<ui::Get>(
        kTop + row, kLeft + kValueColumn, [field] { return base::session().get(field); },
        [field](const base::Value& v) { base::session().set(field, v); }, kAmountPicture, field);
    get->valid = [field](ui::Get& g) {
        if (g.value().number() < 0) {
            common::AVISOSN({"O valor não pode ser negativo."_cp}, common::box::kStop);
            base::session().set(field, base::Value(0));
            return false;
        }
        recomputeResult();
        return true;
    };
    return get;
}

}  // namespace

void SOMA_RUR(int mode) {
    base::NamedValues& s = base::session();
    // Totals only: the grid holds what was typed, there are no entries.
    if (s.integer("TIPO_LANCA") == 1) return;
    try {
        const tax::RuralMonths months =
            tax::SOMA_RUR(ruralEntries(), propertyShares(), s.integer("TIPO_LANCA") == 2);
        auto& grid = workspace::workspaceGrids().REND_RURAL;
        for (size_t m = 0; m < 12; ++m)
            grid[m] = {ruralCell(months.revenue[m]), ruralCell(months.expenses[m])};
        grid[12] = {ruralCell(months.totalRevenue()), ruralCell(months.totalExpenses())};
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
    }
    // Mode 3 (the taxpayer's IRM10 record) goes through the grid: saving
    // the declaration writes it there.
    (void)mode;
}

void startRuralValues() {
    // The session starts with the option on, and a taxpayer without rural
    // figures would inherit it (or the last taxpayer's): it opens off, so no
    // loss compensation is given up without being chosen.
    store::Table* rural = store::workAreas().table(tables::scratch(tables::kRural));
    if (!rural) return;
    rural->goTop();
    if (rural->eof()) base::session().set("OPTA", "N");
}

void ruralResultForm() {
    base::NamedValues& s = base::session();
    for (const char* name : {"I4_04", "I5_09", "I5_10"})
        if (!s.has(name)) s.set(name, base::Value(0));
    if (base::alltrim(s.text("OPTA")).empty()) s.set("OPTA", "N");
    SOMA_RUR(2);
    recomputeResult();

    auto option = std::make_shared<ui::Get>(
        kTop + 7, kLeft + 72, [] { return base::session().get("OPTA"); },
        [](const base::Value& v) { base::session().set("OPTA", v); }, "!", "OPTA");
    std::string optionBefore = base::alltrim(s.text("OPTA"));
    option->valid = [&optionBefore](ui::Get& g) {
        const std::string answer = base::alltrim(g.value().text());
        if (!OPTOU20(answer, optionBefore)) {
            base::session().set("OPTA", optionBefore);
            return false;
        }
        optionBefore = answer;
        recomputeResult();
        return true;
    };
    ui::GetList fields = {amountField("I4_04", 1), option, amountField("I5_09", 15),
                          amountField("I5_10", 16)};
    const PageKeys pageKeys;
    // The page stays until Esc, Tab or a page key.
    for (;;) {
        const ui::ReadResult result = readPageForm(fields);
        recomputeResult();
        if (s.flag("TECLAMUDA")) return;
        if (result.exit == ui::ReadExit::Escape) {
            s.set("ULTTECLA", keys::Esc);
            return;
        }
        if (result.exit != ui::ReadExit::Finished) return;
    }
}

void patrimonyTotals() {
    base::NamedValues& s = base::session();
    std::vector<tax::YearEndValues> goods;
    std::vector<tax::YearEndValues> debts;
    try {
        eachRow(tables::kAssets, [&goods](store::Table& row) {
            goods.push_back({row.get("I7_3").number(), row.get("I7_4").number()});
        });
        eachRow(tables::kDebts, [&debts](store::Table& row) {
            debts.push_back({row.get("I8_3").number(), row.get("I8_4").number()});
        });
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
        return;
    }
    const tax::YearEndValues g = tax::FI7_T(goods);
    const tax::YearEndValues d = tax::FI8_T(debts);
    const tax::PatrimonyChange c = tax::FI10_1(g, d);
    const std::pair<const char*, double> values[] = {
        {"I7_3T", g.before},    {"I7_4T", g.now},         {"I13_27", g.before}, {"I13_28", g.now},
        {"I8_3T", d.before},    {"I8_4T", d.now},         {"I13_29", d.before}, {"I13_30", d.now},
        {"VARPATR", c.VARPATR}, {"EMPRESTI", c.EMPRESTI}, {"I10_1", c.I10_1},   {"I10_2", c.I10_2}};
    for (const auto& [name, value] : values)
        s.set(name, base::Value(value));
}

}  // namespace kdx2::shell::pages
