#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/value.h"

// The record browser and editor: one spreadsheet-like engine over the rows
// of a table (CL5BROWSE) and over the rows of an in-memory matrix of display
// strings (MBROWSE), and EDITA, the catalogue of list screens that runs it by
// screen code. The engine keeps its state where the declaration pages read
// it: the session record holds OPC, LAPPEND, PONTEIRO, PONTVERT, EDI_CAMPO,
// POSHORMAT, POSVERMAT, NLIN, LASTECLA, POSCONTA, POSREG, ULTTECLA and
// TECLAMUDA; the column lists live in browseDescription().
namespace kdx2::editor {

// ---- Browse description ------------------------------------------------

// One column: its display expression, the field it edits, its picture and
// heading. Matrix columns use only the picture and heading.
struct BrowseColumn {
    std::string display;
    std::string field;
    std::string picture;
    std::string heading;
};

struct BrowseDescription {
    std::vector<BrowseColumn> columns;
    int lastEditable = 0;      // the last column Enter moves to (1-based; ULT_POS)
    int frozen = 0;            // columns kept on the left while panning
    bool footingLine = false;  // the separator line under the rows
};

// The description the next browse runs with (set by EDITA).
BrowseDescription& browseDescription();

// ---- In-memory matrices ---------------------------------------------------

// Rows and columns of display strings, both counted from 1.
class Matrix {
  public:
    virtual ~Matrix() = default;
    virtual int rows() const = 0;
    virtual int columns() const = 0;
    virtual std::string cell(int row, int column) const = 0;
    virtual void setCell(int row, int column, const std::string& text) = 0;
};

// A matrix over a fixed array of rows of strings owned elsewhere
// (std::array<std::array<std::string, C>, R> and the like).
template <typename Rows>
class RowsMatrix : public Matrix {
  public:
    explicit RowsMatrix(Rows& rows) : rows_(rows) {}
    int rows() const override { return static_cast<int>(rows_.size()); }
    int columns() const override {
        return rows_.empty() ? 0 : static_cast<int>(rows_.begin()->size());
    }
    std::string cell(int row, int column) const override {
        return rows_[static_cast<size_t>(row - 1)][static_cast<size_t>(column - 1)];
    }
    void setCell(int row, int column, const std::string& text) override {
        rows_[static_cast<size_t>(row - 1)][static_cast<size_t>(column - 1)] = text;
    }

