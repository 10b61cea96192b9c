// The previous program's folder converted into a data folder: new taxpayers,
// updates that keep what this program alone holds, and the source folder
// left exactly as it was.

#include <gtest/gtest.h>

#include "import_fixture.h"
#include "importing/importing.h"
#include "importing/previous_program.h"
#include "importing/synthetic_files.h"
#include "importing/synthetic_tables.h"

namespace kdx2::import_test {
namespace {

using namespace test_import;
using importing::FileOutcome;
using Result = FileOutcome::Result;

class PreviousProgramImport : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        cpf = personCpf(70);
        rural = personCpf(71);
        writePreviousProgram(
            root / "VELHO", kTaxYear,
            {{2,
              {{{"CPF", cpf},
                {"I1_1", "J"},
                {"I1_2", "FABRICA"},
                {"I1_3", "11222333000181"},
                {"I1_401", "999.00"}}}},
             {3,
              {{{"CPF", cpf},
                {"NOMEDEPEN", "FILHA"},
                {"CODIDEPEN", "21"},
                {"DATADEPEN", "20100101"},
                {"NRODEPEN", "1"}},
               {{"CPF", cpf},
                {"NOMEDEPEN", "EX-DEPENDENTE"},
                {"CODIDEPEN", "100"},
                {"NRODEPEN", "2"}}}},
             {6,
              {{{"CPF", cpf},
                {"I6_1", "CLINICA"},
                {"I6_2", "11.222.333/0001-81"},
                {"I6_3", "10"},
                {"I6_4", "500.00"},
                {"I6_6", "0"}},
               {{"CPF", cpf}, {"I6_1", "NAO VEM"}, {"I6_3", "16"}}}},
             {9,
              {{{"CPF", cpf},
                {"NOMECONTR", "ANTONIO VELHO"},
                {"ENDERECO", "RUA NOVA"},
                {"NUMERO", "5"},
                {"UF", "MG"},
                {"NASCIMENTO", "19600101"},
                {"CGCPAGADOR", "11.222.333/0001-81"},
                {"TEMRURAL", "N"},
                {"CODACESSO", "001234567890"}},
               {{"CPF", rural}, {"NOMECONTR", "BEATRIZ RURAL"}, {"TEMRURAL", "S"}}}},
             {16,
              {{{"CPF", rural},
                {"I2R_01", "FAZENDA"},
                {"I2R_02", "12.50"},
                {"I2R_03", "12345678"},
                {"I2R_07", "3"}},
               {{"CPF", cpf}, {"I2R_01", "NAO TEM RURAL"}}}}});
        source = importing::readPreviousProgram("C:\\VELHO", kTaxYear);
    }

    FileOutcome convert(const std::string& who, bool convertedBefore) {
        EXPECT_TRUE(importing::openConversionTables());
        const FileOutcome outcome =
            importing::convertPreviousTaxpayer(source, who, convertedBefore);
        store::workAreas().closeAll();
        return outcome;
    }

    // A taxpayer this program already has: register, a company payer with
    // monthly amounts, a payment, assets and debts, a dependant and a
    // rural property.
    void alreadyHere() {
        auto add = [&](int table, const std::map<std::string, base::Value>& fields) {
            ASSERT_TRUE(store::ABERTURA(table));
            store::Table& t = store::workAreas().area(table);
            ASSERT_TRUE(t.append());
            t.put("CPF", base::Value(cpf));
            for (const auto& [name, value] : fields)
                t.put(name, value);
            t.unlock();
        };
        add(9, {{"NOMECONTR", base::Value("ANTONIO DE HOJE")},
                {"NASCIMENTO", base::Value(*base::Date::fromYmd(1961, 2, 2))},
                {"CGCPAGADOR", base::Value("99.888.777/0001-66")},
                {"ENDERECO", base::Value("RUA ANTIGA")}});
        add(2, {{"I1_1", base::Value("J")},
                {"I1_3", base::Value("11222333000181")},
                {"I1_401", base::Value(100.0)},
                {"I1_402", base::Value(50.25)},
                {"I1_501", base::Value(10.0)}});
        add(6, {{"I6_1", base::Value("DENTISTA")}, {"I6_3", base::Value(10)}});
        add(4, {{"I7_2", base::Value("APARTAMENTO")}, {"I7_4", base::Value(300000.0)}});
        add(5, {{"I8_2", base::Value("FINANCIAMENTO")}, {"I8_4", base::Value(1000.0)}});
        add(3, {{"NOMEDEPEN", base::Value("FILHO ANTIGO")}});
        add(15, {{"I2_01", base::Value("SITIO ANTIGO")}});
        store::workAreas().closeAll();
    }

    std::string cpf, rural;
    importing::PreviousProgram source;
};

