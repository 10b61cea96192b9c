// Damaged files: opening them gives a Portuguese message and leaves them as
// they were; the folder check reports each kind of damage and changes nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "base/cp850.h"
#include "base/error.h"
#include "store/access.h"
#include "store/dbf.h"
#include "store/verify.h"
#include "store_fixture.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Value;
using store::OpenMode;
using store::Table;
using store::workAreas;
using testing::HasSubstr;

namespace {

class Damage : public testing_store::StoreTest {
  protected:
    // Year tables 1 ... 6 with a few taxpayers each, closed.
    void fillYearTables() {
        for (int n = 1; n <= 6; ++n) {
            ASSERT_TRUE(store::ABERTURA(n));
            Table& t = workAreas().area(n);
            for (int i = 0; i < 5; ++i) {
                ASSERT_TRUE(store::ADD_REC(1));
                t.put("CPF", Value(std::to_string(90000000000LL + (i * 7919) % 5)));
                t.unlock();
            }
            workAreas().close(n);
        }
    }
    void poke(const std::string& relative, uint64_t offset, const std::string& bytes) {
        platform::File f = platform::openFile("C:\\" + relative, platform::File::Mode::ReadWrite);
        f.writeAt(offset, bytes.data(), bytes.size());
    }
    void poke16(const std::string& relative, uint64_t offset, uint16_t value) {
        poke(relative, offset, std::string{char(value & 0xFF), char(value >> 8)});
    }
    void poke32(const std::string& relative, uint64_t offset, uint32_t value) {
        poke(relative, offset,
             std::string{char(value & 0xFF), char((value >> 8) & 0xFF), char((value >> 16) & 0xFF),
                         char(value >> 24)});
    }
    std::string folderChecksum() {
        return testing_store::runCommand("cd " + host("DADOS") + " && md5sum * | sort");
    }
    std::string verify(const std::string& folder, int* result) {
        std::ostringstream out;
        *result = store::verifyFolder(folder, out);
        return out.str();
    }
};

TEST_F(Damage, DamagedTablesAreRefusedWithAMessageAndLeftAsTheyWere) {
    fillYearTables();
    poke16("DADOS\\IRM1.DBF", 8, 40);       // header length that cannot be
    poke32("DADOS\\IRM2.DBF", 4, 5000);     // more records than the file holds
    poke16("DADOS\\IRM3.DBF", 10, 7);       // record length not the fields' sum
    poke("DADOS\\IRM4.DBF", 32 + 11, "X");  // unknown field type
    {
        platform::File f =
            platform::openFile("C:\\DADOS\\IRM5.DBF", platform::File::Mode::ReadWrite);
        f.truncate(100);  // cut inside the descriptors
    }
    const std::string before = folderChecksum();
    const std::vector<std::pair<int, std::string>> cases = {{1, "tamanho do cabeçalho"},
                                                            {2, "arquivo truncado"},
                                                            {3, "tamanho do registro"},
                                                            {4, "tipo desconhecido"},
                                                            {5, "cabeçalho"}};
    for (const auto& [n, detail] : cases) {
        SCOPED_TRACE(n);
        const std::string path = "C:\\DADOS\\IRM" + std::to_string(n) + ".DBF";
        try {
            static_cast<void>(Table::open(path, OpenMode::Shared));
            ADD_FAILURE() << "a damaged table opened";
        } catch (const base::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr("O arquivo "_cp + path + " está danificado"_cp));
            EXPECT_THAT(e.what(), HasSubstr(base::cp850::fromUtf8(detail)));
        }
        fb.alerts.clear();
        EXPECT_FALSE(store::ABERTURA(n));
        ASSERT_EQ(fb.alerts.size(), 1u);
        EXPECT_THAT(fb.alerts[0], HasSubstr("danificado"));
        EXPECT_EQ(workAreas().table(n), nullptr);
    }
    EXPECT_EQ(folderChecksum(), before);
}

TEST_F(Damage, ADamagedIndexStopsTheOpenUntilTheIndexesAreRebuilt) {
    fillYearTables();
    {
        platform::File f =
            platform::openFile("C:\\DADOS\\IRM2.cdx", platform::File::Mode::ReadWrite);
        f.truncate(600);
    }
    const std::string before = folderChecksum();
    EXPECT_FALSE(store::ABERTURA(2));
    ASSERT_EQ(fb.alerts.size(), 1u);
    EXPECT_THAT(fb.alerts[0], HasSubstr("C:\\DADOS\\IRM2.cdx"));
    EXPECT_THAT(fb.alerts[0], HasSubstr("danificado"));
    EXPECT_EQ(workAreas().table(2), nullptr);
    EXPECT_EQ(folderChecksum(), before);
    // The reindex command's flag rebuilds it from the table.
    base::session().set("REFAZ_IND", true);
    ASSERT_TRUE(store::ABERTURA(2));
    EXPECT_TRUE(workAreas().area(2).seek(Value("90000000003")));
}

