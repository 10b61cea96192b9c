#pragma once

// The printing commands of the main menu: 45 the printer choice, 51 the
// print selection (SELECIONA) and 52 the last print again.
namespace kdx2::shell {

// The print command: for one taxpayer chosen now (each taxpayer chosen is
// printed, until Esc), for those marked in the marking list, or for all,
// prints what the print selection says.
void SELECIONA();

// Registers the commands 45, 51 and 52 with the main menu and the printing
// of a taxpayer chosen at the CPF prompt of command 51.
void registerPrintCommands();

}  // namespace kdx2::shell
