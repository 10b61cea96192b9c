// The print file as reports write it: positions, page ejects, pitch.

#include <gtest/gtest.h>

#include "printing/output.h"
#include "printing/questions.h"
#include "printing_fixture.h"

namespace kdx2::printing_test {
namespace {

using printing::output;

class PrintFile : public PrintingTest {};

TEST_F(PrintFile, RowsColumnsPitchAndEjectsBecomePrinterBytes) {
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(0, 3, "A");
    output().say(2, 1, "B");
    output().say(2, 5, "C");
    output().say(2, 2, "d");  // left of the head: the carriage returns on the row
    output().condensed();
    output().say(3, 0, "E");
    output().normal();
    output().eject();
    output().say(0, 0, "F");
    output().say(1, 1, base::cp850::fromUtf8("Ã"));  // CP850 as it is
    ASSERT_TRUE(printing::closePrintOutput());
    EXPECT_EQ(printFile(),
              "   A\r\n\r\n B   C\r  d\x0f\r\nE\x12\r\n\x0c"
              "F\r\n \xc7\r\n");
    EXPECT_EQ(base::session().text("ARQ_IMP"), "C:\\TRAB\\NAO-DOS03.TXT");
}

TEST_F(PrintFile, ARowAboveTheHeadStartsANewPageAndPitchBytesTakeNoColumn) {
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(5, 0, "fim da primeira");
    output().condensed();
    EXPECT_EQ(output().column(), 15);
    output().say(1, 0, "segunda");
    EXPECT_EQ(output().row(), 1);
    ASSERT_TRUE(printing::closePrintOutput());
    const auto pages = printedPages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].size(), 6u);
    EXPECT_EQ(pages[1], (std::vector<std::string>{"", "segunda"}));
}

TEST_F(PrintFile, EachTerminalHasItsOwnFileAndANewPrintReplacesIt) {
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(0, 0, "terminal 03, primeira impressão");
    printing::closePrintOutput();
    base::session().set("NUSU", "07");
    EXPECT_EQ(printing::printFilePath(), "C:\\TRAB\\NAO-DOS07.TXT");
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(0, 0, "terminal 07");
    printing::closePrintOutput();
    base::session().set("NUSU", "03");
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(0, 0, "segunda");
    printing::closePrintOutput();
    EXPECT_EQ(printFile(), "segunda\r\n");
    EXPECT_TRUE(std::filesystem::exists(root / "TRAB" / "NAO-DOS07.TXT"));
}

TEST_F(PrintFile, AMissingWorkFolderIsToldAndNothingIsWritten) {
    base::session().set("LOCTRAB", "C:\\SUMIU\\");
    EXPECT_FALSE(printing::PREP_IMP());
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(boxLines(0).front(), "Não foi possível criar o arquivo de impressão.");
    EXPECT_FALSE(printing::printOutputOpen());
    output().say(0, 0, "perdido");  // nowhere to go, and no crash
}

TEST_F(PrintFile, ControlStringsGoOutAsTheyAre) {
    base::session().set("STRING1", "\x1b!");
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(0, 2, "x");
    printing::MUDAIMP(1);
    printing::MUDAIMP(0);  // STRING0 is empty
    output().say(0, 4, "y");
    printing::closePrintOutput();
    EXPECT_EQ(printFile(), "  x\x1b! y\r\n");
}

TEST_F(PrintFile, TheAlignmentPausePrintsABlankAndAsksUntilNoMorePauseIsWanted) {
    ASSERT_TRUE(printing::PREP_IMP());
    output().say(2, 10, "DARF");
    base::session().set("FEZ_TES", "S");
    messages.answers = {1, 2};  // Sim, then Não
    printing::AJUS_FIN();
    EXPECT_EQ(base::session().text("FEZ_TES"), "N");
    EXPECT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(boxLines(0),
              (std::vector<std::string>{"Pausa p/ um ajuste fino. ", "Tecle Sim para mais pausa"}));
    EXPECT_EQ(messages.tones.size(), 2u);
    printing::AJUS_FIN();  // FEZ_TES is "N": nothing
    EXPECT_EQ(messages.boxes.size(), 2u);
    printing::closePrintOutput();
    EXPECT_EQ(printFile(), "\r\n\r\n          DARF\r \r \r\n");
}

TEST_F(PrintFile, ReadStreamBlanksAPageEjectBeforeTheLastByte) {
    const std::string path = "C:\\TRAB\\NAO-DOS03.TXT";
    std::ofstream(printFileHost(), std::ios::binary) << "linha\r\n\x0c\x1a";
    EXPECT_TRUE(printing::READSTREAM(path));
    EXPECT_EQ(printFile(), "linha\r\n \x1a");

    std::ofstream(printFileHost(), std::ios::binary) << "linha\r\n\x0c";
    EXPECT_TRUE(printing::READSTREAM(path));
    EXPECT_EQ(printFile(), "linha\r\n\x0c");  // only the byte before the last

    std::ofstream(printFileHost(), std::ios::binary | std::ios::trunc);
    EXPECT_FALSE(printing::READSTREAM(path));
    std::filesystem::remove(printFileHost());
    EXPECT_FALSE(printing::READSTREAM(path));
}

}  // namespace
}  // namespace kdx2::printing_test
