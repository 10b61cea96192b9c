#pragma once

#include <string>
#include <vector>

#include "shell/workspace/workspace.h"

// The declaration window of an open taxpayer: the dialog over the whole
// grid with the declaration menu, the keys bound while it is open and the
// ways of leaving it; and the main-menu commands 11 (declaration) and 12
// (cash book) that reach it through the workspace.
namespace kdx2::shell::declaration {

// What the workspace asks of the shell for commands 11 and 12.
class DeclarationScreens : public workspace::Screens {
  public:
    bool chooseTaxpayer(int command) override;
    // The dialog titled with the taxpayer's CPF and name, its menu and keys,
    // polled until the leave flag LSAI is set.
    void runDeclaration() override;
    void runCashBook() override;
    void showTitle() override;
};

// One item of the declaration menu: a sub-menu has children, an action item
// a code for MENUOPC (0 for the calculator, which has no code).
struct DeclarationItem {
    std::string prompt;  // CP850, "&" before the hot-key letter
    int code = 0;
    bool separatorBefore = false;
    std::vector<DeclarationItem> children;
};

// The declaration menu for the cash-book mode TIPO_LANCA (2 adds the
// digital rural cash-book items).
std::vector<DeclarationItem> declarationMenu(int cashBookMode);

// Builds the declaration menu on the active dialog and activates it.
bool MENU_IRJAN();
// The action of a declaration menu item (and of the page keys).
void MENUOPC(int code);
// Leaving the taxpayer: 17 asks, 111 leaves without saving, 112 saves.
void SAI_DA_DEC(int code);

// Connects the browse screens to the open workspace: the monthly figures,
// the intermediate save and the matrices of screens 7, 13, 16, 19 and 20.
// The hooks in place before are kept and put back by removeEditorHooks.
void installEditorHooks();
void removeEditorHooks();

// Registers the main-menu commands 11 and 12.
void registerDeclarationCommands();

}  // namespace kdx2::shell::declaration
