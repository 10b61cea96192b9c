// The deletion of taxpayers from a data folder: every row of the chosen
// ones, in every year table, gone at once; the others untouched.

#include <gtest/gtest.h>

#include <sstream>

#include "backup_fixture.h"
#include "common/screen_messages.h"
#include "platform/console/keys.h"
#include "platform/faults.h"
#include "store/journal.h"
#include "store/verify.h"
#include "store/work_areas.h"
#include "support/fault_sweep.h"
#include "ui/ui_session.h"

namespace kdx2::backup_test {
namespace {

namespace bk = shell::backup;

class DeletionTest : public BackupTest {
  protected:
    // Deleted records still in a folder's year tables, read by the
    // independent reader ("2:1" = one in IRM2).
    std::string deletedRecords(const std::string& folder) {
        return test_support::runPython(
            "import dbfread\n"
            "for n in range(1, 18):\n"
            "    t = dbfread.DBF('" +
            host(folder) +
            "/IRM%d.DBF' % n, encoding='cp850')\n"
            "    d = len(list(t.deleted))\n"
            "    if d: print('%d:%d' % (n, d))\n");
    }

    // The IMPRE mark of a taxpayer in the shared register.
    std::string registerMark(const std::string& cpf) {
        base::session().set("LOCARQ", "C:\\ORIG\\");
        EXPECT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        const std::string mark =
            reg.seek(base::Value(cpf)) ? base::alltrim(reg.get("IMPRE").text()) : "<none>";
        store::workAreas().closeAll();
        return mark;
    }