TEST_F(Damage, ASoundFolderPassesTheCheck) {
    fillYearTables();
    ASSERT_TRUE(store::ABERTURA(9));  // two index files, one on an expression
    Table& t = workAreas().area(9);
    ASSERT_TRUE(store::ADD_REC(1));
    t.put("CPF", Value("12345678909"));
    t.put("NOMECONTR", Value("joão"_cp));
    t.deleteRecord();  // deleted records stay in the indexes
    t.unlock();
    workAreas().closeAll();
    const std::string before = folderChecksum();
    int result = -1;
    const std::string report = verify("C:\\DADOS", &result);
    EXPECT_EQ(result, 0) << report;
    EXPECT_THAT(report, HasSubstr("IRM2.DBF: ok, 5 registros."));
    EXPECT_THAT(report, HasSubstr("IRM9.DBF: ok, 1 registro (1 apagado)."));
    EXPECT_THAT(report, HasSubstr("IRM9B.cdx (ordem IRM9B): ok, 1 chave."));
    EXPECT_THAT(report, HasSubstr("IRM3.cdx (ordem IRM3): ok, 5 chaves."));
    EXPECT_THAT(report, testing::EndsWith("Nenhum problema encontrado.\n"));
    // A host folder is accepted as well.
    EXPECT_THAT(verify(host("DADOS"), &result), HasSubstr("Nenhum problema encontrado."));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folderChecksum(), before);
}

TEST_F(Damage, TheCheckReportsEachDamageAndChangesNothing) {
    fillYearTables();
    const store::dbf::Layout irm5 = [&] {
        platform::File f =
            platform::openFile("C:\\DADOS\\IRM5.DBF", platform::File::Mode::ReadOnly);
        return store::dbf::readLayout(f);
    }();
    poke16("DADOS\\IRM1.DBF", 8, 40);
    poke32("DADOS\\IRM2.DBF", 4, 5000);
    poke32("DADOS\\IRM3.DBF", 4, 3);                 // two records not counted
    poke("DADOS\\IRM4.DBF", 32 + 32 * 10 + 2, "#");  // first record's flag byte
    poke("DADOS\\IRM5.DBF", irm5.recordOffset(2) + 1,
         "11111111111");  // key changed behind the index
    {
        platform::File f =
            platform::openFile("C:\\DADOS\\IRM6.cdx", platform::File::Mode::ReadWrite);
        f.truncate(700);
    }
    const std::string before = folderChecksum();
    int result = -1;
    const std::string report = base::cp850::fromUtf8(verify("C:\\DADOS", &result));
    EXPECT_EQ(result, 1) << report;
    EXPECT_THAT(
        report,
        HasSubstr(
            "IRM1.DBF: O arquivo C:\\DADOS\\IRM1.DBF está danificado: o tamanho do cabeçalho (40)"_cp));
    EXPECT_THAT(
        report,
        HasSubstr(
            "IRM2.DBF: O arquivo C:\\DADOS\\IRM2.DBF está danificado: o cabeçalho indica 5000 registros"_cp));
    EXPECT_THAT(report,
                HasSubstr("IRM3.DBF: o cabeçalho indica 3 registros, mas o arquivo tem"_cp));
    EXPECT_THAT(report, HasSubstr("(cerca de 2 registros não contados)"_cp));
    EXPECT_THAT(
        report,
        HasSubstr("IRM4.DBF: 1 registro tem a marca de apagado inválida (o primeiro é o 1)"_cp));
    EXPECT_THAT(
        report,
        HasSubstr(
            "IRM5.cdx (ordem IRM5): o índice não confere com a tabela: 1 registro falta no índice (registro 2 chave \"11111111111\")"_cp));
    EXPECT_THAT(report, HasSubstr("1 chave não corresponde ao registro que apontam"_cp));
    // Index entries of the records the header no longer counts.
    EXPECT_THAT(report,
                HasSubstr("IRM3.cdx (ordem IRM3): o índice não confere com a tabela: 2 chaves"_cp));
    EXPECT_THAT(report, HasSubstr("IRM6.cdx: O índice C:\\DADOS\\IRM6.cdx"_cp));
    // Tables whose header could not be read still have their index files
    // checked for structure.
    EXPECT_THAT(report, HasSubstr("IRM1.cdx: estrutura ok"));
    EXPECT_THAT(report, testing::EndsWith("problemas encontrados.\n"));
    EXPECT_EQ(folderChecksum(), before);

    std::ostringstream missing;
    EXPECT_EQ(store::verifyFolder("C:\\NAOHA", missing), 1);
    EXPECT_THAT(missing.str(), HasSubstr("a pasta não existe."));
}

}  // namespace
