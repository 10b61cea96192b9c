#pragma once

#include <functional>
#include <string>

#include "importing/row_changes.h"
#include "store/table.h"

// The year tables the imports write, by the work area each is opened in
// (its table number), and what they do with one taxpayer's rows.
namespace kdx2::importing {

inline constexpr int kSummary = 1;
inline constexpr int kSources = 2;
inline constexpr int kDependants = 3;
inline constexpr int kPayments = 6;
inline constexpr int kGains = 7;
inline constexpr int kGainsDetail = 8;
inline constexpr int kRegister = 9;
inline constexpr int kRural = 10;
inline constexpr int kProperties = 15;

// Puts the table of `area` on the taxpayer's first row (CPF order); false
// when it has none.
bool seekTaxpayer(int area, const std::string& cpf);

// Deletes, through `changes`, the taxpayer's rows of the table of `area`
// that `wanted` accepts (all of them when it is empty).
void removeTaxpayerRows(RowChanges& changes, int area, const std::string& cpf,
                        const std::function<bool(const store::Table&)>& wanted = {});

}  // namespace kdx2::importing
