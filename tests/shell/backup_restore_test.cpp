// The restore of a backup into a data folder: every table back byte for
// byte, or, whatever fails or stops it, the folder as it was.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "backup_fixture.h"
#include "platform/faults.h"
#include "store/catalog.h"
#include "store/journal.h"
#include "store/verify.h"
#include "store/work_areas.h"
#include "support/fault_sweep.h"

namespace kdx2::backup_test {
namespace {

namespace bk = shell::backup;
using Outcome = bk::RestoreResult::Outcome;

const std::string kDavi = validCpf("444777000");

// C:\BK holds a backup of C:\ORIG; afterwards C:\ORIG gained a taxpayer.
class RestoreTest : public BackupTest {
  protected:
    void SetUp() override {
        BackupTest::SetUp();
        ASSERT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK"));
        backedUp = tableBytes("ORIG");
        addTaxpayer("C:\\ORIG\\", kDavi, "DAVI", {"Posto"});
        current = tableBytes("ORIG");
        ASSERT_NE(backedUp, current);
    }

    bk::RestoreResult restore() { return bk::restoreTables("C:\\BK", "C:\\ORIG"); }

    // No temporary copy or journal of a restore left in the folder.
    void expectNoLeftovers(const std::string& folder) {
        for (const std::string& name : fileNames(folder)) {
            const std::string ext = name.substr(name.find('.') + 1);
            EXPECT_TRUE(ext != "R03" && ext != "Q03" && name != "KDX2.REC")
                << name << " left in " << folder;
        }
    }

    void sweep(platform::FileOp op, long stride);

