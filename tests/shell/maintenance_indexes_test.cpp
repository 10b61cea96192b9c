// The index rebuild of a folder, at exit and for every registered folder,
// and the year-end emptying of a data folder: real tables in a temporary
// drive, a peer process holding tables open, the indexes read back by
// index_dump and the tables by python3-dbfread.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "selection_fixture.h"
#include "shell/exit.h"
#include "shell/maintenance/maintenance.h"
#include "shell/selection/selection.h"
#include "store/supplied.h"
#include "store/table.h"
#include "store/verify.h"
#include "support/fault_sweep.h"
#include "support/independent_readers.h"

namespace kdx2::selection_test {
namespace {

namespace mnt = shell::maintenance;
using common::box::kInformation;

const std::string kAna = validCpf("111444777");
const std::string kBeto = validCpf("222555888");
const std::string kCaio = validCpf("333666999");

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class IndexTest : public SelectionTest {
  protected:
    void SetUp() override {
        SelectionTest::SetUp();
        addTaxpayer("C:\\ORIG\\", kBeto, "beto", {"Feira", "Loja"});
        addTaxpayer("C:\\ORIG\\", kAna, "Ana", {"Banca"});
        addTaxpayer("C:\\ORIG\\", kCaio, "CAIO", {});
    }

    // Keys and record numbers of a tag, in index order, as index_dump lists
    // them. The file is found as the program finds it, without regard to case.
    std::vector<std::string> dump(std::string cdx, const std::string& tag) const {
        std::replace(cdx.begin(), cdx.end(), '/', '\\');
        const std::string out = runCommand("index_dump --type=char " +
                                           platform::hostPath("C:\\" + cdx) + " " + tag + " 2>&1");
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            if (!base::alltrim(line).empty()) lines.push_back(base::alltrim(line));
        return lines;
    }

    // The CPFs (or names) of a table's live rows, each with its record
    // number, sorted as the index orders them, read by python3-dbfread.
    std::vector<std::string> expectedKeys(const std::string& table, const std::string& field,
                                          bool upper = false) const {
        const std::string file = host("keys.py");
        std::ofstream(file) << "import dbfread\n"
                               "rows = []\n"
                               "for n, r in enumerate(dbfread.DBF('"
                            << host(table) << "', encoding='cp850', load=True), 1):\n"
                            << "    rows.append((r['" << field << "']" << (upper ? ".upper()" : "")
                            << ", n))\n"
                               "for k, n in sorted(rows):\n"
                               "    print(k, n)\n";
        std::vector<std::string> lines;
        std::istringstream in(runCommand("/usr/bin/python3 " + file + " 2>&1"));
        for (std::string line; std::getline(in, line);)
            if (!base::alltrim(line).empty()) lines.push_back(line);
        return lines;
    }

    // Appends a row behind the store's back, as a copy from another machine
    // would: the table gains a record its index does not know.
    void appendWithoutIndex(const std::string& table, const std::string& key,
                            const std::string& field = "cpf") {
        const std::string file = host("append.py");
        std::ofstream(file) << "import dbf\n"
                               "t = dbf.Table('"
                            << host(table)
                            << "', codepage='cp850')\n"
                               "t.open(dbf.READ_WRITE)\n"
                               "t.append({'"
                            << field << "': '" << key
                            << "'})\n"
                               "t.close()\n";
        runCommand("/usr/bin/python3 " + file + " 2>&1");
    }

    std::map<std::string, std::string> indexFiles(const std::string& folder) const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(root / folder))
            if (base::asciiUpper(entry.path().extension().string()) == ".CDX")
                files[entry.path().filename().string()] = fileBytes(entry.path());
        return files;
    }

    void exitProgram() {
        base::session().set("OPCAO_1", 16);
        base::session().set("CPF", kAna);
        EXPECT_THROW(shell::ROTSAIDA(16), shell::ProgramEnd);
    }
};