    void setRegisterMark(const std::string& cpf, const std::string& mark) {
        base::session().set("LOCARQ", "C:\\ORIG\\");
        ASSERT_TRUE(store::ABERTURA(9));
        store::Table& reg = store::workAreas().area(9);
        ASSERT_TRUE(reg.seek(base::Value(cpf)));
        ASSERT_TRUE(reg.lockRecord());
        reg.put("IMPRE", base::Value(mark));
        reg.unlock();
        store::workAreas().closeAll();
    }
};

TEST_F(DeletionTest, TwoTaxpayersLoseEveryRowAndTheOthersKeepTheirs) {
    const auto report = bk::deleteTaxpayers("C:\\ORIG", {kAna, kCaio});
    ASSERT_TRUE(report.opened);
    EXPECT_EQ(report.deleted, (std::vector<std::string>{kAna, kCaio}));
    EXPECT_TRUE(report.notDeleted.empty());

    const auto rows = liveRows("ORIG");
    EXPECT_TRUE(rowsOfCpf(rows, kAna).empty()) << "rows of a deleted taxpayer stayed";
    EXPECT_TRUE(rowsOfCpf(rows, kCaio).empty()) << "rows of a deleted taxpayer stayed";
    EXPECT_EQ(rowsOfCpf(rows, kBeto), whole(1));
    EXPECT_EQ(fieldOf("ORIG", 2, kBeto, "I1_2"), std::vector<std::string>{"Oficina"});
    EXPECT_EQ(fieldOf("ORIG", 17, kBeto, "NOM_BANCO"), std::vector<std::string>{"Banco de BETO"});
    // Removed physically, and the indexes follow the packed tables.
    EXPECT_EQ(deletedRecords("ORIG"), "");
    std::ostringstream check;
    EXPECT_EQ(store::verifyFolder(host("ORIG"), check), 0) << check.str();
    EXPECT_TRUE(store::pendingJournalTables("C:\\ORIG\\").empty());
}

TEST_F(DeletionTest, ATableInUseElsewhereDeletesNothing) {
    const auto before = liveRows("ORIG");
    selection_test::TableHolder peer(root, "ORIG\\IRM17.DBF");
    ASSERT_TRUE(peer.ready());
    const auto report = bk::deleteTaxpayers("C:\\ORIG", {kAna});
    peer.release();
    EXPECT_FALSE(report.opened);
    EXPECT_TRUE(report.deleted.empty());
    EXPECT_EQ(liveRows("ORIG"), before);
}

TEST_F(DeletionTest, KilledAtEveryStepEachTaxpayerIsWholeOrGone) {
    const auto restore = [&] {
        store::workAreas().closeAll();
        for (const auto& entry : std::filesystem::directory_iterator(root / "ORIG"))
            std::filesystem::remove(entry.path());
        for (const auto& entry : std::filesystem::directory_iterator(root / "SNAP"))
            std::filesystem::copy_file(entry.path(), root / "ORIG" / entry.path().filename());
    };
    std::filesystem::create_directories(root / "SNAP");
    for (const auto& entry : std::filesystem::directory_iterator(root / "ORIG"))
        std::filesystem::copy_file(entry.path(), root / "SNAP" / entry.path().filename());

    const long steps = test_support::sweepKills(
        {platform::FaultPlan::kEveryChange, "ORIG", 3000, 5}, restore,
        [&] {
            bk::deleteTaxpayers("C:\\ORIG", {kAna, kCaio});
        },
        [&](long step, bool ended) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            // Opened as the next run opens them: a decided change is finished.
            for (int n = 1; n <= 17; ++n)
                static_cast<void>(store::Table::open("C:\\ORIG\\IRM" + std::to_string(n) + ".DBF",
                                                     store::OpenMode::Shared));
            const auto rows = liveRows("ORIG");
            const auto ana = rowsOfCpf(rows, kAna);
            const auto caio = rowsOfCpf(rows, kCaio);
            EXPECT_TRUE(ana.empty() || ana == whole(2)) << ::testing::PrintToString(ana);
            EXPECT_TRUE(caio.empty() || caio == whole(3)) << ::testing::PrintToString(caio);
            EXPECT_EQ(ana.empty(), caio.empty()) << "half of one deletion";
            EXPECT_EQ(rowsOfCpf(rows, kBeto), whole(1));
            if (!ended) {
                EXPECT_TRUE(ana.empty());
            }
        });
    EXPECT_GT(steps, 10);
}

// ---- Through the screens ----------------------------------------------------

// ELIMINA run on the headless console with `script`; the register's marks
// are its own: another workstation marked Beto for printing.
std::string runElimina(const std::string& script) {
    ui::testing::UiSession session(script);
    common::installScreenMessages();
    std::string failure;
    const int stop = ui::testing::runUntilScriptEnds(
        [&] {
            base::session().set("OPCAO_1", 14);
            bk::ELIMINA();
        },
        &failure);
    common::removeScreenMessages();
    return stop == -1 ? "" : failure.empty() ? "the script ran out" : failure;
}

TEST_F(DeletionTest, TheListMarksInItsOwnCopyAndOnlyTheConfirmedTaxpayerGoes) {
    setRegisterMark(kBeto, "S");
    const std::string failure = runElimina(
        "expect Marque com a letra\n"
        "expect Elimina\n"
        "type S\n"  // Ana, the first in CPF order
        "key Enter\n"
        "key Esc\n"
        "key Esc\n"
        "expect Confirma a Exclusão\n"
        "key Left\n"  // the question opens on "Não"
        "key Enter\n");
    ASSERT_EQ(failure, "");
    const auto rows = liveRows("ORIG");
    EXPECT_TRUE(rowsOfCpf(rows, kAna).empty());
    EXPECT_EQ(rowsOfCpf(rows, kBeto), whole(1)) << "marked elsewhere, deleted here";
    EXPECT_EQ(rowsOfCpf(rows, kCaio), whole(3));
    EXPECT_EQ(registerMark(kBeto), "S") << "another workstation's mark was cleared";
    EXPECT_TRUE(platform::listFiles("C:\\TRAB\\TMPE9*").empty());
}

TEST_F(DeletionTest, EnterAtTheQuestionKeepsEveryone) {
    const auto before = liveRows("ORIG");
    const std::string failure = runElimina(
        "type S\n"
        "key Enter\n"
        "key Esc\n"
        "key Esc\n"
        "expect Confirma a Exclusão\n"
        "key Enter\n");
    ASSERT_EQ(failure, "");
    EXPECT_EQ(liveRows("ORIG"), before);
}

}  // namespace
}  // namespace kdx2::backup_test
