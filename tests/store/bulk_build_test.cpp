// Indexes built in one pass (sorted keys written bottom-up) read back by
// index_dump, by kdx2's own seeks and by the integrity check; appends of two
// shared copies, each seeing what the other changed between its own locks;
// work files replacing what an earlier opening left.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "base/value.h"
#include "store/cdx.h"
#include "store/table.h"
#include "store/verify.h"
#include "store_fixture.h"
#include "support/child_process.h"
#include "support/independent_readers.h"

using namespace kdx2;
using base::Type;
using base::Value;
using store::CdxEntry;
using store::CdxFile;
using store::CdxKeyList;
using store::CdxTagDefinition;
using store::OpenMode;
using store::Table;

namespace {

bool haveIndexDump() {
    return std::system("command -v index_dump >/dev/null 2>&1") == 0;
}

// What a tag must hold: every (key, record number) once, in key then
// record-number order; a unique tag only the lowest record of each key.
std::vector<CdxEntry> expectedEntries(const std::vector<std::pair<std::string, uint32_t>>& added,
                                      bool unique) {
    std::set<std::pair<std::string, uint32_t>> all(added.begin(), added.end());
    std::vector<CdxEntry> out;
    for (const auto& [key, recno] : all)
        if (!unique || out.empty() || out.back().key != key) out.push_back({key, recno});
    return out;
}

class BulkBuildTest : public testing_store::StoreTest {};

// Keys given in shuffled order with repeats, under several shapes: a long
// common prefix (CPFs below 10,000), keys that differ only past their first
// eight differing bytes, and numbers of both signs.
TEST_F(BulkBuildTest, TagsAreInTreeOrderWhateverOrderTheKeysCameIn) {
    std::mt19937 random(11);
    struct Shape {
        const char* name;
        size_t length;
        Type type;
        std::function<std::string(int)> key;
    };
    const std::vector<Shape> shapes = {
        {"CPF", 11, Type::Character,
         [](int n) { return std::string(7, '0') + std::to_string(1000 + n % 9000); }},
        {"LONGO", 30, Type::Character,
         [](int n) {
             return std::string(1, char('A' + n % 3)) + " FONTE PAGADORA " +
                    std::to_string(n % 997);
         }},
        {"VALOR", 8, Type::Numeric,
         [](int n) { return store::cdxNumericKey((n % 301 - 150) * 1.25); }},
    };
    for (const Shape& shape : shapes)
        for (const bool unique : {false, true})
            for (const bool shuffled : {false, true}) {
                SCOPED_TRACE(std::string(shape.name) + (unique ? " unique" : "") +
                             (shuffled ? " shuffled" : " in record order"));
                std::vector<std::pair<std::string, uint32_t>> added;
                for (int n = 1; n <= 6000; ++n)
                    added.emplace_back(store::cdxCharacterKey(shape.key(n), shape.length),
                                       static_cast<uint32_t>(n));
                if (shuffled) {
                    // An exact repeat and records listed out of order.
                    added.push_back(added[17]);
                    std::shuffle(added.begin(), added.end(), random);
                }
                CdxKeyList keys(shape.length, shape.type);
                for (const auto& [key, recno] : added)
                    keys.add(key, recno);

                const std::string path = host("DADOS/BULK.cdx");
                CdxFile file = CdxFile::create(path);
                auto tag =
                    file.addTag(CdxTagDefinition{shape.name, shape.name, "", unique, false}, keys);
                const std::vector<CdxEntry> expected = expectedEntries(added, unique);
                EXPECT_EQ(tag.entries(), expected);
                // Every distinct key is found on its first (lowest) record.
                auto cursor = tag.cursor();
                for (size_t i = 0; i < expected.size(); i += 7) {
                    const CdxEntry& want = expected[i];
                    if (i > 0 && expected[i - 1].key == want.key) continue;
                    ASSERT_TRUE(cursor.seek(want.key));
                    EXPECT_EQ(cursor.key(), want.key);
                    EXPECT_EQ(cursor.recno(), want.recno);
                }
                file.close();
                CdxFile reopened =
                    CdxFile::open(path, CdxFile::Access::ReadOnly, CdxFile::Sharing::Exclusive);
                const auto check = reopened.check({{shape.name, shape.type}});
                EXPECT_TRUE(check.ok()) << ::testing::PrintToString(check.problems);
            }
}

// A table written through kdx2 whose index file holds a plain tag, a FOR
// tag, a unique one and a descending one, all rebuilt in one pass over many
// records with repeated keys.
TEST_F(BulkBuildTest, RebuiltTagsOfEveryKindAgreeWithTheIndependentReader) {
    if (!haveIndexDump()) GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
    Table::create("C:\\DADOS\\VALS",
                  {{"CPF", Type::Character, 11, 0}, {"VALOR", Type::Numeric, 12, 2}});
    {
        CdxFile cdx = CdxFile::create(host("DADOS/VALS.cdx"));
        const CdxKeyList none(11);
        cdx.addTag(CdxTagDefinition{"CPF", "CPF", "", false, false}, none);
        cdx.addTag(CdxTagDefinition{"GRANDE", "CPF", "VALOR > 100", false, false}, none);
        cdx.addTag(CdxTagDefinition{"UNICO", "CPF", "", true, false}, none);
        cdx.addTag(CdxTagDefinition{"INVERSO", "upper(CPF)", "", false, true}, none);
    }
    constexpr int kRecords = 5000;
    std::map<uint32_t, std::pair<std::string, double>> rows;
    auto t = Table::open("C:\\DADOS\\VALS", OpenMode::Exclusive);
    for (int i = 1; i <= kRecords; ++i) {
        ASSERT_TRUE(t->append());
        const std::string cpf = std::string(7, '0') + std::to_string(1000 + (i * 7919) % 1500);
        const double value = (i * 37) % 250;
        t->put("CPF", Value(cpf));
        t->put("VALOR", Value(value));
        rows[t->recNo()] = {cpf, value};
    }
    t->rebuildIndexFile("C:\\DADOS\\VALS");
    t->openIndex("C:\\DADOS\\VALS");

    std::vector<std::pair<std::string, uint32_t>> all, big;
    std::map<std::string, uint32_t> first;
    for (const auto& [recno, row] : rows) {
        all.emplace_back(row.first, recno);
        if (row.second > 100) big.emplace_back(row.first, recno);
        first.emplace(row.first, recno);
    }
    std::sort(all.begin(), all.end());
    std::sort(big.begin(), big.end());
    std::vector<std::pair<std::string, uint32_t>> unique(first.begin(), first.end());
    const auto dump = [&](const std::string& tag) {
        std::string error;
        auto entries = test_support::indexEntries(root / "DADOS" / "VALS.cdx", tag, &error);
        EXPECT_EQ(error, "") << tag;
        return entries;
    };
    EXPECT_EQ(dump("CPF"), all);
    EXPECT_EQ(dump("GRANDE"), big);
    EXPECT_EQ(dump("UNICO"), unique);
    // The descending tag's tree is ascending; readers go from its end.
    EXPECT_EQ(dump("INVERSO"), all);

    // kdx2's own seeks land on the first record of each key in each order.
    ASSERT_TRUE(t->setOrder("INVERSO"));
    for (const auto& [cpf, recno] : first) {
        ASSERT_TRUE(t->seek(Value(cpf))) << cpf;
        // Read from the end: the highest record of the key comes first.
        uint32_t last = 0;
        for (const auto& [key, n] : all)
            if (key == cpf) last = n;
        EXPECT_EQ(t->recNo(), last) << cpf;
    }
    ASSERT_TRUE(t->setOrder("UNICO"));
    for (const auto& [cpf, recno] : first) {
        ASSERT_TRUE(t->seek(Value(cpf))) << cpf;
        EXPECT_EQ(t->recNo(), recno);
    }
    t->close();
    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
}

// Two shared copies of one table append in turn, each unlocking after every
// record, as two workstations do. Each copy must notice the other's index
// changes (pages split, the file grown) between its own locks.
TEST_F(BulkBuildTest, SharedCopiesAppendingInTurnEachSeeTheOthersRecords) {
    Table::create("C:\\DADOS\\PARES",
                  {{"CPF", Type::Character, 11, 0}, {"NOME", Type::Character, 40, 0}});
    auto a = Table::open("C:\\DADOS\\PARES", OpenMode::Shared);
    a->createIndex("C:\\DADOS\\PARES", "CPF");
    auto b = Table::open("C:\\DADOS\\PARES", OpenMode::Shared);
    b->openIndex("C:\\DADOS\\PARES");
    Table* copies[2] = {a.get(), b.get()};
    constexpr int kRecords = 3000;
    for (int i = 1; i <= kRecords; ++i) {
        Table& writer = *copies[i % 2];
        Table& reader = *copies[1 - i % 2];
        ASSERT_TRUE(writer.append());
        ASSERT_EQ(writer.recNo(), static_cast<uint32_t>(i));
        const std::string cpf = std::string(7, '0') + std::to_string(1000 + (i * 7919) % 5000);
        writer.put("CPF", Value(cpf));
        writer.put("NOME", Value("PESSOA " + std::to_string(i)));
        writer.unlock();
        // The other copy finds the record at once, on the key it was given.
        ASSERT_TRUE(reader.seek(Value(cpf))) << i;
        bool seen = false;
        for (; !reader.eof() && reader.get("CPF").text() == cpf; reader.skip())
            seen = seen || reader.recNo() == static_cast<uint32_t>(i);
        ASSERT_TRUE(seen) << "record " << i << " not found by the other copy";
    }
    // An appended record left blank still gets its (blank) entry when unlocked.
    ASSERT_TRUE(a->append());
    a->unlock();
    ASSERT_TRUE(b->seek(Value(std::string(11, ' '))));
    EXPECT_EQ(b->recNo(), static_cast<uint32_t>(kRecords + 1));
    a->close();
    b->close();

    const auto tables = test_support::readTables(root / "DADOS", {"PARES"});
    ASSERT_EQ(tables.at("PARES").error, "");
    if (haveIndexDump()) {
        EXPECT_TRUE(
            test_support::indexAgrees(root / "DADOS" / "PARES.cdx", "PARES", tables.at("PARES")));
    }
    std::ostringstream report;
    EXPECT_EQ(store::verifyFolder("C:\\DADOS", report), 0) << report.str();
}

// A copy whose cached pages answer a read without the index lock must
// notice a change another copy completes while that read is under way: here
// the other copy holds the write lock when the read starts, so the read
// finds the counter unchanged, then needs a page it never cached and waits
// for the lock; by then the file has changed and the read starts again.
TEST_F(BulkBuildTest, AReadFromTheCacheStartsAgainWhenAnotherCopyChangedTheFileMeanwhile) {
    const std::string host = this->host("DADOS/IRM1.cdx");
    {
        CdxFile cdx = CdxFile::create(host);
        CdxKeyList keys(11);
        for (uint32_t r = 1; r <= 3000; ++r)
            keys.add(std::to_string(10000000000 + r * 10), r);
        cdx.addTag(CdxTagDefinition{"IRM1", "CPF", "", false, false}, keys);
    }
    // Named by its drive path, on a local disk: reads may come from the cache.
    CdxFile cdx = CdxFile::open(host, CdxFile::Access::ReadWrite, CdxFile::Sharing::Shared,
                                "C:\\DADOS\\IRM1.cdx");
    auto tag = cdx.tag("IRM1", Type::Character);
    auto cursor = tag.cursor();
    ASSERT_TRUE(cursor.seek("10000000010"));  // caches the root and the first leaf
    const uint32_t counterBefore = cdx.changeCounter();

    test_support::ChildProcess peer(std::string(KDX2_TEST_PROGRAMS) + "/store_cdx_peer",
                                    {host, "IRM1"});
    ASSERT_EQ(peer.readLine(), "ready");
    ASSERT_EQ(peer.ask("hold"), "held");
    // The last leaf was never read here: the seek waits for the peer's lock.
    auto seeking = std::async(std::launch::async, [&] {
        auto far = tag.cursor();
        return far.seek("10000029995") ? far.key() + " " + std::to_string(far.recno()) : "eof";
    });
    EXPECT_EQ(seeking.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_EQ(peer.ask("insert 10000029995 9001"), "ok");
    ASSERT_EQ(peer.ask("release"), "released");
    EXPECT_EQ(seeking.get(), "10000029995 9001");
    // The read went on from the file as the peer left it, not from the old pages.
    EXPECT_GT(cdx.changeCounter(), counterBefore);
    EXPECT_TRUE(cursor.seek("10000000010"));
    EXPECT_EQ(tag.entries().size(), 3001u);
}

// Work files replace what was there, whatever it held and however its name
// was spelt, and their index holds the new records only.
TEST_F(BulkBuildTest, WorkFilesReplaceWhatAnEarlierOpeningLeft) {
    const store::Structure fields = {{"CPF", Type::Character, 11, 0}};
    for (const int records : {300, 5}) {
        Table::create("C:\\DADOS\\TMP_203.DBF", fields, store::Replace::WorkFile);
        auto t = Table::open("C:\\DADOS\\TMP_203", OpenMode::Exclusive);
        EXPECT_EQ(t->recCount(), 0u);
        for (int i = 0; i < records; ++i) {
            ASSERT_TRUE(t->append());
            t->put("CPF", Value(std::to_string(50000 + i * 3)));
        }
        t->createIndex("C:\\DADOS\\TMP_203.CDX", "CPF", store::Replace::WorkFile);
        ASSERT_TRUE(t->seek(Value(std::to_string(50000 + (records - 1) * 3))));
        EXPECT_EQ(t->recNo(), static_cast<uint32_t>(records));
        t->close();
    }
    // One file of each, spelt as the table is, with the extension in lower case.
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root / "DADOS"))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"TMP_203.DBF", "TMP_203.cdx"}));
    const auto tables = test_support::readTables(root / "DADOS", {"TMP_203"});
    ASSERT_EQ(tables.at("TMP_203").error, "");
    EXPECT_EQ(tables.at("TMP_203").live.size(), 5u);
    if (haveIndexDump()) {
        EXPECT_TRUE(test_support::indexAgrees(root / "DADOS" / "TMP_203.cdx", "TMP_203",
                                              tables.at("TMP_203")));
    }
}

}  // namespace
