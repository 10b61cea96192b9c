// Tables and indexes under faults: writes that fail, programs killed between
// two writes, and another workstation acting at the worst moment of an open.
// After each, the files are read by the independent readers (python3-dbfread,
// python3-dbf, index_dump) and by the program's own integrity check.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "base/error.h"
#include "base/text.h"
#include "platform/drives.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "store/access.h"
#include "store/journal.h"
#include "store/locks.h"
#include "store/verify.h"
#include "store_fixture.h"
#include "support/fault_sweep.h"
#include "support/independent_readers.h"

using namespace kdx2;
using base::Type;
using base::Value;
using platform::FaultPlan;
using platform::FileOp;
using store::OpenMode;
using store::Table;
using testing::HasSubstr;

namespace {

const store::Structure kRows = {
    {"CPF", Type::Character, 11, 0},
    {"NOME", Type::Character, 20, 0},
    {"VALOR", Type::Numeric, 12, 2},
};

const std::string kTable = "C:\\DADOS\\PEQ.DBF";
const std::string kIndex = "C:\\DADOS\\PEQ.cdx";

std::string cpfOf(long n) {
    char text[16];
    std::snprintf(text, sizeof text, "%011ld", n);
    return text;
}

void add(Table& table, const std::string& cpf, const std::string& name, double value = 1) {
    ASSERT_TRUE(table.append());
    table.put("CPF", Value(cpf));
    table.put("NOME", Value(name));
    table.put("VALOR", Value(value));
    table.unlock();
}

std::unique_ptr<Table> openWithIndex(OpenMode mode) {
    auto table = Table::open(kTable, mode);
    table->openIndex(kIndex);
    return table;
}

// Another workstation acting once, just before this program's first `op`
// on a file whose name holds `name`.
class AtFirst final : public platform::FileOpHook {
  public:
    AtFirst(FileOp op, std::string name, std::function<void()> action)
        : op_(op), name_(std::move(name)), action_(std::move(action)) {}
    int before(FileOp op, const std::string& file) override {
        if (done_ || op != op_ || file.find(name_) == std::string::npos) return 0;
        done_ = true;
        action_();
        return 0;
    }
    bool done() const { return done_; }

  private:
    FileOp op_;
    std::string name_;
    std::function<void()> action_;
    bool done_ = false;
};

class TableFaultTest : public testing_store::StoreTest {
  protected:
    // PEQ with `rows` rows ("NOME n" of CPF n) and its CPF index; every
    // third row deleted when `withDeleted`.
    void makeTable(int rows, bool withDeleted = false) {
        Table::create(kTable, kRows);
        auto table = Table::open(kTable, OpenMode::Exclusive);
        table->createIndex(kIndex, "CPF");
        for (int n = 1; n <= rows; ++n) {
            add(*table, cpfOf(n), "NOME " + std::to_string(n), n);
            if (withDeleted && n % 3 == 0) table->deleteRecord();
        }
        table->close();
    }

    test_support::ReadTable readBack() {
        return test_support::readTables(root / "DADOS", {"PEQ"})["PEQ"];
    }

    // What other programs and the integrity check see: a readable table
    // whose live rows are `live`, and an index that agrees with it.
    void expectWhole(const std::vector<std::vector<std::string>>& live) {
        const test_support::ReadTable table = readBack();
        EXPECT_EQ(table.error, "");
        auto rows = table.live;
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows, live);
        if (std::filesystem::exists(root / "DADOS" / "PEQ.cdx")) {
            EXPECT_TRUE(test_support::indexAgrees(root / "DADOS" / "PEQ.cdx", "PEQ", table));
        }
        std::ostringstream report;
        EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
    }

