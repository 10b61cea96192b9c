// Loading and saving a taxpayer through real tables in a temporary folder;
// the year tables are read back by python3-dbfread and index_dump.

#include "workspace_fixture.h"

#include <algorithm>

#include "common/numbers.h"
#include "shell/workspace/values_io.h"
#include "store/catalog.h"
#include "tax/carne.h"

namespace kdx2::workspace_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

// Three taxpayers with two income rows each, the middle one ours.
class SaveTest : public WorkspaceTest {
  protected:
    const std::string ours = cpfOf(22222222222);

    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_TRUE(store::ABERTURA(2));
        store::Table& irm2 = store::workAreas().area(2);
        for (const std::string& cpf : {cpfOf(111), ours, cpfOf(333)}) {
            addIncome(irm2, cpf, "PAGADOR A " + cpf.substr(8), 100);
            addIncome(irm2, cpf, "PAGADOR B " + cpf.substr(8), 200);
        }
        ASSERT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        for (const std::string& cpf : {cpfOf(111), ours, cpfOf(333)}) {
            EXPECT_TRUE(reg.append());
            reg.put("CPF", base::Value(cpf));
            reg.put("NOMECONTR", base::Value("CONTRIBUINTE " + cpf.substr(8)));
            reg.unlock();
        }
        store::workAreas().closeAll();
    }

    std::vector<std::string> scratchIncome() {
        std::vector<std::string> rows;
        ws::scratch(2).forEach([&](store::Table& t) {
            rows.push_back(base::alltrim(t.get("I1_2").text()));
            return true;
        });
        return rows;
    }
};

TEST_F(SaveTest, RowsTypedInTheWorkspaceReplaceTheTaxpayersRowsOnly) {
    ASSERT_TRUE(openTaxpayer(ours));
    EXPECT_EQ(base::session().text("NOMECONTR").substr(0, 16), "CONTRIBUINTE 222");
    EXPECT_THAT(scratchIncome(), UnorderedElementsAre("PAGADOR A 222", "PAGADOR B 222"));

    // The user deletes one row, changes another and types a new one.
    store::Table& copy = ws::scratch(2);
    copy.goTop();
    copy.deleteRecord();
    copy.skip();
    copy.put("I1_413", base::Value(250.5));
    addIncome(copy, ours, "PAGADOR C 222", 75);
    base::session().set("ENDERECO", base::Value("RUA NOVA"));

    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_THAT(storedIncome(ours),
                UnorderedElementsAre("PAGADOR B 222 250.50", "PAGADOR C 222 75.00"));
    EXPECT_THAT(storedIncome(cpfOf(111)),
                ElementsAre("PAGADOR A 111 100.00", "PAGADOR B 111 200.00"));
    EXPECT_THAT(storedIncome(cpfOf(333)),
                ElementsAre("PAGADOR A 333 100.00", "PAGADOR B 333 200.00"));
    EXPECT_FALSE(std::filesystem::exists(host("DADOS/KDX2.SAV")));

    // Reopened, the workspace holds what was saved, register values included.
    ASSERT_TRUE(openTaxpayer(ours));
    EXPECT_THAT(scratchIncome(), UnorderedElementsAre("PAGADOR B 222", "PAGADOR C 222"));
    EXPECT_EQ(base::alltrim(base::session().text("ENDERECO")), "RUA NOVA");
    EXPECT_THAT(messages.shown, IsEmpty());
}

TEST_F(SaveTest, RepeatedSavesNeitherDuplicateRowsNorGrowTheTableWithoutBound) {
    ASSERT_TRUE(openTaxpayer(ours));
    for (int save = 0; save < 6; ++save)
        ASSERT_TRUE(ws::SALVATUDO(0)) << save;
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_THAT(storedIncome(ours),
                UnorderedElementsAre("PAGADOR A 222 100.00", "PAGADOR B 222 200.00"));
    // The retired rows are reused: six live rows, at most one save's worth
    // of retired ones besides.
    ASSERT_TRUE(store::ABERTURA(2));
    EXPECT_LE(store::workAreas().area(2).recCount(), 8u);
}

