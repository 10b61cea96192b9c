// Tables through real files: the on-disk layout every workstation shares,
// checked byte by byte and read back by independent readers, and the table
// operations (fields, delete filter, pack, zap, copy, indexes, seek, skip).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/dbf.h"
#include "store_fixture.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Date;
using base::Type;
using base::Value;
using store::FieldDef;
using store::OpenMode;
using store::Table;
using testing::HasSubstr;
using testing_store::runCommand;
using testing_store::runPython;

namespace {

uint16_t le16(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

const store::Structure kSmall = {
    {"CPF", Type::Character, 11, 0}, {"NOME", Type::Character, 20, 0},
    {"VALOR", Type::Numeric, 12, 2}, {"DATA", Type::Date, 8, 0},
    {"OK", Type::Logical, 1, 0},
};

class TableTest : public testing_store::StoreTest {
  protected:
    std::unique_ptr<Table> makeSmall(const std::string& name = "C:\\DADOS\\PEQ",
                                     OpenMode mode = OpenMode::Exclusive) {
        Table::create(name, kSmall);
        return Table::open(name, mode);
    }
    static void add(Table& t, const std::string& cpf, const std::string& nome, double valor) {
        ASSERT_TRUE(t.append());
        t.put("CPF", Value(cpf));
        t.put("NOME", Value(nome));
        t.put("VALOR", Value(valor));
        t.unlock();
    }
    static std::vector<std::string> cpfsInOrder(Table& t) {
        std::vector<std::string> out;
        for (t.goTop(); !t.eof(); t.skip())
            out.push_back(base::rtrim(t.get("CPF").text()));
        return out;
    }
};

// ---- The file layout ----

TEST_F(TableTest, EveryCreatedLayoutHasAValidHeaderAndItsMessage) {
    for (int number : {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                       14, 15, 16, 17, 48, 49, 50, 52, 56, 57, 58, 59}) {
        SCOPED_TRACE(number);
        fb.messages.clear();
        const std::string name = "T" + std::to_string(number);
        ASSERT_TRUE(store::CRIA(std::to_string(number), name));
        const std::string message = store::creationMessage(number);
        if (message.empty())
            EXPECT_TRUE(fb.messages.empty());
        else
            EXPECT_THAT(fb.messages, testing::ElementsAre(message));

        const store::Structure fields = *store::tableLayout(number);
        const auto b = bytesOf("DADOS/" + name + ".DBF");
        const size_t headerLength = 32 + 32 * fields.size() + 2;
        size_t recordLength = 1;
        for (const FieldDef& f : fields)
            recordLength += static_cast<size_t>(f.width);
        ASSERT_EQ(b.size(), headerLength + 1);  // header, descriptors, 0x0D, 0x00, 0x1A
        EXPECT_EQ(b[0], 0x03);
        EXPECT_EQ(le32(b, 4), 0u);
        EXPECT_EQ(le16(b, 8), headerLength);
        EXPECT_EQ(le16(b, 10), recordLength);
        EXPECT_EQ(b[headerLength - 2], 0x0D);
        EXPECT_EQ(b[headerLength - 1], 0x00);
        EXPECT_EQ(b[headerLength], 0x1A);
        for (size_t i = 0; i < fields.size(); ++i) {
            const size_t d = 32 + 32 * i;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[d])), fields[i].name);
            EXPECT_EQ(b[d + 11], static_cast<unsigned char>(fields[i].type));
            EXPECT_EQ(b[d + 16] | (fields[i].type == Type::Character ? b[d + 17] << 8 : 0),
                      fields[i].width);
        }
        // Numbers n and n + 20 share one structure.
        if (number <= 17) {
            EXPECT_EQ(store::tableLayout(number + 20), fields);
        }
    }
    // Numbers of supplied tables have no structure: nothing is created.
    EXPECT_FALSE(store::CRIA("42", "CODEPEN"));
    EXPECT_FALSE(platform::fileExists("C:\\DADOS\\CODEPEN.DBF"));
}

