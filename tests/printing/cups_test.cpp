// Desktop printing through a real CUPS scheduler started by the test: the
// printer list, the PDF that reaches a queue, and the failures a user meets.

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "cups_scheduler.h"
#include "platform/print_service.h"
#include "printing/pages.h"
#include "printing/routing.h"
#include "printing_fixture.h"
#include "support/child_process.h"
#include "ui/ui_session.h"

namespace kdx2::printing_test {
namespace {

using test_support::PrivateScheduler;
using test_support::runCommand;

class DesktopPrinting : public PrintingTest {
  protected:
    static void SetUpTestSuite() {
        skipReason() = PrivateScheduler::unavailableReason();
        if (!skipReason().empty()) return;
        scheduler() = std::make_unique<PrivateScheduler>();
        std::string why;
        if (!scheduler()->start(why) || !scheduler()->addQueue("kdx2a", why) ||
            !scheduler()->addQueue("kdx2b", why) || !scheduler()->addQueue("kdx2r", why)) {
            skipReason() = "o cupsd de teste não subiu: " + why;
            return;
        }
        scheduler()->setDefault("kdx2b");
        scheduler()->reject("kdx2r");
        ::setenv("CUPS_SERVER", scheduler()->socket().c_str(), 1);
    }
    static void TearDownTestSuite() {
        scheduler().reset();
        ::unsetenv("CUPS_SERVER");
    }

    void SetUp() override {
        PrintingTest::SetUp();
        if (!skipReason().empty()) GTEST_SKIP() << skipReason();
        cupsSetServer(scheduler()->socket().c_str());
    }

    static std::string& skipReason() {
        static std::string reason;
        return reason;
    }
    static std::unique_ptr<PrivateScheduler>& scheduler() {
        static std::unique_ptr<PrivateScheduler> running;
        return running;
    }

    void writePrintFile(const std::string& bytes) const {
        std::ofstream(printFileHost(), std::ios::binary | std::ios::trunc) << bytes;
    }

    // What the queue's device received, once every job has ended.
    std::filesystem::path received(const std::string& queue) const {
        EXPECT_TRUE(scheduler()->waitForJobs());
        return scheduler()->output(queue);
    }

    // Jobs the scheduler took, finished or not, on any queue.
    static int jobCount() {
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        cupsFreeJobs(count, jobs);
        return count;
    }

    static std::string pdf(const std::string& tool, const std::filesystem::path& file) {
        return runCommand(tool + " '" + file.string() + "' 2>&1");
    }