// index_dump prints the key, then the record number; the python listing
// the same two, so only the spacing differs.
std::vector<std::string> squeezed(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        std::istringstream in(line);
        std::string word, joined;
        std::vector<std::string> words;
        while (in >> word)
            words.push_back(word);
        if (words.size() == 1) line = "#" + words[0];  // a blank key
        if (words.size() >= 2) {
            // key words, then the record number last
            for (size_t i = 0; i + 1 < words.size(); ++i)
                joined += (i ? " " : "") + words[i];
            line = joined + " #" + words.back();
        }
    }
    return lines;
}

TEST_F(IndexTest, RebuiltIndexesAreCompleteAndAgreeWithTheirTables) {
    appendWithoutIndex("ORIG/IRM2.DBF", kCaio);
    appendWithoutIndex("ORIG/IRM9.DBF", validCpf("444777000"));
    ASSERT_EQ(dump("ORIG/IRM2.cdx", "IRM2").size(), 3u) << "the stray row is not indexed yet";
    std::filesystem::resize_file(root / "ORIG" / "IRM17.cdx", 700);  // a damaged index

    EXPECT_EQ(mnt::REORG("C:\\ORIG"), mnt::ReorgResult::Rebuilt);

    EXPECT_EQ(squeezed(dump("ORIG/IRM2.cdx", "IRM2")),
              squeezed(expectedKeys("ORIG/IRM2.DBF", "CPF")));
    EXPECT_EQ(squeezed(dump("ORIG/IRM9.cdx", "IRM9")),
              squeezed(expectedKeys("ORIG/IRM9.DBF", "CPF")));
    EXPECT_EQ(squeezed(dump("ORIG/IRM9B.cdx", "IRM9B")),
              squeezed(expectedKeys("ORIG/IRM9.DBF", "NOMECONTR", true)));
    EXPECT_EQ(dump("ORIG/IRM2.cdx", "IRM2").size(), 4u);
    EXPECT_EQ(squeezed(dump("ORIG/IRM17.cdx", "IRM17")),
              squeezed(expectedKeys("ORIG/IRM17.DBF", "CPF")));
    // Every year table has its index again, even one that was missing.
    for (int n = 1; n <= 17; ++n)
        EXPECT_TRUE(std::filesystem::exists(root / "ORIG" / ("IRM" + std::to_string(n) + ".cdx")))
            << n;
    EXPECT_TRUE(feedback.alerts.empty());
}

TEST_F(IndexTest, FolderWithoutIndexFilesIsLeftAlone) {
    for (const auto& [name, bytes] : indexFiles("ORIG"))
        std::filesystem::remove(root / "ORIG" / name);
    std::filesystem::remove(root / "ORIG" / "IRM12.DBF");
    const std::string before = fileBytes(root / "ORIG" / "IRM2.DBF");

    EXPECT_EQ(mnt::REORG("C:\\ORIG\\"), mnt::ReorgResult::NoIndexes);

    EXPECT_TRUE(indexFiles("ORIG").empty());
    EXPECT_FALSE(std::filesystem::exists(root / "ORIG" / "IRM12.DBF"));
    EXPECT_EQ(fileBytes(root / "ORIG" / "IRM2.DBF"), before);
}

TEST_F(IndexTest, FolderInUseElsewhereKeepsItsIndexes) {
    appendWithoutIndex("ORIG/IRM2.DBF", kCaio);
    const auto before = indexFiles("ORIG");
    TableHolder peer(root, "ORIG\\IRM5.DBF");
    ASSERT_TRUE(peer.ready());

    EXPECT_EQ(mnt::REORG("C:\\ORIG"), mnt::ReorgResult::InUse);

    EXPECT_EQ(indexFiles("ORIG"), before);
    EXPECT_TRUE(feedback.alerts.empty()) << "skipped without a word";
}

