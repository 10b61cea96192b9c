// The cash book printed from the print selection by the whole program: a
// taxpayer whose entries were written by an independent DBF writer, the
// months April to June asked, the balance of January to March carried; and
// the whole year closed by its terms.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;

namespace {

constexpr const char* kCpf = "11144477735";

class CashBookPrinting : public WholeProgram {
  protected:
    // The first start creates the tables; the register then gets the
    // taxpayer and the income table its cash-book items of 2025, three a
    // month from January to June (revenue 100,00 and 50,25, expense 30,00).
    void SetUp() override {
        WholeProgram::SetUp();
        ProgramRun first = run({"expect Ano Base"});
        ASSERT_EQ(first.exitCode, 0) << first.errors;
        const std::string script =
            "import dbf, datetime\n"
            "r = dbf.Table('" +
            (drive / "IRM9.DBF").string() +
            "', codepage='cp850')\n"
            "r.open(dbf.READ_WRITE)\n"
            "r.append({'cpf': '" +
            std::string(kCpf) +
            "', 'nomecontr': 'JOAO DA SILVA SANTOS', "
            "'endereco': 'RUA DAS FLORES', 'municipio': 'SAO PAULO', 'uf': 'SP', 'dddtel': '11', "
            "'telefo': '987654321'})\n"
            "r.close()\n"
            "t = dbf.Table('" +
            (drive / "IRM2.DBF").string() +
            "', codepage='cp850')\n"
            "t.open(dbf.READ_WRITE)\n"
            "for month in range(1, 7):\n"
            "    for day, kind, account, credit, amount in [(3, 'F', '1001', 'C', 100.00),"
            " (3, 'L', '4001', 'D', 30.00), (20, 'F', '1002', 'C', 50.25)]:\n"
            "        t.append({'cpf': '" +
            std::string(kCpf) +
            "', 'i1_1': kind, "
            "'i1_2': 'ITEM %02d-%02d' % (month, day), 'cdconta': account, 'tipocr': credit, "
            "'i1_413': amount, 'dt_lc': datetime.date(2025, month, day)})\n"
            "t.close()\n";
        int status = 0;
        const std::string out = kdx2::test_support::runPython(script, &status);
        ASSERT_EQ(status, 0) << out;
        for (const char* index : {"IRM9.cdx", "IRM9B.cdx", "IRM2.cdx"})
            std::filesystem::remove(drive / index);
        setField("CONFIG.DBF", "QUEIMP", "1");
        setField("CONFIG.DBF", "QUEPAG", "6");
        setField("CONFIG.DBF", "QUECON", "1");
    }

    std::string printed() const {
        std::ifstream in(drive / "NAO-DOS00.TXT", std::ios::binary);
        std::string text(std::istreambuf_iterator<char>(in), {});
        std::erase(text, '\r');
        return text;
    }
};

TEST_F(CashBookPrinting, FromAprilWithTheBalanceOfTheFirstQuarter) {
    const ProgramRun result = run(
        {"menu Impressão > Imprime a seleção", "expect Ordem CPF", std::string("type ") + kCpf,
         "expect Faixa de meses", "type 3", "type 04", "type 06",
         "expect Avança página em cada mês", "key Enter", "expect Calcula e Imprime saldo anterior",
         "key Enter", "expect Ordem CPF", "key Esc", "expect Ano Base"},
        {}, "2026-12-07 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string text = printed();
    EXPECT_EQ(text.find("ITEM 03-"), std::string::npos);
    EXPECT_NE(text.find("ITEM 04-03"), std::string::npos);
    EXPECT_NE(text.find("Ref. ABR/2025 Pag. 001"), std::string::npos) << text;
    // January to March 2025: 3 x (100,00 + 50,25 - 30,00) = 360,75.
    const size_t earlier = text.find("Saldo do caixa");
    ASSERT_NE(earlier, std::string::npos);
    EXPECT_NE(text.substr(earlier, 80).find("360,75"), std::string::npos);
    // April adds its 120,25.
    const size_t accumulated = text.find("Saldo Acumulado");
    ASSERT_NE(accumulated, std::string::npos);
    EXPECT_NE(text.substr(accumulated, 80).find("481,00"), std::string::npos);
    EXPECT_EQ(text.find("T E R M O"), std::string::npos);
}

TEST_F(CashBookPrinting, TheWholeYearIsClosedByItsTerms) {
    const ProgramRun result =
        run({"menu Impressão > Imprime a seleção", "expect Ordem CPF", std::string("type ") + kCpf,
             "expect Faixa de meses", "type 1", "expect Avança página em cada mês", "key Enter",
             "expect Ordem CPF", "key Esc", "expect Ano Base"},
            {}, "2026-12-07 10:00:00");
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string text = printed();
    // Opening term 1, January to June 2 ... 7, the balance 8, closing term 9.
    EXPECT_NE(text.find("Ref. JUN/2025 Pag. 007"), std::string::npos);
    EXPECT_NE(text.find("Este livro contem 9 folhas numeradas sequencialmente de 1 a 9 e"),
              std::string::npos);
    EXPECT_NE(text.find("Ultimo lancamento efetuado em 20 de junho de 2025"), std::string::npos);
    EXPECT_NE(text.find("CPF nro 11144477735"), std::string::npos);
    EXPECT_NE(text.find("T E R M O   D E   E N C E R R A M E N T O"), std::string::npos);
    // The balance of accounts: 6 x 150,25 revenue and 6 x 30,00 expenses.
    const size_t totals = text.rfind("TOTAIS");
    ASSERT_NE(totals, std::string::npos);
    const std::string line = text.substr(totals, text.find('\n', totals) - totals);
    EXPECT_NE(line.find("901,50"), std::string::npos) << line;
    EXPECT_NE(line.find("180,00"), std::string::npos) << line;
}

}  // namespace
