#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/error.h"
#include "platform/file.h"

using namespace kdx2::platform;

namespace {
std::filesystem::path tempFile(const char* name) {
    auto dir =
        std::filesystem::temp_directory_path() / ("kdx2_file_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}
}  // namespace

TEST(File, TwoOpensInOneProcessContendForLocks) {
    const auto path = tempFile("locks.dbf").string();
    File::create(path);
    File a = File::open(path, File::Mode::ReadWrite);
    File b = File::open(path, File::Mode::ReadWrite);
    ASSERT_TRUE(a.lock(1'000'000'001, 1, LockKind::Exclusive, LockWait::No));
    EXPECT_FALSE(b.lock(1'000'000'001, 1, LockKind::Exclusive, LockWait::No));
    EXPECT_TRUE(b.isLockedByOther(1'000'000'001, 1, LockKind::Exclusive));
    EXPECT_TRUE(b.lock(1'000'000'002, 1, LockKind::Exclusive, LockWait::No));
    {
        // Closing a third descriptor must not drop a's lock (it would with POSIX locks).
        File c = File::open(path, File::Mode::ReadOnly);
    }
    EXPECT_FALSE(b.lock(1'000'000'001, 1, LockKind::Exclusive, LockWait::No));
    a.unlock(1'000'000'001, 1);
    EXPECT_TRUE(b.lock(1'000'000'001, 1, LockKind::Exclusive, LockWait::No));
}

TEST(File, ShortReadsAreReportedNotInvented) {
    const auto path = tempFile("short.bin").string();
    File f = File::create(path);
    f.writeAt(0, "abc", 3);
    char buffer[8];
    EXPECT_EQ(f.readAt(1, buffer, sizeof buffer), 2u);
    EXPECT_THROW(f.readExact(0, buffer, 4), kdx2::base::Error);
    EXPECT_THROW(File::open(tempFile("missing.bin").string(), File::Mode::ReadOnly),
                 kdx2::base::Error);
}

TEST(File, ViewsFollowWritesThroughOtherDescriptors) {
    const auto path = tempFile("view.bin").string();
    File writer = File::create(path);
    writer.writeAt(0, "abcdef", 6);
    const File reader = File::open(path, File::Mode::ReadOnly);
    const File::View view = reader.view(6);
    ASSERT_NE(view.data(), nullptr);
    EXPECT_EQ(std::string(view.data(), 6), "abcdef");
    writer.writeAt(2, "XY", 2);
    EXPECT_EQ(std::string(view.data(), 6), "abXYef");
    EXPECT_EQ(reader.view(0).data(), nullptr);
}