TEST_F(IndexTest, TerminateRebuildsTheDataFolderOnlyWhenNobodyElseUsesIt) {
    appendWithoutIndex("ORIG/IRM2.DBF", kCaio);
    {
        TableHolder peer(root, "ORIG\\IRM9.DBF");
        ASSERT_TRUE(peer.ready());
        const auto before = indexFiles("ORIG");
        exitProgram();
        EXPECT_EQ(indexFiles("ORIG"), before);
    }
    exitProgram();
    EXPECT_EQ(dump("ORIG/IRM2.cdx", "IRM2").size(), 4u);
    EXPECT_EQ(squeezed(dump("ORIG/IRM2.cdx", "IRM2")),
              squeezed(expectedKeys("ORIG/IRM2.DBF", "CPF")));
}

TEST_F(IndexTest, LeavingWithAnotherCommandSkipsTheRebuild) {
    appendWithoutIndex("ORIG/IRM2.DBF", kCaio);
    base::session().set("OPCAO_1", 31);
    EXPECT_THROW(shell::ROTSAIDA(16), shell::ProgramEnd);
    EXPECT_EQ(dump("ORIG/IRM2.cdx", "IRM2").size(), 3u);
}

TEST_F(IndexTest, ReindexKeepsEveryScratchTableAndOtherTerminalsIndexes) {
    // This terminal is 03; the scratch copies live in the work folder.
    for (const char* name : {"TMP_203.DBF", "TMP_203.cdx", "TMP_205.DBF", "TMP_205.cdx"})
        std::ofstream(root / "TRAB" / name) << "x";
    appendWithoutIndex("ORIG/IRM2.DBF", kCaio);
    store::buildMissingSuppliedTables("C:\\");
    const size_t rates = expectedKeys("UFIRM.DBF", "ANOMES").size();
    appendWithoutIndex("UFIRM.DBF", "209912", "anomes");
    shell::selection::registerFolder("C:\\ORIG");
    store::workAreas().closeAll();
    // The folder list is still read when its own index is damaged.
    std::filesystem::resize_file(root / "DIRET03.cdx", 100);
    messages.answers = {1};

    mnt::REINDEXA();

    EXPECT_TRUE(std::filesystem::exists(root / "TRAB" / "TMP_203.DBF"));
    EXPECT_FALSE(std::filesystem::exists(root / "TRAB" / "TMP_203.cdx"));
    EXPECT_TRUE(std::filesystem::exists(root / "TRAB" / "TMP_205.DBF"));
    EXPECT_TRUE(std::filesystem::exists(root / "TRAB" / "TMP_205.cdx"));
    EXPECT_EQ(dump("ORIG/IRM2.cdx", "IRM2").size(), 4u);
    // Shared tables and the data folder's register are open again.
    EXPECT_NE(store::workAreas().table(9), nullptr);
    EXPECT_NE(store::workAreas().table(50), nullptr);
    EXPECT_EQ(base::session().text("LOCARQ"), "C:\\ORIG\\");
    // The install folder's shared tables are indexed afresh too.
    const auto rateKeys = expectedKeys("UFIRM.DBF", "ANOMES");
    EXPECT_EQ(squeezed(dump("UFIRM.cdx", "UFIRM")), squeezed(rateKeys));
    EXPECT_NE(std::find(rateKeys.begin(), rateKeys.end(), "209912 " + std::to_string(rates + 1)),
              rateKeys.end());
}

// An index goes only when its table can be read, so it can be built again:
// a table whose header counts records its file does not hold keeps its index
// as it was, and the user is told which table could not be rebuilt.
TEST_F(IndexTest, AnIndexWhoseTableCannotBeReadIsKeptAsItWas) {
    const auto before = indexFiles("ORIG");
    {
        std::fstream table(root / "ORIG" / "IRM2.DBF",
                           std::ios::in | std::ios::out | std::ios::binary);
        table.seekp(4);
        const char count[4] = {char(0x40), 0, 0, 0};  // 64 records, three on disk
        table.write(count, 4);
    }
    EXPECT_EQ(mnt::REORG("C:\\ORIG"), mnt::ReorgResult::Failed);
    EXPECT_EQ(indexFiles("ORIG").at("IRM2.cdx"), before.at("IRM2.cdx"));
    ASSERT_FALSE(feedback.alerts.empty());
    EXPECT_NE(feedback.alerts.front().find("IRM2.DBF"), std::string::npos)
        << feedback.alerts.front();
}

