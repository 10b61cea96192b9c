// The payment slip in the whole program, under faketime: the November 2025
// carnê-leão of 1,000.00 paid on 2 January 2026 (due 30/12/2025, fine 0.99 %,
// interest 1 %) drawn twice on blank sheets, to the viewer and to a CUPS
// queue; the out-of-date SELIC table warned about; a 300.00 slip recorded as
// paid and read back; February 2024 falling due before Good Friday.
//
// The figures: the tax is the engine's (income 7,548.04 less the 607.20
// monthly discount, 27.5 % less 908.73: 1,000.00; income 4,942.72: 22.5 %
// less 675.49: 300.00); the fine 0.33 % a day for 3 days (Lei 9.430/1996,
// art. 61); the interest 1 % for the payment month with no SELIC month
// between December 2025 and January 2026.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "printing/cups_scheduler.h"
#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;
using kdx2::test_support::PrivateScheduler;
using kdx2::test_support::runCommand;

namespace {

constexpr const char* kCpf = "11144477735";

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

class DarfSlip : public WholeProgram {
  protected:
    // The first start on `day` (its year becomes the tax year) creates the
    // tables; then the register gets the taxpayer and IRM2 an income from
    // individuals through an independent DBF writer, and the print selection
    // is set to slips on blank sheets for one taxpayer, printed to `printer`.
    void taxpayerWithIncome(const std::string& day, const std::string& income,
                            const std::string& printer = "Sem Impressora") {
        ProgramRun first = run({"expect Ano Base"}, {}, day + " 10:00:00");
        ASSERT_EQ(first.exitCode, 0) << first.errors;
        int status = 0;
        const std::string out = kdx2::test_support::runPython(
            "import dbf, datetime\n"
            "t = dbf.Table('" +
                (drive / "IRM9.DBF").string() +
                "', codepage='cp850')\n"
                "t.open(dbf.READ_WRITE)\n"
                "t.append({'cpf': '" +
                std::string(kCpf) +
                "', 'nomecontr': 'JOAO DA SILVA SANTOS', "
                "'dddtel': '11', 'telefo': '987654321'})\n"
                "t.close()\n"
                "t = dbf.Table('" +
                (drive / "IRM2.DBF").string() +
                "', codepage='cp850')\n"
                "t.open(dbf.READ_WRITE)\n"
                "t.append({'cpf': '" +
                kCpf +
                "', 'i1_1': 'F', 'i1_2': 'ALUGUEL', 'tipocr': 'C', "
                "'i1_413': " +
                income + ", 'dt_lc': datetime.date(" + day.substr(0, 4) + ", " +
                (day.substr(0, 4) == "2024" ? "2" : "11") +
                ", 10)})\n"
                "t.close()\n",
            &status);
        ASSERT_EQ(status, 0) << out;
        for (const char* index : {"IRM9.cdx", "IRM9B.cdx", "IRM2.cdx"})
            std::filesystem::remove(drive / index);
        setField("CONFIG.DBF", "QUEIMP", "2");
        setField("CONFIG.DBF", "QUEMOD", "2");
        setField("CONFIG.DBF", "QUECON", "1");
        setField("CONFIG.DBF", "MOSIMP", "N");
        setField("CONFIG.DBF", "MOSTEL", "N");
        setField("ListaIMP.DBF", "NOMEIMP", printer);
    }

    // From the main menu to the month of a single carnê-leão slip.
    static Script toTheMonth() {
        return {"menu Impressão > Imprime a seleção",
                std::string("type ") + kCpf,
                "expect Tipo DARF",
                "key Enter",
                "expect Só o mês pedido",
                "key Enter",
                "expect Quota ou mês Inicial"};
    }

    // November paid on 02/01/2026, confirmed, not recorded, no other slip.
    static Script novemberPaidOnTheSecondOfJanuary() {
        Script script = toTheMonth();
        script += {"type 11",
                   "expect Atenção! O cadastro da Selic está desatualizado.",
                   "expect Atualize, senão o valor do Juros estará errado!",
                   "key Enter",
                   "expect 30/12/2025",
                   "type 02012026",
                   "expect 08-Valor Multa  0.99%",
                   "expect 09-Valor juros  1.00%",
                   "expect 1.019,90",
                   "key Enter",
                   "expect Confirma a alteração ?",
                   "key Enter",
                   "expect lança o valor como pago no Carnê Leão?",
                   "key Right",
                   "key Enter",
                   "expect Outro tipo de DARF?",
                   "key Right",
                   "key Enter",
                   "key Esc",
                   "expect Ano Base"};
        return script;
    }