    // The width per character of the word on a page, from pdftotext's boxes.
    static double widthPerCharacter(const std::filesystem::path& file, int page,
                                    const std::string& word) {
        const std::string boxes =
            runCommand("pdftotext -bbox -f " + std::to_string(page) + " -l " +
                       std::to_string(page) + " '" + file.string() + "' - 2>&1");
        const std::regex pattern("xMin=\"([0-9.]+)\"[^>]*xMax=\"([0-9.]+)\"[^>]*>" + word + "<");
        std::smatch found;
        if (!std::regex_search(boxes, found, pattern)) return 0;
        return (std::stod(found[2]) - std::stod(found[1])) / static_cast<double>(word.size());
    }
};

TEST_F(DesktopPrinting, TheQueuesTheDefaultAndTheTerminalsRecordComeFromTheScheduler) {
    const platform::PrinterQueues queues = platform::printerQueues();
    EXPECT_TRUE(queues.reached);
    EXPECT_EQ(queues.names, (std::vector<std::string>{"kdx2a", "kdx2b", "kdx2r"}));
    EXPECT_EQ(queues.defaultName, "kdx2b");

    printing::CRIA_SEQ();
    const base::NamedValues& s = base::session();
    EXPECT_EQ(s.text("IPADRAO"), "kdx2b");
    EXPECT_EQ(s.text("NOMEIMP"), "NAO DOS");
    const std::string record = test_support::runPython(
        "import dbfread, glob\n"
        "for r in dbfread.DBF(glob.glob('" +
        root.string() +
        "/[Ll][Ii][Ss][Tt][Aa][Ii][Mm][Pp].[Dd][Bb][Ff]')[0], encoding='cp850'):\n"
        "    print('|'.join(r[f].strip() for f in ('NRO_TERM', 'NOMEIMP', 'IPADRAO')))\n");
    EXPECT_EQ(record, "03|NAO DOS|kdx2b\n");

    const printing::PrinterChoices current = printing::printerChoices(" kdx2b ");
    EXPECT_EQ(current.entries,
              (std::vector<std::string>{"kdx2a", "kdx2b", "kdx2r", "NAO DOS", "Sem Impressora"}));
    EXPECT_EQ(current.preselected, 2);
    EXPECT_EQ(printing::printerChoices("Impressora antiga").preselected, 3);
}

TEST_F(DesktopPrinting, TheChoiceLeavesOnlyWithAnEntryAndIsKeptInTheTerminalsRecord) {
    printing::CRIA_SEQ();
    {
        // Esc does not leave; the bar starts on "NAO DOS" and goes up to kdx2a.
        ui::testing::UiSession ui("key Esc\nkey Up\nkey Up\nkey Up\nkey Enter\n");
        EXPECT_TRUE(printing::ESC_IMP());
    }
    EXPECT_EQ(base::session().text("NOMEIMP"), "kdx2a");
    const std::string record = test_support::runPython(
        "import dbfread, glob\n"
        "for r in dbfread.DBF(glob.glob('" +
        root.string() +
        "/[Ll][Ii][Ss][Tt][Aa][Ii][Mm][Pp].[Dd][Bb][Ff]')[0], encoding='cp850'):\n"
        "    print(repr(r['NOMEIMP'].strip()), repr(r['SEQ0']), repr(r['SEQ1']))\n");
    EXPECT_EQ(record, "'kdx2a' '' ''\n");
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(DesktopPrinting, APrintFileReachesTheQueueAsAnA4PdfTitledWithTheDocument) {
    std::string file;
    for (int i = 1; i <= 70; ++i)
        file += "linha " + std::to_string(i) + "\r\n";
    file +=
        "\x0c\x0f"
        "CONDENSADO DE CENTO E TRINTA E DUAS COLUNAS\r\n\x12NORMAL\r\n\x0c\x1a";
    writePrintFile(file);
    ASSERT_TRUE(printing::IMPRIMEX("C:\\TRAB\\NAO-DOS03.TXT", "kdx2a", "12345678909"));
    const std::filesystem::path out = received("kdx2a");
    ASSERT_TRUE(std::filesystem::exists(out));

    const std::string info = pdf("pdfinfo", out);
    EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +3\n"))) << info;
    EXPECT_NE(info.find("595.28 x 841.89 pts (A4)"), std::string::npos) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("Title: +12345678909\n"))) << info;
    const std::string first = runCommand("pdftotext -layout -f 1 -l 1 '" + out.string() + "' -");
    const std::string second = runCommand("pdftotext -layout -f 2 -l 2 '" + out.string() + "' -");
    EXPECT_NE(first.find("linha 62"), std::string::npos);
    EXPECT_EQ(first.find("linha 63"), std::string::npos);
    EXPECT_NE(second.find("linha 63"), std::string::npos);
    EXPECT_NE(second.find("linha 70"), std::string::npos);

