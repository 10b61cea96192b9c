#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "editor/browse.h"
#include "editor/grid_view.h"
#include "editor/table_source.h"
#include "store/table.h"

// Inside the browser: the state of one running table or matrix browse and
// the pieces its keys are made of. Not for other subsystems.
namespace kdx2::editor {

// ---- Session values the engine shares with the declaration pages --------
inline base::NamedValues& settings() {
    return base::session();
}
int screenCode();  // OPC
GridColours browseColours();
// The rectangle inside a window rectangle (one cell less on each side),
// moved into the active window's coordinates.
platform::Rect innerArea(int top, int left, int bottom, int right);

// Replaces the keys waiting in the type-ahead buffer by these (KEYBOARD):
// a key queued for the browse never piles up behind an older one.
void stuffKeys(std::initializer_list<int> keys);

class MatrixBrowser;

// What F1 and F2 do on a table screen.
enum class FunctionKeys {
    ChangePage,      // F1 the page switcher, F2 page 2; the browse ends
    Order,           // F1 and F2 put the table in index order 1 or 2
    RedrawAndLeave,  // the browse is redrawn and ends
};

// How a list screen behaves beyond its table and columns: the keys it takes,
// what it recomputes, how its rows start. Each screen's entry in the
// catalogue (screens.cpp) fills in what differs from these defaults.
struct ScreenRules {
    // ---- Table screens ----
    // The rows can be added (a blank row past the last one) and deleted
    // (Del, Alt+E); screens that only pick rows cannot.
    bool editsRows = true;
    // Alt+= and Alt+- mark every row's IMPRE with "S" or clear it.
    bool marksRows = false;
    // Entry lists: Alt+= sorts by the current column within the order,
    // Alt+2 and Alt+3 mark and show a subtotal.
    bool entryTools = false;
    // Alt+B looks the bank of an account up.
    bool banksLookup = false;
    // A new record takes the taxpayer's CPF.
    bool keepsTaxpayer = true;
    // Deleted rows are compacted away before a row is added (when the table
    // is open exclusively).
    bool compactsBeforeAppend = false;
    // A row Del must leave alone says why and returns false (the folder in
    // use, for one).
    std::function<bool(store::Table& table)> mayDelete;
    // A stored cell redraws every row (a change may reorder the whole list).
    bool redrawAfterEdit = false;
    FunctionKeys functionKeys = FunctionKeys::ChangePage;
    // Right does nothing from this column on (0: it always moves).
    int rightStopsAt = 0;
    // Left in this column goes back to column 1, unfreezing it (0: none).
    int leftUnfreezesAt = 0;
    // Left always goes back to this column (0: one column left).
    int leftReturnsTo = 0;
    // Recomputes the totals after a total was stored (calculator, breakdown);
    // with recomputesAfterDelete, after a deletion as well.
    std::function<void()> recompute;
    bool recomputesAfterDelete = false;
    // Enter on this column opens the per-month breakdown instead of editing.
    std::function<bool(int column)> enterOpensBreakdown;
    // The breakdown slot of a column for Alt+U (0: none).
    std::function<int(int column)> breakdownSlot;
    // The key of the temporary order on a column (Alt+O); empty: none.
    std::function<std::string(int column, const std::string& field)> orderKey;
    // Fills the defaults of a record just appended (after the CPF); `typed`
    // is the value being entered and `editing` its field.
    std::function<void(store::Table& table, const base::Value& typed, const std::string& editing)>
        newRecord;
    // The rule of a cell when the shell has none for the screen.
    std::function<CellRule(int column)> builtInRule;

    // ---- Matrix screens ----
    // Typed characters open the cell editor; false discards them.
    bool takesTyping = true;
    // Enter: true when the screen handled it; otherwise the cell is edited.
    std::function<bool(MatrixBrowser& browser)> enter;
    // Alt+A switches the screen's mode.
    std::function<void(GridView& view)> switchMode;
    // Alt+M asks the months of the yearly average instead of copying the cell.
    bool altMAverages = false;
    // Alt+R opens another screen over this one.
    std::function<void(MatrixBrowser& browser)> altR;
    // The calculator may write into the cell now.
    std::function<bool()> calculatorWrites;
    std::string calculatorPicture = "@Ez 999,999,999.99";
    // Row 13 holds the year's totals and is not edited.
    bool totalsRowLocked = false;
    std::vector<int> lockedColumns;
    // The cell text is edited as it stands, not read as an amount.
    bool rawCells = false;
    // The picture an edited cell is written back with (empty: the column's).
    std::string cellPicture;
    // After an edited cell was written back.
    std::function<void(int row, int column)> cellStored;

    // ---- Both ----
    // A mouse click on the page's mode marks; true when it hit one.
    std::function<bool(GridView& view, int row, int column)> hotSpot;
};

// The rules of a screen code (the defaults for codes without an entry).
const ScreenRules& screenRules(int code);

// ---- Pieces the screens' rules are made of ----------------------------------

// The order key of a column of the entry lists, by its field; empty when the
// column has none.
std::string entryColumnKey(const std::string& field);
// The order key of a column (1 ... 11) of the cash-book entries.
std::string cashBookColumnKey(int column);
// Defaults of a new record: an income item or monthly entry (kind and credit
// from the settings, other expenses for accounts 4101 ... 4199), a rural
// entry (its day and month in the base year), a bank account (the next code).
void incomeDefaults(store::Table& table, const base::Value& typed, const std::string& editing);
void ruralEntryDefaults(store::Table& table, const base::Value& typed, const std::string& editing);
void bankAccountDefaults(store::Table& table, const base::Value& typed, const std::string& editing);
// The bank number of an account fills in the bank's name.
CellRule bankNumberRule();

// The rules of a cell: the shell's, else those built in (bank number).
CellRule cellRuleFor(int screen, const ScreenRules& rules, int column);

// Runs a hook when it is connected.
template <typename F, typename... Args>
void call(const F& hook, Args... args) {
    if (hook) hook(args...);
}

// The temporary orders (Alt+O, Alt+=) of a browse: built in the work
// folder, dropped when the browse ends, the table's own indexes put back.
class TemporaryOrders {
  public:
    explicit TemporaryOrders(store::Table& table);
    ~TemporaryOrders();
    TemporaryOrders(const TemporaryOrders&) = delete;
    TemporaryOrders& operator=(const TemporaryOrders&) = delete;

