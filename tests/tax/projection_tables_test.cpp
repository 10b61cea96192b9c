// The records the year's computation reads from real tables, and the
// variable-income statement stored and read back by an independent reader.

#include "tax/projection_tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "store/work_areas.h"
#include "tax_fixture.h"

namespace kdx2::tax {
namespace {

using base::Value;
using store::OpenMode;
using store::Table;

const std::string kTaxpayer = "11122233396";

std::string twoDigits(int number) {
    return (number < 10 ? "0" : "") + std::to_string(number);
}

class ProjectionTables : public tax_testing::TableTest {
  protected:
    void addCompanyItem(Table& entries, const std::string& kind, double monthly) {
        ASSERT_TRUE(entries.append());
        entries.put("CPF", Value(kTaxpayer));
        entries.put("I1_1", Value(kind));
        entries.put("I1_9", Value(11.0));
        entries.put("I1_10", Value(22.0));
        for (int month = 1; month <= 12; ++month) {
            entries.put("I1_4" + twoDigits(month), Value(monthly));
            entries.put("I1_5" + twoDigits(month), Value(monthly / 10));
        }
        entries.put("I1_413", Value(monthly * 12));
        entries.put("I1_513", Value(monthly * 12 / 10));
        entries.put("I1_713", Value(monthly));
        entries.put("I1_1113", Value(5.0));
    }
    void addOther(Table& entries, double amount) {
        ASSERT_TRUE(entries.append());
        entries.put("CPF", Value(kTaxpayer));
        entries.put("I1_1", Value("O"));
        entries.put("I1_413", Value(amount));
    }
    void addPayment(Table& payments, int code, double annual, int dependant) {
        ASSERT_TRUE(payments.append());
        payments.put("CPF", Value(kTaxpayer));
        payments.put("I6_3", Value(code));
        payments.put("I6_4", Value(annual));
        payments.put("I6_6", Value(dependant));
        payments.put("I6_403", Value(annual));
    }
    void addAssetSale(Table& gains, int number, int month, double taxDue) {
        ASSERT_TRUE(gains.append());
        gains.put("CPF", Value(kTaxpayer));
        gains.put("BEM_NRO", Value(number));
        gains.put("TIPO_BEM", Value(1));
        gains.put("IMP_DEV" + twoDigits(month), Value(taxDue));
    }

