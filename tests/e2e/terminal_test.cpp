// The program on a real terminal (tmux, TERM=xterm) and the terminal number
// it runs as.
#include <gtest/gtest.h>

#include "terminal_session.h"
#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class OnATerminal : public WholeProgram {};

}  // namespace

// tmux and PuTTY send Home and End as ESC[1~ and ESC[4~ whatever TERM says;
// read as Esc, End on the main screen used to end the program.
TEST_F(OnATerminal, NavigationKeysNeverActAsEsc) {
    if (!TerminalSession::available()) GTEST_SKIP() << "tmux is not installed";
    TerminalSession terminal(drive);
    ASSERT_TRUE(terminal.started());
    ASSERT_TRUE(terminal.waitFor("Exercício")) << terminal.pane();
    terminal.keys("End Home IC DC PPage NPage F11 F12");
    EXPECT_EQ(terminal.waitForExit(), -1) << terminal.pane();
    EXPECT_NE(terminal.pane().find("Exercício"), std::string::npos) << terminal.pane();
    // The keys that follow are read whole: Alt+T still ends the program.
    terminal.keys("M-t");
    EXPECT_EQ(terminal.waitForExit(), 0) << terminal.pane();
}

TEST_F(OnATerminal, ATerminalNumberThatIsNotOneOrTwoDigitsIsRefused) {
    for (const char* argument : {"abc", "100", "-1"}) {
        const ProgramRun refused = run({"expect Número de terminal inválido", "key Enter"}, {},
                                       "2025-06-15 10:00:00", argument);
        EXPECT_EQ(refused.exitCode, 1) << argument << ": " << refused.errors;
        EXPECT_FALSE(std::filesystem::exists(drive / "DIRET00.DBF")) << argument;
    }
    const ProgramRun fromEnvironment =
        run({"expect Número de terminal inválido: \"x7\"", "key Enter"}, {{"TERMINAL", "x7"}});
    EXPECT_EQ(fromEnvironment.exitCode, 1) << fromEnvironment.errors;
}

// Two copies on one terminal number would share its scratch tables.
TEST_F(OnATerminal, ASecondCopyOnATerminalNumberInUseIsRefused) {
    if (!TerminalSession::available()) GTEST_SKIP() << "tmux is not installed";
    TerminalSession first(drive, "05");
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(first.waitFor("Term. 05")) << first.pane();

    const ProgramRun second = run({"expect O kdx2 já está aberto no terminal 05", "key Enter"}, {},
                                  "2025-06-15 10:00:00", "5");
    EXPECT_EQ(second.exitCode, 1) << second.errors;
    const ProgramRun other = run({"expect Term. 06", "key Alt+T"}, {}, "2025-06-15 10:00:00", "06");
    EXPECT_EQ(other.exitCode, 0) << other.errors;

    first.keys("M-t");
    ASSERT_EQ(first.waitForExit(), 0) << first.pane();
    const ProgramRun after = run({"expect Term. 05", "key Alt+T"}, {}, "2025-06-15 10:00:00", "05");
    EXPECT_EQ(after.exitCode, 0) << after.errors;
}
