// Declarations and carnê-leão exports written into real year tables, read
// back by an independent reader; taxpayers written whole or not at all.

#include <gtest/gtest.h>

#include "import_fixture.h"
#include "importing/synthetic_files.h"
#include "store/table.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"

namespace kdx2::import_test {
namespace {

using namespace test_import;
using importing::FileOutcome;
using importing::ImportKind;
using Result = FileOutcome::Result;

std::vector<Row> rowsOf(const std::vector<Row>& all, const std::string& cpf) {
    std::vector<Row> mine;
    for (const Row& row : all)
        if (row.at("CPF") == cpf) mine.push_back(row);
    return mine;
}

class DeclarationImport : public ImportTest {};

TEST_F(DeclarationImport, WritesTheTaxpayerAndEveryRecord) {
    const DeclarationData data = fullDeclaration(1, kTaxYear, kTaxYear);
    const std::string cpf = data.person.cpf;
    writeInput("A.DEC", declarationFile(data));
    const FileOutcome outcome = convert(ImportKind::Declarations, cpf);
    ASSERT_EQ(outcome.result, Result::Converted) << utf8(outcome.message);
    EXPECT_TRUE(outcome.warnings.empty()) << utf8(outcome.warnings);

    const std::vector<Row> reg = rows("DADOS/IRM9.DBF");
    ASSERT_EQ(reg.size(), 1u);
    const Row& r = reg[0];
    EXPECT_EQ(r.at("CPF"), cpf);
    // Names as the program stores them: ã as ä, accented capitals plain.
    EXPECT_EQ(r.at("NOMECONTR"), "JOAO DA CONCEIÇAO 1");
    EXPECT_EQ(r.at("MUNICIPIO"), "SAO PAULO");
    EXPECT_EQ(r.at("DDDTEL"), "11");
    EXPECT_EQ(r.at("TELEFO"), "987654321");
    EXPECT_EQ(r.at("NASCIMENTO"), "1970-03-15");
    EXPECT_EQ(r.at("CDPRO"), "212");
    EXPECT_FALSE(r.at("OCUPACAO").empty());  // named from the occupation list
    EXPECT_FALSE(r.at("DESCRAT").empty());
    EXPECT_EQ(r.at("RECIBOANT"), "123456789091");
    EXPECT_EQ(r.at("RECIBOATU"), "098765432100");
    EXPECT_EQ(r.at("TEMRURAL"), "S");
    EXPECT_EQ(r.at("ESTATUS"), "1");
    EXPECT_EQ(r.at("UF"), "SP");

    const std::vector<Row> payers = rows("DADOS/IRM2.DBF");
    ASSERT_EQ(payers.size(), 2u);
    EXPECT_EQ(payers[0].at("I1_1"), "J");
    EXPECT_EQ(payers[0].at("I1_3"), "11.222.333/0001-81");
    EXPECT_EQ(payers[0].at("I1_2"), "EMPRESA AGUA LIMPA LTDA");
    EXPECT_EQ(payers[1].at("I1_2"), "JOSÉ PAGADOR");

    // Dependants renumbered from 1 whatever the file says; the alimony
    // beneficiary follows them.
    const std::vector<Row> people = rows("DADOS/IRM3.DBF");
    ASSERT_EQ(people.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(people[i].at("NRODEPEN"), std::to_string(i + 1));
    EXPECT_EQ(people[0].at("NOMEDEPEN"), "MARIA ANTONIA");
    EXPECT_EQ(people[0].at("CPFDEPEN"), personCpf(2001));
    EXPECT_EQ(people[2].at("DATADEPEN"), "");
    EXPECT_EQ(people[3].at("NOMEDEPEN"), "LUISA");  // accented capitals plain
    EXPECT_EQ(people[3].at("CODIDEPEN"), "99");
    EXPECT_EQ(people[3].at("DATADEPEN"), "2011-03-03");

    const std::vector<Row> payments = rows("DADOS/IRM6.DBF");
    ASSERT_EQ(payments.size(), 2u);
    EXPECT_EQ(payments[0].at("I6_1"), "HOSPITAL SAO LUCAS");
    EXPECT_EQ(payments[1].at("I6_6"), "1");

    const std::vector<Row> properties = rows("DADOS/IRM15.DBF");
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_EQ(properties[0].at("I2_02"), "123.4");
    EXPECT_EQ(properties[0].at("I2_04"), "50.0");
    EXPECT_EQ(properties[0].at("ATV_EXTER"), "");
    const std::vector<Row> rural = rows("DADOS/IRM10.DBF");
    ASSERT_EQ(rural.size(), 1u);
    EXPECT_EQ(rural[0].at("I4_04"), "12345.67");
    EXPECT_EQ(rural[0].at("I5_10"), "890.12");
    const std::vector<Row> summary = rows("DADOS/IRM1.DBF");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0].at("INDALERTA"), "10");

