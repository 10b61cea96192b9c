// Two workstations sharing one compound index file: the index locks keep
// their changes apart and the change counter makes each see the other's.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "base/error.h"
#include "store/cdx.h"

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
class Peer {
  public:
    Peer(const std::string& file, const std::string& tag) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string program = std::string(KDX2_TEST_PROGRAMS) + "/store_cdx_peer";
        std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()),
                                const_cast<char*>(tag.c_str()), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Peer() {
        if (toChild_ >= 0) ::close(toChild_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fromChild_ >= 0) ::close(fromChild_);
    }
    void send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(toChild_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // The next line the peer prints, or nullopt when none comes in time.
    std::optional<std::string> readLine(int timeoutMs = 20000) {
        std::string line;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            if (auto nl = pending_.find('\n'); nl != std::string::npos) {
                line = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return std::nullopt;
            pollfd p{fromChild_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
            char buffer[4096];
            const ssize_t n = ::read(fromChild_, buffer, sizeof buffer);
            if (n <= 0) return std::nullopt;
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }
    std::string ask(const std::string& line) {
        send(line);
        return readLine().value_or("(no answer)");
    }

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
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
