// What the screens show: texts, frames, menus and help, and that a window
// gives back what it covered.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class Screens : public WholeProgram {
  protected:
    // The files of drive C: whose names start with one of the prefixes.
    std::string filesStartingWith(const std::vector<std::string>& prefixes) {
        std::string found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(drive)) {
            const std::string name = entry.path().filename().string();
            for (const std::string& prefix : prefixes)
                if (name.rfind(prefix, 0) == 0) found += name + " ";
        }
        return found;
    }
};

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

namespace {

std::vector<std::string> snapped(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> rows;
    for (std::string row; std::getline(in, row);)
        rows.push_back(row);
    rows.resize(27);
    return rows;
}

}  // namespace

// Windows leave nothing of what lies under them at their edges, and give
// back what they covered when they close.
TEST_F(Screens, WindowsCoverWhatIsUnderThemAndGiveItBack) {
    Script script = openNewTaxpayer();
    script +=
        {"menu Páginas > Recebidos de pFísicas (F2)", "expect 01-Jan",
         "key Enter",  // January's entries, over the month grid
         "expect Descrição das Receitas", "snap " + (drive / "entries.txt").string(), "key Esc",
         "expect 01-Jan", "key Esc", "key Alt+T", "expect Ordem CPF", "key Esc", "expect Exercício",
         "snap " + (drive / "title.txt").string(),
         // The cash book takes the taxpayer's box with it when it closes.
         "menu Declaração > Lancamentos", "type " + std::string(kNewCpf), "expect Plano de Conta",
         "menu Terminar > Sair", "snap " + (drive / "after.txt").string(),
         // The colour list is framed, and the title is whole again after it.
         "menu Opções > Mudar as Cores", "expect Fundo Geral",
         "snap " + (drive / "colours.txt").string(), "key Esc",
         "snap " + (drive / "closed.txt").string()};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    const auto entries = snapped(drive / "entries.txt");
    for (int row = 7; row <= 18; ++row) {
        EXPECT_EQ(trimmed(columns(entries[static_cast<size_t>(row)], 0, 2)), "")
            << "grid row " << row - 1 << ": " << entries[static_cast<size_t>(row)];
        EXPECT_EQ(trimmed(columns(entries[static_cast<size_t>(row)], 77, 3)), "")
            << "grid row " << row - 1 << ": " << entries[static_cast<size_t>(row)];
    }

    const auto after = snapped(drive / "after.txt");
    const auto title = snapped(drive / "title.txt");
    EXPECT_EQ(after, title) << "the taxpayer's box stayed on the screen";

    const auto colours = snapped(drive / "colours.txt");
    size_t textRow = 0;
    for (size_t row = 0; row < colours.size(); ++row)
        if (colours[row].find(" Texto ") != std::string::npos) textRow = row;
    ASSERT_GT(textRow, 0u);
    const size_t at = colours[textRow].find("│ Texto");
    EXPECT_NE(at, std::string::npos) << colours[textRow];
    EXPECT_NE(colours[textRow - 1].find("┌───"), std::string::npos) << colours[textRow - 1];
    EXPECT_NE(colours[textRow + 8].find("└───"), std::string::npos) << colours[textRow + 8];
    EXPECT_EQ(snapped(drive / "closed.txt"), title);
}

// F1 helps where the screen gives it no meaning of its own: on the main
// screen the general help, in a field being edited that field's help.
TEST_F(Screens, F1ShowsTheHelpOfTheScreenOrOfTheFieldBeingEdited) {
    Script script = {"expect Exercício",
                     "snap " + (drive / "title.txt").string(),
                     "key F1",
                     "expect H E L P",
                     "expect O kdx2 guarda as declarações de muitos",
                     "key Esc",
                     "snap " + (drive / "closed.txt").string()};
    script += openNewTaxpayer();
    script += {"menu Páginas > Recebidos de P.Jurídica(F1)",
               "expect Fonte pagadora",
               "type ACME",  // the payer's name being edited
               "key F1",
               "expect H E L P",
               "expect Nome da fonte pagadora ou do pagador, como consta",
               "key Esc",
               "expect ACME",
               "key Esc",
               "key Esc",
               "menu Terminar > Sai sem salvar as alterações",
               "expect Exercício"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(snapped(drive / "closed.txt"), snapped(drive / "title.txt"));
}

// A script that ends inside a browse unwinds the program as any other end
// does: the temporary order the browse built goes with it.
TEST_F(Screens, AScriptEndingInsideABrowseLeavesNoTemporaryOrderBehind) {
    Script script = openNewTaxpayer();
    script += {"menu Páginas > Recebidos de pFísicas (F2)",
               "expect 01-Jan",
               "key Enter",  // January's entries, in date order
               "type 0501",
               "key Enter",
               "key Right",
               "type ZZZ",
               "key Enter",
               "type 100",
               "key Enter",
               "expect ZZZ",
               "key Down",  // a second row
               "key Home",
               "type 1501",
               "key Enter",
               "key Right",
               "type AAA",
               "key Enter",
               "type 200",
               "key Enter",
               "expect AAA",
               "key Up",
               "key Home",
               "key Right",
               "key Alt+O",  // a temporary order on the description
               "expect AAA"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    ASSERT_EQ(result.screen.size(), 27u);
    auto rowOf = [&result](const std::string& text) {
        for (size_t row = 0; row < result.screen.size(); ++row)
            if (result.screen[row].find(text) != std::string::npos) return static_cast<int>(row);
        return -1;
    };
    // The order was built: the later entry now comes first.
    ASSERT_GE(rowOf("AAA"), 0);
    EXPECT_LT(rowOf("AAA"), rowOf("ZZZ"));
    EXPECT_EQ(filesStartingWith({"PRA_", "TMPX_"}), "");
}

// The same for the copy of the register a partial transfer marks in.
TEST_F(Screens, AScriptEndingInTheTransferMarkingLeavesNoCopyOfTheRegisterBehind) {
    Script script = openNewTaxpayer();
    script += {"key Alt+T",  // saved, so the data folder has its tables
               "expect Ordem CPF",
               "key Esc",
               "menu Opções > Trans.Declaração",
               "expect Drive e pasta",
               "key Enter",
               "type C:\\DEST",
               "key Enter",
               "expect Pasta nova para KDX? Cria-o ?",
               "key Enter",
               "expect PARCIAL",
               "key Enter",
               "expect COPIAR",
               "key Enter",
               "expect Marque com a letra"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(filesStartingWith({"TMPT9"}), "");
}