    // Builds the order `key` in file `prefix` + terminal and makes it the
    // controlling one, replacing any temporary order built before.
    void build(const std::string& prefix, const std::string& key);
    void drop();

  private:
    store::Table& table_;
    std::vector<std::string> ownIndexes_;
    int ownOrder_ = 0;
    std::vector<std::string> files_;
};

class TableBrowser {
  public:
    TableBrowser(store::Table& table, int area, platform::Rect rect,
                 const BrowseDescription& description);

    void run();

    store::Table& table;
    int area;  // work area of the table, selected again around locks
    BrowseDescription description;
    TableSource source;
    GridView view;
    TemporaryOrders orders;
    int screen = 0;
    const ScreenRules& rules;
    bool append = false;
    bool leaveAppendRequested = false;
    bool done = false;

    bool onBlankRow() const { return table.eof(); }
    const BrowseColumn& currentColumn() const;
    std::string currentField() const { return currentColumn().field; }
    void select() const;
    void setAppend(bool on);
    // Session values the pages read: PONTEIRO, PONTVERT, EDI_CAMPO, LAPPEND.
    void publishState() const;
    // Keeps the cursor out of frozen columns.
    void leaveFrozenColumns();
    // Stores a value in the current cell: appends first on the blank row in
    // append mode, locks the record (tries for `lockSeconds`), stores with
    // F_TROCA and unlocks. False when nothing was stored.
    bool storeInCell(const base::Value& value, double lockSeconds);
    void recompute() const;  // after a stored total, as the screen says

    // One key; returns the key to handle next (from the cell editor) or 0.
    int handle(int key);

  private:
    void hitBottomRule();
    void deleteRow();
    void insertRow();
    void deleteFollowing();
    void copyCell();
    void pasteCell();
    void calculator();
    void breakdown(int slot);
    int breakdownSlot() const;
    void temporaryOrder();
    void markAll(bool mark);
    void sortByColumn();
    void markSubtotal();
    void subtotal();
    void banks();
    void pageKey(int key);
};

// The cell editors (cell_editor.cpp).
int DOGET(TableBrowser& browser, bool append);
void FRESHORDER(TableBrowser& browser);

class MatrixSource final : public RowSource {
  public:
    explicit MatrixSource(Matrix& matrix) : matrix_(matrix) {}
    int row() const { return row_; }
    void setRow(int row);
    Matrix& matrix() { return matrix_; }
    void goTop() override { row_ = 1; }
    void goBottom() override { row_ = std::max(1, matrix_.rows()); }
    long skip(long n) override;
    std::string cellText(int column) override;
    long bookmark() override { return row_; }
    void restore(long bookmark) override { setRow(static_cast<int>(bookmark)); }

  private:
    Matrix& matrix_;
    int row_ = 1;
};

class MatrixBrowser {
  public:
    MatrixBrowser(Matrix& matrix, platform::Rect rect, const BrowseDescription& description);
    void run();

    Matrix& matrix;
    BrowseDescription description;
    MatrixSource source;
    GridView view;
    int screen = 0;
    const ScreenRules& rules;
    bool done = false;

    int handle(int key);
    void publishState() const;
    bool editable(int row, int column) const;
    // Opens the entry list `code` over the grid for the current cell, then
    // recomputes with `recompute` and redraws.
    void openEntryList(int code, const std::function<void()>& recompute);

  private:
    int enter();
    void clearForEntryList();
    void calculator();
    void averageMonths();
};

int GETMTX(MatrixBrowser& browser);
// Left-button clicks on either browse.
void HANDLEMOUSE(GridView& view, const ScreenRules& rules, int row, int column);
// The keys both browses treat alike: Esc, Tab and Shift+Tab end the browse
// (the key is kept for the page flow), a left click goes to HANDLEMOUSE.
// False for any other key.
bool handleSharedKey(GridView& view, const ScreenRules& rules, int key, bool& done);

// Alt+A and the mode marks: the carnê-leão grid between totals and
// individual entries, the cash-book mode on the rural properties page and
// on the rural receipts grid.
void switchCalculationMode(GridView& view);
void cycleCashBookModeOnProperties();
void cycleCashBookModeOnReceipts();

// The footers whose text follows the modes they offer to switch.
void writeReceiptsFooter();
// The yearly summary's footer: Alt+M and the projection note (NOTA_MEDIA).
void writeSummaryFooter();
// The variable-income statement's footer, with the kind of operations shown.
void writeVariableIncomeFooter(const std::string& kind);
// The "*" of the receipts' headings follows the carnê-leão basis (SO_REC).
void markCarriedColumn(GridView& view);
void writeRuralReceiptsFooter();

}  // namespace kdx2::editor
