#pragma once

#include <functional>

// The computations the workspace runs on the loaded declaration belong to
// the tax engine; the workspace calls them as one replaceable step, so tests
// and the declaration pages can put their own in its place.
namespace kdx2::shell::workspace {

// Computes the year once the workspace is loaded: payer sums and dependants
// from the entries, asset and debt totals, the monthly figures, the grid,
// deductions, capital gains and the annual summary (SOMA_JUR, NRODP, FI7_T,
// FI8_T, FI10_1, SOMA_FIS, RESOMA, FDE_TUDO, IMPGANCAP, CALC_GRV,
// CALCULA_TUDO, in that order).
void recomputeYear();
// Replaces that step (an empty function restores the default: NRODP,
// SOMA_FIS, RESOMA, then the yearly summary, year_summary.h; asset and debt
// totals are the declaration pages' own).
void setYearComputation(std::function<void()> computation);

}  // namespace kdx2::shell::workspace