// The rebuild of a folder killed before each of its steps, or failing at
// each with a full disk, an I/O error or a read-only disk (once, or for
// good): every table keeps its rows; each index file either agrees with its
// table or is missing, and the next opening of the tables builds the missing
// ones; the integrity check then finds nothing wrong. A failure is never
// left unsaid.
class ReindexFaultTest : public IndexTest {
  protected:
    void SetUp() override {
        IndexTest::SetUp();
        pristine = root / "pristine";
        std::filesystem::create_directories(pristine);
        std::filesystem::copy(root / "ORIG", pristine);
        before = test_support::readTables(root / "ORIG", {"IRM2", "IRM9"});
    }
    void restore() {
        store::workAreas().closeAll();
        std::filesystem::remove_all(root / "ORIG");
        std::filesystem::copy(pristine, root / "ORIG");
        feedback.alerts.clear();
    }
    // An index that disagreed with its table would still disagree after the
    // tables are opened: only missing ones are built then.
    void expectFolderWhole() {
        // Opened as the program opens them, the tables build what is missing.
        base::session().set("LOCARQ", "C:\\ORIG\\");
        for (int n = 1; n <= 17; ++n) {
            EXPECT_TRUE(store::ABERTURA(n)) << n;
        }
        store::workAreas().closeAll();
        const auto after = test_support::readTables(root / "ORIG", {"IRM2", "IRM9"});
        for (const std::string name : {"IRM2", "IRM9"}) {
            EXPECT_EQ(after.at(name).error, "") << name;
            auto was = before.at(name).live, is = after.at(name).live;
            std::sort(was.begin(), was.end());
            std::sort(is.begin(), is.end());
            EXPECT_EQ(is, was) << name;
            EXPECT_TRUE(
                test_support::indexAgrees(root / "ORIG" / (name + ".cdx"), name, after.at(name)));
        }
        std::ostringstream report;
        EXPECT_EQ(store::verifyFolder("C:\\ORIG", report), 0) << report.str();
    }
    std::filesystem::path pristine;
    std::map<std::string, test_support::ReadTable> before;
};

TEST_F(ReindexFaultTest, KilledBeforeAnyStepEveryTableKeepsItsRows) {
    const long steps = test_support::sweepKills(
        {platform::FaultPlan::kEveryChange, "", 5000, 29}, [&] { restore(); },
        [] { mnt::REORG("C:\\ORIG"); },
        [&](long step, bool) {
            SCOPED_TRACE("killed before step " + std::to_string(step));
            expectFolderWhole();
        });
    EXPECT_GT(steps, 100);
}

TEST_F(ReindexFaultTest, FailingAtAnyStepEveryTableKeepsItsRowsAndTheUserIsTold) {
    for (const test_support::InjectedError& injected : test_support::injectedErrors()) {
        SCOPED_TRACE(test_support::describe(injected));
        mnt::ReorgResult result = mnt::ReorgResult::Rebuilt;
        test_support::sweepErrors(
            {platform::FaultPlan::kEveryChange, "", 5000, 89}, injected.error, injected.sticky,
            [&] { restore(); },
            [&] {
                result = mnt::REORG("C:\\ORIG");
                return result == mnt::ReorgResult::Rebuilt;
            },
            [&](long step, bool, bool) {
                SCOPED_TRACE("failing at step " + std::to_string(step));
                if (result == mnt::ReorgResult::Failed) {
                    EXPECT_FALSE(feedback.alerts.empty()) << "failed without a word";
                }
                expectFolderWhole();
            });
    }
}

