// The checks of the declaration's cells and the lookup lists, typed as a
// user would, with the saved tables read back by an independent reader.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

constexpr const char* k2026 = "2026-06-15 10:00:00";

class Fields : public WholeProgram {
  protected:
    // Runs the script, leaves the declaration saving it and returns the
    // taxpayer's rows of `table`.
    std::vector<Row> saved(Script script, const std::string& table) {
        script += {"key Alt+T", "expect Ordem CPF", "key Esc"};
        const ProgramRun result = run(script, {}, k2026);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return rowsOf(table);
    }
};

Script onPage(const std::string& item, const std::string& heading) {
    Script script = openNewTaxpayer();
    script += {"menu Páginas > " + item, "expect " + heading};
    return script;
}

}  // namespace

// A son claimed at 25 is refused with the age rule until the code says he
// cannot work (23); the code typed and the date are then kept.
TEST_F(Fields, ADependantPastTheAgeOfHisCodeIsRefusedUntilTheCodeChanges) {
    Script script = onPage("Dependentes (F3)", "Nome Completo");
    script +=
        {"type FILHO", "key Enter", "key Right", "type 21", "key Enter",
         // 01/01/2001 fills the date: it is checked at once.
         "type 01012001", "expect pessoa não pode mais ser dependente. Exceto",
         "expect se ela for incapacitado física ou mentalmente", "key Enter", "key Esc", "key Left",
         "type 23", "expect incapacitado", "key Enter", "type 01012001", "key Esc"};
    const std::vector<Row> rows = saved(script, "IRM3.DBF");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "NOMEDEPEN"), "FILHO");
    EXPECT_EQ(field(rows[0], "CODIDEPEN"), "23");
    EXPECT_EQ(field(rows[0], "DATADEPEN"), "2001-01-01");
}

// A dependant's CPF with wrong check digits and a relation code that does
// not exist are refused; the code list opens instead, and Esc there keeps
// nothing.
TEST_F(Fields, ADependantsWrongCpfAndUnknownCodeAreNotStored) {
    Script script = onPage("Dependentes (F3)", "Nome Completo");
    script += {"type FILHO",
               "key Enter",
               "key Right",
               "type 77",
               "expect Relação de dependência",
               "expect Alimentando",
               "key Esc",
               "expect O código 77 não é uma relação de dependência.",
               "key Enter",
               "key Esc",
               "key Right",
               "key Right",
               "type 12345678900",
               "expect ATENÇÃO! CPF 123.456.789-00 está incorreto.",
               "key Enter",
               "key Esc",
               "key Esc"};
    const std::vector<Row> rows = saved(script, "IRM3.DBF");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "CODIDEPEN"), "0");
    EXPECT_EQ(field(rows[0], "CPFDEPEN"), "");
}

// A payment to a doctor keeps no non-deductible part: typed in the month
// window it becomes 0 with the warning when the window closes, months and
// all; the total beside it keeps its months.
TEST_F(Fields, ANonDeductiblePartOfAMedicalPaymentBecomesZero) {
    Script script = onPage("Pagamentos (F4)", "Nome do benefici");
    script += {"type DR FULANO",
               "key Enter",
               "key Right",
               "type 10",
               "expect Médicos no Brasil",
               "key Right",
               "key Right",
               "type 300",
               "expect  Total Despesa",
               "key Enter",
               "type 200",
               "key Enter",
               "key Esc",
               "expect 500,00",
               "key Right",
               "type 100",
               "expect  Não Dedutível",
               "key Enter",
               "key Esc",
               "expect Valores não dedutíveis só deve ser usado",
               "key Enter",
               "key Esc"};
    const std::vector<Row> rows = saved(script, "IRM6.DBF");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "I6_3"), "10");
    EXPECT_EQ(field(rows[0], "I6_401"), "300.0");
    EXPECT_EQ(field(rows[0], "I6_402"), "200.0");
    EXPECT_EQ(field(rows[0], "I6_4"), "500.0");
    EXPECT_EQ(field(rows[0], "I6_5"), "0.0");
    EXPECT_EQ(field(rows[0], "I6_501"), "0.0");
}

