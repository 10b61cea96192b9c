#pragma once

#include <string>

#include "tax/cash_book.h"

// The cash book of one taxpayer: the entries window with its menu, the entry
// form, the transfer into the declaration, the chart of accounts (its grid
// and its printout) and the rebuild of the rural items.
//
// Mode 1 (main menu) edits a private copy of the taxpayer's entries, the
// terminal's own table TMPL14 + terminal in the work folder (never one of
// the declaration's scratch copies, which F4 brings back), and writes it back
// to IRM14 as one step: the new rows are in and the old ones out together,
// or neither. Mode 2 (inside the open declaration) works on the declaration's
// copy of the entries and shows only the rural accounts.
namespace kdx2::shell::cashbook {

inline constexpr int kFromMainMenu = 1;
inline constexpr int kFromDeclaration = 2;

// Main-menu command 12: the CPF prompt, then the window in mode 1.
void runCommand();
// Registers runCommand as the main menu's command 12.
void registerCashBookCommand();
// The declaration's rural entries (its menu item 104 and F7): the window in
// mode 2 on the open declaration, whose figures are worked out again after
// a transfer.
void openFromDeclaration();

// FAZ_LANCA: the entries window of the session's taxpayer until Esc or
// "Sair". Mode 1 leaves only once the entries were written back (or when
// nothing changed).
void FAZ_LANCA(int mode);

// FAZLANC: the entry form; entries go to the table in work area 34.
void FAZLANC(int mode);

// ---- Mode 1's private table ----------------------------------------------------------

// Drive path of the private table without extension ("C:\TRAB\TMPL1403").
std::string workTablePath();
// Replaces the private table by a copy of the taxpayer's rows of IRM14 and
// opens it in work area 34. False, after telling the user, when IRM14 or the
// private table could not be opened; nothing is written then.
bool loadWorkTable(const std::string& cpf);
// The taxpayer's rows of IRM14 become the private table's rows, as one
// change a stopped program cannot leave half done. False, after telling the
// user that the entries were not saved, when IRM14 could not be had for it;
// IRM14 is then as it was.
// When another terminal stored the taxpayer's entries after this window
// took its copy, the user chooses first: back to the window (false) or
// storing over them.
bool writeBack(const std::string& cpf);
// writeBack() as the window is left: there the user may also leave without
// storing. True when the window may close.
bool storeOnLeaving(const std::string& cpf);
// Closes the private table and removes its files.
void dropWorkTable();

// ---- Menu commands -------------------------------------------------------------------

// LANCAVAL with its tables: opens them (mode 1), transfers, tells the count,
// rebuilds the monthly and rural totals the entries touched. In mode 1 the
// transfer runs inside the write-back of the private table, so the marks
// reach IRM14 with the amounts they stand for; when the write-back cannot be
// done (IRM14 in use, or the user goes back after another terminal stored
// entries) nothing is transferred.
tax::TransferResult transferEntries(int mode);
// AJUSTE: the rural rebuild after its confirmation.
void AJUSTE();
// IMPLANO: the printed chart of accounts.
void IMPLANO();

}  // namespace kdx2::shell::cashbook
