#include "reports/darf_payments.h"

#include <cstdint>
#include <cstdio>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/messages.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "tax/items.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

constexpr int kSummaryTable = 1;   // IRM1
constexpr int kSourcesTable = 2;   // IRM2
constexpr int kMonthlyTable = 16;  // IRM16
constexpr int kTables[] = {kSummaryTable, kSourcesTable, kMonthlyTable};

std::string monthField(int month) {
    char name[8];
    std::snprintf(name, sizeof name, "I1_4%02d", month);
    return name;
}

void tellNotRecorded(int month, const std::string& why) {
    common::AVISOSN(
        {"O pagamento do mês "_cp + std::to_string(month) + " não foi lançado."_cp, why},
        common::box::kStop);
}

// The carnê-leão payments item of the taxpayer gets the amount in the
// month's field; the item's field 13 keeps the sum of its months.
bool recordIndividually(const std::string& cpf, int month, double amount) {
    store::WorkAreas& areas = store::workAreas();
    areas.select(kSourcesTable);
    store::Table& sources = areas.area(kSourcesTable);
    sources.setOrder(1);
    if (!tax::ACHA_ITEM(cpf, "I1_2", "Receita Federal", true, "I1_1", "I")) {
        tellNotRecorded(month, "O item \"Receita Federal\" não pôde ser gravado."_cp);
        return false;
    }
    sources.put("I1_2", base::Value("Receita Federal"));
    sources.put("I1_1", base::Value("I"));
    sources.put("TIPOCR", base::Value("D"));
    sources.put("CDCONTA", base::Value("4201"));
    const std::string field = monthField(month);
    sources.put(field, base::Value(base::roundDecimal(sources.get(field).number() + amount, 2)));
    double year = 0;
    for (int m = 1; m <= 12; ++m)
        year += sources.get(monthField(m)).number();
    sources.put("I1_413", base::Value(base::roundDecimal(year, 2)));
    sources.unlock();
    return true;
}

bool recordInTotals(const std::string& cpf, int month, double due) {
    store::WorkAreas& areas = store::workAreas();
    areas.select(kMonthlyTable);
    store::Table& monthly = areas.area(kMonthlyTable);
    monthly.setOrder(1);
    uint32_t found = 0;
    bool any = false;
    monthly.forEachKey(base::Value(cpf), [&](store::Table& row) {
        if (base::alltrim(row.get("CPF").text()) != cpf) return true;
        any = true;
        if (static_cast<int>(row.get("MES").number()) != month) return true;
        found = row.recNo();
        return false;
    });
    if (!any) {
        tellNotRecorded(month, "O contribuinte não tem os totais mensais gravados."_cp);
        return false;
    }
    if (found != 0) {
        monthly.goTo(found);
        if (!store::REC_LOCK(5)) return false;
    } else {
        if (!store::ADD_REC(5)) return false;
        monthly.put("CPF", base::Value(cpf));
        monthly.put("MES", base::Value(month));
    }
    monthly.put("I2_5", base::Value(due));
    monthly.unlock();
    return true;
}

}  // namespace

PaymentTables::~PaymentTables() {
    close();
}

bool PaymentTables::open() {
    close();
    store::WorkAreas& areas = store::workAreas();
    const int area = areas.current();
    for (int table : kTables) {
        areas.close(table);
        if (store::ABERTURA(table, true)) continue;
        for (int opened : kTables)
            areas.close(opened);
        areas.select(area);
        common::AVISOSN({"A tabela IRM"_cp + std::to_string(table) +
                             " está em uso em outro terminal e não pôde ser reservada."_cp,
                         "O DARF não foi impresso nem lançado como pago."_cp},
                        common::box::kStop);
        return false;
    }
    areas.select(area);
    open_ = true;
    return true;
}

void PaymentTables::close() {
    if (!open_) return;
    open_ = false;
    store::WorkAreas& areas = store::workAreas();
    for (int table : kTables) {
        try {
            areas.close(table);
        } catch (const base::Error& error) {
            common::AVISOSN(std::string(error.what()), common::box::kStop);
        }
    }
}

bool recordPayment(const std::string& cpf, int month, double amount, double due, bool soTotais) {
    const std::string key = base::alltrim(cpf);
    if (key.empty() || month < 1 || month > 12) return false;
    store::WorkAreas& areas = store::workAreas();
    const int area = areas.current();
    bool recorded = false;
    try {
        recorded =
            soTotais ? recordInTotals(key, month, due) : recordIndividually(key, month, amount);
    } catch (const base::Error& error) {
        tellNotRecorded(month, error.what());
    }
    areas.select(area);
    return recorded;
}

}  // namespace kdx2::reports