    static void expectNovemberSlips(const std::string& text) {
        EXPECT_EQ(count(text, "MINISTERIO DA FAZENDA"), 2u) << text;
        EXPECT_EQ(count(text, "111.444.777-35"), 2u);
        EXPECT_EQ(count(text, "30/12/2025"), 2u);
        EXPECT_EQ(count(text, "1.000,00"), 4u);  // principal and the "Imposto" line
        EXPECT_EQ(count(text, " 9,90"), 2u);
        EXPECT_EQ(count(text, " 10,00"), 2u);
        EXPECT_EQ(count(text, "1.019,90"), 2u);
        EXPECT_EQ(count(text, "Valido p/ pagamento dia 02/01/2026"), 2u);
        EXPECT_EQ(count(text, "Carne Leao do mes de Nov/25"), 2u);
    }
};

TEST_F(DarfSlip, NovemberPaidOnTheSecondOfJanuaryDrawnTwiceForTheViewer) {
    taxpayerWithIncome("2025-12-20", "7548.04");
    const ProgramRun result = run(novemberPaidOnTheSecondOfJanuary(), {}, "2026-01-02 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string file = slurp(drive / "NAO-DOS00.TXT");
    expectNovemberSlips(file);
    // The drawn form's columns: the total at 63, the right border at 77.
    EXPECT_EQ(count(file, "|10-Valor Total       |         1.019,90 |\r\n"), 2u) << file;
    // Nothing recorded: the income is the only row of IRM2.
    EXPECT_EQ(rowsOf("IRM2.DBF", kCpf).size(), 1u);
}

TEST_F(DarfSlip, NovemberPaidOnTheSecondOfJanuaryReachesACupsQueueUnderItsName) {
    const std::string unavailable = PrivateScheduler::unavailableReason();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    PrivateScheduler scheduler;
    std::string why;
    ASSERT_TRUE(scheduler.start(why)) << why;
    ASSERT_TRUE(scheduler.addQueue("escritorio", why)) << why;
    taxpayerWithIncome("2025-12-20", "7548.04", "escritorio");

    const ProgramRun result = run(novemberPaidOnTheSecondOfJanuary(),
                                  {{"CUPS_SERVER", scheduler.socket()}}, "2026-01-02 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    ASSERT_TRUE(scheduler.waitForJobs());
    const std::filesystem::path pdf = scheduler.output("escritorio");
    const std::string info = runCommand("pdfinfo '" + pdf.string() + "'");
    EXPECT_TRUE(std::regex_search(info, std::regex("Title: +Darf CLeao - 11-2025 - JOAO SANTOS\n")))
        << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
    expectNovemberSlips(runCommand("pdftotext -layout '" + pdf.string() + "' -"));
}

TEST_F(DarfSlip, ASlipOfThreeHundredRecordedAsPaidIsStoredAndNotOfferedAgain) {
    taxpayerWithIncome("2025-12-01", "4942.72");
    Script script = toTheMonth();
    script += {"type 11",   "expect 300,00",
               "key Enter", "expect Confirma a alteração ?",
               "key Enter", "expect lança o valor como pago no Carnê Leão?",
               "key Enter", "expect Outro tipo de DARF?",
               "key Right", "key Enter",
               "key Esc",   "expect Ano Base"};
    const ProgramRun recorded = run(script, {}, "2025-12-15 10:00:00");
    ASSERT_EQ(recorded.exitCode, 0) << recorded.errors;

    std::vector<Row> payments;
    for (const Row& row : rowsOf("IRM2.DBF", kCpf))
        if (field(row, "I1_1") == "I") payments.push_back(row);
    ASSERT_EQ(payments.size(), 1u);
    EXPECT_EQ(field(payments[0], "I1_2"), "Receita Federal");
    EXPECT_EQ(field(payments[0], "I1_411"), "300.0");
    EXPECT_EQ(field(payments[0], "TIPOCR"), "D");
    EXPECT_EQ(field(payments[0], "CDCONTA"), "4201");

    // Paid now: the month has no slip any more.
    Script again = toTheMonth();
    again += {"type 11",   "expect Esse mês não tem Darf para ser impresso",
              "key Enter", "key Esc",
              "key Esc",   "expect Ano Base"};
    const ProgramRun second = run(again, {}, "2025-12-16 10:00:00");
    ASSERT_EQ(second.exitCode, 0) << second.errors;
}

TEST_F(DarfSlip, FebruaryOf2024FallsDueBeforeGoodFriday) {
    taxpayerWithIncome("2024-03-20", "5000");
    Script script = toTheMonth();
    script += {"type 02", "snap " + (drive / "form.txt").string(), "key Esc", "key Esc",
               "expect Ano Base"};
    const ProgramRun result = run(script, {}, "2024-03-20 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string form = slurp(drive / "form.txt");
    EXPECT_NE(form.find("│06-Data de Vencimento │    28/03/2024    │"), std::string::npos) << form;
    EXPECT_NE(form.find("Carne Leao do mes de Fev/24"), std::string::npos) << form;
}

}  // namespace
