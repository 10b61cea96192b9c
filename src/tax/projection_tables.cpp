#include "tax/projection_tables.h"

#include <functional>
#include <optional>

#include "base/error.h"
#include "base/text.h"
#include "store/work_areas.h"
#include "tax/carne_tables.h"

namespace kdx2::tax {

namespace {

std::string twoDigits(int number) {
    return (number < 10 ? "0" : "") + std::to_string(number);
}

void readGroup(const store::Table& entries, const char* group, Accumulator& into) {
    for (int element = 1; element <= Accumulator::kYear; ++element)
        into[element] = entries.get(group + twoDigits(element)).number();
}

std::string kindOf(const store::Table& entries) {
    return base::asciiUpper(base::alltrim(entries.get("I1_1").text()));
}

bool sameDayTrade(const store::Table& gains, const std::string& dayTrade) {
    return base::alltrim(gains.get("DAY_TRADE").text()) == base::alltrim(dayTrade);
}

// The record of a statement line, found by scanning: the workspace copy is
// small and its order may be any.
std::optional<uint32_t> statementRecord(store::Table& gains, int line,
                                        const std::string& dayTrade) {
    std::optional<uint32_t> found;
    gains.forEach([&](store::Table& table) {
        if (table.get("BEM_NRO").number() == 0 && table.get("RVAR_NRO").number() == line &&
            sameDayTrade(table, dayTrade)) {
            found = table.recNo();
            return false;
        }
        return true;
    });
    return found;
}

std::vector<CapitalGainRecord> readCapitalGains(store::Table& gains) {
    std::vector<CapitalGainRecord> records;
    gains.forEach([&](store::Table& table) {
        records.push_back(readCapitalGainRecord(table));
        return true;
    });
    return records;
}

}  // namespace

CompanyItem readCompanyItem(const store::Table& entries) {
    CompanyItem item;
    item.kind = entries.get("I1_1").text();
    item.I1_9 = entries.get("I1_9").number();
    item.I1_10 = entries.get("I1_10").number();
    readGroup(entries, "I1_4", item.income);
    readGroup(entries, "I1_5", item.withheld);
    readGroup(entries, "I1_6", item.socialSecurity);
    readGroup(entries, "I1_7", item.thirteenth);
    readGroup(entries, "I1_11", item.profits);
    return item;
}

CapitalGainRecord readCapitalGainRecord(const store::Table& gains) {
    CapitalGainRecord record;
    record.TIPO_BEM = static_cast<int>(gains.get("TIPO_BEM").number());
    record.BEM_NRO = static_cast<int>(gains.get("BEM_NRO").number());
    record.RVAR_NRO = static_cast<int>(gains.get("RVAR_NRO").number());
    record.DAY_TRADE = gains.get("DAY_TRADE").text();
    for (int month = 1; month <= 12; ++month) {
        const size_t index = static_cast<size_t>(month - 1);
        record.REC_MES[index] = gains.get("REC_MES" + twoDigits(month)).number();
        record.IMP_DEV[index] = gains.get("IMP_DEV" + twoDigits(month)).number();
    }
    return record;
}

DeclarationRecords readDeclarationRecords(store::Table* entries, store::Table* payments,
                                          store::Table* gains) {
    DeclarationRecords records;
    // A damaged table gives what could be read before the damage, and the
    // others are read all the same: the summary shows what is known.
    auto attempt = [&records](const std::function<void()>& read) {
        try {
            read();
        } catch (const base::Error& error) {
            records.problems.push_back(error.what());
        }
    };
    if (entries) {
        attempt([&] {
            entries->forEach([&](store::Table& table) {
                const std::string kind = kindOf(table);
                if (kind == "J" || kind == "D")
                    records.companyItems.push_back(readCompanyItem(table));
                if (kind == "O") records.otherItemsTotal += table.get("I1_413").number();
                return true;
            });
        });
    }
    if (payments) attempt([&] { records.payments = readPayments(*payments); });
    if (gains) attempt([&] { records.capitalGains = readCapitalGains(*gains); });
    return records;
}

DeclarationRecords readDeclarationRecords() {
    store::WorkAreas& areas = store::workAreas();
    return readDeclarationRecords(areas.table(kEntriesArea), areas.table(kPaymentsArea),
                                  areas.table(kCapitalGainsArea));
}

bool GRAVA_RV(store::Table& gains, const VariableIncomeGrid& grid, const std::string& dayTrade,
              const std::string& cpf) {
    bool complete = true;
    for (const StatementLine& line : statementLines(grid)) {
        const std::optional<uint32_t> record = statementRecord(gains, line.line, dayTrade);
        if (!line.store) {
            if (record) {
                gains.goTo(*record);
                gains.deleteRecord();
            }
            continue;
        }
        if (record) {
            gains.goTo(*record);
        } else if (!gains.append()) {
            complete = false;
            continue;
        }
        gains.put("CPF", cpf);
        gains.put("BEM_NRO", 0);
        gains.put("RVAR_NRO", line.line);
        gains.put("DAY_TRADE", dayTrade);
        gains.put("TIPO_BEM", kVariableIncomeKind);
        for (int month = 1; month <= 12; ++month)
            gains.put("REC_MES" + twoDigits(month), line.amounts[static_cast<size_t>(month - 1)]);
        gains.unlock();
    }
    gains.flush();
    return complete;
}

}  // namespace kdx2::tax
