#include "tax/carne.h"

#include "base/process_state.h"
#include "base/text.h"
#include "common/numbers.h"
#include "tax/amount_text.h"
#include "tax/engine.h"
#include "tax/rates.h"

namespace kdx2::tax {

void Accumulator::add(int month, double amount) {
    (*this)[month] += amount;
    (*this)[kYear] += amount;
}

namespace {

constexpr std::array<const char*, 12> kMonthAbbreviations = {
    "Jan", "Fev", "Mar", "Abr", "Mai", "Jun", "Jul", "Ago", "Set", "Out", "Nov", "Dez"};

size_t rowIndex(int row) {
    return static_cast<size_t>(row - 1);
}

}  // namespace

MonthlyGrid::MonthlyGrid() {
    for (int row = 1; row <= kRows; ++row) {
        auto& cells = cells_.at(rowIndex(row));
        if (row == kTotalRow) {
            cells[0] = "TOTAIS";
        } else {
            cells[0] = (row < 10 ? "0" : "") + std::to_string(row) + "-" +
                       kMonthAbbreviations[rowIndex(row)];
        }
        for (int column = 2; column <= kColumns; ++column)
            cells[column - 1] = gridAmount(0);
    }
}

std::string& MonthlyGrid::cell(int row, int column) {
    return cells_.at(rowIndex(row)).at(static_cast<size_t>(column - 1));
}

const std::string& MonthlyGrid::cell(int row, int column) const {
    return cells_.at(rowIndex(row)).at(static_cast<size_t>(column - 1));
}

double MonthlyGrid::amount(int row, int column) const {
    return common::CAR_TO_VAL(cell(row, column));
}

void MonthlyGrid::setAmount(int row, int column, double value) {
    cell(row, column) = gridAmount(value);
}

CarneLeao& carneLeao() {
    static CarneLeao instance;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { instance = CarneLeao{}; });
    return instance;
}

int taxYear() {
    return base::session().integer("QUEANO");
}

Accumulator* accumulatorOfKind(CarneLeao& carne, std::string_view kind) {
    const std::string letter = base::asciiUpper(base::alltrim(kind));
    if (letter == "F") return &carne.TRECFIS;
    if (letter == "E") return &carne.TRECEXT;
    if (letter == "L") return &carne.TPAGLCX;
    if (letter == "P") return &carne.TPAGPRE;
    if (letter == "I") return &carne.TPAGLEO;
    return nullptr;
}

void zeroEntryAccumulators(CarneLeao& carne) {
    for (Accumulator* accumulator : {&carne.TRECFIS, &carne.TRECEXT, &carne.TPAGLCX, &carne.TPAGPRE,
                                     &carne.TPAGLEO, &carne.TLEODEV})
        accumulator->zero();
}

Accumulator* addIncomeItem(CarneLeao& carne, const IncomeItem& item) {
    Accumulator* accumulator = accumulatorOfKind(carne, item.kind);
    if (accumulator == nullptr) return nullptr;
    if (accumulator == &carne.TPAGPRE || accumulator == &carne.TPAGLEO) {
        for (int month = 1; month <= 12; ++month)
            accumulator->add(month, item.monthly[month - 1]);
    } else {
        accumulator->add(item.date.empty() ? 1 : item.date.month(), item.amount);
    }
    return accumulator;
}

double CALCDEP(CarneLeao& carne, int month) {
    carne.DEDUDEP = dependantMonthlyAmount(taxYear(), month);
    return carne.N_DEPEN * carne.DEDUDEP * (month == Accumulator::kYear ? 12 : 1);
}

