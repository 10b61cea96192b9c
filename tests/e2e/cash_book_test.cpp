// The cash book in the whole program: entries typed in the form, refused
// when incomplete or wrong, transferred into the declaration, where the
// monthly grid and the summary show them; the files read back by
// python3-dbfread.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

const std::string kPayer = "52998224725";

class CashBook : public WholeProgram {
  protected:
    void SetUp() override {
        WholeProgram::SetUp();
        Script create = openNewTaxpayer();
        create +=
            {"menu Terminar > Sai salvando alterações (Alt T)", "expect Ordem CPF", "key Esc"};
        const ProgramRun first = run(create);
        ASSERT_EQ(first.exitCode, 0) << first.errors;
    }

    // Command 12 on the taxpayer: the entries window, then its form.
    static Script entryForm() {
        return {"menu Declaração > Lancamentos",
                "expect Ordem CPF",
                std::string("type ") + kNewCpf,
                "key Enter",
                "expect Plano de Conta",
                "menu Lançamentos > Faz os lançamentos",
                "expect Tipo Doc."};
    }

    // An income from an individual (1001) and a cash-book expense (4001),
    // both confirmed; the form is left on the account field.
    static Script twoEntries() {
        // An account, a date or a CPF typed whole leaves its field.
        return {"type 1001",
                "key Enter",  // the document
                "type CONSULTA",  "key Enter",   "type 1500",      "key Enter",
                "type " + kPayer,
                "type 10032025",  // both fill their fields
                "type 1",         "key Enter",   "key Enter",      "expect Confirma ?",
                "key Enter",      "type 4001",   "key Enter",      "type ALUGUEL SALA",
                "key Enter",      "type 320,50", "type " + kPayer, "type 05042025",
                "type 3",         "key Enter",   "key Enter",      "expect Confirma ?",
                "key Enter"};
    }

    static std::string screenText(const ProgramRun& run) {
        std::string text;
        for (const std::string& line : run.screen)
            text += line + "\n";
        return text;
    }
};

// The cells of a month's row of the carnê-leão grid: label, then six amounts.
std::vector<std::string> monthRow(const ProgramRun& run, int month) {
    const std::string& row = run.screen.at(static_cast<size_t>(8 + month));
    std::vector<std::string> cells{trimmed(columns(row, 1, 6))};
    for (int column = 0; column < 6; ++column)
        cells.push_back(trimmed(columns(row, 8 + 12 * column, 11)));
    return cells;
}

}  // namespace

TEST_F(CashBook, TwoEntriesTransferredShowInTheirMonthsAndAreNotTransferredTwice) {
    Script script = entryForm();
    script += twoEntries();
    script += {"key Esc",
               "menu Lançamentos > Transfere os dados",
               "expect Transferidos   2 lançamentos!",
               "key Enter",
               "menu Lançamentos > Transfere os dados",
               "expect Sem lançamento para transferir",
               "key Enter",
               "menu Terminar > Sair"};
    const ProgramRun typed = run(script);
    ASSERT_EQ(typed.exitCode, 0) << typed.errors << screenText(typed);

    const std::vector<Row> entries = rowsOf("IRM14.DBF");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(field(entries[0], "DESCONTA"), "CONSULTA");
    EXPECT_EQ(field(entries[0], "VALODESP"), "1500.0");
    EXPECT_EQ(field(entries[0], "DATALAN"), "2025-03-10");
    EXPECT_EQ(field(entries[0], "LANCADO"), "True");
    EXPECT_EQ(field(entries[1], "CDCONTA"), "4001");
    EXPECT_EQ(field(entries[1], "VALODESP"), "320.5");
    EXPECT_EQ(field(entries[1], "LANCADO"), "True");
    const std::vector<Row> items = rowsOf("IRM2.DBF");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(field(items[0], "I1_1"), "F");
    EXPECT_EQ(field(items[1], "I1_1"), "L");
    EXPECT_EQ(field(items[1], "DT_LC"), "2025-04-05");
    // No private table is left behind in the work folder.
    EXPECT_FALSE(std::filesystem::exists(drive / "TMPL1400.DBF"));

    // The declaration shows them in their months and in the summary.
    const ProgramRun grid = run({"key Alt+I", "expect Ordem CPF", std::string("type ") + kNewCpf,
                                 "expect Páginas  Rural  Ajuda",
                                 "menu Páginas > Recebidos de pFísicas (F2)", "expect 01-Jan"});
    ASSERT_EQ(grid.exitCode, 0) << grid.errors;
    EXPECT_EQ(monthRow(grid, 3)[1], "1.500,00") << screenText(grid);
    EXPECT_EQ(monthRow(grid, 4)[3], "320,50");
    EXPECT_EQ(monthRow(grid, 13)[1], "1.500,00");
    const ProgramRun summary =
        run({"key Alt+I", "expect Ordem CPF", std::string("type ") + kNewCpf,
             "expect Páginas  Rural  Ajuda", "menu Páginas > Resumo (F6)", "expect Resumo Geral",
             // The year projected from six months: 1,500.00 and 320.50, twice.
             "expect Recebido de P. Físicas│      3.000,00",
             "expect Despesas Livro Caixa  │        641,00"});
    EXPECT_EQ(summary.exitCode, 0) << summary.errors << screenText(summary);

    // Reopening the cash book keeps every entry.
    const ProgramRun again =
        run({"menu Declaração > Lancamentos", "expect Ordem CPF", std::string("type ") + kNewCpf,
             "key Enter", "expect Plano de Conta", "menu Lançamentos > Visualiza os dados",
             "expect CONSULTA", "expect ALUGUEL SALA", "key Esc", "menu Terminar > Sair"});
    EXPECT_EQ(again.exitCode, 0) << again.errors << screenText(again);
    EXPECT_EQ(rowsOf("IRM14.DBF").size(), 2u);
}

