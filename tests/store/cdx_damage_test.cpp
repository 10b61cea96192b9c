// Damaged compound index files: every operation either works or gives a
// Portuguese base::Error; nothing crashes, hangs or writes to the file; the
// integrity check lists what it found.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "base/cp850.h"
#include "base/error.h"
#include "store/cdx.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Type;
using store::CdxCursor;
using store::CdxFile;
using store::CdxKeyList;
using store::CdxTag;
using testing::HasSubstr;

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

using Bytes = std::string;

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

uint32_t le16(const Bytes& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t le32(const Bytes& b, size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}
uint32_t be32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24 |
           static_cast<uint8_t>(b[at + 1]) << 16 | static_cast<uint8_t>(b[at + 2]) << 8 |
           static_cast<uint8_t>(b[at + 3]);
}
void putLe16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
void putLe32(Bytes& b, size_t at, uint32_t v) {
    putLe16(b, at, v);
    putLe16(b, at + 2, v >> 16);
}
void putBe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

std::string key11(unsigned n) {
    std::string digits = std::to_string(n);
    return std::string(11 - digits.size(), '0') + digits;
}

// The sound file every case starts from: tag CPF (character, three levels)
// created first, tag VALOR (numeric, one leaf) second.
struct Layout {
    uint32_t cpfHeader = 0, valorHeader = 0;
    uint32_t cpfRoot = 0, valorRoot = 0;
    std::vector<uint32_t> cpfLeaves;  // left to right
    uint32_t interior = 0;            // a child of the root, above leaves
};

constexpr unsigned kKeys = 6000;

// Where the child pointer of entry i of an interior page of tag CPF lies.
size_t childField(uint32_t page, size_t i) {
    return page + 12 + i * (11 + 8) + 11 + 4;
}

// Reads the tree of a tag from the bytes (the test's own reading of the format).
Layout describe(const Bytes& b) {
    Layout l;
    const uint32_t directoryLeaf = le32(b, 0);
    const uint32_t entries = le16(b, directoryLeaf + 2);
    const unsigned width = static_cast<uint8_t>(b[directoryLeaf + 23]);
    const uint32_t mask = le32(b, directoryLeaf + 14);
    std::vector<uint32_t> headers;
    for (uint32_t i = 0; i < entries; ++i)
        headers.push_back(le32(b, directoryLeaf + 24 + i * width) & mask);
    std::sort(headers.begin(), headers.end());
    l.cpfHeader = headers.at(0);
    l.valorHeader = headers.at(1);
    l.cpfRoot = le32(b, l.cpfHeader);
    l.valorRoot = le32(b, l.valorHeader);
    l.interior = be32(b, childField(l.cpfRoot, 0));
    uint32_t page = l.interior;
    while (!(le16(b, page) & 2))
        page = be32(b, childField(page, 0));
    while (page != 0xFFFFFFFF) {
        l.cpfLeaves.push_back(page);
        page = le32(b, page + 8);
    }
    return l;
}

