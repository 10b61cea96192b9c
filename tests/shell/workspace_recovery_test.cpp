// Nothing typed is lost: saves killed at every step, two workstations saving
// one taxpayer, tables in use elsewhere, and F4 bringing unsaved work back.

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "store/verify.h"
#include "workspace_fixture.h"

namespace kdx2::workspace_test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::StartsWith;

const std::string kOurs = cpfOf(12345678909);

std::string driver() {
    return std::string(KDX2_TEST_PROGRAMS) + "/shell_workspace_driver";
}

class RecoveryTest : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(seedTaxpayerAmongOthers(kOurs));
    }

    // Runs the driver as terminal 03 (this process's terminal); returns the
    // raw wait status.
    int run(const std::string& arguments, const std::string& terminal = "03") {
        store::workAreas().closeAll();
        return std::system(("exec " + driver() + " " + root.string() + " " + terminal + " " +
                            kOurs + " " + arguments + " 2>&1")
                               .c_str());
    }

    std::vector<std::string> ourPayers() const {
        std::vector<std::string> payers;
        for (const std::string& row : storedIncome(kOurs))
            payers.push_back(row.substr(0, row.find(' ')));
        std::sort(payers.begin(), payers.end());
        return payers;
    }

    void expectOthersUntouched() const {
        EXPECT_THAT(storedIncome(cpfOf(111)), ElementsAre("OUTRO-1 1.00"));
        EXPECT_THAT(storedIncome(cpfOf(333)), ElementsAre("OUTRO-3 3.00"));
    }

    // Runs `work` as another workstation, with its own scratch copies.
    template <typename Work>
    void asTerminal(const std::string& terminal, Work work) {
        base::NamedValues& s = base::session();
        const base::Value nusu = s.get("NUSU"), work_folder = s.get("LOCTRAB");
        std::filesystem::create_directories(root / ("TRAB" + terminal));
        s.set("NUSU", terminal);
        s.set("LOCTRAB", "C:\\TRAB" + terminal + "\\");
        work();
        store::workAreas().closeAll();
        ws::discardWorkingValues();
        s.set("NUSU", nusu);
        s.set("LOCTRAB", work_folder);
    }

    // F4 at the prompt, then the save the user would make.
    void recoverAndSave() {
        ws::createWorkingValues();
        ASSERT_TRUE(ws::DIRETO());
        EXPECT_EQ(base::session().text("CPF"), kOurs);
        ASSERT_TRUE(ws::INIC_VAR(1, 1));
        ASSERT_TRUE(ws::SALVATUDO(1));
    }
};

std::vector<std::string> labels(const std::string& label, int count) {
    std::vector<std::string> out;
    for (int i = 1; i <= count; ++i)
        out.push_back(label + "-" + std::to_string(i));
    std::sort(out.begin(), out.end());
    return out;
}

struct KillPoint {
    int step;
    int detail;
    bool decided;  // the save counts as done once its journal is written
};

class KilledSaveTest : public RecoveryTest, public ::testing::WithParamInterface<KillPoint> {};

TEST_P(KilledSaveTest, LeavesOldOrNewRowsAndF4BringsTheWorkBack) {
    const KillPoint point = GetParam();
    const int status =
        run("save NEW 5 " + std::to_string(point.step) + " " + std::to_string(point.detail));
    ASSERT_TRUE(WIFSIGNALED(status)) << status;

    // Another workstation opening any taxpayer completes a decided save.
    asTerminal("05", [] { ASSERT_TRUE(openTaxpayer(cpfOf(111))); });
    EXPECT_FALSE(std::filesystem::exists(host("DADOS/KDX2.SAV")));
    EXPECT_EQ(ourPayers(), point.decided ? labels("NEW", 5) : labels("OLD", 3));
    expectOthersUntouched();

    // The scratch copies of the killed terminal still hold the new rows,
    // and its user's F4 and save put them in place.
    recoverAndSave();
    EXPECT_EQ(ourPayers(), labels("NEW", 5));
    expectOthersUntouched();
}

INSTANTIATE_TEST_SUITE_P(EveryStep, KilledSaveTest,
                         ::testing::Values(KillPoint{0, 0, false}, KillPoint{1, 0, true},
                                           KillPoint{2, 1, true}, KillPoint{2, 6, true},
                                           KillPoint{3, 0, true}));

