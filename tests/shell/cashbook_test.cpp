// The cash book's private table and its write-back to IRM14, killed at every
// step; the rural transfer inside an open declaration, shown at once.

#include <algorithm>

#include "shell/cashbook/cashbook.h"
#include "store/catalog.h"
#include "support/fault_sweep.h"
#include "workspace_fixture.h"

namespace kdx2::workspace_test {
namespace {

namespace cashbook = shell::cashbook;

const std::string kOurs = cpfOf(12345678909);
const std::string kOther = cpfOf(52998224725);
constexpr int kWorkArea = 34;

void addEntry(store::Table& table, const std::string& cpf, const std::string& account,
              const std::string& description, double amount) {
    store::appendRecord(table);
    table.put("CPF", base::Value(cpf));
    table.put("CDCONTA", base::Value(account));
    table.put("DESCONTA", base::Value(description));
    table.put("VALODESP", base::Value(amount));
    table.put("DATALAN", base::Value(*base::Date::fromYmd(2024, 2, 3)));
    table.put("LANCADO", base::Value(false));
    table.unlock();
}

class CashBookTest : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        base::session().set("CPF", kOurs);
        ASSERT_TRUE(store::ABERTURA(14));
        store::Table& entries = store::workAreas().area(14);
        addEntry(entries, kOther, "1001", "OUTRO-1", 1);
        for (int i = 1; i <= 3; ++i)
            addEntry(entries, kOurs, "1001", "OLD-" + std::to_string(i), i);
        addEntry(entries, kOther, "1001", "OUTRO-2", 2);
        store::workAreas().closeAll();
    }

