// What the screens show: texts, frames, menus and help, and that a window
// gives back what it covered.
#include <gtest/gtest.h>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class Screens : public WholeProgram {};

}  // namespace

TEST_F(Screens, TextsAreWholeAndReadable) {
    // The keys line of "Mudar CPF": its second word once lost its first letter
    // to the highlight mark before it.
    const ProgramRun renumber = run({"menu Opções > Mudar CPF", "expect CPF  Original"});
    ASSERT_EQ(renumber.exitCode, 0) << renumber.errors;
    ASSERT_EQ(renumber.screen.size(), 27u);
    EXPECT_EQ(trimmed(renumber.screen[25]), "[F1]Contribuintes por Nome[F2]Contribuintes por CPF");

    // The labels of the yearly summary fit its first column.
    Script summary = openNewTaxpayer();
    summary += {"menu Resumo (F6)", "expect Resumo Geral"};
    const ProgramRun shown = run(summary);
    ASSERT_EQ(shown.exitCode, 0) << shown.errors;
    ASSERT_EQ(shown.screen.size(), 27u);
    EXPECT_EQ(columns(shown.screen[6], 1, 23), "Rec. P.Jurídica (Tit.)│");
    EXPECT_EQ(columns(shown.screen[12], 1, 23), "Prev.Oficial (Tit+Dep)│");
    EXPECT_EQ(columns(shown.screen[22], 1, 23), "Desc. simplificado 20%│");
}
