// Transfers of taxpayers between two data folders through real tables,
// read back by an independent DBF reader; one run driven through the
// screens by a key script.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "common/screen_messages.h"
#include "selection_fixture.h"
#include "shell/selection/internal.h"
#include "shell/selection/selection.h"
#include "store/catalog.h"
#include "store/journal.h"
#include "store/verify.h"
#include "support/fault_sweep.h"
#include "support/independent_readers.h"
#include "ui/ui_session.h"

namespace kdx2::selection_test {
namespace {

namespace sel = shell::selection;

const std::string kAna = validCpf("111444777");
const std::string kBeto = validCpf("222555888");
const std::string kCaio = validCpf("333666999");

class TransferTest : public SelectionTest {
  protected:
    void SetUp() override {
        SelectionTest::SetUp();
        addTaxpayer("C:\\ORIG\\", kAna, "ANA", {"Loja A", "Loja B"});
        addTaxpayer("C:\\ORIG\\", kBeto, "BETO", {"Origem"});
        addTaxpayer("C:\\DEST\\", kBeto, "BETO", {"Destino 1", "Destino 2", "Destino 3"});
    }

    sel::TransferRequest request(bool move, bool overwrite) const {
        sel::TransferRequest r;
        r.origin = "C:\\ORIG";
        r.destination = "C:\\DEST";
        r.move = move;
        r.overwrite = overwrite;
        return r;
    }
};

// Every table of the taxpayer (17 but 9 for the data rows, and the register).
std::map<int, int> whole(int incomes) {
    return {{1, 1}, {2, incomes}, {9, 1}, {17, 1}};
}

TEST_F(TransferTest, MoveSkippingExistingCpfsKeepsTheSkippedTaxpayerWholeInTheOrigin) {
    const auto report = sel::transferTaxpayers(request(true, false));
    ASSERT_TRUE(report.opened);
    EXPECT_EQ(report.copied, std::vector<std::string>{kAna});
    EXPECT_EQ(report.skipped, std::vector<std::string>{kBeto});
    EXPECT_TRUE(report.failed.empty());

    const auto origin = liveRows("ORIG");
    const auto destination = liveRows("DEST");
    EXPECT_TRUE(rowsOfCpf(origin, kAna).empty()) << "moved taxpayer left rows in the origin";
    EXPECT_EQ(rowsOfCpf(origin, kBeto), whole(1));
    EXPECT_EQ(rowsOfCpf(destination, kAna), whole(2));
    EXPECT_EQ(rowsOfCpf(destination, kBeto), whole(3));
    EXPECT_EQ(fieldOf("DEST", 2, kBeto, "I1_2"),
              (std::vector<std::string>{"Destino 1", "Destino 2", "Destino 3"}));
    EXPECT_EQ(fieldOf("DEST", 17, kAna, "NOM_BANCO"), std::vector<std::string>{"Banco de ANA"});
}

TEST_F(TransferTest, CopyOverwritingReplacesTheDestinationRowsAndKeepsTheOrigin) {
    const auto report = sel::transferTaxpayers(request(false, true));
    ASSERT_TRUE(report.opened);
    EXPECT_EQ(report.copied, (std::vector<std::string>{kAna, kBeto}));
    EXPECT_EQ(report.lastCopied, kBeto);

    EXPECT_EQ(fieldOf("DEST", 2, kBeto, "I1_2"), std::vector<std::string>{"Origem"});
    EXPECT_EQ(rowsOfCpf(liveRows("DEST"), kBeto), whole(1));
    const auto origin = liveRows("ORIG");
    EXPECT_EQ(rowsOfCpf(origin, kAna), whole(2));
    EXPECT_EQ(rowsOfCpf(origin, kBeto), whole(1));

    // The destination's indexes follow: its register finds the copied CPF.
    base::session().set("LOCARQ", "C:\\DEST\\");
    ASSERT_TRUE(store::ABERTURA(9));
    EXPECT_TRUE(store::workAreas().area(9).seek(base::Value(kAna)));
    ASSERT_TRUE(store::ABERTURA(2));
    int found = 0;
    store::workAreas().area(2).forEachKey(base::Value(kBeto), [&](store::Table&) {
        ++found;
        return true;
    });
    EXPECT_EQ(found, 1);
}

TEST_F(TransferTest, PartialTransferTakesOnlyTheChosenTaxpayers) {
    addTaxpayer("C:\\ORIG\\", kCaio, "CAIO", {"Feira"});
    auto r = request(true, true);
    r.partial = true;
    r.chosen = {kCaio};
    const auto report = sel::transferTaxpayers(r);
    EXPECT_EQ(report.copied, std::vector<std::string>{kCaio});
    const auto origin = liveRows("ORIG");
    EXPECT_EQ(rowsOfCpf(origin, kAna), whole(2));
    EXPECT_TRUE(rowsOfCpf(origin, kCaio).empty());
    EXPECT_EQ(rowsOfCpf(liveRows("DEST"), kCaio), whole(1));
}

TEST_F(TransferTest, ATableInUseElsewhereStopsTheTransferBeforeAnythingChanges) {
    const auto originBefore = liveRows("ORIG");
    const auto destinationBefore = liveRows("DEST");
    TableHolder peer(root, "DEST\\IRM17.DBF");
    ASSERT_TRUE(peer.ready());

    const auto report = sel::transferTaxpayers(request(true, true));
    EXPECT_FALSE(report.opened);
    EXPECT_TRUE(report.copied.empty());
    peer.release();
    EXPECT_EQ(liveRows("ORIG"), originBefore);
    EXPECT_EQ(liveRows("DEST"), destinationBefore);
    EXPECT_FALSE(feedback.alerts.empty());
}

TEST_F(TransferTest, AFailedCopyLeavesTheTaxpayerWholeInTheOriginAndUntouchedInTheDestination) {
    // A destination income table whose amount column is too narrow for
    // Ana's amounts: her copy fails on the second table, after the first.
    addTaxpayer("C:\\ORIG\\", kCaio, "CAIO", {"Grande"}, 123456.78);
    store::Structure narrow = *store::tableLayout(2);
    for (store::FieldDef& f : narrow)
        if (f.name == "I1_413") f.width = 7;
    platform::removeFile("C:\\DEST\\IRM2.DBF");
    platform::removeFile("C:\\DEST\\IRM2.cdx");
    store::Table::create("C:\\DEST\\IRM2.DBF", narrow);
    const auto destinationBefore = liveRows("DEST");

    const auto report = sel::transferTaxpayers(request(true, false));
    ASSERT_TRUE(report.opened);
    EXPECT_EQ(report.failed, std::vector<std::string>{kCaio});
    EXPECT_EQ(report.copied, std::vector<std::string>{kAna});

    EXPECT_EQ(rowsOfCpf(liveRows("ORIG"), kCaio), whole(1)) << "the failed move lost data";
    const auto destination = liveRows("DEST");
    EXPECT_TRUE(rowsOfCpf(destination, kCaio).empty()) << "half a copy stayed behind";
    EXPECT_EQ(rowsOfCpf(destination, kAna), whole(2));
    EXPECT_EQ(rowsOfCpf(destination, kBeto), rowsOfCpf(destinationBefore, kBeto));
}

TEST_F(TransferTest, FazappReplacesOneTablesRowsOfTheCurrentCpf) {
    ASSERT_TRUE(sel::transferTaxpayers(request(false, true)).opened);  // both folders alike
    base::session().set("CPF", kBeto);
    shell::selection::detail::openYearTable(2, "C:\\ORIG", 2, true);
    ASSERT_TRUE(shell::selection::detail::openYearTable(22, "C:\\DEST", 2, true, "DESTIN2"));
    EXPECT_TRUE(sel::FAZAPP(2));
    EXPECT_FALSE(sel::FAZAPP(9)) << "the register is not a data table";
    store::workAreas().closeAll();
    EXPECT_EQ(fieldOf("DEST", 2, kBeto, "I1_2"), std::vector<std::string>{"Origem"});
}

// The payers (I1_2) of a CPF in a folder's IRM2, read through an ordinary
// shared open, which first finishes whatever a stopped run decided.
std::vector<std::string> payersIn(const std::string& folder, const std::string& cpf) {
    std::vector<std::string> payers;
    auto table = store::Table::open("C:\\" + folder + "\\IRM2.DBF", store::OpenMode::Shared);
    table->forEach([&](store::Table& row) {
        if (row.get("CPF").text() == cpf) payers.push_back(base::alltrim(row.get("I1_2").text()));
        return true;
    });
    std::sort(payers.begin(), payers.end());
    return payers;
}

// A move overwriting the destination, cut short at each step: each
// taxpayer is whole and in one version in the destination, and never lost
// from both folders; opened as the program opens them, both folders are
// whole for the integrity check and for other programs.
class InterruptedTransferTest : public TransferTest {
  protected:
    void SetUp() override {
        TransferTest::SetUp();
        for (const char* folder : {"ORIG", "DEST"}) {
            std::filesystem::create_directories(root / "pristine" / folder);
            std::filesystem::copy(root / folder, root / "pristine" / folder);
        }
    }
    void restore() {
        store::workAreas().closeAll();
        for (const char* folder : {"ORIG", "DEST"}) {
            std::filesystem::remove_all(root / folder);
            std::filesystem::copy(root / "pristine" / folder, root / folder);
        }
        feedback.alerts.clear();
    }
    // True when Beto, who was in both folders, has his new rows in the
    // destination; `thorough` adds the independent readers and the check.
    bool expectEachTaxpayerWholeAndOnce(bool thorough) {
        const std::vector<std::string> anaRows{"Loja A", "Loja B"};
        const std::vector<std::string> betoOld{"Destino 1", "Destino 2", "Destino 3"};
        const std::vector<std::string> betoNew{"Origem"};
        const auto betoThere = payersIn("DEST", kBeto);
        EXPECT_TRUE(betoThere == betoOld || betoThere == betoNew)
            << ::testing::PrintToString(betoThere);
        if (payersIn("ORIG", kBeto).empty()) {
            EXPECT_EQ(betoThere, betoNew) << "Beto lost";
        }
        const auto anaThere = payersIn("DEST", kAna);
        const auto anaHere = payersIn("ORIG", kAna);
        EXPECT_TRUE(anaThere.empty() || anaThere == anaRows);
        EXPECT_TRUE(anaHere.empty() || anaHere == anaRows);
        EXPECT_FALSE(anaThere.empty() && anaHere.empty()) << "Ana lost";
        if (thorough) {
            // Opened as the program opens them (a missing index is built),
            // the tables are whole again.
            for (const char* folder : {"DEST", "ORIG"}) {
                base::session().set("LOCARQ", "C:\\" + std::string(folder) + "\\");
                for (int n = 1; n <= 17; ++n) {
                    EXPECT_TRUE(store::ABERTURA(n)) << folder << n;
                }
                store::workAreas().closeAll();
            }
            for (const char* folder : {"DEST", "ORIG"}) {
                std::ostringstream report;
                EXPECT_EQ(store::verifyFolder(host(folder), report), 0) << report.str();
                const auto income = test_support::readTables(root / folder, {"IRM2"})["IRM2"];
                EXPECT_EQ(income.error, "");
                EXPECT_TRUE(test_support::indexAgrees(root / folder / "IRM2.cdx", "IRM2", income));
            }
            const auto beto = rowsOfCpf(liveRows("DEST"), kBeto);
            EXPECT_TRUE(beto == whole(1) || beto == whole(3)) << ::testing::PrintToString(beto);
        }
        return betoThere == betoNew;
    }
};

TEST_F(InterruptedTransferTest, KilledAtEveryStepAMoveOverwritingLeavesEachTaxpayerWholeAndOnce) {
    const long steps = test_support::sweepKills(
        {platform::FaultPlan::kEveryChange, "", 5000, 11}, [&] { restore(); },
        [&] { sel::transferTaxpayers(request(true, true)); },
        [&](long step, bool ended) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            // Now and then, and at the end, as others see the folders.
            const bool moved = expectEachTaxpayerWholeAndOnce(step % 3 == 1 || !ended);
            if (!ended) {
                EXPECT_TRUE(moved);
                EXPECT_TRUE(payersIn("ORIG", kAna).empty());
            }
        });
    EXPECT_GT(steps, 20);
}

// The same move meeting a full disk, an I/O error or a read-only disk at
// each step (once, or for good): what the report says matches the folders,
// and a failure is told.
TEST_F(InterruptedTransferTest, FailingAtAnyStepAMoveOverwritingLeavesEachTaxpayerWholeAndOnce) {
    for (const test_support::InjectedError& injected : test_support::injectedErrors()) {
        SCOPED_TRACE(test_support::describe(injected));
        sel::TransferReport report;
        test_support::sweepErrors(
            {platform::FaultPlan::kEveryChange, "", 5000, 97}, injected.error, injected.sticky,
            [&] { restore(); },
            [&] {
                report = sel::transferTaxpayers(request(true, true));
                return report.opened && report.failed.empty() && report.notRemoved.empty();
            },
            [&](long step, bool reached, bool ok) {
                SCOPED_TRACE("failing at step " + std::to_string(step));
                const bool moved = expectEachTaxpayerWholeAndOnce(true);
                const bool reportedCopied = std::find(report.copied.begin(), report.copied.end(),
                                                      kBeto) != report.copied.end();
                EXPECT_EQ(moved, reportedCopied) << "the report says otherwise";
                if (!ok) {
                    EXPECT_FALSE(feedback.alerts.empty()) << "failed without a word";
                }
                if (!reached) {
                    EXPECT_TRUE(ok && moved);
                }
            });
    }
}

// ---- Through the screens ----------------------------------------------------

TEST_F(TransferTest, TotalMoveWithNaoSaltaOCpfThroughTheScreens) {
    ui::testing::UiSession session(
        "type C:\\DEST\n"
        "key Enter\n"
        "expect PARCIAL - Copia alguns selecionados\n"
        "key Right\n"
        "key Enter\n"  // Total
        "expect MOVER - Copia e APAGA o original\n"
        "key Right\n"
        "key Enter\n"  // Mover
        "expect Não - Salta o CPF\n"
        "key Right\n"
        "key Enter\n");  // Não
    common::installScreenMessages();
    session.console();
    bool transferred = false;
    std::string failure;
    const int stop = ui::testing::runUntilScriptEnds(
        [&] {
            base::session().set("OPCAO_1", 22);
            // The origin is the data folder: the first field comes filled.
            ui::pushKey(platform::keys::Enter);
            transferred = sel::TRANOME(1);
        },
        &failure);
    common::removeScreenMessages();
    ASSERT_EQ(stop, -1) << failure;
    EXPECT_TRUE(transferred);

    const auto origin = liveRows("ORIG");
    EXPECT_TRUE(rowsOfCpf(origin, kAna).empty());
    EXPECT_EQ(rowsOfCpf(origin, kBeto), whole(1));
    EXPECT_EQ(rowsOfCpf(liveRows("DEST"), kAna), whole(2));
    EXPECT_EQ(base::alltrim(base::session().text("DESTINO")), "C:\\DEST");
    // Both folders are registered; the data folder stays the origin.
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\ORIG\\");
    const auto folders = registeredFolders(root);
    EXPECT_NE(std::find(folders.begin(), folders.end(), "N C:\\DEST"), folders.end());
    EXPECT_NE(std::find(folders.begin(), folders.end(), "N C:\\ORIG"), folders.end());
}

// F1 on a folder field lists the registered folders; the one chosen is
// checked as if typed.
TEST_F(TransferTest, TheDestinationComesFromTheRegisteredFoldersOnF1) {
    ASSERT_TRUE(store::ABERTURA(store::tables::kFolderList));
    store::Table& list = store::workAreas().area(store::tables::kFolderList);
    ASSERT_TRUE(list.append());
    list.put("DIRETOR", base::Value("C:\\DEST"));
    list.put("SELEC", base::Value("N"));
    list.unlock();
    ui::testing::UiSession session(
        "key F1\n"
        "expect Nome dos diretórios\n"
        "type C:\\DE\n"
        "key Enter\n"  // chosen in the list
        "key Enter\n"  // and the field left
        "expect PARCIAL - Copia alguns selecionados\n"
        "key Esc\n");
    common::installScreenMessages();
    std::string failure;
    ui::testing::runUntilScriptEnds(
        [&] {
            ui::pushKey(platform::keys::Enter);
            (void)sel::TRANOME(1);
        },
        &failure);
    common::removeScreenMessages();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(base::alltrim(base::session().text("DESTINO")), "C:\\DEST");
}

TEST_F(TransferTest, PartialCopyMarksInItsOwnCopyOfTheRegister) {
    // The workspace's register scratch copy, which F4 brings back, must
    // survive a partial transfer.
    ASSERT_TRUE(store::CRIA("29", "C:\\TRAB\\TMP_903.DBF"));
    const auto scratchBefore = runCommand("md5sum " + host("TRAB/TMP_903.DBF"));
    ui::testing::UiSession session(
        "type C:\\DEST\n"
        "key Enter\n"
        "key Enter\n"  // Parcial
        "key Enter\n"  // Copiar
        "expect Marque com a letra\n"
        "key Down\n"
        "type S\n"
        "key Esc\n"
        "expect Sim - Sobrepõe os dados\n"
        "key Left\n"     // the question opens on "Não"
        "key Enter\n");  // Sim
    common::installScreenMessages();
    std::string failure;
    const int stop = ui::testing::runUntilScriptEnds(
        [&] {
            base::session().set("OPCAO_1", 22);
            ui::pushKey(platform::keys::Enter);
            sel::TRANOME(1);
        },
        &failure);
    common::removeScreenMessages();
    ASSERT_EQ(stop, -1) << failure;

    EXPECT_EQ(fieldOf("DEST", 2, kBeto, "I1_2"), std::vector<std::string>{"Origem"});
    EXPECT_TRUE(rowsOfCpf(liveRows("DEST"), kAna).empty()) << "an unmarked taxpayer was copied";
    EXPECT_EQ(rowsOfCpf(liveRows("ORIG"), kBeto), whole(1));
    EXPECT_EQ(runCommand("md5sum " + host("TRAB/TMP_903.DBF")), scratchBefore);
    EXPECT_TRUE(platform::listFiles("C:\\TRAB\\TMPT9*").empty());
}

}  // namespace
}  // namespace kdx2::selection_test
