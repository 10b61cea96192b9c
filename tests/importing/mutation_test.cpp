// The readers over damaged input: synthetic files mutated at random (bytes
// flipped, inserted, deleted, lines cut, terminators and end bytes thrown
// in), a fixed seed per round so a failure can be replayed. The readers must
// never crash (run under the sanitizer build too), never hold a line longer
// than the limit, and hand over only values the layouts allow. A bounded
// run: the coverage-guided fuzzer (fuzz/readers_fuzzer.cpp) runs longer.

#include <gtest/gtest.h>

#include <random>

#include "importing/carne_export.h"
#include "importing/declaration.h"
#include "importing/identify.h"
#include "importing/line_reader.h"
#include "importing/synthetic_files.h"

namespace kdx2::importing {
namespace {

using namespace test_import;
constexpr int kTaxYear = 2025;
constexpr int kRounds = 3000;

std::string mutated(std::string bytes, std::mt19937& random) {
    std::uniform_int_distribution<int> kind(0, 7);
    std::uniform_int_distribution<int> byte(0, 255);
    const int changes = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < changes && !bytes.empty(); ++i) {
        const size_t at = random() % bytes.size();
        switch (kind(random)) {
            case 0:
                bytes[at] = static_cast<char>(byte(random));
                break;
            case 1:
                bytes.insert(at, 1, "\n\r\0\x1A\t"[random() % 5]);
                break;
            case 2:
                bytes.erase(at, random() % 600);
                break;
            case 3:
                bytes.resize(at);  // truncated
                break;
            case 4:
                bytes.insert(at, std::string(random() % 6000, static_cast<char>(byte(random))));
                break;
            case 5: {  // a line repeated
                const size_t end = bytes.find('\n', at);
                bytes.insert(at, bytes.substr(at, end == std::string::npos ? 50 : end - at + 1));
                break;
            }
            case 6:
                bytes[at] = static_cast<char>('0' + random() % 10);
                break;
            default:
                bytes.replace(at, std::min<size_t>(2, bytes.size() - at), "25");
                break;
        }
    }
    return bytes;
}

std::string baseFile(int round, std::mt19937& random) {
    const LineEnd end = static_cast<LineEnd>(random() % 3);
    if (round % 2 == 0) {
        DeclarationData d =
            fullDeclaration(round, kTaxYear - static_cast<int>(random() % 2), kTaxYear);
        d.fillerLines = static_cast<int>(random() % 20);
        d.lineEnd = end;
        return declarationFile(d);
    }
    CarneData c;
    c.year = kTaxYear;
    c.taxpayerFirst = random() % 2 == 0;
    c.cpf = personCpf(round);
    c.name = "NOME ÇÃO";
    for (int m = 0; m < 12; ++m)
        c.months.push_back({1.0 * m, 2, 3, 4, 5, 6});
    c.receipts = {{true, 5, 2, personCpf(1), personCpf(2), 10}, {false, 1, 3, "", "", 20}};
    c.lineEnd = end;
    return carneFile(c);
}

void checkLines(const std::string& bytes) {
    LineReader reader(memorySource(bytes), 1 + bytes.size() % 97);
    uint64_t count = 0;
    while (std::optional<Line> line = reader.LELINHA()) {
        ++count;
        ASSERT_EQ(line->number, count);
        ASSERT_LE(line->text.size(), kMaxLineLength);
        ASSERT_EQ(line->text.find('\n'), std::string::npos);
        ASSERT_EQ(line->text.find('\0'), std::string::npos);
    }
    ASSERT_LE(count, bytes.size() + 1);
}

void checkDeclaration(const std::string& bytes) {
    LineReader reader(memorySource(bytes));
    const Declaration d = readDeclaration(reader, kTaxYear);
    if (d.outcome != Declaration::Outcome::Read) return;
    for (const Payment& p : d.payments) {
        ASSERT_GT(p.code, 0);
        ASSERT_LE(p.number, 99);
    }
    for (const RuralProperty& p : d.properties)
        ASSERT_LE(p.area, 999999);
    for (const Problem& problem : d.damaged)
        ASSERT_GE(problem.line, 2u);
}

void checkCarne(const std::string& bytes) {
    LineReader reader(memorySource(bytes));
    const CarneExport c = readCarneExport(reader);
    ASSERT_LE(c.monthsRead, 12);
    for (const Receipt& r : c.receipts) {
        ASSERT_GE(r.month, 1);
        ASSERT_LE(r.month, 12);
        ASSERT_TRUE(base::Date::fromYmd(c.year, r.month, r.day).has_value());
        ASSERT_GE(r.amount, 0);
    }
}

void checkIdentity(const std::string& bytes) {
    for (ImportKind kind : {ImportKind::Declarations, ImportKind::CarneLeao}) {
        LineReader reader(memorySource(bytes));
        const FileIdentity id =
            identifyFile(kind, carneFileName(personCpf(1), kTaxYear), reader, kTaxYear);
        if (id.verdict != FileIdentity::Verdict::Listed) continue;
        ASSERT_TRUE(id.year == kTaxYear || id.year == kTaxYear - 1);
        ASSERT_EQ(id.typeKey.size(), 12u);
        ASSERT_FALSE(id.cpf.empty());
    }
}

TEST(Mutation, ReadersSurviveDamagedFiles) {
    for (int round = 0; round < kRounds; ++round) {
        std::mt19937 random(static_cast<unsigned>(round));
        const std::string bytes = mutated(baseFile(round, random), random);
        SCOPED_TRACE("round " + std::to_string(round));
        checkLines(bytes);
        checkDeclaration(bytes);
        checkCarne(bytes);
        checkIdentity(bytes);
        if (HasFatalFailure()) return;
    }
}

TEST(Mutation, RandomBytesAreNeverRecords) {
    std::mt19937 random(2025);
    std::string noise(1 << 20, '\0');
    for (char& ch : noise)
        ch = static_cast<char>(random());
    checkLines(noise);
    LineReader reader(memorySource(noise));
    EXPECT_NE(readDeclaration(reader, kTaxYear).outcome, Declaration::Outcome::Read);
    checkCarne(noise);
    checkIdentity(noise);
}

}  // namespace
}  // namespace kdx2::importing
