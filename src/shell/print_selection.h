#pragma once

#include <string>
#include <vector>

#include "base/named_values.h"
#include "shell/settings.h"

// The print selection of the main menu: what to print (QUEIMP), the sheet
// type (QUEMOD), the page (QUEPAG), whom (QUECON), the printer, how and how
// many copies, with its eight-line summary.
namespace kdx2::shell {

// The text lists and the initial summary texts ITEM1 ... ITEM7.
void setPrintSelectionTexts(base::NamedValues& session, SessionLists& lists);

// Limits the selection to what the chosen report allows and builds the
// summary texts; returns the eight summary lines.
std::vector<std::string> buildPrintSummary(base::NamedValues& session, const SessionLists& lists);

// Normalises the selection and shows its summary.
void MONTA_ITENS();
// Shows the summary in a box titled "Seleção para impressão".
void MOS_CONFIMP();

// The print-selection commands 41 ... 48 with their option: store the
// choice, ask what 46 and 47 ask, write the selection to the terminal's
// CONFIG record and show the summary.
void choosePrintSelection(int code, int option);

}  // namespace kdx2::shell