TEST_F(TableTest, LayoutsHoldTheDocumentedFieldsInOrder) {
    const auto names = [](int number) {
        std::vector<std::string> out;
        const store::Structure fields = *store::tableLayout(number);
        for (const FieldDef& f : fields)
            out.push_back(f.name);
        return out;
    };
    const auto irm2 = names(2);
    ASSERT_EQ(irm2.size(), 21u + 91u);
    EXPECT_EQ(irm2[20], "NUM_DOC");
    EXPECT_EQ(std::vector<std::string>(irm2.begin() + 21, irm2.begin() + 29),
              (std::vector<std::string>{"I1_401", "I1_501", "I1_601", "I1_701", "I1_901", "I1_1001",
                                        "I1_1101", "I1_402"}));
    const auto irm7 = names(7);
    ASSERT_EQ(irm7.size(), 59u + 72u);
    EXPECT_EQ(std::vector<std::string>(irm7.begin() + 59, irm7.begin() + 66),
              (std::vector<std::string>{"REC_MES01", "VAL_TRI01", "IMP_DEV01", "PREJU01",
                                        "IMP_PAG01", "IMP_LEI01", "REC_MES02"}));
    const auto irm10 = names(10);
    EXPECT_EQ(irm10.size(), 1u + 7 + 4 + 1 + 24 + 30 + 2);
    EXPECT_EQ(irm10[13], "I3_01OR");
    EXPECT_EQ(irm10[37], "I7_1A");
    EXPECT_EQ(irm10.back(), "I7_V2");
    EXPECT_EQ(names(14).back(), "NROIMO");
    EXPECT_EQ(names(15).back(), "PERC_CONTR");
    EXPECT_EQ(names(9).back(), "NOVO");
    EXPECT_EQ(names(16).size(), 2u + 6 + 14 + 7);
    EXPECT_EQ(names(52).size(), 26u + 9);
    EXPECT_EQ(names(52)[4], "DIRTRAB");  // stored upper-case
}

TEST_F(TableTest, WideCharacterFieldsKeepTheirWidthInTheDecimalsByte) {
    ASSERT_TRUE(store::CRIA("4", "IRM4"));
    const auto b = bytesOf("DADOS/IRM4.DBF");
    const size_t d = 32 + 32 * 3;  // I7_2, C 512
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(&b[d])), "I7_2");
    EXPECT_EQ(b[d + 16], 0);
    EXPECT_EQ(b[d + 17], 2);
    ASSERT_TRUE(store::CRIA("5", "IRM5"));
    const auto b5 = bytesOf("DADOS/IRM5.DBF");
    EXPECT_EQ(b5[32 + 32 * 3 + 16], 250);
    EXPECT_EQ(b5[32 + 32 * 3 + 17], 0);

    auto t = Table::open("IRM4", OpenMode::Exclusive);
    std::string text(512, ' ');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('A' + i % 26);
    text[511] = 'Z';
    ASSERT_TRUE(t->append());
    t->put("CPF", Value("12345678909"));
    t->put("I7_2", Value(text));
    t->close();
    t = Table::open("IRM4", OpenMode::Shared);
    EXPECT_EQ(t->get("I7_2").text(), text);
    t->close();
    const std::string out = runPython(
        "import dbfread\n"
        "t = dbfread.DBF('" +
        host("DADOS/IRM4.DBF") +
        "', encoding='cp850')\n"
        "print([f.length for f in t.fields if f.name == 'I7_2'][0])\n"
        "r = list(t)[0]\n"
        "print(len(r['I7_2']), r['I7_2'][-1], r['CPF'])\n");
    EXPECT_EQ(out, "512\n512 Z 12345678909\n");
}