class CdxDamage : public ::testing::Test {
  protected:
    fs::path dir, file;
    Bytes sound;
    Layout layout;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("kdx2_cdx_" + std::to_string(::getpid())) / info->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "IRM9.CDX";
        CdxFile cdx = CdxFile::create(file.string());
        CdxKeyList keys(11);
        for (unsigned r = 1; r <= kKeys; ++r)
            keys.add(key11(r * 37 % 99991), r);
        cdx.addTag({"CPF", "CPF", "", false}, keys);
        CdxKeyList amounts(8, Type::Numeric);
        for (unsigned r = 1; r <= 20; ++r)
            amounts.add(store::cdxNumericKey(r * 2.5), r);
        cdx.addTag({"VALOR", "VALOR", "", false}, amounts);
        cdx.close();
        sound = readBytes(file);
        layout = describe(sound);
        ASSERT_GT(layout.cpfLeaves.size(), 26u);  // the root is above interior pages
        ASSERT_FALSE(le16(sound, layout.interior) & 2);
    }

    // Every thrown error must be a Portuguese message about the damage.
    void expectDamageMessage(const base::Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("índice"_cp));
        EXPECT_THAT(error.what(), HasSubstr(file.string()));
        EXPECT_THAT(error.what(), HasSubstr("danificado"_cp)) << error.what();
    }

    // Tries one operation; keeps the damage reports.
    int failures = 0;
    std::string messages;
    void attempt(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const base::Error& error) {
            ++failures;
            messages += error.what();
            messages += '\n';
            expectDamageMessage(error);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "not a base::Error: " << error.what();
        }
    }

    // Uses the damaged file in every way a program would, reads first, then
    // changes; returns the problems check() listed. Once the damage was seen
    // no change may reach the file.
    std::vector<std::string> workOut(const Bytes& damaged, bool expectUnchanged = true) {
        writeBytes(file, damaged);
        failures = 0;
        messages.clear();
        std::vector<std::string> problems;
        std::optional<CdxFile> cdx;
        attempt([&] {
            cdx.emplace(CdxFile::open(file.string(), CdxFile::Access::ReadWrite,
                                      CdxFile::Sharing::Exclusive));
        });
        if (cdx) {
            CdxTag cpf, valor;
            attempt([&] { cpf = cdx->tag("CPF", Type::Character); });
            attempt([&] { valor = cdx->tag("VALOR", Type::Numeric); });
            attempt([&] { cdx->tags(); });
            for (CdxTag* tag : {&cpf, &valor}) {
                if (tag->name().empty()) continue;
                attempt([&] { tag->entries(); });
                attempt([&] {
                    CdxCursor c = tag->cursor();
                    for (bool on = c.first(); on; on = c.next()) {
                    }
                });
                attempt([&] {
                    CdxCursor c = tag->cursor();
                    for (bool on = c.last(); on; on = c.previous()) {
                    }
                });
                for (unsigned n : {0u, 5000u, 50000u, 99990u})
                    attempt([&] { tag->cursor().seek(key11(n)); });
            }
            try {
                problems = cdx->check({{"VALOR", Type::Numeric}}).problems;
            } catch (const std::exception& error) {
                ADD_FAILURE() << "check() threw: " << error.what();
            }
            for (CdxTag* tag : {&cpf, &valor}) {
                if (tag->name().empty()) continue;
                attempt([&] { tag->insert(key11(77777), 99999); });
                attempt([&] { tag->remove(key11(37), 1); });
                attempt([&] { tag->update(key11(74), key11(1), 2); });
            }
            attempt([&] { cdx->close(); });
        }
        if (expectUnchanged) {
            EXPECT_EQ(readBytes(file) == damaged, true) << "the damaged file was written to";
        }
        return problems;
    }
};

}  // namespace

TEST_F(CdxDamage, SoundFileWorksOutCleanly) {
    EXPECT_TRUE(workOut(sound, false).empty());
    EXPECT_EQ(failures, 0);
}

TEST_F(CdxDamage, TruncatedFiles) {
    for (size_t size :
         {size_t{700}, sound.size() - 100, size_t{layout.cpfLeaves[40]}, sound.size() - 2 * 512}) {
        SCOPED_TRACE(size);
        const auto problems = workOut(sound.substr(0, size));
        EXPECT_GT(failures, 0);
        if (size % 512 == 0) {
            EXPECT_FALSE(problems.empty());
        }
    }
}

