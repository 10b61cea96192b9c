#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "browse_fixture.h"

using namespace kdx2;
using kdx2::base::Value;
using kdx2::editor_test::BrowseTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// ---- Bank accounts (24) ----------------------------------------------------------

namespace {

class Accounts : public BrowseTest {
  protected:
    store::Table& accounts() { return table(17, 37, "TMP_1703", "CPF"); }
    void addAccount(store::Table& t, int code, const std::string& bank) {
        add(t, {{"CPF", "12345678909"}, {"COD_CONTA", code}, {"NOM_BANCO", bank}});
    }
    // The banks table of the install folder, in area 69.
    void banks() {
        store::Table::create("C:\\BANCOS.DBF", {{"NUMBAN", base::Type::Character, 3, 0},
                                                {"NOMEBAN", base::Type::Character, 60, 0}});
        auto opened = store::Table::open("C:\\BANCOS.DBF", store::OpenMode::Shared);
        opened->createIndex("C:\\BANCOS.CDX", "NUMBAN");
        store::workAreas().attach(69, std::move(opened));
        store::Table& t = store::workAreas().area(69);
        add(t, {{"NUMBAN", "001"}, {"NOMEBAN", "BANCO DO BRASIL S.A."}});
        add(t, {{"NUMBAN", "104"}, {"NOMEBAN", "CAIXA ECONOMICA FEDERAL"}});
    }
};

}  // namespace

