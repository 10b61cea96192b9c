#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/records.h"
#include "platform/drives.h"

using namespace kdx2;
namespace fs = std::filesystem;

namespace {

class Records : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kdx2-records-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        platform::configureDrives("C=" + root.string());
    }
    void TearDown() override {
        platform::configureDrives("");
        fs::remove_all(root);
    }

    std::unique_ptr<store::Table> tableOf(int rows) {
        store::Table::create("C:\\LISTA.DBF", {{"NOME", base::Type::Character, 10, 0}});
        auto table = store::Table::open("C:\\LISTA.DBF", store::OpenMode::Exclusive);
        for (int i = 1; i <= rows; ++i) {
            EXPECT_TRUE(table->append());
            table->put("NOME", base::Value("linha " + std::to_string(i)));
        }
        table->goTop();
        return table;
    }

    fs::path root;
};

}  // namespace

TEST_F(Records, SkipsForwardOntoTheAppendRowOnlyInAppendMode) {
    auto table = tableOf(3);
    EXPECT_EQ(common::SKIPPED(*table, 1, false), 1);
    EXPECT_EQ(table->recNo(), 2u);
    EXPECT_EQ(common::SKIPPED(*table, 5, false), 1);  // stops on the last record
    EXPECT_EQ(table->recNo(), 3u);
    EXPECT_FALSE(table->eof());
    EXPECT_EQ(common::SKIPPED(*table, 5, true), 1);  // onto the row to append
    EXPECT_TRUE(table->eof());
    EXPECT_EQ(common::SKIPPED(*table, 1, true), 0);
    EXPECT_EQ(common::SKIPPED(*table, -2, false), -2);
    EXPECT_EQ(table->recNo(), 2u);
    EXPECT_EQ(common::SKIPPED(*table, -5, false), -1);  // stops at the first
    EXPECT_EQ(table->recNo(), 1u);
}

TEST_F(Records, EmptyTableMovesNothing) {
    auto table = tableOf(0);
    EXPECT_EQ(common::SKIPPED(*table, 3, false), 0);
    EXPECT_EQ(common::SKIPPED(*table, -3, false), 0);
}

TEST_F(Records, OpensFilesOfDrivePaths) {
    std::ofstream(root / "NAO-DOS.TXT") << "texto";
    auto file = common::LF_FOPEN("C:\\nao-dos.txt");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->size(), 5u);
    EXPECT_FALSE(common::LF_FOPEN("C:\\FALTA.TXT").has_value());
    EXPECT_FALSE(common::LF_FOPEN("Q:\\X.TXT", 2).has_value());
}
