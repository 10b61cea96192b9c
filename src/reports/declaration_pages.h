#pragma once

#include "store/table.h"

// The list pages of the printed declaration: the income from companies of
// the holder and of the dependents, and the payments made.
namespace kdx2::reports {

// Page 1 (TRIBUPJ twice): the company income of the holder (items "J") and
// of the dependents (items "D", grouped by the dependent's CPF) of the
// loaded taxpayer in `income`, each list with its totals (SOMAREN) or
// "Sem informacoes"; then the carnê-leão's monthly records of `monthly`.
void printIncomePage(store::Table& income, store::Table& monthly);

// Page 2: the rural activity of the loaded taxpayer (its rural record in
// `rural`, its properties, its dependants); false, printing nothing, when
// it has neither a rural record nor a property.
bool printRuralPage(store::Table& rural, store::Table& properties, store::Table& dependants);

// Page 3: the payments made in `payments`, the dependent a payment belongs
// to named from `dependants`; "Sem informacoes" without payments.
void printPaymentsPage(store::Table& payments, store::Table& dependants);

}  // namespace kdx2::reports
