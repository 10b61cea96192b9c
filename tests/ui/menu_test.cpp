#include <gtest/gtest.h>

#include <vector>

#include "platform/console/keys.h"
#include "ui/dialog.h"
#include "ui/menu.h"
#include "ui_session.h"

using namespace kdx2;
using namespace kdx2::ui;
using kdx2::ui::testing::runUntilScriptEnds;
using kdx2::ui::testing::UiSession;
namespace keys = kdx2::platform::keys;

namespace {

// A, sub-menu B with B1 and B2, C: numbered 1001 ... 1005 in that order,
// a sub-menu's items right after it.
std::shared_ptr<LMenu> buildExample(std::vector<int>& ran) {
    auto record = [&ran](LMenuItem& item, LDialog*) { ran.push_back(item.nSequence); };
    auto menu = LMenu::make();
    menu->menuItem("&A", record);
    menu->subMenu("&B");
    menu->menuItem("B&1", record);
    menu->menuItem("B&2", record);
    menu->endMenu();
    menu->menuItem("&C", record);
    menu->create();
    return menu;
}

}  // namespace

TEST(Menu, NumbersItemsAndSubMenusFrom1001InOrder) {
    UiSession session("");
    std::vector<int> ran;
    auto menu = buildExample(ran);
    ASSERT_EQ(menu->aItem.size(), 3u);
    EXPECT_EQ(menu->aItem[0]->nSequence, 1001);
    EXPECT_EQ(menu->aItem[1]->nSequence, 1002);
    EXPECT_TRUE(menu->aItem[1]->lSubMenu());
    EXPECT_EQ(menu->aItem[1]->aChildren[0]->nSequence, 1003);
    EXPECT_EQ(menu->aItem[1]->aChildren[1]->nSequence, 1004);
    EXPECT_EQ(menu->aItem[2]->nSequence, 1005);
    EXPECT_EQ(menu->aItem[1]->aChildren[1]->hotKey(), '2');
    EXPECT_EQ(menu->aItem[1]->aChildren[1]->text(), "B2");
    EXPECT_EQ(session.row(0).substr(0, 9), " A  B  C ");
}

TEST(Menu, ClickingB2OnTheBarRunsItem1004) {
    // " A " takes columns 0-2 and " B " 3-5; B's drop-down opens below it,
    // B1 on screen row 2 and B2 on row 3.
    UiSession session("click 0 4\nexpect B1\nclick 3 5\n");
    std::vector<int> ran;
    buildExample(ran);
    EXPECT_EQ(waitKey(), keys::MenuEvent);
    EXPECT_EQ(ran, std::vector<int>{1004});
    EXPECT_EQ(lastMenuCommand(), 1004);
    EXPECT_EQ(session.row(2).find("B1"), std::string::npos);  // the drop-down closed
}

TEST(Menu, ScriptChoosesByNumberOrByPromptPath) {
    UiSession session("menu 1005\nmenu B > B1\nmenu  b >  B2 \n");
    std::vector<int> ran;
    buildExample(ran);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(waitKey(), keys::MenuEvent);
    EXPECT_EQ(ran, (std::vector<int>{1005, 1003, 1004}));
}

TEST(Menu, KeyboardWalksTheBarAndDropDowns) {
    // F10 opens the bar at A (no drop-down), Right opens B, Down reaches B2.
    UiSession session("key F10\nkey Right\nkey Down\nkey Enter\nkey F10\nkey b\nkey 1\n");
    std::vector<int> ran;
    buildExample(ran);
    EXPECT_EQ(waitKey(), keys::MenuEvent);
    EXPECT_EQ(waitKey(), keys::MenuEvent);  // the hot-key letters B then 1
    EXPECT_EQ(ran, (std::vector<int>{1004, 1003}));
}

TEST(Menu, EscapeLeavesTheMenuWithoutRunningAnything) {
    UiSession session("key F10\nkey Right\nkey Esc\nkey x\n");
    std::vector<int> ran;
    buildExample(ran);
    EXPECT_EQ(waitKey(), 'x');
    EXPECT_TRUE(ran.empty());
}

TEST(Menu, DisabledItemIsGreyedAndRefusedByAScript) {
    UiSession session("menu Arquivo > Apagar\n");
    auto menu = LMenu::make();
    menu->subMenu("&Arquivo");
    bool ran = false;
    menu->menuItem(
        "&Apagar", [&ran](LMenuItem&, LDialog*) { ran = true; }, false);
    menu->endMenu();
    menu->create();
    std::string message;
    EXPECT_EQ(runUntilScriptEnds([] { waitKey(); }, &message), 2);
    EXPECT_NE(message.find("linha 1"), std::string::npos) << message;
    EXPECT_NE(message.find("desativado"), std::string::npos) << message;
    EXPECT_FALSE(ran);
    EXPECT_FALSE(menu->event(1002));
}

TEST(Menu, UnknownItemInAScriptStopsTheRunNamingItsLine) {
    UiSession session("# comment\nmenu 1999\n");
    std::vector<int> ran;
    buildExample(ran);
    std::string message;
    EXPECT_EQ(runUntilScriptEnds([] { waitKey(); }, &message), 2);
    EXPECT_NE(message.find("linha 2"), std::string::npos) << message;
}

TEST(Menu, CommandsGoToTheActiveWindowsMenu) {
    UiSession session("menu 1001\n");
    std::vector<int> ran;
    buildExample(ran);  // on the main window
    auto dialog = LDLGSHOW(5, 5, 15, 60, "Dialogo");
    auto own = LMenu::make(dialog.get());
    own->menuItem("&Fechar", [&ran](LMenuItem&, LDialog* window) {
        ran.push_back(-1);
        EXPECT_EQ(window, activeWindow().get());
    });
    own->create();
    EXPECT_EQ(waitKey(), keys::MenuEvent);
    EXPECT_EQ(ran, std::vector<int>{-1});
    EXPECT_EQ(session.row(0).substr(0, 8), " Fechar ");
}

TEST(Menu, WithoutAnActiveMenuTheHookReportsIt) {
    UiSession session("");
    clearDiagnostics();
    EXPECT_FALSE(dispatchMenuCommand(1001));
    ASSERT_FALSE(diagnostics().empty());
    EXPECT_EQ(diagnostics().back(),
              "Erro interno. Nao foi encontrado um menu ativo (LMenuActivate)");
}

TEST(Menu, ItemWithoutActionGivesADiagnostic) {
    UiSession session("menu 1001\n");
    auto menu = LMenu::make();
    menu->menuItem("Titulo");
    menu->create();
    clearDiagnostics();
    EXPECT_EQ(waitKey(), keys::MenuEvent);
    ASSERT_FALSE(diagnostics().empty());
    EXPECT_EQ(diagnostics().back(), "Error!! Action is not defined in menuItem");
}

TEST(Menu, WithoutCallEventTheProgramRunsTheCommandItself) {
    UiSession session("menu 1001\n");
    std::vector<int> ran;
    auto menu = buildExample(ran);
    menu->lCallEvent = false;
    EXPECT_EQ(waitKey(), keys::MenuEvent);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(lastMenuCommand(), 1001);
}
