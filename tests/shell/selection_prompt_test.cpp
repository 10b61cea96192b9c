// The CPF prompt, the search in the other registered folders, the tax year,
// the folder prompt and the CPF renumbering, on real tables; the screens
// driven by key scripts on the headless console.

#include <gtest/gtest.h>

#include <algorithm>

#include "common/screen_messages.h"
#include "selection_fixture.h"
#include "shell/selection/selection.h"
#include "shell/settings.h"
#include "shell/workspace/working_values.h"
#include "tax/carne.h"
#include "ui/ui_session.h"

namespace kdx2::selection_test {
namespace {

namespace sel = shell::selection;

const std::string kAna = validCpf("111444777");
const std::string kBeto = validCpf("222555888");
const std::string kCaio = validCpf("333666999");

class PromptTest : public SelectionTest {
  protected:
    void SetUp() override {
        SelectionTest::SetUp();
        addTaxpayer("C:\\ORIG\\", kAna, "ANA", {"Loja"});
        addTaxpayer("C:\\ORIG\\", kBeto, "BETO", {"Feira"});
        addTaxpayer("C:\\DEST\\", kCaio, "CAIO", {"Mercado"});
        std::filesystem::create_directories(root / "VAZIA");
        ASSERT_TRUE(sel::selectFolder("C:\\ORIG"));
        sel::registerFolder("C:\\VAZIA");
        sel::registerFolder("C:\\DEST");
        store::workAreas().closeAll();
    }

    // Runs `body` on the headless console with `script`; fails the test when
    // the script ran out or failed inside it.
    template <typename Body>
    void onScreen(const std::string& script, Body body) {
        ui::testing::UiSession session(script);
        common::installScreenMessages();
        std::string failure;
        const int stop = ui::testing::runUntilScriptEnds(body, &failure);
        screen = session.screen();
        common::removeScreenMessages();
        EXPECT_EQ(stop, -1) << "script ended inside the screen: " << failure;
    }

    bool choose(const std::string& script, int command = 12) {
        bool chosen = false;
        onScreen(script, [&] { chosen = sel::chooseTaxpayer(command); });
        return chosen;
    }

    std::string cpf() const { return base::alltrim(base::session().text("CPF")); }

