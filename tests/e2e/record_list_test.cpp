// The record lists of the declaration as a user works them: rows added,
// deleted and edited, and what reaches the year tables.
#include <gtest/gtest.h>

#include <fstream>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

class RecordList : public WholeProgram {
  protected:
    // Runs the script, then leaves the declaration saving (Alt+T) and the
    // CPF prompt; the taxpayer's income rows as saved.
    std::vector<Row> savedIncomeRows(Script script) {
        script += {"key Alt+T", "expect Ordem CPF", "key Esc"};
        const ProgramRun result = run(script);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return rowsOf("IRM2.DBF");
    }
};

// One income row on the page of income from legal entities, its amount
// typed into January of the month window; the list is left standing on
// that row.
Script oneIncomeRow() {
    Script script = openNewTaxpayer();
    script += {"menu Páginas > Recebidos de P.Jurídica(F1)",
               "expect Fonte pagadora",
               "type ACME LTDA",
               "key Enter",
               "type 5000",
               "expect  Rendimentos  ",
               "key Enter",
               "key Esc"};
    return script;
}

}  // namespace

// Deleting a row is answered "Não" by a plain Enter: the question opens on it.
TEST_F(RecordList, EnterAtTheDeletionQuestionKeepsTheRow) {
    Script script = oneIncomeRow();
    script += {"key Up",    "key Del",          "expect Confirma a Exclusão dessa linha?",
               "key Enter", "expect ACME LTDA", "key Esc",
               "key Alt+T", "expect Ordem CPF", "key Esc"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::vector<Row> kept = rowsOf("IRM2.DBF");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(field(kept[0], "I1_401"), "5000.0");
    EXPECT_EQ(field(kept[0], "I1_413"), "5000.0");

    // "Sim" still deletes it.
    Script yes = {"key Alt+I",
                  "type " + std::string(kNewCpf),
                  "menu Páginas > Recebidos de P.Jurídica(F1)",
                  "expect ACME LTDA",
                  "key Del",
                  "expect Confirma a Exclusão",
                  "key Left",
                  "key Enter",
                  "key Esc",
                  "key Alt+T",
                  "expect Ordem CPF",
                  "key Esc"};
    const ProgramRun deleted = run(yes);
    ASSERT_EQ(deleted.exitCode, 0) << deleted.errors;
    EXPECT_TRUE(rowsOf("IRM2.DBF").empty());
}

// "3000.00" typed on the keypad is 3.000,00; an amount too large for its
// month is refused with a message and never spills into the next month.
TEST_F(RecordList, AmountsTakeThePointAsTheDecimalKeyAndTooLargeOnesAreRefused) {
    Script script = openNewTaxpayer();
    script += {"menu Páginas > Recebidos de P.Jurídica(F1)",
               "expect Fonte pagadora",
               "type ACME LTDA",
               "key Enter",
               "type 3000.00",  // full decimals move on to February
               "expect  Rendimentos  ",
               "type 99999999999",
               "expect Valor grande demais para este campo: o máximo é 99.999.999,99",
               "key Enter",
               "key Esc",  // the refused value is dropped, the window closes
               "key Right",
               "key Right",  // "Imposto Fonte"
               "type 1234,5",
               "key Enter",
               "key Esc",
               "key Esc"};
    const auto rows = savedIncomeRows(script);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "I1_401"), "3000.0");
    EXPECT_EQ(field(rows[0], "I1_402"), "0.0");
    EXPECT_EQ(field(rows[0], "I1_413"), "3000.0");
    EXPECT_EQ(field(rows[0], "I1_613"), "0.0");
    EXPECT_EQ(field(rows[0], "I1_501"), "1234.5");
    EXPECT_EQ(field(rows[0], "I1_513"), "1234.5");
}

// A pasted description longer than its column is cut at the column's width;
// its rest never reaches the amount beside it.
TEST_F(RecordList, APasteLongerThanItsColumnIsCutThere) {
    const std::string longName(60, 'X');
    Script script = openNewTaxpayer();
    script += {"menu Páginas > Recebidos de P.Jurídica(F1)",
               "expect Fonte pagadora",
               "paste " + longName + " 26350",
               "key Enter",
               "type 100",
               "key Enter",
               "key Esc"};
    const auto rows = savedIncomeRows(script);
    ASSERT_EQ(rows.size(), 1u);
    const std::string name = field(rows[0], "I1_2");
    EXPECT_EQ(name, longName.substr(0, name.size()));
    EXPECT_GE(name.size(), 20u);
    EXPECT_EQ(field(rows[0], "I1_413"), "100.0");
}

// The folder list: a new folder is typed on a line of its own after the last
// one, and the "S" typed on it marks that folder.
TEST_F(RecordList, NewFoldersAreTypedBelowTheLastAndMarkedWithS) {
    std::filesystem::create_directories(drive / "A");
    const std::string typing = (drive / "typing.txt").string();
    const ProgramRun result = run({"menu Declaração > Pastas", "expect SEL", "key Down",
                                   "key Right", "type C:\\A", "snap " + typing, "key Enter",
                                   "key Up", "key Left", "type S", "key Esc", "expect Exercício"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    std::ifstream shown(typing);
    std::vector<std::string> rows;
    for (std::string row; std::getline(shown, row);)
        rows.push_back(row);
    ASSERT_GE(rows.size(), 17u);
    EXPECT_EQ(trimmed(columns(rows[15], 19, 20)), "S   │C:\\") << "the first line was written over";
    EXPECT_EQ(trimmed(columns(rows[16], 19, 20)), "│C:\\A");

    const auto folders = records("DIRET00.DBF");
    ASSERT_EQ(folders.size(), 2u) << "a blank folder was left in the list";
    for (const auto& folder : folders)
        EXPECT_EQ(field(folder, "SELEC"), field(folder, "DIRETOR") == "C:\\A" ? "S" : "N");
}

// A two-digit year is read in the tax years' window ("150125" is 15/01/2025,
// not 1925); a day that does not exist is refused with a message.
TEST_F(RecordList, DatesWithTwoDigitYearsAndImpossibleDays) {
    Script script = openNewTaxpayer();
    script += {"menu Páginas > Recebidos de pFísicas (F2)",
               "expect 01-Jan",
               "key Enter",
               "type 310225",
               "key Enter",
               "expect Data inválida: 31/02/25",
               "key Enter",
               "key Home",
               "key Ctrl+Y",
               "type 150125",
               "key Enter",
               "key Right",
               "type ALUGUEL",
               "key Enter",
               "type 100",
               "key Enter",
               "key Esc",
               "key Esc"};
    const auto rows = savedIncomeRows(script);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "DT_LC"), "2025-01-15");
    EXPECT_EQ(field(rows[0], "I1_2"), "ALUGUEL");
}

// A CPF whose check digits are wrong is refused at the prompt, saying why.
TEST_F(RecordList, AWrongCpfAtThePromptIsRefusedSayingWhy) {
    const ProgramRun result =
        run({"key Alt+I", "expect Ordem CPF", "type 11144477736",
             "expect ATENÇÃO! CPF 111.444.777-36 está incorreto.",
             "expect O dígito para esse número é:35", "key Enter", "key Esc", "expect Exercício"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_FALSE(std::filesystem::exists(drive / "IRM9.DBF") && !records("IRM9.DBF").empty());
}
