#include <gtest/gtest.h>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class Declaration : public WholeProgram {
  protected:
    // The rows of the income table that belong to the taxpayer.
    std::vector<std::map<std::string, std::string>> incomeRows() {
        std::vector<std::map<std::string, std::string>> mine;
        if (!std::filesystem::exists(drive / "IRM2.DBF")) return mine;
        for (const auto& row : records("IRM2.DBF"))
            if (trimmed(row.at("CPF")) == kCpf) mine.push_back(row);
        return mine;
    }

    static constexpr const char* kCpf = "11144477735";
};

// Command 11 on a CPF found nowhere, created in the data folder, then one
// income row typed on the page of income from legal entities: the amount
// goes into January of the month window, which Esc closes; the browse is
// left with Esc and the declaration with `leave`.
Script newTaxpayerWithOneIncomeRow(const std::string& leave) {
    return {"key Alt+I",
            "expect Ordem CPF",
            std::string("type ") + "11144477735",
            "expect Inclui na pasta atual?",
            "key Enter",
            "expect Páginas  Rural  Ajuda",
            "menu Páginas > Recebidos de P.Jurídica(F1)",
            "expect Fonte pagadora",
            "type ACME LTDA",
            "key Enter",
            "type 5000",
            "expect  Rendimentos  ",
            "key Enter",
            "key Esc",
            "key Esc",
            leave};
}

}  // namespace

TEST_F(Declaration, AnIncomeRowTypedAndSavedIsThereWhenTheTaxpayerIsOpenedAgain) {
    Script script = newTaxpayerWithOneIncomeRow("key Alt+T");
    // Saving leads back to the CPF prompt for the next taxpayer: the same one.
    const Script reopen = {"expect Ordem CPF",
                           std::string("type ") + kCpf,
                           "expect Páginas  Rural  Ajuda",
                           "menu Páginas > Recebidos de P.Jurídica(F1)",
                           "expect ACME LTDA",
                           "expect 5.000,00",
                           "key Esc",
                           "menu Terminar > Sai sem salvar as alterações",
                           "expect Exercício"};
    script.insert(script.end(), reopen.begin(), reopen.end());
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    const auto rows = incomeRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "I1_1"), "J");
    EXPECT_EQ(field(rows[0], "I1_2"), "ACME LTDA");
    EXPECT_EQ(field(rows[0], "I1_413"), "5000.0");

    const auto registered = records("IRM9.DBF");
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(field(registered[0], "CPF"), kCpf);
}

TEST_F(Declaration, LeavingWithoutSavingStoresNothing) {
    const ProgramRun result =
        run(newTaxpayerWithOneIncomeRow("menu Terminar > Sai sem salvar as alterações"));
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_TRUE(incomeRows().empty());
}

TEST_F(Declaration, F4BringsBackTheWorkLeftWithoutSaving) {
    Script script = newTaxpayerWithOneIncomeRow("menu Terminar > Sai sem salvar as alterações");
    const Script recover = {
        "expect Exercício", "key Alt+I", "expect Ordem CPF", "key F4",
        // Never saved, so registered nowhere yet.
        "expect Inclui na pasta atual?", "key Enter", "expect Páginas  Rural  Ajuda",
        "menu Páginas > Recebidos de P.Jurídica(F1)", "expect ACME LTDA", "key Esc", "key Alt+T",
        "expect Ordem CPF", "key Esc", "expect Exercício"};
    script.insert(script.end(), recover.begin(), recover.end());
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto rows = incomeRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "I1_2"), "ACME LTDA");
}

TEST_F(Declaration, EscAsksHowToLeaveAndItsOwnEscStaysInTheDeclaration) {
    Script script = newTaxpayerWithOneIncomeRow("key Esc");
    const Script rest = {"expect Termina a Declaração?",
                         "expect Cancelar.. Sai sem salvar as alterações.",
                         "key Esc",
                         "expect Páginas  Rural  Ajuda",
                         "key Esc",
                         "expect Termina a Declaração?",
                         "key Enter",  // Sim: saves and goes back to the CPF prompt
                         "expect Ordem CPF",
                         "key Esc",
                         "expect Exercício"};
    script.insert(script.end(), rest.begin(), rest.end());
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto rows = incomeRows();
    ASSERT_EQ(rows.size(), 1u);
    // The amount typed in the month window is January's and the year's total.
    EXPECT_EQ(field(rows[0], "I1_401"), "5000.0");
    EXPECT_EQ(field(rows[0], "I1_402"), "0.0");
    EXPECT_EQ(field(rows[0], "I1_413"), "5000.0");
}

