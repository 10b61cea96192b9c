// Where a finished print file goes without a desktop printer: the external
// print utility and the viewer; and the programs kdx2 starts.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/process.h"
#include "printing/routing.h"
#include "printing_fixture.h"
#include "ui/ui_session.h"

namespace kdx2::printing_test {
namespace {

// The work folder's name has a blank and an "&", which a command line
// would split or run as a second command.
class Routing : public PrintingTest {
  protected:
    Routing() { workFolder = "TRAB & CIA"; }

    void SetUp() override {
        PrintingTest::SetUp();
        // Printing must not reach whatever scheduler the machine has.
        ::setenv("CUPS_SERVER", (root / "sem-cups.sock").c_str(), 1);
        std::ofstream(printFileHost(), std::ios::binary) << "uma linha\r\n";
    }
    void TearDown() override {
        ::unsetenv("CUPS_SERVER");
        PrintingTest::TearDown();
    }

    void setShowAndChoose(const char* show, const char* choose) {
        base::session().set("MOSTEL", show);
        base::session().set("MOSIMP", choose);
    }
};

TEST_F(Routing, TheUtilityGetsThePrintFileAndItsOptionsAsSeparateArguments) {
    installUtility();
    const std::string file = printFileHost().string();
    base::session().set("NOMEIMP", "NAO DOS");
    setShowAndChoose("S", "S");
    printing::IMP_TXT("12345678909");
    EXPECT_EQ(utilityArguments(), (std::vector<std::string>{file, "96", "pre/sel"}));
    setShowAndChoose("S", "N");
    EXPECT_TRUE(printing::CHAMA_NDOS());
    EXPECT_EQ(utilityArguments(), (std::vector<std::string>{file, "96", "pre"}));
    setShowAndChoose("N", "N");
    EXPECT_TRUE(printing::CHAMA_NDOS());
    EXPECT_EQ(utilityArguments(), (std::vector<std::string>{file, "96"}));
    setShowAndChoose("N", "S");
    EXPECT_TRUE(printing::CHAMA_NDOS());
    EXPECT_EQ(utilityArguments(), (std::vector<std::string>{file, "96", "sel"}));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Routing, AMissingOrFailingUtilityIsTold) {
    EXPECT_FALSE(printing::CHAMA_NDOS());
    EXPECT_EQ(boxLines(0),
              (std::vector<std::string>{"O programa de impressão nodosimp não foi encontrado",
                                        "na pasta C:\\."}));
    installUtility(3);
    EXPECT_FALSE(printing::CHAMA_NDOS());
    EXPECT_EQ(boxLines(1),
              std::vector<std::string>{"O programa nodosimp terminou com o código 3."});
    ::chmod((root / "nodosimp").c_str(), 0644);
    EXPECT_FALSE(printing::CHAMA_NDOS());
    EXPECT_EQ(boxLines(2), std::vector<std::string>{
                               "O programa nodosimp não pode ser executado (sem permissão)."});
}

TEST_F(Routing, WithNoPrinterTheFileOnlyGoesToTheViewerWhichARunWithoutTerminalLeaves) {
    installUtility();
    base::session().set("NOMEIMP", "Sem Impressora");
    for (const char* show : {"S", "N"}) {
        setShowAndChoose(show, "S");
        printing::IMP_TXT("12345678909");
    }
    ASSERT_EQ(messages.status.size(), 2u);
    EXPECT_EQ(base::cp850::toUtf8(messages.status[0]),
              "Sem terminal para o visualizador: o texto ficou em C:\\TRAB & CIA\\NAO-DOS03.TXT");
    EXPECT_TRUE(std::filesystem::exists(printFileHost()));
    EXPECT_FALSE(std::filesystem::exists(root / "args.txt"));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Routing, ChoosingTheUtilityInTheRepeatedChoiceSendsThisPrintingThere) {
    installUtility();
    base::session().set("NOMEIMP", "Impressora antiga");
    setShowAndChoose("N", "S");
    {
        // Only the utility and the viewer without a scheduler; the viewer is preselected.
        ui::testing::UiSession ui("key Up\nkey Enter\n");
        printing::IMP_TXT("12345678909");
    }
    EXPECT_EQ(base::session().text("NOMEIMP"), "NAO DOS");
    EXPECT_EQ(utilityArguments().size(), 3u);
}

TEST_F(Routing, EmptyPrintFilesAreNotSentAnywhere) {
    installUtility();
    base::session().set("NOMEIMP", "NAO DOS");
    std::ofstream(printFileHost(), std::ios::binary | std::ios::trunc);
    base::session().set("QUECON", 2);
    printing::IMP_TXT("cadastro");
    EXPECT_TRUE(messages.boxes.empty());
    base::session().set("QUECON", 1);
    printing::IMP_TXT("12345678909");
    EXPECT_EQ(boxLines(0), std::vector<std::string>{"Nada para imprimir!!"});
    EXPECT_FALSE(std::filesystem::exists(root / "args.txt"));
}

TEST(ViewerText, IsUtf8WithPlainLinesAndNoPrinterBytes) {
    using namespace std::string_literals;
    EXPECT_EQ(printing::viewerText("linha 1\r\n\x0clinha 2\x0c\x0f"
                                   "condensada\x12\r\n\x85\xc7\0fim\r\n\x0c"s),
              "linha 1\nlinha 2\ncondensada\nàÃ\nfim\n");
}

TEST(Programs, ArgumentsArriveAsTheyAreAndFailuresToStartAreTold) {
    const std::string out = ::testing::TempDir() + "kdx2_args_" + std::to_string(::getpid());
    const platform::ProgramRun run = platform::runProgram(
        "/bin/sh", {"-c", "printf '%s|' \"$@\" > \"$0\"", out, "a b", "&& touch x", "$HOME", "'\""},
        true);
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exitCode, 0);
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "a b|&& touch x|$HOME|'\"|");
    std::remove(out.c_str());

    const platform::ProgramRun missing =
        platform::runProgram("kdx2-programa-que-nao-existe", {}, true);
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(base::cp850::toUtf8(missing.error),
              "O programa kdx2-programa-que-nao-existe não foi encontrado.");
    const platform::ProgramRun killed = platform::runProgram("/bin/sh", {"-c", "kill -9 $$"}, true);
    EXPECT_FALSE(killed.exited);
    EXPECT_EQ(killed.signal, 9);

    EXPECT_EQ(platform::splitCommandWords("  less   -R\t-S "),
              (std::vector<std::string>{"less", "-R", "-S"}));
    EXPECT_TRUE(platform::splitCommandWords("   ").empty());
}

}  // namespace
}  // namespace kdx2::printing_test
