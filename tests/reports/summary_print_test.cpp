// The summary page of the printed declaration, from a summary worked out by
// hand, read back from the print file.

#include "reports/summary_print.h"

#include "darf_fixture.h"
#include "printed_pages.h"
#include "reports/declaration_print.h"

namespace kdx2::reports_test {
namespace {

class SummaryPrintTest : public DarfTest {
  protected:
    void SetUp() override {
        DarfTest::SetUp();
        base::NamedValues& s = base::session();
        s.set("QUEANO", 2025);
        s.set("QUALMENS", "1");
        s.set("NASCIMENTO", date(2, 1, 1970));
        s.set("MUNICIPIO", "CAMPINAS");
        printing::setPrintWorkingValues();
    }

    std::vector<std::string> printSummary(const tax::Summary& summary) {
        EXPECT_TRUE(printing::PREP_IMP());
        EXPECT_TRUE(reports::FOLHA(reports::kSummaryPage, [&] { return summary; }));
        EXPECT_TRUE(printing::closePrintOutput());
        return printedLines();
    }

    // The cells of a table line between its bars, trimmed.
    static std::vector<std::string> cells(const std::string& line) {
        std::vector<std::string> out;
        size_t start = line.find('|');
        while (start != std::string::npos) {
            const size_t end = line.find('|', start + 1);
            if (end == std::string::npos) break;
            out.push_back(base::alltrim(line.substr(start + 1, end - start - 1)));
            start = end;
        }
        return out;
    }
};

TEST_F(SummaryPrintTest, EveryRowShowsTheYearAndBothHalvesOfTheMonths) {
    tax::Summary summary;
    for (int month = 1; month <= 12; ++month) {
        summary.set(1, month, 1000.0 * month);
        summary.set(3, month, 0.5);
    }
    summary.set(1, tax::Summary::kYear, 78000.0);
    summary.set(3, tax::Summary::kYear, 6.0);
    summary.note = "Projecao pela media de 6 meses";
    const std::vector<std::string> lines = printSummary(summary);
    const std::string all = joinedLines(lines);
    EXPECT_TRUE(has(all, "Resumo geral do CPF 11144477735  Projecao pela media de 6 meses"));
    EXPECT_TRUE(has(all, "|Valores em  Real| Total do Ano   |Janeiro/Julho   |Feverei/Agosto  |"));
    EXPECT_TRUE(has(all, "DECLARACAO DE RENDIMENTOS DE  JOAO DA SILVA SANTOS"));
    size_t row = 0;
    while (row < lines.size() && !has(lines[row], "P.Juridicas Tit."))
        ++row;
    ASSERT_LT(row + 1, lines.size());
    const std::vector<std::string> first = cells(lines[row]);
    const std::vector<std::string> second = cells(lines[row + 1]);
    ASSERT_EQ(first.size(), 8u);
    ASSERT_EQ(second.size(), 8u);
    EXPECT_EQ(first[1], "78.000,00");
    EXPECT_EQ(first[2], "1.000,00");
    EXPECT_EQ(first[7], "6.000,00");
    EXPECT_EQ(second[0], "");
    EXPECT_EQ(second[1], "");
    EXPECT_EQ(second[2], "7.000,00");
    EXPECT_EQ(second[7], "12.000,00");
    EXPECT_TRUE(has(all, "Antecip.sugerida"));
    // The identification follows the table.
    EXPECT_TRUE(has(all, "IDENTIFICACAO DO CONTRIBUINTE"));
    EXPECT_TRUE(has(all, "02/01/1970"));
    EXPECT_TRUE(has(all, "CAMPINAS"));
}

TEST_F(SummaryPrintTest, TheTableIsCarriedOverRatherThanPastSixtyLines) {
    const std::vector<std::string> lines = printSummary(tax::Summary());
    EXPECT_LE(longestPage(lines), 60);
    EXPECT_GE(pageCount(lines), 2);
    int rowLines = 0;
    for (const std::string& line : lines)
        if (line.rfind("|", 0) == 0 && !has(line, "Valores em")) ++rowLines;
    EXPECT_EQ(rowLines, 56);  // 28 rows of two lines
}

TEST_F(SummaryPrintTest, LabelsFitTheTableAndNameTheComplementaryPayment) {
    for (int row = 1; row <= 28; ++row)
        EXPECT_EQ(reports::MAT_IMPRE(row, "1").size(), 16u) << row;
    EXPECT_EQ(reports::MAT_IMPRE(1, "1"), "P.Juridicas Tit.");
    EXPECT_EQ(reports::MAT_IMPRE(28, "1"), "Antecip.sugerida");
    EXPECT_EQ(reports::MAT_IMPRE(28, "2"), "Mens. a recolher");
    EXPECT_FALSE(reports::FOLHA(reports::kSummaryPage));
}

// A summary worked out by the projection itself: 120,000.00 from a company
// in 2025 with nothing to deduct takes the simplified discount, so the
// incentives' row carries the label the projection made for the cell.
TEST_F(SummaryPrintTest, TheIncentivesRowOfASimplifiedSummaryKeepsItsOwnLabel) {
    tax::CompanyItem item;
    item.kind = "J";
    for (int month = 1; month <= 12; ++month)
        item.income.add(month, 10000.00);
    tax::ProjectionFigures figures;
    figures.company = tax::SOMA_JUR({item});
    const tax::Summary summary = tax::CALCULA_TUDO(
        tax::CarneLeao(), figures,
        {.QUEANO = 2025, .QMEDIA = 12, .QUALMENS = "1", .MES_ATU = 12, .OPCAO_1 = 51});
    ASSERT_TRUE(summary.simplified);
    const std::vector<std::string> lines = printSummary(summary);
    EXPECT_TRUE(has(joinedLines(lines), "|Ded.de Incentivo|"));
    EXPECT_FALSE(has(joinedLines(lines), "Deduc.incentivos"));
    // The other rows keep the table's own labels, not the screen's.
    EXPECT_TRUE(has(lineWith(lines, "P.Juridicas Tit."), "120.000,00"));
    EXPECT_TRUE(has(joinedLines(lines), "|Base de calculo |"));
}

// The title carries the projection note only while the year is projected;
// a whole year prints no note, not the rule the screen draws over it.
TEST_F(SummaryPrintTest, TheTitleNamesTheMonthsOfAProjectedYearOnly) {
    tax::Summary summary;
    summary.note = tax::MOSTMEDIA(6);
    EXPECT_TRUE(has(lineWith(printSummary(summary), "Resumo geral do CPF"),
                    "Resumo geral do CPF 11144477735  O valor anual esta projetado com a m"));
    summary.note = tax::MOSTMEDIA(12);
    const std::string title = lineWith(printSummary(summary), "Resumo geral do CPF");
    EXPECT_EQ(title, "Resumo geral do CPF 11144477735");
}

}  // namespace
}  // namespace kdx2::reports_test
