// The yearly summary worked out on the open workspace, and a taxpayer loaded
// to be printed, which must leave a declaration's unsaved work alone.

#include <filesystem>

#include "shell/settings.h"
#include "shell/workspace/year_summary.h"
#include "shell/workspace/year_tables.h"
#include "tax/carne.h"
#include "workspace_fixture.h"

namespace kdx2::workspace_test {
namespace {

using ::testing::HasSubstr;

const std::string kOurs = cpfOf(12345678909);
const std::string kOther = cpfOf(33333333333);

// One payment row (IRM6 layout): code, the same amount in each month of
// `months`, the annual amount their sum.
void addPayment(store::Table& table, const std::string& cpf, int code, double monthly, int months) {
    store::appendRecord(table);
    table.put("CPF", base::Value(cpf));
    table.put("I6_3", base::Value(code));
    for (int month = 1; month <= months; ++month)
        table.put("I6_4" + ws::monthSuffix(month), base::Value(monthly));
    table.put("I6_4", base::Value(monthly * months));
    table.unlock();
}

// One dated income entry from an individual (kind "F") in `month` of 2024.
void addIndividualIncome(store::Table& table, const std::string& cpf, int month, double amount) {
    store::appendRecord(table);
    table.put("CPF", base::Value(cpf));
    table.put("I1_1", base::Value("F"));
    table.put("I1_2", base::Value("ALUGUEL"));
    table.put("DT_LC", base::Value(*base::Date::fromYmd(2024, month, 10)));
    table.put("I1_413", base::Value(amount));
    table.unlock();
}

std::string summaryCell(int row, int period) {
    return base::alltrim(
        shell::sessionLists().MRESUMO[static_cast<size_t>(row)][static_cast<size_t>(period + 1)]);
}

class YearSummaryTest : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_TRUE(store::ABERTURA(2));
        store::Table& income = store::workAreas().area(2);
        for (int month = 1; month <= 6; ++month)
            addIndividualIncome(income, kOurs, month, 10000.00);
        addIndividualIncome(income, kOther, 3, 2500.00);
        ASSERT_TRUE(store::ABERTURA(6));
        // Private pension of 3,000.00 a month for six months: 36,000.00 a
        // year projected, above 12 % of the 120,000.00 projected income.
        addPayment(store::workAreas().area(6), kOurs, 36, 3000.00, 6);
        ASSERT_TRUE(store::ABERTURA(9));
        for (const std::string& cpf : {kOurs, kOther}) {
            store::Table& reg = store::workAreas().area(9);
            store::appendRecord(reg);
            reg.put("CPF", base::Value(cpf));
            reg.unlock();
        }
        store::workAreas().closeAll();
        base::session().set("QMEDIA", 6);
        base::session().set("OPCAO_1", 11);
    }
};

// Six months of 10,000.00 over six months: 120,000.00 a year (rows 3 and 6);
// the pension is cut to 12 % of it, 14,400.00 (row 8), and January shows its
// own 10,000.00 and 3,000.00 unprojected.
TEST_F(YearSummaryTest, OpeningFillsTheSummaryFromTheDeclaration) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    EXPECT_EQ(summaryCell(3, 0), "120.000,00");
    EXPECT_EQ(summaryCell(6, 0), "120.000,00");
    EXPECT_EQ(summaryCell(8, 0), "14.400,00");
    EXPECT_EQ(summaryCell(3, 1), "10.000,00");
    EXPECT_EQ(summaryCell(8, 1), "3.000,00");
    EXPECT_EQ(summaryCell(3, 7), "") << "nothing received in July";
    EXPECT_EQ(base::cp850::toUtf8(shell::sessionLists().MRESUMO[3][0]), "Recebido de P. Físicas");
}

// The average months are read at each computation, kept within 1 ... 12.
TEST_F(YearSummaryTest, TheAverageMonthsChangeTheProjectionAndNeverDivideByZero) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    base::session().set("QMEDIA", 12);
    ws::computeYearSummary();
    EXPECT_EQ(summaryCell(3, 0), "60.000,00");
    EXPECT_EQ(base::session().text("NOTA_MEDIA"), "");
    base::session().set("QMEDIA", 0);
    ws::computeYearSummary();
    EXPECT_EQ(summaryCell(3, 0), "720.000,00");
    EXPECT_THAT(base::session().text("NOTA_MEDIA"), HasSubstr("01 m"));
}

// A grid cell typed on the carnê-leão grid counts in the summary at once.
TEST_F(YearSummaryTest, AChangedGridCellReachesTheSummary) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    tax::CarneLeao& carne = tax::carneLeao();
    carne.REC_MENSAL.setAmount(7, tax::MonthlyGrid::kAbroad, 1500.00);
    ws::FX_RT(7, tax::MonthlyGrid::kAbroad, 16);
    EXPECT_EQ(summaryCell(4, 7), "1.500,00");
    EXPECT_EQ(summaryCell(4, 0), "3.000,00");  // 1,500.00 x 12 / 6
}

