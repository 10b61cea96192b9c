// Shared access through real files and real processes: opening by table
// number with the missing files and indexes created, the open retries, and
// record, table and append locks contended by another process.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "base/cp850.h"
#include "base/text.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store_fixture.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Type;
using base::Value;
using store::OpenMode;
using store::Table;
using store::workAreas;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_store::Peer;

namespace {

const std::string kFailed = "ATENÇAO! Registro não ficou disponível. Dado não será gravado."_cp;

class AccessTest : public testing_store::StoreTest {
  protected:
    // A small table in the data folder with `rows` records and an index on CPF.
    void makeTable(int rows, const std::string& name = "PEQ") {
        Table::create("C:\\DADOS\\" + name,
                      {{"CPF", Type::Character, 20, 0}, {"NOME", Type::Character, 10, 0}});
        auto t = Table::open("C:\\DADOS\\" + name, OpenMode::Exclusive);
        for (int i = 1; i <= rows; ++i) {
            ASSERT_TRUE(t->append());
            t->put("CPF", Value("R" + std::to_string(i)));
        }
        t->createIndex("C:\\DADOS\\" + name, "CPF");
    }
    bool openShared(const std::string& name = "PEQ") {
        return store::ABREARQ(1, false, "C:\\DADOS\\" + name, "CPF");
    }
    Peer peer(const std::vector<std::string>& args) {
        std::vector<std::string> all{root.string()};
        all.insert(all.end(), args.begin(), args.end());
        return Peer(all);
    }
};

// ---- Opening by table number ----

TEST_F(AccessTest, YearTablesAreCreatedWithTheirIndexesInTheDataFolder) {
    base::session().set("MOS_MENS", true);  // ABERTURA switches the messages off
    for (int n = 1; n <= 17; ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(store::ABERTURA(n));
        Table& t = workAreas().area(n);
        EXPECT_EQ(t.alias(), "IRM" + std::to_string(n));
        EXPECT_EQ(workAreas().table("IRM" + std::to_string(n)), &t);
        EXPECT_EQ(t.indexKeyExpression(1), "CPF");
        EXPECT_EQ(t.structure(), *store::tableLayout(n));
        EXPECT_FALSE(t.exclusive());
    }
    EXPECT_EQ(workAreas().area(9).indexCount(), 2);
    EXPECT_EQ(workAreas().area(9).indexKeyExpression(2), "upper(NOMECONTR)");
    EXPECT_TRUE(platform::fileExists("C:\\DADOS\\IRM9B.cdx"));
    // The tables know they have a production index (header byte 28).
    workAreas().closeAll();
    EXPECT_EQ(bytesOf("DADOS/IRM1.DBF")[28], 1);
    EXPECT_EQ(bytesOf("DADOS/IRM9.DBF")[28], 1);
    EXPECT_THAT(fb.messages, Contains("Criando banco das fontes pagadoras - IRM2"));
    EXPECT_THAT(fb.messages, testing::Not(Contains(HasSubstr("Verificando"))));
    // A number without a table opens nothing and succeeds.
    EXPECT_TRUE(store::ABERTURA(40));
    EXPECT_EQ(workAreas().table(40), nullptr);
}

TEST_F(AccessTest, OpeningMessagesNameTheFileAndTheIndexBuilt) {
    base::session().set("MOS_MENS", true);
    ASSERT_TRUE(store::ABREARQ(3, false, "irm3", "CPF"));  // relative to the current folder
    EXPECT_THAT(fb.messages,
                ElementsAre("Verificando o Arquivo IRM3", "Criando banco dos Dependentes - IRM3",
                            "Criando o indice irm3.cdx"));
    EXPECT_FALSE(fb.boxShown);
    EXPECT_TRUE(platform::fileExists("C:\\DADOS\\IRM3.cdx"));
}

TEST_F(AccessTest, OpeningMessagesCloseBeforeTheAlertOfAFailedOpen) {
    base::session().set("MOS_MENS", true);
    // No layout for slot 40 and no file: nothing to create, the open fails.
    EXPECT_FALSE(store::ABREARQ(40, false, "C:\\DADOS\\NADA", "CPF"));
    EXPECT_THAT(fb.alerts, ElementsAre("Arquivo C:\\DADOS\\NADA não existe!"_cp));
    // A table whose header is damaged fails inside the open.
    std::ofstream(root / "DADOS" / "RUIM.DBF", std::ios::binary) << "not a table";
    EXPECT_FALSE(store::ABREARQ(1, false, "C:\\DADOS\\RUIM", "CPF"));
    EXPECT_EQ(fb.alerts.size(), 2u);
    EXPECT_FALSE(fb.boxShown);
    EXPECT_EQ(fb.alertsOverABox, 0);
}

TEST_F(AccessTest, AMissingIndexIsBuiltAfterAPackButASecondOneAlone) {
    ASSERT_TRUE(store::ABERTURA(9));
    Table& t = workAreas().area(9);
    for (const char* cpf : {"33333333333", "11111111111", "22222222222"}) {
        ASSERT_TRUE(store::ADD_REC(1));
        t.put("CPF", Value(cpf));
        t.put("NOMECONTR", Value(std::string("nome ") + cpf[0]));
        t.unlock();
    }
    t.goTop();
    ASSERT_TRUE(store::REC_LOCK());
    t.deleteRecord();  // 11111111111, record 2
    t.unlock();
    workAreas().close(9);

    // Second index missing: built alone; the deleted record stays in the file.
    platform::removeFile("C:\\DADOS\\IRM9B.cdx");
    ASSERT_TRUE(store::ABERTURA(9));
    EXPECT_EQ(workAreas().area(9).recCount(), 3u);
    EXPECT_TRUE(platform::fileExists("C:\\DADOS\\IRM9B.cdx"));
    workAreas().area(9).setOrder(2);
    workAreas().area(9).goTop();
    EXPECT_EQ(workAreas().area(9).get("CPF").text(), "22222222222");
    workAreas().close(9);

    // The table's own index missing: the table is packed first.
    platform::removeFile("C:\\DADOS\\IRM9.cdx");
    ASSERT_TRUE(store::ABERTURA(9));
    Table& packed = workAreas().area(9);
    EXPECT_EQ(packed.recCount(), 2u);
    EXPECT_TRUE(packed.seek(Value("33333333333")));
    EXPECT_EQ(packed.recNo(), 1u);
    // REFAZ_IND rebuilds both without packing.
    workAreas().close(9);
    base::session().set("REFAZ_IND", true);
    ASSERT_TRUE(store::ABERTURA(9));
    EXPECT_EQ(workAreas().area(9).indexCount(), 2);
}

TEST_F(AccessTest, StartUpPassOpensTheInstallTablesAndTheTerminalsFolderList) {
    base::session().set("ARQDEF", Value("C:\\KDX2\\"));
    platform::makeFolder("C:\\KDX2");
    // Without the supplied tables the start-up pass cannot succeed.
    EXPECT_FALSE(store::ABERTURA(0));
    EXPECT_THAT(fb.alerts, Contains(HasSubstr("CODEPEN")));
    // Stand-ins for the supplied reference tables, with their key fields.
    for (const auto& [name, key] :
         std::vector<std::pair<std::string, std::string>>{{"CODEPEN", "CODDEP"},
                                                          {"OCUPACAO", "CDPRO"},
                                                          {"UFIRM", "ANOMES"},
                                                          {"DESPESA", "CODDES"}})
        Table::create("C:\\KDX2\\" + name, {{key, Type::Character, 6, 0}});
    fb.alerts.clear();
    ASSERT_TRUE(store::ABERTURA(0)) << testing::PrintToString(fb.alerts);
    // The year tables of the data folder were checked (and so created).
    EXPECT_TRUE(platform::fileExists("C:\\DADOS\\IRM14.DBF"));
    EXPECT_TRUE(platform::fileExists("C:\\KDX2\\PRINTS.DBF"));
    EXPECT_EQ(workAreas().table(42), nullptr);  // opened only to check them
    Table& list = workAreas().area(50);
    EXPECT_EQ(list.alias(), "DIRET03");
    ASSERT_EQ(list.recCount(), 1u);
    list.goTop();
    EXPECT_EQ(base::rtrim(list.get("DIRETOR").text()), "C:\\KDX2");
    EXPECT_EQ(list.get("SELEC").text(), "S");
    EXPECT_FALSE(list.isRecordLocked(1));
    // Opening it again adds nothing.
    ASSERT_TRUE(store::ABERTURA(50));
    EXPECT_EQ(workAreas().area(50).recCount(), 1u);
    // RELNOME is opened exclusively.
    ASSERT_TRUE(store::ABERTURA(59));
    EXPECT_TRUE(workAreas().area(59).exclusive());
}

TEST_F(AccessTest, NetuseNamesMissingFilesAndUsesTheAlias) {
    workAreas().select(7);
    EXPECT_FALSE(store::NETUSE("C:\\DADOS\\NADA", false, 1));
    EXPECT_THAT(fb.alerts, ElementsAre("Arquivo C:\\DADOS\\NADA.DBF não existe!"_cp));
    makeTable(1);
    base::session().set("APELIDO", Value("OUTRO"));
    ASSERT_TRUE(store::NETUSE("C:\\DADOS\\PEQ", false, 1));
    EXPECT_EQ(workAreas().area(7).alias(), "OUTRO");
    Table* first = workAreas().table(7);
    ASSERT_TRUE(store::NETUSE("C:\\DADOS\\PEQ", true, 1));  // already there: not reopened
    EXPECT_EQ(workAreas().table(7), first);
    EXPECT_FALSE(first->exclusive());
}

TEST_F(AccessTest, NtxRemovesOnlyEmptyIndexFilesOfTheCurrentFolder) {
    for (const char* name : {"A.NTX", "b.ntx", "C.NTX", "D.DBF"})
        platform::createFile(std::string("C:\\DADOS\\") + name).close();
    platform::openFile("C:\\DADOS\\C.NTX", platform::File::Mode::ReadWrite).writeAt(0, "x", 1);
    EXPECT_EQ(store::NTX(), "");
    EXPECT_THAT(platform::listFiles("C:\\DADOS\\*.*"), ElementsAre("C.NTX", "D.DBF"));
}

// ---- Another workstation ----

TEST_F(AccessTest, AYearTableHeldExclusivelyElsewhereIsReportedAsNotOpened) {
    ASSERT_TRUE(store::ABERTURA(3));
    workAreas().close(3);
    Peer other = peer({"DADOS\\IRM3", "exclusive"});
    ASSERT_EQ(other.readLine(), "ready");
    base::session().set("MOS_MENS", true);
    EXPECT_FALSE(store::ABREARQ(3, false, "C:\\DADOS\\IRM3", "CPF"));
    EXPECT_EQ(fb.waits, 10);  // once a second for 10 seconds
    EXPECT_THAT(fb.alerts, ElementsAre("C:\\DADOS\\IRM3.DBF não está disponível "_cp));
    EXPECT_FALSE(fb.boxShown);
    EXPECT_EQ(fb.alertsOverABox, 0);
    EXPECT_EQ(workAreas().table(3), nullptr);
    other.release();
    EXPECT_EQ(other.wait(), 0);
    EXPECT_TRUE(store::ABERTURA(3));
}

TEST_F(AccessTest, RecordLocksOfAnotherCopy) {
    makeTable(3);
    Peer other = peer({"DADOS\\PEQ", "record", "2"});
    ASSERT_EQ(other.readLine(), "ready");
    ASSERT_TRUE(openShared());
    Table& t = workAreas().area(1);
    ASSERT_TRUE(t.seek(Value("R2")));

    // No wait: fails at once with the failure text.
    EXPECT_FALSE(store::REC_LOCK(0));
    EXPECT_EQ(fb.waits, 0);
    EXPECT_THAT(fb.statuses,
                ElementsAre("Aguardando registro ficar disponível no arquivo PEQ"_cp, kFailed));
    // A bounded wait retries every half second, cut short by Esc.
    fb.statuses.clear();
    EXPECT_FALSE(store::REC_LOCK(2));
    EXPECT_EQ(fb.waits, 4);
    fb.waits = 0;
    fb.escAfterWaits = 1;
    EXPECT_FALSE(store::REC_LOCK(30));
    EXPECT_EQ(fb.waits, 1);
    // Other records are free, and the table lock is not.
    t.skip();
    EXPECT_TRUE(store::REC_LOCK(0));
    t.unlock();
    fb.waits = 0;
    EXPECT_FALSE(store::FIL_LOCK(0));  // 0 waits until Esc
    EXPECT_EQ(fb.waits, 1);
    EXPECT_THAT(fb.statuses, Contains("Aguardando arquivo ficar disponível"_cp));

    // Once the other copy lets go (while we wait), the lock gets the record.
    fb.escAfterWaits = -1;
    fb.realWaits = true;
    fb.onWait = [&] { other.release(); };
    t.skip(-1);
    fb.statuses.clear();
    EXPECT_TRUE(store::REC_LOCK(10));
    fb.onWait = nullptr;
    ASSERT_FALSE(fb.statuses.empty());
    EXPECT_EQ(fb.statuses.back(), "");  // the status line is cleared
    EXPECT_EQ(other.wait(), 0);
}

TEST_F(AccessTest, TableLockOfAnotherCopyStopsLocksAndAppendsUntilReleased) {
    makeTable(2);
    Peer other = peer({"DADOS\\PEQ", "table"});
    ASSERT_EQ(other.readLine(), "ready");
    ASSERT_TRUE(openShared());
    Table& t = workAreas().area(1);
    EXPECT_FALSE(store::REC_LOCK(0));
    fb.escAfterWaits = 3;
    EXPECT_FALSE(store::ADD_REC(0));
    EXPECT_EQ(fb.waits, 3);
    EXPECT_THAT(fb.statuses, Contains("Aguardando registro ficar disponível"_cp));
    EXPECT_EQ(t.recCount(), 2u);  // nothing appended
    fb.waits = 0;
    EXPECT_FALSE(store::FIL_LOCK(5));
    other.release();
    EXPECT_EQ(other.wait(), 0);
    fb.escAfterWaits = -1;
    EXPECT_TRUE(store::FIL_LOCK(0));
    EXPECT_TRUE(t.hasTableLock());
    EXPECT_TRUE(store::ADD_REC(0));
    EXPECT_EQ(t.recNo(), 3u);
    t.unlock();
}

TEST_F(AccessTest, CopiesAppendingAtOnceGetDifferentRecordNumbers) {
    makeTable(0);
    constexpr int kEach = 300;
    Peer a = peer({"DADOS\\PEQ", "append", std::to_string(kEach), "DADOS\\PEQ"});
    Peer b = peer({"DADOS\\PEQ", "append", std::to_string(kEach), "DADOS\\PEQ"});
    ASSERT_EQ(a.readLine(), "ready");
    ASSERT_EQ(b.readLine(), "ready");
    a.send("go");
    b.send("go");
    std::set<uint32_t> numbers;
    for (Peer* p : {&a, &b})
        for (auto line = p->readLine(); line && !line->empty(); line = p->readLine())
            EXPECT_TRUE(numbers.insert(static_cast<uint32_t>(std::stoul(*line))).second) << *line;
    EXPECT_EQ(a.wait(), 0);
    EXPECT_EQ(b.wait(), 0);
    EXPECT_EQ(numbers.size(), 2u * kEach);
    EXPECT_EQ(*numbers.rbegin(), 2u * kEach);

    // Every record holds its own CPF, and the index lists each once in order.
    ASSERT_TRUE(openShared());
    Table& t = workAreas().area(1);
    EXPECT_EQ(t.recCount(), 2u * kEach);
    std::vector<std::string> keys;
    for (t.goTop(); !t.eof(); t.skip())
        keys.push_back(base::rtrim(t.get("CPF").text()));
    EXPECT_EQ(keys.size(), 2u * kEach);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size());
    EXPECT_EQ(std::count(keys.begin(), keys.end(), ""), 0);
}

}  // namespace

