// Tags with a FOR condition, unique tags and descending tags, as other xBase
// programs write them, kept through kdx2's appends, changes and deletions on
// a table written by python3-dbf, and read back by index_dump and by the
// integrity check.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "base/value.h"
#include "store/cdx.h"
#include "store/table.h"
#include "store/verify.h"
#include "store_fixture.h"
#include "support/child_process.h"

using namespace kdx2;
using base::Type;
using base::Value;
using store::CdxFile;
using store::CdxKeyList;
using store::CdxTagDefinition;
using store::OpenMode;
using store::Table;

namespace {

bool haveIndexDump() {
    return std::system("command -v index_dump >/dev/null 2>&1") == 0;
}

// Record numbers of a tag in the order index_dump lists them.
std::vector<uint32_t> dumpedRecnos(const std::string& cdx, const std::string& tag) {
    std::istringstream in(
        test_support::runCommand("index_dump --type=char '" + cdx + "' " + tag + " 2>&1"));
    std::vector<uint32_t> recnos;
    for (std::string line; std::getline(in, line);)
        recnos.push_back(static_cast<uint32_t>(std::stoul(line.substr(line.rfind(' ') + 1))));
    return recnos;
}

// Another xBase program's open of a table: the share-lock byte those
// programs hold, taken with a POSIX lock by a second process. Prints
// "locked" or "busy", then holds the lock until its input closes.
const char* const kOtherOpen = R"PY(
import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDWR)
kind = fcntl.LOCK_EX if sys.argv[2] == 'exclusive' else fcntl.LOCK_SH
try:
    fcntl.lockf(fd, kind | fcntl.LOCK_NB, 1, 0x7FFFFFFF)
    print('locked', flush=True)
except OSError:
    print('busy', flush=True)
sys.stdin.readline()
)PY";

std::string cpfOf(int n) {
    return std::string(10, '0') + std::to_string(n);
}

class TagRulesTest : public testing_store::StoreTest {
  protected:
    // VALS.DBF written by python3-dbf, with an index file holding the tags
    // another program would have made: a plain one, one FOR VALOR > 100, a
    // unique one and a descending one, all on CPF.
    void SetUp() override {
        StoreTest::SetUp();
        std::filesystem::create_directories(root / "DADOS");
        int status = 0;
        test_support::runPython(
            "import dbf\n"
            "t = dbf.Table('" +
                host("DADOS/VALS.DBF") +
                "', 'CPF C(11); VALOR N(12,2)', codepage='cp850')\n"
                "t.open(dbf.READ_WRITE)\n"
                "t.close()\n",
            &status);
        ASSERT_EQ(status, 0);
        CdxFile cdx = CdxFile::create(host("DADOS/VALS.cdx"));
        const CdxKeyList none(11);
        cdx.addTag(CdxTagDefinition{"CPF", "CPF", "", false, false}, none);
        cdx.addTag(CdxTagDefinition{"GRANDE", "CPF", "VALOR > 100", false, false}, none);
        cdx.addTag(CdxTagDefinition{"UNICO", "CPF", "", true, false}, none);
        cdx.addTag(CdxTagDefinition{"INVERSO", "CPF", "", false, true}, none);
        cdx.close();
    }

    // 50 appends, 20 changes and 10 deletions through a shared open, as the
    // issue's mixed run did; `values` follows what each record holds.
    void changeTheTable(std::map<uint32_t, double>& values) {
        auto t = Table::open("C:\\DADOS\\VALS", OpenMode::Shared);
        t->openIndex("C:\\DADOS\\VALS");
        for (int i = 1; i <= 50; ++i) {
            ASSERT_TRUE(t->append());
            t->put("CPF", Value(cpfOf(i % 10)));
            t->put("VALOR", Value(double((i * 37) % 250)));
            values[t->recNo()] = (i * 37) % 250;
            t->unlock();
        }
        for (uint32_t n = 1; n <= 20; ++n) {
            t->goTo(n * 2);
            ASSERT_TRUE(t->lockRecord());
            const double value = values[n * 2] > 100 ? 50 : 150;
            t->put("VALOR", Value(value));
            values[n * 2] = value;
            t->unlock();
        }
        for (uint32_t n = 41; n <= 50; ++n) {
            t->goTo(n);
            ASSERT_TRUE(t->lockRecord());
            t->put("VALOR", Value(500.0));  // deleted records stay indexed
            values[n] = 500;
            t->deleteRecord();
            t->unlock();
        }
        t->close();
    }
};

