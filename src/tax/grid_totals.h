#pragma once

#include <array>
#include <string>

#include "tax/carne.h"

// The totals of the editable grids, kept up to date when a cell changes
// (FX_RT). The grids hold their amounts as text, as the user edits them.
namespace kdx2::tax {

// Exempt-income form (grid 11): the total of lines 1 ... 13 (I3_01T ...
// I3_13T), which is I3_14T.
double exemptIncomeTotal(const std::array<double, 13>& lines);
// Exclusive-taxation form (grid 12): the total of lines 1 ... 6 (I4_01T ...
// I4_06T), which is I4_07T.
double exclusiveIncomeTotal(const std::array<double, 6>& lines);

// Monthly carnê-leão grid (grid 16): a changed column (2 ... 6) is summed
// into the total row and copied into its accumulator, months and year
// (2 TRECFIS, 3 TRECEXT, 4 TPAGLCX, 5 TPAGPRE, 6 TPAGLEO). The deductions
// column typed holds the alimony too, so DESPPEN is cleared, and its total
// cell stays blank, as the dependants it holds are counted apart.
void totalMonthlyGridColumn(CarneLeao& carne, int column);

// Rural receipts (column 1) and expenses (column 2) by month, row 13 the
// totals (grid 19, REND_RURAL).
using RuralGrid = std::array<std::array<std::string, 2>, 13>;
void totalRuralColumn(RuralGrid& grid, int column);

// The 1995 conversion grid (grid 20, CALC_MENS): column 1 the month, 2 the
// amount in reais, 3 in UFIR; row 13 the totals.
using ConversionGrid = std::array<std::array<std::string, 3>, 13>;
struct ConversionTotals {
    double QCR1 = 0;  // reais
    double QUF = 0;   // UFIR
};
// A changed amount in reais (column 2) gives its UFIR at the month's factor,
// one in UFIR (column 3) its reais; then both totals. A missing (zero) factor
// gives 0, and the total row converts at 1.
ConversionTotals convertUfirCell(ConversionGrid& grid, int row, int column,
                                 const std::array<double, 12>& factors);

// The picture of the rural and conversion grids.
inline constexpr std::string_view kWideGridPicture = "@Ez 999,999,999.99";

}  // namespace kdx2::tax
