// The readers of the tax authority's files: lines, fixed positions, the
// declaration and carnê-leão records and the listing's identification,
// over synthetic files built from the layouts.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/cp850.h"
#include "importing/carne_export.h"
#include "importing/declaration.h"
#include "importing/fixed_line.h"
#include "importing/identify.h"
#include "importing/import_text.h"
#include "importing/line_reader.h"
#include "importing/synthetic_files.h"

namespace kdx2::importing {
namespace {

using namespace test_import;
constexpr int kTaxYear = 2025;

std::vector<Line> allLines(const std::string& bytes, size_t chunk = 4096) {
    LineReader reader(memorySource(bytes), chunk);
    std::vector<Line> lines;
    while (std::optional<Line> line = reader.LELINHA())
        lines.push_back(*line);
    return lines;
}

Declaration declarationOf(const std::string& bytes, int taxYear = kTaxYear) {
    LineReader reader(memorySource(bytes));
    return readDeclaration(reader, taxYear);
}

CarneExport carneOf(const std::string& bytes) {
    LineReader reader(memorySource(bytes));
    return readCarneExport(reader);
}

// ---- Lines ------------------------------------------------------------------

TEST(LineReader, EndsLinesAtLineFeedCarriageReturnLineFeedOrNul) {
    const std::vector<std::string> files{std::string("ab\ncd\n"), std::string("ab\r\ncd\r\n"),
                                         std::string("ab\0cd\0", 6), std::string("ab\ncd")};
    for (const std::string& file : files) {
        const std::vector<Line> lines = allLines(file);
        ASSERT_EQ(lines.size(), 2u) << file;
        EXPECT_EQ(lines[0].text, "ab");
        EXPECT_EQ(lines[1].text, "cd");
        EXPECT_EQ(lines[1].number, 2u);
        EXPECT_FALSE(lines[0].damaged());
    }
}

TEST(LineReader, StopsAtTheDosEndByteAndKeepsEmptyLines) {
    const std::vector<Line> lines = allLines(
        "ab\n\ncd\n\x1A"
        "garbage\nmore\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].text, "");
    EXPECT_EQ(lines[2].text, "cd");
    EXPECT_TRUE(allLines("").empty());
    EXPECT_TRUE(allLines("\x1A").empty());
}

TEST(LineReader, KeepsAtMostTheLongestLineAndMarksIt) {
    const std::string huge(3 * kMaxLineLength, 'x');
    // Read in small chunks too: a line crosses many reads.
    for (size_t chunk : {7u, 4096u}) {
        const std::vector<Line> lines = allLines(huge + "\nnext\n", chunk);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(lines[0].tooLong);
        EXPECT_EQ(lines[0].text.size(), kMaxLineLength);
        EXPECT_EQ(lines[1].text, "next");
        EXPECT_FALSE(lines[1].damaged());
    }
}

TEST(LineReader, MarksLinesWithControlBytesAsBinary) {
    const std::vector<Line> lines = allLines("ok\tfine\nbad\x01here\nalso\x7f\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_FALSE(lines[0].binary);
    EXPECT_TRUE(lines[1].binary);
    EXPECT_TRUE(lines[2].binary);
}

// ---- Fixed positions --------------------------------------------------------

TEST(FixedLine, ReadsPastTheEndAsBlanksAndChecksNumbersAndDates) {
    const FixedLine f("12AB  0042 31022024 29022024 00000000");
    EXPECT_EQ(f.raw(3, 2), "AB");
    EXPECT_EQ(f.raw(36, 6), "00    ");
    EXPECT_EQ(f.raw(100, 3), "   ");
    EXPECT_EQ(f.raw(0, 2), "  ");
    EXPECT_TRUE(f.reaches(37));
    EXPECT_FALSE(f.reaches(38));
    EXPECT_EQ(f.integer(5, 6), 42);
    EXPECT_EQ(f.integer(50, 4), 0);  // blanks read 0
    EXPECT_FALSE(f.integer(1, 4).has_value());
    EXPECT_DOUBLE_EQ(*f.amount(7, 4, 2), 0.42);
    EXPECT_FALSE(f.date(12).has_value());  // 31 February
    EXPECT_EQ(f.date(21)->dtos(), "20240229");
    EXPECT_TRUE(f.date(30)->empty());
    EXPECT_TRUE(f.date(60)->empty());
    EXPECT_FALSE(FixedLine(std::string(30, '9')).integer(1, 30).has_value());
}

TEST(FixedLine, ChecksCpfDigits) {
    EXPECT_TRUE(validCpf(personCpf(5)));
    EXPECT_FALSE(validCpf(wrongCpf(personCpf(5))));
    EXPECT_FALSE(validCpf("00000000000"));
    EXPECT_FALSE(validCpf("1234567890"));
    EXPECT_FALSE(validCpf("1234567890a"));
}

// ---- Declarations -------------------------------------------------------------

TEST(Declaration, ReadsEveryRecordTheImportUses) {
    const DeclarationData data = fullDeclaration(3, kTaxYear, kTaxYear);
    const Declaration d = declarationOf(declarationFile(data));
    ASSERT_EQ(d.outcome, Declaration::Outcome::Read);
    EXPECT_TRUE(d.damaged.empty()) << d.damaged.front().text;
    EXPECT_EQ(d.header.year, kTaxYear);
    EXPECT_EQ(d.header.typeKey, "IRPF    2025");
    EXPECT_EQ(d.header.receipt, "1234567890");
    EXPECT_FALSE(d.previousLayout);
    EXPECT_EQ(d.person.cpf, data.person.cpf);
    EXPECT_EQ(d.person.name.substr(0, 4), windows1252("JOÃO"));
    EXPECT_EQ(d.person.birth.dtos(), "19700315");
    EXPECT_EQ(d.person.areaCode, "0011");
    ASSERT_EQ(d.payers.size(), 2u);
    EXPECT_EQ(d.payers[0].number, "11222333000181");
    ASSERT_EQ(d.dependants.size(), 3u);
    EXPECT_EQ(d.dependants[0].relation, 21);
    EXPECT_TRUE(d.dependants[2].birth.empty());
    // The payment of code 0 is not one.
    ASSERT_EQ(d.payments.size(), 2u);
    EXPECT_EQ(d.payments[1].number, 1);
    ASSERT_EQ(d.alimony.size(), 1u);
    EXPECT_EQ(d.alimony[0].relation, 99);
    EXPECT_EQ(d.alimony[0].birth.dtos(), "20110303");
    ASSERT_EQ(d.properties.size(), 1u);
    EXPECT_DOUBLE_EQ(d.properties[0].area, 123.4);
    EXPECT_DOUBLE_EQ(d.properties[0].participation, 50.0);
    ASSERT_TRUE(d.ruralResult.has_value());
    EXPECT_DOUBLE_EQ(d.ruralResult->result, 12345.67);
}

TEST(Declaration, TheYearBeforeHasThePreviousAlimonyLayout) {
    DeclarationData data = fullDeclaration(4, kTaxYear - 1, kTaxYear);
    const Declaration d = declarationOf(declarationFile(data));
    ASSERT_TRUE(d.damaged.empty());
    EXPECT_TRUE(d.previousLayout);
    ASSERT_EQ(d.alimony.size(), 1u);
    EXPECT_EQ(d.alimony[0].relation, 99);
    EXPECT_EQ(d.alimony[0].name.substr(0, 5), windows1252("LUÍSA"));
    EXPECT_TRUE(d.alimony[0].cpf.empty());
    // In the current layout position 14 tells the code.
    data = fullDeclaration(4, kTaxYear, kTaxYear);
    data.alimony[0].courtOrder = false;
    EXPECT_EQ(declarationOf(declarationFile(data)).alimony[0].relation, 98);
}

TEST(Declaration, CapsTheAreaAndIgnoresWhatFollowsATypeOutOfOrder) {
    DeclarationData data = fullDeclaration(5, kTaxYear, kTaxYear);
    data.properties[0].areaTenths = 9999999999;
    std::vector<std::string> lines = declarationLines(data);
    // A payer after the dependants is out of order: reading stops there.
    const auto dependants = std::find_if(
        lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("25", 0) == 0; });
    lines.insert(dependants + 1, Record("21", 100).text(14, "11222333000181", 14).str());
    const Declaration cut = declarationOf(joined(lines, LineEnd::Lf));
    EXPECT_EQ(cut.dependants.size(), 1u);
    EXPECT_TRUE(cut.properties.empty());
    EXPECT_TRUE(cut.damaged.empty());

    const Declaration whole = declarationOf(declarationFile(data));
    EXPECT_DOUBLE_EQ(whole.properties.at(0).area, 999999);
}

TEST(Declaration, LineTwoMustBeTheIdentification) {
    std::vector<std::string> lines = declarationLines(fullDeclaration(6, kTaxYear, kTaxYear));
    lines.erase(lines.begin() + 1);
    EXPECT_EQ(declarationOf(joined(lines, LineEnd::Lf)).outcome,
              Declaration::Outcome::LayoutMismatch);
    EXPECT_EQ(declarationOf("").outcome, Declaration::Outcome::Empty);
    EXPECT_EQ(declarationOf("only a header\n").outcome, Declaration::Outcome::LayoutMismatch);
}

// Every kind of damage is reported with its line, and makes the taxpayer
// not convertible.
TEST(Declaration, DamagedRecordsAreReportedByLine) {
    struct Case {
        const char* what;
        std::function<void(std::vector<std::string>&)> damage;
        std::string expected;
    };
    auto lineOf = [](std::vector<std::string>& lines, const char* type) -> std::string& {
        return *std::find_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.rfind(type, 0) == 0; });
    };
    const std::vector<Case> cases{
        {"short dependant", [&](auto& l) { lineOf(l, "25").resize(60); }, "incompleta"},
        {"binary payer", [&](auto& l) { lineOf(l, "21")[40] = '\x02'; }, "bytes"},
        {"long filler", [&](auto& l) { lineOf(l, "27") += std::string(5000, 'x'); }, "longa"},
        {"impossible birth", [&](auto& l) { lineOf(l, "25").replace(80, 8, "31022010"); },
         "data de nascimento"},
        {"letters in the area", [&](auto& l) { lineOf(l, "50").replace(137, 3, "1X3"); }, "área"},
        {"beneficiary number", [&](auto& l) { lineOf(l, "26").replace(15, 5, "00100"); },
         "beneficiário"},
        {"short identification", [&](auto& l) { l[1].resize(300); }, "registro 16"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = declarationLines(fullDeclaration(7, kTaxYear, kTaxYear));
        c.damage(lines);
        const Declaration d = declarationOf(joined(lines, LineEnd::CrLf));
        ASSERT_EQ(d.damaged.size(), 1u) << c.what;
        EXPECT_NE(base::cp850::toUtf8(d.damaged[0].text).find(c.expected), std::string::npos)
            << c.what << ": " << base::cp850::toUtf8(d.damaged[0].text);
        EXPECT_FALSE(convertible(d)) << c.what;
    }
}

TEST(Declaration, AReceiptThatIsNotOneIsAWarning) {
    DeclarationData data = fullDeclaration(8, kTaxYear, kTaxYear);
    data.receipt = "12345ABCDE";
    data.previousReceipt = "0000000000";
    const Declaration d = declarationOf(declarationFile(data));
    EXPECT_TRUE(convertible(d));
    EXPECT_EQ(d.header.receipt, "");
    EXPECT_EQ(d.header.previousReceipt, "");
    ASSERT_EQ(d.warnings.size(), 1u);
    EXPECT_EQ(d.warnings[0].line, 1u);
}

// ---- Carnê-leão exports --------------------------------------------------------

CarneData carneData(bool taxpayerFirst) {
    CarneData c;
    c.year = kTaxYear;
    c.taxpayerFirst = taxpayerFirst;
    c.cpf = personCpf(20);
    c.name = "JOSÉ DAS COUVES";
    for (int month = 1; month <= 12; ++month)
        c.months.push_back({100.0 * month, 1, 2, 3, 4, 5.5});
    c.receipts = {{true, 15, 3, personCpf(21), personCpf(22), 1500.25},
                  {false, 0, 4, personCpf(21), personCpf(21), 99.99}};
    return c;
}

TEST(CarneExport, ReadsBothFormsOfTheFirstLine) {
    for (bool first : {false, true}) {
        const CarneExport c = carneOf(carneFile(carneData(first)));
        ASSERT_EQ(c.outcome, CarneExport::Outcome::Read) << first;
        EXPECT_TRUE(c.damaged.empty());
        EXPECT_EQ(c.year, kTaxYear);
        EXPECT_EQ(c.cpf, personCpf(20));
        EXPECT_EQ(c.occupation, "225");
        EXPECT_EQ(c.registration, "CRM 12345");
        EXPECT_EQ(c.monthsRead, 12);
        EXPECT_DOUBLE_EQ(c.months[11][kRent], 1200);
        EXPECT_DOUBLE_EQ(c.months[0][kCashBookExpenses], 4);
        EXPECT_DOUBLE_EQ(c.months[0][kSocialSecurity], 3);
        EXPECT_DOUBLE_EQ(c.months[0][kTaxPaid], 5.5);
        ASSERT_EQ(c.receipts.size(), 2u);
        // The newer layout keeps its day; the older one is dated on the 1st.
        EXPECT_EQ(c.receipts[0].day, 15);
        EXPECT_EQ(c.receipts[0].month, 3);
        EXPECT_DOUBLE_EQ(c.receipts[0].amount, 1500.25);
        EXPECT_EQ(c.receipts[0].beneficiaryCpf, personCpf(22));
        EXPECT_EQ(c.receipts[1].day, 1);
        EXPECT_EQ(c.receipts[1].month, 4);
    }
}

TEST(CarneExport, IgnoresMonthsAfterTheTwelfthAndRefusesImpossibleDays) {
    CarneData data = carneData(false);
    data.months.push_back({999999, 0, 0, 0, 0, 0});
    data.months.push_back({888888, 0, 0, 0, 0, 0});
    const CarneExport c = carneOf(carneFile(data));
    EXPECT_TRUE(c.damaged.empty());
    EXPECT_EQ(c.monthsRead, 12);
    EXPECT_DOUBLE_EQ(c.months[11][kRent], 1200);

    for (const auto& [day, month] : std::vector<std::pair<int, int>>{{29, 2}, {1, 13}, {1, 0}}) {
        data = carneData(false);
        data.year = 2025;  // not a leap year
        data.receipts[0].day = day;
        data.receipts[0].month = month;
        const CarneExport bad = carneOf(carneFile(data));
        ASSERT_EQ(bad.damaged.size(), 1u) << day << "/" << month;
        EXPECT_EQ(bad.damaged[0].line, 15u);
        EXPECT_FALSE(convertible(bad));
    }
}

TEST(CarneExport, WithoutATaxpayerRecordThereIsNothingToRead) {
    std::vector<std::string> lines = carneLines(carneData(false));
    lines[1].replace(0, 2, "02");
    EXPECT_EQ(carneOf(joined(lines, LineEnd::Lf)).outcome, CarneExport::Outcome::NoTaxpayer);
    lines = carneLines(carneData(false));
    lines[1].resize(60);  // CPF there, registration missing
    EXPECT_FALSE(convertible(carneOf(joined(lines, LineEnd::Lf))));
}

// ---- Identification for the listing ----------------------------------------------

FileIdentity identify(ImportKind kind, const std::string& name, const std::string& bytes) {
    LineReader reader(memorySource(bytes));
    return identifyFile(kind, name, reader, kTaxYear);
}

TEST(Identify, OffersDeclarationsOfTheTaxYearAndTheYearBefore) {
    DeclarationData data = fullDeclaration(9, kTaxYear, kTaxYear);
    FileIdentity id = identify(ImportKind::Declarations, "A.DEC", declarationFile(data));
    EXPECT_EQ(id.verdict, FileIdentity::Verdict::Listed);
    EXPECT_EQ(id.origin, "IRPF 25");
    EXPECT_EQ(id.typeKey, "IRPF    2025");
    EXPECT_EQ(id.cpf, data.person.cpf);

    data.year = kTaxYear - 1;
    data.code = "2421";
    id = identify(ImportKind::Declarations, "A.DEC", declarationFile(data));
    EXPECT_EQ(id.verdict, FileIdentity::Verdict::Listed);
    EXPECT_EQ(id.origin, "Final 24");
    data.code = "2420";
    EXPECT_EQ(identify(ImportKind::Declarations, "A.DEC", declarationFile(data)).origin,
              "Saida 24");

    data.year = kTaxYear - 2;
    id = identify(ImportKind::Declarations, "A.DEC", declarationFile(data));
    EXPECT_EQ(id.verdict, FileIdentity::Verdict::OtherYear);
    EXPECT_FALSE(id.ofTheYear);

    // Of the year, but line 2 is not an identification: counted, not listed.
    std::vector<std::string> lines = declarationLines(fullDeclaration(9, kTaxYear, kTaxYear));
    lines[1].replace(0, 2, "17");
    id = identify(ImportKind::Declarations, "A.DEC", joined(lines, LineEnd::Lf));
    EXPECT_EQ(id.verdict, FileIdentity::Verdict::NotOfTheKind);
    EXPECT_TRUE(id.ofTheYear);
}

TEST(Identify, CarneExportsNeedTheirNameAndFindTheirTaxpayerOnEitherLine) {
    const std::string name = carneFileName(personCpf(20), kTaxYear);
    for (bool first : {false, true}) {
        const FileIdentity id = identify(ImportKind::CarneLeao, name, carneFile(carneData(first)));
        EXPECT_EQ(id.verdict, FileIdentity::Verdict::Listed) << first;
        EXPECT_EQ(id.cpf, personCpf(20));
        EXPECT_EQ(id.origin, "25");
        EXPECT_EQ(id.name.substr(0, 4), windows1252("JOSÉ"));
    }
    const std::string bytes = carneFile(carneData(false));
    EXPECT_EQ(identify(ImportKind::CarneLeao, "short.DEC", bytes).verdict,
              FileIdentity::Verdict::NotOfTheKind);
    EXPECT_EQ(
        identify(ImportKind::CarneLeao, carneFileName(personCpf(20), kTaxYear - 1), bytes).verdict,
        FileIdentity::Verdict::NotOfTheKind);
    EXPECT_TRUE(carneExportName(
        base::cp850::fromUtf8("12345678901-carne-leao-2025exporta-irpf2025.dec"), kTaxYear));
}

// ---- Text ------------------------------------------------------------------------

TEST(ImportText, ConvertsTheFilesCodePageAsTheProgramStoresNames) {
    EXPECT_EQ(importText(windows1252("João Conceição  ")), "Jo\x84o Concei\x87\x84o");
    EXPECT_EQ(importText(windows1252("ÁGUA ÉRICA Ção")), "AGUA \x90RICA \x80\x84o");
    // Characters outside the program's own letters keep their meaning.
    EXPECT_EQ(base::cp850::toUtf8(importText(windows1252("Nº 5 – D’Ávila ü"))), "Nº 5 - D'Avila ü");
    EXPECT_EQ(importText(std::string("a\x81z\x01")), "a?z");
}

}  // namespace
}  // namespace kdx2::importing
