// The update check against a server of the test's own on 127.0.0.1: the
// page read, its SELIC months merged into the rate table (read back by an
// independent reader), the offered update downloaded and started.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "selection_fixture.h"
#include "shell/exit.h"
#include "shell/update/update.h"
#include "store/work_areas.h"
#include "update_server.h"

namespace kdx2::update_test {
namespace {

namespace up = shell::update;
using selection_test::runCommand;

const std::string kSameDate = "KDX2 3.00 03/01/26 0000010";
const std::string kNewer = "KDX2 3.01 15/02/26 0000012";

// ---- The page --------------------------------------------------------------

TEST(UpdatePage, TwelveSoundMonthsAreTakenAndAnythingElseRefusesTheWholeBlock) {
    const auto months = up::selicBlock(updatePage(yearOfRates(2025), kNewer));
    ASSERT_TRUE(months);
    ASSERT_EQ(months->size(), 12u);
    EXPECT_EQ(months->front().key, "202501");
    EXPECT_DOUBLE_EQ(months->front().rate, 0.81);
    EXPECT_EQ(months->back().key, "202512");

    auto with = [](size_t at, std::string key, std::string rate) {
        auto m = yearOfRates(2025);
        m[at] = {std::move(key), std::move(rate)};
        return updatePage(m, kNewer);
    };
    EXPECT_FALSE(up::selicBlock(with(4, "202513", "0.85"))) << "month 13";
    EXPECT_FALSE(up::selicBlock(with(4, "1990 5", "0.85"))) << "not a month key";
    EXPECT_FALSE(up::selicBlock(with(4, "202505", "9999"))) << "a rate no month has";
    EXPECT_FALSE(up::selicBlock(with(4, "202505", "1.2.")));
    EXPECT_FALSE(up::selicBlock(with(4, "202505", " -.5")));
    EXPECT_FALSE(up::selicBlock(with(4, "202504", "0.85"))) << "a month twice";
    EXPECT_TRUE(up::selicBlock(with(4, "202505", "1.01")));

    const std::string page = updatePage(yearOfRates(2025), "");
    const size_t p = page.find("SELIC");
    EXPECT_FALSE(up::selicBlock(page.substr(0, p + 159))) << "cut inside the last entry";
    EXPECT_TRUE(up::selicBlock(page.substr(0, p + 160)));
    EXPECT_FALSE(up::selicBlock(""));
    EXPECT_FALSE(up::selicBlock("no marker here"));
    std::string binary(4000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7919 % 256);
    EXPECT_FALSE(up::selicBlock(binary + "SELIC" + binary));
}

TEST(UpdatePage, TheVersionMarkerIsReadOnlyWhenWholeAndSound) {
    const auto marker = up::versionMarker("xx KDX2 3.01 15/02/26 1234567 yy");
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->tag, "3.01");
    EXPECT_EQ(marker->date, "15/02/26");
    EXPECT_EQ(marker->size, 1234567);
    EXPECT_EQ(up::installerName(marker->tag), "kdx2-301.exe");

    EXPECT_FALSE(up::versionMarker("KDX2 3.01 15/02/26 123456")) << "cut short";
    EXPECT_FALSE(up::versionMarker("KDX2 3.01 15-02-26 1234567"));
    EXPECT_FALSE(up::versionMarker("KDX2 3.01 15/02/26 12x4567"));
    EXPECT_FALSE(up::versionMarker("KDX2 3.01 15/02/26 0000000"));
    EXPECT_FALSE(up::versionMarker("KDX2 ../. 15/02/26 0001000")) << "a tag that is no version";
    EXPECT_FALSE(up::versionMarker("nothing"));
}

// ---- Against a server ------------------------------------------------------

class UpdateTest : public selection_test::SelectionTest {
  protected:
    void SetUp() override {
        SelectionTest::SetUp();
        base::NamedValues& s = base::session();
        s.set("CULTIMAVER", "03/01/26");
        s.set("VERSAO", "3.00 03/01/26");
        s.set("DIRINST", "C:\\");
        s.set("COR_ENCH_C", "W/B");
        ::unsetenv("KDX2_UPDATE_SERVER");
        ::unsetenv("KDX2_INSTALLER");
    }
    void TearDown() override {
        ::unsetenv("KDX2_UPDATE_SERVER");
        ::unsetenv("KDX2_INSTALLER");
        SelectionTest::TearDown();
    }

    void useServer(const PageServer& server) {
        ::setenv("KDX2_UPDATE_SERVER", server.address().c_str(), 1);
    }