TEST_F(TableTest, RecordsUseTheSharedEncodingsAndEndByte) {
    auto t = makeSmall();
    ASSERT_TRUE(t->append());
    t->put("CPF", Value("12345678909"));
    t->put("NOME", Value("JOÃO ÇÉ"_cp));
    t->put("VALOR", Value(-1234.567));
    t->put("DATA", Value(*Date::fromYmd(2024, 2, 29)));
    t->put("OK", Value(true));
    ASSERT_TRUE(t->append());  // blank record
    ASSERT_TRUE(t->append());
    t->put("VALOR", Value(0.5));
    t->deleteRecord();
    t->close();

    const auto b = bytesOf("DADOS/PEQ.DBF");
    const size_t header = le16(b, 8), length = le16(b, 10);
    ASSERT_EQ(length, 1u + 11 + 20 + 12 + 8 + 1);
    ASSERT_EQ(le32(b, 4), 3u);
    ASSERT_EQ(b.size(), header + 3 * length + 1);
    EXPECT_EQ(b.back(), 0x1A);
    const std::string first(reinterpret_cast<const char*>(&b[header]), length);
    EXPECT_EQ(first, " 12345678909" + base::padRight("JOÃO ÇÉ"_cp, 20) + "    -1234.57" +
                         "20240229" + "T");
    const std::string second(reinterpret_cast<const char*>(&b[header + length]), length);
    // A blank record is blanks throughout, as in every xBase program.
    EXPECT_EQ(second, std::string(length, ' '));
    EXPECT_EQ(b[header + 2 * length], '*');
    // The header's date is today's.
    const Date today = Date::today();
    EXPECT_EQ(b[1] + 1900, today.year());
    EXPECT_EQ(b[2], today.month());
    EXPECT_EQ(b[3], today.day());

    // Both independent readers agree.
    const std::string out = runPython(
        "import dbfread, dbf\n"
        "p = '" +
        host("DADOS/PEQ.DBF") +
        "'\n"
        "for r in dbfread.DBF(p, encoding='cp850', load=True).records:\n"
        "    print(repr(r['CPF']), repr(r['NOME']), r['VALOR'], r['DATA'], r['OK'])\n"
        "print(len(dbfread.DBF(p, encoding='cp850', load=True).deleted))\n"
        "t = dbf.Table(p, codepage='cp850')\n"
        "t.open()\n"
        "print([(rec.cpf.strip(), dbf.is_deleted(rec)) for rec in t])\n");
    EXPECT_EQ(out,
              "'12345678909' 'JOÃO ÇÉ' -1234.57 2024-02-29 True\n"
              "'' '' None None None\n"
              "1\n"
              "[('12345678909', False), ('', False), ('', True)]\n");
}

TEST_F(TableTest, FieldValuesAreCheckedAndConverted) {
    auto t = makeSmall();
    ASSERT_TRUE(t->append());
    t->put("NOME", Value(std::string(30, 'X')));  // cut to the width
    EXPECT_EQ(t->get("NOME").text(), std::string(20, 'X'));
    t->put("VALOR", Value(999999999.99));
    EXPECT_DOUBLE_EQ(t->get("VALOR").number(), 999999999.99);
    try {
        t->put("VALOR", Value(1e10));
        FAIL() << "a number wider than its field was stored";
    } catch (const base::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("não cabe"_cp));
        EXPECT_THAT(e.what(), HasSubstr("VALOR"));
    }
    EXPECT_DOUBLE_EQ(t->get("VALOR").number(), 999999999.99);  // unchanged
    EXPECT_THROW(t->put("VALOR", Value("12")), base::Error);
    EXPECT_THROW(t->put("NAOHA", Value("12")), base::Error);
    EXPECT_THROW(t->get("NAOHA"), base::Error);
    // Field names are case-blind.
    t->put("valor", Value(1.005));
    EXPECT_DOUBLE_EQ(t->get("Valor").number(), 1.01);
}

TEST_F(TableTest, LogicalsAndDatesReadTheOtherProgramsForms) {
    auto t = makeSmall();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(t->append());
    t->close();
    // Write flags the way other programs do, straight into the file.
    {
        platform::File f =
            platform::openFile("C:\\DADOS\\PEQ.DBF", platform::File::Mode::ReadWrite);
        const auto layout = store::dbf::readLayout(f);
        const char flags[] = {'Y', 't', 'y', ' ', '?'};
        for (uint32_t n = 1; n <= 5; ++n)
            f.writeAt(layout.recordOffset(n) + layout.offsets[4], &flags[n - 1], 1);
        f.writeAt(layout.recordOffset(5) + layout.offsets[3], "2024130X", 8);  // bad date
    }
    t = Table::open("C:\\DADOS\\PEQ", OpenMode::Shared);
    std::vector<bool> read;
    for (t->goTop(); !t->eof(); t->skip())
        read.push_back(t->get("OK").logical());
    EXPECT_EQ(read, (std::vector<bool>{true, true, true, false, false}));
    t->goTo(5);
    EXPECT_TRUE(t->get("DATA").date().empty());
}

// ---- Deleted records, pack, zap, copy ----

