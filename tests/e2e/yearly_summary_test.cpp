// The yearly summary in the whole program, each figure read from the screen.
// The taxpayers' rows are written into the year tables by an independent DBF
// writer; the expected figures are worked by hand from the published rules:
// the annual tables of the ano-calendário (2025: 27.5 % less 10,853.78 above
// 55,976.16; 2026: 22.5 % less 8,105.85 from 45,012.61 to 55,976.16, and the
// reduction of Lei 15.270/2025 that cancels the tax up to 60,000.00 a year),
// the simplified discount of 20 % up to 16,754.34 (2025), the education limit
// of 3,561.50 a person and the 12 % limit of private pension.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

constexpr const char* kCpf = "11144477735";

class YearlySummary : public WholeProgram {
  protected:
    // The first start on `day` creates the tables and the taxpayer; its year
    // is the tax year and its month the average months and the current month.
    void startOn(const std::string& day) {
        Script create = openNewTaxpayer(kCpf);
        create += {"menu Terminar > Sai salvando alterações (Alt T)", "expect Ordem CPF", "key Esc",
                   "expect Ano Base"};
        const ProgramRun first = run(create, {}, day + " 10:00:00");
        ASSERT_EQ(first.exitCode, 0) << first.errors;
    }

    // Appends rows (Python dict literals) to a year table; its indexes go,
    // to be rebuilt by the program.
    void append(const std::string& table, const std::vector<std::string>& rows) {
        std::string script = "import dbf, datetime\nt = dbf.Table('" +
                             (drive / (table + ".DBF")).string() +
                             "', codepage='cp850')\nt.open(dbf.READ_WRITE)\n";
        for (const std::string& row : rows)
            script += "t.append(" + row + ")\n";
        script += "t.close()\n";
        int status = 0;
        const std::string out = kdx2::test_support::runPython(script, &status);
        ASSERT_EQ(status, 0) << out;
        for (const std::string& index : {table + ".cdx", table + "B.cdx"})
            std::filesystem::remove(drive / index);
    }

    // An income entry from individuals of `amount` on the 10th of a month.
    static std::string individualIncome(int year, int month, const std::string& amount) {
        return "{'cpf': '" + std::string(kCpf) +
               "', 'i1_1': 'F', 'i1_2': 'ALUGUEL', 'tipocr': 'C', 'i1_413': " + amount +
               ", 'dt_lc': datetime.date(" + std::to_string(year) + ", " + std::to_string(month) +
               ", 10)}";
    }

    // A payment of `code`: `monthly` in each of the first `months` months, the
    // annual amount their sum, for dependant `dependant` (0 the holder).
    static std::string payment(int code, double monthly, int months, int dependant = 0) {
        std::string row = "{'cpf': '" + std::string(kCpf) +
                          "', 'i6_1': 'PAGAMENTO', 'i6_3': " + std::to_string(code) +
                          ", 'i6_6': " + std::to_string(dependant);
        for (int month = 1; month <= months; ++month)
            row += ", 'i6_4" + std::string(month < 10 ? "0" : "") + std::to_string(month) +
                   "': " + std::to_string(monthly);
        return row + ", 'i6_4': " + std::to_string(monthly * months) + "}";
    }

    static Script summaryOfTheTaxpayer() {
        return {"key Alt+I",
                "expect Ordem CPF",
                std::string("type ") + kCpf,
                "expect Páginas  Rural  Ajuda",
                "menu Páginas > Resumo (F6)",
                "expect Resumo Geral"};
    }
};

// The cells of the summary row labelled `label` as shown, by the heading of
// their column ("Valor Anual", "Janeiro" ...).
std::map<std::string, std::string> shownRow(const ProgramRun& run, const std::string& label) {
    std::map<std::string, std::string> shown;
    std::vector<std::string> headings;
    for (const std::string& line : run.screen) {
        const std::vector<std::string> cells = cellsBetweenBars(line);
        if (cells.empty()) continue;
        if (cells[0] == "Resumo Geral") headings = cells;
        if (cells[0] != label || headings.empty()) continue;
        for (size_t cell = 1; cell < cells.size() && cell < headings.size(); ++cell)
            shown[headings[cell]] = cells[cell];
        return shown;
    }
    ADD_FAILURE() << "no row " << label;
    return shown;
}