TEST_F(PreviousProgramImport, ANewTaxpayerGetsItsIdentificationPayersDependantsAndPayments) {
    ASSERT_EQ(convert(cpf, false).result, Result::Converted);
    const Row reg = rows("DADOS/IRM9.DBF").at(0);
    EXPECT_EQ(reg.at("NOMECONTR"), "ANTONIO VELHO");
    EXPECT_EQ(reg.at("NASCIMENTO"), "1960-01-01");
    EXPECT_EQ(reg.at("CODACESSO"), "1234567890");
    EXPECT_EQ(reg.at("ESTATUS"), "1");
    EXPECT_EQ(reg.at("ORDEM"), "1");
    EXPECT_EQ(reg.at("TEMRURAL"), "N");

    const std::vector<Row> payers = rows("DADOS/IRM2.DBF");
    ASSERT_EQ(payers.size(), 1u);
    EXPECT_EQ(payers[0].at("I1_2"), "FABRICA");
    EXPECT_EQ(payers[0].at("I1_401"), "");  // no amounts
    const std::vector<Row> dependants = rows("DADOS/IRM3.DBF");
    ASSERT_EQ(dependants.size(), 1u);  // relation 100 stays behind
    EXPECT_EQ(dependants[0].at("DATADEPEN"), "2010-01-01");
    const std::vector<Row> payments = rows("DADOS/IRM6.DBF");
    ASSERT_EQ(payments.size(), 1u);  // code 16 stays behind
    EXPECT_EQ(payments[0].at("I6_1"), "CLINICA");
    // Without rural activity its properties are not brought.
    EXPECT_TRUE(rows("DADOS/IRM15.DBF").empty());

    ASSERT_EQ(convert(rural, false).result, Result::Converted);
    const std::vector<Row> properties = rows("DADOS/IRM15.DBF");
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_EQ(properties[0].at("I2_01"), "FAZENDA");
    EXPECT_EQ(properties[0].at("I2_02"), "12.5");
    EXPECT_EQ(properties[0].at("I2_03"), "12345678");
    EXPECT_EQ(properties[0].at("I2_07"), "3");
}

TEST_F(PreviousProgramImport, AnUpdateKeepsAssetsDebtsPaymentsNameAndBirth) {
    alreadyHere();
    ASSERT_EQ(convert(cpf, false).result, Result::Converted);
    const Row reg = rows("DADOS/IRM9.DBF").at(0);
    EXPECT_EQ(reg.at("NOMECONTR"), "ANTONIO DE HOJE");
    EXPECT_EQ(reg.at("NASCIMENTO"), "1961-02-02");
    EXPECT_EQ(reg.at("CGCPAGADOR"), "99.888.777/0001-66");
    EXPECT_EQ(reg.at("ENDERECO"), "RUA NOVA");
    EXPECT_EQ(reg.at("UF"), "MG");
    EXPECT_EQ(reg.at("ORDEM"), "1");

    const std::vector<Row> payers = rows("DADOS/IRM2.DBF");
    ASSERT_EQ(payers.size(), 1u);
    EXPECT_EQ(payers[0].at("I1_3"), "11.222.333/0001-81");
    EXPECT_EQ(payers[0].at("CDCONTA"), "2100");
    EXPECT_EQ(payers[0].at("TIPOCR"), "C");
    EXPECT_EQ(payers[0].at("I1_413"), "150.25");
    EXPECT_EQ(payers[0].at("I1_513"), "10.0");
    // Dependants replaced by the source's (all of them on an update).
    const std::vector<Row> dependants = rows("DADOS/IRM3.DBF");
    ASSERT_EQ(dependants.size(), 2u);
    EXPECT_EQ(dependants[0].at("NOMEDEPEN"), "FILHA");
    // Payments, assets and debts are this program's own.
    EXPECT_EQ(rows("DADOS/IRM6.DBF").at(0).at("I6_1"), "DENTISTA");
    EXPECT_EQ(rows("DADOS/IRM4.DBF").at(0).at("I7_2"), "APARTAMENTO");
    EXPECT_EQ(rows("DADOS/IRM5.DBF").at(0).at("I8_2"), "FINANCIAMENTO");
    // No rural activity in the source: its properties stay.
    EXPECT_EQ(rows("DADOS/IRM15.DBF").at(0).at("I2_01"), "SITIO ANTIGO");
}

TEST_F(PreviousProgramImport, ConvertedBeforeIsOnlyCounted) {
    alreadyHere();
    ASSERT_TRUE(importing::openConversionTables());  // creates the tables still missing
    store::workAreas().closeAll();
    const auto before = snapshot("DADOS");
    EXPECT_EQ(convert(cpf, true).result, Result::Existing);
    EXPECT_EQ(changed(before, snapshot("DADOS")), std::vector<std::string>{});
}

TEST_F(PreviousProgramImport, TheSourceFolderStaysByteForByteAsItWas) {
    const auto before = snapshot("VELHO");
    alreadyHere();
    ASSERT_EQ(convert(cpf, false).result, Result::Converted);
    ASSERT_EQ(convert(rural, false).result, Result::Converted);
    source = importing::readPreviousProgram("C:\\VELHO", kTaxYear);
    EXPECT_EQ(changed(before, snapshot("VELHO")),
              std::vector<std::string>{});  // no file changed, none added
}

TEST_F(PreviousProgramImport, MissingOrDamagedSourceTablesStopBeforeWriting) {
    std::filesystem::remove(root / "VELHO" / "IMP0725.DBF");
    EXPECT_TRUE(importing::VEJA_ARQ(19, "C:\\VELHO", "IMP", "25"));
    ASSERT_FALSE(messages.windows.empty());
    EXPECT_EQ(base::cp850::toUtf8(messages.windows.back().text.lines().at(0)),
              "Não encontrado o Arquivo IMP0725.DBF");
    EXPECT_FALSE(importing::VEJA_ARQ(6, "C:\\VELHO", "IMP", "25"));
    // Tables of this program are numbered without a leading zero.
    for (int n = 1; n <= 3; ++n)
        std::ofstream(root / "DADOS" / ("IRM" + std::to_string(n) + ".DBF")) << "x";
    EXPECT_FALSE(importing::VEJA_ARQ(3, "C:\\DADOS", "IRM", ""));

    std::filesystem::resize_file(root / "VELHO" / "IMP0925.DBF", 100);
    EXPECT_THROW(importing::readPreviousProgram("C:\\VELHO", kTaxYear), base::Error);
}

}  // namespace
}  // namespace kdx2::import_test