TEST_F(TableTest, DeletedRecordsAreHiddenAndPackRemovesThemThroughANewFile) {
    auto t = makeSmall();
    for (int i = 1; i <= 5; ++i)
        add(*t, std::to_string(i), "N" + std::to_string(i), i);
    t->goTo(2);
    t->deleteRecord();
    t->goTo(4);
    t->deleteRecord();
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"1", "3", "5"}));
    t->goTo(2);
    EXPECT_TRUE(t->deleted());  // goTo reaches any record
    store::setDeletedFilter(false);
    EXPECT_EQ(cpfsInOrder(*t).size(), 5u);
    store::setDeletedFilter(true);
    t->goTo(4);
    t->recall();
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"1", "3", "4", "5"}));

    t->createIndex("C:\\DADOS\\PEQ", "CPF");
    t->flush();
    struct stat before {};
    ::stat(host("DADOS/PEQ.DBF").c_str(), &before);
    t->pack();
    struct stat after {};
    ::stat(host("DADOS/PEQ.DBF").c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);  // written anew and renamed into place
    EXPECT_EQ(t->recCount(), 4u);
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"1", "3", "4", "5"}));
    // The rebuilt index points at the new record numbers.
    ASSERT_TRUE(t->seek(Value("5")));
    EXPECT_EQ(t->recNo(), 4u);
    EXPECT_DOUBLE_EQ(t->get("VALOR").number(), 5);
    t->close();
    // No scratch file is left behind.
    EXPECT_THAT(platform::listFiles("C:\\DADOS\\*.*"),
                testing::UnorderedElementsAre("PEQ.DBF", "PEQ.cdx"));

    t = Table::open("C:\\DADOS\\PEQ", OpenMode::Exclusive);
    t->zap();
    EXPECT_EQ(t->recCount(), 0u);
    t->goTop();
    EXPECT_TRUE(t->eof());
    t->close();
    const auto b = bytesOf("DADOS/PEQ.DBF");
    EXPECT_EQ(b.size(), le16(b, 8) + 1u);
    EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(TableTest, ManyExclusiveAppendsReachTheFileWhateverHappensBetween) {
    auto t = makeSmall();
    t->createIndex("C:\\DADOS\\PEQ", "CPF");
    constexpr int kRows = 30000;  // more than one write block
    for (int i = 1; i <= kRows; ++i) {
        ASSERT_TRUE(t->append());
        t->put("CPF", Value(std::to_string(100000 + i)));
        t->put("VALOR", Value(double(i)));
        if (i == 10) {
            t->goTo(5);  // change a record appended moments ago
            t->put("NOME", Value("QUINTO"));
            t->deleteRecord();
        }
        if (i == 25000) {
            t->goTo(24000);
            EXPECT_DOUBLE_EQ(t->get("VALOR").number(), 24000);
        }
    }
    EXPECT_FALSE(t->seek(Value("100005")));  // deleted: not found
    ASSERT_TRUE(t->seek(Value("129999")));
    EXPECT_EQ(t->recNo(), 29999u);
    t->close();
    const auto b = bytesOf("DADOS/PEQ.DBF");
    EXPECT_EQ(le32(b, 4), uint32_t(kRows));
    EXPECT_EQ(b.size(), le16(b, 8) + size_t(kRows) * le16(b, 10) + 1);
    EXPECT_EQ(b.back(), 0x1A);
    t = Table::open("C:\\DADOS\\PEQ", OpenMode::Shared);
    t->goTo(5);
    EXPECT_TRUE(t->deleted());
    EXPECT_EQ(base::rtrim(t->get("NOME").text()), "QUINTO");
    t->goTo(kRows);
    EXPECT_DOUBLE_EQ(t->get("VALOR").number(), kRows);
}

TEST_F(TableTest, PackAndZapNeedExclusiveUse) {
    auto t = makeSmall("C:\\DADOS\\PEQ", OpenMode::Shared);
    add(*t, "1", "A", 1);
    try {
        t->pack();
        FAIL() << "pack on a shared table";
    } catch (const base::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("exclusivo"));
    }
    EXPECT_THROW(t->zap(), base::Error);
    EXPECT_EQ(t->recCount(), 1u);
}

