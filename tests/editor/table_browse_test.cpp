#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "browse_fixture.h"

using namespace kdx2;
using kdx2::base::Value;
using kdx2::editor_test::BrowseTest;
using ::testing::ElementsAre;

namespace {

// The dependants screen (3): a scratch copy in area 23, column 1 frozen,
// rows on grid rows 8 ... 19 under the headings of row 6.
class Dependants : public BrowseTest {
  protected:
    store::Table& dependants() { return table(3, 23, "TMP_303", "CPF"); }
    void addDependant(store::Table& t, int number, const std::string& name) {
        add(t, {{"CPF", "12345678909"}, {"NRODEPEN", number}, {"NOMEDEPEN", name}});
    }
    store::Table& threeDependants() {
        store::Table& t = dependants();
        addDependant(t, 1, "ANA");
        addDependant(t, 2, "BIA");
        addDependant(t, 3, "CAIO");
        t.goTop();
        return t;
    }
};

}  // namespace

TEST_F(Dependants, ShowsTheRecordsUnderTheHeadingsFromTheCurrentOne) {
    threeDependants();
    keys("key Ctrl+P\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    ASSERT_EQ(snaps.size(), 1u);
    EXPECT_THAT(snapRow(6), ::testing::HasSubstr("Nro│Nome Completo"));
    EXPECT_THAT(snapRow(8), ::testing::HasSubstr(" 1 │ANA "));
    EXPECT_THAT(snapRow(9), ::testing::HasSubstr(" 2 │BIA "));
    EXPECT_THAT(snapRow(10), ::testing::HasSubstr(" 3 │CAIO "));
    // The frame is closed again when the screen ends.
    EXPECT_THAT(gridRow(8), ::testing::Not(::testing::HasSubstr("ANA")));
    EXPECT_EQ(base::session().integer("ULTTECLA"), platform::keys::Esc);
    EXPECT_TRUE(base::session().flag("TECLAMUDA"));
}

TEST_F(Dependants, AnEmptyTableOpensOnABlankRowThatUpDoesNotLeave) {
    store::Table& t = dependants();
    // Up would leave append mode on a table with rows; the table is still
    // empty, so typing still makes a new row.
    keys("key Up\ntype ANA\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "NOMEDEPEN"), ElementsAre("ANA"));
    // The new row has the screen's defaults: the taxpayer's CPF.
    EXPECT_THAT(column(t, "CPF"), ElementsAre("12345678909"));
}

TEST_F(Dependants, ABlankRowLeftWithoutAChangeAppendsNothing) {
    store::Table& t = dependants();
    // A name typed and taken back with Esc, then a blank row left with Down.
    keys("type JOAO\nkey Esc\nkey Down\nkey Enter\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_TRUE(column(t, "NOMEDEPEN").empty());
}

TEST_F(Dependants, RowsTypedOneAfterAnotherEachAppendOnce) {
    store::Table& t = dependants();
    // Enter in the last column goes to the first editable column of a new
    // blank row.
    keys("type ANA\nkey Enter\nkey End\nkey Enter\nkey Enter\ntype BIA\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "NOMEDEPEN"), ElementsAre("ANA", "BIA"));
}

TEST_F(Dependants, DeletingTheOnlyRowSwitchesToAppendMode) {
    store::Table& t = dependants();
    addDependant(t, 1, "ANA");
    t.goTop();
    // Del, "Sim" (the question opens on "Não"); the blank row then takes a
    // new name at once.
    keys("key Del\nkey Left\nkey Enter\ntype BIA\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "NOMEDEPEN"), ElementsAre("BIA"));
}

TEST_F(Dependants, DeletingTheLastRowMovesToThePreviousOne) {
    store::Table& t = threeDependants();
    // To the last row, delete it, then copy the name under the cursor.
    keys("key Ctrl+PgDn\nkey Del\nkey Left\nkey Enter\nkey Alt+M\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "NOMEDEPEN"), ElementsAre("ANA", "BIA"));
    EXPECT_EQ(base::rtrim(base::session().text("CLIPTEX")), "BIA");
}

TEST_F(Dependants, DeletionAnsweredNoKeepsTheRow) {
    store::Table& t = threeDependants();
    keys("key Del\nkey Esc\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_EQ(column(t, "NOMEDEPEN").size(), 3u);
}

TEST_F(Dependants, AltEDeletesTheNumberOfRowsAfterTheCurrentOne) {
    store::Table& t = dependants();
    for (int i = 1; i <= 5; ++i)
        addDependant(t, i, "D" + std::to_string(i));
    t.goTop();
    // On the second row: two rows after it go; asking for more than there
    // are on the fourth row stops at the last one.
    keys("key Down\nkey Alt+E\ntype 2\nkey Enter\nkey Alt+M\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "NOMEDEPEN"), ElementsAre("D1", "D2", "D5"));
    EXPECT_EQ(base::rtrim(base::session().text("CLIPTEX")), "D2");
}

TEST_F(Dependants, TheCursorNeverStaysInTheFrozenColumn) {
    threeDependants();
    // Home and Left would reach the number column; the cursor comes back.
    keys("key Home\nkey Left\nkey Alt+M\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_EQ(base::session().text("EDI_CAMPO"), "NomeDepen");
}

TEST_F(Dependants, CopyAndPasteACellBetweenRows) {
    store::Table& t = threeDependants();
    keys("key Alt+M\nkey Down\nkey Down\nkey Alt+C\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "NOMEDEPEN"), ElementsAre("ANA", "BIA", "ANA"));
}

TEST_F(Dependants, PasteOfAnotherTypeIsRefused) {
    store::Table& t = threeDependants();
    // A name cannot go into the birth date.
    keys("key Alt+M\nkey Right\nkey Right\nkey Alt+C\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_THAT(column(t, "DATADEPEN"), ElementsAre("        ", "        ", "        "));
}

TEST_F(Dependants, PgDnOverManyRowsEndsOnTheLastAndThenAppends) {
    store::Table& t = dependants();
    for (int i = 1; i <= 30; ++i)
        addDependant(t, i, "D" + std::to_string(i));
    t.goTop();
    // Three pages reach the end; one more PgDn is the way into a new row.
    keys("key PgDn\nkey PgDn\nkey PgDn\nkey Alt+M\nkey PgDn\ntype NOVO\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_EQ(base::rtrim(base::session().text("CLIPTEX")), "D30");
    const std::vector<std::string> names = column(t, "NOMEDEPEN");
    ASSERT_EQ(names.size(), 31u);
    EXPECT_EQ(names.back(), "NOVO");
}

TEST_F(Dependants, AClickMovesTheCursorToTheCell) {
    threeDependants();
    // Grid row 10 is the third data row; column 65 lies in the CPF column.
    keys("click 11 65\nkey Alt+M\nkey Esc\n");
    ASSERT_TRUE(run(3)) << failure;
    EXPECT_EQ(base::session().text("EDI_CAMPO"), "CPFDEPEN");
    EXPECT_EQ(base::session().integer("PONTVERT"), 3);
}

// ---- Dates ----------------------------------------------------------------------

namespace {

// The entries of one month of income from individuals (screen 17 opened
// from column 2 of the monthly grid), ordered by date as the workspace does.
class Entries : public BrowseTest {
  protected:
    store::Table& entries() {
        base::session().set("POSHORMAT", 2);
        base::session().set("POSVERMAT", 1);
        return table(2, 22, "TMP_203", "DTOS(DT_LC)");
    }
    void addEntry(store::Table& t, int day, const std::string& text, double value) {
        add(t, {{"CPF", "12345678909"},
                {"I1_1", "F"},
                {"TIPOCR", "C"},
                {"DT_LC", *base::Date::fromYmd(2025, 1, day)},
                {"I1_2", text},
                {"I1_413", value}});
    }
};

}  // namespace

TEST_F(Entries, ADateTypedWithDayAndMonthOnlyTakesTheBaseYear) {
    store::Table& t = entries();
    // A new entry takes its place in date order at once, the cursor on it.
    keys("type 1503\nkey Enter\nkey Right\ntype ALUGUEL\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(17)) << failure << screenText();
    EXPECT_THAT(column(t, "DT_LC"), ElementsAre("20250315"));
    EXPECT_THAT(column(t, "I1_2"), ElementsAre("ALUGUEL"));
    // The new entry has the kind of the column it was typed under.
    EXPECT_THAT(column(t, "I1_1"), ElementsAre("F"));
    EXPECT_THAT(column(t, "TIPOCR"), ElementsAre("C"));
}

TEST_F(Entries, AnExpenseAccountOutsideTheBookMakesTheEntryOther) {
    base::session().set("POSHORMAT", 4);
    base::session().set("POSVERMAT", 1);
    // An office's own account among the expenses kept out of the book.
    store::Table& chart = table(58, 58, "CONTAS", "CDCONTA");
    add(chart, {{"CDCONTA", "4150"}, {"NMDESCRICA", "Despesas do escritorio"}});
    store::Table& t = table(2, 22, "TMP_203", "DTOS(DT_LC)");
    // Straight to the account column of the blank row; four digits fill it.
    keys("key Right\nkey Right\nkey Right\ntype 4150\nkey Esc\n");
    ASSERT_TRUE(run(17)) << failure << screenText();
    EXPECT_THAT(column(t, "CDCONTA"), ElementsAre("4150"));
    EXPECT_THAT(column(t, "I1_1"), ElementsAre("O"));
    EXPECT_THAT(column(t, "TIPOCR"), ElementsAre("N"));
}

TEST_F(Entries, OpensOnTheFirstEntryOfTheMonthChosen) {
    store::Table& t = entries();
    addEntry(t, 5, "JANEIRO", 10);
    add(t, {{"CPF", "12345678909"},
            {"I1_1", "F"},
            {"TIPOCR", "C"},
            {"DT_LC", *base::Date::fromYmd(2025, 3, 2)},
            {"I1_2", "MARCO"}});
    base::session().set("POSVERMAT", 3);
    keys("key Alt+M\nkey Esc\n");
    ASSERT_TRUE(run(17)) << failure << screenText();
    EXPECT_EQ(base::session().get("CLIPTEX"), Value(*base::Date::fromYmd(2025, 3, 2)));
}

TEST_F(Entries, AltOOrdersByTheColumnUntilTheScreenEnds) {
    store::Table& t = entries();
    addEntry(t, 1, "CARLOS", 10);
    addEntry(t, 2, "ANA", 20);
    addEntry(t, 3, "BETO", 30);
    t.goTop();
    keys("key Ctrl+P\nkey Right\nkey Alt+O\nkey Ctrl+PgUp\nkey Ctrl+P\nkey Esc\n");
    ASSERT_TRUE(run(17)) << failure << screenText();
    ASSERT_EQ(snaps.size(), 2u);
    // Rows start on grid row 8 (window 5 ... 18, headings on row 6).
    EXPECT_THAT(snaps[0][8], ::testing::HasSubstr("CARLOS"));
    EXPECT_THAT(snaps[1][8], ::testing::HasSubstr("ANA"));
    EXPECT_THAT(snaps[1][9], ::testing::HasSubstr("BETO"));
    EXPECT_THAT(snaps[1][10], ::testing::HasSubstr("CARLOS"));
    // The table's own order is back and the temporary index is gone.
    EXPECT_EQ(t.indexCount(), 1);
    EXPECT_EQ(t.indexKeyExpression(t.order()), "DTOS(DT_LC)");
    EXPECT_FALSE(std::filesystem::exists(root / "TRAB" / "PRA_03.cdx"));
}

TEST_F(Entries, SubtotalFromTheMarkedRowThroughTheCurrentOne) {
    store::Table& t = entries();
    addEntry(t, 1, "A", 10);
    addEntry(t, 2, "B", 20);
    addEntry(t, 3, "C", 30);
    addEntry(t, 4, "D", 40);
    t.goTop();
    keys(
        "key Down\nkey Alt+2\nkey Down\nkey Down\nkey Alt+3\n"
        "expect SUBTOTAL=         90,00\nkey Enter\nkey Esc\n");
    EXPECT_TRUE(run(17)) << failure << screenText();
}

TEST_F(Entries, DeletingAnEntryRecomputesTheMonth) {
    store::Table& t = entries();
    addEntry(t, 1, "A", 10);
    t.goTop();
    int recomputed = 0;
    editor::hooks().SOMA_FIS = [&] { ++recomputed; };
    keys("key Del\nkey Left\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(17)) << failure << screenText();
    EXPECT_TRUE(column(t, "I1_2").empty());
    EXPECT_EQ(recomputed, 1);
}

// ---- Shared tables and locks --------------------------------------------------------

namespace {

// The taxpayer marking screen (35) over the shared taxpayer register.
class Marking : public BrowseTest {
  protected:
    store::Table& registerTable() {
        store::Table::create("C:\\DADOS\\IRM9.DBF", *store::tableLayout(9));
        store::workAreas().close(9);
        auto opened = store::Table::open("C:\\DADOS\\IRM9.DBF", store::OpenMode::Shared);
        opened->createIndex("C:\\DADOS\\IRM9.CDX", "CPF");
        opened->createIndex("C:\\DADOS\\IRM9B.CDX", "upper(NOMECONTR)");
        opened->setOrder(1);
        store::workAreas().attach(9, std::move(opened));
        store::workAreas().select(9);
        store::Table& t = store::workAreas().area(9);
        add(t, {{"CPF", "11111111111"}, {"NOMECONTR", "CARLA"}});
        add(t, {{"CPF", "22222222222"}, {"NOMECONTR", "BRUNO"}});
        add(t, {{"CPF", "33333333333"}, {"NOMECONTR", "ALICE"}});
        t.goTop();
        base::session().set("OPCAO_1", 51);
        return t;
    }
};

}  // namespace

TEST_F(Marking, OnlyTheLastColumnIsEditedAndF2F1ChangeTheOrder) {
    store::Table& t = registerTable();
    // Left stays in the mark column; F2 shows the names in order.
    keys("key Left\ntype S\nkey F2\nkey Ctrl+P\nkey F1\nkey Ctrl+P\nkey Esc\n");
    ASSERT_TRUE(run(35)) << failure;
    EXPECT_THAT(column(t, "IMPRE"), ElementsAre("S", "", ""));
    ASSERT_EQ(snaps.size(), 2u);
    // Rows from grid row 8 (window 5 ... 19).
    EXPECT_THAT(snaps[0][8], ::testing::HasSubstr("ALICE"));
    EXPECT_THAT(snaps[0][10], ::testing::HasSubstr("CARLA"));
    EXPECT_THAT(snaps[1][8], ::testing::HasSubstr("CARLA"));
    EXPECT_THAT(snaps[0][6], ::testing::HasSubstr("Imprime"));
}

TEST_F(Marking, MarkAllAndMarkNone) {
    store::Table& t = registerTable();
    keys("key Alt+=\nkey Ctrl+P\nkey Esc\n");
    ASSERT_TRUE(run(35)) << failure;
    EXPECT_THAT(column(t, "IMPRE"), ElementsAre("S", "S", "S"));
    keys("key Alt+-\nkey Esc\n");
    ASSERT_TRUE(run(35)) << failure;
    EXPECT_THAT(column(t, "IMPRE"), ElementsAre("", "", ""));
}

TEST_F(Marking, ARecordLockedElsewhereIsNotWrittenAndTheOthersAre) {
    registerTable();
    store::workAreas().area(9).flush();
    editor_test::RecordHolder peer(root, "DADOS\\IRM9.DBF", 2);
    ASSERT_TRUE(peer.holding());
    // Mark every row by typing (a mark moves on to the next row); the
    // second is held by the other workstation.
    keys("type S\ntype S\ntype S\nkey Esc\n");
    ASSERT_TRUE(run(35)) << failure;
    store::workAreas().closeAll();
    const std::string marks = editor_test::runPython(
        "import dbfread\n"
        "for r in dbfread.DBF('" +
        (root / "DADOS" / "IRM9.DBF").string() +
        "', encoding='cp850'):\n"
        "    print(r['CPF'], repr(r['IMPRE']))\n");
    EXPECT_THAT(marks, ::testing::HasSubstr("11111111111 'S'"));
    EXPECT_THAT(marks, ::testing::HasSubstr("22222222222 ''"));
    EXPECT_THAT(marks, ::testing::HasSubstr("33333333333 'S'"));
    EXPECT_FALSE(feedback.statuses.empty());
}

TEST_F(Marking, PasteWaitsForNoLockItCannotHaveAndLetsGoOfThoseItTakes) {
    store::Table& t = registerTable();
    editor_test::RecordHolder peer(root, "DADOS\\IRM9.DBF", 2);
    ASSERT_TRUE(peer.holding());
    t.goTop();
    t.put("IMPRE", "S");
    t.flush();
    // Copy the first mark; paste on the held row (refused) and the third.
    keys("key Alt+M\nkey Down\nkey Alt+C\nkey Down\nkey Alt+C\nkey Esc\n");
    ASSERT_TRUE(run(35)) << failure;
    EXPECT_THAT(column(t, "IMPRE"), ElementsAre("S", "", "S"));
    EXPECT_FALSE(t.isRecordLocked(3));
    EXPECT_FALSE(t.hasTableLock());
}