    // The rate table of the install folder with (ANOMES, TJM) rows.
    void makeRates(const std::vector<std::pair<std::string, double>>& rows) {
        const store::Structure layout{{"ANOMES", base::Type::Character, 6, 0},
                                      {"MULTIPL", base::Type::Numeric, 8, 4},
                                      {"TJM", base::Type::Numeric, 6, 2},
                                      {"SIMB_MOED", base::Type::Character, 4, 0}};
        store::Table::create("C:\\UFIRM.DBF", layout);
        auto table = store::Table::open("C:\\UFIRM.DBF", store::OpenMode::Exclusive);
        for (const auto& [key, rate] : rows) {
            EXPECT_TRUE(table->append());
            table->put("ANOMES", base::Value(key));
            table->put("MULTIPL", base::Value(1.5));
            table->put("TJM", base::Value(rate));
            table->put("SIMB_MOED", base::Value("R$  "));
        }
        table->close();
        platform::removeFile("C:\\UFIRM.CDX");
    }

    // "ANOMES TJM SIMB_MOED MULTIPL" of every record, read by python3-dbfread.
    std::vector<std::string> rateRows() const {
        std::vector<std::string> rows;
        std::istringstream in(test_support::runPython(
            "import dbfread\n"
            "for r in dbfread.DBF('" +
            host("UFIRM.DBF") +
            "', encoding='cp850'):\n"
            "    print(r['ANOMES'], r['TJM'], r['SIMB_MOED'].strip(), r['MULTIPL'])\n"));
        for (std::string line; std::getline(in, line);)
            rows.push_back(line);
        return rows;
    }

    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : messages.boxes) {
            std::string text;
            for (const std::string& line : testing::utf8Lines(box.lines))
                text += line + " / ";
            texts.push_back(text);
        }
        return texts;
    }
    bool shown(const std::string& utf8) const {
        for (const std::string& text : boxTexts())
            if (text.find(utf8) != std::string::npos) return true;
        return false;
    }
};

TEST_F(UpdateTest, TwelveMonthsAreMergedOnceHoweverOftenThePageIsRead) {
    // The table lacks the page's first month and holds two later ones with
    // other rates, and a month the page does not name.
    makeRates({{"202412", 0.93}, {"202503", 0.5}, {"202507", 0.5}, {"202602", 0.7}});
    PageServer server({{"/", updatePage(yearOfRates(2025), kSameDate)}});
    useServer(server);

    up::INTER(1);
    EXPECT_TRUE(shown("Não existe atualização no momento!"))
        << ::testing::PrintToString(boxTexts());
    up::INTER(1);
    const auto rows = rateRows();
    ASSERT_EQ(rows.size(), 14u) << ::testing::PrintToString(rows);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "202412 0.93 R$ 1.5"), 1);
    // Months already there keep their factor; new ones get "R$" and the
    // factor in force before them.
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "202503 0.83 R$ 1.5"), 1);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "202507 0.87 R$ 1.5"), 1);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "202501 0.81 R$ 1.5"), 1)
        << ::testing::PrintToString(rows);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "202512 0.92 R$ 1.5"), 1);

    // The request as the page expects it.
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, 16), "GET / HTTP/1.1\r\n");
    EXPECT_NE(requests[0].find("User-Agent: Programa KDX"), std::string::npos) << requests[0];
    EXPECT_NE(requests[0].find("Host: 127.0.0.1"), std::string::npos) << requests[0];
}

TEST_F(UpdateTest, AMalformedPageWritesNoRateAndSaysSo) {
    makeRates({{"202501", 0.5}});
    const auto before = rateRows();
    auto months = yearOfRates(2025);
    months[6].second = "9999";
    PageServer server({{"/", updatePage(months, kSameDate)}});
    useServer(server);
    up::INTER(1);
    EXPECT_EQ(rateRows(), before);
    EXPECT_TRUE(shown("Nenhuma taxa foi gravada.")) << ::testing::PrintToString(boxTexts());
}

TEST_F(UpdateTest, EmptyHugeOrBinaryPagesChangeNothing) {
    makeRates({{"202501", 0.5}});
    const auto before = rateRows();
    std::string binary(20000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7919 % 256);
    // Past the first 8000 bytes nothing is looked at.
    const std::string huge =
        std::string(9000, ' ') + updatePage(yearOfRates(2025), kNewer) + std::string(1 << 20, 'x');
    for (const std::string& page : {std::string(), binary, huge}) {
        PageServer server({{"/", page}});
        useServer(server);
        messages.boxes.clear();
        up::INTER(1);
        EXPECT_EQ(rateRows(), before);
        EXPECT_TRUE(shown("Não houve leitura sobre a atualização!"))
            << ::testing::PrintToString(boxTexts());
    }
}

