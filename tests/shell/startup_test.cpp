#include <gtest/gtest.h>

#include <fstream>

#include "base/cp850.h"
#include "base/text.h"
#include "common/recording_messages.h"
#include "shell/exit.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell_fixture.h"
#include "store/table.h"

using namespace kdx2;
using kdx2::testing::RecordingMessages;
using kdx2::testing::utf8Lines;
using Lines = std::vector<std::string>;

namespace {

std::unique_ptr<store::Table> openTable(const std::string& path) {
    return store::Table::open(path, store::OpenMode::Shared);
}

// The terminal's record of a per-terminal table, as another program would read it.
base::NamedValues recordOf(const std::string& path, const std::string& terminal) {
    auto table = openTable(path);
    for (table->goTop(); !table->eof(); table->skip()) {
        if (base::alltrim(table->get("NRO_TERM").text()) == terminal) return table->toValues();
    }
    ADD_FAILURE() << "no record of terminal " << terminal << " in " << path;
    return {};
}

class Startup : public kdx2::testing::EmptyDrive {};

}  // namespace

TEST_F(Startup, FirstStartInAnEmptyFolderCreatesTheTerminalsRecords) {
    RecordingMessages messages;
    kdx2::testing::startOrFail(messages);
    const base::NamedValues& s = base::session();
    EXPECT_EQ(s.text("NUSU"), "00");
    EXPECT_EQ(s.text("ROTADEF"), "C:\\");
    EXPECT_EQ(s.text("ARQDEF"), "C:\\");
    EXPECT_EQ(s.text("LOCARQ"), "C:\\");
    EXPECT_EQ(s.text("LOCTRAB"), "C:\\");
    EXPECT_EQ(s.integer("QUEANO"), base::Date::today().year());
    EXPECT_EQ(s.integer("OPCAO_1"), 1);
    for (const auto& box : messages.boxes)
        ADD_FAILURE() << "unexpected message: " << utf8Lines(box.lines).front();

    const base::NamedValues config = recordOf("C:\\CONFIG.DBF", "00");
    EXPECT_EQ(base::alltrim(config.text("ROTADOANO")), "C:\\");
    EXPECT_EQ(base::alltrim(config.text("DIRTRAB")), "C:\\");
    EXPECT_EQ(base::alltrim(config.text("ROTAANTER")), "C:\\IR2018");
    EXPECT_EQ(config.integer("QUEANO"), base::Date::today().year());
    EXPECT_EQ(config.integer("QMEDIA"), base::Date::today().month());
    EXPECT_EQ(config.integer("TEMP_SAL"), 20);
    EXPECT_EQ(config.integer("QUEIMP"), 1);
    EXPECT_EQ(config.text("MOSIMP"), "S");
    EXPECT_EQ(config.text("QUALMENS"), "1");
    EXPECT_TRUE(config.flag("QUERSEN"));
    EXPECT_EQ(config.text("STAT_2"), "Cadastro novo");
    EXPECT_EQ(config.text("STAT_9"), "Terminado    ");

    const base::NamedValues cores = recordOf("C:\\CORES.DBF", "00");
    EXPECT_EQ(cores.integer("COR_TEL1"), 30);
    EXPECT_EQ(cores.integer("COR_ESCOL"), 79);
    EXPECT_EQ(base::alltrim(cores.text("COR_SAY")), "N/W+");
    EXPECT_EQ(base::alltrim(cores.text("COR_ESC_CL")), "W/R+");

    auto folders = openTable("C:\\DIRET00.DBF");
    ASSERT_EQ(folders->recCount(), 1u);
    folders->goTop();
    EXPECT_EQ(folders->get("SELEC").text(), "S");
    EXPECT_EQ(base::alltrim(folders->get("DIRETOR").text()), "C:\\");
    // The shipped reference tables were written too.
    EXPECT_TRUE(platform::fileExists("C:\\UFIRM.DBF"));
}

