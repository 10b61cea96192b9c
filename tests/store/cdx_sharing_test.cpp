// Two workstations sharing one compound index file: the index locks keep
// their changes apart and the change counter makes each see the other's.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "base/error.h"
#include "store/cdx.h"
#include "support/child_process.h"

using namespace kdx2;
using base::Type;
using store::CdxCursor;
using store::CdxFile;
using store::CdxKeyList;
using store::CdxTag;

namespace {

namespace fs = std::filesystem;

// This run's folders go at exit, whatever the tests left there.
struct RemoveRunFolder {
    ~RemoveRunFolder() {
        std::error_code ignored;
        fs::remove_all(fs::temp_directory_path() / ("kdx2_cdx_" + std::to_string(::getpid())),
                       ignored);
    }
} removeRunFolder;

// tests/store/programs/cdx_peer.cpp as a child process, talked to through
// its stdin and stdout.
class Peer : public kdx2::test_support::ChildProcess {
  public:
    Peer(const std::string& file, const std::string& tag)
        : ChildProcess(std::string(KDX2_TEST_PROGRAMS) + "/store_cdx_peer", {file, tag}) {}
};

std::string key11(const std::string& prefix, unsigned recno) {
    std::string digits = std::to_string(recno);
    return prefix + std::string(11 - prefix.size() - digits.size(), '0') + digits;
}

class CdxSharing : public ::testing::Test {
  protected:
    fs::path file;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const fs::path dir =
            fs::temp_directory_path() / ("kdx2_cdx_" + std::to_string(::getpid())) / info->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "IRM1.CDX";
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList keys(11);
        for (unsigned r = 1; r <= 100; ++r)
            keys.add(key11("0", r * 10), r);
        cdx.addTag({"IRM1", "CPF", "", false}, keys);
        cdx.close();
    }

    CdxFile openShared() {
        return CdxFile::open(file.string(), CdxFile::Access::ReadWrite, CdxFile::Sharing::Shared);
    }
};

}  // namespace

TEST_F(CdxSharing, EachCopySeesTheOtherCopysKeys) {
    CdxFile cdx = openShared();
    CdxTag tag = cdx.tag("IRM1", Type::Character);
    ASSERT_EQ(tag.entries().size(), 100u);  // every page now cached here
    CdxCursor c = tag.cursor();
    ASSERT_TRUE(c.seek(key11("0", 500)));
    const uint32_t counterBefore = cdx.changeCounter();

    Peer peer(file.string(), "IRM1");
    ASSERT_EQ(peer.readLine(), "ready");
    ASSERT_EQ(peer.ask("insert " + key11("0", 500) + " 7000"), "ok");
    ASSERT_EQ(peer.ask("insert 99999999999 7001"), "ok");

    // The cursor stands on (500, 50); the peer's entry with the same key and a
    // higher record number comes next.
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.recno(), 7000u);
    EXPECT_EQ(tag.entries().size(), 102u);
    EXPECT_GT(cdx.changeCounter(), counterBefore);
    EXPECT_TRUE(c.seek("99999999999"));
    EXPECT_EQ(c.recno(), 7001u);

    EXPECT_TRUE(tag.insert("55555555555", 7002));
    EXPECT_EQ(peer.ask("seek 55555555555"), "55555555555 7002");
    EXPECT_EQ(peer.ask("count"), "103");
}

TEST_F(CdxSharing, ReadersAndWritersWaitForEachOther) {
    CdxFile cdx = openShared();
    CdxTag tag = cdx.tag("IRM1", Type::Character);
    Peer peer(file.string(), "IRM1");
    ASSERT_EQ(peer.readLine(), "ready");

    {
        // While this copy reads, the peer's change waits.
        CdxFile::ReadLock reading(cdx);
        peer.send("insert 11111111111 500");
        EXPECT_FALSE(peer.readLine(300));
        EXPECT_EQ(tag.entries().size(), 100u);
    }
    EXPECT_EQ(peer.readLine(), "ok");
    EXPECT_EQ(tag.entries().size(), 101u);

    // While the peer holds the write lock, this copy's change waits.
    ASSERT_EQ(peer.ask("hold"), "held");
    auto inserting = std::async(std::launch::async, [&] { return tag.insert("22222222222", 501); });
    EXPECT_EQ(inserting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(peer.ask("release"), "released");
    EXPECT_TRUE(inserting.get());
    EXPECT_EQ(peer.ask("count"), "102");
}

TEST_F(CdxSharing, ChangesMadeAtTheSameTimeAreAllKept) {
    Peer peer(file.string(), "IRM1");
    ASSERT_EQ(peer.readLine(), "ready");
    peer.send("fill A 1001 3000");
    {
        CdxFile cdx = openShared();
        CdxTag tag = cdx.tag("IRM1", Type::Character);
        for (unsigned r = 3001; r <= 5000; ++r)
            ASSERT_TRUE(tag.insert(key11("B", r), r));
        EXPECT_EQ(peer.readLine(), "ok 2000");
        EXPECT_EQ(tag.entries().size(), 4100u);
        const auto result = cdx.check();
        EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.problems.front());
    }
    EXPECT_EQ(peer.ask("count"), "4100");
}

TEST_F(CdxSharing, CreatingASharedFile) {
    const fs::path other = file.parent_path() / "NOVO.CDX";
    CdxFile cdx = CdxFile::create(other.string(), CdxFile::Sharing::Shared);
    CdxKeyList keys(11);
    keys.add("1", 1);
    cdx.addTag({"NOVO", "CPF", "", false}, keys);
    Peer peer(other.string(), "NOVO");
    ASSERT_EQ(peer.readLine(), "ready");
    EXPECT_EQ(peer.ask("count"), "1");
}
