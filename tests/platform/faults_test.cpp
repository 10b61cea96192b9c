#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "platform/drives.h"
#include "platform/faults.h"
#include "support/child_process.h"

using namespace kdx2::platform;
namespace fs = std::filesystem;

namespace {

class Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("kdx2_faults_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        configureDrives("C=" + root.string());
    }
    void TearDown() override {
        setFileOpHook(nullptr);
        fs::remove_all(root);
    }
    std::string contents(const std::string& name) {
        std::ifstream in(root / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path root;
};

void writeThree(File& file) {
    file.writeAt(0, "a", 1);
    file.writeAt(1, "b", 1);
    file.writeAt(2, "c", 1);
}

}  // namespace

TEST_F(Faults, TheChosenWriteFailsWithTheChosenErrorOnceOrFromThenOn) {
    File file = createFile("C:\\ONCE.DAT");
    {
        FaultPlan plan(FileOp::Write, 2, FaultPlan::Action::FailOnce, ENOSPC);
        ScopedFileOpHook hook(&plan);
        file.writeAt(0, "a", 1);
        try {
            file.writeAt(1, "b", 1);
            FAIL() << "the second write should fail";
        } catch (const kdx2::base::Error& error) {
            // Named by its drive path, with the system's reason in Portuguese.
            EXPECT_NE(std::string(error.what()).find("C:\\ONCE.DAT"), std::string::npos);
            EXPECT_NE(std::string(error.what()).find("espa"), std::string::npos);
        }
        file.writeAt(2, "c", 1);
        EXPECT_TRUE(plan.fired());
        EXPECT_EQ(plan.count(), 3);
    }
    EXPECT_EQ(contents("ONCE.DAT"), std::string("a\0c", 3));

    File sticky = createFile("C:\\STICKY.DAT");
    FaultPlan plan(FileOp::Write, 2, FaultPlan::Action::FailFromThenOn, EIO);
    ScopedFileOpHook hook(&plan);
    sticky.writeAt(0, "a", 1);
    EXPECT_THROW(sticky.writeAt(1, "b", 1), kdx2::base::Error);
    EXPECT_THROW(sticky.writeAt(2, "c", 1), kdx2::base::Error);
    EXPECT_EQ(contents("STICKY.DAT"), "a");
}

TEST_F(Faults, OnlyFilesWhoseNameHasTheFilterAreCounted) {
    File other = createFile("C:\\OTHER.DAT");
    File wanted = createFile("C:\\IRM2.DBF");
    FaultPlan plan(FileOp::Write, 1, FaultPlan::Action::FailOnce, EIO, "irm2");
    ScopedFileOpHook hook(&plan);
    other.writeAt(0, "x", 1);
    EXPECT_THROW(wanted.writeAt(0, "y", 1), kdx2::base::Error);
    EXPECT_EQ(plan.count(), 1);
}

TEST_F(Faults, RenameUnlinkCreateAndFolderFailLeavingTheFilesAsTheyWere) {
    createFile("C:\\A.DAT").writeAt(0, "old", 3);
    createFile("C:\\B.DAT").writeAt(0, "new", 3);
    for (FileOp op : {FileOp::Rename, FileOp::Unlink, FileOp::Create, FileOp::MakeFolder}) {
        SCOPED_TRACE(std::string(fileOpName(op)));
        FaultPlan plan(op, 1, FaultPlan::Action::FailOnce, EROFS);
        ScopedFileOpHook hook(&plan);
        EXPECT_THROW(
            {
                switch (op) {
                    case FileOp::Rename:
                        renameFile("C:\\B.DAT", "C:\\A.DAT");
                        break;
                    case FileOp::Unlink:
                        removeFile("C:\\A.DAT");
                        break;
                    case FileOp::Create:
                        createFile("C:\\A.DAT");
                        break;
                    default:
                        makeFolder("C:\\NOVA\\PASTA");
                        break;
                }
            },
            kdx2::base::Error);
        EXPECT_TRUE(plan.fired());
    }
    EXPECT_EQ(contents("A.DAT"), "old");
    EXPECT_EQ(contents("B.DAT"), "new");
    EXPECT_FALSE(fs::exists(root / "NOVA"));
}

TEST_F(Faults, CloseErrorsAreReportedAndTheDescriptorIsReleasedAnyway) {
    File file = createFile("C:\\CLOSE.DAT");
    FaultPlan plan(FileOp::Close, 1, FaultPlan::Action::FailOnce, EIO);
    ScopedFileOpHook hook(&plan);
    EXPECT_THROW(file.close(), kdx2::base::Error);
    EXPECT_FALSE(file.isOpen());
    EXPECT_NO_THROW(file.close());
    // A destructor's close never throws.
    FaultPlan again(FileOp::Close, 1, FaultPlan::Action::FailOnce, EIO);
    ScopedFileOpHook second(&again);
    EXPECT_NO_THROW({ File quiet = createFile("C:\\QUIET.DAT"); });
    EXPECT_TRUE(again.fired());
}

TEST_F(Faults, AnExitPlanEndsTheProcessBeforeTheStepAndNothingAfterIsWritten) {
    File file = createFile("C:\\KILLED.DAT");
    const int code = kdx2::test_support::runForked([&] {
        FaultPlan plan(FileOp::Write, 3, FaultPlan::Action::Exit);
        ScopedFileOpHook hook(&plan);
        writeThree(file);
    });
    EXPECT_EQ(code, FaultPlan::kExitCode);
    EXPECT_EQ(contents("KILLED.DAT"), "ab");

    // Without reaching the planned step the run ends normally.
    EXPECT_EQ(kdx2::test_support::runForked([&] {
                  FaultPlan plan(FileOp::Write, 4, FaultPlan::Action::Exit);
                  ScopedFileOpHook hook(&plan);
                  writeThree(file);
              }),
              0);
    EXPECT_EQ(contents("KILLED.DAT"), "abc");
}