TEST_F(CdxDamage, PagePointersOutsideTheFile) {
    const uint32_t beyond = static_cast<uint32_t>(sound.size() + 40 * 512);
    auto damageAndCheck = [&](const std::function<void(Bytes&)>& damage) {
        Bytes b = sound;
        damage(b);
        std::string problems;
        for (const std::string& problem : workOut(b))
            problems += problem + "\n";
        EXPECT_GT(failures, 0);
        // Reported by check(), or by open() when the file cannot be used at all.
        EXPECT_THAT(problems + messages, HasSubstr("fora do arquivo"_cp));
    };
    {
        SCOPED_TRACE("root of a tag");
        damageAndCheck([&](Bytes& b) { putLe32(b, layout.cpfHeader, beyond); });
    }
    {
        SCOPED_TRACE("child of an interior page");
        damageAndCheck([&](Bytes& b) { putBe32(b, childField(layout.interior, 4), beyond); });
    }
    {
        SCOPED_TRACE("right sibling of a leaf");
        damageAndCheck([&](Bytes& b) { putLe32(b, layout.cpfLeaves[3] + 8, beyond); });
    }
    {
        SCOPED_TRACE("root of the tag directory");
        damageAndCheck([&](Bytes& b) { putLe32(b, 0, beyond); });
    }
}

TEST_F(CdxDamage, PagePointersToTheWrongPlace) {
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases{
        {"child not on a page boundary",
         [&](Bytes& b) { putBe32(b, childField(layout.interior, 1), layout.cpfLeaves[1] + 3); }},
        {"child pointing at the tag header",
         [&](Bytes& b) { putBe32(b, childField(layout.interior, 1), layout.cpfHeader); }},
        {"child pointing at the file header",
         [&](Bytes& b) { putBe32(b, childField(layout.interior, 1), 0); }},
        {"child pointing back at the root",
         [&](Bytes& b) { putBe32(b, childField(layout.interior, 1), layout.cpfRoot); }},
        {"child pointing at a page of the other tag",
         [&](Bytes& b) { putBe32(b, childField(layout.interior, 1), layout.valorRoot); }},
    };
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        Bytes b = sound;
        damage(b);
        const auto problems = workOut(b);
        EXPECT_GT(failures, 0);
        EXPECT_FALSE(problems.empty());
    }
}

TEST_F(CdxDamage, SiblingLoops) {
    const auto& leaves = layout.cpfLeaves;
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases{
        {"leaf pointing right to itself", [&](Bytes& b) { putLe32(b, leaves[5] + 8, leaves[5]); }},
        {"leaf pointing right to an earlier leaf",
         [&](Bytes& b) { putLe32(b, leaves[30] + 8, leaves[2]); }},
        {"leaf pointing left to a later leaf",
         [&](Bytes& b) { putLe32(b, leaves[8] + 4, leaves[20]); }},
        {"last leaf pointing right to the first",
         [&](Bytes& b) { putLe32(b, leaves.back() + 8, leaves.front()); }},
    };
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        Bytes b = sound;
        damage(b);
        const auto problems = workOut(b);
        EXPECT_GT(failures, 0);
        EXPECT_FALSE(problems.empty());
    }
}

TEST_F(CdxDamage, WrongKeyLengthsAndCounts) {
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases{
        {"key length one longer", [&](Bytes& b) { putLe16(b, layout.cpfHeader + 12, 12); }},
        {"key length one shorter", [&](Bytes& b) { putLe16(b, layout.cpfHeader + 12, 10); }},
        {"key length zero", [&](Bytes& b) { putLe16(b, layout.cpfHeader + 12, 0); }},
        {"key length too long", [&](Bytes& b) { putLe16(b, layout.cpfHeader + 12, 300); }},
        {"numeric key length", [&](Bytes& b) { putLe16(b, layout.valorHeader + 12, 9); }},
        {"leaf key count", [&](Bytes& b) { putLe16(b, layout.cpfLeaves[7] + 2, 0xFFFF); }},
        {"interior key count", [&](Bytes& b) { putLe16(b, layout.interior + 2, 400); }},
        {"leaf widths", [&](Bytes& b) { b[layout.cpfLeaves[9] + 23] = 9; }},
        {"leaf free count", [&](Bytes& b) { putLe16(b, layout.cpfLeaves[9] + 12, 3); }},
        {"file header signature", [&](Bytes& b) { b[15] = 7; }},
    };
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        Bytes b = sound;
        damage(b);
        workOut(b);
        EXPECT_GT(failures, 0);
    }
}