void VE_LEAO(CarneLeao& carne, int row) {
    MonthlyGrid& grid = carne.REC_MENSAL;
    const int year = taxYear();
    const double income =
        grid.amount(row, MonthlyGrid::kIndividuals) + grid.amount(row, MonthlyGrid::kAbroad);
    double taxBase = income - grid.amount(row, MonthlyGrid::kCashBook) -
                     grid.amount(row, MonthlyGrid::kDeductions);
    // 1995 amounts are taxed in the correction unit of their month. The total
    // row has no month of its own (its tax is the sum of the months anyway),
    // and a missing factor must not divide by zero.
    double factor = 1.0;
    if (year == 1995 && row >= 1 && row <= 12) factor = carne.TAB_UFIR[rowIndex(row)];
    taxBase = common::DIV(taxBase, factor);

    const std::optional<double> tax = progressiveTax(year, 12, taxBase, row, income);
    if (tax) grid.setAmount(row, MonthlyGrid::kTaxDue, *tax * factor);

    double total = 0;
    for (int month = 1; month <= 12; ++month)
        total += grid.amount(month, MonthlyGrid::kTaxDue);
    grid.setAmount(MonthlyGrid::kTotalRow, MonthlyGrid::kTaxDue, total);
}

void rebuildGridFromEntries(CarneLeao& carne, const std::vector<PaymentItem>& payments) {
    carne.DESPPEN.zero();
    for (const PaymentItem& payment : payments) {
        if (!isAlimonyCode(payment.code)) continue;
        for (int month = 1; month <= 12; ++month)
            carne.DESPPEN.add(month, payment.monthly[month - 1]);
    }
    MonthlyGrid& grid = carne.REC_MENSAL;
    for (int row = 1; row <= MonthlyGrid::kRows; ++row) {
        const double deductions = CALCDEP(carne, row) + carne.TPAGPRE[row] + carne.DESPPEN[row];
        grid.setAmount(row, MonthlyGrid::kIndividuals, carne.TRECFIS[row]);
        grid.setAmount(row, MonthlyGrid::kAbroad, carne.TRECEXT[row]);
        grid.setAmount(row, MonthlyGrid::kCashBook, carne.TPAGLCX[row]);
        grid.setAmount(row, MonthlyGrid::kDeductions, deductions);
        grid.setAmount(row, MonthlyGrid::kTaxPaid, carne.TPAGLEO[row]);
        VE_LEAO(carne, row);
    }
}

void readGridIntoAccumulators(CarneLeao& carne) {
    struct ColumnSource {
        int column;
        Accumulator* accumulator;
    };
    const std::array<ColumnSource, 5> sources = {{{MonthlyGrid::kIndividuals, &carne.TRECFIS},
                                                  {MonthlyGrid::kAbroad, &carne.TRECEXT},
                                                  {MonthlyGrid::kCashBook, &carne.TPAGLCX},
                                                  {MonthlyGrid::kTaxPaid, &carne.TPAGLEO},
                                                  {MonthlyGrid::kTaxDue, &carne.TLEODEV}}};
    MonthlyGrid& grid = carne.REC_MENSAL;
    for (const ColumnSource& source : sources) {
        Accumulator& accumulator = *source.accumulator;
        accumulator[Accumulator::kYear] = 0;
        for (int month = 1; month <= 12; ++month) {
            accumulator[month] = grid.amount(month, source.column);
            accumulator[Accumulator::kYear] += accumulator[month];
        }
        grid.setAmount(MonthlyGrid::kTotalRow, source.column, accumulator[Accumulator::kYear]);
    }
    // The typed deductions column already holds the alimony of each month.
    for (int month = 1; month <= 12; ++month)
        carne.DESPPEN[month] = 0;
}

void RESOMA(CarneLeao& carne, bool calAuto, const std::vector<PaymentItem>& payments) {
    if (calAuto)
        readGridIntoAccumulators(carne);
    else
        rebuildGridFromEntries(carne, payments);
}

void loadUfirFactors(CarneLeao& carne, base::NamedValues& settings,
                     const std::optional<UfirRecord>& january) {
    if (!january) {
        carne.TAB_UFIR.fill(kDefaultUfirFactor);
        return;
    }
    carne.TAB_UFIR.fill(january->MULTIPL);
    settings.set("UFIRATUAL", january->MULTIPL);
    settings.set("SIMB_MOED", january->SIMB_MOED);
}

}  // namespace kdx2::tax
