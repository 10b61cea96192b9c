// Compound index files built, changed and read back through real files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "base/cp850.h"
#include "base/error.h"
#include "store/cdx.h"
#include "support/child_process.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Date;
using base::Type;
using store::CdxCursor;
using store::CdxEntry;
using store::CdxFile;
using store::CdxKeyList;
using store::CdxTag;
using store::CdxTagDefinition;

namespace {

namespace fs = std::filesystem;

// This run's folders go at exit, whatever the tests left there.
struct RemoveRunFolder {
    ~RemoveRunFolder() {
        std::error_code ignored;
        fs::remove_all(fs::temp_directory_path() / ("kdx2_cdx_" + std::to_string(::getpid())),
                       ignored);
    }
} removeRunFolder;

fs::path testFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    auto dir = fs::temp_directory_path() / ("kdx2_cdx_" + std::to_string(::getpid())) /
               (std::string(info->test_suite_name()) + "_" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// An 11-digit key from a number, like a CPF.
std::string cpf(uint64_t n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%011llu", static_cast<unsigned long long>(n));
    return buffer;
}

using Model = std::set<std::pair<std::string, uint32_t>>;

std::vector<CdxEntry> modelEntries(const Model& model) {
    std::vector<CdxEntry> out;
    for (const auto& [key, recno] : model)
        out.push_back({key, recno});
    return out;
}

// Reads the whole tag with a cursor, forwards and backwards.
std::vector<CdxEntry> walkForward(const CdxTag& tag) {
    std::vector<CdxEntry> out;
    CdxCursor c = tag.cursor();
    for (bool on = c.first(); on; on = c.next())
        out.push_back({c.key(), c.recno()});
    EXPECT_TRUE(c.eof());
    return out;
}

std::vector<CdxEntry> walkBackward(const CdxTag& tag) {
    std::vector<CdxEntry> out;
    CdxCursor c = tag.cursor();
    for (bool on = c.last(); on; on = c.previous())
        out.push_back({c.key(), c.recno()});
    std::reverse(out.begin(), out.end());
    return out;
}

// Runs the independent reader and returns its lines "key recno".
std::vector<std::string> indexDump(const fs::path& file, const std::string& tag,
                                   const std::string& type) {
    const std::string command =
        "index_dump --type=" + type + " '" + file.string() + "' " + tag + " 2>&1";
    std::vector<std::string> lines;
    std::istringstream in(kdx2::test_support::runCommand(command));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool haveIndexDump() {
    return std::system("command -v index_dump >/dev/null 2>&1") == 0;
}

}  // namespace

// ---------------------------------------------------------------- key images

TEST(CdxKeys, NumbersAndDatesSortAsTheirValues) {
    EXPECT_EQ(hex(store::cdxNumericKey(0)), "8000000000000000");
    EXPECT_EQ(hex(store::cdxNumericKey(-0.0)), "8000000000000000");
    EXPECT_EQ(hex(store::cdxNumericKey(1)), "BFF0000000000000");
    EXPECT_EQ(hex(store::cdxNumericKey(-1)), "400FFFFFFFFFFFFF");
    EXPECT_EQ(hex(store::cdxNumericKey(12.5)), "C029000000000000");
    EXPECT_EQ(hex(store::cdxNumericKey(-2.5)), "3FFBFFFFFFFFFFFF");
    EXPECT_EQ(hex(store::cdxDateKey(*Date::fromYmd(2000, 1, 1))), "C142B42C80000000");
    EXPECT_EQ(store::cdxDateKey(Date()), store::cdxNumericKey(0));

    const std::vector<double> values{-1e9, -12.5, -1, -0.001, 0, 0.001, 1, 2, 12.5, 1e9};
    for (size_t i = 0; i + 1 < values.size(); ++i)
        EXPECT_LT(store::cdxNumericKey(values[i]), store::cdxNumericKey(values[i + 1]))
            << values[i];
    for (double v : values)
        EXPECT_EQ(store::cdxNumericValue(store::cdxNumericKey(v)), v);
    const Date d = *Date::fromYmd(2018, 4, 30);
    EXPECT_EQ(store::cdxDateValue(store::cdxDateKey(d)), d);
    EXPECT_TRUE(store::cdxDateValue(store::cdxDateKey(Date())).empty());
    EXPECT_THROW(store::cdxNumericValue("abc"), base::Error);
}

// ---------------------------------------------------------------- layout

// Three names in a C(11) tag give exactly the documented file: header,
// directory leaf, tag header and one compressed leaf.
TEST(CdxLayout, SmallTagHasTheDocumentedBytes) {
    const fs::path file = testFolder() / "names.cdx";
    {
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList keys(11);
        keys.add("SMITH", 1);
        keys.add("JONES", 2);
        keys.add("SMITHSON", 3);
        cdx.addTag({"name", "NAME", "", false}, keys);
        cdx.close();
    }
    const std::string bytes = fileBytes(file);
    ASSERT_EQ(bytes.size(), 3072u);
    auto row = [&](size_t offset) { return hex(std::string_view(bytes).substr(offset, 16)); };
    // Offset 8 holds the change counter, which went up once when the file was written.
    EXPECT_EQ(row(0x000), "0004000000000000000000010A00E001");
    EXPECT_EQ(row(0x1F0), "00000000000000000100010000000100");
    EXPECT_EQ(row(0x400), "03000100FFFFFFFFFFFFFFFFE101FFFF");
    EXPECT_EQ(row(0x410), "00000F0F100404030006600000000000");
    EXPECT_EQ(row(0x5F0), "0000000000000000000000004E414D45");
    EXPECT_EQ(row(0x600),
              "000A00000000000000000000"
              "0B006001");
    EXPECT_EQ(row(0x7F0), "00000000000000000500010000000500");
    EXPECT_EQ(row(0x800), "4E414D45000000000000000000000000");
    EXPECT_EQ(row(0xA00), "03000300FFFFFFFFFFFFFFFFD501FF00");
    EXPECT_EQ(row(0xA10), "00000F0F080404020260016003350000");
    EXPECT_EQ(std::string_view(bytes).substr(0xBF0, 16), std::string(3, '\0') + "SONSMITHJONES");
    // Everything not described is zero.
    size_t nonZero = 0;
    for (size_t i = 0xA20; i < 0xBF3; ++i)
        nonZero += bytes[i] != 0;
    EXPECT_EQ(nonZero, 0u);
}

// ---------------------------------------------------------------- building

TEST(CdxBuild, TagsOfEveryKindKeepTheirDefinitionsAndOrder) {
    const fs::path file = testFolder() / "kinds.cdx";
    {
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList names(11);
        CdxKeyList amounts(8, Type::Numeric);
        CdxKeyList dates(8, Type::Date);
        CdxKeyList codes(3);
        const std::vector<double> values{12.5, -3, 0, 1e6, -0.25, 7};
        for (uint32_t r = 1; r <= values.size(); ++r) {
            names.add(cpf(1000 - r * 7 % 5), r);
            amounts.add(store::cdxNumericKey(values[r - 1]), r);
            dates.add(store::cdxDateKey(r == 3 ? Date() : *Date::fromYmd(2018, 7 - r, 1)), r);
            codes.add(r % 2 ? "AB" : "AA", r);
        }
        cdx.addTag({"cpf", "CPF", "", false}, names);
        cdx.addTag({"Valor", "VALOR", "VALOR > 0 .AND. !DELETED()", false}, amounts);
        cdx.addTag({"DATA", "DTA", "", false}, dates);
        cdx.addTag({"CODIGO", "upper(COD)", "", true}, codes);
        cdx.close();
    }
    CdxFile cdx =
        CdxFile::open(file.string(), CdxFile::Access::ReadOnly, CdxFile::Sharing::Exclusive);
    const auto tags = cdx.tags();
    ASSERT_EQ(tags.size(), 4u);  // creation order, not name order
    EXPECT_EQ(tags[0].name, "CPF");
    EXPECT_EQ(tags[1].name, "VALOR");
    EXPECT_EQ(tags[1].forExpression, "VALOR > 0 .AND. !DELETED()");
    EXPECT_TRUE(tags[1].hasFor);
    EXPECT_EQ(tags[2].name, "DATA");
    EXPECT_EQ(tags[3].keyExpression, "upper(COD)");
    EXPECT_TRUE(tags[3].unique);
    EXPECT_FALSE(tags[0].unique || tags[0].hasFor);
    EXPECT_EQ(tags[0].keyLength, 11);
    EXPECT_EQ(tags[2].keyLength, 8);
    ASSERT_TRUE(cdx.findTag(" valor "));
    EXPECT_FALSE(cdx.findTag("NADA"));
    EXPECT_THROW(cdx.tag("NADA", Type::Character), base::Error);
    EXPECT_THROW(cdx.tag("CPF", Type::Numeric), base::Error);  // 11 bytes cannot be a number

    std::vector<double> amounts;
    for (const CdxEntry& e : cdx.tag("valor", Type::Numeric).entries())
        amounts.push_back(store::cdxNumericValue(e.key));
    EXPECT_EQ(amounts, (std::vector<double>{-3, -0.25, 0, 7, 12.5, 1e6}));

    std::vector<uint32_t> byDate;
    for (const CdxEntry& e : cdx.tag("DATA", Type::Date).entries())
        byDate.push_back(e.recno);
    EXPECT_EQ(byDate, (std::vector<uint32_t>{3, 6, 5, 4, 2, 1}));  // empty date first

    // Unique: one entry per key, the lowest record number.
    const auto codes = cdx.tag("CODIGO", Type::Character).entries();
    EXPECT_EQ(codes, (std::vector<CdxEntry>{{"AA ", 2}, {"AB ", 1}}));

    // Equal keys are ordered by record number.
    const auto cpfs = cdx.tag("CPF", Type::Character).entries();
    ASSERT_EQ(cpfs.size(), 6u);
    for (size_t i = 1; i < cpfs.size(); ++i)
        EXPECT_TRUE(cpfs[i - 1].key < cpfs[i].key ||
                    (cpfs[i - 1].key == cpfs[i].key && cpfs[i - 1].recno < cpfs[i].recno));
    EXPECT_TRUE(cdx.check().ok());
}

TEST(CdxBuild, ReplacingAndDroppingTags) {
    const fs::path file = testFolder() / "drop.cdx";
    CdxFile cdx = CdxFile::create(file.string());
    CdxKeyList keys(11);
    for (uint32_t r = 1; r <= 3000; ++r)
        keys.add(cpf(r * 7919 % 3001), r);
    cdx.addTag({"A", "CPF", "", false}, keys);
    cdx.addTag({"B", "CPF", "", false}, keys);
    CdxKeyList few(4);
    few.add("ZZ", 9);
    cdx.addTag({"A", "LEFT(CPF,4)", "", false}, few);  // replaces A
    EXPECT_EQ(cdx.tags().size(), 2u);
    EXPECT_EQ(cdx.tag("A", Type::Character).entries(), (std::vector<CdxEntry>{{"ZZ  ", 9}}));
    EXPECT_TRUE(cdx.dropTag("b"));
    EXPECT_FALSE(cdx.dropTag("B"));
    CdxTag a = cdx.tag("A", Type::Character);
    // The freed pages are reused by the tree that grows afterwards.
    cdx.flush();
    const auto sizeBefore = fs::file_size(file);
    for (uint32_t r = 1; r <= 2000; ++r)
        a.insert(cpf(r), r);
    cdx.flush();
    EXPECT_EQ(fs::file_size(file), sizeBefore);
    EXPECT_EQ(a.entries().size(), 2001u);
    EXPECT_TRUE(cdx.check().ok());
}

TEST(CdxBuild, BadDefinitionsAreRefused) {
    const fs::path file = testFolder() / "bad.cdx";
    CdxFile cdx = CdxFile::create(file.string());
    CdxKeyList keys(5);
    EXPECT_THROW(cdx.addTag({"NOME LONGO DEMAIS", "X", "", false}, keys), base::Error);
    EXPECT_THROW(cdx.addTag({"A-B", "X", "", false}, keys), base::Error);
    EXPECT_THROW(cdx.addTag({"A", "", "", false}, keys), base::Error);
    EXPECT_THROW(cdx.addTag({"A", std::string(600, 'X'), "", false}, keys), base::Error);
    EXPECT_THROW(CdxKeyList(0), base::Error);
    EXPECT_THROW(CdxKeyList(241), base::Error);
    EXPECT_THROW(cdx.addTag({"N", "X", "", false}, CdxKeyList(5, Type::Numeric)), base::Error);
    EXPECT_TRUE(cdx.tags().empty());
}

// ---------------------------------------------------------------- changing

// Random inserts split pages at every level; removing most of the keys
// empties pages and shrinks the tree again. The tag always agrees with a
// plain ordered set, read forwards and backwards, and after reopening.
TEST(CdxChange, ManyInsertsAndRemovalsKeepTheOrder) {
    const fs::path file = testFolder() / "many.cdx";
    std::mt19937 random(7);
    Model model;
    {
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList keys(11);
        for (uint32_t r = 1; r <= 500; ++r) {
            keys.add(cpf(r * 1000), r);
            model.insert({cpf(r * 1000), r});
        }
        CdxTag tag = cdx.addTag({"CPF", "CPF", "", false}, keys);
        for (uint32_t r = 501; r <= 30000; ++r) {
            // Few distinct keys, so equal keys span pages too.
            const std::string key = cpf(random() % 4000 * 250);
            ASSERT_TRUE(tag.insert(key, r));
            model.insert({key, r});
        }
        EXPECT_FALSE(tag.insert(cpf(1000), 1));  // already there
        EXPECT_EQ(tag.entries(), modelEntries(model));
        const auto result = cdx.check();
        EXPECT_TRUE(result.ok()) << (result.problems.empty() ? "" : result.problems[0]);
    }
    {
        CdxFile cdx =
            CdxFile::open(file.string(), CdxFile::Access::ReadWrite, CdxFile::Sharing::Exclusive);
        CdxTag tag = cdx.tag("CPF", Type::Character);
        EXPECT_EQ(walkForward(tag), modelEntries(model));
        EXPECT_EQ(walkBackward(tag), modelEntries(model));
        std::vector<std::pair<std::string, uint32_t>> all(model.begin(), model.end());
        std::shuffle(all.begin(), all.end(), random);
        for (size_t i = 0; i < all.size() - 50; ++i) {
            ASSERT_TRUE(tag.remove(all[i].first, all[i].second));
            model.erase(all[i]);
        }
        EXPECT_FALSE(tag.remove(all[0].first, all[0].second));
        EXPECT_EQ(tag.entries(), modelEntries(model));
    }
    {
        CdxFile cdx =
            CdxFile::open(file.string(), CdxFile::Access::ReadWrite, CdxFile::Sharing::Exclusive);
        CdxTag tag = cdx.tag("CPF", Type::Character);
        EXPECT_EQ(walkBackward(tag), modelEntries(model));
        for (const auto& [key, recno] : Model(model))
            ASSERT_TRUE(tag.remove(key, recno));
        CdxCursor c = tag.cursor();
        EXPECT_FALSE(c.first());
        EXPECT_TRUE(c.eof());
        EXPECT_TRUE(cdx.check().ok());
        // The emptied tag grows again from its root.
        EXPECT_TRUE(tag.insert("123", 4));
        EXPECT_EQ(tag.entries(), (std::vector<CdxEntry>{{"123        ", 4}}));
    }
}

// The extremes of key length: one-byte logical keys (all duplicates) and
// 240-byte keys, of which an interior page holds only two.
TEST(CdxChange, ShortestAndLongestKeys) {
    const fs::path file = testFolder() / "extremes.cdx";
    std::mt19937 random(5);
    CdxFile cdx = CdxFile::create(file.string());
    CdxTag flags = cdx.addTag({"FLAG", "PAGO", "", false}, CdxKeyList(1, Type::Logical));
    CdxTag names = cdx.addTag({"NOME", "NOME", "", false}, CdxKeyList(240));
    Model flagModel, nameModel;
    for (uint32_t r = 1; r <= 1500; ++r) {
        const std::string flag = store::cdxLogicalKey(random() % 3 == 0);
        ASSERT_TRUE(flags.insert(flag, r));
        flagModel.insert({flag, r});
        std::string name(random() % 240, 'A' + static_cast<char>(random() % 3));
        name += cpf(random() % 1000);
        name = store::cdxCharacterKey(name, 240);
        ASSERT_TRUE(names.insert(name, r));
        nameModel.insert({name, r});
    }
    for (uint32_t r = 1; r <= 1500; r += 2) {
        const auto flag = std::find_if(flagModel.begin(), flagModel.end(),
                                       [&](const auto& e) { return e.second == r; });
        ASSERT_TRUE(flags.remove(flag->first, r));
        flagModel.erase(flag);
        const auto name = std::find_if(nameModel.begin(), nameModel.end(),
                                       [&](const auto& e) { return e.second == r; });
        ASSERT_TRUE(names.remove(name->first, r));
        nameModel.erase(name);
    }
    EXPECT_EQ(walkForward(flags), modelEntries(flagModel));
    EXPECT_EQ(walkBackward(names), modelEntries(nameModel));
    const auto result = cdx.check({{"FLAG", Type::Logical}});
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.problems.front());
}

TEST(CdxChange, UpdateMovesARecordAndUniqueTagsRefuseDuplicates) {
    const fs::path file = testFolder() / "update.cdx";
    CdxFile cdx = CdxFile::create(file.string());
    CdxKeyList keys(6);
    keys.add("B", 1);
    keys.add("D", 2);
    CdxTag tag = cdx.addTag({"K", "K", "", false}, keys);
    CdxTag unique = cdx.addTag({"U", "K", "", true}, keys);
    tag.update("B", "E", 1);
    EXPECT_EQ(tag.entries(), (std::vector<CdxEntry>{{"D     ", 2}, {"E     ", 1}}));
    tag.update("E", "E", 1);
    EXPECT_EQ(tag.entries().size(), 2u);
    EXPECT_FALSE(unique.insert("D", 7));
    EXPECT_TRUE(unique.insert("C", 7));
    EXPECT_EQ(unique.entries(),
              (std::vector<CdxEntry>{{"B     ", 1}, {"C     ", 7}, {"D     ", 2}}));
}

TEST(CdxChange, KeysInOrderFillTheirPages) {
    const fs::path file = testFolder() / "append.cdx";
    CdxFile cdx = CdxFile::create(file.string());
    CdxTag tag = cdx.addTag({"CPF", "CPF", "", false}, CdxKeyList(11));
    for (uint32_t r = 1; r <= 50000; ++r)
        tag.insert(cpf(uint64_t{r} * 1999993), r);
    cdx.close();
    // 11-byte keys sharing about half their digits with the one before take
    // ~10 bytes each: 50,000 keys need ~1,000 full leaves. Pages left half
    // empty by each append would double that.
    EXPECT_LT(fs::file_size(file), 1300u * 512);
}

// A page whose entries were written narrow gets wider entries when a larger
// record number arrives, and other programs read it back.
TEST(CdxChange, LargeRecordNumbersWidenTheirPage) {
    const fs::path file = testFolder() / "wide.cdx";
    Model model;
    {
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList keys(11);
        for (uint32_t r = 1; r <= 20; ++r) {
            keys.add(cpf(r), r);
            model.insert({cpf(r), r});
        }
        CdxTag tag = cdx.addTag({"CPF", "CPF", "", false}, keys);
        for (uint32_t r : {300u, 70000u, 20000000u, 4000000000u}) {
            tag.insert(cpf(r), r);
            model.insert({cpf(r), r});
        }
        cdx.close();
    }
    CdxFile cdx =
        CdxFile::open(file.string(), CdxFile::Access::ReadOnly, CdxFile::Sharing::Exclusive);
    EXPECT_EQ(cdx.tag("CPF", Type::Character).entries(), modelEntries(model));
}

// ---------------------------------------------------------------- cursors

TEST(CdxCursor, SeekExactSoftAndStepping) {
    const fs::path file = testFolder() / "seek.cdx";
    CdxFile cdx = CdxFile::create(file.string());
    CdxKeyList keys(11);
    for (uint32_t r = 1; r <= 5000; ++r)
        keys.add(cpf(r / 3 * 10), r);  // three records per key
    const CdxTag tag = cdx.addTag({"CPF", "CPF", "", false}, keys);
    CdxCursor c = tag.cursor();

    ASSERT_TRUE(c.seek(cpf(12340)));
    EXPECT_EQ(c.key(), cpf(12340));
    EXPECT_EQ(c.recno(), 3702u);  // the lowest record of the key
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.recno(), 3703u);
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.recno(), 3704u);
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.key(), cpf(12350));

    // Soft: a missing key lands on the next one; a prefix finds its first match.
    ASSERT_TRUE(c.seek(cpf(12345)));
    EXPECT_EQ(c.key(), cpf(12350));
    ASSERT_TRUE(c.seek("0000001"));
    EXPECT_EQ(c.key(), "00000010000");
    EXPECT_FALSE(c.seek("9"));
    EXPECT_TRUE(c.eof());
    EXPECT_EQ(c.recno(), 0u);
    EXPECT_TRUE(c.previous());  // from eof to the last entry
    EXPECT_EQ(c.recno(), 5000u);
    EXPECT_FALSE(c.next());
    EXPECT_TRUE(c.eof());

    ASSERT_TRUE(c.first());
    EXPECT_EQ(c.recno(), 1u);
    EXPECT_FALSE(c.previous());
    EXPECT_TRUE(c.bof());
    EXPECT_EQ(c.recno(), 1u);  // stays on the first entry
    EXPECT_TRUE(c.next());
    EXPECT_FALSE(c.bof());

    ASSERT_TRUE(c.seekEntry(cpf(12340), 3703));
    EXPECT_EQ(c.recno(), 3703u);
    ASSERT_TRUE(c.seekEntry(cpf(12340), 3705));  // not there: the entry after it
    EXPECT_EQ(c.key(), cpf(12350));

    // Numeric keys are sought by their image.
    CdxKeyList amounts(8, Type::Numeric);
    for (uint32_t r = 1; r <= 100; ++r)
        amounts.add(store::cdxNumericKey(r * 1.5 - 50), r);
    CdxCursor n = cdx.addTag({"VALOR", "VALOR", "", false}, amounts).cursor();
    ASSERT_TRUE(n.seek(store::cdxNumericKey(-1)));
    EXPECT_EQ(store::cdxNumericValue(n.key()), -0.5);
    EXPECT_EQ(n.recno(), 33u);
}