TEST_F(RecoveryTest, UnsavedEditsOfAKilledProgramComeBackWithF4) {
    const int status = run("edit LOST 4");
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(ourPayers(), labels("OLD", 3));  // nothing was saved
    recoverAndSave();
    EXPECT_EQ(ourPayers(), labels("LOST", 4));
    ASSERT_TRUE(store::ABERTURA(9));
    ASSERT_TRUE(store::workAreas().area(9).seek(base::Value(kOurs)));
    EXPECT_EQ(base::alltrim(store::workAreas().area(9).get("ENDERECO").text()), "LOST");
}

// A terminal killed while rows were being typed leaves its scratch copies
// with records its index never heard of: the integrity check says they are
// a terminal's work copies, whose indexes are rebuilt at every opening, and
// finds no problem in them.
TEST_F(RecoveryTest, TheIntegrityCheckTakesAKilledTerminalsScratchCopiesAsWorkFiles) {
    const int status = run("type TYPED 400");
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder("C:\\TRAB03", report), 0) << report.str();
    EXPECT_THAT(report.str(), HasSubstr("TMP_203.cdx"));
    EXPECT_THAT(report.str(), HasSubstr("cópia de trabalho"));
    // F4 brings back what reached the disk, and the copy is whole again.
    ws::createWorkingValues();
    ASSERT_TRUE(ws::DIRETO());
    ASSERT_TRUE(ws::INIC_VAR(1, 1));
    ws::leaveWithoutSaving();
    std::ostringstream after;
    EXPECT_EQ(store::verifyFolder("C:\\TRAB03", after), 0) << after.str();
    EXPECT_THAT(after.str(), Not(HasSubstr("cópia de trabalho")));
}

TEST_F(RecoveryTest, LeavingWithoutSavingKeepsEverythingForF4) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    addIncome(ws::scratch(2), kOurs, "TYPED-1", 5);
    base::session().set("ENDERECO", base::Value("RUA DIGITADA"));
    base::session().set("I12_2", base::Value("RESUMO DIGITADO"));
    ws::leaveWithoutSaving();
    ws::discardWorkingValues();

    ws::createWorkingValues();
    ASSERT_TRUE(ws::DIRETO());
    ASSERT_TRUE(ws::INIC_VAR(1, 1));
    EXPECT_EQ(base::alltrim(base::session().text("ENDERECO")), "RUA DIGITADA");
    EXPECT_EQ(base::alltrim(base::session().text("I12_2")), "RESUMO DIGITADO");
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_EQ(ourPayers(), (std::vector<std::string>{"OLD-1", "OLD-2", "OLD-3", "TYPED-1"}));
}

TEST_F(RecoveryTest, F4RefusesScratchCopiesThatAreNotOneTaxpayersWhole) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    ws::leaveWithoutSaving();
    // Another program's rows in one copy, then a missing copy.
    {
        auto copy = store::Table::open(ws::scratchPath(14), store::OpenMode::Exclusive);
        EXPECT_TRUE(copy->append());
        copy->put("CPF", base::Value(cpfOf(999)));
    }
    EXPECT_FALSE(ws::DIRETO());
    EXPECT_TRUE(messages.saw("Impossível recuperar o último CPF."));
    std::filesystem::remove(host("TRAB03/TMP_1403.DBF"));
    messages.shown.clear();
    EXPECT_FALSE(ws::DIRETO());
    EXPECT_TRUE(messages.saw("Impossível recuperar o último CPF."));
    EXPECT_FALSE(base::session().flag("LRECUPERA"));
}

TEST_F(RecoveryTest, ATableInUseElsewhereStopsTheLoadBeforeAnyCopyIsReplaced) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    addIncome(ws::scratch(2), kOurs, "UNSAVED", 1);
    ws::leaveWithoutSaving();
    auto holder = store::Table::open("C:\\DADOS\\IRM5.DBF", store::OpenMode::Exclusive);
    EXPECT_FALSE(openTaxpayer(cpfOf(111)));
    EXPECT_TRUE(messages.saw("A tabela IRM5 não pôde ser aberta."));
    holder.reset();
    // The unsaved work of the previous taxpayer is still there for F4.
    ASSERT_TRUE(ws::DIRETO());
    ASSERT_TRUE(ws::INIC_VAR(1, 1));
    std::vector<std::string> rows;
    ws::scratch(2).forEach([&](store::Table& t) {
        rows.push_back(base::alltrim(t.get("I1_2").text()));
        return true;
    });
    EXPECT_THAT(rows, ::testing::Contains("UNSAVED"));
}