TEST_F(SaveTest, TheIndexStaysTrueToTheTable) {
    ASSERT_TRUE(openTaxpayer(ours));
    addIncome(ws::scratch(2), ours, "PAGADOR C 222", 1);
    addIncome(ws::scratch(2), ours, "PAGADOR D 222", 1);
    ASSERT_TRUE(ws::SALVATUDO(1));
    // Every record, deleted ones too, is listed under the CPF it holds.
    const std::string dump =
        runCommand("index_dump --type=char " + host("DADOS/IRM2.cdx") + " IRM2 2>&1");
    const std::string records = python(
        "import dbf\n"
        "t = dbf.Table('" +
        host("DADOS/IRM2.DBF") +
        "', codepage='cp850')\n"
        "t.open()\n"
        "for i, r in enumerate(t):\n"
        "    print(r.cpf.strip(), i + 1)\n"
        "t.close()\n");
    std::vector<std::string> fromIndex = lines(dump), fromTable = lines(records);
    std::sort(fromIndex.begin(), fromIndex.end());
    std::sort(fromTable.begin(), fromTable.end());
    ASSERT_FALSE(fromTable.empty());
    EXPECT_EQ(fromIndex, fromTable) << dump;
}

TEST_F(SaveTest, AssetsAndDebtsAreRenumberedByTensInTheirOrder) {
    ASSERT_TRUE(openTaxpayer(ours));
    for (int item : {7, 1, 5, 2}) {
        store::Table& assets = ws::scratch(4);
        EXPECT_TRUE(assets.append());
        assets.put("CPF", base::Value(ours));
        assets.put("I7_0", base::Value(item));
        assets.put("I7_2", base::Value("BEM " + std::to_string(item)));
    }
    for (int item : {3, 9}) {
        store::Table& debts = ws::scratch(5);
        EXPECT_TRUE(debts.append());
        debts.put("CPF", base::Value(ours));
        debts.put("I8_0", base::Value(item));
        debts.put("I8_2", base::Value("DIVIDA " + std::to_string(item)));
    }
    ASSERT_TRUE(ws::SALVATUDO(0));
    // The open workspace shows the new numbers, in its usual order.
    std::vector<std::string> open;
    ws::scratch(4).forEach([&](store::Table& t) {
        open.push_back(std::to_string(int(t.get("I7_0").number())) + " " +
                       base::alltrim(t.get("I7_2").text()));
        return true;
    });
    EXPECT_THAT(open, ElementsAre("10 BEM 1", "20 BEM 2", "30 BEM 5", "40 BEM 7"));
    ASSERT_TRUE(ws::SALVATUDO(1));
    const std::string stored = python(
        "import dbfread\n"
        "for name, item, text in (('IRM4', 'I7_0', 'I7_2'), ('IRM5', 'I8_0', 'I8_2')):\n"
        "    t = dbfread.DBF('" +
        host("DADOS/") +
        "' + name + '.DBF', encoding='cp850')\n"
        "    print(sorted((int(r[item]), r[text].strip()) for r in t))\n");
    EXPECT_EQ(stored,
              "[(10, 'BEM 1'), (20, 'BEM 2'), (30, 'BEM 5'), (40, 'BEM 7')]\n"
              "[(10, 'DIVIDA 3'), (20, 'DIVIDA 9')]\n");
}

TEST_F(SaveTest, ANewTaxpayerGetsItsRegisterRecordAtTheFirstSave) {
    const std::string fresh = cpfOf(44444444444);
    ASSERT_TRUE(openTaxpayer(fresh, true));
    EXPECT_TRUE(base::alltrim(base::session().text("I12_2")).empty());
    EXPECT_TRUE(ws::scratch(2).eof());
    base::session().set("NOMECONTR", base::Value("NOVO CONTRIBUINTE"));
    addIncome(ws::scratch(2), fresh, "PRIMEIRO", 10);
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_THAT(storedIncome(fresh), ElementsAre("PRIMEIRO 10.00"));
    ASSERT_TRUE(store::ABERTURA(9));
    store::Table& reg = store::workAreas().area(9);
    ASSERT_TRUE(reg.seek(base::Value(fresh)));
    EXPECT_EQ(base::alltrim(reg.get("NOMECONTR").text()), "NOVO CONTRIBUINTE");
    reg.skip();
    EXPECT_TRUE(reg.eof() || reg.get("CPF").text() != fresh);  // one record only
}