    // The descriptions of a taxpayer's live entries in IRM14, sorted, read
    // by python3-dbfread.
    std::vector<std::string> stored(const std::string& cpf) const {
        std::vector<std::string> rows =
            lines(python("import dbfread\n"
                         "for r in dbfread.DBF('" +
                         host("DADOS/IRM14.DBF") +
                         "', encoding='cp850'):\n"
                         "    if r['CPF'] == '" +
                         cpf + "':\n        print(r['DESCONTA'].strip())\n"));
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // The user removes the old entries and types five new ones.
    static void editEntries() {
        ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
        store::Table& work = store::workAreas().area(kWorkArea);
        work.forEach([](store::Table& row) {
            row.deleteRecord();
            return true;
        });
        for (int i = 1; i <= 5; ++i)
            addEntry(work, kOurs, "1001", "NEW-" + std::to_string(i), 10 + i);
    }

    // Another terminal stores an entry of this taxpayer straight into IRM14.
    static void storeAsAnotherTerminal(const std::string& description) {
        auto other = store::Table::open("C:\\DADOS\\IRM14.DBF", store::OpenMode::Shared);
        other->openIndex("C:\\DADOS\\IRM14");
        addEntry(*other, kOurs, "1001", description, 7);
        other->close();
    }

    const std::vector<std::string> oldOnes{"OLD-1", "OLD-2", "OLD-3"};
    const std::vector<std::string> newOnes{"NEW-1", "NEW-2", "NEW-3", "NEW-4", "NEW-5"};
};

TEST_F(CashBookTest, PrivateTableHasItsOwnNameAndOnlyTheTaxpayersEntries) {
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    EXPECT_EQ(cashbook::workTablePath(), "C:\\TRAB03\\TMPL1403");
    EXPECT_TRUE(std::filesystem::exists(root / "TRAB03" / "TMPL1403.DBF"));
    EXPECT_EQ(store::workAreas().area(kWorkArea).recCount(), 3u);
    // The declaration's scratch copy of the entries is not touched.
    EXPECT_FALSE(std::filesystem::exists(root / "TRAB03" / "TMP_1403.DBF"));
    cashbook::dropWorkTable();
    EXPECT_FALSE(std::filesystem::exists(root / "TRAB03" / "TMPL1403.DBF"));
}

TEST_F(CashBookTest, WriteBackReplacesOnlyTheTaxpayersEntries) {
    editEntries();
    ASSERT_TRUE(cashbook::writeBack(kOurs));
    EXPECT_EQ(stored(kOurs), newOnes);
    EXPECT_EQ(stored(kOther), (std::vector<std::string>{"OUTRO-1", "OUTRO-2"}));
}

// Another workstation has IRM14 open: nothing is written and the user is
// told; the typed entries stay in the private table for the next try.
TEST_F(CashBookTest, WriteBackRefusedWhileAnotherTerminalUsesTheTable) {
    editEntries();
    auto other = store::Table::open("C:\\DADOS\\IRM14.DBF", store::OpenMode::Shared);
    EXPECT_FALSE(cashbook::writeBack(kOurs));
    EXPECT_TRUE(messages.saw("Os lançamentos NÃO foram gravados"));
    EXPECT_EQ(stored(kOurs), oldOnes);
    other->close();
    ASSERT_TRUE(cashbook::writeBack(kOurs));
    EXPECT_EQ(stored(kOurs), newOnes);
}

// What is typed in the window is in the private table's file at once,
// counted, while the window is still open: read by another program.
TEST_F(CashBookTest, TypedEntriesReachThePrivateTablesFileAtOnce) {
    editEntries();
    std::vector<std::string> onDisk =
        lines(python("import dbfread\n"
                     "for r in dbfread.DBF('" +
                     host("TRAB03/TMPL1403.DBF") +
                     "', encoding='cp850'):\n"
                     "    print(r['DESCONTA'].strip())\n"));
    std::sort(onDisk.begin(), onDisk.end());
    EXPECT_EQ(onDisk, newOnes);
}

// A window never left (the program stopped) leaves its entries in the
// private table; the next window, for this taxpayer or another, offers to
// store them first. "Sim" stores them, "Não" drops them, and when IRM14 is
// in use they are kept for another try and no window opens.
TEST_F(CashBookTest, EntriesOfAWindowNeverLeftAreOfferedToTheNextWindow) {
    editEntries();
    store::workAreas().closeAll();  // stopped: no write-back

    auto other = store::Table::open("C:\\DADOS\\IRM14.DBF", store::OpenMode::Shared);
    messages.answers = {1};
    EXPECT_FALSE(cashbook::loadWorkTable(kOther));
    EXPECT_TRUE(messages.saw("Há 5 lançamentos do CPF " + kOurs));
    EXPECT_TRUE(messages.saw("Os lançamentos NÃO foram gravados"));
    other->close();
    EXPECT_EQ(stored(kOurs), oldOnes);

    messages.answers = {1};
    ASSERT_TRUE(cashbook::loadWorkTable(kOther));
    EXPECT_EQ(stored(kOurs), newOnes);
    EXPECT_EQ(store::workAreas().area(kWorkArea).recCount(), 2u);  // the other taxpayer's
    store::workAreas().closeAll();
    messages.answers = {};
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));  // nothing left over: no question
    EXPECT_EQ(store::workAreas().area(kWorkArea).recCount(), 5u);

    // One more typed and dropped with "Não": IRM14 keeps what it had.
    addEntry(store::workAreas().area(kWorkArea), kOurs, "1001", "DROPPED", 99);
    store::workAreas().closeAll();
    messages.answers = {2};
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    EXPECT_TRUE(messages.saw("Há 6 lançamentos do CPF " + kOurs));
    EXPECT_EQ(stored(kOurs), newOnes);
    EXPECT_EQ(store::workAreas().area(kWorkArea).recCount(), 5u);
}

// Another terminal stored this taxpayer's entries after this window took
// its copy: nothing of theirs is replaced unasked. "Voltar à janela" keeps
// both as they are, "Sair sem gravar" lets the window close with IRM14
// untouched, "Gravar por cima" stores this window's entries.
TEST_F(CashBookTest, AnotherTerminalsEntriesAreNotReplacedUnasked) {
    editEntries();
    storeAsAnotherTerminal("THEIRS");
    std::vector<std::string> theirs = oldOnes;
    theirs.push_back("THEIRS");

    messages.answers = {1};
    EXPECT_FALSE(cashbook::writeBack(kOurs));
    EXPECT_TRUE(messages.saw("Outro terminal gravou lançamentos deste contribuinte"));
    EXPECT_EQ(stored(kOurs), theirs);
    messages.answers = {3};
    EXPECT_TRUE(cashbook::storeOnLeaving(kOurs));
    EXPECT_EQ(stored(kOurs), theirs);
    messages.answers = {2};
    EXPECT_TRUE(cashbook::writeBack(kOurs));
    EXPECT_EQ(stored(kOurs), newOnes);
    EXPECT_EQ(stored(kOther), (std::vector<std::string>{"OUTRO-1", "OUTRO-2"}));

    // Stored by this window, its next write-back asks nothing.
    messages.answers = {};
    messages.shown.clear();
    addEntry(store::workAreas().area(kWorkArea), kOurs, "1001", "NEW-6", 16);
    EXPECT_TRUE(cashbook::writeBack(kOurs));
    EXPECT_FALSE(messages.saw("Outro terminal"));
    EXPECT_EQ(stored(kOurs).size(), 6u);
}

