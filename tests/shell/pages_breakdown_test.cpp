// The monthly breakdown window over a real income record, typed into on a
// headless screen.

#include "editor/browse_fixture.h"
#include "shell/pages/pages.h"
#include "store/table_numbers.h"

namespace kdx2::editor_test {
namespace {

namespace pages = shell::pages;
namespace tables = store::tables;

class Breakdown : public BrowseTest {
  protected:
    store::Table& income() {
        store::Table& t = table(tables::kIncome, tables::scratch(tables::kIncome), "TMP_203");
        add(t, {{"CPF", base::Value("12345678909")},
                {"I1_1", base::Value("J")},
                {"I1_2", base::Value("ACME")},
                {"I1_403", base::Value(40.0)}});
        t.goTop();
        return t;
    }
};

TEST_F(Breakdown, TheMonthsTypedAreStoredAndTheirTotalReturned) {
    store::Table& t = income();
    base::session().set("OPC", editor::screens::kIncome);
    base::session().set("PONTEIRO", 2);  // Rendimentos
    keys("type 1000\nkey Enter\ntype 250,5\nkey Enter\nkey Ctrl+P\nkey Esc\n");
    const double total = pages::MUDATEL13(2, "I1_413");
    EXPECT_DOUBLE_EQ(total, 1290.5);  // March kept its 40
    EXPECT_NE(snapRow(19).find("1.290,50"), std::string::npos) << snapRow(19);
    EXPECT_DOUBLE_EQ(t.get("I1_401").number(), 1000);
    EXPECT_DOUBLE_EQ(t.get("I1_402").number(), 250.5);
    EXPECT_DOUBLE_EQ(t.get("I1_403").number(), 40);
    EXPECT_DOUBLE_EQ(t.get("I1_4").number(), 1290.5);
}

TEST_F(Breakdown, ANegativeMonthIsRefusedAndNothingIsStoredForACellWithoutMonths) {
    store::Table& t = income();
    base::session().set("OPC", editor::screens::kIncome);
    base::session().set("PONTEIRO", 2);
    keys("type -5\nkey Enter\nexpect O valor não pode ser negativo.\nkey Enter\nkey Esc\n");
    EXPECT_DOUBLE_EQ(pages::MUDATEL13(2, "I1_413"), 40);
    EXPECT_DOUBLE_EQ(t.get("I1_401").number(), 0);

    base::session().set("PONTEIRO", 1);  // the payer's name has no months
    EXPECT_DOUBLE_EQ(pages::MUDATEL13(2, "I1_2"), 0);
}

}  // namespace
}  // namespace kdx2::editor_test
