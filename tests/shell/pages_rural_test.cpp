// The rural pages' sums and checks over a real open declaration: rows put
// into the taxpayer's scratch copies, results read from the working values.

#include "shell/pages/pages.h"

#include "common/numbers.h"
#include "store/table_numbers.h"
#include "workspace_fixture.h"

namespace kdx2::workspace_test {
namespace {

namespace tables = store::tables;
namespace pages = shell::pages;

const std::string kCpf = cpfOf(11144477735);

class RuralPages : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_TRUE(openTaxpayer(kCpf, true));
    }

    store::Table& copy(int table) { return store::workAreas().area(tables::scratch(table)); }

    void addProperty(double share, int condition = 1) {
        store::Table& t = copy(tables::kRuralProperties);
        ASSERT_TRUE(t.append());
        t.put("CPF", base::Value(kCpf));
        t.put("I2_04", base::Value(share));
        t.put("I2_05", base::Value(condition));
        t.unlock();
    }

    void addRuralEntry(double amount, const char* credit, int month, int property) {
        store::Table& t = copy(tables::kIncome);
        ASSERT_TRUE(t.append());
        t.put("CPF", base::Value(kCpf));
        t.put("I1_1", base::Value("R"));
        t.put("TIPOCR", base::Value(credit));
        t.put("I1_413", base::Value(amount));
        t.put("NROIMO", base::Value(property));
        if (month > 0) t.put("DT_LC", base::Value(*base::Date::fromYmd(2024, month, 10)));
        t.unlock();
    }

    static double grid(int row, int column) {
        return common::CAR_TO_VAL(ws::workspaceGrids().REND_RURAL[static_cast<size_t>(row - 1)]
                                                                 [static_cast<size_t>(column - 1)]);
    }
};

TEST_F(RuralPages, MonthlyTotalsCountEachEntryForItsPropertysShare) {
    addProperty(50);
    addProperty(100);
    addRuralEntry(1000, "C", 3, 1);
    addRuralEntry(1000, "C", 3, 2);
    addRuralEntry(300, "D", 0, 0);  // no date: January
    addIncome(copy(tables::kIncome), kCpf, "NOT RURAL", 999);
    base::session().set("TIPO_LANCA", 0);
    pages::SOMA_RUR(2);
    EXPECT_DOUBLE_EQ(grid(3, 1), 1500);
    EXPECT_DOUBLE_EQ(grid(1, 2), 300);
    EXPECT_DOUBLE_EQ(grid(13, 1), 1500);
    EXPECT_DOUBLE_EQ(grid(13, 2), 300);

    // The digital book's entries already are the taxpayer's share.
    base::session().set("TIPO_LANCA", 2);
    pages::SOMA_RUR(2);
    EXPECT_DOUBLE_EQ(grid(3, 1), 2000);
}

TEST_F(RuralPages, TotalsOnlyKeepWhatWasTypedInTheGrid) {
    addRuralEntry(1000, "C", 1, 0);
    ws::workspaceGrids().REND_RURAL[0][0] = "      7.000,00";
    base::session().set("TIPO_LANCA", 1);
    pages::SOMA_RUR(2);
    EXPECT_DOUBLE_EQ(grid(1, 1), 7000);
}

TEST_F(RuralPages, PatrimonyTotalsComeFromTheGoodsAndDebtsOfTheDeclaration) {
    store::Table& goods = copy(tables::kAssets);
    ASSERT_TRUE(goods.append());
    goods.put("CPF", base::Value(kCpf));
    goods.put("I7_3", base::Value(5000.0));
    goods.put("I7_4", base::Value(4000.0));
    goods.unlock();
    store::Table& debts = copy(tables::kDebts);
    ASSERT_TRUE(debts.append());
    debts.put("CPF", base::Value(kCpf));
    debts.put("I8_4", base::Value(500.0));
    debts.unlock();
    pages::patrimonyTotals();
    const base::NamedValues& s = base::session();
    EXPECT_DOUBLE_EQ(s.number("I7_3T"), 5000);
    EXPECT_DOUBLE_EQ(s.number("I8_4T"), 500);
    EXPECT_DOUBLE_EQ(s.number("EMPRESTI"), 500);
    EXPECT_DOUBLE_EQ(s.number("I10_2"), 1000);
}

TEST_F(RuralPages, TheDigitalBookValidationStopsAtTheFirstMissingValue) {
    EXPECT_FALSE(pages::VAL_LCDPR());
    EXPECT_TRUE(messages.saw("Nenhum imóvel rural cadastrado!"));

    messages.clear();
    addProperty(100);
    store::Table& p = copy(tables::kRuralProperties);
    p.goTop();
    ASSERT_TRUE(p.lockRecord());
    p.put("I2_00", base::Value(1));
    p.put("I2_03", base::Value("12345678"));
    p.unlock();
    EXPECT_FALSE(pages::VAL_LCDPR());
    EXPECT_TRUE(messages.saw("Falta o CAEPF no imóvel 001"));
}

TEST_F(RuralPages, AnOpenDeclarationWithoutRuralFiguresStartsWithoutTheTwentyPercentOption) {
    base::session().set("OPTA", "S");
    pages::startRuralValues();
    EXPECT_EQ(base::session().text("OPTA"), "N");
}

}  // namespace
}  // namespace kdx2::workspace_test
