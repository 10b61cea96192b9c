// What the screens show: texts, frames, menus and help, and that a window
// gives back what it covered.
#include <gtest/gtest.h>

#include <fstream>

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
    summary += {"menu Páginas > Resumo (F6)", "expect Resumo Geral"};
    const ProgramRun shown = run(summary);
    ASSERT_EQ(shown.exitCode, 0) << shown.errors;
    ASSERT_EQ(shown.screen.size(), 27u);
    EXPECT_EQ(columns(shown.screen[6], 1, 23), "Rec. P.Jurídica (Tit.)│");
    EXPECT_EQ(columns(shown.screen[12], 1, 23), "Prev.Oficial (Tit+Dep)│");
    EXPECT_EQ(columns(shown.screen[22], 1, 23), "Desc. simplificado 20%│");
}

// The declaration's bar once ran past column 80 and hid half its items.
TEST_F(Screens, TheDeclarationMenuFitsAndEveryItemIsReachedByItsHotKey) {
    Script script = openNewTaxpayer();
    script += {"snap " + (drive / "bar.txt").string(),
               // Ctrl+F10 (F10 is a page key here), then hot keys all the way down.
               "key Ctrl+F10", "key P", "expect Recebidos de P.Jurídica(F1)", "expect Resumo (F6)",
               "key J", "expect Fonte pagadora", "key Esc",
               // The arrows reach the same drop-down, with every caption shown.
               "key Ctrl+F10", "key Right", "expect Identificação  (F10)", "key Left",
               "expect Identificação (F5)", "key Esc",
               // Ajuda > Sobre by its letters, Terminar > Sai sem salvar by its letters.
               "key Ctrl+F10", "key A", "key S", "expect KDX2 Versão", "key Enter", "key Ctrl+F10",
               "key T", "key M", "expect Exercício"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    std::ifstream saved(drive / "bar.txt");
    std::string bar;
    std::getline(saved, bar);
    EXPECT_EQ(trimmed(columns(bar, 0, 55)), "Páginas  Rural  Ajuda  Calculadora (Alt K)  Terminar")
        << bar;
}
