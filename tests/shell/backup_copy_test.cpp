// The backup of a data folder into another folder, read back byte for byte
// and by an independent DBF reader; failures at every write leave the
// previous backup as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "backup_fixture.h"
#include "platform/faults.h"
#include "store/work_areas.h"
#include "support/fault_sweep.h"

namespace kdx2::backup_test {
namespace {

namespace bk = shell::backup;

// One of the origin's income rows is deleted.
void deleteCaiosFirstIncome() {
    base::session().set("LOCARQ", "C:\\ORIG\\");
    ASSERT_TRUE(store::ABERTURA(2));
    store::Table& incomes = store::workAreas().area(2);
    ASSERT_TRUE(incomes.seek(base::Value(kCaio)));
    ASSERT_TRUE(incomes.lockRecord());
    incomes.deleteRecord();
    incomes.unlock();
    store::workAreas().closeAll();
}

TEST_F(BackupTest, TheBackupHoldsEveryTableAsItIsUnderItsOwnName) {
    ASSERT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK"));
    const auto copied = tableBytes("BK");
    EXPECT_EQ(copied.size(), 17u);
    // Tables without deleted records are copied byte for byte.
    EXPECT_EQ(copied, tableBytes("ORIG"));
    const auto names = fileNames("BK");
    EXPECT_TRUE(names.count("Irm1.DBF") && names.count("Irm17.DBF"));
    EXPECT_EQ(names.size(), 17u) << "a temporary file stayed behind";
    EXPECT_TRUE(feedback.alerts.empty());
}

TEST_F(BackupTest, DeletedRecordsAreLeftOutOfTheCopy) {
    deleteCaiosFirstIncome();

    ASSERT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK"));
    const std::string out = test_support::runPython(
        "import dbfread\n"
        "for f in ('" +
        host("ORIG/IRM2.DBF") + "', '" + host("BK/Irm2.DBF") +
        "'):\n"
        "    print(sorted((r['CPF'], r['I1_2'].strip()) for r in dbfread.DBF(f, "
        "encoding='cp850')))\n");
    const size_t newline = out.find('\n');
    ASSERT_NE(newline, std::string::npos) << out;
    // The reader skips the deleted row of the origin; the copy holds the
    // other five rows and nothing else.
    EXPECT_EQ(out.substr(0, newline + 1), out.substr(newline + 1)) << out;
    EXPECT_EQ(std::count(out.begin(), out.begin() + long(newline), '('), 5) << out;
    std::ifstream copy(root / "BK/Irm2.DBF", std::ios::binary);
    unsigned char header[12] = {};
    copy.read(reinterpret_cast<char*>(header), sizeof header);
    const unsigned recordLength = header[10] | (header[11] << 8);
    EXPECT_EQ(header[4], 5) << "record count in the copy's header";
    EXPECT_EQ(std::filesystem::file_size(root / "ORIG/IRM2.DBF") -
                  std::filesystem::file_size(root / "BK/Irm2.DBF"),
              recordLength);
}

// A backup into a folder that holds indexes of its tables (another data
// folder) leaves none of them beside the new tables: they would list the
// old records against the new files. The next open builds them again and
// finds every row by its key.
TEST_F(BackupTest, IndexesOfTheReplacedTablesDoNotStayBehind) {
    std::filesystem::create_directories(root / "BK");
    for (const auto& entry : std::filesystem::directory_iterator(root / "ORIG"))
        std::filesystem::copy(entry.path(), root / "BK" / entry.path().filename());
    deleteCaiosFirstIncome();

    ASSERT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK"));
    for (const std::string& name : fileNames("BK"))
        EXPECT_FALSE(base::asciiUpper(name).ends_with(".CDX")) << name;
    base::session().set("LOCARQ", "C:\\BK\\");
    ASSERT_TRUE(store::ABERTURA(2));
    store::Table& copied = store::workAreas().area(2);
    int found = 0;
    copied.forEach([&](store::Table& row) {
        const base::Value cpf = row.get("CPF");
        const uint32_t recno = row.recNo();
        bool listed = false;
        copied.forEachKey(cpf, [&](store::Table& match) {
            listed = listed || match.recNo() == recno;
            return true;
        });
        found += listed;
        return true;
    });
    EXPECT_EQ(found, 5);
    store::workAreas().closeAll();
}

TEST_F(BackupTest, AWriteThatFailsAnywhereLeavesThePreviousBackupWhole) {
    ASSERT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK"));
    const auto previous = tableBytes("BK");
    addTaxpayer("C:\\ORIG\\", validCpf("444777000"), "DAVI", {"Posto"});
    const long steps = test_support::sweepErrors(
        {platform::FileOp::Write, ".B03", 500, 1}, ENOSPC, true, [] {},
        [] { return bk::backupTables("C:\\ORIG", "C:\\BK"); },
        [&](long step, bool reached, bool ok) {
            SCOPED_TRACE("write " + std::to_string(step));
            if (!reached) {
                EXPECT_TRUE(ok);
                return;
            }
            EXPECT_FALSE(ok) << "a failed backup was reported as done";
            EXPECT_EQ(tableBytes("BK"), previous);
            EXPECT_EQ(fileNames("BK").size(), 17u) << "a temporary file stayed behind";
        });
    EXPECT_GT(steps, 17);
    EXPECT_NE(tableBytes("BK"), previous);
}

TEST_F(BackupTest, ATableThatCannotBeOpenedFailsTheBackup) {
    ASSERT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK"));
    const auto previous = tableBytes("BK");
    std::filesystem::resize_file(root / "ORIG/IRM5.DBF", 20);
    EXPECT_FALSE(bk::backupTables("C:\\ORIG", "C:\\BK"));
    EXPECT_EQ(tableBytes("BK"), previous);
    EXPECT_FALSE(feedback.alerts.empty());
}

TEST_F(BackupTest, ADiskTooSmallAsksAndAbandoningChangesNothing) {
    int asked = 0;
    bk::BackupHooks hooks;
    hooks.freeSpace = [](const std::string&) { return uint64_t{1000}; };
    hooks.askSpace = [&] {
        ++asked;
        return bk::SpaceAnswer::Abandon;
    };
    EXPECT_FALSE(bk::backupTables("C:\\ORIG", "C:\\BK", hooks));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(fileNames("BK").empty());
}

TEST_F(BackupTest, ASwappedDiskGetsTheTablesThatDidNotFitAndTheFirstDiskKeepsItsCopies) {
    // Room for the first tables only; then the user swaps in a larger disk.
    uint64_t sizes = 0;
    for (int n = 1; n <= 3; ++n)
        sizes += std::filesystem::file_size(root / ("ORIG/IRM" + std::to_string(n) + ".DBF"));
    int calls = 0;
    bool settledBeforeSwap = false;
    bk::BackupHooks hooks;
    hooks.freeSpace = [&](const std::string&) {
        if (++calls == 1) return sizes + 1;
        settledBeforeSwap = std::filesystem::exists(root / "BK/Irm3.DBF");
        return uint64_t{1} << 40;
    };
    int asked = 0;
    hooks.askSpace = [&] {
        ++asked;
        return bk::SpaceAnswer::Swap;
    };
    EXPECT_TRUE(bk::backupTables("C:\\ORIG", "C:\\BK", hooks));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(settledBeforeSwap) << "the first disk's copies were not in place at the swap";
    EXPECT_EQ(tableBytes("BK"), tableBytes("ORIG"));
}

}  // namespace
}  // namespace kdx2::backup_test
