#include "importing/tables.h"

#include "base/text.h"
#include "store/work_areas.h"

namespace kdx2::importing {

bool seekTaxpayer(int area, const std::string& cpf) {
    store::Table& table = store::workAreas().area(area);
    table.setOrder(1);
    return table.seek(base::Value(cpf));
}

void removeTaxpayerRows(RowChanges& changes, int area, const std::string& cpf,
                        const std::function<bool(const store::Table&)>& wanted) {
    store::Table& table = store::workAreas().area(area);
    table.setOrder(1);
    table.forEachKey(base::Value(cpf), [&](store::Table& row) {
        // The key matches CPFs that start with it; only this one counts.
        if (base::rtrim(row.get("CPF").text()) == cpf && (!wanted || wanted(row)))
            changes.remove(area);
        return true;
    });
}

}  // namespace kdx2::importing