    // The statement lines stored, as the independent reader sees them: one
    // line "RVAR_NRO DAY_TRADE TIPO_BEM month:amount ..." each, deleted
    // records left out.
    std::string storedLines() {
        return python(
            "import dbfread\n"
            "for r in dbfread.DBF('" +
            hostPath("TMP_799.DBF") +
            "', encoding='cp850'):\n"
            "    if r['TIPO_BEM'] == 4:\n"
            "        months = ['%d:%.2f' % (m, r['REC_MES%02d' % m]) for m in range(1, 13) if "
            "r['REC_MES%02d' % m]]\n"
            "        print(r['CPF'], r['RVAR_NRO'], repr(r['DAY_TRADE']), *months)\n");
    }
};

TEST_F(ProjectionTables, RecordsOfTheWorkspaceCopies) {
    Table& entries = createInArea(kEntriesArea, 22, "TMP_2", "", OpenMode::Exclusive);
    addCompanyItem(entries, "J", 1000.00);
    addCompanyItem(entries, "D", 300.00);
    addOther(entries, 40.00);
    addOther(entries, 2.50);
    ASSERT_TRUE(entries.append());
    entries.put("I1_1", Value("F"));
    entries.put("I1_413", Value(9999.00));
    Table& payments = createInArea(kPaymentsArea, 26, "TMP_6", "", OpenMode::Exclusive);
    addPayment(payments, 1, 4000.00, 2);
    addPayment(payments, 69, 150.00, 0);
    Table& gains = createInArea(kCapitalGainsArea, 27, "TMP_7", "", OpenMode::Exclusive);
    addAssetSale(gains, 1, 8, 321.00);

    const DeclarationRecords records = readDeclarationRecords();
    ASSERT_EQ(records.companyItems.size(), 2u);
    EXPECT_DOUBLE_EQ(records.otherItemsTotal, 42.50);

    const CompanyIncome company = SOMA_JUR(records.companyItems);
    EXPECT_DOUBLE_EQ(company.TRECJUR[13], 12000.00);
    EXPECT_DOUBLE_EQ(company.TIMPJUR[5], 100.00);
    EXPECT_DOUBLE_EQ(company.TRECDEP[12], 300.00);
    EXPECT_DOUBLE_EQ(company.I4_01T, 1000.00);
    EXPECT_DOUBLE_EQ(company.I3_05T, 10.00);
    EXPECT_DOUBLE_EQ(company.I3_13T, 11.00);
    EXPECT_DOUBLE_EQ(company.I4_06T, 22.00 + 300.00);

    const PaymentSums sums = FDE_TUDO(records.payments, records.otherItemsTotal, 0);
    EXPECT_DOUBLE_EQ(sums.DESPESC[3], 4000.00);
    EXPECT_DOUBLE_EQ(sums.educationByPerson.at(2), 4000.00);
    EXPECT_DOUBLE_EQ(sums.DESPMEN[3], 150.00);
    EXPECT_DOUBLE_EQ(sums.TDESP_CR, 42.50 + 4000.00 + 150.00);

    EXPECT_DOUBLE_EQ(IMPGANCAP(records.capitalGains)[8], 321.00);
}

TEST_F(ProjectionTables, MissingCopiesGiveNoRecords) {
    const DeclarationRecords records = readDeclarationRecords();
    EXPECT_TRUE(records.companyItems.empty());
    EXPECT_TRUE(records.payments.empty());
    EXPECT_TRUE(records.capitalGains.empty());
}

// A payments table of an older structure, without the dependant's number:
// the entries are still read, and what failed is told.
TEST_F(ProjectionTables, UnreadableTableLeavesTheOthersRead) {
    Table& entries = createInArea(kEntriesArea, 22, "TMP_2", "", OpenMode::Exclusive);
    addCompanyItem(entries, "J", 1000.00);
    const std::string path = "C:\\DADOS\\OLD_6.DBF";
    Table::create(path, {{"CPF", base::Type::Character, 11, 0},
                         {"I6_3", base::Type::Numeric, 2, 0},
                         {"I6_4", base::Type::Numeric, 12, 2}});
    std::unique_ptr<Table> old = Table::open(path, OpenMode::Exclusive);
    ASSERT_TRUE(old->append());
    old->put("I6_3", Value(10));
    store::workAreas().attach(kPaymentsArea, std::move(old));

    const DeclarationRecords records = readDeclarationRecords();
    EXPECT_EQ(records.companyItems.size(), 1u);
    EXPECT_TRUE(records.payments.empty());
    ASSERT_EQ(records.problems.size(), 1u);
    EXPECT_NE(records.problems[0].find("I6_"), std::string::npos) << records.problems[0];
}

TEST_F(ProjectionTables, StatementStoredLineByLine) {
    Table& gains = createInArea(kCapitalGainsArea, 27, "TMP_799", "", OpenMode::Exclusive);
    addAssetSale(gains, 1, 2, 50.00);  // an asset sale stays untouched

    VariableIncomeGrid grid = ZER_RENVAR(2025);
    grid[13][3] = "       -500,00";  // line 14, March
    grid[15][5] = "      1.000,00";  // line 16, May
    ASSERT_TRUE(GRAVA_RV(gains, grid, "X", kTaxpayer));
    ASSERT_TRUE(GRAVA_RV(gains, grid, " ", kTaxpayer));  // the same for common operations
    EXPECT_EQ(storedLines(), kTaxpayer + " 14 'X' 3:-500.00\n" + kTaxpayer + " 16 'X' 5:1000.00\n" +
                                 kTaxpayer + " 14 '' 3:-500.00\n" + kTaxpayer +
                                 " 16 '' 5:1000.00\n");

    // Line 14 changed and line 16 emptied for day trade only.
    grid[13][3] = "      -250,00";
    grid[13][12] = "         10,00";
    grid[15][5] = std::string(14, ' ');
    ASSERT_TRUE(GRAVA_RV(gains, grid, "X", kTaxpayer));
    EXPECT_EQ(storedLines(), kTaxpayer + " 14 'X' 3:-250.00 12:10.00\n" + kTaxpayer +
                                 " 14 '' 3:-500.00\n" + kTaxpayer + " 16 '' 5:1000.00\n");

    const DeclarationRecords records =
        readDeclarationRecords(nullptr, nullptr, store::workAreas().table(kCapitalGainsArea));
    const VariableIncomeTotals totals = CALC_GRV(records.capitalGains);
    EXPECT_DOUBLE_EQ(totals.PREJRVA, 750.00);
    EXPECT_DOUBLE_EQ(totals.LUCRRVA, 10.00);
    EXPECT_DOUBLE_EQ(totals.I4_03T, 1000.00);
    EXPECT_DOUBLE_EQ(IMPGANCAP(records.capitalGains)[2], 50.00);
    const VariableIncomeGrid loaded = loadVariableIncome(2025, records.capitalGains, "X");
    EXPECT_EQ(loaded[13][12], "         10,00");
}

}  // namespace
}  // namespace kdx2::tax
