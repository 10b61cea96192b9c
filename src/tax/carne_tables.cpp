#include "tax/carne_tables.h"

#include <map>
#include <optional>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/messages.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "tax/amount_text.h"

namespace kdx2::tax {

using namespace base::literals;

namespace {

std::string twoDigits(int number) {
    return (number < 10 ? "0" : "") + std::to_string(number);
}

// The fields of the five monthly amounts of a summary record, in the order
// of the accumulators that fill them.
struct SummaryField {
    const char* name;
    const Accumulator CarneLeao::*accumulator;
};
constexpr SummaryField kSummaryFields[] = {
    {"I2_1", &CarneLeao::TRECFIS}, {"I2_2", &CarneLeao::TRECEXT}, {"I2_3", &CarneLeao::TPAGLCX},
    {"I2_4", &CarneLeao::TPAGPRE}, {"I2_5", &CarneLeao::TPAGLEO},
};

// Opens a table of the data store in its own area when it is not open yet.
store::Table* openArea(int number) {
    store::WorkAreas& areas = store::workAreas();
    if (!areas.table(number) && !store::ABERTURA(number)) return nullptr;
    return areas.table(number);
}

// Puts the table's first index in control when it is in record order, so a
// taxpayer's records can be reached by CPF.
void orderByFirstIndex(store::Table& table) {
    if (table.order() == 0) {
        if (table.indexCount() == 0)
            throw base::Error("Arquivo sem índice por CPF: "_cp + table.alias());
        table.setOrder(1);
    }
}

bool isTaxpayerRecord(const store::Table& table, const std::string& cpf) {
    return base::alltrim(table.get("CPF").text()) == cpf;
}

// Makes a work area current for the procedures of the data store that act on
// the current area, and gives the selection back afterwards.
class AreaSelection {
  public:
    explicit AreaSelection(int area) : previous_(store::workAreas().current()) {
        store::workAreas().select(area);
    }
    ~AreaSelection() { store::workAreas().select(previous_); }
    AreaSelection(const AreaSelection&) = delete;
    AreaSelection& operator=(const AreaSelection&) = delete;

