#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/cp850.h"
#include "common/utilities.h"
#include "platform/drives.h"
#include "recording_messages.h"

using namespace kdx2::common;
using kdx2::testing::RecordingMessages;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(Paths, BareClosedAndLastName) {
    EXPECT_EQ(BAR_DIR("C:\\IR2018"), "C:\\IR2018\\");
    EXPECT_EQ(BAR_DIR("C:\\IR2018\\"), "C:\\IR2018\\");
    EXPECT_EQ(BAR_FORA("C:\\IR2018\\"), "C:\\IR2018");
    EXPECT_EQ(BAR_FORA("C:\\"), "C:");
    EXPECT_EQ(BAR_FORA("C:\\IR2018"), "C:\\IR2018");
    EXPECT_EQ(BAR_FORA(""), "");
    EXPECT_EQ(TIRA_DIR("C:\\IR2018\\IRM1.DBF"), "IRM1.DBF");
    EXPECT_EQ(TIRA_DIR("IRM1.DBF"), "IRM1.DBF");
    EXPECT_EQ(TIRA_DIR("C:\\IR2018\\"), "");
}

TEST(Times, SecondsAndClockTexts) {
    EXPECT_EQ(HORA_SEG("01:02:03"), 3723);
    EXPECT_EQ(HORA_SEG("23:59:59"), 86399);
    EXPECT_EQ(HORA_SEG(""), 0);
    EXPECT_EQ(SEG_HORA(3723), "01:02:03");
    EXPECT_EQ(SEG_HORA(86400 + 3723), "01:02:03");  // hours modulo 24
    EXPECT_EQ(SEG_HORA(0), "00:00:00");
    EXPECT_EQ(SEG_HOR_2(86400 + 2 * 3600 + 3 * 60 + 4), "01D02h03m");
    EXPECT_EQ(SEG_HOR_2(100L * 86400), "01D00h00m");  // days modulo 99
}

TEST(Times, ElapsedAcrossMidnight) {
    EXPECT_EQ(TEMPO_PAS("23:59:00", "00:01:00").number(), 120);
    EXPECT_EQ(TEMPO_PAS("23:59:00", "00:01:00", 1).text(), "00:02:00");
    EXPECT_EQ(TEMPO_PAS("08:00:00", "17:30:15").number(), 9 * 3600 + 30 * 60 + 15);
    EXPECT_EQ(TEMPO_PAS("08:00:00", "08:00:00").number(), 0);
    EXPECT_EQ(TEMPO_PAS("00:00:00", "23:59:59", 1).text(), "23:59:59");
}

TEST(ImportedText, WindowsLettersBecomeCp850) {
    // "Ação" in Windows-1252.
    EXPECT_EQ(AJUS_CAR("A\xE7\xE3o", 1), "A\x87\x84o");
    // Every letter of the table, in order.
    const std::string windows =
        "\xE1\xE9\xED\xF3\xFA\xC1\xC9\xCD\xD3\xDA\xE0\xE3\xF5\xC3\xD5\xE7\xC7\xE2\xEA\xF4\xFB"
        "\xC2\xCA\xD4\xDB";
    const std::string cp850 =
        "\xA0\x82\xA1\xA2\xA3\x41\x90\x49\x4F\x55\x85\x84\x94\x41\x4F\x87\x80\x83\x88\x93\x96"
        "\x41\x45\x4F\x55";
    EXPECT_EQ(AJUS_CAR(windows, 1), cp850);
    EXPECT_EQ(AJUS_CAR("JOSE DA SILVA   ", 1), "JOSE DA SILVA");
    EXPECT_EQ(AJUS_CAR("", 1), "");
}

TEST(ImportedText, BackToWindowsKeepsPlainCapitals) {
    EXPECT_EQ(AJUS_CAR("A\x87\x84o", 2), "A\xE7\xE3o");
    EXPECT_EQ(AJUS_CAR("JO\x80O \x90VORA", 2), "JO\xC7O \xC9VORA");
    EXPECT_EQ(AJUS_CAR("AEIOU", 2), "AEIOU");
}

TEST(Folders, DriveLetterCheck) {
    RecordingMessages messages;
    EXPECT_TRUE(ESPCIF("C:\\IR2018"));
    EXPECT_TRUE(ESPCIF("D:"));
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_FALSE(ESPCIF("\\IR2018"));
    EXPECT_EQ(messages.boxes.at(0).icon, MessageIcon::Stop);
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"Especifique o drive com ':' após a letra"});
}

class FolderOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kdx2-common-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        kdx2::platform::configureDrives("C=" + root_.string());
    }
    void TearDown() override {
        kdx2::platform::configureDrives("");
        fs::remove_all(root_);
    }
    fs::path root_;
};

TEST_F(FolderOnDisk, ExistenceOfFoldersAndFiles) {
    fs::create_directories(root_ / "IR2018");
    std::ofstream(root_ / "IR2018" / "irm1.dbf") << "x";

    EXPECT_TRUE(VERDIR("C:\\"));
    EXPECT_TRUE(VERDIR("C:\\IR2018\\"));
    EXPECT_TRUE(VERDIR("c:\\ir2018"));
    EXPECT_FALSE(VERDIR("C:\\IR2019"));
    EXPECT_FALSE(VERDIR("Q:\\"));  // a drive that is not mapped
    EXPECT_TRUE(LF_ISFILE("C:\\IR2018\\IRM1.DBF"));
    EXPECT_FALSE(LF_ISFILE("C:\\IR2018\\IRM1.DBF", true));
    EXPECT_FALSE(LF_ISFILE("C:\\IR2018"));
    EXPECT_TRUE(LF_ISFILE("C:\\IR2018", true));
}

TEST_F(FolderOnDisk, CreatesOneLevelOnly) {
    EXPECT_TRUE(CRIADIR("C:\\IR2018"));
    EXPECT_TRUE(fs::is_directory(root_ / "IR2018"));
    EXPECT_FALSE(CRIADIR("C:\\IR2018"));  // already there
    EXPECT_FALSE(CRIADIR("C:\\A\\B"));    // parent missing
    EXPECT_FALSE(fs::exists(root_ / "A"));
    EXPECT_FALSE(CRIADIR("Q:\\X"));
}

TEST_F(FolderOnDisk, CreatesEveryMissingLevelAfterAsking) {
    RecordingMessages messages;
    messages.answers = {2};  // "Não"
    EXPECT_FALSE(CRI_NDIR("C:\\KDX\\DADOS\\2018\\", "os dados"));
    EXPECT_FALSE(fs::exists(root_ / "KDX"));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"Pasta nova para os dados? Cria-o ?"});

    messages.answers = {1};
    EXPECT_TRUE(CRI_NDIR("C:\\KDX\\DADOS\\2018\\", "os dados"));
    EXPECT_TRUE(fs::is_directory(root_ / "KDX" / "DADOS" / "2018"));

    messages.boxes.clear();
    EXPECT_TRUE(CRI_NDIR("C:\\KDX\\DADOS\\2018", "os dados"));  // exists: no question
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(FolderOnDisk, ReportsAFolderThatCannotBeMade) {
    RecordingMessages messages;
    std::ofstream(root_ / "ARQUIVO") << "x";  // a file where a folder should go
    messages.answers = {1};
    EXPECT_FALSE(CRI_NDIR("C:\\ARQUIVO\\SUB", "o KDX"));
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].icon, MessageIcon::Stop);
    EXPECT_EQ(kdx2::testing::utf8Lines(messages.boxes[1].lines),
              Lines{"Problemas ao criar a pasta C:\\ARQUIVO\\SUB"});
}
