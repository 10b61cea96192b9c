#include <gtest/gtest.h>

#include <ctime>

#include "base/cp850.h"
#include "base/date.h"
#include "platform/console/console.h"
#include "platform/console/keys.h"
#include "ui/button.h"
#include "ui/dialog.h"
#include "ui/msgalert.h"
#include "ui/statusbar.h"
#include "ui_session.h"

using namespace kdx2;
using namespace kdx2::ui;
using kdx2::base::Value;
using kdx2::ui::testing::runUntilScriptEnds;
using kdx2::ui::testing::UiSession;
namespace keys = kdx2::platform::keys;

TEST(Windows, DialogIsFramedTitledAndGivesTheFocusBackWhenClosed) {
    UiSession session("");
    auto main = LWindowMain::load();
    ASSERT_TRUE(main);
    EXPECT_EQ(main->nWnd, 0);
    say(0, 0, "principal");
    auto dialog = LDLGSHOW(5, 10, 9, 40, "Titulo");
    EXPECT_EQ(activeWindow(), dialog);
    EXPECT_EQ(lastWindow(), dialog);
    say(0, 0, "dentro");
    EXPECT_EQ(session.row(1 + 5).find("dentro"), session.row(1 + 5).find("\u2551") + 3);
    EXPECT_NE(session.row(1 + 4).find(" Titulo "), std::string::npos);  // in the frame
    EXPECT_EQ(session.row(1).substr(0, 9), "principal");
    LDLGCLOSE();
    EXPECT_TRUE(dialog->lClosed);
    EXPECT_EQ(activeWindow(), main);
    EXPECT_EQ(windowList().size(), 1u);
    EXPECT_FALSE(session.shows("dentro"));
}

TEST(Windows, CloseIsRefusedWhileAFormIsReadAndForTheLastWindow) {
    UiSession session("key F9\nkey F8\n");
    auto dialog = LDLGSHOW(5, 10, 9, 40, "Form");
    Value text("    ");
    GetList form{Get::of(1, 1, text)};
    bool closedInside = true;
    bindKey(keys::function(9), [&](Get*) { closedInside = dialog->close(); });
    bindKey(keys::function(8), [&](Get*) { dialog->end(); });
    clearDiagnostics();
    dialog->readmodal(form);
    EXPECT_FALSE(closedInside);
    ASSERT_FALSE(diagnostics().empty());
    EXPECT_EQ(diagnostics()[0], ":close() window ignored. Gets actives, uses :end() or :cancel().");
    EXPECT_EQ(dialog->nExit, 2);
    EXPECT_TRUE(dialog->close());
    EXPECT_FALSE(dialog->close());               // already closed
    EXPECT_FALSE(LWindowMain::load()->close());  // never the last window
    EXPECT_TRUE(LWindowMain::load()->created());
}

TEST(Windows, KeysBoundByAWindowAreRestoredWhenItCloses) {
    UiSession session("");
    int which = 0;
    bindKey(keys::function(5), [&which](Get*) { which = 1; });
    auto dialog = LDLGSHOW(2, 2, 10, 50, "Teclas");
    dialog->setKey(keys::function(5), [&which](Get*) { which = 2; });
    dialog->setKey(keys::function(5), [&which](Get*) { which = 3; });
    dialog->setKey(keys::function(6), [&which](Get*) { which = 4; });
    SETKEYEVAL(keys::function(5));
    EXPECT_EQ(which, 3);
    dialog->close();
    SETKEYEVAL(keys::function(5));
    EXPECT_EQ(which, 1);  // the binding from before the window, not the middle one
    EXPECT_FALSE(isBound(keys::function(6)));
}

TEST(Windows, SetKeyOffSuspendsBindingsAndEvalUnbindsWhileRunning) {
    UiSession session("");
    int runs = 0;
    bool boundInside = true;
    bindKey(keys::function(4), [&](Get*) {
        ++runs;
        boundInside = isBound(keys::function(4));
    });
    SETKEYOFF();
    EXPECT_FALSE(SETKEYEVAL(keys::function(4)));
    SETKEYON();
    EXPECT_TRUE(SETKEYEVAL(keys::function(4)));
    EXPECT_FALSE(boundInside);
    EXPECT_TRUE(isBound(keys::function(4)));
    EXPECT_TRUE(SETKEYEVAL(keys::function(4), true));
    EXPECT_TRUE(boundInside);
    EXPECT_EQ(runs, 2);
}

TEST(Windows, ActivateRunsBoundKeysUntilEscOrEnd) {
    UiSession session("key F3\nkey F3\nkey F2\nkey x\n");
    auto dialog = LDLGSHOW(2, 2, 10, 50, "Laço");
    int count = 0;
    dialog->setKey(keys::function(3), [&count](Get*) { ++count; });
    dialog->setKey(keys::function(2), [&dialog](Get*) { dialog->end(5); });
    LACTIVATE();
    EXPECT_EQ(count, 2);
    EXPECT_EQ(dialog->nExit, 2);
    EXPECT_EQ(dialog->nEnd, 5);
    EXPECT_EQ(waitKey(), keys::Enter);  // end() outside a form pushes Enter
    EXPECT_EQ(waitKey(), 'x');
}