// ---- Year end ----------------------------------------------------------------

class YearEndTest : public IndexTest {
  protected:
    void SetUp() override {
        IndexTest::SetUp();
        setReceipts();
    }
    void setReceipts() {
        auto reg = store::Table::open("C:\\ORIG\\IRM9.DBF", store::OpenMode::Exclusive);
        reg->goTop();
        while (!reg->eof()) {
            reg->put("RECIBOATU", base::Value("123456789012"));
            reg->skip();
        }
        reg->close();
    }
    std::map<std::string, std::string> folderFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(root / "ORIG"))
            files[entry.path().filename().string()] = fileBytes(entry.path());
        return files;
    }
    std::string lastBoxText() const {
        if (messages.boxes.empty()) return "";
        std::string text;
        for (const std::string& line : messages.boxes.back().lines)
            text += base::cp850::toUtf8(line);
        return text;
    }
};

TEST_F(YearEndTest, SecondQuestionAnsweredNoTouchesNothing) {
    const auto before = folderFiles();
    messages.answers = {1, 2};
    mnt::FECHA_ANO();
    EXPECT_EQ(lastBoxText(), " Operação cancelada!");
    EXPECT_EQ(folderFiles(), before);
}

TEST_F(YearEndTest, BothQuestionsOpenOnNaoSoOneEnterKeepsTheData) {
    messages.answers = {1, 2};
    mnt::FECHA_ANO();
    ASSERT_GE(messages.boxes.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const common::MessageBoxRequest& box = messages.boxes[i];
        ASSERT_EQ(box.buttons.size(), 2u);
        EXPECT_EQ(box.defaultButton, 2) << "question " << i + 1;
        EXPECT_EQ(base::cp850::toUtf8(box.buttons[1]), "Não");
    }
}

TEST_F(YearEndTest, FirstQuestionAnsweredNoEndsAtOnce) {
    const auto before = folderFiles();
    messages.answers = {2};
    mnt::FECHA_ANO();
    EXPECT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(folderFiles(), before);
}

TEST_F(YearEndTest, EmptiesTheYearsFiguresAndKeepsEveryTaxpayer) {
    messages.answers = {1, 1};
    mnt::FECHA_ANO();
    EXPECT_EQ(lastBoxText(), "Arquivos zerados!");
    for (int n : {2, 4, 5, 6, 7, 8, 10, 16}) {
        EXPECT_FALSE(std::filesystem::exists(root / "ORIG" / ("IRM" + std::to_string(n) + ".DBF")));
        EXPECT_FALSE(std::filesystem::exists(root / "ORIG" / ("IRM" + std::to_string(n) + ".cdx")));
    }
    store::workAreas().closeAll();
    for (const std::string& cpf : {kAna, kBeto, kCaio}) {
        EXPECT_EQ(fieldOf("ORIG", 9, cpf, "RECIBOATU"), (std::vector<std::string>{""})) << cpf;
        EXPECT_EQ(fieldOf("ORIG", 17, cpf, "CPF").size(), 1u) << "bank accounts stay";
        EXPECT_EQ(fieldOf("ORIG", 1, cpf, "CPF").size(), 1u);
    }
    // The emptied tables come back empty at their next opening.
    ASSERT_TRUE(store::ABERTURA(2));
    EXPECT_EQ(store::workAreas().area(2).recCount(), 0u);
}

TEST_F(YearEndTest, TableInUseElsewhereStopsBeforeAnythingIsDeleted) {
    const auto before = folderFiles();
    TableHolder peer(root, "ORIG\\IRM7.DBF");
    ASSERT_TRUE(peer.ready());
    messages.answers = {1, 1};
    mnt::FECHA_ANO();
    EXPECT_NE(lastBoxText().find("IRM7"), std::string::npos) << lastBoxText();
    store::workAreas().closeAll();
    EXPECT_EQ(folderFiles(), before);
}

}  // namespace
}  // namespace kdx2::selection_test
