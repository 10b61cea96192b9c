// Structure repair of tables written by older releases, on real files: the
// rebuilt table keeps its live records, gains the new field, loses deleted
// records, gets its indexes rebuilt, and is never rebuilt under a peer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/cp850.h"
#include "base/text.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/repair.h"
#include "store_fixture.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Date;
using base::Type;
using base::Value;
using store::OpenMode;
using store::Table;
using store::workAreas;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_store::runPython;

namespace {

class RepairTest : public testing_store::StoreTest {
  protected:
    // IRM14 as an older release wrote it: every field but NROIMO, three
    // records of which the second is deleted, indexed on CPF.
    void writeOldIrm14() {
        store::Structure old = *store::tableLayout(14);
        ASSERT_EQ(old.back().name, "NROIMO");
        old.pop_back();
        Table::create("C:\\DADOS\\IRM14", old);
        auto t = Table::open("C:\\DADOS\\IRM14", OpenMode::Exclusive);
        const char* cpfs[] = {"33333333333", "22222222222", "11111111111"};
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(t->append());
            t->put("CPF", Value(cpfs[i]));
            t->put("DESCONTA", Value("Aluguel sala ção "_cp + std::to_string(i)));
            t->put("VALODESP", Value(1000.5 + i));
            t->put("LANCADO", Value(i != 0));
            t->put("DATALAN", Value(*Date::fromYmd(2024, 3, 10 + i)));
            t->put("NUM_DOC", Value("DOC" + std::to_string(i)));
            if (i == 1) t->deleteRecord();
        }
        t->createIndex("C:\\DADOS\\IRM14", "CPF");
    }
    std::string checksum(const std::string& relative) {
        return testing_store::runCommand("md5sum < " + host(relative));
    }
};

TEST_F(RepairTest, AnOldCashBookTableGainsItsNewestFieldAndKeepsItsRecords) {
    writeOldIrm14();
    ASSERT_TRUE(store::CORRECAO());
    EXPECT_THAT(fb.statuses, ElementsAre("Atualizando o banco de dados C:\\DADOS\\IRM14", ""));
    EXPECT_EQ(workAreas().table(14), nullptr);  // closed again after the check

    auto t = Table::open("C:\\DADOS\\IRM14", OpenMode::Shared);
    EXPECT_EQ(t->structure(), *store::tableLayout(14));
    ASSERT_EQ(t->recCount(), 2u);  // the deleted record is gone
    t->goTo(1);
    EXPECT_EQ(t->get("CPF").text(), "33333333333");
    EXPECT_EQ(base::rtrim(t->get("DESCONTA").text()), "Aluguel sala ção 0"_cp);
    EXPECT_DOUBLE_EQ(t->get("VALODESP").number(), 1000.5);
    EXPECT_FALSE(t->get("LANCADO").logical());
    EXPECT_DOUBLE_EQ(t->get("NROIMO").number(), 0);
    t->goTo(2);
    EXPECT_EQ(t->get("CPF").text(), "11111111111");
    EXPECT_EQ(t->get("DATALAN").date(), *Date::fromYmd(2024, 3, 12));
    EXPECT_EQ(base::rtrim(t->get("NUM_DOC").text()), "DOC2");
    EXPECT_TRUE(t->get("LANCADO").logical());

    // The index was rebuilt for the new record numbers.
    t->openIndex("C:\\DADOS\\IRM14");
    ASSERT_TRUE(t->seek(Value("11111111111")));
    EXPECT_EQ(t->recNo(), 2u);
    EXPECT_FALSE(t->seek(Value("22222222222")));
    t->close();
    // Nothing was left beside the table.
    const auto files = platform::listFiles("C:\\DADOS\\IRM14.*");
    EXPECT_THAT(files, testing::UnorderedElementsAre("IRM14.DBF", "IRM14.cdx"));

    // An independent reader sees the new structure.
    const std::string out = runPython(
        "import dbfread\n"
        "t = dbfread.DBF('" +
        host("DADOS/IRM14.DBF") +
        "', encoding='cp850')\n"
        "print(t.field_names[-1], len(list(t)))\n");
    EXPECT_EQ(out, "NROIMO 2\n");

    // A second check finds the table current and leaves it alone.
    const std::string before = checksum("DADOS/IRM14.DBF");
    fb.statuses.clear();
    ASSERT_TRUE(store::CORRECAO());
    EXPECT_TRUE(fb.statuses.empty());
    EXPECT_EQ(checksum("DADOS/IRM14.DBF"), before);
}