// A change aimed straight at the damage, before anything else was read.
TEST_F(CdxDamage, ChangesIntoDamagedPagesAreRefused) {
    Bytes b = sound;
    putLe32(b, layout.cpfLeaves.back() + 8, layout.cpfLeaves.front());
    putLe16(b, layout.cpfLeaves.front() + 2, 0xFFFF);
    writeBytes(file, b);
    {
        CdxFile cdx =
            CdxFile::open(file.string(), CdxFile::Access::ReadWrite, CdxFile::Sharing::Exclusive);
        CdxTag tag = cdx.tag("CPF", Type::Character);
        EXPECT_THROW(tag.insert("0", 1), base::Error);
        // A page elsewhere is sound, but the file is known to be damaged now.
        EXPECT_THROW(tag.insert(key11(50000), 70000), base::Error);
        cdx.close();
    }
    EXPECT_EQ(readBytes(file) == b, true);
}

TEST_F(CdxDamage, MessagesNameTheFileAsTheUserKnowsIt) {
    writeBytes(file, sound.substr(0, 1000));
    try {
        CdxFile::open(file.string(), CdxFile::Access::ReadOnly, CdxFile::Sharing::Shared,
                      "C:\\IR2018\\IRM9.CDX");
        ADD_FAILURE() << "a truncated file was opened";
    } catch (const base::Error& error) {
        EXPECT_THAT(error.what(), HasSubstr("O índice C:\\IR2018\\IRM9.CDX está danificado"_cp));
    }
}

// The check goes on past each problem: every damaged place of every tag is
// listed, and the readable entries are still returned.
TEST_F(CdxDamage, CheckListsEveryProblemOfEveryTag) {
    Bytes b = sound;
    const auto& leaves = layout.cpfLeaves;
    putLe16(b, leaves[4] + 2, 0xFFFF);           // a leaf that does not decode
    putLe32(b, leaves[40] + 8, leaves[2]);       // a sibling loop
    putBe32(b, layout.cpfRoot + 12 + 11, 1);     // a separator below its page's keys
    putLe32(b, layout.valorHeader, 0x7FFFFE00);  // the other tag's root outside the file
    putLe32(b, 4, leaves[10]);                   // the free list into a used page
    writeBytes(file, b);
    CdxFile cdx =
        CdxFile::open(file.string(), CdxFile::Access::ReadOnly, CdxFile::Sharing::Exclusive);
    const auto result = cdx.check({{"VALOR", Type::Numeric}});
    std::string all;
    for (const std::string& problem : result.problems)
        all += problem + "\n";
    EXPECT_THAT(all, HasSubstr("Ordem CPF: página na posição "_cp + std::to_string(leaves[4]) +
                               ": 65535 chaves"_cp));
    EXPECT_THAT(all, HasSubstr("Ordem CPF: página na posição "_cp + std::to_string(leaves[40]) +
                               ": irmã à direita na posição "_cp + std::to_string(leaves[2])));
    EXPECT_THAT(all, HasSubstr("Ordem CPF: página na posição "_cp + std::to_string(layout.cpfRoot) +
                               ", entrada 1: menor que a última chave da página filha"_cp));
    EXPECT_THAT(all, HasSubstr("Ordem VALOR: cabeçalho: raiz: página na posição 2147483136 "
                               "fora do arquivo"_cp));
    EXPECT_THAT(all, HasSubstr("Lista de páginas livres: página na posição "_cp +
                               std::to_string(leaves[10]) + " usada também pela ordem CPF"_cp));
    ASSERT_EQ(result.tags.size(), 2u);
    EXPECT_EQ(result.tags[0].name, "CPF");
    // Only the undecodable leaf's entries are missing, and the rest are in order.
    const auto& entries = result.tags[0].entries;
    EXPECT_GT(entries.size(), kKeys - 200);
    EXPECT_LT(entries.size(), kKeys);
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return std::tie(a.key, a.recno) < std::tie(b.key, b.recno);
    }));
    EXPECT_TRUE(result.tags[1].entries.empty());
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(readBytes(file) == b, true);
}