TEST_F(TableTest, RecordsAreCopiedBetweenTablesByFieldName) {
    auto source = makeSmall();
    add(*source, "111", "PRIMEIRO", 10.5);
    add(*source, "222", "APAGADO", 20);
    source->deleteRecord();
    add(*source, "333", "TERCEIRO", 30.25);
    source->goTo(3);
    ASSERT_TRUE(source->lockRecord());
    source->put("DATA", Value(*Date::fromYmd(2023, 12, 31)));
    source->unlock();

    // Another layout: a field of another type, a narrower text, a missing field, an extra one.
    Table::create("C:\\DADOS\\DEST", {{"NOME", Type::Character, 5, 0},
                                      {"EXTRA", Type::Numeric, 3, 0},
                                      {"VALOR", Type::Numeric, 14, 4},
                                      {"CPF", Type::Numeric, 11, 0},
                                      {"DATA", Type::Date, 8, 0}});
    auto dest = Table::open("C:\\DADOS\\DEST", OpenMode::Shared);
    EXPECT_EQ(store::appendFrom(*dest, *source), 2u);
    dest->goTop();
    EXPECT_EQ(dest->get("NOME").text(), "PRIME");
    EXPECT_DOUBLE_EQ(dest->get("VALOR").number(), 10.5);
    EXPECT_DOUBLE_EQ(dest->get("CPF").number(), 0);  // type differs: left empty
    dest->skip();
    EXPECT_EQ(dest->get("DATA").date(), *Date::fromYmd(2023, 12, 31));
    dest->skip();
    EXPECT_TRUE(dest->eof());
    EXPECT_FALSE(dest->hasTableLock());
    EXPECT_FALSE(dest->isRecordLocked(1));  // each appended record was unlocked
}

// ---- Indexes ----

TEST_F(TableTest, IndexesFollowAppendReplaceAndDelete) {
    auto t = makeSmall("C:\\DADOS\\PEQ", OpenMode::Shared);
    t->createIndex("C:\\DADOS\\PEQ", "CPF");
    t->createIndex("C:\\DADOS\\PEQB", "upper(NOME)");
    t->createIndex("C:\\DADOS\\PEQV", "VALOR");
    t->setOrder(1);
    add(*t, "300", "carla", 3);
    add(*t, "100", "bia", 1);
    add(*t, "200", "ANA", 2);
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"100", "200", "300"}));
    ASSERT_TRUE(t->setOrder("peqb"));
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"200", "100", "300"}));

    // Replace a key: the record moves in every order.
    ASSERT_TRUE(t->setOrder("PEQ"));
    ASSERT_TRUE(t->seek(Value("100")));
    ASSERT_TRUE(t->lockRecord());
    t->put("CPF", Value("400"));
    t->put("VALOR", Value(-5.0));
    t->unlock();
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"200", "300", "400"}));
    t->setOrder(3);
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"400", "200", "300"}));
    ASSERT_TRUE(t->seek(Value(3.0)));
    EXPECT_EQ(base::rtrim(t->get("CPF").text()), "300");
    EXPECT_FALSE(t->seek(Value(2.5)));
    EXPECT_TRUE(t->eof());
    EXPECT_FALSE(t->seek(Value(2.5), true));  // soft: on the next greater key
    EXPECT_EQ(base::rtrim(t->get("CPF").text()), "300");
    EXPECT_THROW(t->seek(Value("3")), base::Error);  // wrong key type

    // A deleted record stays in the index but is skipped.
    t->setOrder(1);
    ASSERT_TRUE(t->seek(Value("300")));
    ASSERT_TRUE(t->lockRecord());
    t->deleteRecord();
    t->unlock();
    EXPECT_FALSE(t->seek(Value("300")));
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"200", "400"}));
    t->close();

    // The independent reader lists the same keys and record numbers.
    int status = 0;
    const std::string dump =
        runCommand("index_dump --type=char " + host("DADOS/PEQ.cdx") + " PEQ 2>&1", &status);
    EXPECT_EQ(status, 0) << dump;
    EXPECT_THAT(dump, testing::ContainsRegex("200 +3\\s+300 +1\\s+400 +2"));
    // And the files reopen with their orders.
    t = Table::open("C:\\DADOS\\PEQ", OpenMode::Shared);
    t->openIndex("C:\\DADOS\\PEQ");
    t->openIndex("C:\\DADOS\\PEQB");
    EXPECT_EQ(t->indexCount(), 2);
    EXPECT_EQ(t->indexKeyExpression(2), "upper(NOME)");
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"200", "400"}));
}