// The window a stopped program left knows what it copied: entries another
// terminal stored since are not replaced unasked when it is recovered, and
// a window stopped just after storing its entries offers nothing.
TEST_F(CashBookTest, ARecoveredWindowDoesNotReplaceAnotherTerminalsEntriesUnasked) {
    editEntries();
    store::workAreas().closeAll();  // stopped
    storeAsAnotherTerminal("THEIRS");
    std::vector<std::string> theirs = oldOnes;
    theirs.push_back("THEIRS");

    messages.answers = {1, 1};  // "Sim", then "Voltar à janela"
    EXPECT_FALSE(cashbook::loadWorkTable(kOurs));
    EXPECT_TRUE(messages.saw("Outro terminal gravou lançamentos deste contribuinte"));
    EXPECT_EQ(stored(kOurs), theirs);

    messages.answers = {1, 2};  // "Sim", then "Gravar por cima"
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    EXPECT_EQ(stored(kOurs), newOnes);

    // Stopped right after a store: nothing is asked, the window opens.
    ASSERT_TRUE(cashbook::writeBack(kOurs));
    store::workAreas().closeAll();
    messages.answers = {};
    messages.shown.clear();
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    EXPECT_FALSE(messages.saw("digitados neste terminal"));
    EXPECT_EQ(store::workAreas().area(kWorkArea).recCount(), 5u);
}

TEST_F(CashBookTest, KilledAtAnyStepOfTheWriteBackTheEntriesAreOldOrNewNeverNone) {
    for (const char* folder : {"DADOS", "TRAB03"}) {
        std::filesystem::create_directories(root / "pristine" / folder);
        std::filesystem::copy(root / folder, root / "pristine" / folder);
    }
    auto restore = [&] {
        store::workAreas().closeAll();
        for (const char* folder : {"DADOS", "TRAB03"}) {
            std::filesystem::remove_all(root / folder);
            std::filesystem::copy(root / "pristine" / folder, root / folder);
        }
    };
    bool sawOld = false, sawNew = false;
    const long steps = test_support::sweepKills(
        {platform::FaultPlan::kEveryChange, "", 2000, 3}, restore, [this] { editEntries(); },
        [] { cashbook::writeBack(kOurs); },
        [&](long step, bool ended) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            // The next opening finishes or forgets what the stopped one left.
            store::Table::open("C:\\DADOS\\IRM14.DBF", store::OpenMode::Shared)->close();
            const std::vector<std::string> ours = stored(kOurs);
            EXPECT_TRUE(ours == oldOnes || ours == newOnes) << ::testing::PrintToString(ours);
            EXPECT_EQ(stored(kOther), (std::vector<std::string>{"OUTRO-1", "OUTRO-2"}));
            (ours == newOnes ? sawNew : sawOld) = true;
            if (!ended) {
                EXPECT_EQ(ours, newOnes);
            }
        });
    EXPECT_GT(steps, 5);
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

struct ChartAccount {
    const char* code;
    int page;
    int line;
};

// A chart of accounts with the rural revenue 8001 and expense 9001, or
// with the accounts given.
void makeChart(std::initializer_list<ChartAccount> accounts = {{"8001", 10, 1}, {"9001", 10, 2}}) {
    store::Table::create("C:\\CONTAS.DBF", *store::tableLayout(58));
    auto chart = store::Table::open("C:\\CONTAS.DBF", store::OpenMode::Exclusive);
    chart->createIndex("C:\\CONTAS.cdx", "CDCONTA");
    for (const ChartAccount& account : accounts) {
        store::appendRecord(*chart);
        chart->put("CDCONTA", base::Value(account.code));
        chart->put("NMDESCRICA", base::Value("CONTA"));
        chart->put("CDSTATUS", base::Value("S"));
        chart->put("PAGINA", base::Value(account.page));
        chart->put("LINHA", base::Value(account.line));
        chart->put("LIVROCX", base::Value("S"));
    }
}

