// The month-by-month receipts of the carnê-leão: every figure shown is
// worked out again from what changed before the grid shows.
#include <gtest/gtest.h>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class MonthlyGrid : public WholeProgram {
  protected:
    // The cells of a month's row (1 ... 12; 13 the totals) on the screen:
    // label, then the six amounts, trimmed.
    static std::vector<std::string> monthRow(const ProgramRun& run, int month) {
        const std::string& row = run.screen.at(static_cast<size_t>(8 + month));
        std::vector<std::string> cells;
        cells.push_back(trimmed(columns(row, 1, 6)));
        for (int column = 0; column < 6; ++column)
            cells.push_back(trimmed(columns(row, 8 + 12 * column, 11)));
        return cells;
    }
};

constexpr int kTotals = 13;

Script receiptsPage() {
    Script script = openNewTaxpayer();
    script += {"menu Páginas > Recebidos de pFísicas (F2)", "expect 01-Jan"};
    return script;
}

}  // namespace

// A dependant added on its page counts in the months' deductions as soon as
// the grid is shown again, not only after saving and reopening.
TEST_F(MonthlyGrid, ADependantAddedCountsInTheDeductionsAtOnce) {
    Script script = receiptsPage();
    script += {"key Enter",  // January's entries
               "type 1501",
               "key Enter",
               "key Right",
               "type ALUGUEL",
               "key Enter",
               "type 5000",
               "key Enter",
               "key Esc",
               "expect 5.000,00",
               "key Esc",
               "menu Páginas > Dependentes (F3)",
               "expect Nome Completo",
               "type JOAO",
               "key Enter",
               "key Right",
               "type 21",  // the code fills its cell
               "key Esc",
               "menu Páginas > Recebidos de pFísicas (F2)",
               "expect 01-Jan"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    ASSERT_EQ(result.screen.size(), 27u);
    // 2025: 189,59 a month for each dependant.
    EXPECT_EQ(monthRow(result, 1)[4], "189,59");
    EXPECT_EQ(monthRow(result, 1)[1], "5.000,00");
    EXPECT_EQ(monthRow(result, kTotals)[4], "2.275,08");
}

// "SÓ TOTAIS": a typed month updates its column's total; back to
// "INDIVIDUAL" every month comes from the entries again; the mode's caption
// stays off the grid.
TEST_F(MonthlyGrid, TypedTotalsAddUpAndGoWhenTheMonthsComeFromTheEntriesAgain) {
    Script typed = receiptsPage();
    typed += {"key Alt+A", "expect SO TOTAIS", "key Down", "type 1000", "key Enter"};
    const ProgramRun totals = run(typed);
    ASSERT_EQ(totals.exitCode, 0) << totals.errors;
    ASSERT_EQ(totals.screen.size(), 27u);
    EXPECT_EQ(monthRow(totals, 2)[1], "1.000,00");
    EXPECT_EQ(monthRow(totals, kTotals)[1], "1.000,00");
    EXPECT_EQ(trimmed(columns(totals.screen[5], 60, 20)), "SO TOTAIS");
    EXPECT_EQ(columns(totals.screen[20], 72, 8), "") << "the caption is over December";

    Script back = typed;
    back += {"key Alt+A", "expect INDIVIDUAL"};
    const ProgramRun individual = run(back);
    ASSERT_EQ(individual.exitCode, 0) << individual.errors;
    EXPECT_EQ(monthRow(individual, 2)[1], "");
    EXPECT_EQ(monthRow(individual, kTotals)[1], "");
}