TEST_F(Startup, TerminalFromTheEnvironmentWinsOverTheArgument) {
    RecordingMessages messages;
    ::setenv("TERMINAL", "7", 1);
    kdx2::testing::startOrFail(messages, "12");
    EXPECT_EQ(base::session().text("NUSU"), "07");
    EXPECT_TRUE(platform::fileExists("C:\\DIRET07.DBF"));
    EXPECT_EQ(recordOf("C:\\CONFIG.DBF", "07").text("NRO_TERM"), "07");

    EXPECT_EQ(shell::terminalFromArgument("3"), "03");
    EXPECT_EQ(shell::terminalFromArgument(" 42 "), "42");
    EXPECT_EQ(shell::terminalFromArgument("250"), "");
    EXPECT_EQ(shell::terminalFromArgument("abc"), "");
    EXPECT_EQ(shell::terminalFromArgument(""), std::nullopt);
}

TEST_F(Startup, StoredSettingsAreLoadedAndOutOfRangeOnesClamped) {
    {
        RecordingMessages messages;
        kdx2::testing::startOrFail(messages);
        store::workAreas().closeAll();
    }
    {
        auto config = openTable("C:\\CONFIG.DBF");
        config->goTop();
        ASSERT_TRUE(config->lockRecord());
        config->put("QUEIMP", base::Value(0));
        config->put("QUEPAG", base::Value(9));
        config->put("QMEDIA", base::Value(0));
        config->put("QUEANO", base::Value(0));
        config->put("TEMP_SAL", base::Value(5));
        config->put("MOSIMP", base::Value(" "));
        config->put("MOSTEL", base::Value("N"));
        config->put("ULT_CPF", base::Value("11144477735"));
        config->unlock();
    }
    restart();
    RecordingMessages messages;
    kdx2::testing::startOrFail(messages);
    const base::NamedValues& s = base::session();
    EXPECT_EQ(s.integer("QUEIMP"), 1);
    EXPECT_EQ(s.integer("QUEPAG"), 8);
    EXPECT_EQ(s.integer("QMEDIA"), 1);
    EXPECT_EQ(s.integer("QUEANO"), base::Date::today().year());
    EXPECT_EQ(s.integer("TEMP_SAL"), 5);
    EXPECT_EQ(s.text("MOSIMP"), "S");
    EXPECT_EQ(s.text("MOSTEL"), "S");  // a blank MOSIMP overrides the stored MOSTEL
    EXPECT_EQ(s.text("CPF"), "11144477735");
    EXPECT_EQ(shell::sessionLists().MSTAT[1][0], "2");
    EXPECT_EQ(shell::sessionLists().MSTAT[1][1], "Cadastro novo");
}

TEST_F(Startup, MissingDataFolderIsAskedAboutAndReplacedByTheInstallFolder) {
    {
        RecordingMessages messages;
        kdx2::testing::startOrFail(messages);
        store::workAreas().closeAll();
    }
    {
        auto config = openTable("C:\\CONFIG.DBF");
        config->goTop();
        ASSERT_TRUE(config->lockRecord());
        config->put("ROTADOANO", base::Value("C:\\IR2030"));
        config->put("DIRTRAB", base::Value("C:\\SUMIU"));
        config->unlock();
    }
    restart();
    RecordingMessages no;
    no.answers = {2};
    EXPECT_THROW(shell::prepareSession(""), shell::StartupFailure);
    EXPECT_EQ(no.onlyBoxLines(), (Lines{"A Pasta C:\\IR2030 não foi encontrada!",
                                        "Sim - Assume: C:\\", "Não - Sai do programa!"}));
    store::workAreas().closeAll();

    restart();
    RecordingMessages yes;
    yes.answers = {1};
    kdx2::testing::startOrFail(yes);
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\");
    // The missing work folder follows the data folder.
    EXPECT_EQ(base::session().text("LOCTRAB"), "C:\\");
    store::workAreas().closeAll();
    EXPECT_EQ(base::alltrim(recordOf("C:\\CONFIG.DBF", "00").text("ROTADOANO")), "C:\\");
}

