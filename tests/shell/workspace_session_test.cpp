// The declaration command around the workspace: the taxpayer loop, leaving
// with or without saving, time in use, the automatic save and the progress bar.

#include <deque>
#include <functional>

#include "workspace_fixture.h"

namespace kdx2::workspace_test {
namespace {

using ::testing::ElementsAre;

const std::string kOurs = cpfOf(52998224725);

long at(int hours, int minutes, int seconds) {
    return hours * 3600L + minutes * 60L + seconds;
}

class SessionTest : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        EXPECT_TRUE(reg.append());
        reg.put("CPF", base::Value(kOurs));
        reg.put("ORDEM", base::Value(1));
        reg.put("TEM_USO", base::Value(100));
        reg.unlock();
        store::workAreas().closeAll();
    }

    std::vector<std::string> payers() const {
        std::vector<std::string> out;
        for (const std::string& row : storedIncome(kOurs))
            out.push_back(row.substr(0, row.find(' ')));
        return out;
    }

    base::Value registerField(const std::string& field) {
        EXPECT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        EXPECT_TRUE(reg.seek(base::Value(kOurs)));
        return reg.get(field);
    }
};

// Screens that choose the taxpayers of a list and run each declaration
// with a given piece of work.
class ScriptedScreens : public ws::Screens {
  public:
    struct Visit {
        std::string cpf;
        std::function<void()> work;
    };
    std::deque<Visit> visits;
    std::vector<std::string> calls;

    bool chooseTaxpayer(int command) override {
        calls.push_back("prompt " + std::to_string(command));
        if (visits.empty()) return false;
        base::session().set("CPF", visits.front().cpf);
        return command == 12 || ws::INIC_VAR(1, 1);
    }
    void runDeclaration() override {
        calls.push_back("declaration");
        visits.front().work();
        visits.pop_front();
        base::session().set("LSAI", true);
    }
    void runCashBook() override { calls.push_back("cash book " + base::session().text("CPF")); }
    void showTitle() override { calls.push_back("title"); }
};

TEST_F(SessionTest, TheDeclarationLoopSavesEachTaxpayerAndClearsItsMark) {
    ScriptedScreens screens;
    screens.visits.push_back({kOurs, [] {
                                  addIncome(ws::scratch(2), kOurs, "DIGITADO", 10);
                                  base::session().set("CIGNORE", "S");
                              }});
    ws::DISTRIBUI(11, screens);
    EXPECT_THAT(screens.calls, ElementsAre("prompt 11", "declaration", "prompt 11", "title"));
    EXPECT_THAT(payers(), ElementsAre("DIGITADO"));
    EXPECT_EQ(registerField("ORDEM").number(), 0);
    // The working values are gone with the command.
    EXPECT_FALSE(base::session().has("TELVEL"));
    EXPECT_FALSE(ws::workingValuesExist());
}

TEST_F(SessionTest, LeavingWithoutSavingEndsTheLoopAndKeepsTheWorkForF4) {
    ScriptedScreens screens;
    screens.visits.push_back({kOurs, [] {
                                  addIncome(ws::scratch(2), kOurs, "PENDENTE", 10);
                                  base::session().set("CIGNORE", "I");
                              }});
    screens.visits.push_back({cpfOf(111), [] {}});
    ws::DISTRIBUI(11, screens);
    EXPECT_THAT(screens.calls, ElementsAre("prompt 11", "declaration", "title"));
    EXPECT_TRUE(payers().empty());
    ws::createWorkingValues();
    ASSERT_TRUE(ws::DIRETO());
    ASSERT_TRUE(ws::INIC_VAR(1, 1));
    ws::scratch(2).goTop();
    EXPECT_EQ(base::alltrim(ws::scratch(2).get("I1_2").text()), "PENDENTE");
}

