// Printing in the whole program: a register of 20 taxpayers listed to a CUPS
// queue, labels to the viewer, one taxpayer to the external print utility
// from a work folder with a blank and an "&", the last print again, and the
// viewer on a real terminal.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>
#include <thread>

#include "printing/cups_scheduler.h"
#include "support/child_process.h"
#include "whole_program.h"

using namespace kdx2::e2e;
using kdx2::test_support::PrivateScheduler;
using kdx2::test_support::runCommand;
using Script = std::vector<std::string>;

namespace {

// A CPF with valid check digits from its first nine digits.
std::string validCpf(const std::string& nine) {
    std::string cpf = nine;
    for (int round = 0; round < 2; ++round) {
        int sum = 0;
        const int length = static_cast<int>(cpf.size());
        for (int i = 0; i < length; ++i)
            sum += (cpf[static_cast<size_t>(i)] - '0') * (length + 1 - i);
        const int digit = 11 - sum % 11;
        cpf += static_cast<char>('0' + (digit > 9 ? 0 : digit));
    }
    return cpf;
}

std::string personCpf(int n) {
    return validCpf(std::to_string(100000000 + n * 1111));
}

std::string personName(int n) {
    return std::string("PESSOA ") + (n < 10 ? "0" : "") + std::to_string(n);
}

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of a print file (CR LF), page ejects kept as "\f" lines.
std::vector<std::string> printLines(const std::string& file) {
    std::vector<std::string> lines;
    std::string line;
    for (char ch : file) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (ch == '\f') {
            if (!line.empty()) lines.push_back(line);
            lines.push_back("\f");
            line.clear();
        } else if (ch != '\r') {
            line += ch;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

class Printing : public WholeProgram {
  protected:
    // The first start creates the tables; then the register gets 20
    // taxpayers (PESSOA 07 born in June) through an independent DBF writer,
    // and its index files go so that kdx2 builds them again.
    void registerTwentyTaxpayers() {
        ProgramRun first = run({"expect Ano Base"});
        ASSERT_EQ(first.exitCode, 0) << first.errors;
        std::string people;
        for (int n = 1; n <= 20; ++n)
            people += "('" + personCpf(n) + "', '" + personName(n) + "', " +
                      (n == 7 ? "6" : std::to_string(1 + n % 5)) + "),";
        const std::string script =
            "import dbf, datetime\n"
            "t = dbf.Table('" +
            (drive / "IRM9.DBF").string() +
            "', codepage='cp850')\n"
            "t.open(dbf.READ_WRITE)\n"
            "for cpf, name, month in [" +
            people +
            "]:\n"
            "    t.append({'cpf': cpf, 'nomecontr': name, 'tipoend': 'RUA', 'endereco': "
            "'DAS FLORES', 'numero': '10', 'bairro': 'CENTRO', 'cep': '01234567', 'municipio': "
            "'SAO PAULO', 'uf': 'SP', 'dddtel': '11', 'telefo': '987654321', 'nascimento': "
            "datetime.date(1980, month, 20)})\n"
            "t.close()\n";
        int status = 0;
        const std::string out = kdx2::test_support::runPython(script, &status);
        ASSERT_EQ(status, 0) << out;
        for (const char* index : {"IRM9.cdx", "IRM9B.cdx"})
            std::filesystem::remove(drive / index);
    }

    void installUtility() {
        const std::filesystem::path utility = drive / "nodosimp";
        std::ofstream(utility)
            << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
            << (drive.parent_path() / (drive.filename().string() + ".args")).string() << "\"\n";
        ::chmod(utility.c_str(), 0755);
    }
    std::vector<std::string> utilityArguments() {
        const std::filesystem::path file =
            drive.parent_path() / (drive.filename().string() + ".args");
        std::vector<std::string> arguments;
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);)
            arguments.push_back(line);
        std::filesystem::remove(file);
        return arguments;
    }
};

// The rows (from 0) of the words on a PDF page, from pdftotext's boxes: the
// page starts 30 points down and its rows are 12 points apart.
std::vector<std::pair<int, std::string>> wordRows(const std::filesystem::path& pdf, int page) {
    const std::string boxes = runCommand("pdftotext -bbox -f " + std::to_string(page) + " -l " +
                                         std::to_string(page) + " '" + pdf.string() + "' -");
    const std::regex word("yMin=\"([0-9.]+)\"[^>]*>([^<]*)<");
    std::vector<std::pair<int, std::string>> rows;
    for (auto it = std::sregex_iterator(boxes.begin(), boxes.end(), word);
         it != std::sregex_iterator(); ++it)
        rows.emplace_back(static_cast<int>(std::floor((std::stod((*it)[1]) - 30) / 12)), (*it)[2]);
    return rows;
}

TEST_F(Printing, TheCompleteRegistryOfTwentyReachesACupsQueueInPagesOf54RowsPlusAnEntry) {
    const std::string unavailable = PrivateScheduler::unavailableReason();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    PrivateScheduler scheduler;
    std::string why;
    ASSERT_TRUE(scheduler.start(why)) << why;
    ASSERT_TRUE(scheduler.addQueue("escritorio", why)) << why;
    registerTwentyTaxpayers();

    const ProgramRun result =
        run({"menu Seleção > 1- O que imprimir > Cadastro", "expect Seleção para impressão",
             "key Enter", "menu Seleção > 4 - Quem imprimir > Todos", "expect 4  - Todos CPFs",
             "key Enter", "menu Seleção > 5 - Qual Impressora > NAO DOS",
             "expect Seleção da impressora", "key Up", "key Enter", "expect 5  - escritorio",
             "key Enter", "menu Impressão > Imprime a seleção",
             "expect Sim para o Cadastro resumido", "key Right", "key Enter",
             // Printers are offered again before printing, and the text shown first.
             "expect Seleção da impressora", "key Enter", "expect Ano Base"},
            {{"CUPS_SERVER", scheduler.socket()}});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    ASSERT_TRUE(scheduler.waitForJobs());

    const std::filesystem::path pdf = scheduler.output("escritorio");
    const std::string info = runCommand("pdfinfo '" + pdf.string() + "'");
    ASSERT_TRUE(std::regex_search(info, std::regex("Pages: +2\n"))) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("Title: +cadastro\n"))) << info;
    std::vector<std::string> names;
    int birthdayRows = 0;
    for (int page = 1; page <= 2; ++page) {
        int lastEntry = -1;
        int lastRow = -1;
        for (const auto& [row, word] : wordRows(pdf, page)) {
            lastRow = std::max(lastRow, row);
            if (word == "PESSOA") lastEntry = row;
            if (word == "Aniversario") ++birthdayRows;
        }
        const std::string text =
            runCommand("pdftotext -layout -f " + std::to_string(page) + " -l " +
                       std::to_string(page) + " '" + pdf.string() + "' -");
        const std::regex name("PESSOA [0-9]{2}");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), name);
             it != std::sregex_iterator(); ++it)
            names.push_back(it->str());
        EXPECT_NE(text.find("RELACAO TOTAL DAS PESSOAS NA PASTA C:\\"), std::string::npos);
        EXPECT_LE(lastEntry, 54) << "page " << page;
        EXPECT_LE(lastRow, lastEntry + 5) << "page " << page;
    }
    ASSERT_EQ(names.size(), 20u);
    for (int n = 1; n <= 20; ++n)
        EXPECT_EQ(names[static_cast<size_t>(n - 1)], personName(n));
    EXPECT_EQ(birthdayRows, 1);
}

