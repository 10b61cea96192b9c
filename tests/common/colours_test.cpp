#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/colours.h"
#include "common/screen_messages.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "recording_messages.h"
#include "store/table.h"
#include "store/work_areas.h"
#include "ui/ui_session.h"

using namespace kdx2;
namespace fs = std::filesystem;

namespace {

class TerminalColours : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kdx2-colours-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        platform::configureDrives("C=" + root.string());
        base::resetProcessState();
        base::session().set("ARQDEF", "C:\\");
        base::session().set("NUSU", "04");
        common::setDefaultColours(base::session());
    }
    void TearDown() override {
        store::workAreas().closeAll();
        base::resetProcessState();
        platform::configureDrives("");
        fs::remove_all(root);
    }

    base::NamedValues storedRecord() {
        auto cores = store::Table::open("C:\\CORES.DBF", store::OpenMode::Shared);
        cores->goTop();
        EXPECT_EQ(cores->recCount(), 1u);
        return cores->toValues();
    }

    fs::path root;
};

}  // namespace

TEST_F(TerminalColours, NewTerminalGetsTheDefaultsAndKeepsItsChoices) {
    base::session().set("COR_TEL1", 0);
    ASSERT_TRUE(common::CRIACOR());
    EXPECT_EQ(base::session().integer("COR_TEL1"), 30);
    base::NamedValues stored = storedRecord();
    EXPECT_EQ(stored.text("NRO_TERM"), "04");
    EXPECT_EQ(stored.integer("COR_ESCOL"), 79);
    EXPECT_EQ(base::alltrim(stored.text("COR_GET")), "W/N");

    base::session().set("COR_TEL2", 47);
    base::session().set("COR_SAY", "W+/R");
    ASSERT_TRUE(common::GRAVACOR());
    common::setDefaultColours(base::session());
    ASSERT_TRUE(common::CRIACOR());
    EXPECT_EQ(base::session().integer("COR_TEL2"), 47);
    EXPECT_EQ(base::session().text("COR_SAY"), "W+/R");
}

TEST_F(TerminalColours, UnreadableValuesFallBackToTheDefaults) {
    ASSERT_TRUE(common::CRIACOR());
    {
        auto cores = store::Table::open("C:\\CORES.DBF", store::OpenMode::Shared);
        cores->goTop();
        ASSERT_TRUE(cores->lockRecord());
        cores->put("COR_SAY", base::Value("roxo"));
        cores->put("COR_MENS", base::Value(999));
        cores->unlock();
    }
    ASSERT_TRUE(common::CRIACOR());
    EXPECT_EQ(base::session().text("COR_SAY"), "N/W+");
    EXPECT_EQ(base::session().integer("COR_MENS"), 112);
}

TEST_F(TerminalColours, EditorAppliesEveryMoveAndSavesWhenTheItemEnds) {
    ASSERT_TRUE(common::CRIACOR());
    // Texto: right twice (the second stops at 15), down from 1 to 2 and back.
    ui::testing::UiSession ui(
        "expect Fundo Geral\nkey Enter\nkey Right\nkey Right\nkey Down\nkey Up\nkey Enter\n"
        "key Esc\n");
    common::installScreenMessages();
    common::MODCOR();
    common::removeScreenMessages();
    EXPECT_EQ(base::session().integer("COR_TEL1"), 31);
    const base::NamedValues stored = storedRecord();
    EXPECT_EQ(stored.integer("COR_TEL1"), 31);
    // Window writes put the text pairs back to their defaults, so the pair
    // saved with the attribute is the default one.
    EXPECT_EQ(base::alltrim(stored.text("COR_1_CLI")), "GR+/B");
    EXPECT_EQ(base::session().text("CORNORM"), "N/W+,W/N,N/N,N/N,N/W+");
}

TEST_F(TerminalColours, DamagedTableIsReportedAndTheDefaultsStay) {
    std::ofstream(root / "CORES.DBF") << "danificado";
    kdx2::testing::RecordingMessages messages;
    base::session().set("COR_TEL1", 30);
    EXPECT_FALSE(common::CRIACOR());
    EXPECT_EQ(base::session().integer("COR_TEL1"), 30);
    EXPECT_FALSE(common::GRAVACOR());
}