TEST_F(SessionTest, TheCashBookCommandProposesTheLastTaxpayer) {
    ScriptedScreens screens;
    base::session().set("ULT_CPF", kOurs);
    screens.visits.push_back({kOurs, [] {}});
    ws::DISTRIBUI(12, screens);
    EXPECT_THAT(screens.calls, ElementsAre("prompt 12", "cash book " + kOurs));
}

TEST_F(SessionTest, TimeInUseCountsAcrossMidnightAndNotWhilePaused) {
    fixedClock.seconds = at(23, 59, 0);
    ASSERT_TRUE(openTaxpayer(kOurs));
    EXPECT_EQ(base::session().number("TEM_USO"), 100);
    fixedClock.seconds = at(0, 1, 0);
    EXPECT_EQ(ws::VETEMPO(), 100 + 120);
    // Paused: the clock moves, the time used does not.
    base::session().set("SEMHORA", true);
    fixedClock.seconds = at(0, 30, 0);
    EXPECT_EQ(ws::VETEMPO(), 100);
    // The register keeps what was spent.
    base::session().set("SEMHORA", false);
    fixedClock.seconds = at(0, 31, 0);
    ASSERT_TRUE(ws::SALVATUDO(1));
    EXPECT_EQ(registerField("TEM_USO").number(), 160);
}

TEST_F(SessionTest, TheAutomaticSaveWaitsForItsMinutes) {
    base::NamedValues& s = base::session();
    fixedClock.seconds = at(23, 59, 30);
    ASSERT_TRUE(openTaxpayer(kOurs));
    addIncome(ws::scratch(2), kOurs, "AUTOMATICO", 1);
    s.set("TEMP_SAL", 2);
    fixedClock.seconds = at(0, 1, 29);  // 1 minute 59 seconds
    EXPECT_FALSE(ws::autoSaveWhenDue());
    EXPECT_TRUE(payers().empty());
    fixedClock.seconds = at(0, 1, 30);
    EXPECT_TRUE(ws::autoSaveWhenDue());
    EXPECT_THAT(payers(), ElementsAre("AUTOMATICO"));
    // The count starts again from that save.
    fixedClock.seconds = at(0, 2, 30);
    EXPECT_FALSE(ws::autoSaveWhenDue());
    for (int never : {0, 98, 99}) {
        s.set("TEMP_SAL", never);
        fixedClock.seconds = at(12, 0, 0);
        EXPECT_FALSE(ws::autoSaveWhenDue()) << never;
    }
}

TEST_F(SessionTest, AnIntermediateSaveKeepsTheCurrentAreaAndRecord) {
    ASSERT_TRUE(openTaxpayer(kOurs));
    for (const char* payer : {"A", "B", "C"})
        addIncome(ws::scratch(2), kOurs, payer, 1);
    store::workAreas().select(ws::scratchArea(2));
    ws::scratch(2).goTop();
    ws::scratch(2).skip();
    const uint32_t recno = ws::scratch(2).recNo();
    ASSERT_TRUE(ws::SAL_DEC());
    EXPECT_EQ(store::workAreas().current(), ws::scratchArea(2));
    EXPECT_EQ(ws::scratch(2).recNo(), recno);
    EXPECT_THAT(payers(), ElementsAre("A", "B", "C"));
}

class RecordingDisplay : public ws::Display {
  public:
    std::vector<std::string> bars;
    void working(const std::string&) override {}
    void progress(const std::string& bar, int place) override {
        bars.push_back(std::to_string(place) + ":" + std::to_string(bar.size()));
    }
    void done() override {}
};

TEST_F(SessionTest, TheProgressBarGrowsTwoBlocksPerTable) {
    RecordingDisplay shown;
    ws::setDisplay(&shown);
    ASSERT_TRUE(openTaxpayer(kOurs));
    ws::setDisplay(nullptr);
    ASSERT_EQ(shown.bars.size(), 17u);
    EXPECT_EQ(shown.bars.back(), "1:34");
    EXPECT_EQ(base::session().text("TAM_CALC"), std::string(34, static_cast<char>(176)));
}

}  // namespace
}  // namespace kdx2::workspace_test