TEST_F(Printing, LabelsOfAllGoToTheViewerSixRowsEachAndOneTaxpayerToTheUtility) {
    registerTwentyTaxpayers();
    ProgramRun labels =
        run({"menu Seleção > 1- O que imprimir > Cadastro", "key Enter",
             "menu Seleção > 2 - Tipo de Folha > Em Etiquetas", "key Enter",
             "menu Seleção > 4 - Quem imprimir > Todos", "key Enter",
             "menu Seleção > 5 - Qual Impressora > NAO DOS",
             // No scheduler: no desktop printer, the utility and the viewer.
             "expect Não há impressora Instalada !!", "key Enter", "expect Seleção da impressora",
             "key Down", "key Enter", "expect 5  - Sem Impressora", "key Enter",
             "menu Impressão > Imprime a seleção",
             "expect Sem terminal para o visualizador: o texto ficou em "
             "C:\\NAO-DOS00.TXT"},
            {{"CUPS_SERVER", (drive / "sem-cups.sock").string()}});
    ASSERT_EQ(labels.exitCode, 0) << labels.errors;
    const std::vector<std::string> lines = printLines(slurp(drive / "NAO-DOS00.TXT"));
    ASSERT_EQ(lines.size(), 20u * 6u);  // the last label's sixth row is the page eject
    EXPECT_EQ(lines.back(), "\f");
    for (int n = 1; n <= 20; ++n) {
        const size_t first = static_cast<size_t>((n - 1) * 6);
        EXPECT_EQ(lines[first], " " + personName(n));
        EXPECT_EQ(lines[first + 1], " RUA DAS FLORES,10 ");
        EXPECT_EQ(lines[first + 2], " CENTRO");
        EXPECT_EQ(lines[first + 3], " SAO PAULO - SP");
        EXPECT_EQ(lines[first + 4], " 01234-567");
    }

    // One taxpayer to the utility, from a work folder named "TRAB & CIA".
    std::filesystem::create_directories(drive / "TRAB & CIA");
    setField("CONFIG.DBF", "DIRTRAB", "C:\\TRAB & CIA");
    installUtility();
    const ProgramRun one =
        run({"menu Seleção > 4 - Quem imprimir > Individual", "key Enter",
             "menu Seleção > 5 - Qual Impressora > Sem Impressora",
             "expect Não há impressora Instalada !!", "key Enter", "expect Seleção da impressora",
             "key Up", "key Enter", "expect 5  - NAO DOS", "key Enter",
             "menu Impressão > Imprime a seleção", "expect Ordem CPF", "type " + personCpf(7),
             // Printed, the next taxpayer is asked for.
             "expect Ordem CPF", "key Esc", "expect Ano Base"},
            {{"CUPS_SERVER", (drive / "sem-cups.sock").string()}});
    ASSERT_EQ(one.exitCode, 0) << one.errors;
    const std::filesystem::path printFile = drive / "TRAB & CIA" / "NAO-DOS00.TXT";
    EXPECT_EQ(utilityArguments(), (std::vector<std::string>{printFile.string(), "96", "pre/sel"}));
    const std::vector<std::string> label = printLines(slurp(printFile));
    ASSERT_FALSE(label.empty());
    EXPECT_EQ(label[0], " " + personName(7));
    EXPECT_EQ(label.size(), 5u);  // the label's blank sixth row ends the file
}