    std::vector<std::vector<std::string>> liveNow() {
        auto rows = readBack().live;
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

// ---- A write that fails while records are appended ----

// The records written go to the disk in one write, then the count in the
// header in another; either may fail.
TEST_F(TableFaultTest, AFailedAppendLeavesTheHeaderCountingOnlyTheRecordsOnDisk) {
    for (const test_support::InjectedError& injected : test_support::injectedErrors()) {
        for (long nth : {1, 2}) {
            SCOPED_TRACE(test_support::describe(injected) + " at write " + std::to_string(nth));
            makeTable(10);
            const auto before = liveNow();
            auto table = openWithIndex(OpenMode::Exclusive);
            {
                FaultPlan plan(FileOp::Write, nth,
                               injected.sticky ? FaultPlan::Action::FailFromThenOn
                                               : FaultPlan::Action::FailOnce,
                               injected.error, "PEQ.DBF");
                platform::ScopedFileOpHook hook(&plan);
                // Appended records wait in memory until they are flushed.
                for (int n = 100; n < 130; ++n)
                    add(*table, cpfOf(n), "NOVO", n);
                EXPECT_THROW(table->flush(), base::Error);
                EXPECT_EQ(table->recCount(), 10u);
                try {
                    table->close();
                } catch (const base::Error&) {
                    // A disk that stays full refuses the header too.
                }
            }
            // Every workstation opens it again, with the rows it had.
            auto again = openWithIndex(OpenMode::Shared);
            EXPECT_EQ(again->recCount(), 10u);
            add(*again, cpfOf(200), "DEPOIS", 2);
            again->close();
            auto after = before;
            after.push_back({cpfOf(200), "DEPOIS", "2.0"});
            std::sort(after.begin(), after.end());
            expectWhole(after);
        }
    }
}

// ---- Another workstation at the worst moment of an open ----

TEST_F(TableFaultTest, AnOpenWhileAnotherCopyAppendsIsNeverRefusedAsTruncated) {
    makeTable(5);
    auto writer = openWithIndex(OpenMode::Shared);
    // The other copy appends between the reader's look at the file and its
    // reading of the header.
    AtFirst appendNow(FileOp::Read, "PEQ.DBF", [&] { add(*writer, cpfOf(6), "OUTRO"); });
    platform::ScopedFileOpHook hook(&appendNow);
    std::unique_ptr<Table> reader;
    ASSERT_NO_THROW(reader = Table::open(kTable, OpenMode::Shared));
    EXPECT_TRUE(appendNow.done());
    EXPECT_EQ(reader->recCount(), 6u);
}

TEST_F(TableFaultTest, AnOpenRacingAPackWorksOnTheNewFileAndKeepsItsAppends) {
    makeTable(12, true);
    // The pack renames its new file over the name after this copy opened
    // the old one and before it locked it.
    AtFirst packNow(FileOp::Lock, "PEQ.DBF", [&] {
        auto packer = Table::open(kTable, OpenMode::Exclusive);
        packer->pack();
        packer->close();
    });
    std::unique_ptr<Table> opener;
    {
        platform::ScopedFileOpHook hook(&packNow);
        opener = Table::open(kTable, OpenMode::Shared);
    }
    ASSERT_TRUE(packNow.done());
    EXPECT_EQ(opener->recCount(), 8u) << "the packed table";
    add(*opener, cpfOf(99), "ACRESCIDO", 9);
    opener->close();
    const auto rows = readBack().live;
    EXPECT_THAT(rows, testing::Contains(std::vector<std::string>{cpfOf(99), "ACRESCIDO", "9.0"}));
    EXPECT_EQ(rows.size(), 9u);
}

// ---- A program killed while an index page splits ----

// Appends into a shared table whose index splits leaves every time; the
// program is killed before each write to the index in turn. Another
// workstation must still be able to append, and to find what it appended.
TEST_F(TableFaultTest, AKillDuringAPageSplitLeavesAnIndexOthersCanStillAppendTo) {
    constexpr int kAppends = 70;  // two leaf splits and a new root
    // Keys spread over the whole range compress little, so leaves fill fast.
    auto cpfAt = [](int i) { return cpfOf((i * 2654435761L) % 99999999977L); };
    std::unique_ptr<Table> writer;
    const long steps = test_support::sweepKills(
        {FileOp::Write, "PEQ.CDX", 2000, 2}, [&] { makeTable(0); },
        [&] { writer = openWithIndex(OpenMode::Shared); },
        [&] {
            for (int i = 1; i <= kAppends; ++i)
                add(*writer, cpfAt(i), "ANTES");
        },
        [&](long step, bool) {
            SCOPED_TRACE("killed before index write " + std::to_string(step));
            // Keys below, among and above the ones written before the kill.
            const std::vector<std::string> theirs{cpfOf(0), cpfOf(50000000000), cpfOf(200000)};
            auto other = openWithIndex(OpenMode::Shared);
            for (const std::string& cpf : theirs) {
                ASSERT_NO_THROW(add(*other, cpf, "DEPOIS"));
            }
            for (const std::string& cpf : theirs)
                EXPECT_TRUE(other->seek(Value(cpf))) << cpf;
            long walked = 0;
            EXPECT_NO_THROW(other->forEach([&](Table&) { return ++walked > 0; }));
            EXPECT_GE(walked, 3);
            other->close();
            std::string error;
            test_support::indexEntries(root / "DADOS" / "PEQ.cdx", "PEQ", &error);
            EXPECT_EQ(error, "");
        });
    EXPECT_GT(steps, kAppends);
}

// ---- A pack under faults ----

// A pack killed before each of its steps, or failing at each with a full
// disk, an I/O error or a read-only disk, once or for good: the table keeps
// its live rows, opens as the program opens it (a missing index is rebuilt),
// and other programs and the integrity check find it whole.
class PackFaultTest : public TableFaultTest {
  protected:
    void SetUp() override {
        TableFaultTest::SetUp();
        makeTable(60, true);
        liveRows = liveNow();
        ASSERT_EQ(liveRows.size(), 40u);
        pristine = root / "pristine";
        std::filesystem::create_directories(pristine);
        std::filesystem::copy(root / "DADOS", pristine, std::filesystem::copy_options::recursive);
    }
    void restore() {
        std::filesystem::remove_all(root / "DADOS");
        std::filesystem::copy(pristine, root / "DADOS", std::filesystem::copy_options::recursive);
    }
    static void pack() {
        auto table = openWithIndex(OpenMode::Exclusive);
        table->pack();
        table->close();
    }
    // The table as the program opens it afterwards (ABREARQ builds a missing
    // index), then as everyone else sees it.
    void expectLiveRowsKept() {
        ASSERT_TRUE(store::ABREARQ(1, false, "C:\\DADOS\\PEQ", "CPF"));
        store::workAreas().closeAll();
        expectWhole(liveRows);
    }
    std::vector<std::vector<std::string>> liveRows;
    std::filesystem::path pristine;
};

TEST_F(PackFaultTest, KilledBeforeAnyStepTheTableKeepsItsLiveRows) {
    const long steps = test_support::sweepKills(
        {FaultPlan::kEveryChange, "", 500, 1}, [&] { restore(); }, [] { pack(); },
        [&](long step, bool ended) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            expectLiveRowsKept();
            if (!ended) {
                EXPECT_EQ(readBack().keys.size(), 40u) << "packed";
            }
        });
    EXPECT_GT(steps, 8);
}

TEST_F(PackFaultTest, FailingAtAnyStepTheTableKeepsItsLiveRows) {
    for (const test_support::InjectedError& injected : test_support::injectedErrors()) {
        SCOPED_TRACE(test_support::describe(injected));
        test_support::sweepErrors(
            {FaultPlan::kEveryChange, "", 500, 3}, injected.error, injected.sticky,
            [&] { restore(); },
            [] {
                try {
                    pack();
                    return true;
                } catch (const base::Error&) {
                    return false;
                }
            },
            [&](long step, bool reached, bool ok) {
                SCOPED_TRACE("failing at step " + std::to_string(step));
                EXPECT_TRUE(ok || reached) << "a pack that met no fault failed";
                // (A disk that stays read-only cannot even take them away.)
                if (!injected.sticky) {
                    EXPECT_THAT(platform::listFiles("C:\\DADOS\\PEQ.?0?"), testing::IsEmpty())
                        << "a failed pack takes its new files away";
                }
                expectLiveRowsKept();
            });
    }
}

// ---- A change of one key's rows (a save) under kills ----

// The rows of one CPF replaced by a transaction killed before each of its
// steps: readers see the old rows or the new ones; the integrity check
// names what is left to finish (the journal, an index being changed) and
// nothing else; the next open finishes it and leaves nothing to report.
TEST_F(TableFaultTest, AChangeKilledAtAnyStepIsFinishedOrUndoneByTheNextOpen) {
    const std::string ours = cpfOf(5);
    Table::create("C:\\DADOS\\NOVAS.DBF", kRows);
    {
        auto source = Table::open("C:\\DADOS\\NOVAS.DBF", OpenMode::Exclusive);
        for (int n = 1; n <= 8; ++n)
            add(*source, ours, "NOVA " + std::to_string(n), n);
        source->close();
    }
    makeTable(40);
    const std::filesystem::path pristine = root / "pristine";
    std::filesystem::create_directories(pristine);
    std::filesystem::copy(root / "DADOS", pristine, std::filesystem::copy_options::recursive);
    const auto oldRows = test_support::liveRowsOf(readBack(), ours);
    ASSERT_EQ(oldRows.size(), 1u);
    std::vector<std::vector<std::string>> newRows;
    for (int n = 1; n <= 8; ++n)
        newRows.push_back({ours, "NOVA " + std::to_string(n), std::to_string(n) + ".0"});
    std::sort(newRows.begin(), newRows.end());
    const auto others = [&](const test_support::ReadTable& table) {
        std::vector<std::vector<std::string>> rows;
        for (const auto& row : table.live)
            if (row.front() != ours) rows.push_back(row);
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    const auto othersBefore = others(readBack());

    bool sawJournal = false, sawMark = false;
    test_support::sweepKills(
        {FaultPlan::kEveryChange, "\\DADOS\\", 500, 1},
        [&] {
            std::filesystem::remove_all(root / "DADOS");
            std::filesystem::copy(pristine, root / "DADOS",
                                  std::filesystem::copy_options::recursive);
        },
        [&] {
            auto table = openWithIndex(OpenMode::Exclusive);
            auto source = Table::open("C:\\DADOS\\NOVAS.DBF", OpenMode::Exclusive);
            store::Transaction change;
            change.replaceRows(*table, ours, *source, store::liveRows(*source));
            change.commit();
        },
        [&](long step, bool ended) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            const bool journal = std::filesystem::exists(root / "DADOS" / "KDX2.SAV");
            const bool mark = !store::leftIndexMarks("C:\\DADOS\\").empty();
            sawJournal |= journal;
            sawMark |= mark;
            std::ostringstream report;
            const int found = store::verifyFolder("C:\\DADOS", report);
            if (journal) {
                EXPECT_THAT(report.str(), HasSubstr("KDX2.SAV: há uma gravação"));
            }
            if (mark) {
                EXPECT_THAT(report.str(), HasSubstr("marca de índice"));
            }
            // Besides what is left to finish, the files are sound: a killed
            // program does not leave a half-written index in sight.
            if (!journal && !mark) {
                EXPECT_EQ(found, 0) << report.str();
            }
            Table::open(kTable, OpenMode::Shared)->close();
            EXPECT_FALSE(std::filesystem::exists(root / "DADOS" / "KDX2.SAV"));
            EXPECT_TRUE(store::leftIndexMarks("C:\\DADOS\\").empty());
            const test_support::ReadTable table = readBack();
            const auto rows = test_support::liveRowsOf(table, ours);
            EXPECT_TRUE(rows == oldRows || rows == newRows) << ::testing::PrintToString(rows);
            if (!ended) {
                EXPECT_EQ(rows, newRows);
            }
            EXPECT_EQ(others(table), othersBefore);
            EXPECT_TRUE(test_support::indexAgrees(root / "DADOS" / "PEQ.cdx", "PEQ", table));
            std::ostringstream after;
            EXPECT_EQ(store::verifyFolder("C:\\DADOS", after), 0) << after.str();
        });
    EXPECT_TRUE(sawJournal);
    EXPECT_TRUE(sawMark);
}

// A save in progress on another workstation holds its tables exclusively
// with its journal on the disk: an open of one of them waits (the table is
// in use) instead of failing as if that save had been cut short.
TEST_F(TableFaultTest, AnOpenDuringAnotherWorkstationsSaveWaitsForIt) {
    makeTable(3);
    {
        platform::File journal = platform::createFile("C:\\DADOS\\KDX2.SAV");
        const std::string text = "KDX2 GRAVACAO 2\nTABELA PEQ.DBF\nFIM\n";
        journal.writeAt(0, text.data(), text.size());
        journal.close();
    }
    platform::File saving = platform::openFile(kTable, platform::File::Mode::ReadWrite);
    ASSERT_TRUE(
        saving.lock(store::kOpenLock, 1, platform::LockKind::Exclusive, platform::LockWait::No));
    EXPECT_THROW(Table::open(kTable, OpenMode::Shared), store::InUseError);
    EXPECT_THROW(Table::open(kTable, OpenMode::Exclusive), store::InUseError);
    EXPECT_TRUE(std::filesystem::exists(root / "DADOS" / "KDX2.SAV"));
}

// The messages a user meets when files fail name them by their drive path
// (the one the program shows everywhere), never by the host folder behind it.
TEST_F(TableFaultTest, MessagesOfFailedFileOperationsNameDrivePathsOnly) {
    makeTable(20, true);
    std::vector<std::string> said;
    const auto tell = [&](const std::function<void()>& action) {
        try {
            action();
            said.push_back("(no error)");
        } catch (const base::Error& error) {
            said.push_back(error.what());
        }
    };
    const auto failing = [&](FileOp op, int error, const std::function<void()>& action) {
        FaultPlan plan(op, 1, FaultPlan::Action::FailOnce, error);
        platform::ScopedFileOpHook hook(&plan);
        tell(action);
    };
    tell([] { static_cast<void>(Table::open("C:\\DADOS\\NENHUMA", OpenMode::Shared)); });
    failing(FileOp::Open, EACCES, [] { static_cast<void>(Table::open(kTable, OpenMode::Shared)); });
    failing(FileOp::Read, EIO, [] { static_cast<void>(Table::open(kTable, OpenMode::Shared)); });
    failing(FileOp::Create, EROFS, [] { Table::create("C:\\DADOS\\NOVA", kRows); });
    failing(FileOp::Rename, EROFS, [] { openWithIndex(OpenMode::Exclusive)->pack(); });
    failing(FileOp::Write, ENOSPC, [] {
        auto table = openWithIndex(OpenMode::Exclusive);
        add(*table, cpfOf(77), "NOVO");
        table->flush();
    });
    failing(FileOp::Close, EIO, [] { Table::open(kTable, OpenMode::Exclusive)->close(); });
    failing(FileOp::Create, ENOSPC,
            [] { Table::open(kTable, OpenMode::Exclusive)->createIndex(kIndex, "CPF"); });
    {
        std::ofstream index(root / "DADOS" / "PEQ.cdx", std::ios::binary | std::ios::trunc);
        index << std::string(700, '\x7f');
    }
    tell([] { openWithIndex(OpenMode::Shared); });
    std::filesystem::resize_file(root / "DADOS" / "PEQ.DBF", 100);
    tell([] { static_cast<void>(Table::open(kTable, OpenMode::Shared)); });
    std::ostringstream report;
    store::verifyFolder("C:\\DADOS", report);
    said.push_back(report.str());

    for (const std::string& message : said) {
        SCOPED_TRACE(message);
        EXPECT_THAT(message, HasSubstr("C:\\DADOS\\"));
        EXPECT_THAT(message, testing::Not(HasSubstr(root.string())));
    }
}

}  // namespace
