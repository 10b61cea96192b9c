#include "tax/grid_totals.h"

#include <numeric>

#include "base/text.h"
#include "common/numbers.h"
#include "tax/amount_text.h"

namespace kdx2::tax {

namespace {

constexpr int kTotalRow = 13;

double cents(double value) {
    return base::roundDecimal(value, 2);
}

template <size_t N>
double sumOf(const std::array<double, N>& lines) {
    return cents(std::accumulate(lines.begin(), lines.end(), 0.0));
}

Accumulator* accumulatorOfColumn(CarneLeao& carne, int column) {
    switch (column) {
        case MonthlyGrid::kIndividuals:
            return &carne.TRECFIS;
        case MonthlyGrid::kAbroad:
            return &carne.TRECEXT;
        case MonthlyGrid::kCashBook:
            return &carne.TPAGLCX;
        case MonthlyGrid::kDeductions:
            return &carne.TPAGPRE;
        case MonthlyGrid::kTaxPaid:
            return &carne.TPAGLEO;
        default:
            return nullptr;
    }
}

std::string& cellOf(auto& grid, int row, int column) {
    return grid.at(static_cast<size_t>(row - 1)).at(static_cast<size_t>(column - 1));
}

double amountOf(auto& grid, int row, int column) {
    return common::CAR_TO_VAL(cellOf(grid, row, column));
}

// Sums months 1 ... 12 of a column into the total row.
double totalColumn(auto& grid, int column) {
    double total = 0;
    for (int row = 1; row < kTotalRow; ++row)
        total += amountOf(grid, row, column);
    total = cents(total);
    cellOf(grid, kTotalRow, column) = formatAmount(total, kWideGridPicture);
    return total;
}

}  // namespace

double exemptIncomeTotal(const std::array<double, 13>& lines) {
    return sumOf(lines);
}

double exclusiveIncomeTotal(const std::array<double, 6>& lines) {
    return sumOf(lines);
}

void totalMonthlyGridColumn(CarneLeao& carne, int column) {
    MonthlyGrid& grid = carne.REC_MENSAL;
    Accumulator* accumulator = accumulatorOfColumn(carne, column);
    if (accumulator == nullptr) return;
    double total = 0;
    for (int month = 1; month <= 12; ++month) {
        (*accumulator)[month] = grid.amount(month, column);
        total += (*accumulator)[month];
    }
    total = cents(total);
    (*accumulator)[Accumulator::kYear] = total;
    if (column == MonthlyGrid::kDeductions) {
        carne.DESPPEN.zero();
        grid.setAmount(MonthlyGrid::kTotalRow, column, 0);  // shown blank
    } else {
        grid.setAmount(MonthlyGrid::kTotalRow, column, total);
    }
}

void totalRuralColumn(RuralGrid& grid, int column) {
    if (column < 1 || column > 2) return;
    totalColumn(grid, column);
}

ConversionTotals convertUfirCell(ConversionGrid& grid, int row, int column,
                                 const std::array<double, 12>& factors) {
    constexpr int kReais = 2;
    constexpr int kUfir = 3;
    if (row >= 1 && row <= kTotalRow && (column == kReais || column == kUfir)) {
        const double factor = row < kTotalRow ? factors[static_cast<size_t>(row - 1)] : 1.0;
        const double amount = amountOf(grid, row, column);
        if (column == kReais)
            cellOf(grid, row, kUfir) = formatAmount(common::DIV(amount, factor), kWideGridPicture);
        else
            cellOf(grid, row, kReais) = formatAmount(amount * factor, kWideGridPicture);
    }
    ConversionTotals totals;
    totals.QCR1 = totalColumn(grid, kReais);
    totals.QUF = totalColumn(grid, kUfir);
    return totals;
}

}  // namespace kdx2::tax