TEST_F(Accounts, AnEmptyTableShowsTheCashAccountAndTheNextAccountIsOne) {
    store::Table& t = accounts();
    // The name column of a new row.
    keys("key Ctrl+P\nkey Down\nkey Right\nkey Right\ntype POUPANCA\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(24)) << failure;
    ASSERT_EQ(snaps.size(), 1u);
    // Window 5 ... 18: headings on grid row 6, the first account on row 8.
    EXPECT_THAT(snaps[0][6], HasSubstr("Cod│Nr.Banco│Nome do Banco"));
    EXPECT_THAT(snaps[0][8], HasSubstr("000│000     │Dinheiro"));
    EXPECT_THAT(column(t, "COD_CONTA"), ElementsAre("0.00", "1.00"));
    EXPECT_THAT(column(t, "NOM_BANCO"), ElementsAre("Dinheiro", "POUPANCA"));
    EXPECT_THAT(column(t, "CPF"), ElementsAre("12345678909", "12345678909"));
    // The footer of the screen is cleared when it ends.
    EXPECT_THAT(gridRow(24), ::testing::Not(HasSubstr("Bancos")));
}

TEST_F(Accounts, ANewAccountNeverTakesTheCodeOfAnother) {
    store::Table& t = accounts();
    addAccount(t, 0, "Dinheiro");
    addAccount(t, 1, "BANCO A");
    addAccount(t, 2, "BANCO B");
    t.goTop();
    // Account 1 goes; the next new one must not be numbered 2 again.
    keys(
        "key Down\nkey Del\nkey Left\nkey Enter\nkey Ctrl+PgDn\nkey Down\nkey Right\nkey Right\n"
        "type BANCO C\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(24)) << failure;
    EXPECT_THAT(column(t, "COD_CONTA"), ElementsAre("0.00", "2.00", "3.00"));
    EXPECT_THAT(column(t, "NOM_BANCO"), ElementsAre("Dinheiro", "BANCO B", "BANCO C"));
}

TEST_F(Accounts, ABankNumberFillsInTheBanksName) {
    store::Table& t = accounts();
    addAccount(t, 0, "Dinheiro");
    banks();
    t.goTop();
    keys("key Down\nkey Right\ntype 001\nkey Esc\n");
    ASSERT_TRUE(run(24)) << failure;
    EXPECT_THAT(column(t, "NRO_BANCO"), ElementsAre("", "001"));
    EXPECT_THAT(column(t, "NOM_BANCO"), ElementsAre("Dinheiro", "BANCO DO BRASIL S.A."));
    EXPECT_THAT(column(t, "PAIS_CTA"), ElementsAre("", "BR"));
    EXPECT_THAT(column(t, "COD_CONTA"), ElementsAre("0.00", "1.00"));
}

TEST_F(Accounts, AnUnknownBankNumberOpensTheBankList) {
    store::Table& t = accounts();
    addAccount(t, 0, "Dinheiro");
    banks();
    t.goTop();
    std::string asked;
    editor::hooks().lookup = [&](const std::string& qualhlp, const Value&) {
        asked = qualhlp;
        return Value("104");
    };
    keys("key Right\ntype 999\nkey Esc\n");
    ASSERT_TRUE(run(24)) << failure;
    EXPECT_EQ(asked, "NRO_BANCO");
    EXPECT_THAT(column(t, "NRO_BANCO"), ElementsAre("104"));
    EXPECT_THAT(column(t, "NOM_BANCO"), ElementsAre("CAIXA ECONOMICA FEDERAL"));
}

// ---- Cash-book entries (25) and the rural cash book (22) ------------------------------

TEST_F(BrowseTest, F1OnTheCashBookEntriesLeavesTheScreen) {
    store::Table& t = table(14, 34, "TMP_1403", "CPF");
    add(t, {{"CPF", "12345678909"}, {"CDCONTA", "4001"}, {"DESCONTA", "ALUGUEL"}});
    t.goTop();
    keys("key F1\n");
    ASSERT_TRUE(run(25)) << failure;
}

TEST_F(BrowseTest, TheRuralCashBookInTotalsOnlyModeShowsNothing) {
    table(2, 22, "TMP_203", "DTOS(DT_LC)");
    base::session().set("TIPO_LANCA", 1);
    keys("key Esc\n");
    ASSERT_TRUE(run(22)) << failure;
    // The key was never read: nothing was shown.
    EXPECT_EQ(base::session().integer("OPC"), 0);
}

TEST_F(BrowseTest, RuralEntriesTakeTheKindAndTheSideOfTheMonth) {
    store::Table& t = table(2, 22, "TMP_203", "DTOS(DT_LC)");
    base::session().set("TIPO_LANCA", 0);
    base::session().set("TIPOCR", "D");
    keys("type 0203\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(22)) << failure;
    EXPECT_THAT(column(t, "I1_1"), ElementsAre("R"));
    EXPECT_THAT(column(t, "TIPOCR"), ElementsAre("D"));
    EXPECT_THAT(column(t, "DT_LC"), ElementsAre("20250302"));
}

// ---- Matrix screens --------------------------------------------------------------------

namespace {

// The month-by-month receipts grid (16) over a grid of its own.
class Receipts : public BrowseTest {
  protected:
    std::array<std::array<std::string, 7>, 13> grid{};
    editor::RowsMatrix<std::array<std::array<std::string, 7>, 13>> matrix{grid};
    std::vector<std::string> calls;

    void SetUp() override {
        BrowseTest::SetUp();
        static const char* const months[] = {"01-Jan", "02-Fev", "03-Mar", "04-Abr", "05-Mai",
                                             "06-Jun", "07-Jul", "08-Ago", "09-Set", "10-Out",
                                             "11-Nov", "12-Dez", "TOTAIS"};
        for (int row = 0; row < 13; ++row) {
            grid[static_cast<size_t>(row)][0] = months[row];
            for (int c = 1; c < 7; ++c)
                grid[static_cast<size_t>(row)][static_cast<size_t>(c)] = "      100,00";
        }
        editor::Hooks& h = editor::hooks();
        h.matrix = [this](int code) -> editor::Matrix* { return code == 16 ? &matrix : nullptr; };
        h.VE_LEAO = [this](int row) { calls.push_back("VE_LEAO " + std::to_string(row)); };
        h.FX_RT = [this](int row, int col, int screen) {
            calls.push_back("FX_RT " + std::to_string(row) + " " + std::to_string(col) + " " +
                            std::to_string(screen));
        };
        h.SOMA_FIS = [this] { calls.push_back("SOMA_FIS"); };
        h.RESOMA = [this](int) { calls.push_back("RESOMA"); };
    }
};

}  // namespace

TEST_F(Receipts, ACellTypedInTotalsModeIsStoredFormattedAndRecomputed) {
    base::session().set("CAL_AUTO", true);
    // March, income from abroad.
    keys("key Down\nkey Down\nkey Right\ntype 250\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(16)) << failure;
    EXPECT_EQ(grid[2][2], "     250,00");
    // The typed month counts in its column's total at once.
    EXPECT_THAT(calls, ElementsAre("VE_LEAO 3", "FX_RT 3 3 16", "RESOMA"));
}

TEST_F(Receipts, TheYearsTotalsCannotBeEdited) {
    base::session().set("CAL_AUTO", true);
    keys("key Ctrl+PgDn\ntype 999\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(16)) << failure;
    EXPECT_EQ(grid[12][1], "      100,00");
    EXPECT_TRUE(calls.empty());
}

TEST_F(Receipts, TheColumnCarriedToTheSummaryIsMarked) {
    base::session().set("SO_REC", true);
    keys("key Ctrl+P\nkey Esc\n");
    ASSERT_TRUE(run(16)) << failure;
    // Window 5 ... 21: headings on grid row 6.
    EXPECT_THAT(snapRow(6), HasSubstr("Leão Pago*"));
    EXPECT_THAT(snapRow(6), ::testing::Not(HasSubstr("CL.Devido*")));
    EXPECT_THAT(snapRow(8), HasSubstr("01-Jan│      100,00"));
}

TEST_F(Receipts, EnterInIndividualModeOpensTheMonthsEntries) {
    base::session().set("CAL_AUTO", false);
    store::Table& t = table(2, 22, "TMP_203", "DTOS(DT_LC)");
    add(t, {{"CPF", "12345678909"},
            {"I1_1", "F"},
            {"TIPOCR", "C"},
            {"DT_LC", *base::Date::fromYmd(2025, 2, 10)},
            {"I1_2", "CONSULTA"},
            {"I1_413", 300.0}});
    t.goTop();
    // February, income from individuals: the entries screen, then back.
    keys("key Down\nkey Enter\nkey Ctrl+P\nkey Esc\nkey Ctrl+P\nkey Esc\n");
    ASSERT_TRUE(run(16)) << failure;
    ASSERT_EQ(snaps.size(), 2u);
    EXPECT_THAT(snaps[0][8], HasSubstr("10/02│CONSULTA"));
    EXPECT_THAT(snaps[1][6], HasSubstr("Pes.Física"));
    EXPECT_THAT(calls, ElementsAre("SOMA_FIS", "RESOMA"));
    EXPECT_EQ(base::session().integer("OPC"), 16);
}

TEST_F(BrowseTest, RuralReceiptsOpenTheMonthsEntriesOnTheirSide) {
    std::array<std::array<std::string, 2>, 13> rural{};
    editor::RowsMatrix<std::array<std::array<std::string, 2>, 13>> matrix(rural);
    editor::hooks().matrix = [&](int code) -> editor::Matrix* {
        return code == 19 ? &matrix : nullptr;
    };
    store::Table& t = table(2, 22, "TMP_203", "DTOS(DT_LC)");
    base::session().set("TIPO_LANCA", 0);
    // April's expenses: a new entry there is a rural expense.
    keys(
        "key Down\nkey Down\nkey Down\nkey Right\nkey Enter\ntype 0704\nkey Enter\nkey Esc\n"
        "key Esc\n");
    ASSERT_TRUE(run(19)) << failure;
    EXPECT_EQ(base::session().integer("MESATI"), 4);
    EXPECT_THAT(column(t, "TIPOCR"), ElementsAre("D"));
    EXPECT_THAT(column(t, "I1_1"), ElementsAre("R"));
}

// ---- Income from companies (1) and the pages around it ----------------------------------

namespace {

class Companies : public BrowseTest {
  protected:
    store::Table& sources() {
        store::Table& t = table(2, 22, "TMP_203", "CPF");
        add(t, {{"CPF", "12345678909"}, {"I1_1", "J"}, {"I1_2", "EMPRESA UM"}});
        add(t, {{"CPF", "12345678909"}, {"I1_1", "D"}, {"I1_2", "DO DEPENDENTE"}});
        t.goTop();
        return t;
    }
};

}  // namespace

TEST_F(Companies, EnterOnAnAmountTakesTheTotalOfTheMonthlyBreakdown) {
    store::Table& t = sources();
    std::string broken;
    int sums = 0;
    editor::hooks().MUDATEL13 = [&](int slot, const std::string& field) {
        broken = std::to_string(slot) + " " + field;
        return 1234.5;
    };
    editor::hooks().SOMA_JUR = [&](int) { ++sums; };
    keys("key Ctrl+P\nkey Right\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(1)) << failure;
    EXPECT_EQ(broken, "2 I1_413");
    EXPECT_THAT(column(t, "I1_413"), ElementsAre("1234.50", "0.00"));
    // Once before the screen, once after the stored total.
    EXPECT_EQ(sums, 2);
    // Only the company income is listed (rows on grid rows 4 ... 10).
    EXPECT_THAT(snapRow(4), HasSubstr("EMPRESA UM"));
    EXPECT_THAT(snapRow(5), ::testing::Not(HasSubstr("DEPENDENTE")));
}

TEST_F(Companies, ADependantsTypedAmountIsAlsoTheYearsTotal) {
    store::Table& t = sources();
    // Income (column 2) and exempt income (column 6) of the dependant's
    // payer typed straight into their cells (a stored cell moves the cursor
    // one column on), the holder's company current.
    keys(
        "key Ctrl+P\nkey Right\nkey Enter\ntype 2500\nkey Enter\nkey Right\nkey Right\nkey Right\n"
        "key Enter\ntype 300\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(2)) << failure;
    // The holder's company, current when the screen opened, is not listed.
    EXPECT_THAT(snapRow(16), HasSubstr("DO DEPENDENTE"));
    EXPECT_THAT(snapRow(17), ::testing::Not(HasSubstr("EMPRESA UM")));
    EXPECT_THAT(column(t, "I1_4"), ElementsAre("0.00", "2500.00"));
    EXPECT_THAT(column(t, "I1_413"), ElementsAre("0.00", "2500.00"));
    EXPECT_THAT(column(t, "I1_9"), ElementsAre("0.00", "300.00"));
    EXPECT_THAT(column(t, "I1_913"), ElementsAre("0.00", "300.00"));
}

TEST_F(Companies, APageKeyAcceptedByThePagesEndsTheScreen) {
    sources();
    std::vector<int> asked;
    editor::hooks().QUETEL = [&](int page) {
        asked.push_back(page);
        return page == 5;
    };
    // F3 is refused by the pages and the screen stays; F5 is taken.
    keys("key F3\nkey F5\n");
    ASSERT_TRUE(run(1)) << failure;
    EXPECT_THAT(asked, ElementsAre(3, 5));
}

TEST_F(Companies, TheGlobalBreakdownKeyIsPutBackAfterTheScreen) {
    sources();
    int global = 0;
    ui::KeyAction handler = [&](ui::Get*) { ++global; };
    // Alt+U while a cell is edited.
    keys("key Ctrl+End\nkey Enter\nkey Alt+U\nkey Esc\nkey Esc\n");
    ui::bindKey(platform::keys::alt('U'), handler);
    ASSERT_TRUE(run(1)) << failure;
    EXPECT_EQ(global, 0);
    EXPECT_TRUE(ui::isBound(platform::keys::alt('U')));
}

// ---- The yearly summary (7) ------------------------------------------------------------

TEST_F(BrowseTest, TheYearlySummaryIsReadOnlyAndAltMAsksTheMonthsOfTheAverage) {
    std::array<std::array<std::string, 14>, 31> summary{};
    for (auto& row : summary)
        for (auto& cell : row)
            cell = std::string(14, ' ');
    summary[0][0] = "Rendimentos";
    summary[0][1] = "      1.000,00";
    editor::RowsMatrix<std::array<std::array<std::string, 14>, 31>> matrix(summary);
    int computed = 0;
    int averaged = 0;
    editor::Hooks& h = editor::hooks();
    h.matrix = [&](int code) -> editor::Matrix* { return code == 7 ? &matrix : nullptr; };
    h.CALCULA_TUDO = [&](int) { ++computed; };
    h.averageChanged = [&] { ++averaged; };
    // Typing does nothing; Alt+M takes 6 months.
    keys("key Right\ntype 999\nkey Alt+M\ntype 6\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(7)) << failure;
    EXPECT_EQ(summary[0][1], "      1.000,00");
    EXPECT_EQ(base::session().integer("QMED"), 6);
    EXPECT_EQ(computed, 2);  // before the screen and after the months changed
    EXPECT_EQ(averaged, 1);
}

// ---- The variable-income statement (29) ------------------------------------------------

// Opened over the summary with Alt+R: the statement is loaded for its kind,
// each amount typed is stored as typed, the labels cannot be reached (Left
// stops at January), Alt+A turns to the other kind, and the summary is
// worked out again when it closes.
TEST_F(BrowseTest, TheVariableIncomeStatementStoresEachAmountAndSwitchesItsKind) {
    using Summary = std::array<std::array<std::string, 14>, 31>;
    using Statement = std::array<std::array<std::string, 13>, 25>;
    Summary summary{};
    Statement statement{};
    for (auto& row : statement)
        row.fill(std::string(14, ' '));
    statement[0][0] = "01.Mercado";
    editor::RowsMatrix<Summary> summaryMatrix(summary);
    editor::RowsMatrix<Statement> statementMatrix(statement);
    std::vector<std::string> calls;
    editor::Hooks& h = editor::hooks();
    h.matrix = [&](int code) -> editor::Matrix* {
        if (code == 7) return &summaryMatrix;
        return code == 29 ? &statementMatrix : nullptr;
    };
    h.CALCULA_TUDO = [&](int) { calls.push_back("CALCULA_TUDO"); };
    h.RENVAR = [&](int mode) {
        calls.push_back("RENVAR " + std::to_string(mode));
        return std::string("Operações comuns");
    };
    keys(
        "key Alt+R\ntype 1234\nkey Enter\nkey Down\ntype 5\nkey Enter\nkey Up\nkey Left\n"
        "key Left\ntype 9\nkey Enter\nkey Alt+A\nkey Esc\nkey Esc\n");
    ASSERT_TRUE(run(7)) << failure;
    EXPECT_EQ(statement[1][1], "          5,00");
    EXPECT_EQ(statement[0][1], "          9,00");
    EXPECT_EQ(statement[0][0], "01.Mercado");
    EXPECT_THAT(calls, ElementsAre("CALCULA_TUDO", "RENVAR 0", "RENVAR 1", "RENVAR 1", "RENVAR 1",
                                   "RENVAR 2", "CALCULA_TUDO"));
}

// ---- The folder list (33) ---------------------------------------------------------------

TEST_F(BrowseTest, TheFolderListRunsInsideItsDialog) {
    store::Table& t = table(50, 50, "DIRET03", "upper(DIRETOR)", true);
    add(t, {{"SELEC", "S"}, {"DIRETOR", "C:\\IR2025"}});
    t.goTop();
    // A folder that does not exist is created on confirmation.
    keys(
        "key Ctrl+P\nkey Down\ntype N\nkey Enter\ntype C:\\IR2024\nkey Enter\n"
        "expect Cria-o\nkey Enter\nkey Esc\n");
    ASSERT_TRUE(run(33)) << failure;
    // The dialog's frame and title are drawn around grid rows 11 ... 21.
    const std::string screen = [&] {
        std::string all;
        for (const std::string& row : snaps.at(0))
            all += row + "\n";
        return all;
    }();
    EXPECT_THAT(screen, HasSubstr("Pastas dos arquivos"));
    EXPECT_THAT(screen, HasSubstr("SEL.│Drive e diretório"));
    EXPECT_THAT(screen, HasSubstr("S   │C:\\IR2025"));
    EXPECT_THAT(column(t, "DIRETOR"), ElementsAre("C:\\IR2025", "C:\\IR2024"));
    EXPECT_THAT(column(t, "SELEC"), ElementsAre("S", "N"));
}