// Each refusal keeps the cursor where it was, with its message, and
// an entry refused at "Sim" is not stored.
TEST_F(CashBook, BadInputIsRefusedAndNothingIsStored) {
    Script script = entryForm();
    script +=
        {// A title account, then an unknown one (refused without a word).
         "type 2000", "expect Essa conta é só Título", "key Enter", "key Home", "type 7777",
         "key Home", "type 1001", "expect Trabalho não assalariado", "key Enter", "type CONSULTA",
         "key Enter",
         // A zero amount, refused at "Sim" below.
         "key Enter",
         // A CPF with a wrong check digit: typed again in the same field.
         "type 52998224700", "expect está incorreto", "key Enter", "key Home", "type " + kPayer,
         // A date of another year: typed again in the same field.
         "type 10032024", "expect A data deve ser do ano-base 2025", "key Enter", "key Home",
         "type 10032025", "type 1", "key Enter", "key Enter", "expect Confirma ?", "key Enter",
         "expect Falta preencher o valor", "key Enter",
         // Back in the fields: the date typed stays.
         "expect 10/03/2025", "expect 529.982.247-25", "key Esc", "key Esc", "menu Terminar > Sair",
         "expect Ano Base"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors << screenText(result);
    EXPECT_EQ(rowsOf("IRM14.DBF").size(), 0u);
}

TEST_F(CashBook, ADamagedChartOfAccountsIsToldAndNothingOpens) {
    {
        std::fstream chart(drive / "CONTAS.DBF", std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(chart.good());
        chart.seekp(4);
        chart.write("garbage", 7);
    }
    const ProgramRun result =
        run({"menu Declaração > Lancamentos", "expect Ordem CPF", std::string("type ") + kNewCpf,
             "key Enter", "expect O plano de contas (CONTAS) não pôde ser aberto.", "key Enter",
             "expect Ano Base"});
    EXPECT_EQ(result.exitCode, 0) << result.errors << screenText(result);
    EXPECT_EQ(rowsOf("IRM14.DBF").size(), 0u);
}

// The printed chart: the rule, the headings and one line per account, a new
// page after line 60 with its headings again.
TEST_F(CashBook, PrintedChartListsEveryAccountUnderItsHeadings) {
    const ProgramRun result =
        run({"menu Declaração > Lancamentos", "expect Ordem CPF", std::string("type ") + kNewCpf,
             "key Enter", "expect Plano de Conta", "menu Plano de Conta > Imprime o Plano",
             "key Enter", "menu Terminar > Sair", "expect Ano Base"});
    ASSERT_EQ(result.exitCode, 0) << result.errors << screenText(result);
    std::ifstream file(drive / "NAO-DOS00.TXT", std::ios::binary);
    ASSERT_TRUE(file.good());
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const std::string rule(135, '_');
    const size_t page = text.find('\f');
    ASSERT_NE(page, std::string::npos);
    EXPECT_EQ(text.find(rule + "\r\nCodigo  Descricao\r\n" + rule + "\r\n1000    RENDIMENTOS"), 0u)
        << text.substr(0, 400);
    EXPECT_NE(text.find("\r\n4001    Sal"), std::string::npos);
    // 3 heading lines and 58 accounts on the first page.
    EXPECT_EQ(std::count(text.begin(), text.begin() + static_cast<long>(page), '\n'), 61);
    EXPECT_NE(text.find("Codigo  Descricao", page), std::string::npos);
}

// An account of a company's income takes a CNPJ and a month: "Sim" without
// them says which is missing, in that order; "Fim" closes the form with
// nothing stored.
TEST_F(CashBook, MissingNumberAndMonthAreAskedForAndFimLeavesWithoutStoring) {
    Script script = entryForm();
    script += {"type 2001", "key Enter", "type SALARIO", "key Enter", "type 100", "key Enter",
               "key Enter",  // no CNPJ
               "key Enter",  // no month
               "type 1", "key Enter", "key Enter", "expect Confirma ?", "key Enter",
               "expect Falta preencher o CNPF ou CPF", "key Enter",
               // Back at the first field: through to the CNPJ.
               "key Enter", "key Enter", "key Enter", "type 11222333000181", "key Enter",
               "key Enter", "key Enter", "key Enter", "expect Confirma ?", "key Enter",
               "expect Falta preencher o mês de lançamento", "key Enter", "key Enter", "key Enter",
               "key Enter", "key Enter", "key Enter", "key Enter", "key Enter", "key Enter",
               "expect Confirma ?", "key Right", "key Right", "key Enter", "menu Terminar > Sair",
               "expect Ano Base"};
    const ProgramRun result = run(script);
    ASSERT_EQ(result.exitCode, 0) << result.errors << screenText(result);
    EXPECT_EQ(rowsOf("IRM14.DBF").size(), 0u);
}