  private:
    int previous_;
};

// The taxpayer's summary records in index order, and the plan of which record
// holds which month.
struct SummaryPlan {
    std::map<int, uint32_t> recordOfMonth;  // months 1 ... 12 that have a record
    std::vector<uint32_t> spare;            // other records, index order
};

SummaryPlan planSummary(store::Table& summary, const std::string& cpf) {
    SummaryPlan plan;
    summary.forEachKey(base::Value(cpf), [&](store::Table& table) {
        if (!isTaxpayerRecord(table, cpf)) return true;
        const double stored = table.get("MES").number();
        const int month = static_cast<int>(stored);
        if (month >= 1 && month <= 12 && month == stored && !plan.recordOfMonth.count(month))
            plan.recordOfMonth[month] = table.recNo();
        else
            plan.spare.push_back(table.recNo());
        return true;
    });
    return plan;
}

void writeMonth(store::Table& summary, const CarneLeao& carne, int month) {
    summary.put("MES", base::Value(month));
    for (const SummaryField& field : kSummaryFields)
        summary.put(field.name, base::Value((carne.*field.accumulator)[month]));
}

}  // namespace

IncomeItem readIncomeItem(const store::Table& entries) {
    IncomeItem item;
    item.kind = entries.get("I1_1").text();
    item.date = entries.get("DT_LC").date();
    item.amount = entries.get("I1_413").number();
    for (int month = 1; month <= 12; ++month)
        item.monthly[month - 1] = entries.get("I1_4" + twoDigits(month)).number();
    return item;
}

PaymentItem readPaymentItem(const store::Table& payments) {
    PaymentItem item;
    item.code = static_cast<int>(payments.get("I6_3").number());
    for (int month = 1; month <= 12; ++month)
        item.monthly[month - 1] = payments.get("I6_4" + twoDigits(month)).number();
    item.annual = payments.get("I6_4").number();
    item.dependant = static_cast<int>(payments.get("I6_6").number());
    return item;
}

Accumulator* accumulateEntries(CarneLeao& carne, store::Table& entries) {
    zeroEntryAccumulators(carne);
    Accumulator* last = nullptr;
    entries.forEach([&](store::Table& table) {
        if (Accumulator* touched = addIncomeItem(carne, readIncomeItem(table))) last = touched;
        return true;
    });
    return last;
}

Accumulator* accumulateTaxpayerEntries(CarneLeao& carne, store::Table& entries,
                                       const std::string& cpf) {
    zeroEntryAccumulators(carne);
    const std::string key = base::alltrim(cpf);
    if (key.empty()) return nullptr;
    orderByFirstIndex(entries);
    Accumulator* last = nullptr;
    entries.forEachKey(base::Value(key), [&](store::Table& table) {
        if (!isTaxpayerRecord(table, key)) return true;
        if (Accumulator* touched = addIncomeItem(carne, readIncomeItem(table))) last = touched;
        return true;
    });
    return last;
}

MonthlySummaryWrite rewriteMonthlySummary(const CarneLeao& carne, const std::string& cpf,
                                          double lockSeconds) {
    MonthlySummaryWrite result;
    const std::string key = base::alltrim(cpf);
    if (key.empty()) return result;
    store::Table& summary = store::workAreas().area(kMonthlySummaryArea);
    AreaSelection selection(kMonthlySummaryArea);
    orderByFirstIndex(summary);
    SummaryPlan plan = planSummary(summary, key);

    size_t nextSpare = 0;
    for (int month = 1; month <= 12; ++month) {
        std::optional<uint32_t> record;
        if (auto found = plan.recordOfMonth.find(month); found != plan.recordOfMonth.end())
            record = found->second;
        else if (nextSpare < plan.spare.size())
            record = plan.spare[nextSpare++];

        if (record) {
            summary.goTo(*record);
            if (!store::REC_LOCK(lockSeconds)) {
                ++result.failed;
                continue;
            }
            writeMonth(summary, carne, month);
            summary.unlock();
            ++result.rewritten;
        } else {
            if (!store::ADD_REC(lockSeconds)) {
                ++result.failed;
                continue;
            }
            summary.put("CPF", base::Value(key));
            writeMonth(summary, carne, month);
            summary.unlock();
            ++result.appended;
        }
    }
    // Records beyond one per month would double a month when the summaries
    // are read back.
    for (; nextSpare < plan.spare.size(); ++nextSpare) {
        summary.goTo(plan.spare[nextSpare]);
        if (!store::REC_LOCK(lockSeconds)) {
            ++result.failed;
            continue;
        }
        summary.deleteRecord();
        summary.unlock();
        ++result.removed;
    }
    return result;
}

std::string SOMA_FIS(CarneLeao& carne, EntrySource source, int column, const std::string& cpf) {
    Accumulator* last = nullptr;
    if (source == EntrySource::SharedTable) {
        const std::string taxpayer = base::alltrim(cpf).empty() ? base::session().text("CPF") : cpf;
        store::Table* entries = openArea(kSharedEntriesArea);
        if (!entries || !openArea(kMonthlySummaryArea)) return {};
        last = accumulateTaxpayerEntries(carne, *entries, taxpayer);
        try {
            if (!rewriteMonthlySummary(carne, taxpayer).complete())
                common::MENS(1, "Totais mensais do carnê-leão não gravados: registro em uso."_cp);
        } catch (const base::Error& error) {
            common::MENS(1, std::string(error.what()));
        }
    } else {
        last = accumulateEntries(carne, store::workAreas().area(kEntriesArea));
    }
    if (!last || column < 1 || column > Accumulator::kYear) return {};
    return gridAmount((*last)[column]);
}

int NRODP(CarneLeao& carne, store::Table& dependants) {
    carne.N_DEPEN = 0;
    carne.DESPALIM = 0;
    int position = 0;
    dependants.forEach([&](store::Table& table) {
        ++position;
        if (isDependantCode(static_cast<int>(table.get("CODIDEPEN").number())))
            ++carne.N_DEPEN;
        else
            ++carne.DESPALIM;
        if (table.get("NRODEPEN").number() == 0 && table.lockRecord()) {
            table.put("NRODEPEN", base::Value(position));
            table.unlock();
        }
        return true;
    });
    return carne.N_DEPEN;
}

int NRODP(CarneLeao& carne) {
    return NRODP(carne, store::workAreas().area(kDependantsArea));
}

void CARGA_UFIR(CarneLeao& carne, store::Table& ufirm, int year, base::NamedValues& settings) {
    std::optional<UfirRecord> january;
    if (year > 0 && year <= 9999) {
        orderByFirstIndex(ufirm);
        if (ufirm.seek(base::Value(std::to_string(year) + "01")))
            january = UfirRecord{ufirm.get("MULTIPL").number(), ufirm.get("SIMB_MOED").text()};
    }
    loadUfirFactors(carne, settings, january);
}

void CARGA_UFIR(CarneLeao& carne) {
    base::NamedValues& settings = base::session();
    store::Table* ufirm = openArea(kUfirArea);
    if (!ufirm) {
        loadUfirFactors(carne, settings, std::nullopt);
        return;
    }
    CARGA_UFIR(carne, *ufirm, settings.integer("QUEANO"), settings);
}

std::vector<PaymentItem> readPayments(store::Table& payments) {
    std::vector<PaymentItem> items;
    payments.forEach([&](store::Table& table) {
        items.push_back(readPaymentItem(table));
        return true;
    });
    return items;
}

void RESOMA(CarneLeao& carne, bool calAuto) {
    if (calAuto) {
        readGridIntoAccumulators(carne);
        return;
    }
    rebuildGridFromEntries(carne, readPayments(store::workAreas().area(kPaymentsArea)));
}

void RESOMA(CarneLeao& carne) {
    RESOMA(carne, base::session().flag("CAL_AUTO"));
}

}  // namespace kdx2::tax
