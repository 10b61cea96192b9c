// The monthly breakdown window over a real income record, typed into on a
// headless screen.

#include "editor/browse_fixture.h"
#include "platform/console/keys.h"
#include "shell/pages/pages.h"
#include "store/table_numbers.h"
#include "ui/get.h"
#include "ui/screen.h"

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

// PgDn ends a pass over the months; the window reads them again from
// January until Esc.
TEST_F(Breakdown, TheMonthsAreReadAgainFromJanuaryUntilEsc) {
    store::Table& t = income();
    base::session().set("OPC", editor::screens::kIncome);
    base::session().set("PONTEIRO", 3);  // Previdência
    keys("type 1000\nkey PgDn\ntype 7\nkey Enter\nkey Esc\n");
    EXPECT_DOUBLE_EQ(pages::MUDATEL13(2, "I1_613"), 7);
    EXPECT_DOUBLE_EQ(t.get("I1_601").number(), 7);
    EXPECT_DOUBLE_EQ(t.get("I1_613").number(), 7);
}

// Eleven full months add up to more than a payment's total column holds:
// the window stays open until a month is lowered, and only then is
// anything written.
TEST_F(Breakdown, ATotalTooLargeForItsColumnKeepsTheWindowOpen) {
    store::Table& t = table(tables::kPayments, tables::scratch(tables::kPayments), "TMP_206");
    add(t, {{"CPF", base::Value("12345678909")}, {"I6_1", base::Value("ESCOLA")}});
    t.goTop();
    base::session().set("OPC", editor::screens::kPayments);
    base::session().set("PONTEIRO", 5);  // Total
    std::string script;
    for (int m = 1; m <= 11; ++m)
        script += "type 99999999,99\n";  // a full month moves on by itself
    script +=
        "key Esc\nexpect não cabe nesta coluna\nkey Enter\nkey Up\ntype 0\nkey Enter\nkey Esc\n";
    keys(script);
    EXPECT_DOUBLE_EQ(pages::MUDATEL13(2, "I6_4"), 999999999.9);
    EXPECT_DOUBLE_EQ(t.get("I6_4").number(), 999999999.9);
    EXPECT_DOUBLE_EQ(t.get("I6_410").number(), 99999999.99);
    EXPECT_DOUBLE_EQ(t.get("I6_411").number(), 0);
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

// A sale value is spread from the month of its sale date, which starts with
// the value the field had; the months' total goes back to the field.
TEST_F(Breakdown, AltUOnASaleValueSpreadsItFromTheMonthOfTheSale) {
    base::session().set("DATA_ALI", base::Value(*base::Date::fromYmd(2025, 5, 10)));
    base::Value sale(100.0);
    ui::GetList form{ui::Get::of(5, 10, sale, "@E 9,999,999.99", "VAL_ALI")};
    keys(
        "key Alt+U\nexpect Alienação\nkey Ctrl+P\nkey Down\ntype 50\nkey Enter\nkey Esc\n"
        "key Enter\n");
    ui::bindKey(platform::keys::alt('U'), [](ui::Get*) { pages::CALC_UFIR(); });
    try {
        ui::readFields(form);
    } catch (const platform::HeadlessStop& stop) {
        FAIL() << stop.message;
    }
    // The cursor opened on May, which held the 100.
    EXPECT_NE(snapRow(11).find("Maio"), std::string::npos) << snapRow(11);
    EXPECT_NE(snapRow(11).find("100,00"), std::string::npos) << snapRow(11);
    EXPECT_DOUBLE_EQ(sale.number(), 150);
}

}  // namespace
}  // namespace kdx2::editor_test