    // The indexes written with the rows list every one of them.
    EXPECT_EQ(indexKeys("DADOS/IRM3.cdx", "IRM3").size(), 4u);
    EXPECT_EQ(indexKeys("DADOS/IRM9B.cdx", "IRM9B").size(), 1u);
}

TEST_F(DeclarationImport, ATaxpayerAlreadyThereIsLeftAlone) {
    const DeclarationData data = fullDeclaration(2, kTaxYear, kTaxYear);
    writeInput("A.DEC", declarationFile(data));
    ASSERT_EQ(convert(ImportKind::Declarations, data.person.cpf).result, Result::Converted);
    const auto before = snapshot("DADOS");
    EXPECT_EQ(convert(ImportKind::Declarations, data.person.cpf).result, Result::Existing);
    EXPECT_EQ(changed(before, snapshot("DADOS")), std::vector<std::string>{});
}

TEST_F(DeclarationImport, ADamagedFileWritesNothingAndSaysWhere) {
    std::vector<std::string> lines = declarationLines(fullDeclaration(3, kTaxYear, kTaxYear));
    const std::string cpf = personCpf(3);
    auto dependant = std::find_if(lines.begin(), lines.end(),
                                  [](const std::string& l) { return l.rfind("25", 0) == 0; });
    dependant->replace(80, 8, "30022010");
    writeInput("A.DEC", joined(lines, LineEnd::Lf));
    ASSERT_TRUE(importing::CRIA_BASE());
    store::workAreas().closeAll();
    const auto before = snapshot("DADOS");

    const FileOutcome outcome = convert(ImportKind::Declarations, cpf);
    EXPECT_EQ(outcome.result, Result::NotConverted);
    EXPECT_EQ(outcome.damagedLines, 1);
    const std::string message = utf8(outcome.message);
    EXPECT_NE(message.find("A.DEC não foi convertido"), std::string::npos) << message;
    EXPECT_NE(message.find("linha " + std::to_string(dependant - lines.begin() + 1)),
              std::string::npos)
        << message;
    EXPECT_EQ(changed(before, snapshot("DADOS")), std::vector<std::string>{});
}

TEST_F(DeclarationImport, WrongCheckDigitsOfTheTaxpayerStopItOthersAreWarnings) {
    DeclarationData data = fullDeclaration(4, kTaxYear, kTaxYear);
    data.person.cpf = wrongCpf(data.person.cpf);
    writeInput("A.DEC", declarationFile(data));
    FileOutcome outcome = convert(ImportKind::Declarations, data.person.cpf);
    EXPECT_EQ(outcome.result, Result::NotConverted);
    EXPECT_NE(utf8(outcome.message).find("dígitos errados"), std::string::npos);
    EXPECT_TRUE(rows("DADOS/IRM9.DBF").empty());

    data = fullDeclaration(5, kTaxYear, kTaxYear);
    data.dependants[0].cpf = wrongCpf(data.dependants[0].cpf);
    data.receipt = "12AB567890";
    writeInput("B.DEC", declarationFile(data));
    outcome = convert(ImportKind::Declarations, data.person.cpf);
    ASSERT_EQ(outcome.result, Result::Converted);
    const std::string warnings = utf8(outcome.warnings);
    EXPECT_NE(warnings.find("recibo"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("dependente " + data.dependants[0].cpf), std::string::npos) << warnings;
    EXPECT_EQ(rows("DADOS/IRM9.DBF").at(0).at("RECIBOANT"), "");
}

// A write that fails half way (the hundredth dependant's number does not fit
// its field) takes back every row already written.
TEST_F(DeclarationImport, AFailureHalfWayLeavesNoHalfTaxpayer) {
    DeclarationData data = fullDeclaration(6, kTaxYear, kTaxYear);
    data.dependants.assign(100, DependantData{21, "FILHO", "01012010", "", 1});
    writeInput("A.DEC", declarationFile(data));
    const FileOutcome outcome = convert(ImportKind::Declarations, data.person.cpf);
    EXPECT_EQ(outcome.result, Result::NotConverted);
    EXPECT_FALSE(outcome.message.empty());
    for (const char* table : {"IRM9", "IRM1", "IRM2", "IRM3", "IRM6", "IRM10", "IRM15"})
        EXPECT_TRUE(rows(std::string("DADOS/") + table + ".DBF").empty()) << table;
}

// Rows of a CPF the register does not know are what a stopped import left:
// the next import replaces them instead of doubling them.
TEST_F(DeclarationImport, LeftoversOfAStoppedImportAreReplaced) {
    const DeclarationData data = fullDeclaration(7, kTaxYear, kTaxYear);
    ASSERT_TRUE(importing::CRIA_BASE());
    store::Table& payers = store::workAreas().area(2);
    ASSERT_TRUE(payers.append());
    payers.put("CPF", data.person.cpf);
    payers.put("I1_2", "SOBRA");
    payers.unlock();
    store::workAreas().closeAll();
    writeInput("A.DEC", declarationFile(data));
    ASSERT_EQ(convert(ImportKind::Declarations, data.person.cpf).result, Result::Converted);
    const std::vector<Row> mine = rowsOf(rows("DADOS/IRM2.DBF"), data.person.cpf);
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_NE(mine[0].at("I1_2"), "SOBRA");
}

TEST_F(DeclarationImport, TablesHeldByAnotherWorkstationStopTheTaxpayer) {
    const DeclarationData data = fullDeclaration(8, kTaxYear, kTaxYear);
    writeInput("A.DEC", declarationFile(data));
    ASSERT_TRUE(importing::CRIA_BASE());
    store::workAreas().closeAll();
    // Another open of the file contends like another workstation.
    auto other = store::Table::open("C:\\DADOS\\IRM3.DBF", store::OpenMode::Shared, "OTHER");
    ASSERT_TRUE(other->lockTable());
    const auto before = snapshot("DADOS");
    const FileOutcome outcome = convert(ImportKind::Declarations, data.person.cpf);
    EXPECT_EQ(outcome.result, Result::NotConverted);
    EXPECT_NE(utf8(outcome.message).find("em uso"), std::string::npos);
    other->unlock();
    other.reset();
    EXPECT_EQ(changed(before, snapshot("DADOS")), std::vector<std::string>{});
}

TEST_F(DeclarationImport, AFileBeingWrittenOrUnreadableIsNotConverted) {
    const DeclarationData data = fullDeclaration(9, kTaxYear, kTaxYear);
    writeInput("A.DEC", declarationFile(data));
    const auto files = listed(ImportKind::Declarations);
    ASSERT_EQ(files.size(), 1u);
    ASSERT_TRUE(importing::CRIA_BASE());
    {
        platform::File writer =
            platform::openFile("C:\\ORIGEM\\A.DEC", platform::File::Mode::ReadWrite);
        ASSERT_TRUE(writer.lock(0, 100, platform::LockKind::Exclusive, platform::LockWait::No));
        const FileOutcome outcome =
            importing::FAZCONV(ImportKind::Declarations, files.begin()->second, kTaxYear);
        EXPECT_EQ(outcome.result, Result::NotConverted);
        EXPECT_NE(utf8(outcome.message).find("sendo gravado"), std::string::npos);
    }
    std::filesystem::remove(root / "ORIGEM" / "A.DEC");
    const FileOutcome gone =
        importing::FAZCONV(ImportKind::Declarations, files.begin()->second, kTaxYear);
    EXPECT_EQ(gone.result, Result::NotConverted);
    EXPECT_EQ(base::cp850::toUtf8(gone.message.at(0)), "Erro de leitura");
    store::workAreas().closeAll();
    EXPECT_TRUE(rows("DADOS/IRM9.DBF").empty());
}

// ---- Carnê-leão -------------------------------------------------------------------

class CarneImport : public ImportTest {
  protected:
    // A taxpayer already in the data folder (through its declaration).
    std::string registered(int n) {
        const DeclarationData data = fullDeclaration(n, kTaxYear, kTaxYear);
        writeInput("D" + std::to_string(n) + ".DEC", declarationFile(data));
        EXPECT_EQ(convert(ImportKind::Declarations, data.person.cpf).result, Result::Converted);
        return data.person.cpf;
    }

    CarneData carneOf(const std::string& cpf, int year) {
        CarneData c;
        c.year = year;
        c.cpf = cpf;
        c.name = "CONTRIBUINTE";
        c.months.resize(12);
        c.months[0] = {1000, 0, 500, 300, 200, 45.5};
        c.months[2] = {1000, 250, 0, 0, 0, 0};
        c.receipts = {{true, 15, 3, personCpf(50), personCpf(51), 800},
                      {false, 0, 4, personCpf(50), personCpf(50), 900}};
        return c;
    }
};

TEST_F(CarneImport, MonthsLandAsDatedEntriesOfTheFilesYear) {
    const std::string cpf = registered(30);
    const int year = kTaxYear - 1;
    writeInput(carneFileName(cpf, kTaxYear), carneFile(carneOf(cpf, year)));
    const FileOutcome outcome = convert(ImportKind::CarneLeao, cpf);
    ASSERT_EQ(outcome.result, Result::Converted) << utf8(outcome.message);

    const Row reg = rows("DADOS/IRM9.DBF").at(0);
    EXPECT_EQ(reg.at("CODAT"), "11");
    EXPECT_EQ(reg.at("CDPRO"), "225");
    EXPECT_EQ(reg.at("REGPROF"), "CRM 12345");
    EXPECT_EQ(rows("DADOS/IRM1.DBF").at(0).at("CAL_AUTO"), "False");

    std::map<std::string, std::vector<Row>> byKind;
    for (const Row& row : rowsOf(rows("DADOS/IRM2.DBF"), cpf))
        if (row.at("I1_1") != "J") byKind[row.at("I1_1")].push_back(row);
    // Rent in January and March, other income in March, two receipts.
    ASSERT_EQ(byKind["F"].size(), 5u);
    const Row& janRent = byKind["F"][0];
    EXPECT_EQ(janRent.at("I1_2"), "Rendimento de Alugueis");
    EXPECT_EQ(janRent.at("DT_LC"), std::to_string(year) + "-01-01");
    EXPECT_EQ(janRent.at("I1_413"), "1000.0");
    EXPECT_EQ(janRent.at("I1_401"), "1000.0");
    EXPECT_EQ(janRent.at("CDCONTA"), "1002");
    const Row& newer = byKind["F"][3];
    EXPECT_EQ(newer.at("I1_2"), "Trabalho nao assalariado");
    EXPECT_EQ(newer.at("DT_LC"), std::to_string(year) + "-03-15");
    EXPECT_EQ(newer.at("CPFBENF"), personCpf(51));
    const Row& older = byKind["F"][4];
    EXPECT_EQ(older.at("DT_LC"), std::to_string(year) + "-04-01");
    EXPECT_EQ(older.at("CPFBENF"), "");
    EXPECT_EQ(older.at("I1_404"), "900.0");
    // Foreign income and cash-book expenses are dated entries too.
    ASSERT_EQ(byKind["E"].size(), 1u);
    EXPECT_EQ(byKind["E"][0].at("I1_413"), "500.0");
    EXPECT_EQ(byKind["E"][0].at("DT_LC"), std::to_string(year) + "-01-01");
    ASSERT_EQ(byKind["L"].size(), 1u);
    EXPECT_EQ(byKind["L"][0].at("I1_413"), "200.0");
    // Social security and tax paid stay monthly records.
    ASSERT_EQ(byKind["P"].size(), 1u);
    EXPECT_EQ(byKind["P"][0].at("I1_4"), "300.0");
    EXPECT_EQ(byKind["P"][0].at("I1_401"), "300.0");
    ASSERT_EQ(byKind["I"].size(), 1u);
    EXPECT_EQ(byKind["I"][0].at("I1_401"), "45.5");
}

// The monthly computation reads what the import wrote: foreign income and
// cash-book expenses in their months.
TEST_F(CarneImport, TheMonthlyComputationReadsTheImportedEntries) {
    const std::string cpf = registered(31);
    writeInput(carneFileName(cpf, kTaxYear), carneFile(carneOf(cpf, kTaxYear)));
    ASSERT_EQ(convert(ImportKind::CarneLeao, cpf).result, Result::Converted);
    ASSERT_TRUE(store::ABERTURA(2));
    tax::CarneLeao carne;
    tax::accumulateTaxpayerEntries(carne, store::workAreas().area(2), cpf);
    EXPECT_DOUBLE_EQ(carne.TRECEXT[1], 500);
    EXPECT_DOUBLE_EQ(carne.TPAGLCX[1], 200);
    EXPECT_DOUBLE_EQ(carne.TPAGPRE[1], 300);
    EXPECT_DOUBLE_EQ(carne.TPAGLEO[1], 45.5);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[3], 1000 + 250 + 800);
    EXPECT_DOUBLE_EQ(carne.TRECFIS[4], 900);
}

TEST_F(CarneImport, RunTwiceAddsTwice) {
    const std::string cpf = registered(32);
    writeInput(carneFileName(cpf, kTaxYear), carneFile(carneOf(cpf, kTaxYear)));
    ASSERT_EQ(convert(ImportKind::CarneLeao, cpf).result, Result::Converted);
    const size_t once = rowsOf(rows("DADOS/IRM2.DBF"), cpf).size();
    ASSERT_EQ(convert(ImportKind::CarneLeao, cpf).result, Result::Converted);
    EXPECT_EQ(rowsOf(rows("DADOS/IRM2.DBF"), cpf).size(), 2 * once - 2);  // payers once
}

TEST_F(CarneImport, ATaxpayerFoundNowhereIsNotConverted) {
    const std::string cpf = personCpf(33);
    CarneData data = carneOf(cpf, kTaxYear);
    data.name = "FULANO";
    writeInput(carneFileName(cpf, kTaxYear), carneFile(data));
    bool searched = false;
    importing::Services services;
    services.findInOtherFolders = [&] {
        searched = base::session().text("CPF") == cpf;
        return false;
    };
    importing::setServices(services);
    const FileOutcome outcome = convert(ImportKind::CarneLeao, cpf);
    EXPECT_TRUE(searched);
    EXPECT_EQ(outcome.result, Result::NotConverted);
    EXPECT_EQ(utf8(outcome.message),
              "O contribuinte FULANO\nnão foi localizado em nenhum das pastas logo \n"
              "não será possível gravar o livro caixa\n");
    EXPECT_TRUE(rows("DADOS/IRM2.DBF").empty());
}

// Found in another registered folder, the taxpayer's months go there.
TEST_F(CarneImport, ATaxpayerOfAnotherFolderIsWrittenThere) {
    const std::string cpf = registered(34);
    std::filesystem::rename(root / "DADOS", root / "OUTRA");
    std::filesystem::create_directories(root / "DADOS");
    writeInput(carneFileName(cpf, kTaxYear), carneFile(carneOf(cpf, kTaxYear)));
    importing::Services services;
    services.findInOtherFolders = [] {
        base::session().set("LOCARQ", "C:\\OUTRA\\");
        return store::ABERTURA(9);
    };
    importing::setServices(services);
    ASSERT_EQ(convert(ImportKind::CarneLeao, cpf).result, Result::Converted);
    EXPECT_GT(rowsOf(rows("OUTRA/IRM2.DBF"), cpf).size(), 2u);
    EXPECT_TRUE(rows("DADOS/IRM2.DBF").empty());
}

}  // namespace
}  // namespace kdx2::import_test