TEST_F(RecoveryTest, ATableInUseElsewhereStopsTheSaveBeforeAnyTableChanges) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    addIncome(ws::scratch(2), kOurs, "NEW-1", 1);
    base::session().set("ENDERECO", base::Value("NAO GRAVADO"));
    auto holder = store::Table::open("C:\\DADOS\\IRM17.DBF", store::OpenMode::Shared);
    EXPECT_FALSE(ws::SALVATUDO(0));
    EXPECT_TRUE(messages.saw("O contribuinte NÃO foi salvo."));
    EXPECT_EQ(ourPayers(), labels("OLD", 3));
    ASSERT_TRUE(store::ABERTURA(9));
    ASSERT_TRUE(store::workAreas().area(9).seek(base::Value(kOurs)));
    EXPECT_TRUE(base::alltrim(store::workAreas().area(9).get("ENDERECO").text()).empty());
    // The workspace is still open and saves once the table is free.
    holder.reset();
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_EQ(ourPayers(), (std::vector<std::string>{"NEW-1", "OLD-1", "OLD-2", "OLD-3"}));
}

TEST_F(RecoveryTest, TwoWorkstationsSavingOneTaxpayerNeverMixTheirRows) {
    int first = 0, second = 0;
    std::thread a([&] { first = run("loop AAA 4 8 >/dev/null", "03"); });
    std::thread b([&] { second = run("loop BBB 6 8 >/dev/null", "04"); });
    a.join();
    b.join();
    ASSERT_EQ(first, 0);
    ASSERT_EQ(second, 0);
    // Whichever saved last (the other's later saves were refused with the
    // question, which nobody answered), the rows are one terminal's whole.
    const std::vector<std::string> payers = ourPayers();
    EXPECT_TRUE(payers == labels("AAA", 4) || payers == labels("BBB", 6))
        << ::testing::PrintToString(payers);
    expectOthersUntouched();
    EXPECT_FALSE(std::filesystem::exists(host("DADOS/KDX2.SAV")));
    // The register names the same winner as the rows.
    ASSERT_TRUE(store::ABERTURA(9));
    ASSERT_TRUE(store::workAreas().area(9).seek(base::Value(kOurs)));
    const std::string address = base::alltrim(store::workAreas().area(9).get("ENDERECO").text());
    EXPECT_THAT(payers, Each(StartsWith(address)));
}

// Two terminals on one taxpayer: the one opening second is told which
// terminal has it open, and a save over the other's newer save asks first,
// keeping the other's work unless told to overwrite.
TEST_F(RecoveryTest, ASecondTerminalIsWarnedAtOpeningAndAskedBeforeOverwriting) {
    {
        test_support::ChildProcess other(driver(), {root.string(), "04", kOurs, "hold", "X", "1"});
        ASSERT_EQ(other.readLine(), "open");
        ASSERT_TRUE(openTaxpayer(kOurs));
        EXPECT_TRUE(messages.saw("O terminal 04 está com a declaração deste contribuinte aberta."));
        ws::announceTaxpayerClosed();
        other.release();
        EXPECT_EQ(other.wait(), 0);
    }
    // A terminal that went away leaves no sign behind.
    messages.clear();
    ASSERT_TRUE(openTaxpayer(kOurs));
    EXPECT_FALSE(messages.saw("está com a declaração deste contribuinte aberta."));
    addIncome(ws::scratch(2), kOurs, "MINE-1", 1);

    // Terminal 04 opens, edits and saves while ours is open.
    test_support::ChildProcess saver(driver(), {root.string(), "04", kOurs, "save", "THEIRS", "2"});
    ASSERT_EQ(saver.wait(), 0);
    ASSERT_EQ(ourPayers(), labels("THEIRS", 2));

    // Our save asks; the default answer keeps their work.
    EXPECT_FALSE(ws::SALVATUDO(0));
    EXPECT_TRUE(messages.saw("Outro terminal gravou esta declaração depois que você a abriu."));
    EXPECT_EQ(ourPayers(), labels("THEIRS", 2));
    // Asked again, the user chooses to overwrite.
    messages.clear();
    messages.answers.push_back(2);
    ASSERT_TRUE(ws::SALVATUDO(0));
    EXPECT_TRUE(messages.saw("Outro terminal gravou esta declaração depois que você a abriu."));
    EXPECT_EQ(ourPayers(), (std::vector<std::string>{"MINE-1", "OLD-1", "OLD-2", "OLD-3"}));
    // Our own saves since then ask nothing.
    messages.clear();
    addIncome(ws::scratch(2), kOurs, "MINE-2", 2);
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_FALSE(messages.saw("Outro terminal gravou"));
}

}  // namespace
}  // namespace kdx2::workspace_test
