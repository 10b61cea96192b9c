#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/value.h"
#include "editor/browse.h"
#include "store/table.h"
#include "ui/screen.h"

// The lookup lists F1 opens on a field (and F2 on the taxpayer fields): a
// read-only browse of a code table in a window, from which Enter takes the
// row's code. Each list is named by the field it serves (QUALHLP).
namespace kdx2::editor {

// One lookup list: the table (by its work-area number), the columns shown,
// the field whose value Enter gives back, the rows it shows and the order
// it opens in.
struct LookupList {
    int table = 0;
    std::string title;
    std::vector<BrowseColumn> columns;
    std::string returns;
    // Rows outside the list (the accounts of another kind, the
    // municipalities of another state); empty: every row.
    std::function<bool(store::Table&)> rows;
    // A temporary order the list runs in (built in the work folder, dropped
    // when the list closes); empty: the table's first index.
    std::string temporaryKey;
    // What typed letters are sought with in front (the state of a
    // municipality list ordered by state and name).
    std::string seekPrefix;
    // Typed text is sought upper case (orders on upper(name)).
    bool upperSeek = true;
    // A letter typed puts the list in this order first (the taxpayers by
    // name, whatever order they are listed in); 0: the order stays.
    int letterOrder = 0;
    // Fields of the row chosen copied into session values of these names
    // (the municipality's codes, say).
    std::vector<std::pair<std::string, std::string>> alsoSession;
    int top = 8, left = 6, bottom = 21, right = 70;
};

// The list for a field name ("CODIDEPEN", "M->CDCONTA", ...); nullopt when
// the field has none. The account list is limited to the accounts of the
// entry kind being edited (entryKindRange), the municipality list to the
// state in the session's "UF" value when there is one.
std::optional<LookupList> lookupList(const std::string& qualhlp);

// The account codes (inclusive first, exclusive last) of the entries of a
// kind: "J", "D", "F", "E", "L" ("O" with it) and "R" with credit "C" or
// "D". nullopt for kinds without a range.
struct AccountRange {
    int first = 0;
    int last = 0;  // exclusive
    bool contains(int code) const { return code >= first && code < last; }
};
std::optional<AccountRange> accountRange(const std::string& kind, const std::string& credit);
// The range of the entries of the list screen running now (OPC): screens 1
// and 2 their kinds, 17 the kind of the settings, 22 the rural one of TIPOCR;
// while an AccountListRange lives, its range.
std::optional<AccountRange> entryKindRange();

// While one lives, the account list offers only `range`: for a form that
// takes accounts outside the list screens (the rural cash book's entries).
class AccountListRange {
  public:
    explicit AccountListRange(AccountRange range);
    ~AccountListRange();
    AccountListRange(const AccountListRange&) = delete;
    AccountListRange& operator=(const AccountListRange&) = delete;

  private:
    std::optional<AccountRange> previous_;
};

// The IBGE code of a municipality named exactly `name` (upper case) in
// `state`; nullopt when there is none or the table cannot be read.
std::optional<std::string> municipalityCode(const std::string& state, const std::string& name);

// A code table of the install folder in its work area, opened quietly on
// first use (the current area kept); nullptr when it cannot be opened, the
// reason shown on the status line.
store::Table* openCodeTable(int number);

// GERAL2: opens the list of `qualhlp` positioned at `code` and returns the
// code chosen with Enter, or an empty value (Esc, no list, or a code table
// that could not be opened: the user is told and may type the code).
base::Value GERAL2(const std::string& qualhlp, const base::Value& code);
// GERAL: the list of the session's QUALHLP.
base::Value GERAL();
// GERAL1: F2 on a taxpayer field: the register in name order; the register
// is back in CPF order afterwards.
base::Value GERAL1();
// HBROWSE: runs a list that is ready (table selected, rows and order set)
// inside (top, left, bottom, right); the value of `returns` on the row
// chosen, or an empty value.
base::Value HBROWSE(const LookupList& list, store::Table& table);

// The effects of an account on the current entry of table `entry`: 4101
// ... 4199 other expenses kept out of the book, 4001 ... 4099 cash-book
// expenses, 1001 self-employed work, 1002 rent.
void applyAccountEffects(store::Table& entry, int account);

// GERAL4: the account cell's rule. A typed account must exist in the chart
// and, on the entry screens, belong to the entry's kind (refused with a
// message otherwise); an empty one opens the list. The account kept is in
// `value`; false when the cell must not be left.
bool GERAL4(base::Value& value);

// The lookup lists while the user edits a field: F1 on the field named
// `field` opens its list and puts the code chosen into it (on other fields
// F1 keeps what it did). Lives for one edit or one form.
class LookupKey {
  public:
    explicit LookupKey(const std::string& field);
    ~LookupKey();
    LookupKey(const LookupKey&) = delete;
    LookupKey& operator=(const LookupKey&) = delete;

  private:
    ui::KeyAction previous_;
    bool bound_ = false;
};

}  // namespace kdx2::editor
