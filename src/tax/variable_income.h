#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "tax/carne.h"

// The monthly variable-income statement (stock-exchange operations) and the
// capital-gains totals the summary and the exclusive-taxation form take. Both
// kinds of records live in the capital-gains table (IRM7): one per asset
// sold, and one per statement line and kind of operations (TIPO_BEM 4).
namespace kdx2::tax {

// What these sums read of one capital-gains record.
struct CapitalGainRecord {
    int TIPO_BEM = 0;                  // 4 on statement lines, other values on asset sales
    int BEM_NRO = 0;                   // asset number (0 on statement lines)
    int RVAR_NRO = 0;                  // statement line 1 ... 25
    std::string DAY_TRADE;             // kind of operations of the line ("X" day trade)
    std::array<double, 12> REC_MES{};  // REC_MES01 ... the line's amount per month
    std::array<double, 12> IMP_DEV{};  // IMP_DEV01 ... tax due per month (asset sales)
};

inline constexpr int kVariableIncomeKind = 4;

inline bool isVariableIncome(const CapitalGainRecord& record) {
    return record.TIPO_BEM == kVariableIncomeKind;
}

// The statement grid MRENVAR: 25 lines, column 1 the label, 2 ... 13 the
// months as "@Ez 999,999,999.99" (14 blanks when empty). CP850.
using VariableIncomeGrid = std::array<std::array<std::string, 13>, 25>;

inline constexpr std::string_view kVariableIncomePicture = "@Ez 999,999,999.99";

// Statement lines the totals read.
enum VariableIncomeLine {
    kNetResultLine = 14,
    kBaseLine = 16,
    kDayTradeWithheldLine = 21,
    kTaxToPayLine = 24,
    kTaxPaidLine = 25,
};

// ZER_RENVAR: the empty statement with its labels; line 18 names the rate of
// common operations of the year (15 % after 2004, 20 % before).
VariableIncomeGrid ZER_RENVAR(int year);

// The statement of one kind of operations from its stored lines.
VariableIncomeGrid loadVariableIncome(int year, const std::vector<CapitalGainRecord>& records,
                                      const std::string& dayTrade);

// What GRAVA_RV does with one line of the statement: the twelve amounts read
// back, and whether the line is stored (some month not 0) or its record
// removed.
struct StatementLine {
    int line = 0;
    std::array<double, 12> amounts{};
    bool store = false;
};
std::vector<StatementLine> statementLines(const VariableIncomeGrid& grid);

// The variable-income totals (CALC_GRV).
struct VariableIncomeTotals {
    Accumulator IMPDEVRV;            // tax to pay per month
    Accumulator IMPORVAR;            // tax paid per month
    double IMPOFONRV = 0;            // day-trade tax withheld in the year
    std::array<double, 12> I4_03{};  // the base of each month (I4_0301 ...)
    double I4_03T = 0;               // the year's base less the tax paid and withheld
    double PREJRVA = 0;              // the year's net loss, as a positive amount
    double LUCRRVA = 0;              // the year's net gains
};

// CALC_GRV: the totals of the statement lines; asset sales are skipped.
VariableIncomeTotals CALC_GRV(const std::vector<CapitalGainRecord>& records);

// IMPGANCAP: the capital-gains tax due of the asset sales, by month.
Accumulator IMPGANCAP(const std::vector<CapitalGainRecord>& records);

}  // namespace kdx2::tax
