#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "base/date.h"
#include "tax/carne.h"
#include "tax/variable_income.h"

// The working values of the declaration workspace. They live in the session
// record (base::session()) under the names of the table fields and screens
// they stand for, because every layer (forms, browse columns, the tax
// computations) addresses them by name and the program has one namespace of
// such names: the register's ORDEM or the summary's EMPRUR are the session
// values of those names. The arrays live in WorkspaceGrids; the carnê-leão
// grid and its accumulators in tax::carneLeao().
namespace kdx2::shell::workspace {

// Display grids and accumulators of the open declaration.
struct WorkspaceGrids {
    std::array<std::array<std::string, 3>, 13> CALC_MENS{};  // "mm-" + month, 2 x 14 chars
    std::array<std::array<std::string, 3>, 12> LEAO_MENS{};
    std::array<std::array<std::string, 2>, 13> REND_RURAL{};  // receipts, expenses; 13 totals
    std::array<std::array<std::string, 13>, 11> REND_ISEN{};
    std::array<std::array<std::string, 13>, 6> REND_EXCL{};
    std::array<double, 12> TAB_JUR{};
    std::array<int, 12> NDEP{};
    std::array<double, 12> MES_NEG{};
    // The variable-income statement of one kind of operations (MRENVAR),
    // and that kind: " " common operations, "X" day trade.
    tax::VariableIncomeGrid MRENVAR{};
    std::string dayTrade = " ";
    // The thirteen-cell accumulators not kept by the carnê-leão figures.
    std::map<std::string, tax::Accumulator, std::less<>> accumulators;

    tax::Accumulator& accumulator(const std::string& name);
};
WorkspaceGrids& workspaceGrids();

// Time of day and date as the workspace reads them: the screen's clock
// (a headless run's moves only with its script); tests replace it.
struct Clock {
    virtual ~Clock() = default;
    virtual long secondsSinceMidnight() const;
    virtual base::Date today() const;
};
const Clock& clock();
// Installs `clock` (not owned); nullptr restores the screen's clock.
void setClock(const Clock* clock);

// Picture of the monthly rural amounts.
inline constexpr const char* kRuralPicture = "@Ez 999,999,999.99";

// Creates every working value of the declaration command with its starting
// value (register and summary fields, monthly and rural values, grids,
// accumulators, page state, time counters) and the summary grid's labels.
void createWorkingValues();
// Removes the working values that createWorkingValues added to the session
// (names the session already had stay) and empties the grids.
void discardWorkingValues();
bool workingValuesExist();

// The row labels of the yearly summary as a declaration opens with them
// (rows 1 ... 30 of MRESUMO's first column; row 28 by QUALMENS).
void labelSummary();

// LIMPVAR: the register values, the rural item values and STATUS to blank.
void LIMPVAR();

// "01" ... "12" (13 gives "13"; 0 gives "T", the year's total).
std::string monthSuffix(int month);

}  // namespace kdx2::shell::workspace