TEST_F(TableTest, SeekMatchesPrefixesAndSkipWalksBothWays) {
    auto t = makeSmall();
    for (const char* cpf : {"22200000000", "11100000000", "22200000001", "33300000000"})
        add(*t, cpf, "X", 0);
    t->createIndex("C:\\DADOS\\PEQ", "CPF");
    EXPECT_TRUE(t->seek(Value("222")));
    EXPECT_EQ(t->get("CPF").text(), "22200000000");
    EXPECT_TRUE(t->found());
    t->skip();
    EXPECT_EQ(t->get("CPF").text(), "22200000001");
    t->skip(-2);
    EXPECT_EQ(t->get("CPF").text(), "11100000000");
    t->skip(-1);
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->get("CPF").text(), "11100000000");
    t->goBottom();
    EXPECT_EQ(t->get("CPF").text(), "33300000000");
    t->skip();
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recNo(), t->recCount() + 1);
    t->skip(-1);
    EXPECT_EQ(t->get("CPF").text(), "33300000000");
    EXPECT_FALSE(t->seek(Value("2229")));
    EXPECT_TRUE(t->eof());
    EXPECT_FALSE(t->found());

    std::vector<uint32_t> rows;
    t->forEachKey(Value("222"), [&](Table& row) {
        rows.push_back(row.recNo());
        // A visitor may change the key it was found by.
        row.put("CPF", Value("99900000000"));
        return true;
    });
    EXPECT_EQ(rows, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"11100000000", "33300000000",
                                                         "99900000000", "99900000000"}));
}

// The rows of a key are what a taxpayer's declaration takes and saves back
// under that key: a row moved by a change since the walk is left out, and an
// index that lists rows under keys their records do not hold (kept from
// before the table was rewritten) stops the walk instead of handing over
// another taxpayer's rows.
TEST_F(TableTest, RowsOfAKeyAreNeverTakenFromAnIndexThatDisagrees) {
    auto t = makeSmall();
    for (const char* cpf : {"11100000000", "22200000000", "11100000000", "22200000000"})
        add(*t, cpf, "X", 0);
    t->createIndex("C:\\DADOS\\PEQ", "CPF");
    std::vector<uint32_t> rows;
    t->forEachKey(Value("111"), [&](Table& row) {
        rows.push_back(row.recNo());
        row.goTo(3);
        row.put("CPF", Value("55500000000"));
        return true;
    });
    EXPECT_EQ(rows, std::vector<uint32_t>{1});
    t->close();

    // Records 1 and 2 trade places in the file; the index stays as it was.
    std::vector<unsigned char> b = bytesOf("DADOS/PEQ.DBF");
    const size_t header = b[8] | (b[9] << 8), length = b[10] | (b[11] << 8);
    std::swap_ranges(b.begin() + long(header), b.begin() + long(header + length),
                     b.begin() + long(header + length));
    std::ofstream(host("DADOS/PEQ.DBF"), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), long(b.size()));

    t = Table::open("C:\\DADOS\\PEQ", OpenMode::Shared);
    t->openIndex("C:\\DADOS\\PEQ");
    int visited = 0;
    try {
        t->forEachKey(Value("222"), [&](Table&) {
            ++visited;
            return true;
        });
        ADD_FAILURE() << "the walk went through an index that disagrees with its table";
    } catch (const base::Error& error) {
        EXPECT_THAT(error.what(), testing::HasSubstr("Refa"));
    }
    EXPECT_EQ(visited, 0);
}

TEST_F(TableTest, FilterAndNaturalOrderNavigation) {
    auto t = makeSmall();
    for (int i = 1; i <= 6; ++i)
        add(*t, std::to_string(i), "", i);
    t->setFilter([](Table& row) { return static_cast<int>(row.get("VALOR").number()) % 2 == 0; });
    EXPECT_EQ(cpfsInOrder(*t), (std::vector<std::string>{"2", "4", "6"}));
    t->goBottom();
    EXPECT_EQ(t->recNo(), 6u);
    t->skip(-1);
    EXPECT_EQ(t->recNo(), 4u);
    t->setFilter({});
    EXPECT_EQ(cpfsInOrder(*t).size(), 6u);
}

TEST_F(TableTest, ExclusiveAndSharedOpensExcludeEachOther) {
    Table::create("C:\\DADOS\\PEQ", kSmall);
    auto a = Table::open("C:\\DADOS\\PEQ", OpenMode::Shared);
    auto b = Table::open("c:\\dados\\peq.dbf", OpenMode::Shared);  // case-blind name
    EXPECT_THROW(Table::open("C:\\DADOS\\PEQ", OpenMode::Exclusive), store::InUseError);
    a->close();
    b->close();
    auto c = Table::open("C:\\DADOS\\PEQ", OpenMode::Exclusive);
    EXPECT_THROW(Table::open("C:\\DADOS\\PEQ", OpenMode::Shared), store::InUseError);
}

