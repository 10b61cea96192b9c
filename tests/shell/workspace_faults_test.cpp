// A save under faults: killed before each of its file operations, or meeting
// a full disk, an I/O error or a read-only disk there (once, or for good).
// Whatever happens, the taxpayer's stored rows are the old ones or the new
// ones, never both and never none; what the user is told matches what the
// files hold; the scratch copies still bring the work back; and the files
// are whole for other programs (python3-dbfread, python3-dbf, index_dump)
// and for the integrity check.

#include <algorithm>
#include <sstream>

#include "platform/faults.h"
#include "store/verify.h"
#include "support/fault_sweep.h"
#include "support/independent_readers.h"
#include "workspace_fixture.h"

namespace kdx2::workspace_test {
namespace {

const std::string kOurs = cpfOf(12345678909);

class SaveFaultTest : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(seedTaxpayerAmongOthers(kOurs));
        for (const char* folder : {"DADOS", "TRAB03"}) {
            std::filesystem::create_directories(root / "pristine" / folder);
            std::filesystem::copy(root / folder, root / "pristine" / folder);
        }
        const auto before = test_support::readTables(root / "DADOS", {"IRM2"})["IRM2"];
        oldRows = test_support::liveRowsOf(before, kOurs);
        others = otherRows(before);
        ASSERT_EQ(oldRows.size(), 3u);
    }

    void restore() {
        store::workAreas().closeAll();
        if (ws::workingValuesExist()) ws::discardWorkingValues();
        ws::announceTaxpayerClosed();
        for (const char* folder : {"DADOS", "TRAB03"}) {
            std::filesystem::remove_all(root / folder);
            std::filesystem::copy(root / "pristine" / folder, root / folder);
        }
        messages.clear();
        feedback.alerts.clear();
    }

    // The user opens the taxpayer and replaces its rows by five new ones.
    static void openAndEdit() {
        ASSERT_TRUE(openTaxpayer(kOurs));
        store::Table& rows = ws::scratch(2);
        rows.forEach([](store::Table& row) {
            row.deleteRecord();
            return true;
        });
        for (int i = 1; i <= 5; ++i)
            addIncome(rows, kOurs, "NEW-" + std::to_string(i), 10 + i);
        base::session().set("ENDERECO", base::Value("NEW"));
        // Moving between pages puts the typing on the disk.
        ws::checkpoint();
    }

    std::vector<std::vector<std::string>> otherRows(const test_support::ReadTable& table) const {
        std::vector<std::vector<std::string>> rows;
        for (const auto& row : table.live)
            if (row.front() != kOurs) rows.push_back(row);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    static std::vector<std::string> payers(const std::vector<std::vector<std::string>>& rows) {
        std::vector<std::string> names;
        for (const auto& row : rows)
            names.push_back(row.at(2));
        std::sort(names.begin(), names.end());
        return names;
    }

    // The data folder after the next opening of its tables (which finishes
    // or undoes what a stopped save left): true when our rows are the new
    // ones, false when the old ones; anything else fails the test.
    bool storedRowsAreNew() {
        for (int n = 1; n <= 17; ++n)
            store::Table::open("C:\\DADOS\\IRM" + std::to_string(n) + ".DBF",
                               store::OpenMode::Shared)
                ->close();
        const auto table = test_support::readTables(root / "DADOS", {"IRM2"})["IRM2"];
        EXPECT_EQ(table.error, "");
        EXPECT_EQ(otherRows(table), others) << "other taxpayers touched";
        EXPECT_TRUE(test_support::indexAgrees(root / "DADOS" / "IRM2.cdx", "IRM2", table));
        std::ostringstream report;
        EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
        const auto ours = payers(test_support::liveRowsOf(table, kOurs));
        const std::vector<std::string> oldOnes{"OLD-1", "OLD-2", "OLD-3"};
        const std::vector<std::string> newOnes{"NEW-1", "NEW-2", "NEW-3", "NEW-4", "NEW-5"};
        EXPECT_TRUE(ours == oldOnes || ours == newOnes) << ::testing::PrintToString(ours);
        return ours == newOnes;
    }

    std::vector<std::vector<std::string>> oldRows, others;
};

TEST_F(SaveFaultTest, KilledBeforeAnyStepTheRowsAreOldOrNewAndF4BringsTheWorkBack) {
    bool sawOld = false, sawNew = false;
    const long steps = test_support::sweepKills(
        {platform::FaultPlan::kEveryChange, "", 2000, 5}, [&] { restore(); }, [] { openAndEdit(); },
        [] { ws::SALVATUDO(1); },
        [&](long step, bool ended) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            const bool isNew = storedRowsAreNew();
            (isNew ? sawNew : sawOld) = true;
            if (!ended) {
                EXPECT_TRUE(isNew);
            }
            // The user of the killed terminal presses F4 and saves.
            ws::createWorkingValues();
            ASSERT_TRUE(ws::DIRETO());
            ASSERT_TRUE(ws::INIC_VAR(1, 1));
            ASSERT_TRUE(ws::SALVATUDO(1));
            EXPECT_TRUE(storedRowsAreNew());
        });
    EXPECT_GT(steps, 50);
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

TEST_F(SaveFaultTest, FailingAtAnyStepTheUserIsToldWhatTheFilesHold) {
    for (const test_support::InjectedError& injected : test_support::injectedErrors()) {
        SCOPED_TRACE(test_support::describe(injected));
        test_support::sweepErrors(
            {platform::FaultPlan::kEveryChange, "", 2000, 11}, injected.error, injected.sticky,
            [&] { restore(); }, [] { openAndEdit(); }, [] { return ws::SALVATUDO(0); },
            [&](long step, bool reached, bool ok) {
                SCOPED_TRACE("failing at step " + std::to_string(step));
                const bool toldNotSaved = messages.saw("NÃO foi salvo");
                const bool isNew = storedRowsAreNew();
                if (!reached) {
                    EXPECT_TRUE(ok && isNew);
                }
                if (ok || !toldNotSaved) {
                    EXPECT_TRUE(isNew) << "told it was saved, but the old rows are there";
                } else {
                    EXPECT_FALSE(isNew) << "told it was not saved, but the new rows are there";
                }
                // The workspace stayed open: saving again, with the disk
                // back, puts the work in place.
                messages.clear();
                ASSERT_TRUE(ws::SALVATUDO(1)) << ::testing::PrintToString(messages.shown);
                EXPECT_TRUE(storedRowsAreNew());
            });
    }
}

}  // namespace
}  // namespace kdx2::workspace_test
