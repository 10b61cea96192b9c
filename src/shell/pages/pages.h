#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "editor/browse.h"
#include "ui/get.h"

// The declaration's pages and the order they follow one another: the page
// loop GIRO, the page keys (Tab, Shift+Tab and the function keys) inside a
// page, and the tools bound to keys inside a page (monthly breakdown,
// calculators). The pages' state lives in the session: TELA (the page),
// TELAMAX, ULTTECLA (the key that ended the last page), TECLAMUDA (a page
// already chosen), PVEZ (a new taxpayer), OPCIR_1 (the menu code; 31 or 32
// for the two halves of page 3), LSAI (leaving).
namespace kdx2::shell::pages {

// TELAMAX: the last page, 13 with rural activity, else 9.
int lastPage(bool rural);

// Where the page loop goes after a page.
struct FlowState {
    int page = 0;
    int part = 0;  // OPCIR_1 on page 3: 31 or 32
    bool rural = false;
    bool newTaxpayer = false;
    bool pageChosen = false;  // TECLAMUDA: a key or menu already chose chosenPage
    int chosenPage = 0;
};
struct NextStep {
    int page = 0;  // 0 leaves the loop
    int part = 0;
    bool newTaxpayer = false;
    bool runCashBook = false;  // F7: the cash book runs before the page
};
NextStep nextPage(int key, const FlowState& state);

// GIRO: the page loop from `page` until Esc, a page beyond the last, or a
// leave. Saves automatically between pages when the interval chosen in
// maintenance has passed.
void GIRO(int page);
// GTELA: the form or list screen of one page.
void GTELA(int page);

// True while a page is being shown (menu choices then end it).
bool pageRunning();
// A page chosen from the menu while another is shown: that page ends and
// the loop goes on with `page`.
void choosePage(int page);
// Ends the page being shown (the leave chosen from the menu or Alt+T).
void endRunningPage();

// QUETEL: asks for page `page` from inside a list screen; false (nothing
// changes) when it is the page being shown. With pageDown the ending key
// is recorded as PgDn.
bool QUETEL(int page, bool pageDown = false);
// F1 in a list screen: page 1, except in the cash book.
bool MUDATEL1();
// Alt+F2 in a list screen: page 12 (Alt+F1, page 11, goes through QUETEL).
bool MUDATEL2();
// The function key `key` inside one of the pages' own forms: ends the
// form with the key recorded (MUDATEL).
void MUDATEL(int key);
// Tab or Shift+Tab inside one of the pages' own forms (MUDATAB).
void MUDATAB(int key);

// While one of the pages' own forms reads: Tab, Shift+Tab and the page
// function keys end it, Alt+U breaks the amount being edited down.
class PageKeys {
  public:
    PageKeys();
    ~PageKeys();
    PageKeys(const PageKeys&) = delete;
    PageKeys& operator=(const PageKeys&) = delete;
};

// Reads a page's own form. A page key or a leave ends it with the field
// being edited checked as if it were left: refused by a page key, the
// cursor stays in it; refused by a leave, its value is dropped.
ui::ReadResult readPageForm(ui::GetList& fields);

// The rural items (101 ... 107, F7, F10 ... F12 from the menu) are for a
// taxpayer with rural activity: false, after saying so, for the others.
bool requireRuralActivity();
// Item 104 and F7 inside a page: the rural cash book, after the same check.
void runRuralCashBook();

// ---- Rural pages ----

// SOMA_RUR (mode): the monthly rural totals from the rural entries; mode 3
// into the taxpayer's IRM10 record, other modes into the rural grid.
void SOMA_RUR(int mode);
// When the declaration opens: a taxpayer without rural figures starts with
// the 20 % option off.
void startRuralValues();
// Page 12: the rural result form.
void ruralResultForm();
// FI7_T, FI8_T and FI10_1 over the scratch copies of goods and debts, into
// the working values.
void patrimonyTotals();

// ---- The digital rural cash book (items 108 and 109) ----

// The accountant who signs the book, on the summary's working values.
void accountantForm();
// VAL_LCDPR: every property, bank account and rural entry has what the book
// needs; stops at the first gap with its message. A missing bank register
// only warns.
bool VAL_LCDPR();

// ---- Tools bound to keys ----

// Alt+U on a field of a form (CALC_UFIR): a sale value (VAL_ALI) is spread
// over the months from the month of its sale date; any other amount is
// converted by a month's factor.
void CALC_UFIR();
// The monthly breakdown of a list screen's cell (MUDATEL13) on the income
// screens (1, 2) and the payments (4): the months behind the column being
// edited, typed from January on; their total passes the cell's own check
// before anything is stored. `slot` and `field` are the list's. Returns the
// total, or 0 when nothing is to be stored (a row not yet added, a column
// without months, a leave chosen inside the window).
double MUDATEL13(int slot, const std::string& field);
// ATUAVAL (mode, value, month): the conversion window's values. Mode 1
// QUF := value / factor, 2 QCR1 := value x factor; a zero factor or a month
// outside 1 ... 12 gives 0.
bool ATUAVAL(int mode, double value, int month);
// CALCBEM (Alt+D on pages 1 and 5): switches the income lists' sums as
// amounts are typed on or off, and shows which on the page. While they are
// off, page 1 sums once when it is left (or when they are switched on
// again), so no other page sees stale totals.
void CALCBEM();
// Runs the sums page 1 put off, if any.
void catchUpSums();
// The income lists' sums go through CALCBEM's switch.
void connectAutomaticSums(editor::Hooks& hooks);
// Alt+S: the calculator, its result into the field being edited.
void CHAMA_CALC();
// Alt+K: the calculator of KDX2_CALC when set (run without a shell), else
// the built-in one; the result goes to the field being edited. The word
// {RESULTADO} in KDX2_CALC becomes the path of a file the calculator may
// write; when it ends with status 0, the last number of that file is the
// result (docs/calculator.md).
void runSystemCalculator();
// The last number of a text as a program writes it ("12.5", "1.234,56",
// "-3"); nullopt when there is none.
std::optional<double> lastNumberIn(std::string_view text);

// The hooks the list screens call into the pages (QUETEL, MUDATEL1,
// MUDATEL2, SOMA_RUR).
void connectPageHooks(editor::Hooks& hooks);
// The monthly breakdown behind Enter on the amounts of the income and
// payment screens and Alt+U on a list cell.
void connectMonthlyBreakdown(editor::Hooks& hooks);

}  // namespace kdx2::shell::pages