    std::string screen;
};

TEST_F(PromptTest, ATypedCpfFindsTheTaxpayerInTheDataFolder) {
    EXPECT_TRUE(choose("type " + kBeto + "\n"));
    EXPECT_EQ(cpf(), kBeto);
    EXPECT_EQ(base::alltrim(base::session().text("NOMECONTR")), "BETO");
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\ORIG\\");
}

TEST_F(PromptTest, AnEmptyCpfFindsTheTaxpayerByName) {
    EXPECT_TRUE(choose("key Enter\nexpect Nome\ntype BET\nkey Enter\n"));
    EXPECT_EQ(cpf(), kBeto);
}

TEST_F(PromptTest, TheListByNameChoosesTheTaxpayer) {
    EXPECT_TRUE(choose("key F2\nexpect BETO\nkey Down\nkey Enter\nkey Enter\n"));
    EXPECT_EQ(cpf(), kBeto);
}

TEST_F(PromptTest, PgDnStepsToTheNextTaxpayerOfTheRegister) {
    EXPECT_TRUE(choose("key PgDn\nkey Enter\n"));
    EXPECT_EQ(cpf(), kBeto);
    EXPECT_NE(screen.find("222.555.888-"), std::string::npos) << screen;
}

TEST_F(PromptTest, ACpfOnlyInAnotherRegisteredFolderMakesThatFolderCurrent) {
    EXPECT_TRUE(choose("type " + kCaio +
                       "\nexpect cadastrado na pasta C:\\DEST,\nexpect que passa a ser a pasta "
                       "atual.\nkey Enter\n"));
    EXPECT_EQ(cpf(), kCaio);
    EXPECT_EQ(base::alltrim(base::session().text("NOMECONTR")), "CAIO");
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\DEST\\");
    const auto folders = registeredFolders(root);
    EXPECT_NE(std::find(folders.begin(), folders.end(), "S C:\\DEST"), folders.end());
    EXPECT_NE(std::find(folders.begin(), folders.end(), "N C:\\ORIG"), folders.end());
    EXPECT_NE(std::find(folders.begin(), folders.end(), "N C:\\VAZIA"), folders.end())
        << "the folder without a register was not skipped";
}

TEST_F(PromptTest, ACpfFoundNowhereIsReportedAndTheFolderStays) {
    const std::string absent = validCpf("444777000");
    EXPECT_FALSE(choose("type " + absent + "\nexpect não foi localizado\nkey Enter\n"));
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\ORIG\\");
    EXPECT_EQ(store::workAreas().area(9).path().find("ORIG") != std::string::npos, true);
}

TEST_F(PromptTest, AWrongCheckDigitIsRefusedAndAskedAgain) {
    const std::string wrong = kAna.substr(0, 10) + (kAna[10] == '0' ? "1" : "0");
    EXPECT_FALSE(choose("type " + wrong + "\nexpect está incorreto\nkey Enter\nkey Esc\n"));
}

TEST_F(PromptTest, TheDeclarationOffersATaxpayerFoundNowhereAsANewOne) {
    const std::string absent = validCpf("444777000");
    shell::workspace::createWorkingValues();
    EXPECT_TRUE(choose("type " + absent +
                           "\nexpect Inclui na pasta atual?\nkey Right\nkey Enter\n"  // Não
                           "type " +
                           absent + "\nkey Enter\n",  // Sim
                       11));
    EXPECT_EQ(cpf(), absent);
    EXPECT_TRUE(base::session().flag("PVEZ"));
    store::workAreas().closeAll();
    shell::workspace::discardWorkingValues();
}

// ---- Folder list -----------------------------------------------------------------

TEST_F(PromptTest, TheFolderListSelectsAddsAndRemovesFolders) {
    base::session().set("OPCAO_1", 13);
    onScreen(
        "expect Pastas dos arquivos\n"
        "key Down\n"
        "type S\n"  // C:\\DEST in use
        "key Ctrl+PgDn\n"
        "key Del\n"  // C:\\VAZIA out of the list
        "expect Confirma a Exclusão\n"
        "key Left\n"
        "key Enter\n"
        "key Down\n"
        "type C:\\NOVA\n"
        "key Enter\n"
        "expect Cria-o\n"
        "key Enter\n"
        "key Esc\n",
        [] { sel::editFolderList(); });
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\DEST\\");
    auto folders = registeredFolders(root);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders,
              (std::vector<std::string>{"N C:\\", "N C:\\NOVA", "N C:\\ORIG", "S C:\\DEST"}));
    EXPECT_TRUE(std::filesystem::is_directory(root / "NOVA"));
}

// ---- Tax year ----------------------------------------------------------------

TEST_F(PromptTest, YearsBefore1995AreRefusedAndAYearWithoutFactorsGets09108) {
    EXPECT_FALSE(sel::ANOPROC(1994));
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_EQ(testing::utf8Lines(messages.boxes.back().lines),
              std::vector<std::string>{"Os cálculos só estarão corretos a partir de 1995"});
    EXPECT_TRUE(sel::ANOPROC(2026));
    for (double factor : tax::carneLeao().TAB_UFIR)
        EXPECT_DOUBLE_EQ(factor, 0.9108);
}

TEST_F(PromptTest, TheFactorsAreThoseOfTheYearTyped) {
    store::Table::create("C:\\UFIRM.DBF", {{"ANOMES", base::Type::Character, 6, 0},
                                           {"MULTIPL", base::Type::Numeric, 10, 4},
                                           {"TJM", base::Type::Numeric, 6, 2},
                                           {"SIMB_MOED", base::Type::Character, 4, 0}});
    {
        auto ufirm = store::Table::open("C:\\UFIRM.DBF", store::OpenMode::Exclusive);
        EXPECT_TRUE(ufirm->append());
        ufirm->put("ANOMES", base::Value("202501"));
        ufirm->put("MULTIPL", base::Value(1.5));
        ufirm->put("SIMB_MOED", base::Value("R$"));
    }
    base::session().set("QUEANO", 2024);
    EXPECT_TRUE(sel::ANOPROC(2025));
    EXPECT_DOUBLE_EQ(tax::carneLeao().TAB_UFIR[11], 1.5);
    EXPECT_DOUBLE_EQ(base::session().number("UFIRATUAL"), 1.5);
    EXPECT_EQ(base::session().integer("QUEANO"), 2024) << "the year is set by BUSCA_ANO";
}

TEST_F(PromptTest, TheYearPromptTakesAValidYearAndEscKeepsThePreviousOne) {
    base::session().set("QUEANO", 2024);
    onScreen("expect Informe o ano de trabalho\ntype 2026\n", [] { sel::BUSCA_ANO(); });
    EXPECT_EQ(base::session().integer("QUEANO"), 2026);
    EXPECT_EQ(base::session().text("CQUEANO"), "2026");
    EXPECT_EQ(base::session().text("ANO_CAR"), "2026");
    EXPECT_NE(screen.find("Ano Base  2026"), std::string::npos) << screen;

    onScreen("type 1994\nexpect a partir de 1995\nkey Enter\nkey Esc\n", [] { sel::BUSCA_ANO(); });
    EXPECT_EQ(base::session().integer("QUEANO"), 2026);
}

// ---- Folder prompt -------------------------------------------------------------

TEST_F(PromptTest, AFolderOfTwoCharactersGetsItsBackslashAndOneWithoutDriveIsRefused) {
    std::filesystem::create_directories(root / "d");
    platform::configureDrives("C=" + root.string() + ";D=" + (root / "d").string());
    base::session().set("OPCAO_1", 21);
    base::session().set("DIRTRAB", "C:\\TRAB");
    std::string folder;
    onScreen("expect Atual do KDX2\ntype D:\nkey Enter\n",
             [&] { folder = sel::NOVA_ROTA("DIRTRAB"); });
    EXPECT_EQ(base::rtrim(folder), "D:\\");
    EXPECT_EQ(folder.size(), 40u);

    onScreen("type DADOS\nkey Enter\nexpect Especifique o drive\nkey Enter\nkey Esc\n",
             [&] { folder = sel::NOVA_ROTA("DIRTRAB"); });
    EXPECT_EQ(base::rtrim(folder), "C:\\TRAB");
}

// ---- CPF renumbering -------------------------------------------------------------

TEST_F(PromptTest, RenumberingMovesEveryRowOfTheTaxpayerToTheNewCpf) {
    const std::string fresh = validCpf("555888111");
    base::session().set("CPF", kAna);
    EXPECT_EQ(sel::renumberCpf(kAna, fresh), sel::RenumberResult::Done);
    const auto rows = liveRows("ORIG");
    EXPECT_TRUE(rowsOfCpf(rows, kAna).empty());
    EXPECT_EQ(rowsOfCpf(rows, fresh), (std::map<int, int>{{1, 1}, {2, 1}, {9, 1}, {17, 1}}));
    EXPECT_EQ(cpf(), fresh);
    store::Table& reg = store::workAreas().area(9);
    EXPECT_TRUE(reg.seek(base::Value(fresh))) << "the register's index was not kept";
}

TEST_F(PromptTest, RenumberingChangesNothingWhenATableIsInUseOrTheCpfsDoNotFit) {
    const auto before = liveRows("ORIG");
    EXPECT_EQ(sel::renumberCpf(kAna, kBeto), sel::RenumberResult::NewExists);
    EXPECT_EQ(sel::renumberCpf(kCaio, validCpf("555888111")), sel::RenumberResult::OldMissing);
    {
        TableHolder peer(root, "ORIG\\IRM17.DBF");
        ASSERT_TRUE(peer.ready());
        EXPECT_EQ(sel::renumberCpf(kAna, validCpf("555888111")), sel::RenumberResult::Unavailable);
    }
    EXPECT_EQ(liveRows("ORIG"), before);
}

}  // namespace
}  // namespace kdx2::selection_test
