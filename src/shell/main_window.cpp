#include "shell/main_window.h"

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/colours.h"
#include "common/messages.h"
#include "common/screen_messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "printing/routing.h"
#include "shell/backup/backup.h"
#include "shell/cashbook/cashbook.h"
#include "shell/declaration.h"
#include "shell/exit.h"
#include "shell/import_commands.h"
#include "shell/layouts.h"
#include "shell/main_menu.h"
#include "shell/maintenance/maintenance.h"
#include "shell/print_commands.h"
#include "shell/selection/selection.h"
#include "shell/startup.h"
#include "shell/update/update.h"
#include "store/work_areas.h"
#include "ui/dialog.h"
#include "ui/menu.h"
#include "ui/screen.h"
#include "ui/statusbar.h"

namespace kdx2::shell {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

void showMainWindow() {
    std::shared_ptr<ui::LWindowMain> main = ui::LWindowMain::load();
    main->lBoxSysMenu = true;
    main->lBoxClose = true;
    main->lBoxMaximize = true;
    main->lBoxMinimize = true;
    main->nStyle = ui::LDialog::kCaption | ui::LDialog::kSysMenu | ui::LDialog::kMinimizeBox |
                   ui::LDialog::kMaximizeBox;
    ui::LDialog::nsValidRead = 2;
    main->cTitle("KDX2");
    main->showWindow();
    ui::LMAXSCREEN();
    ui::LSBDRAW({std::string(250, ' ')});
}

void bindClipboardKeys() {
    ui::bindKey(keys::alt('V'), [](ui::Get*) { ui::LGETCLIPBOARD(); });
    ui::bindKey(keys::CtrlV, [](ui::Get*) { ui::LGETCLIPBOARD(); });
    ui::bindKey(keys::CtrlC, [](ui::Get*) { ui::LSETCLIPBOARD(); });
}

void showTitle() {
    common::ENCHETELA(' ', base::session().text("COR_ENCH_C"));
    MTELA1(9);
}

void addEntries(ui::LMenu& menu, const std::vector<MenuEntry>& entries) {
    for (const MenuEntry& entry : entries) {
        if (entry.subMenu()) {
            menu.subMenu(entry.prompt);
            addEntries(menu, entry.children);
            menu.endMenu();
        } else if (entry.code == 0) {
            // A heading: an ordinary item whose action does nothing.
            menu.menuItem(entry.prompt, [](ui::LMenuItem&, ui::LDialog*) {});
        } else {
            const int code = entry.code;
            const int option = entry.option;
            menu.menuItem(entry.prompt, [code, option](ui::LMenuItem&, ui::LDialog*) {
                MENUSELECT(code, option);
            });
        }
        if (entry.separatorAfter) menu.separator();
    }
}

void registerOwnCommands() {
    registerCommand(16, [](int) { ROTSAIDA(16); });
    selection::registerSelectionCommands();
    maintenance::registerMaintenanceCommands();
    declaration::registerDeclarationCommands();
    cashbook::registerCashBookCommand();
    registerPrintCommands();
    registerImportCommands();
    backup::registerBackupCommands();
    update::registerUpdateCommands();
    registerCommand(25, [](int) {
        common::MODCOR();
        showTitle();
    });
    setTitleRedraw(showTitle);
    common::setColourEditorBackdrop([] { MTELA1(9); });
}

[[noreturn]] void mainLoop() {
    for (;;) {
        const int key = ui::waitKey();
        base::session().set("ULTTECLA", key);
        if (key == keys::alt('T')) MENUSELECT(16);
        if (key == keys::alt('I')) MENUSELECT(11);
        if (key == keys::Esc) ROTSAIDA(16);
        if (ui::isBound(key)) ui::SETKEYEVAL(key);  // F1: the general help
    }
}

}  // namespace

void INTER(int mode) {
    update::INTER(mode);
}

bool MENUCOMMAND(int mode) {
    (void)mode;
    std::shared_ptr<ui::LWindowMain> main = ui::LWindowMain::load();
    std::shared_ptr<ui::LMenu> menu = ui::LMenu::make(main.get());
    addEntries(*menu, mainMenuDefinition(base::session().text("NOMEIMP")));
    menu->create();
    return base::session().integer("ULTTECLA") != keys::Esc;
}

int MAIN(const std::string& terminalArgument) {
    showMainWindow();
    common::installScreenMessages();
    registerOwnCommands();
    try {
        prepareSession(terminalArgument);
        // The printer values come before the menu, whose printer item shows
        // the terminal's printer.
        printing::CRIA_SEQ();
        bindClipboardKeys();
        showTitle();
        backup::finishInterruptedRestoreAtStartup();
        INTER(0);
        MENUCOMMAND(0);
        mainLoop();
    } catch (const StartupFailure& failure) {
        store::workAreas().closeAll();
        ui::clearArea(0, 0, ui::maxRow(), ui::maxCol());
        return failure.exitCode;
    } catch (const ProgramEnd& end) {
        ui::clearArea(0, 0, ui::maxRow(), ui::maxCol());
        return end.exitCode;
    }
}

}  // namespace kdx2::shell