TEST_F(Printing, TheTaxpayersMarkedInTheListArePrintedAndTheirMarksCleared) {
    registerTwentyTaxpayers();
    installUtility();
    const ProgramRun result = run(
        {"menu Seleção > 1- O que imprimir > Cadastro", "key Enter",
         "menu Seleção > 4 - Quem imprimir > Vários", "key Enter",
         "menu Impressão > Imprime a seleção", "expect Nome do Contribuinte", "key Down", "type S",
         // A mark fills its cell: the list goes on to the next row.
         "key Down", "type S", "key Esc", "expect Sim para o Cadastro resumido", "key Enter",
         "expect Ano Base"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::vector<std::string> lines = printLines(slurp(drive / "NAO-DOS00.TXT"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_NE(lines[1].find("RELACAO PARCIAL"), std::string::npos);
    EXPECT_EQ(lines[5].substr(0, 10), " " + personName(2));
    EXPECT_EQ(lines[6].substr(0, 10), " " + personName(4));
    for (const auto& row : records("IRM9.DBF"))
        EXPECT_EQ(trimmed(row.at("IMPRE")), "") << row.at("CPF");
    EXPECT_EQ(utilityArguments().at(0), (drive / "NAO-DOS00.TXT").string());
}

TEST_F(Printing, TheDeclarationsPaymentsPageOfATaxpayerWithoutPaymentsSaysSo) {
    registerTwentyTaxpayers();
    installUtility();
    const ProgramRun result =
        run({"menu Seleção > 3 - Qual página > Pagamento Efetuado", "key Enter",
             "menu Seleção > 4 - Quem imprimir > Individual", "key Enter",
             "menu Impressão > Imprime a seleção", "expect Ordem CPF", "type " + personCpf(3),
             "expect Ordem CPF", "key Esc", "expect Ano Base"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::vector<std::string> lines = printLines(slurp(drive / "NAO-DOS00.TXT"));
    std::string printed;
    for (const std::string& line : lines)
        printed += line + "\n";
    EXPECT_NE(printed.find("DECLARACAO DE RENDIMENTOS DE  " + personName(3)), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Relacao dos Pagamentos e Doacoes Efetuadas"), std::string::npos);
    EXPECT_NE(printed.find("Sem informacoes"), std::string::npos);
}

// A taxpayer printed with no declaration open is loaded into printing copies
// that stay until its pages are printed: the summary carries its company
// income.
TEST_F(Printing, TheSummaryOfATaxpayerNotOpenCarriesItsCompanyIncome) {
    registerTwentyTaxpayers();
    installUtility();
    const std::string script =
        "import dbf\n"
        "t = dbf.Table('" +
        (drive / "IRM2.DBF").string() +
        "', codepage='cp850')\n"
        "t.open(dbf.READ_WRITE)\n"
        "t.append({'cpf': '" +
        personCpf(3) +
        "', 'i1_1': 'J', 'i1_2': 'ACME LTDA', 'i1_3': "
        "'11222333000181', 'i1_413': 54321.09})\n"
        "t.close()\n";
    int status = 0;
    const std::string out = kdx2::test_support::runPython(script, &status);
    ASSERT_EQ(status, 0) << out;
    std::filesystem::remove(drive / "IRM2.cdx");
    const ProgramRun result =
        run({"menu Seleção > 3 - Qual página > Resumo", "key Enter",
             "menu Seleção > 4 - Quem imprimir > Individual", "key Enter",
             "menu Impressão > Imprime a seleção", "expect Ordem CPF", "type " + personCpf(3),
             "expect Ordem CPF", "key Esc", "expect Ano Base"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const std::string printed = slurp(drive / "NAO-DOS00.TXT");
    const size_t row = printed.find("|P.Juridicas Tit.|");
    ASSERT_NE(row, std::string::npos) << printed;
    // Projected over the months as the summary screen does; blank when the
    // income was not read.
    EXPECT_EQ(printed.substr(row + 18, 16), "     108.642,18 ") << printed;
    // The printing copies are gone once the pages are printed.
    for (const auto& entry : std::filesystem::directory_iterator(drive))
        EXPECT_EQ(entry.path().filename().string().find("TMP_P"), std::string::npos)
            << entry.path();
}

TEST_F(Printing, TheLastPrintAgainNeedsAPrintFileAndThenGoesToThePrinterChosen) {
    ProgramRun none =
        run({"menu Impressão > Ultima impressão", "expect Selecione a impressora Não DOS antes",
             "key Enter", "expect Ano Base"});
    ASSERT_EQ(none.exitCode, 0) << none.errors;
    std::ofstream(drive / "NAO-DOS00.TXT", std::ios::binary) << "RELATORIO ANTERIOR\r\n";
    installUtility();
    ProgramRun again = run({"menu Impressão > Ultima impressão", "expect Ano Base"});
    ASSERT_EQ(again.exitCode, 0) << again.errors;
    EXPECT_EQ(utilityArguments(),
              (std::vector<std::string>{(drive / "NAO-DOS00.TXT").string(), "96", "pre/sel"}));
}

// ---- The viewer on a real terminal ----------------------------------------------

class Tmux {
  public:
    explicit Tmux(const std::string& script) {
        socket_ = "kdx2-print-" + std::to_string(::getpid());
        scriptPath_ = ::testing::TempDir() + socket_ + ".sh";
        std::ofstream(scriptPath_) << "export TERM=tmux-256color LANG=C.UTF-8\n"
                                   << script << "\necho FIM $?\nsleep 30\n";
        started_ = std::system(("tmux -L " + socket_ + " -f /dev/null new-session -d -s t -x 80 " +
                                "-y 27 'sh " + scriptPath_ + "'")
                                   .c_str()) == 0;
    }
    ~Tmux() {
        std::system(("tmux -L " + socket_ + " kill-server 2>/dev/null").c_str());
        std::remove(scriptPath_.c_str());
    }
    bool started() const { return started_; }
    std::string pane() { return runCommand("tmux -L " + socket_ + " capture-pane -p -J -t t"); }
    void keys(const std::string& keys) {
        std::system(("tmux -L " + socket_ + " send-keys -t t " + keys).c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    bool waitFor(const std::string& text) {
        for (int i = 0; i < 100; ++i) {
            if (pane().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

  private:
    std::string socket_;
    std::string scriptPath_;
    bool started_ = false;
};

TEST_F(Printing, TheViewerGetsTheTerminalAndTheScreenComesBackAfterIt) {
    if (std::system("tmux -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tmux is not installed (scripts/setup.sh installs it)";
    ASSERT_EQ(run({"expect Ano Base"}).exitCode, 0);
    setField("ListaIMP.DBF", "NOMEIMP", "Sem Impressora");
    // CP850: "Relação de teste ÇÃ", a page eject, "segunda página".
    std::ofstream(drive / "NAO-DOS00.TXT", std::ios::binary)
        << "Rela\x87\xc6o de teste \x80\xc7\r\n\x0csegunda p\xa0gina\r\n";
    Tmux tmux("env -u TERMINAL -u KDX2DEF -u PAGER KDX2_DRIVES='C=" + drive.string() +
              "' CUPS_SERVER=/nenhum.sock '" + KDX2_BINARY + "'");
    ASSERT_TRUE(tmux.started());
    ASSERT_TRUE(tmux.waitFor("Ano Base")) << tmux.pane();
    tmux.keys("F10 Left Left Left Left");
    ASSERT_TRUE(tmux.waitFor("Ultima impressão")) << tmux.pane();
    tmux.keys("U");
    ASSERT_TRUE(tmux.waitFor("Relação de teste ÇÃ")) << tmux.pane();
    EXPECT_NE(tmux.pane().find("\nsegunda página"), std::string::npos) << tmux.pane();
    EXPECT_EQ(tmux.pane().find("Ano Base"), std::string::npos) << tmux.pane();
    tmux.keys("q");
    ASSERT_TRUE(tmux.waitFor("Ano Base")) << tmux.pane();
    EXPECT_EQ(tmux.pane().find("Relação de teste"), std::string::npos) << tmux.pane();
    tmux.keys("M-t");
    EXPECT_TRUE(tmux.waitFor("FIM 0")) << tmux.pane();
}

}  // namespace
