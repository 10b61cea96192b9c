#include "tax/items.h"

#include <cstdint>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "store/access.h"
#include "store/work_areas.h"

namespace kdx2::tax {

using namespace base::literals;

namespace {

bool sameText(std::string_view stored, std::string_view wanted) {
    return base::equalsIgnoreCase(base::alltrim(stored), base::alltrim(wanted));
}

}  // namespace

void forEachItemOf(store::Table& table, const std::string& cpf,
                   const std::function<bool(store::Table&)>& visit) {
    const std::string key = base::alltrim(cpf);
    const bool byCpf =
        table.order() > 0 &&
        base::asciiUpper(base::alltrim(table.indexKeyExpression(table.order()))) == "CPF";
    auto ofTaxpayer = [&](store::Table& row) {
        if (base::alltrim(row.get("CPF").text()) != key) return true;
        return visit(row);
    };
    if (byCpf)
        table.forEachKey(base::Value(key), ofTaxpayer);
    else
        table.forEach(ofTaxpayer);
}

bool ACHA_ITEM(const std::string& cpf, std::string_view field, std::string_view value, bool create,
               std::string_view kindField, std::string_view kind, double lockSeconds) {
    store::Table* table = store::workAreas().currentTable();
    if (table == nullptr) throw base::Error("ACHA_ITEM sem tabela aberta na área atual."_cp);
    const std::string key = base::alltrim(cpf);
    if (key.empty()) return false;

    uint32_t found = 0;
    forEachItemOf(*table, key, [&](store::Table& row) {
        if (!sameText(row.get(field).text(), value) || !sameText(row.get(kindField).text(), kind))
            return true;
        found = row.recNo();
        return false;
    });
    if (found != 0) {
        table->goTo(found);
        if (!store::REC_LOCK(lockSeconds)) return false;
    } else {
        if (!create || !store::ADD_REC(lockSeconds)) return false;
        table->put(field, base::Value(std::string(value)));
        table->put(kindField, base::Value(std::string(kind)));
    }
    table->put("CPF", base::Value(key));
    return true;
}

}  // namespace kdx2::tax