TEST_F(Startup, DamagedColourTableIsReportedAndDefaultsUsed) {
    std::ofstream(root / "CORES.DBF") << "this is not a table";
    RecordingMessages messages;
    kdx2::testing::startOrFail(messages);
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_EQ(messages.boxes.front().icon, common::MessageIcon::Stop);
    EXPECT_EQ(base::session().integer("COR_TEL1"), 30);
    EXPECT_EQ(base::alltrim(base::session().text("COR_ENCH_C")), "W+/B");
    EXPECT_EQ(base::session().text("NUSU"), "00");  // the start went on
}

TEST_F(Startup, DamagedConfigTableEndsTheProgramWithItsMessage) {
    std::ofstream(root / "CONFIG.DBF") << "garbage, not a table at all";
    RecordingMessages messages;
    EXPECT_THROW(shell::prepareSession(""), shell::StartupFailure);
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_EQ(utf8Lines(messages.boxes.back().lines),
              Lines{"Arquivo de configuração sendo usado no momento"});
}

TEST_F(Startup, KnownWorkFolderIsSelectedAgainAndUnknownOneRegistered) {
    std::filesystem::create_directories(root / "IR2025");
    {
        RecordingMessages messages;
        kdx2::testing::startOrFail(messages);
        store::workAreas().closeAll();
        auto config = openTable("C:\\CONFIG.DBF");
        config->goTop();
        ASSERT_TRUE(config->lockRecord());
        config->put("ROTADOANO", base::Value("C:\\IR2025"));
        config->put("DIRTRAB", base::Value("C:\\IR2025"));
        config->unlock();
    }
    restart();
    RecordingMessages messages;
    kdx2::testing::startOrFail(messages);
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\IR2025\\");
    store::workAreas().closeAll();
    auto folders = openTable("C:\\DIRET00.DBF");
    ASSERT_EQ(folders->recCount(), 2u);
    folders->goTo(2);
    EXPECT_EQ(base::alltrim(folders->get("DIRETOR").text()), "C:\\IR2025");
    EXPECT_EQ(folders->get("SELEC").text(), "S");
    folders.reset();

    // At the next start the registered row is found and selected alone.
    restart();
    kdx2::testing::startOrFail(messages);
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\IR2025\\");
    store::workAreas().closeAll();
    folders = openTable("C:\\DIRET00.DBF");
    ASSERT_EQ(folders->recCount(), 2u);
    folders->goTo(1);
    EXPECT_EQ(folders->get("SELEC").text(), "N");
    folders->goTo(2);
    EXPECT_EQ(folders->get("SELEC").text(), "S");
}

TEST_F(Startup, ExitWritesTheSessionBackToTheTerminalsRecord) {
    RecordingMessages messages;
    kdx2::testing::startOrFail(messages);
    base::session().set("QUEANO", 2024);
    base::session().set("CPF", "11144477735");
    base::session().set("TEMP_SAL", 99);
    EXPECT_TRUE(shell::storeSettingsAtExit());
    store::workAreas().closeAll();
    const base::NamedValues config = recordOf("C:\\CONFIG.DBF", "00");
    EXPECT_EQ(config.integer("QUEANO"), 2024);
    EXPECT_EQ(config.text("ULT_CPF"), "11144477735");
    EXPECT_EQ(config.integer("TEMP_SAL"), 99);
    EXPECT_EQ(config.integer("ULT_TER"), 1);

    // A terminal whose record never existed is not given one at the exit.
    base::session().set("NUSU", "31");
    EXPECT_FALSE(shell::storeSettingsAtExit());
    store::workAreas().closeAll();
    EXPECT_EQ(openTable("C:\\CONFIG.DBF")->recCount(), 1u);
}
