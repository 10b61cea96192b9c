#pragma once

#include <string>
#include <vector>

#include "store/table.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"
#include "tax/projection.h"
#include "tax/variable_income.h"

// What the projection and the variable-income totals read of the open
// declaration's tables, and the storing of the statement. The computations
// themselves (projection.h, variable_income.h) know no tables.
namespace kdx2::tax {

inline constexpr int kCapitalGainsArea = 27;  // workspace copy of IRM7

// One income-source record (IRM2) of kind "J" or "D" as the company sums
// read it.
CompanyItem readCompanyItem(const store::Table& entries);
// One capital-gains record (IRM7).
CapitalGainRecord readCapitalGainRecord(const store::Table& gains);

// The records the year's computation reads, in their tables' order.
struct DeclarationRecords {
    std::vector<CompanyItem> companyItems;        // kinds "J" and "D"
    double otherItemsTotal = 0;                   // I1_413 of the items of kind "O"
    std::vector<PaymentItem> payments;            // IRM6
    std::vector<CapitalGainRecord> capitalGains;  // IRM7
    // What could not be read: one message (CP850) per damaged table.
    std::vector<std::string> problems;
};
// A table that is not there (null) gives no records.
DeclarationRecords readDeclarationRecords(store::Table* entries, store::Table* payments,
                                          store::Table* gains);
// From the workspace copies (areas 22, 26 and 27).
DeclarationRecords readDeclarationRecords();

// GRAVA_RV: stores the statement of one kind of operations (`dayTrade`) in
// the capital-gains table: a line with some amount gets its record (found or
// appended, with CPF, BEM_NRO 0, RVAR_NRO, DAY_TRADE, TIPO_BEM 4 and the
// twelve amounts); a line of zeros loses it. False when a record could not
// be appended (another copy holds the table lock); the other lines are stored.
bool GRAVA_RV(store::Table& gains, const VariableIncomeGrid& grid, const std::string& dayTrade,
              const std::string& cpf);

}  // namespace kdx2::tax