// Company income: a row typed, an account that does not exist refused with
// the list of the company accounts only, one chosen with F1, saved and seen
// again when the declaration is opened once more.
TEST_F(Fields, CompanyIncomeIsTypedWithAnAccountOfItsKindAndComesBack) {
    Script script = onPage("Recebidos de P.Jurídica(F1)", "Fonte pagadora");
    script += {"type ACME LTDA", "key Enter", "type 5000", "expect  Rendimentos  ", "key Enter",
               "key Esc",
               // To the account column: refused, then the list of kind "J".
               "key End", "key Right", "key Right", "key Right", "type 9999",
               "expect A conta 9999 não existe no plano de contas.", "key Enter",
               "expect Plano de contas", "expect 2114", "key Esc", "key Esc",
               // F1 on the empty cell: only the accounts of company income.
               "key Enter", "key F1", "expect Salários, pró-labore", "key Ctrl+PgUp", "expect 2000",
               "key Down", "key Enter", "key Esc"};
    std::vector<Row> rows = saved(script, "IRM2.DBF");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "I1_1"), "J");
    EXPECT_EQ(field(rows[0], "I1_2"), "ACME LTDA");
    EXPECT_EQ(field(rows[0], "I1_401"), "5000.0");
    EXPECT_EQ(field(rows[0], "I1_413"), "5000.0");
    EXPECT_EQ(field(rows[0], "CDCONTA"), "2001");

    const ProgramRun again =
        run({"key Alt+I", "expect Ordem CPF", std::string("type ") + kNewCpf,
             "expect Páginas  Rural  Ajuda", "menu Páginas > Recebidos de P.Jurídica(F1)",
             "expect ACME LTDA", "expect 5.000,00"},
            {}, k2026);
    EXPECT_EQ(again.exitCode, 0) << again.errors;
}

// Ins opens a new row under the last one, as the footer says.
TEST_F(Fields, InsAddsARowToTheCompanyIncome) {
    Script script = onPage("Recebidos de P.Jurídica(F1)", "Fonte pagadora");
    script += {"type ACME LTDA",   "key Enter",
               "key Esc",          "menu Páginas > Recebidos de P.Jurídica(F1)",
               "expect ACME LTDA", "key Ins",
               "type BETA SA",     "key Enter",
               "key Esc"};
    const std::vector<Row> rows = saved(script, "IRM2.DBF");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(field(rows[0], "I1_2"), "ACME LTDA");
    EXPECT_EQ(field(rows[1], "I1_2"), "BETA SA");
}

// The kind of an income from individuals takes only T, A, O or blank: a
// wrong letter or punctuation is refused saying which letters serve.
TEST_F(Fields, TheKindOfAnIncomeFromIndividualsTakesOnlyItsLetters) {
    Script script = onPage("Recebidos de pFísicas (F2)", "01-Jan");
    script += {"key Enter",
               "type 150126",
               "key Enter",
               "key Right",
               "type ALUGUEL",
               "key Enter",
               "type 100",
               "key Enter",
               "key Right",
               "type X",
               "expect O caracter X digitado esta errado",
               "key Enter",
               "key Esc",
               "type .",
               "expect O caracter . digitado esta errado",
               "key Enter",
               "key Esc",
               "type A",
               "key Enter",
               "key Esc",
               "key Esc"};
    const std::vector<Row> rows = saved(script, "IRM2.DBF");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "I1_1"), "F");
    EXPECT_EQ(field(rows[0], "I1_41"), "A");
    EXPECT_EQ(field(rows[0], "DT_LC"), "2026-01-15");
}

// A damaged chart of accounts is said, and the account is taken as typed.
TEST_F(Fields, ADamagedChartOfAccountsLeavesTheAccountToBeTypedByHand) {
    ASSERT_EQ(run({}, {}, k2026).exitCode, 0);  // the install folder's tables
    {
        std::fstream chart(drive / "CONTAS.DBF", std::ios::in | std::ios::out | std::ios::binary);
        chart.seekp(4);
        chart.write("\xff\xff\xff\x7f", 4);  // far more records than the file holds
    }
    Script script = onPage("Recebidos de P.Jurídica(F1)", "Fonte pagadora");
    script += {"type ACME", "key Enter",
               "key End",   "key Right",
               "key Right", "key Right",
               "type 2001", "expect está danificado",
               "key Enter", "expect A tabela de consulta nº 58 não pôde ser aberta",
               "key Enter", "key Esc"};
    const std::vector<Row> rows = saved(script, "IRM2.DBF");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], "CDCONTA"), "2001");
}

// Alt+N switches the carnê-leão basis carried to the summary: the user is
// told, and the "*" moves to the column now carried.
TEST_F(Fields, AltNMovesTheCarneLeaoMarkToTheColumnCarried) {
    Script script = onPage("Recebidos de pFísicas (F2)", "01-Jan");
    script += {"expect Leão Pago  │CL.Devido*",
               "key Alt+N",
               "expect será apenas o VALOR INFORMADO COMO PAGO.",
               "key Enter",
               "expect Leão Pago* │CL.Devido ",
               "expect muda p/ devido",
               "key Alt+N",
               "expect SOMA DOS MAIORES VALORES",
               "key Enter",
               "expect Leão Pago  │CL.Devido*"};
    const ProgramRun result = run(script, {}, k2026);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
}

// The folder in use cannot be taken out of the folder list.
TEST_F(Fields, TheFolderInUseStaysInTheFolderList) {
    const ProgramRun result = run({"menu Declaração > Pastas", "expect SEL", "key Del",
                                   "expect A pasta em uso não pode ser retirada da lista.",
                                   "key Enter", "key Esc", "expect Exercício"},
                                  {}, k2026);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto folders = records("DIRET00.DBF");
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(field(folders[0], "SELEC"), "S");
}
