// What a slip carries and how it lands on paper: the text lines of each
// kind, the document name, the drawn form (twice, at its columns) and the
// values on the preprinted form.

#include <gtest/gtest.h>

#include "darf_fixture.h"
#include "printing/output.h"
#include "reports/darf_print.h"

namespace kdx2::reports_test {
namespace {

using reports::DarfSlip;

// A November 2025 carnê-leão slip of 1,000.00 paid on 02/01/2026.
DarfSlip novemberSlip() {
    DarfSlip slip;
    slip.QUEDARF = reports::kCarneLeao;
    slip.MES_PGTO = slip.MES_FINAL = 11;
    slip.CPF = kCpf;
    slip.NOMECONTR = "JOAO DA SILVA SANTOS";
    slip.TELEFO = "987654321";
    reports::MonthFigures figures;
    figures.income = 7548.04;
    figures.due = 1000.00;
    reports::loadCarneMonth(slip, figures, 2025, 11);
    reports::PREENCHE(slip, 2025, 11);
    slip.DF_PGTO = date(2, 1, 2026);
    slip.DF_MULTA = 0.99;
    slip.DF_JURO = 1.00;
    slip.VAL_MULTA = 9.90;
    slip.VAL_JURO = 10.00;
    slip.VAL_TOTAL = 1019.90;
    return slip;
}

std::string at(const std::string& line, size_t column, size_t count) {
    return column >= line.size() ? "" : line.substr(column, count);
}

TEST(SlipLines, ACarneLeaoMonthNothingPaidShowsItsFigures) {
    const DarfSlip slip = novemberSlip();
    EXPECT_EQ(slip.DF_CODIG, "0190");
    EXPECT_EQ(slip.DF_PERIODO, date(28, 11, 2025));
    EXPECT_EQ(slip.DF_VCTO, date(30, 12, 2025));
    EXPECT_EQ(slip.DF_OUTR[0], "Rendimentos....... R$      7.548,04");
    EXPECT_EQ(slip.DF_OUTR[1], "Livro Caixa....... R$              ");
    EXPECT_EQ(slip.DF_OUTR[3], "Imposto........... R$      1.000,00");
    EXPECT_EQ(slip.title(), "Carne Leao do mes de Nov/25        ");
}

TEST(SlipLines, APartPaidMonthShowsDueRecolhidoAndTheDifference) {
    DarfSlip slip;
    reports::MonthFigures figures;
    figures.due = 500.00;
    figures.paid = 200.00;
    reports::loadCarneMonth(slip, figures, 2025, 3);
    reports::PREENCHE(slip, 2025, 3);
    EXPECT_EQ(slip.IMPO_REAL, 300.00);
    EXPECT_EQ(base::alltrim(slip.DF_OUTR[0]), "");
    EXPECT_EQ(slip.DF_OUTR[1], "Valor Devido...... R$        500,00");
    EXPECT_EQ(slip.DF_OUTR[2], "V. Recolhido...... R$        200,00");
    EXPECT_EQ(slip.DF_OUTR[3], "Diferenca......... R$        300,00");
    EXPECT_EQ(base::rtrim(slip.title()), "Pago a menor no C.Leao de Mar/25");
}

TEST(SlipLines, MoreAlreadyPaidThanDueLeavesNothingToPay) {
    reports::MonthFigures figures;
    figures.due = 300.00;
    figures.paid = 350.00;
    EXPECT_EQ(reports::carnePrincipal(figures), 0);
}

TEST(SlipLines, TheComplementaryPaymentIsDueAndPaidWithinItsMonth) {
    DarfSlip slip;
    slip.QUEDARF = reports::kComplementary;
    reports::loadComplementaryMonth(slip, 812.345, 2024, 3);
    reports::PREENCHE(slip, 2024, 3);
    EXPECT_EQ(slip.IMPO_REAL, 812.35);
    EXPECT_EQ(slip.DF_CODIG, "0246");
    EXPECT_EQ(slip.DF_VCTO, date(28, 3, 2024));
    EXPECT_EQ(slip.DF_PGTO, date(28, 3, 2024));
    EXPECT_EQ(slip.DF_OUTR[2], "Imposto........... R$        812,35");
    EXPECT_EQ(base::rtrim(slip.title()), "Pagto de Imposto complementar");
}

TEST(SlipLines, ATypedSlipKeepsItsTitleAndLosesItsLines) {
    DarfSlip slip;
    slip.QUEDARF = reports::kOther;
    slip.title() = "ITR 2025";
    slip.DF_OUTR[1] = "old";
    slip.DF_CODIG = "4600";
    reports::PREENCHE(slip, 2025, 5);
    EXPECT_EQ(slip.title(), "ITR 2025");
    EXPECT_EQ(base::alltrim(slip.DF_OUTR[1]), "");
    EXPECT_EQ(slip.DF_CODIG, "4600");
}

TEST(DocumentName, KindPeriodOrRangeAndTheFirstAndLastName) {
    DarfSlip slip = novemberSlip();
    EXPECT_EQ(reports::slipDocumentName(slip), "Darf CLeao - 11-2025 - JOAO SANTOS");
    slip.QUANTDARF = 2;
    slip.MES_PGTO = 1;
    slip.MES_FINAL = 3;
    EXPECT_EQ(reports::slipDocumentName(slip), "Darf CLeao -  do mes 01 ate 03 - JOAO SANTOS");
    slip.QUEDARF = reports::kOther;
    slip.NOMECONTR = "EMPRESA";
    EXPECT_EQ(reports::slipDocumentName(slip), "Darf Outro - 11-2025 - EMPRESA");
}

TEST(PhoneAndCpf, AsPrinted) {
    EXPECT_EQ(reports::slipPhone("987654321"), "98765-4321");
    EXPECT_EQ(reports::slipPhone("3333-4444"), "3333-4444");
    EXPECT_EQ(reports::slipCpf(kCpf), "111.444.777-35");
}

class SlipOnPaper : public DarfTest {
  protected:
    void print(const DarfSlip& slip) {
        ASSERT_TRUE(printing::PREP_IMP());
        reports::IMPRDARF(slip);
        ASSERT_TRUE(printing::closePrintOutput());
    }
};

TEST_F(SlipOnPaper, TheDrawnFormComesTwiceWithItsValuesInTheirColumns) {
    print(novemberSlip());
    const std::vector<std::string> lines = printedLines();
    std::vector<size_t> tops;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find("MINISTERIO DA FAZENDA") != std::string::npos) tops.push_back(i - 1);
    ASSERT_EQ(tops, (std::vector<size_t>{4, 33}));
    for (size_t top : tops) {
        EXPECT_EQ(lines[top], "+" + std::string(35, '-') + "+" + std::string(21, '-') + "+" +
                                  std::string(18, '-') + "+");
        EXPECT_EQ(at(lines[top + 1], 67, 10), "28/11/2025");
        EXPECT_EQ(at(lines[top + 3], 61, 14), "111.444.777-35");
        EXPECT_EQ(at(lines[top + 5], 66, 4), "0190");
        EXPECT_EQ(at(lines[top + 8], 0, 21), "|JOAO DA SILVA SANTOS");
        EXPECT_EQ(at(lines[top + 9], 0, 11), "|98765-4321");
        EXPECT_EQ(at(lines[top + 9], 65, 10), "30/12/2025");
        EXPECT_EQ(at(lines[top + 11], 63, 13), "     1.000,00");
        EXPECT_EQ(at(lines[top + 13], 63, 13), "         9,90");
        EXPECT_EQ(at(lines[top + 15], 63, 13), "        10,00");
        EXPECT_EQ(at(lines[top + 17], 63, 13), "     1.019,90");
        EXPECT_EQ(at(lines[top + 19], 0, 35), "|Valido p/ pagamento dia 02/01/2026");
        EXPECT_EQ(lines[top + 20], "|" + std::string(35, ' ') + "|" + std::string(40, ' ') + "|");
        EXPECT_EQ(lines[top + 23].size(), 78u);
    }
    // Past row 50 the next form starts a new page.
    EXPECT_EQ(base::session().integer("QLIN"), 0);
}

TEST_F(SlipOnPaper, ATotalBelowTenIsMarkedNotToBePaid) {
    DarfSlip slip = novemberSlip();
    slip.IMPO_REAL = 9.50;
    slip.VAL_MULTA = slip.VAL_JURO = 0;
    slip.VAL_TOTAL = 9.50;
    print(slip);
    const std::vector<std::string> lines = printedLines();
    EXPECT_EQ(lines.at(24), "|VALOR INFERIOR R$ 10,00 - NAO PAGAR|" + std::string(40, ' ') + "|");
    EXPECT_EQ(lines.at(25), "|SOME C/OUTROS DARFS DO MESMO CODIGO|" + std::string(40, ' ') + "|");
}

TEST_F(SlipOnPaper, NothingIsPrintedForAPrincipalOfZero) {
    DarfSlip slip = novemberSlip();
    slip.IMPO_REAL = 0;
    ASSERT_TRUE(printing::PREP_IMP());
    EXPECT_FALSE(reports::IMPRDARF(slip));
    ASSERT_TRUE(printing::closePrintOutput());
    EXPECT_EQ(printFile(), "");
}

TEST_F(SlipOnPaper, ThePreprintedFormTakesOnlyTheValuesAndPausesToAlign) {
    base::session().set("QUEMOD", 1);
    base::session().set("FEZ_TES", "S");
    messages.answers = {2};  // no more pauses after the first
    DarfSlip slip = novemberSlip();
    print(slip);
    const std::vector<std::string> lines = printedLines();
    ASSERT_GE(lines.size(), 17u);
    EXPECT_EQ(at(lines[0], 67, 10), "28/11/2025");
    EXPECT_EQ(at(lines[2], 61, 14), "111.444.777-35");
    EXPECT_EQ(at(lines[4], 66, 4), "0190");
    EXPECT_EQ(at(lines[7], 1, 20), "JOAO DA SILVA SANTOS");
    EXPECT_EQ(at(lines[8], 1, 10), "98765-4321");
    EXPECT_EQ(at(lines[8], 65, 10), "30/12/2025");
    EXPECT_EQ(at(lines[10], 63, 13), "     1.000,00");
    EXPECT_EQ(at(lines[12], 1, 27), "Carne Leao do mes de Nov/25");
    EXPECT_EQ(at(lines[12], 63, 13), "         9,90");
    EXPECT_EQ(at(lines[16], 63, 13), "     1.019,90");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(boxLines(0).at(0), "Pausa p/ um ajuste fino. ");
    EXPECT_EQ(base::session().integer("QLIN"), 24);
}

}  // namespace
}  // namespace kdx2::reports_test