    std::map<std::string, std::string> backedUp, current;
};

TEST_F(RestoreTest, EveryTableComesBackByteForByteWithIndexesThatFindItsRows) {
    const auto result = restore();
    ASSERT_EQ(result.outcome, Outcome::Restored) << result.problem;
    EXPECT_EQ(result.restored, 17);
    EXPECT_EQ(tableBytes("ORIG"), backedUp);
    expectNoLeftovers("ORIG");

    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder(host("ORIG"), report), 0) << report.str();
    base::session().set("LOCARQ", "C:\\ORIG\\");
    ASSERT_TRUE(store::ABERTURA(9));
    EXPECT_TRUE(store::workAreas().area(9).seek(base::Value(kCaio)));
    EXPECT_FALSE(store::workAreas().area(9).seek(base::Value(kDavi)));
    EXPECT_EQ(rowsOfCpf(liveRows("ORIG"), kCaio), whole(3));
}

TEST_F(RestoreTest, NineFilesInAnEmptyFolderAreRestoredAndTheOtherTablesCreatedEmpty) {
    for (int n = 10; n <= 17; ++n)
        std::filesystem::remove(root / ("BK/Irm" + std::to_string(n) + ".DBF"));
    std::filesystem::create_directories(root / "NOVA");
    const auto result = bk::restoreTables("C:\\BK", "C:\\NOVA");
    ASSERT_EQ(result.outcome, Outcome::Restored) << result.problem;
    EXPECT_EQ(result.restored, 9);
    const auto restored = tableBytes("NOVA");
    EXPECT_EQ(restored.size(), 17u);
    EXPECT_EQ(restored.at("IRM2.DBF"), backedUp.at("IRM2.DBF"));
    const auto rows = liveRows("NOVA");
    EXPECT_EQ(rowsOfCpf(rows, kAna), (std::map<int, int>{{1, 1}, {2, 2}, {9, 1}}));
}

TEST_F(RestoreTest, FilesNotOfTheProgramAreIgnoredAndDamagedOrForeignOnesRefuseTheRestore) {
    // Names that are no year table of the program are not restored.
    std::filesystem::copy_file(root / "BK/Irm1.DBF", root / "BK/IRM18.DBF");
    std::filesystem::copy_file(root / "BK/Irm1.DBF", root / "BK/IRMX.DBF");
    EXPECT_EQ(bk::backupFilesIn("C:\\BK").size(), 17u);

    // A table of another kind under a year table's name.
    const std::filesystem::path foreign = root / "BK/Irm3.DBF";
    std::filesystem::remove(foreign);
    store::Table::create("C:\\BK\\Irm3.DBF", *store::tableLayout(52));
    auto result = restore();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    // Named by its table, not by its place in the folder's listing (Irm1,
    // Irm10 ... Irm17, Irm2, Irm3: the eleventh, which is another table).
    EXPECT_EQ(result.table, 3);
    EXPECT_NE(result.problem.find("IRM3"), std::string::npos) << result.problem;
    EXPECT_EQ(tableBytes("ORIG"), current);

    // A table cut short.
    std::filesystem::copy_file(root / "ORIG/IRM3.DBF", foreign,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(root / "BK/Irm7.DBF",
                                 std::filesystem::file_size(root / "BK/Irm7.DBF") - 200);
    result = restore();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.table, 7);
    EXPECT_EQ(tableBytes("ORIG"), current);
    expectNoLeftovers("ORIG");
}

TEST_F(RestoreTest, AnAnswerOfNaoToTheQuestionChangesNothing) {
    bool asked = false;
    const auto result = bk::restoreTables("C:\\BK", "C:\\ORIG", [&] {
        asked = true;
        return false;
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(result.outcome, Outcome::Declined);
    EXPECT_EQ(tableBytes("ORIG"), current);
}

TEST_F(RestoreTest, ACopyThatFailsHalfWayLeavesTheFolderAsItWas) {
    const long steps = test_support::sweepErrors(
        {platform::FileOp::Write, ".R03", 500, 1}, ENOSPC, true, [] {},
        [&] { return restore().outcome == Outcome::Restored; },
        [&](long step, bool reached, bool ok) {
            SCOPED_TRACE("write " + std::to_string(step));
            if (!reached) return;
            EXPECT_FALSE(ok);
            EXPECT_EQ(tableBytes("ORIG"), current);
            expectNoLeftovers("ORIG");
        });
    EXPECT_GE(steps, 17);
}

TEST_F(RestoreTest, AFolderInUseElsewhereIsNotTouched) {
    selection_test::TableHolder peer(root, "ORIG\\IRM12.DBF");
    ASSERT_TRUE(peer.ready());
    const auto result = restore();
    peer.release();
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_NE(result.problem.find("IRM12"), std::string::npos) << result.problem;
    EXPECT_EQ(tableBytes("ORIG"), current);
}

// Every file of the folder as it stood, put back before each run of a sweep.
class FolderSnapshot {
  public:
    explicit FolderSnapshot(std::filesystem::path folder) : folder_(std::move(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            files_[entry.path().filename()] = bytes.str();
        }
    }
    void putBack() const {
        store::workAreas().closeAll();
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            std::filesystem::remove(entry.path());
        for (const auto& [name, bytes] : files_)
            std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }

  private:
    std::filesystem::path folder_;
    std::map<std::filesystem::path, std::string> files_;
};

// Kills before every step of one kind (every `stride`-th when given); after
// each, the folder as the next run finds it is the old one or the restored
// one, whole, with indexes that agree with their tables.
void RestoreTest::sweep(platform::FileOp op, long stride) {
    const FolderSnapshot before(root / "ORIG");
    const long steps = test_support::sweepKills(
        {op, "", 3000, stride}, [&] { before.putBack(); }, [&] { restore(); },
        [&](long step, bool ended) {
            SCOPED_TRACE(std::string(platform::fileOpName(op)) + ": killed before step " +
                         std::to_string(step));
            // What the next run does first with the folder.
            bk::finishInterruptedRestore("C:\\ORIG");
            const auto now = tableBytes("ORIG");
            EXPECT_TRUE(now == current || now == backedUp) << "a mix of old and restored tables";
            if (!ended) {
                EXPECT_EQ(now, backedUp);
            }
            expectNoLeftovers("ORIG");
            // Now and then, and at the end, opened as the program opens them.
            if (step % 3 != 1 && ended) return;
            base::session().set("LOCARQ", "C:\\ORIG\\");
            for (int n = 1; n <= 17; ++n)
                EXPECT_TRUE(store::ABERTURA(n)) << n;
            store::workAreas().closeAll();
            std::ostringstream report;
            EXPECT_EQ(store::verifyFolder(host("ORIG"), report), 0) << report.str();
        });
    EXPECT_GT(steps, 17);
}

TEST_F(RestoreTest, KilledAtEveryRenameOrRemovalTheFolderIsTheOldOneOrTheRestoredOne) {
    // The switch itself: every file that takes its name, every index removed.
    sweep(platform::FileOp::Rename, 1);
    sweep(platform::FileOp::Unlink, 1);
}

TEST_F(RestoreTest, KilledAnywhereTheFolderIsTheOldOneOrTheRestoredOne) {
    sweep(platform::FaultPlan::kEveryChange, 11);
}

TEST_F(RestoreTest, ASaveLeftHalfDoneIsFinishedFirstAndLeavesNoJournalBehind) {
    // Another run removed Davi's income rows and was stopped right after
    // deciding it: its journal names IRM2.
    const int code = test_support::runForked([&] {
        auto incomes = store::Table::open("C:\\ORIG\\IRM2.DBF", store::OpenMode::Exclusive);
        incomes->openIndex("C:\\ORIG\\IRM2.cdx");
        store::setCommitStepHook([](store::CommitStep step, int) {
            if (step == store::CommitStep::JournalWritten) ::_exit(77);
        });
        store::Transaction removing;
        removing.removeRows(*incomes, kDavi);
        removing.commit();
    });
    ASSERT_EQ(code, 77);
    ASSERT_FALSE(store::pendingJournalTables("C:\\ORIG\\").empty());

    const auto result = restore();
    ASSERT_EQ(result.outcome, Outcome::Restored) << result.problem;
    EXPECT_TRUE(store::pendingJournalTables("C:\\ORIG\\").empty());
    EXPECT_FALSE(std::filesystem::exists(root / "ORIG/KDX2.SAV"));
    EXPECT_EQ(tableBytes("ORIG"), backedUp);
}

}  // namespace
}  // namespace kdx2::backup_test