TEST_F(RepairTest, ATableOpenElsewhereIsNotRebuiltAndTheFolderIsRefused) {
    writeOldIrm14();
    const std::string before = checksum("DADOS/IRM14.DBF");
    testing_store::Peer other({root.string(), "DADOS\\IRM14", "record", "1"});
    ASSERT_EQ(other.readLine(), "ready");
    EXPECT_FALSE(store::CORRECAO());
    ASSERT_EQ(fb.alerts.size(), 1u);
    EXPECT_THAT(fb.alerts[0], HasSubstr("aberta em outra estação"_cp));
    EXPECT_EQ(checksum("DADOS/IRM14.DBF"), before);
    EXPECT_TRUE(platform::fileExists("C:\\DADOS\\IRM14.cdx"));
    other.release();
    EXPECT_EQ(other.wait(), 0);
    // With the peer gone the repair goes through.
    EXPECT_TRUE(store::CORRECAO());
    EXPECT_TRUE(Table::open("C:\\DADOS\\IRM14", OpenMode::Shared)->hasField("NROIMO"));
}

TEST_F(RepairTest, CorrigeReopensTheTableInItsAreaAndTellsWhetherItRebuilt) {
    writeOldIrm14();
    ASSERT_TRUE(store::ABREARQ(14, false, "C:\\DADOS\\IRM14", "CPF"));
    EXPECT_TRUE(store::CORRIGE("14"));
    Table& t = workAreas().area(14);
    EXPECT_TRUE(t.hasField("NROIMO"));
    EXPECT_FALSE(t.exclusive());
    EXPECT_EQ(t.indexCount(), 1);
    EXPECT_TRUE(t.seek(Value("33333333333")));
    EXPECT_FALSE(store::CORRIGE("14"));
    // Tables without a checked field always count as current.
    ASSERT_TRUE(store::ABREARQ(3, false, "C:\\DADOS\\IRM3", "CPF"));
    EXPECT_FALSE(store::CORRIGE("3"));
    EXPECT_FALSE(store::CORRIGE("52"));
}

TEST_F(RepairTest, AFieldOfAChangedTypeStartsEmpty) {
    // IRM9 of an old release, where NOVO was numeric.
    store::Structure old = *store::tableLayout(9);
    old.back() = {"NOVO", Type::Numeric, 1, 0};
    Table::create("C:\\DADOS\\IRM9", old);
    {
        auto t = Table::open("C:\\DADOS\\IRM9", OpenMode::Exclusive);
        ASSERT_TRUE(t->append());
        t->put("CPF", Value("12345678909"));
        t->put("NOMECONTR", Value("Maria"));
        t->put("NOVO", Value(7.0));
    }
    ASSERT_TRUE(store::CORRECAO());
    auto t = Table::open("C:\\DADOS\\IRM9", OpenMode::Shared);
    t->goTop();
    EXPECT_EQ(t->get("NOVO"), Value(" "));
    EXPECT_EQ(base::rtrim(t->get("NOMECONTR").text()), "Maria");
    t->openIndex("C:\\DADOS\\IRM9B");
    t->setOrder("IRM9B");
    EXPECT_TRUE(t->seek(Value("MARIA")));
}

TEST_F(RepairTest, ClosingGroupsOfAreas) {
    for (int n : {1, 9, 17})
        ASSERT_TRUE(store::ABERTURA(n));
    for (int n : {21, 37}) {
        ASSERT_TRUE(store::CRIA(std::to_string(n), "C:\\DADOS\\TMP_" + std::to_string(n)));
        workAreas().select(n);
        ASSERT_TRUE(store::NETUSE("C:\\DADOS\\TMP_" + std::to_string(n), true, 1));
    }
    store::FECHA_PROV();
    EXPECT_EQ(workAreas().table(21), nullptr);
    EXPECT_EQ(workAreas().table(37), nullptr);
    EXPECT_NE(workAreas().table(1), nullptr);
    store::FECHA_TODO();
    EXPECT_EQ(workAreas().table(1), nullptr);
    EXPECT_EQ(workAreas().table(17), nullptr);
    EXPECT_NE(workAreas().table(9), nullptr);  // the registry stays open
}

}  // namespace