TEST_F(TagRulesTest, ForConditionsHoldThroughAppendsChangesAndDeletions) {
    if (!haveIndexDump()) GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
    std::map<uint32_t, double> values;
    changeTheTable(values);

    std::set<uint32_t> wanted;
    for (const auto& [recno, value] : values)
        if (value > 100) wanted.insert(recno);
    const std::vector<uint32_t> dumped = dumpedRecnos(host("DADOS/VALS.cdx"), "GRANDE");
    EXPECT_EQ(std::set<uint32_t>(dumped.begin(), dumped.end()), wanted);
    EXPECT_EQ(dumped.size(), wanted.size());
    EXPECT_EQ(dumpedRecnos(host("DADOS/VALS.cdx"), "CPF").size(), 50u);

    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
}

TEST_F(TagRulesTest, UniqueTagsKeepTheFirstRecordOfEachKeyAndTheCheckAgrees) {
    if (!haveIndexDump()) GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
    std::map<uint32_t, double> values;
    changeTheTable(values);
    // Records 1 ... 10 came first with the ten CPFs.
    std::vector<uint32_t> unique = dumpedRecnos(host("DADOS/VALS.cdx"), "UNICO");
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(unique, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // The holder of a key takes another one: the key leaves the tag (the
    // other records that share it stay out until a rebuild), the new key
    // comes in, and the check calls neither a fault.
    {
        auto t = Table::open("C:\\DADOS\\VALS", OpenMode::Shared);
        t->openIndex("C:\\DADOS\\VALS");
        t->goTo(3);
        ASSERT_TRUE(t->lockRecord());
        t->put("CPF", Value(std::string("99999999999")));
        t->unlock();
        t->goTo(13);  // same CPF as record 3 had; the key is held no more
        ASSERT_TRUE(t->lockRecord());
        t->put("VALOR", Value(1.0));
        t->unlock();
        t->close();
    }
    unique = dumpedRecnos(host("DADOS/VALS.cdx"), "UNICO");
    EXPECT_EQ(unique.size(), 10u);
    EXPECT_EQ(unique.back(), 3u);  // "99999999999" sorts last
    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
}

TEST_F(TagRulesTest, DescendingTagsAreWalkedAndSoughtFromTheGreatestKey) {
    std::map<uint32_t, double> values;
    changeTheTable(values);
    auto t = Table::open("C:\\DADOS\\VALS", OpenMode::Shared);
    t->openIndex("C:\\DADOS\\VALS");
    ASSERT_TRUE(t->setOrder(std::string_view("INVERSO")));

    // Live records only (the deleted filter is on): 40, keys never rising,
    // equal keys from the last record to the first.
    std::vector<std::pair<std::string, uint32_t>> walked;
    for (t->goTop(); !t->eof(); t->skip())
        walked.push_back({t->get("CPF").text(), t->recNo()});
    ASSERT_EQ(walked.size(), 40u);
    for (size_t i = 1; i < walked.size(); ++i) {
        ASSERT_GE(walked[i - 1].first, walked[i].first) << i;
        if (walked[i - 1].first == walked[i].first) {
            ASSERT_GT(walked[i - 1].second, walked[i].second);
        }
    }
    EXPECT_EQ(walked.front().first, cpfOf(9));

    // Backwards from the end gives the same records reversed.
    std::vector<std::pair<std::string, uint32_t>> back;
    for (t->goBottom(); !t->bof(); t->skip(-1)) {
        back.push_back({t->get("CPF").text(), t->recNo()});
        if (back.size() > 40) break;
    }
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, walked);

    // A seek lands on the first match in this order (the highest record);
    // a soft seek of a missing key on the next smaller one.
    EXPECT_TRUE(t->seek(Value(cpfOf(5))));
    EXPECT_EQ(t->recNo(), 35u);
    t->skip();
    EXPECT_EQ(t->recNo(), 25u);
    EXPECT_FALSE(t->seek(Value(std::string("1")), true));
    EXPECT_EQ(t->get("CPF").text(), cpfOf(9));
    EXPECT_EQ(t->recNo(), 39u);
    EXPECT_FALSE(t->seek(Value(std::string("1"))));
    EXPECT_TRUE(t->eof());
}