    const double squeezed = widthPerCharacter(out, 3, "CONDENSADO");
    const double normal = widthPerCharacter(out, 3, "NORMAL");
    EXPECT_NEAR(squeezed, printing::PageGeometry::condensedAdvance(), 0.3);
    EXPECT_NEAR(normal, printing::PageGeometry::normalAdvance(), 0.3);

    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "kdx2a", 0, CUPS_WHICHJOBS_ALL);
    ASSERT_GE(count, 1);
    EXPECT_STREQ(jobs[0].title, "12345678909");
    EXPECT_STREQ(jobs[0].format, "application/pdf");
    cupsFreeJobs(count, jobs);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(DesktopPrinting, PrintsThatCannotBeMadeAreToldAndSendNothing) {
    const int jobsBefore = jobCount();
    writePrintFile("uma linha\r\n");
    const std::string path = "C:\\TRAB\\NAO-DOS03.TXT";
    EXPECT_FALSE(printing::IMPRIMEX(path, "kdx2r", "cadastro"));  // refuses jobs
    EXPECT_EQ(boxLines(0),
              (std::vector<std::string>{"ATENÇÃO !!! Não foi possivel Iniciar a Impressão",
                                        "         Favor Verificar a Impressora"}));
    EXPECT_FALSE(printing::IMPRIMEX(path, "HP Laser \"sala\" 2", "cadastro"));
    EXPECT_FALSE(printing::IMPRIMEX(path, "", "cadastro"));
    for (size_t box : {1u, 2u})
        EXPECT_EQ(boxLines(box),
                  (std::vector<std::string>{"ATENÇÃO !!! Não foi possível iniciar a impressão",
                                            "Verifique se a Impressora está ligada."}));

    writePrintFile("");
    EXPECT_FALSE(printing::IMPRIMEX(path, "kdx2a", "cadastro"));
    EXPECT_EQ(boxLines(3), std::vector<std::string>{"Arquivo de impressão vazio!"});

    std::filesystem::remove(printFileHost());
    EXPECT_FALSE(printing::IMPRIMEX(path, "kdx2a", "cadastro"));
    EXPECT_EQ(boxLines(4), std::vector<std::string>{"Erro de leitura"});
    EXPECT_EQ(messages.status.back(), "Erro do Dos  2");
    EXPECT_FALSE(printing::IMPRIMEX("C:\\NAO\\EXISTE\\X.TXT", "kdx2a", "cadastro"));
    EXPECT_EQ(messages.status.size(), 1u);               // a missing folder ends quietly
    std::filesystem::create_directory(printFileHost());  // there, but not readable as a file
    EXPECT_FALSE(printing::IMPRIMEX(path, "kdx2a", "cadastro"));
    EXPECT_EQ(boxLines(6), std::vector<std::string>{"Erro de leitura"});
    EXPECT_EQ(messages.status.back(), "Erro do Dos  5");
    std::filesystem::remove(printFileHost());

    // Routing a vanished print file says so only when printing for one taxpayer.
    base::session().set("NOMEIMP", "kdx2a");
    base::session().set("QUECON", 3);
    printing::IMP_TXT("cadastro");
    EXPECT_EQ(messages.boxes.size(), 7u);
    base::session().set("QUECON", 1);
    printing::IMP_TXT("cadastro");
    EXPECT_EQ(boxLines(7), std::vector<std::string>{"Nada para imprimir!!"});
    EXPECT_EQ(jobCount(), jobsBefore);
}

TEST_F(DesktopPrinting, ASchedulerThatIsDownLeavesTheUtilityAndTheViewer) {
    cupsSetServer((root / "parado.sock").c_str());
    const platform::PrinterQueues queues = platform::printerQueues();
    EXPECT_FALSE(queues.reached);
    EXPECT_TRUE(queues.names.empty());

    printing::CRIA_SEQ();
    EXPECT_EQ(base::session().text("IPADRAO"), "");
    EXPECT_EQ(printing::printerChoices("").entries,
              (std::vector<std::string>{"NAO DOS", "Sem Impressora"}));
    {
        ui::testing::UiSession ui("key Down\nkey Enter\n");
        EXPECT_TRUE(printing::ESC_IMP());
    }
    EXPECT_EQ(boxLines(0), std::vector<std::string>{"Não há impressora Instalada !!"});
    EXPECT_EQ(base::session().text("NOMEIMP"), "Sem Impressora");

    writePrintFile("uma linha\r\n");
    EXPECT_FALSE(printing::IMPRIMEX("C:\\TRAB\\NAO-DOS03.TXT", "kdx2a", "cadastro"));
    EXPECT_EQ(boxLines(1).at(0), "ATENÇÃO !!! Não foi possível iniciar a impressão");
}

}  // namespace
}  // namespace kdx2::printing_test