TEST(Windows, WritesOutsideTheGridAreClipped) {
    UiSession session("");
    const std::string wide(200, 'x');
    say(24, 70, wide);
    say(-3, -10, wide);
    EXPECT_EQ(session.row(1 + 24).substr(70), std::string(10, 'x'));
    EXPECT_EQ(session.row(26).find('x'),
              std::string::npos);  // the status bar row is not the grid's
    clearArea(20, 70, 40, 200);
    auto saved = saveScreen(-5, -5, 100, 100);
    restScreen(saved);
    auto dialog = LDialog::make(20, 70, 40, 120);  // rectangle kept inside the grid
    EXPECT_EQ(dialog->nBottom, 24);
    EXPECT_EQ(dialog->nRight, 79);
    EXPECT_TRUE(dialog->showWindow());
    say(0, 0, wide);  // the dialog's own grid is 5 x 10
    EXPECT_NE(session.row(1 + 20).find("\u2551xxxxxxxxx"), std::string::npos);
}

TEST(StatusBar, PartsAreDrawnAndCallbacksRefreshOnTheTimer) {
    UiSession session("wait 1\nkey x\nwait 2\nkey y\n");
    int ticks = 0;
    auto bar = LSBDRAW({std::string(250, ' ')});
    EXPECT_EQ(bar->aPart[0]->nWidth, 250);
    bar->aPart[0]->setText("Pronto");
    bar->partAdd([&ticks] { return "t" + std::to_string(ticks++); });
    bar->reset();
    EXPECT_EQ(LWindowMain::load()->nTimer >= 0, true);
    EXPECT_EQ(session.row(26).substr(0, 6), "Pronto");
    const int first = ticks;
    waitKey();  // one second passes: the timer redraws the bar
    EXPECT_GT(ticks, first);
    const int second = ticks;
    waitKey();
    EXPECT_GE(ticks, second + 2);
}

TEST(MessageBox, EscapeReturnsZeroAndButtonsTheirNumber) {
    UiSession session("key Esc\nkey Right\nkey Enter\n");
    EXPECT_EQ(MSGALERT("Primeira;Segunda", {"Sim", "Nao"}), 0);
    EXPECT_EQ(MSGALERT("Outra", {"Sim", "Nao"}), 2);
    EXPECT_EQ(windowList().size(), 1u);  // both boxes closed
}

TEST(MessageBox, WithoutExitOnEscOnlyAButtonEndsIt) {
    UiSession session("key Esc\nkey PgDn\nkey Tab\nkey Tab\nkey Enter\n");
    EXPECT_EQ(MSGALERT("Escolha", {"1", "2", "3"}, "", "", false), 3);
}

TEST(MessageBox, TwentyLinesGiveNineteenRowsAndScroll) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 20; ++i)
        lines.push_back("linha " + std::to_string(i));
    const AlertLayout layout = alertLayout(lines, {"<ENTER>"}, "");
    EXPECT_EQ(layout.bottom - layout.top + 1, 19);
    EXPECT_EQ(layout.shownLines, 16);
    EXPECT_EQ(layout.top, 12 - 9 - 1);
    UiSession session("expect linha 16\nkey PgDn\nexpect linha 20\nkey Enter\n");
    bindKey(keys::function(7), [](Get*) {});
    EXPECT_EQ(MSGALERT(lines), 1);
    EXPECT_TRUE(isBound(keys::function(7)));  // bindings came back after the box
    EXPECT_FALSE(isBound(keys::PgDn));
}

TEST(MessageBox, ALineWiderThanTheBoxGoesOnInTheRowsBelow) {
    // 104 characters: the box stops at 76 columns, so the line is broken
    // after its last blank that fits and the box is one row taller.
    const std::string line =
        "Os dados do contribuinte não foram gravados porque a tabela de "
        "rendimentos está em uso em outro terminal";
    UiSession session(
        "expect gravados porque a tabela de rendimentos\nexpect está em uso em outro terminal\nkey "
        "Enter\n");
    const std::vector<std::string> lines{base::cp850::fromUtf8(line)};
    EXPECT_EQ(alertLayout(lines, {"<ENTER>"}, "").shownLines, 2);
    EXPECT_EQ(MSGALERT(lines), 1);
}

TEST(MessageBox, ButtonCaptionsAreCentredInTen) {
    EXPECT_EQ(buttonCaption("Sim"), "   Sim    ");
    EXPECT_EQ(buttonCaption("&Sim"), "   &Sim    ");
    EXPECT_EQ(buttonCaption(" Sim"), " Sim");
    EXPECT_EQ(buttonCaption("Sim "), "Sim ");
    EXPECT_EQ(buttonCaption("Confirmar tudo"), "Confirmar tudo");
    UiSession session("snap /dev/null\nkey Enter\n");
    const AlertLayout layout = alertLayout({"Texto"}, {"Sim", "Nao"}, "Aviso");
    // Two buttons of 10 + 2 columns, one apart: the box is 24 + 3 wide.
    EXPECT_EQ(layout.right - layout.left + 1, 27);
    // A bound Enter is suspended while the box reads its buttons.
    bool boundRan = false;
    bindKey(keys::Enter, [&boundRan](Get*) { boundRan = true; });
    EXPECT_EQ(MSGALERT("Texto", {"Sim", "Nao"}, "", "Aviso"), 1);
    EXPECT_FALSE(boundRan);
    EXPECT_TRUE(isBound(keys::Enter));
}

TEST(Clock, EveryLayerReadsTheDateOfTheRunningConsole) {
    base::Date first;
    {
        UiSession session("wait 86400\nkey x\n");
        first = base::Date::today();
        EXPECT_EQ(first, today());
        EXPECT_EQ(waitKey(), 'x');
        // A day passed on the console, none on the host.
        EXPECT_EQ(base::Date::today(), first.plusDays(1));
    }
    // Without a console the host's date again.
    EXPECT_EQ(base::Date::today(), platform::localTimeAt(std::time(nullptr)).date);
}
