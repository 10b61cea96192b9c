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

// The rules of a cell: the shell's, else those built in (bank number).
CellRule cellRuleFor(int screen, int column);

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
    void recompute() const;  // after a stored total: 1, 2, 17, 22

    // One key; returns the key to handle next (from the cell editor) or 0.
    int handle(int key);

  private:
    void hitBottomRule();
    void deleteRow();
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
    bool done = false;

    int handle(int key);
    void publishState() const;
    bool editable(int row, int column) const;

  private:
    int enter();
    void clearForEntryList();
    void toggleMode();
    void calculator();
    void averageMonths();
};

int GETMTX(MatrixBrowser& browser);
// Left-button clicks on either browse.
void HANDLEMOUSE(GridView& view, int screen, int row, int column);
// The keys both browses treat alike: Esc, Tab and Shift+Tab end the browse
// (the key is kept for the page flow), a left click goes to HANDLEMOUSE.
// False for any other key.
bool handleSharedKey(GridView& view, int screen, int key, bool& done);

// Alt+A and the mode marks: the carnê-leão grid between totals and
// individual entries (16), the cash-book mode (12, 19).
void switchCalculationMode(GridView& view);
void cycleCashBookMode(int screen);

// Footers of screens whose text depends on the settings (16, 19).
void writeFooter(int screen);

}  // namespace kdx2::editor