TEST_F(Declaration, TheCashBookCommandOpensTheTaxpayersEntries) {
    const Script script = {"key Alt+I",
                           "type " + std::string(kCpf),
                           "key Enter",
                           "key Alt+T",
                           "key Esc",
                           "menu Declaração > Lancamentos",
                           "type " + std::string(kCpf),
                           "expect Plano de Conta"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
}

TEST_F(Declaration, AltTInsideAPageSavesAndLeavesThePageAndTheDeclaration) {
    Script script = newTaxpayerWithOneIncomeRow("key Alt+T");
    script.erase(script.end() - 2);  // the Esc that ended the page
    script.push_back("expect Ordem CPF");
    script.push_back("key Esc");
    script.push_back("expect Exercício");
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    ASSERT_EQ(incomeRows().size(), 1u);
}

TEST_F(Declaration, PagesOpenTheirListsAndRuralItemsAskForRuralActivity) {
    const Script script = {"key Alt+I",
                           "type " + std::string(kCpf),
                           "key Enter",
                           "key Alt+H",  // the time counter paused and resumed
                           "expect Off",
                           "key Alt+H",
                           "expect  On",
                           "menu Páginas > Recebidos de pFísicas (F2)",
                           "expect Pes.Física",
                           "expect 12-Dez",
                           "key Esc",
                           "key F3",
                           "expect Nome Completo",
                           "key Esc",
                           "menu Páginas > Resumo (F6)",
                           "expect Resumo Geral",
                           "key Esc",
                           "menu Rural > Identificação  (F10)",
                           "expect da Atividade Rural. Se for o caso",
                           "key Enter",
                           "menu Páginas > Identificação (F5)",
                           "expect Tem Atividade Rural",
                           "key Esc",
                           "menu Ajuda > Sobre",
                           "expect KDX2 Versão",
                           "key Enter",
                           "menu Terminar > Sai sem salvar as alterações",
                           "expect Exercício"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
}

// The folder the user is shown is the folder the declaration is read from and
// saved into: a taxpayer found only in another registered folder makes that
// folder current, and the user is told so.
TEST_F(Declaration, ATaxpayerOfAnotherFolderIsOpenedThereAndTheUserIsTold) {
    std::filesystem::create_directories(drive / "A");
    std::filesystem::create_directories(drive / "B");
    Script script = {"menu Declaração > Pastas",
                     "key Down",
                     "key Right",
                     "type C:\\A",
                     "key Enter",
                     "key Up",
                     "key Left",
                     "type S",
                     "key Esc"};
    script += newTaxpayerWithOneIncomeRow("key Alt+T");
    script += {"expect Ordem CPF",
               "key Esc",
               "menu Declaração > Pastas",
               "key Ctrl+PgDn",
               "key Down",
               "key Right",
               "type C:\\B",
               "key Enter",
               "key Up",
               "key Left",
               "type S",
               "key Esc",
               "key Alt+I",
               "expect C:\\B",
               "type " + std::string(kCpf),
               "expect cadastrado na pasta C:\\A,",
               "expect que passa a ser a pasta atual.",
               "key Enter",
               "menu Páginas > Recebidos de P.Jurídica(F1)",
               "expect ACME LTDA",
               "key Esc",
               "key Alt+T",
               "expect Ordem CPF",
               "expect C:\\A",
               "key Esc"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(rowsOf("A/IRM2.DBF", kCpf).size(), 1u);
    EXPECT_TRUE(rowsOf("B/IRM2.DBF", kCpf).empty());
    for (const auto& folder : records("DIRET00.DBF"))
        EXPECT_EQ(field(folder, "SELEC"), field(folder, "DIRETOR") == "C:\\A" ? "S" : "N");
}