TEST_F(TagRulesTest, APackKeepsEveryTagAsItWas) {
    std::map<uint32_t, double> values;
    changeTheTable(values);
    {
        auto t = Table::open("C:\\DADOS\\VALS", OpenMode::Exclusive);
        t->openIndex("C:\\DADOS\\VALS");
        t->pack();
        t->close();
    }
    CdxFile cdx = CdxFile::open(host("DADOS/VALS.cdx"), CdxFile::Access::ReadOnly,
                                CdxFile::Sharing::Exclusive);
    const auto big = cdx.findTag("GRANDE");
    ASSERT_TRUE(big);
    EXPECT_TRUE(big->hasFor);
    EXPECT_EQ(big->forExpression, "VALOR > 100");
    EXPECT_TRUE(cdx.findTag("UNICO")->unique);
    EXPECT_TRUE(cdx.findTag("INVERSO")->descending);
    size_t live = 0;
    for (uint32_t n = 1; n <= 40; ++n)
        live += values[n] > 100;
    EXPECT_EQ(cdx.tag("GRANDE", Type::Character).entries().size(), live);
    EXPECT_EQ(cdx.tag("UNICO", Type::Character).entries().size(), 10u);
    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
}

// ---------------------------------------------------------------- sharing with other programs

TEST_F(TagRulesTest, OpensExcludeThoseOfOtherProgramsByTheirShareLockByte) {
    const std::string table = host("DADOS/VALS.DBF");
    {
        test_support::ChildProcess other("/usr/bin/python3", {"-c", kOtherOpen, table, "shared"});
        ASSERT_EQ(other.readLine(), "locked");
        EXPECT_THROW(Table::open("C:\\DADOS\\VALS", OpenMode::Exclusive), store::InUseError);
        EXPECT_NO_THROW(Table::open("C:\\DADOS\\VALS", OpenMode::Shared));
    }
    {
        test_support::ChildProcess other("/usr/bin/python3",
                                         {"-c", kOtherOpen, table, "exclusive"});
        ASSERT_EQ(other.readLine(), "locked");
        EXPECT_THROW(Table::open("C:\\DADOS\\VALS", OpenMode::Shared), store::InUseError);
    }
    {
        auto mine = Table::open("C:\\DADOS\\VALS", OpenMode::Shared);
        test_support::ChildProcess exclusive("/usr/bin/python3",
                                             {"-c", kOtherOpen, table, "exclusive"});
        EXPECT_EQ(exclusive.readLine(), "busy");
        test_support::ChildProcess shared("/usr/bin/python3", {"-c", kOtherOpen, table, "shared"});
        EXPECT_EQ(shared.readLine(), "locked");
    }
    {
        auto mine = Table::open("C:\\DADOS\\VALS", OpenMode::Exclusive);
        test_support::ChildProcess shared("/usr/bin/python3", {"-c", kOtherOpen, table, "shared"});
        EXPECT_EQ(shared.readLine(), "busy");
    }
}

TEST_F(TagRulesTest, NewIndexFilesAreSpeltAsTheirTableWithLowerCaseExtension) {
    auto t = Table::open("C:\\DADOS\\VALS", OpenMode::Exclusive);
    t->createIndex("C:\\DADOS\\vals.CDX", "CPF");
    t->createIndex("C:\\DADOS\\valsB.CDX", "VALOR");
    t->close();
    EXPECT_TRUE(std::filesystem::exists(root / "DADOS" / "VALS.cdx"));
    EXPECT_TRUE(std::filesystem::exists(root / "DADOS" / "VALSB.cdx"));
    EXPECT_FALSE(std::filesystem::exists(root / "DADOS" / "vals.CDX"));
    EXPECT_FALSE(std::filesystem::exists(root / "DADOS" / "valsB.CDX"));
    // Found again whatever the spelling asked for.
    t = Table::open("C:\\DADOS\\VALS", OpenMode::Exclusive);
    EXPECT_NO_THROW(t->openIndex("C:\\DADOS\\VALSB.CDX"));
}

}  // namespace