// A taxpayer in "SO TOTAIS" mode types the monthly totals: a transfer of
// income entries keeps them. In "INDIVIDUAL" mode they are made again from
// the items.
TEST_F(CashBookTest, ATransferKeepsTheMonthlyTotalsATaxpayerTypes) {
    makeChart({{"1001", 2, 1}});
    auto setTypesTotals = [](bool typesTotals) {
        ASSERT_TRUE(store::ABERTURA(1));
        store::Table& summary = store::workAreas().area(1);
        if (summary.recCount() == 0) {
            store::appendRecord(summary);
            summary.put("CPF", base::Value(kOurs));
        } else {
            summary.goTo(1);
            ASSERT_TRUE(summary.lockRecord(1));
        }
        summary.put("CAL_AUTO", base::Value(typesTotals));
        summary.unlock();
        store::workAreas().closeAll();
    };
    setTypesTotals(true);
    ASSERT_TRUE(store::ABERTURA(16));
    store::Table& months = store::workAreas().area(16);
    store::appendRecord(months);
    months.put("CPF", base::Value(kOurs));
    months.put("MES", base::Value(1));
    months.put("I2_1", base::Value(7548.04));
    months.put("I2_5", base::Value(1024.39));
    months.unlock();
    store::workAreas().closeAll();
    const auto monthlyTotals = [this] {
        return lines(
            python("import dbfread\n"
                   "for r in dbfread.DBF('" +
                   host("DADOS/IRM16.DBF") +
                   "'):\n"
                   "    print(r['CPF'], r['MES'], r['I2_1'], r['I2_5'])\n"));
    };
    const std::vector<std::string> typed = monthlyTotals();
    ASSERT_EQ(typed, std::vector<std::string>{kOurs + " 1 7548.04 1024.39"});

    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    EXPECT_EQ(cashbook::transferEntries(cashbook::kFromMainMenu).transferred, 3);
    EXPECT_TRUE(messages.saw("modo SO TOTAIS"));
    EXPECT_EQ(monthlyTotals(), typed);
    EXPECT_EQ(storedIncome(kOurs).size(), 3u);
    cashbook::dropWorkTable();

    setTypesTotals(false);
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    addEntry(store::workAreas().area(kWorkArea), kOurs, "1001", "CONSULTA", 500);
    EXPECT_EQ(cashbook::transferEntries(cashbook::kFromMainMenu).transferred, 1);
    EXPECT_NE(monthlyTotals(), typed);
}

// A transfer from the main menu's window after another terminal stored this
// taxpayer's entries: the question comes before anything is transferred.
// Going back transfers nothing, so leaving the window unstored cannot leave
// an amount in the declaration whose entry IRM14 does not mark; storing
// over theirs transfers and stores the mark with the entries.
TEST_F(CashBookTest, AMainMenuTransferNeverLeavesAnAmountWithoutItsMark) {
    makeChart();
    auto typeSaleAndLetAnotherTerminalStore = [] {
        ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
        addEntry(store::workAreas().area(kWorkArea), kOurs, "8001", "VENDA DE GADO", 1000.00);
        storeAsAnotherTerminal("THEIRS");
    };
    const auto marksOfTheSale = [this] {
        return lines(
            python("import dbfread\n"
                   "for r in dbfread.DBF('" +
                   host("DADOS/IRM14.DBF") +
                   "', encoding='cp850'):\n"
                   "    if r['CDCONTA'] == '8001':\n        print(r['LANCADO'])\n"));
    };

    typeSaleAndLetAnotherTerminalStore();
    messages.answers = {1};  // "Voltar à janela"
    EXPECT_EQ(cashbook::transferEntries(cashbook::kFromMainMenu).transferred, 0);
    EXPECT_TRUE(messages.saw("Outro terminal gravou lançamentos deste contribuinte"));
    EXPECT_TRUE(messages.saw("Nada foi transferido."));
    EXPECT_EQ(storedIncome(kOurs), std::vector<std::string>{});
    messages.answers = {3};  // "Sair sem gravar"
    EXPECT_TRUE(cashbook::storeOnLeaving(kOurs));
    cashbook::dropWorkTable();
    EXPECT_EQ(storedIncome(kOurs), std::vector<std::string>{});
    EXPECT_EQ(marksOfTheSale(), std::vector<std::string>{});

    typeSaleAndLetAnotherTerminalStore();
    messages.answers = {2};  // "Gravar por cima"
    // The sale, and the four entries of an account the chart lacks, which
    // the transfer only marks.
    EXPECT_EQ(cashbook::transferEntries(cashbook::kFromMainMenu).transferred, 5);
    EXPECT_EQ(storedIncome(kOurs), std::vector<std::string>{"VENDA DE GADO 1000.00"});
    EXPECT_EQ(marksOfTheSale(), std::vector<std::string>{"True"});
}