  private:
    Rows& rows_;
};

// ---- What the browser calls in other subsystems -------------------------

// The checks of one cell (attached by screen code and column). `before`
// runs when the cell is entered (false: the cell is not edited); `check`
// when the user leaves it with a changed value (false keeps the cursor in
// the cell; it may replace the value, a chosen code for example); `stored`
// after the value was written to the record.
struct CellRule {
    std::function<bool()> before;
    std::function<bool(base::Value& value)> check;
    std::function<void()> stored;
};

// Recomputations, page changes, the save and the breakdown window belong to
// the tax engine and to the declaration pages; the shell connects them here.
// An empty hook does nothing (a page change then is refused, a breakdown
// gives 0, a lookup list chooses nothing).
struct Hooks {
    std::function<void(int mode)> SOMA_JUR;
    // Rebuilds the monthly figures from the workspace's entries.
    std::function<void()> SOMA_FIS;
    std::function<void(int mode)> SOMA_RUR;
    std::function<void(int mode)> RESOMA;
    std::function<void(int row, int column, int screen)> FX_RT;
    std::function<void(int row)> VE_LEAO;
    std::function<void(int mode)> CALCULA_TUDO;
    // The variable-income statement of the open declaration: mode 0 loads
    // the kind of operations shown, 1 stores it and works the year out
    // again, 2 stores it and turns to the other kind. Returns the caption of
    // the kind shown.
    std::function<std::string(int mode)> RENVAR;
    // After Alt+M on the yearly summary set QMED: CAL_ANUAL with QMEDIA,
    // MENSPG cleared, VE_QUOT_MENS, MOSTRA_SUGES and MOSTMEDIA.
    std::function<void()> averageChanged;
    // The per-month breakdown window of a cell: slot and field name; the
    // total, or a value not above 0 when nothing is to be stored.
    std::function<double(int slot, const std::string& field)> MUDATEL13;
    std::function<bool()> MUDATEL1;
    std::function<bool()> MUDATEL2;
    std::function<bool(int page)> QUETEL;
    std::function<void()> SAL_DEC;
    std::function<void()> MUDA_LEAO;
    // The declaration's global Alt+U handler, put back after a screen.
    std::function<void()> CALC_UFIR;
    // The lookup list named `qualhlp` (QUALHLP), opened at `start`; the
    // chosen code, or an empty value.
    std::function<base::Value(const std::string& qualhlp, const base::Value& start)> lookup;
    // The rule of a cell; screens without rules get an empty CellRule.
    std::function<CellRule(int screen, int column)> cellRule;
    // The matrix of a matrix screen, or nullptr.
    std::function<Matrix*(int screen)> matrix;
};

Hooks& hooks();

// ---- Entry points -----------------------------------------------------------

// The list screens by code: the table screens, then the matrix screens.
namespace screens {
inline constexpr int kIncome = 1;            // income from legal entities, the taxpayer's
inline constexpr int kDependantsIncome = 2;  // the same, received by the dependants
inline constexpr int kDependants = 3;
inline constexpr int kPayments = 4;
inline constexpr int kRuralProperties = 12;
inline constexpr int kMonthEntries = 17;  // the entries behind one cell of the receipts
inline constexpr int kRuralEntries = 22;  // the rural cash book of one month
inline constexpr int kBankAccounts = 24;
inline constexpr int kCashBook = 25;
inline constexpr int kAccountsChart = 28;
inline constexpr int kFolders = 33;
inline constexpr int kMarking = 35;  // taxpayers marked for a command
inline constexpr int kImportSelection = 56;
inline constexpr int kYearlySummary = 7;
inline constexpr int kStatusCodes = 13;
inline constexpr int kMonthlyReceipts = 16;  // the carnê-leão, month by month
inline constexpr int kRuralReceipts = 19;    // rural receipts and expenses by month
inline constexpr int kForeignIncome = 20;    // foreign income conversion
inline constexpr int kVariableIncome = 29;   // the variable-income statement by month
}  // namespace screens

// Runs the list screen of `code` (see the catalogue in screens.cpp): selects
// its table or matrix, sets its filter and columns, draws its frame and
// footer, runs the browse and clears the filter. Unknown codes do nothing.
void EDITA(int code);

// The window around a browse: none (the caller drew the frame), or window
// slot 2 or 6 redefined to the browse's rectangle, opened before it and
// closed after it.
enum class BrowseFrame { None, Slot2, Slot6 };

// The browse of the current table inside its frame around (top, left,
// bottom, right); the rows are drawn one cell inside.
void MOSTRA(int top, int left, int bottom, int right, BrowseFrame frame);
void CL5BROWSE(int top, int left, int bottom, int right);
// The same for a matrix.
void MOSBROW(Matrix& matrix, int top, int left, int bottom, int right, BrowseFrame frame);
void MBROWSE(Matrix& matrix, int top, int left, int bottom, int right);

// Maps the key that ended a cell edit to the next browse action (see the
// cell editor); queues keys as the rule says and returns the key to handle
// next, or 0.
int EXITKEY(int key, bool append);

// Appends (mode 1) and fills the defaults of a new record of the current
// screen (OPC) in the current table.
void ADIC_REG(int mode);

// Stores a value into the field of the current column (EDI_CAMPO) of the
// current record; a DT_LC date of 1900 takes the base year ANOBASE.
void F_TROCA(const base::Value& value);

// The breakdown slot of a column of screens 1 and 2 (Alt+U).
int TRAZ_IND(int column, int code);

// Looks a bank number up in BANCOS (area 69): found, its name and "BR" go to
// the current account; not found, the bank list opens at the number and the
// bank chosen is taken. Returns the bank number the account keeps.
std::string BUS_BANCO(const std::string& bankNumber);

// Moves a matrix row by n, kept within 1 ... rows; returns the steps made.
int SKIP_MATRIZ(const Matrix& matrix, int row, int n);

}  // namespace kdx2::editor