TEST_F(SaveTest, OpeningComputesTheMonthlyGridFromTheTaxpayersEntries) {
    // Automatic mode: the grid comes from the entries. Both of our rows are
    // from individuals and undated, so they count in January; the other
    // taxpayers' rows do not count at all.
    ASSERT_TRUE(openTaxpayer(ours));
    const tax::MonthlyGrid& grid = tax::carneLeao().REC_MENSAL;
    EXPECT_DOUBLE_EQ(grid.amount(1, tax::MonthlyGrid::kIndividuals), 300.0);
    EXPECT_DOUBLE_EQ(grid.amount(2, tax::MonthlyGrid::kIndividuals), 0.0);
    EXPECT_DOUBLE_EQ(grid.amount(tax::MonthlyGrid::kTotalRow, tax::MonthlyGrid::kIndividuals),
                     300.0);
}

TEST_F(SaveTest, MonthlyAndRuralValuesTravelThroughTheirTables) {
    ASSERT_TRUE(openTaxpayer(ours));
    base::NamedValues& s = base::session();
    // Totals-only mode: the grid is the user's, and a reload keeps it.
    s.set("CAL_AUTO", base::Value(true));
    tax::carneLeao().REC_MENSAL.setAmount(3, 2, 1234.56);
    s.set("I3_0503", base::Value(77.0));
    ws::workspaceGrids().REND_RURAL[1][0] = "1.500,25";
    s.set("I4_07", base::Value(9.5));
    s.set("OPTA", base::Value("N"));
    ASSERT_TRUE(ws::SALVATUDO(1));

    s.set("I3_0503", base::Value(0.0));
    ASSERT_TRUE(openTaxpayer(ours));
    EXPECT_DOUBLE_EQ(tax::carneLeao().REC_MENSAL.amount(3, 2), 1234.56);
    EXPECT_DOUBLE_EQ(s.number("I3_0503"), 77.0);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(ws::workspaceGrids().REND_RURAL[1][0]), 1500.25);
    EXPECT_DOUBLE_EQ(common::CAR_TO_VAL(ws::workspaceGrids().REND_RURAL[12][0]), 1500.25);
    EXPECT_DOUBLE_EQ(s.number("I4_07"), 9.5);
    EXPECT_EQ(s.text("OPTA"), "N");
    // Twelve monthly rows, one per month.
    ASSERT_TRUE(store::ABERTURA(16));
    int months = 0;
    store::workAreas().area(16).forEachKey(base::Value(ours), [&](store::Table&) {
        ++months;
        return true;
    });
    EXPECT_EQ(months, 12);
}

TEST_F(SaveTest, AMonthThatCannotBeAddedIsToldAndNoOtherMonthIsWrittenOver) {
    const std::string path = "C:\\DADOS\\MESES.DBF";
    store::Table::create(path, *store::tableLayout(ws::kMonthly));
    auto mine = store::Table::open(path, store::OpenMode::Shared, "MESES1");
    auto other = store::Table::open(path, store::OpenMode::Shared, "MESES2");
    ASSERT_TRUE(mine->append());
    mine->put("CPF", base::Value(ours));
    mine->put("MES", base::Value(1));
    mine->unlock();
    // Another workstation holds the table: months 2 ... 12 cannot be added.
    ASSERT_TRUE(other->lockTable());
    try {
        ws::storeMonthlyValues(*mine, ours);
        ADD_FAILURE() << "a month that could not be added went untold";
    } catch (const base::Error& error) {
        EXPECT_THAT(std::string(error.what()), ::testing::HasSubstr("MESES.DBF"));
    }
    other->unlock();
    EXPECT_EQ(mine->recCount(), 1u);
    mine->goTop();
    EXPECT_EQ(mine->get("MES").number(), 1);
}

}  // namespace
}  // namespace kdx2::workspace_test