// Inside the declaration a rural entry goes to the declaration's own copy,
// and the rural grid shows it without the declaration being reopened.
TEST_F(CashBookTest, RuralTransferInTheDeclarationShowsInTheRuralGridAtOnce) {
    makeChart();
    ASSERT_TRUE(openTaxpayer(kOurs));
    store::Table& entries = ws::scratch(14);
    addEntry(entries, kOurs, "8001", "VENDA DE GADO", 1000.00);
    addEntry(entries, kOurs, "9001", "RACAO", 250.00);
    addEntry(entries, kOurs, "1001", "CONSULTA", 80.00);  // not a rural account: left

    const tax::TransferResult result = cashbook::transferEntries(cashbook::kFromDeclaration);
    EXPECT_EQ(result.transferred, 2);
    EXPECT_TRUE(messages.saw("Transferidos   2 lançamentos!"));
    const auto& grid = ws::workspaceGrids().REND_RURAL;
    EXPECT_EQ(base::alltrim(grid[1][0]), "1.000,00");
    EXPECT_EQ(base::alltrim(grid[1][1]), "250,00");
    EXPECT_EQ(base::alltrim(grid[12][0]), "1.000,00");
    int ruralItems = 0;
    ws::scratch(2).forEach([&](store::Table& row) {
        ruralItems += row.get("I1_1").text() == "R";
        return true;
    });
    EXPECT_EQ(ruralItems, 2);
    // The shared table is untouched until the declaration is saved.
    EXPECT_EQ(storedIncome(kOurs), std::vector<std::string>{});
}

// The rural rebuild from the window: what was typed is written back first
// and counts; every taxpayer's rural items are made again from the entries,
// which are marked transferred (also in the window), and the rural totals
// follow.
TEST_F(CashBookTest, RuralRebuildWritesTheWindowFirstAndMarksWhatItRebuilt) {
    ASSERT_TRUE(store::ABERTURA(2));
    store::Table& income = store::workAreas().area(2);
    addIncome(income, kOther, "RURAL VELHO", 5);
    income.put("I1_1", base::Value("R"));
    income.unlock();
    store::workAreas().close(2);
    ASSERT_TRUE(cashbook::loadWorkTable(kOurs));
    addEntry(store::workAreas().area(kWorkArea), kOurs, "8001", "VENDA DE GADO", 1000.00);

    messages.answers = {1};  // "Sim"
    cashbook::AJUSTE();
    EXPECT_TRUE(messages.saw("Excluidos 1 lançamentos"));
    EXPECT_TRUE(messages.saw("Refeitos 1 lançamentos"));
    // The window's entries were stored before the rebuild: nothing of the
    // window is left over to offer (storing that copy would drop the marks).
    EXPECT_FALSE(messages.saw("digitados neste terminal"));
    EXPECT_EQ(storedIncome(kOther), std::vector<std::string>{});
    EXPECT_EQ(storedIncome(kOurs), std::vector<std::string>{"VENDA DE GADO 1000.00"});
    const std::vector<std::string> marks =
        lines(python("import dbfread\n"
                     "for r in dbfread.DBF('" +
                     host("DADOS/IRM14.DBF") +
                     "', encoding='cp850'):\n"
                     "    if r['CDCONTA'] == '8001':\n        print(r['LANCADO'])\n"));
    EXPECT_EQ(marks, std::vector<std::string>{"True"});
    // The window shows the mark, so leaving it keeps it.
    bool marked = false;
    store::workAreas().area(kWorkArea).forEach([&](store::Table& row) {
        if (base::alltrim(row.get("CDCONTA").text()) == "8001")
            marked = row.get("LANCADO").logical();
        return true;
    });
    EXPECT_TRUE(marked);
    const std::vector<std::string> totals =
        lines(python("import dbfread\n"
                     "for r in dbfread.DBF('" +
                     host("DADOS/IRM10.DBF") +
                     "', encoding='cp850'):\n"
                     "    print(r['CPF'], r['I3_02OR'])\n"));
    // The other taxpayer's totals follow the removal of its item.
    EXPECT_EQ(totals, (std::vector<std::string>{kOther + " 0.0", kOurs + " 1000.0"}));
}

}  // namespace
}  // namespace kdx2::workspace_test