TEST_F(TableTest, SharedCopiesSeeEachOthersAppendsAndChanges) {
    auto a = makeSmall("C:\\DADOS\\PEQ", OpenMode::Shared);
    a->createIndex("C:\\DADOS\\PEQ", "CPF");
    auto b = Table::open("C:\\DADOS\\PEQ", OpenMode::Shared);
    b->openIndex("C:\\DADOS\\PEQ");
    add(*a, "500", "A", 1);
    ASSERT_TRUE(b->append());
    EXPECT_EQ(b->recNo(), 2u);
    EXPECT_TRUE(b->isRecordLocked(2));
    EXPECT_FALSE(a->lockRecord(2));  // an appended record stays locked until unlock
    b->put("CPF", Value("100"));
    b->unlock();
    EXPECT_TRUE(a->lockRecord(2));
    a->unlock();
    EXPECT_EQ(a->recCount(), 2u);
    EXPECT_EQ(cpfsInOrder(*a), (std::vector<std::string>{"100", "500"}));
    ASSERT_TRUE(b->seek(Value("500")));
    ASSERT_TRUE(a->seek(Value("500")));
    ASSERT_TRUE(a->lockRecord());
    EXPECT_FALSE(b->lockRecord());
    EXPECT_FALSE(b->lockTable());  // a record lock of another copy blocks the table lock
    a->put("NOME", Value("MUDOU"));
    a->unlock();
    b->skip(0);  // re-read
    EXPECT_EQ(base::rtrim(b->get("NOME").text()), "MUDOU");
    ASSERT_TRUE(b->lockTable());
    EXPECT_FALSE(a->lockRecord());
    EXPECT_FALSE(a->append());      // the table lock keeps others from appending
    EXPECT_TRUE(b->lockRecord(1));  // held through the table lock
    b->unlock();
    EXPECT_TRUE(a->append());
    a->unlock();
    EXPECT_EQ(b->recCount(), 3u);
}

TEST_F(TableTest, LocksSitAtTheByteRangesEveryCopyShares) {
    auto t = makeSmall("C:\\DADOS\\PEQ", OpenMode::Shared);
    for (int i = 0; i < 3; ++i)
        add(*t, std::to_string(i), "", 0);
    // Another program's view of the file: only the byte ranges count.
    const platform::File other =
        platform::openFile("C:\\DADOS\\PEQ.DBF", platform::File::Mode::ReadOnly);
    const auto held = [&](uint64_t start, uint64_t length) {
        return other.isLockedByOther(start, length, platform::LockKind::Shared);
    };
    EXPECT_FALSE(held(1'000'000'000, 1'000'000'001));  // an open alone locks nothing there
    ASSERT_TRUE(t->lockRecord(3));
    EXPECT_TRUE(held(1'000'000'003, 1));
    EXPECT_FALSE(held(1'000'000'000, 3));
    EXPECT_FALSE(held(1'000'000'004, 1'000'000));
    t->unlock();
    EXPECT_FALSE(held(1'000'000'003, 1));
    ASSERT_TRUE(t->lockTable());
    EXPECT_TRUE(held(1'000'000'001, 1));
    EXPECT_TRUE(held(2'000'000'000, 1));
    EXPECT_FALSE(held(1'000'000'000, 1));  // the header lock stays free
    EXPECT_FALSE(held(2'000'000'001, 1));
    t->unlock();
    EXPECT_FALSE(held(1'000'000'001, 1'000'000'000));
}

TEST_F(TableTest, InvalidStructuresAreRefused) {
    EXPECT_THROW(Table::create("C:\\DADOS\\X", {}), base::Error);
    EXPECT_THROW(Table::create("C:\\DADOS\\X", {{"NOMEMUITOLONGO", Type::Character, 5, 0}}),
                 base::Error);
    EXPECT_THROW(
        Table::create("C:\\DADOS\\X", {{"A", Type::Character, 5, 0}, {"A", Type::Character, 5, 0}}),
        base::Error);
    EXPECT_THROW(Table::create("C:\\DADOS\\X", {{"N", Type::Numeric, 25, 0}}), base::Error);
    EXPECT_THROW(Table::create("C:\\DADOS\\X", {{"D", Type::Date, 10, 0}}), base::Error);
    EXPECT_FALSE(platform::fileExists("C:\\DADOS\\X.DBF"));
}

}  // namespace