// The exempt and exclusive income forms keep their totals, which the
// summary's I9_3 takes: the taxable base plus both, less the tax paid.
TEST_F(YearSummaryTest, TheIncomeFormsKeepTheirTotals) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    base::NamedValues& s = base::session();
    s.set("I3_01T", 1000.00);
    s.set("I3_13T", 250.50);
    ws::FX_RT(1, 2, 11);
    EXPECT_DOUBLE_EQ(s.number("I3_14T"), 1250.50);
    s.set("I4_02T", 300.00);
    s.set("I4_05T", 0.25);
    ws::FX_RT(2, 2, 12);
    EXPECT_DOUBLE_EQ(s.number("I4_07T"), 300.25);
    // Base: 120,000.00 less the simplified discount of 2024 (16,754.34).
    EXPECT_DOUBLE_EQ(s.number("I9_3"), 103245.66 + 1250.50 + 300.25);
}

// What the payments copy could not give (a table of an older structure,
// without the monthly amounts) is told, and the summary keeps the income
// that could be read.
TEST_F(YearSummaryTest, AnUnreadablePaymentsCopyIsToldAndTheRestShown) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    const std::string path = "C:\\TRAB03\\OLD_6.DBF";
    store::Table::create(
        path, {{"CPF", base::Type::Character, 11, 0}, {"I6_3", base::Type::Numeric, 2, 0}});
    std::unique_ptr<store::Table> old = store::Table::open(path, store::OpenMode::Exclusive);
    ASSERT_TRUE(old->append());
    old->put("I6_3", base::Value(36));
    store::workAreas().attach(ws::scratchArea(6), std::move(old));
    messages.clear();
    ws::computeYearSummary();
    EXPECT_EQ(summaryCell(3, 0), "120.000,00");
    EXPECT_EQ(summaryCell(8, 0), "");
    EXPECT_TRUE(messages.saw("O resumo mostra o que pôde ser lido."));
    EXPECT_EQ(ws::summaryProblems().size(), 1u);
    // Worked out again after the next change, the same problem is not told
    // again.
    messages.clear();
    ws::computeYearSummary();
    EXPECT_FALSE(messages.saw("O resumo mostra o que pôde ser lido."));
}

// Printing loads the taxpayer into copies of its own: the copies holding a
// declaration left without saving are still there for F4, whole.
TEST_F(YearSummaryTest, LoadingATaxpayerToPrintKeepsTheWorkF4BringsBack) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    addIncome(ws::scratch(2), kOurs, "TYPED-1", 5);
    ws::leaveWithoutSaving();
    ws::discardWorkingValues();

    base::session().set("CPF", kOther);
    ASSERT_TRUE(ws::loadForPrinting());
    // The printed taxpayer's own figures: 2,500.00 in March.
    EXPECT_DOUBLE_EQ(tax::carneLeao().TRECFIS[3], 2500.00);
    // The printing copies stay for the pages and go when they are printed.
    EXPECT_TRUE(std::filesystem::exists(host("TRAB03/TMP_P203.DBF")));
    ws::releasePrintingCopies();
    EXPECT_FALSE(std::filesystem::exists(host("TRAB03/TMP_P203.DBF")));

    EXPECT_EQ(ws::recoverableCpf(), kOurs);
    ws::createWorkingValues();
    ASSERT_TRUE(ws::DIRETO());
    ASSERT_TRUE(ws::INIC_VAR(1, 1));
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_THAT(storedIncome(kOurs), ::testing::Contains("TYPED-1 5.00"));
}

// With a declaration open on this terminal its own taxpayer is printed from
// the workspace as it stands; another one is refused until it is closed,
// and the open copies are not touched either way.
TEST_F(YearSummaryTest, PrintingWhileADeclarationIsOpenNeverReplacesItsCopies) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    addIncome(ws::scratch(2), kOurs, "TYPED-1", 5);
    ASSERT_TRUE(ws::loadForPrinting());
    EXPECT_DOUBLE_EQ(tax::carneLeao().TRECFIS[1], 10000.00);

    base::session().set("CPF", kOther);
    messages.clear();
    EXPECT_FALSE(ws::loadForPrinting());
    EXPECT_TRUE(messages.saw("Feche-a antes de imprimir outro contribuinte."));
    EXPECT_DOUBLE_EQ(tax::carneLeao().TRECFIS[1], 10000.00);

    base::session().set("CPF", kOurs);
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_THAT(storedIncome(kOurs), ::testing::Contains("TYPED-1 5.00"));
}

}  // namespace
}  // namespace kdx2::workspace_test