std::string screenText(const ProgramRun& run) {
    std::string text;
    for (const std::string& line : run.screen)
        text += line + "\n";
    return text;
}

}  // namespace

// June 2025, six months of 10,000.00 from individuals and 3,000.00 a month of
// private pension: over 6 months the year is 120,000.00 (rows 3 and 6) and
// the pension, 36,000.00 projected, is cut to 12 %: 14,400.00. The simplified
// discount (16,754.34) beats it; base 103,245.66, tax 27.5 % less 10,853.78:
// 17,538.77 (the program truncates the annual tax of 2025 to the cent).
TEST_F(YearlySummary, SixMonthsProjectOverSixAndThePensionIsCutToTwelvePercent) {
    startOn("2025-06-15");
    std::vector<std::string> income;
    for (int month = 1; month <= 6; ++month)
        income.push_back(individualIncome(2025, month, "10000.00"));
    append("IRM2", income);
    append("IRM6", {payment(36, 3000.00, 6)});
    const ProgramRun result = run(summaryOfTheTaxpayer(), {}, "2025-06-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(shownRow(result, "Recebido de P. Físicas")["Valor Anual"], "120.000,00")
        << screenText(result);
    EXPECT_EQ(shownRow(result, "Recebido de P. Físicas")["Janeiro"], "10.000,00");
    EXPECT_EQ(shownRow(result, "Total ................")["Valor Anual"], "120.000,00");
    EXPECT_EQ(shownRow(result, "Previdência Priv./FAPI")["Valor Anual"], "14.400,00");
    EXPECT_EQ(shownRow(result, "Previdência Priv./FAPI")["Janeiro"], "3.000,00");
    EXPECT_EQ(shownRow(result, "Desc. simplificado 20%")["Valor Anual"], "16.754,34");
    EXPECT_EQ(shownRow(result, "Base de cálculo")["Valor Anual"], "103.245,66");
    EXPECT_NE(screenText(result).find("projetado com a média de 06 meses"), std::string::npos);

    Script lower = summaryOfTheTaxpayer();
    lower += {"key PgDn"};
    const ProgramRun below = run(lower, {}, "2025-06-15 10:00:00");
    ASSERT_EQ(below.exitCode, 0) << below.errors;
    EXPECT_EQ(shownRow(below, "Imposto")["Valor Anual"], "17.538,77") << screenText(below);
}

// Two dependants with 5,000.00 of education each in 2025: each counts up to
// 3,561.50, so row 14 is 7,123.00; the dependants' deduction is 2 x 189.59 x
// 12 = 4,550.16. In the declaration the row keeps the label it opened with
// (the "=LIMITE" label belongs to the summary printed from the main menu).
TEST_F(YearlySummary, EducationOfTwoDependantsCountsUpToEachOnesLimit) {
    startOn("2025-12-15");
    append("IRM2", {individualIncome(2025, 1, "90000.00")});
    append("IRM3", {"{'cpf': '" + std::string(kCpf) +
                        "', 'nomedepen': 'ANA', 'codidepen': 21, 'nrodepen': 1}",
                    "{'cpf': '" + std::string(kCpf) +
                        "', 'nomedepen': 'RUI', 'codidepen': 21, 'nrodepen': 2}"});
    append("IRM6", {payment(1, 5000.00, 1, 1), payment(1, 5000.00, 1, 2)});
    const ProgramRun result = run(summaryOfTheTaxpayer(), {}, "2025-12-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto education = shownRow(result, "Despesas com instrução");
    EXPECT_EQ(education.at("Valor Anual"), "7.123,00") << screenText(result);
    EXPECT_EQ(education.at("Janeiro"), "10.000,00");
    EXPECT_EQ(shownRow(result, "Dependentes")["Valor Anual"], "4.550,16");
    EXPECT_EQ(shownRow(result, "Dependentes")["Janeiro"], "379,18");
    EXPECT_EQ(screenText(result).find("LIMITE"), std::string::npos);
}

// October 2025, method 1, a salary of 10,000.00 a month with 1,000.00 withheld
// and no complementary payment yet: over 10 months the year is 120,000.00,
// the tax 17,538.77 as above, the shortfall 17,538.77 - 10,000.00 =
// 7,538.77, and October, November and December each suggest a third of it,
// 2,512.92; the months gone by suggest nothing. The complementary slip
// ("Mensalão") of October takes that amount.
class OctoberShortfall : public YearlySummary {
  protected:
    void SetUp() override {
        YearlySummary::SetUp();
        startOn("2025-10-15");
        std::string salary = "{'cpf': '" + std::string(kCpf) +
                             "', 'i1_1': 'J', 'i1_2': 'EMPRESA', 'i1_413': 100000.00, "
                             "'i1_513': 10000.00";
        for (int month = 1; month <= 10; ++month) {
            const std::string mm = (month < 10 ? "0" : "") + std::to_string(month);
            salary += ", 'i1_4" + mm + "': 10000.00, 'i1_5" + mm + "': 1000.00";
        }
        append("IRM2", {salary + "}"});
    }
};

TEST_F(OctoberShortfall, TheShortfallIsSpreadOverTheThreeMonthsLeft) {
    Script script = summaryOfTheTaxpayer();
    script += {"key PgDn"};
    for (int column = 1; column <= 13; ++column)
        script.push_back("key Right");
    const ProgramRun result = run(script, {}, "2025-10-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const auto suggested = shownRow(result, "Mensalão/Poupança sug.");
    EXPECT_EQ(suggested.at("Outubro"), "2.512,92") << screenText(result);
    EXPECT_EQ(suggested.at("Novembro"), "2.512,92");
    EXPECT_EQ(suggested.at("Dezembro"), "2.512,92");

    Script left = summaryOfTheTaxpayer();
    left += {"key PgDn"};
    const ProgramRun year = run(left, {}, "2025-10-15 10:00:00");
    EXPECT_EQ(shownRow(year, "Mensalão/Poupança sug.").at("Valor Anual"), "7.538,77")
        << screenText(year);
    EXPECT_EQ(shownRow(year, "Mensalão/Poupança sug.").at("Janeiro"), "");
    EXPECT_EQ(shownRow(year, "Imposto retido (Tit.)").at("Valor Anual"), "10.000,00");
    EXPECT_EQ(shownRow(year, "Saldo ................").at("Valor Anual"), "7.538,77");
}

TEST_F(OctoberShortfall, TheComplementarySlipTakesTheSuggestedAmount) {
    setField("CONFIG.DBF", "QUEIMP", "2");
    setField("CONFIG.DBF", "QUEMOD", "2");
    setField("CONFIG.DBF", "QUECON", "1");
    setField("CONFIG.DBF", "MOSIMP", "N");
    setField("CONFIG.DBF", "MOSTEL", "N");
    setField("ListaIMP.DBF", "NOMEIMP", "Sem Impressora");
    const ProgramRun result =
        run({"menu Impressão > Imprime a seleção", std::string("type ") + kCpf, "expect Tipo DARF",
             "key Down", "key Enter", "expect Quota ou mês Inicial", "type 10", "expect 0246",
             "expect Pagto de Imposto complementar"},
            {}, "2025-10-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string shown = screenText(result);
    EXPECT_NE(shown.find("07-Valor do principal │         2.512,92"), std::string::npos) << shown;
    EXPECT_NE(shown.find("10-Valor Total        │         2.512,92"), std::string::npos);
    EXPECT_NE(shown.find("06-Data de Vencimento │    31/10/2025"), std::string::npos);
}

// 2026, 5,000.00 a month all year: 60,000.00 less the simplified discount of
// 12,000.00 is a base of 48,000.00, whose 2,694.15 of tax (22.5 % less
// 8,105.85) the reduction of Lei 15.270/2025 cancels at this income; each
// month's 5,000.00 owes no carnê-leão either.
TEST_F(YearlySummary, ATaxpayerOf2026WithFiveThousandAMonthOwesNoAnnualTax) {
    startOn("2026-12-15");
    std::vector<std::string> income;
    for (int month = 1; month <= 12; ++month)
        income.push_back(individualIncome(2026, month, "5000.00"));
    append("IRM2", income);
    Script script = summaryOfTheTaxpayer();
    const ProgramRun top = run(script, {}, "2026-12-15 10:00:00");
    ASSERT_EQ(top.exitCode, 0) << top.errors;
    EXPECT_EQ(shownRow(top, "Total ................")["Valor Anual"], "60.000,00")
        << screenText(top);
    EXPECT_EQ(shownRow(top, "Desc. simplificado 20%")["Valor Anual"], "12.000,00");
    EXPECT_EQ(shownRow(top, "Base de cálculo")["Valor Anual"], "48.000,00");

    script += {"key PgDn"};
    const ProgramRun below = run(script, {}, "2026-12-15 10:00:00");
    ASSERT_EQ(below.exitCode, 0) << below.errors;
    for (const char* row : {"Imposto", "IMPOSTO DEVIDO........", "Saldo ................",
                            "Carnê Leão devido", "Mensalão/Poupança sug."})
        EXPECT_EQ(shownRow(below, row)["Valor Anual"], "") << row << "\n" << screenText(below);
    EXPECT_EQ(shownRow(below, "Imposto")["Janeiro"], "");
}

// A payments table that cannot be opened stops the declaration with the
// workspace's message and changes nothing; one that is missing is created
// empty and the summary shows the income that is there. Neither crashes.
TEST_F(YearlySummary, ADamagedOrMissingPaymentsTableIsToldNeverACrash) {
    startOn("2025-06-15");
    append("IRM2", {individualIncome(2025, 2, "6000.00")});
    const auto size = std::filesystem::file_size(drive / "IRM6.DBF");
    std::filesystem::resize_file(drive / "IRM6.DBF", size > 100 ? 100 : size / 2);
    Script damaged = {"key Alt+I",
                      "expect Ordem CPF",
                      std::string("type ") + kCpf,
                      "expect IRM6.DBF está danificado",
                      "key Enter",
                      "expect A tabela IRM6 não pôde ser aberta.",
                      "key Enter",
                      "expect Ordem CPF"};
    const ProgramRun told = run(damaged, {}, "2025-06-15 10:00:00");
    EXPECT_EQ(told.exitCode, 0) << told.errors << screenText(told);

    std::filesystem::remove(drive / "IRM6.DBF");
    std::filesystem::remove(drive / "IRM6.cdx");
    const ProgramRun missing = run(summaryOfTheTaxpayer(), {}, "2025-06-15 10:00:00");
    ASSERT_EQ(missing.exitCode, 0) << missing.errors;
    EXPECT_EQ(shownRow(missing, "Recebido de P. Físicas")["Fevereiro"], "6.000,00")
        << screenText(missing);
    EXPECT_EQ(shownRow(missing, "Recebido de P. Físicas")["Valor Anual"], "12.000,00");
}

// The variable-income statement opens over the summary (Alt+R): 500.00 of tax
// to pay typed in March (line 24) is row 30 of the summary at once, in March
// and in the year, and is saved with the declaration as a statement line of
// the capital-gains table (TIPO_BEM 4, line 24, common operations).
TEST_F(YearlySummary, TheVariableIncomeStatementIsRowThirtyAndIsSaved) {
    startOn("2025-06-15");
    Script script = summaryOfTheTaxpayer();
    script += {"key Alt+R", "expect 19.Imposto no Day Trade"};
    for (int line = 1; line < 24; ++line)
        script.push_back("key Down");
    script +=
        {"key Right", "key Right",           "type 500", "key Enter", "expect Operações comuns",
         "key Esc",   "expect Resumo Geral", "key PgDn"};
    const ProgramRun result = run(script, {}, "2025-06-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(shownRow(result, "IR renda variável")["Valor Anual"], "500,00") << screenText(result);

    Script march = script;
    for (int column = 1; column <= 3; ++column)
        march.push_back("key Right");
    march += {"menu Terminar > Sai salvando alterações (Alt T)", "expect Ordem CPF"};
    const ProgramRun saved = run(march, {}, "2025-06-15 10:00:00");
    ASSERT_EQ(saved.exitCode, 0) << saved.errors;
    const std::vector<Row> lines = rowsOf("IRM7.DBF", kCpf);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(field(lines[0], "TIPO_BEM"), "4");
    EXPECT_EQ(field(lines[0], "RVAR_NRO"), "24");
    EXPECT_EQ(field(lines[0], "BEM_NRO"), "0");
    EXPECT_EQ(field(lines[0], "DAY_TRADE"), "");
    EXPECT_EQ(field(lines[0], "REC_MES03"), "500.0");
    EXPECT_EQ(field(lines[0], "REC_MES02"), "0.0");

    // Opened again, the statement and the summary come from the table.
    Script again = summaryOfTheTaxpayer();
    again += {"key PgDn"};
    for (int column = 1; column <= 3; ++column)
        again.push_back("key Right");
    const ProgramRun reopened = run(again, {}, "2025-06-15 10:00:00");
    ASSERT_EQ(reopened.exitCode, 0) << reopened.errors;
    EXPECT_EQ(shownRow(reopened, "IR renda variável")["Março"], "500,00") << screenText(reopened);
}

// Printing a slip loads the taxpayer, but never into the scratch copies that
// hold a declaration left without saving: F4 still brings back the 1,234.00
// typed for February.
TEST_F(YearlySummary, PrintingASlipKeepsTheWorkF4BringsBack) {
    startOn("2025-06-15");
    setField("CONFIG.DBF", "QUEIMP", "2");
    setField("CONFIG.DBF", "QUEMOD", "2");
    setField("CONFIG.DBF", "QUECON", "1");
    setField("CONFIG.DBF", "MOSIMP", "N");
    setField("CONFIG.DBF", "MOSTEL", "N");
    setField("ListaIMP.DBF", "NOMEIMP", "Sem Impressora");
    Script script = {"key Alt+I",
                     "expect Ordem CPF",
                     std::string("type ") + kCpf,
                     "expect Páginas  Rural  Ajuda",
                     "menu Páginas > Recebidos de pFísicas (F2)",
                     "expect 01-Jan",
                     "key Alt+A",
                     "expect SO TOTAIS",
                     "key Down",
                     "type 1234",
                     "key Enter",
                     "key Esc",
                     "menu Terminar > Sai sem salvar as alterações",
                     "expect Ano Base",
                     "menu Impressão > Imprime a seleção",
                     std::string("type ") + kCpf,
                     "expect Tipo DARF",
                     "key Esc",
                     "key Esc",
                     "expect Ano Base",
                     "key Alt+I",
                     "expect Ordem CPF",
                     "key F4",
                     "expect Páginas  Rural  Ajuda",
                     "menu Páginas > Recebidos de pFísicas (F2)",
                     "expect 01-Jan"};
    const ProgramRun result = run(script, {}, "2025-06-15 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors << screenText(result);
    EXPECT_NE(screenText(result).find("02-Fev│   1.234,00"), std::string::npos)
        << screenText(result);
}
