// The listing of an origin folder: which files are offered, the found list
// the user marks, and folders and files that are not what they should be.

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "import_fixture.h"
#include "importing/synthetic_files.h"

namespace kdx2::import_test {
namespace {

using namespace test_import;
using importing::ImportKind;

class Listing : public ImportTest {};

TEST_F(Listing, OffersOnlyTheTaxYearAndTheYearBeforeInPatternOrder) {
    writeInput("B.BAK", declarationFile(fullDeclaration(1, kTaxYear, kTaxYear)));
    writeInput("A.DEC", declarationFile(fullDeclaration(2, kTaxYear - 1, kTaxYear)));
    writeInput("C.DBK", declarationFile(fullDeclaration(3, kTaxYear, kTaxYear)));
    writeInput("OLD.DEC", declarationFile(fullDeclaration(4, kTaxYear - 2, kTaxYear)));
    writeInput("NOTE.TXT", declarationFile(fullDeclaration(5, kTaxYear, kTaxYear)));
    writeInput("EMPTY.DEC", "");
    // Ten megabytes of noise named like a declaration.
    std::mt19937 random(7);
    std::string noise(10 << 20, '\0');
    for (char& ch : noise)
        ch = static_cast<char>(random());
    writeInput("NOISE.DEC", noise);

    const auto start = std::chrono::steady_clock::now();
    const importing::Listing listing =
        importing::listFolder(ImportKind::Declarations, "C:\\ORIGEM", kTaxYear);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(listing.folderReadable);
    EXPECT_EQ(listing.files, 6);
    EXPECT_EQ(listing.ofTheYear, 3);
    ASSERT_EQ(listing.listed.size(), 3u);
    EXPECT_EQ(listing.listed[0].name, "C.DBK");
    EXPECT_EQ(listing.listed[1].name, "A.DEC");
    EXPECT_EQ(listing.listed[2].name, "B.BAK");
    // The first five characters of the file's identification, and the year.
    EXPECT_EQ(listing.listed[1].id.origin, "IRPF  24");
    EXPECT_EQ(listing.listed[1].path, "C:\\ORIGEM\\A.DEC");
}

TEST_F(Listing, AFolderOfOtherYearsOffersNothingButCountsItsFiles) {
    writeInput("A.DEC", declarationFile(fullDeclaration(1, kTaxYear - 3, kTaxYear)));
    writeInput("B.DEC", declarationFile(fullDeclaration(2, kTaxYear + 1, kTaxYear)));
    const importing::Listing listing =
        importing::listFolder(ImportKind::Declarations, "C:\\ORIGEM", kTaxYear);
    EXPECT_EQ(listing.files, 2);
    EXPECT_EQ(listing.ofTheYear, 0);
    EXPECT_TRUE(listing.listed.empty());
}

TEST_F(Listing, CarneLeaoExportsAreTakenByNameAndEitherFirstLine) {
    CarneData c;
    c.year = kTaxYear;
    c.months.resize(12);
    for (int n : {1, 2}) {
        c.cpf = personCpf(n);
        c.name = "PESSOA " + std::to_string(n);
        c.taxpayerFirst = n == 2;
        writeInput(carneFileName(c.cpf, kTaxYear), carneFile(c));
    }
    writeInput("COPIA-DE-SEGURANCA.DEC", carneFile(c));
    const importing::Listing listing =
        importing::listFolder(ImportKind::CarneLeao, "C:\\ORIGEM", kTaxYear);
    EXPECT_EQ(listing.files, 3);
    ASSERT_EQ(listing.listed.size(), 2u);
    EXPECT_EQ(listing.listed[0].id.cpf, personCpf(1));
    EXPECT_EQ(listing.listed[1].id.cpf, personCpf(2));
}

TEST_F(Listing, TheFoundListIsInNameOrderAndGivesTheMarkedOnes) {
    for (int n : {1, 2, 3}) {
        DeclarationData d = fullDeclaration(n, kTaxYear, kTaxYear);
        d.person.name = n == 1 ? "ZÉLIA" : n == 2 ? "ÁLVARO" : "MÁRCIO";
        writeInput("D" + std::to_string(n) + ".DEC", declarationFile(d));
    }
    const importing::Listing listing =
        importing::listFolder(ImportKind::Declarations, "C:\\ORIGEM", kTaxYear);
    ASSERT_TRUE(store::ABERTURA(importing::kFoundList));
    store::Table& found = store::workAreas().area(importing::kFoundList);
    importing::fillFoundList(found, listing.listed);
    importing::indexFoundList(found, "C:\\");
    EXPECT_EQ(found.recCount(), 3u);
    EXPECT_EQ(found.get("NOMECONTR").text().substr(0, 6), "ALVARO");
    found.goTo(1);
    found.put("IMPRE", base::Value("s"));
    found.goTo(3);
    found.put("IMPRE", base::Value("S"));
    found.flush();
    const std::vector<uint32_t> marked = importing::markedRecords(found);
    EXPECT_EQ(marked, (std::vector<uint32_t>{3, 1}));  // MÁRCIO, then ZÉLIA
    store::workAreas().closeAll();

    const std::vector<std::string> keys = indexKeys("LISNOME.cdx", "LISNOME");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].substr(0, 6), "ALVARO");
    const std::vector<Row> found2 = rows("RELNOME.DBF");
    ASSERT_EQ(found2.size(), 3u);
    EXPECT_EQ(found2[0].at("NOMEARQ"), "D1.DEC");
    EXPECT_EQ(found2[0].at("TIPO"), "IRPF    2025");
    EXPECT_EQ(found2[0].at("ORIGEM"), "IRPF 25");
}

}  // namespace
}  // namespace kdx2::import_test