// On a local disk a copy reads records, the table's header and the index's
// change counter through views of the files. Another copy's appends, a few
// and then more than the view is remade for, are all seen with their keys,
// and an append here takes the number after theirs.
TEST_F(AccessTest, ACopyReadingThroughViewsSeesAnotherCopysAppends) {
    makeTable(3);
    ASSERT_TRUE(openShared());
    Table& t = workAreas().area(1);
    ASSERT_TRUE(t.seek(Value("R2")));
    uint32_t expected = 3;
    for (long count : {5L, 40000L}) {
        SCOPED_TRACE(count);
        Peer p = peer({"DADOS\\PEQ", "append", std::to_string(count), "DADOS\\PEQ"});
        ASSERT_EQ(p.readLine(), "ready");
        p.send("go");
        std::vector<uint32_t> numbers;
        for (auto line = p.readLine(); line && !line->empty(); line = p.readLine())
            numbers.push_back(static_cast<uint32_t>(std::stoul(*line)));
        ASSERT_EQ(p.wait(), 0);
        ASSERT_EQ(numbers.size(), static_cast<size_t>(count));
        expected += static_cast<uint32_t>(count);
        EXPECT_EQ(numbers.back(), expected);

        // The last record by number, then by its key through the index.
        t.goTo(numbers.back());
        const std::string cpf = base::rtrim(t.get("CPF").text());
        EXPECT_THAT(cpf, testing::EndsWith("-" + std::to_string(count - 1)));
        ASSERT_TRUE(t.seek(Value(cpf)));
        EXPECT_EQ(t.recNo(), numbers.back());
        ASSERT_TRUE(t.seek(Value("R2")));
    }
    uint32_t inOrder = 0;
    for (t.goTop(); !t.eof(); t.skip())
        ++inOrder;
    EXPECT_EQ(inOrder, expected);
    ASSERT_TRUE(store::ADD_REC(0));
    EXPECT_EQ(t.recNo(), expected + 1);
    t.put("CPF", Value("AQUI"));
    t.unlock();
    ASSERT_TRUE(t.seek(Value("AQUI")));
    EXPECT_EQ(t.recNo(), expected + 1);
}