TEST_F(UpdateTest, WithoutAServerTheStartUpCheckGivesUpWithinThreeSeconds) {
    // Nobody listens on the port of a server that was stopped.
    int port = 0;
    {
        PageServer gone({});
        port = gone.port();
    }
    ::setenv("KDX2_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    auto started = std::chrono::steady_clock::now();
    up::INTER(0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500));
    EXPECT_TRUE(shown("Erro no acesso a Internet. Tente depois!"));

    // A server that takes the connection and never answers.
    PageServer silent({}, PageServer::Mode::Silent);
    useServer(silent);
    messages.boxes.clear();
    started = std::chrono::steady_clock::now();
    up::INTER(0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500));
    EXPECT_TRUE(shown("Não é possível saber se há atualização!"));
}

TEST_F(UpdateTest, WithNoServerSetTheStartUpIsSilentAndTheCommandSaysWhy) {
    up::INTER(0);
    EXPECT_TRUE(messages.boxes.empty());
    up::INTER(1);
    EXPECT_TRUE(shown("KDX2_UPDATE_SERVER")) << ::testing::PrintToString(boxTexts());
}

TEST_F(UpdateTest, AnUpdateOfferedAndRefusedDownloadsNothing) {
    PageServer server({{"/", updatePage(yearOfRates(2025), kNewer)}});
    useServer(server);
    messages.answers = {2};  // "Não"
    up::INTER(0);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_TRUE(
        shown("Aviso! Existe a versão 3.01 diferente da sua 3.00 03/01/26 / "
              "Atualização feita em 15/02/26. Deseja atualizar agora?"));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(UpdateTest, TheInstallerIsSavedWholeAndStartedWithoutAShell) {
    const std::string installer = "MZ-instalador";  // 13 bytes
    PageServer server({{"/", updatePage(yearOfRates(2025), "KDX2 3.01 15/02/26 0000013")},
                       {"/arquivos/rorore/kdx2-301.exe", installer}});
    useServer(server);
    // The command gets the installer's path as its last argument: a start-up
    // folder with a blank and an "&" reaches it as one argument.
    std::filesystem::create_directories(root / "A & B");
    base::session().set("DIRINST", "C:\\A & B\\");
    const std::filesystem::path started = root / "inicio";
    std::filesystem::create_directories(started);
    ::setenv("KDX2_INSTALLER", ("/bin/cp -t " + started.string()).c_str(), 1);
    messages.answers = {1, 1, 1};  // update now, confirm the download, Ok
    bool ended = false;
    try {
        up::INTER(0);
    } catch (const shell::ProgramEnd& end) {
        ended = true;
        EXPECT_EQ(end.exitCode, 0);
    }
    EXPECT_TRUE(ended) << ::testing::PrintToString(boxTexts());
    EXPECT_TRUE(shown("O programa kdx2-301.exe foi salvo na pasta abaixo:"));
    const std::filesystem::path saved = root / "A & B" / "INSTAL" / "kdx2-301.exe";
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_EQ(runCommand("cat '" + saved.string() + "'"), installer);
    // Started without waiting: give it a moment.
    for (int i = 0; i < 50 && !std::filesystem::exists(started / "kdx2-301.exe"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(std::filesystem::exists(started / "kdx2-301.exe"));
}

TEST_F(UpdateTest, AnInstallerShorterThanAnnouncedIsRefusedAndNotStarted) {
    PageServer server({{"/", updatePage(yearOfRates(2025), "KDX2 3.01 15/02/26 0000500")},
                       {"/arquivos/rorore/kdx2-301.exe", "cut short"}});
    useServer(server);
    ::setenv("KDX2_INSTALLER", ("/bin/cp -t " + root.string()).c_str(), 1);
    messages.answers = {1, 1};
    up::INTER(0);
    EXPECT_TRUE(shown("Erro na carga do Arquivo na internet!"));
    EXPECT_TRUE(shown("Nova atualização não instalada!"));
    EXPECT_FALSE(std::filesystem::exists(root / "INSTAL" / "kdx2-301.exe"));
    EXPECT_FALSE(std::filesystem::exists(root / "kdx2-301.exe"));
}

}  // namespace
}  // namespace kdx2::update_test
