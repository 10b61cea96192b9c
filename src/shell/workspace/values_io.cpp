#include "shell/workspace/values_io.h"

#include "base/named_values.h"
#include "base/text.h"
#include "common/numbers.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/working_values.h"
#include "tax/carne.h"
#include "ui/picture.h"

namespace kdx2::shell::workspace {

namespace {

bool isMonthlyFigure(const std::string& field) {
    return field.size() == 5 && (field.starts_with("I3_") || field.starts_with("I4_"));
}

std::string ruralField(int month, const char* kind) {
    return "I3_" + monthSuffix(month) + kind;
}

// Goes to the first row, appending one with the CPF when there is none.
void firstRowOrNew(store::Table& table, const std::string& cpf) {
    table.goTop();
    if (!table.eof()) return;
    appendRow(table);
    table.put("CPF", base::Value(cpf));
}

}  // namespace

std::string currentCpf() {
    return base::padRight(base::alltrim(base::session().text("CPF")), 11);
}

void valuesFromRecord(const store::Table& table) {
    base::NamedValues& s = base::session();
    const store::Structure& fields = table.structure();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name != "CPF") s.set(fields[i].name, table.get(static_cast<int>(i)));
}

void valuesToRecord(store::Table& table) {
    table.fromValues(base::session());
}

void loadMonthlyValues(store::Table& monthly) {
    base::NamedValues& s = base::session();
    tax::MonthlyGrid& grid = tax::carneLeao().REC_MENSAL;
    const store::Structure& fields = monthly.structure();
    monthly.forEach([&](store::Table& row) {
        const int month = static_cast<int>(row.get("MES").number());
        if (month < 1 || month > 12) return true;
        for (int x = 1; x <= 6; ++x)
            grid.setAmount(month, x + 1, row.get("I2_" + std::to_string(x)).number());
        for (const store::FieldDef& field : fields)
            if (isMonthlyFigure(field.name))
                s.set(field.name + monthSuffix(month), row.get(field.name));
        return true;
    });
}

void storeMonthlyValues(store::Table& monthly, const std::string& cpf) {
    const base::NamedValues& s = base::session();
    const tax::MonthlyGrid& grid = tax::carneLeao().REC_MENSAL;
    const store::Structure& fields = monthly.structure();
    for (int month = 1; month <= 12; ++month) {
        bool found = false;
        monthly.forEach([&](store::Table& row) {
            found = static_cast<int>(row.get("MES").number()) == month;
            return !found;
        });
        if (!found) {
            appendRow(monthly);
            monthly.put("CPF", base::Value(cpf));
            monthly.put("MES", base::Value(month));
        }
        for (int x = 1; x <= 6; ++x)
            monthly.put("I2_" + std::to_string(x), base::Value(grid.amount(month, x + 1)));
        for (const store::FieldDef& field : fields) {
            const std::string name = field.name + monthSuffix(month);
            if (isMonthlyFigure(field.name) && s.has(name)) monthly.put(field.name, s.get(name));
        }
    }
    monthly.flush();
}

void loadRuralValues(store::Table& rural) {
    rural.goTop();
    if (rural.eof()) return;
    base::NamedValues& s = base::session();
    WorkspaceGrids& g = workspaceGrids();
    double receipts = 0, expenses = 0;
    for (int month = 1; month <= 12; ++month) {
        const double r = rural.get(ruralField(month, "OR")).number();
        const double d = rural.get(ruralField(month, "OD")).number();
        g.REND_RURAL[month - 1] = {ui::transform(base::Value(r), kRuralPicture).text(),
                                   ui::transform(base::Value(d), kRuralPicture).text()};
        receipts += r;
        expenses += d;
    }
    g.REND_RURAL[12] = {ui::transform(base::Value(receipts), kRuralPicture).text(),
                        ui::transform(base::Value(expenses), kRuralPicture).text()};
    for (const store::FieldDef& field : rural.structure())
        if (field.name != "CPF" && !field.name.starts_with("I3_"))
            s.set(field.name, rural.get(field.name));
}

void storeRuralValues(store::Table& rural, const std::string& cpf) {
    const base::NamedValues& s = base::session();
    const WorkspaceGrids& g = workspaceGrids();
    firstRowOrNew(rural, cpf);
    for (int month = 1; month <= 12; ++month) {
        rural.put(ruralField(month, "OR"),
                  base::Value(common::CAR_TO_VAL(g.REND_RURAL[month - 1][0])));
        rural.put(ruralField(month, "OD"),
                  base::Value(common::CAR_TO_VAL(g.REND_RURAL[month - 1][1])));
    }
    for (const char* name : {"I4_01", "I4_02", "I4_03", "I4_04", "I4_05", "I4_06", "I4_07", "I5_08",
                             "I5_09", "I5_10", "I6_10", "OPTA"})
        if (s.has(name)) rural.put(name, s.get(name));
    rural.flush();
}

void storeSingleRow(store::Table& table, const std::string& cpf) {
    firstRowOrNew(table, cpf);
    valuesToRecord(table);
    table.flush();
}

void storeWorkingValues(const std::string& cpf) {
    storeSingleRow(scratch(kRegister), cpf);
    storeSingleRow(scratch(kSummary), cpf);
    storeRuralValues(scratch(kRural), cpf);
    storeMonthlyValues(scratch(kMonthly), cpf);
}

}  // namespace kdx2::shell::workspace