TEST(CdxCursor, FindsItsPlaceAgainAfterChanges) {
    const fs::path file = testFolder() / "refind.cdx";
    CdxFile cdx = CdxFile::create(file.string());
    CdxKeyList keys(11);
    for (uint32_t r = 1; r <= 3000; ++r)
        keys.add(cpf(r * 10), r);
    CdxTag tag = cdx.addTag({"CPF", "CPF", "", false}, keys);
    CdxCursor c = tag.cursor();
    ASSERT_TRUE(c.seek(cpf(15000)));
    ASSERT_EQ(c.recno(), 1500u);

    // Many inserts before it move the entry to another page: still found.
    for (uint32_t r = 3001; r <= 4000; ++r)
        tag.insert(cpf(13000 + (r - 3000)), r);
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.key(), cpf(15010));
    EXPECT_TRUE(c.previous());
    EXPECT_EQ(c.key(), cpf(15000));

    // Its own entry removed: next() goes to what followed, previous() to what preceded.
    tag.remove(cpf(15000), 1500);
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.key(), cpf(15010));
    tag.remove(cpf(15010), 1501);
    EXPECT_TRUE(c.previous());
    EXPECT_EQ(c.key(), cpf(14990));
    EXPECT_EQ(c.recno(), 1499u);

    // An entry inserted right after it is the next one.
    tag.insert(cpf(14995), 9999);
    EXPECT_TRUE(c.next());
    EXPECT_EQ(c.recno(), 9999u);

    // Everything after it removed: eof.
    CdxCursor end = tag.cursor();
    ASSERT_TRUE(end.last());
    tag.remove(end.key(), end.recno());
    EXPECT_FALSE(end.next());
    EXPECT_TRUE(end.eof());

    // A closed file refuses the handles it gave out.
    cdx.close();
    EXPECT_THROW(c.next(), base::Error);
    EXPECT_THROW(tag.insert("1", 1), base::Error);
}

// ---------------------------------------------------------------- other readers

TEST(CdxCompatibility, IndependentReaderAgreesWithOurOrder) {
    if (!haveIndexDump()) GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
    const fs::path file = testFolder() / "IRM2.CDX";
    std::mt19937 random(11);
    {
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList keys(11);
        for (uint32_t r = 1; r <= 4000; ++r)
            keys.add(cpf(random() % 100000000000ull), r);
        CdxTag tag = cdx.addTag({"IRM2", "CPF", "", false}, keys);
        // Changes after the build: splits, removals, duplicates, short keys, wide records.
        for (uint32_t r = 4001; r <= 9000; ++r)
            tag.insert(cpf(random() % 3000 * 33), r);
        for (uint32_t r = 4001; r <= 6000; r += 3)
            tag.remove(cpf(0), r);
        tag.insert("1", 70000);
        tag.insert("", 70001);
        CdxKeyList amounts(8, Type::Numeric);
        for (uint32_t r = 1; r <= 2000; ++r)
            amounts.add(store::cdxNumericKey((static_cast<int>(random() % 20001) - 10000) / 4.0),
                        r);
        cdx.addTag({"VALOR", "VALOR", "", false}, amounts);
        cdx.close();
    }
    CdxFile cdx =
        CdxFile::open(file.string(), CdxFile::Access::ReadOnly, CdxFile::Sharing::Exclusive);

    std::vector<std::string> expected;
    for (const CdxEntry& e : cdx.tag("IRM2", Type::Character).entries()) {
        std::string key = e.key;
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        expected.push_back(key + " " + std::to_string(e.recno));
    }
    EXPECT_EQ(indexDump(file, "IRM2", "char"), expected);

    expected.clear();
    for (const CdxEntry& e : cdx.tag("VALOR", Type::Numeric).entries()) {
        std::ostringstream line;
        line << store::cdxNumericValue(e.key) << " " << e.recno;
        expected.push_back(line.str());
    }
    EXPECT_EQ(indexDump(file, "VALOR", "num"), expected);
}
