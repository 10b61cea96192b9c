#include "store/verify.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/expr.h"
#include "store/journal.h"

namespace kdx2::store {

using namespace base::literals;

namespace {

// Examples shown for each kind of disagreement between an index and its table.
constexpr size_t kExamples = 3;
constexpr size_t kBlockBytes = 1 << 20;

class Report {
  public:
    explicit Report(std::ostream& out) : out_(out) {}
    void line(const std::string& cp850) { out_ << base::cp850::toUtf8(cp850) << '\n'; }
    void problem(const std::string& file, const std::string& text) {
        ++problems_;
        line(file + ": " + text);
    }
    // A disagreement between a table's header, its records and its index.
    // In a terminal's work copy (a scratch table and its index, rebuilt at
    // every opening) it is what a program stopped while typing leaves, and
    // is said without counting as a problem.
    void mismatch(const std::string& file, const std::string& text) {
        if (!workCopy_) return problem(file, text);
        line(file + ": " + text +
             " É uma cópia de trabalho de um terminal, refeita quando ele a abre de novo; "
             "não é um problema dos dados."_cp);
    }
    void setWorkCopy(bool on) { workCopy_ = on; }
    int problems() const { return problems_; }

  private:
    std::ostream& out_;
    int problems_ = 0;
    bool workCopy_ = false;
};

// The scratch copies a terminal keeps of the taxpayer it has open
// ("TMP_203.DBF" and its index).
bool isWorkCopy(const std::string& name) {
    return base::asciiUpper(platform::baseNameOf(name)).starts_with("TMP_");
}

// A table read straight from its file, read-only: the records are handed to
// key expressions one at a time, without the table machinery (which opens
// files for writing).
class TableReader final : public Resolver {
  public:
    std::string name;  // file name as listed
    platform::File file;
    dbf::Layout layout;
    const char* record = nullptr;
    uint32_t recno = 0;

    std::optional<FieldBinding> bindField(std::string_view alias,
                                          std::string_view fieldName) const override {
        if (!alias.empty() && !base::equalsIgnoreCase(alias, platform::baseNameOf(name)))
            return std::nullopt;
        const std::string wanted = base::asciiUpper(base::alltrim(fieldName));
        for (size_t i = 0; i < layout.fields.size(); ++i) {
            const FieldDef& f = layout.fields[i];
            if (f.name == wanted)
                return FieldBinding{static_cast<int>(i), f.type, f.width, f.decimals};
        }
        return std::nullopt;
    }
    base::Value field(int slot) const override {
        const size_t i = static_cast<size_t>(slot);
        return dbf::decodeField(layout.fields[i], record + layout.offsets[i]);
    }
    bool deleted() const override { return record && record[0] == dbf::kDeleted; }
    uint32_t recordNumber() const override { return recno; }

    // Calls visit() with every record (recno and record set), read in blocks.
    template <typename Visit>
    void walk(Visit&& visit) {
        const size_t length = layout.header.recordLength;
        const uint32_t count = layout.header.recordCount;
        const uint32_t perBlock = static_cast<uint32_t>(std::max<size_t>(1, kBlockBytes / length));
        std::vector<char> block(static_cast<size_t>(perBlock) * length);
        for (uint32_t first = 1; first <= count; first += perBlock) {
            const uint32_t n = std::min(perBlock, count - first + 1);
            file.readExact(layout.recordOffset(first), block.data(), size_t(n) * length);
            for (uint32_t i = 0; i < n; ++i) {
                record = block.data() + size_t(i) * length;
                recno = first + i;
                visit();
            }
        }
        record = nullptr;
        recno = 0;
    }
};

std::string plural(uint64_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The drive path of the folder to check, typed on the command line (UTF-8):
// a drive path, or a host folder that gets a drive.
std::string driveFolder(const std::string& typed) {
    const bool drivePath =
        typed.size() >= 2 && typed[1] == ':' && std::isalpha(static_cast<unsigned char>(typed[0]));
    std::string path = drivePath ? platform::absolutePath(base::cp850::fromUtf8(typed))
                                 : platform::driveForHostFolder(typed);
    if (path.back() != '\\') path += '\\';
    return path;
}

// Header, size and record flags of one table; the reader is kept for the
// index check when the header is sound.
std::unique_ptr<TableReader> checkTable(const std::string& folder, const std::string& name,
                                        Report& report) {
    auto table = std::make_unique<TableReader>();
    table->name = name;
    try {
        table->file = platform::openFile(folder + name, platform::File::Mode::ReadOnly);
        table->layout = dbf::readLayout(table->file);
    } catch (const base::Error& error) {
        report.problem(name, error.what());
        return nullptr;
    }
    const dbf::Header& header = table->layout.header;
    bool sound = true;
    if (header.version != 0x03 && header.version != 0x83) {
        report.problem(name, "a versão do arquivo ("_cp + std::to_string(header.version) +
                                 ") não é a de uma tabela dBASE III."_cp);
        sound = false;
    }
    const uint64_t size = table->file.size();
    const uint64_t expected = table->layout.expectedSize();
    if (size > expected + 1) {
        const uint64_t extra = size - expected - 1;
        const uint64_t records = extra / header.recordLength;
        report.mismatch(
            name, "o cabeçalho indica "_cp + plural(header.recordCount, "registro", "registros") +
                      ", mas o arquivo tem "_cp + std::to_string(extra) + " bytes a mais"_cp +
                      (records ? " (cerca de "_cp + plural(records, "registro", "registros") +
                                     " não contados)"_cp
                               : std::string()) +
                      "."_cp);
        sound = false;
    }
    uint64_t deleted = 0, badFlags = 0;
    uint32_t firstBad = 0;
    try {
        table->walk([&] {
            const char flag = table->record[0];
            if (flag == dbf::kDeleted) {
                ++deleted;
            } else if (flag != dbf::kLive) {
                if (!badFlags++) firstBad = table->recno;
            }
        });
    } catch (const base::Error& error) {
        report.problem(name, error.what());
        return nullptr;
    }
    if (badFlags) {
        report.problem(name, plural(badFlags, "registro tem", "registros têm"_cp) +
                                 " a marca de apagado inválida (o primeiro é o "_cp +
                                 std::to_string(firstBad) +
                                 "): os registros estão desalinhados ou danificados."_cp);
        sound = false;
    }
    if (sound)
        report.line(name + ": ok, " + plural(header.recordCount, "registro", "registros") +
                    (deleted ? " (" + plural(deleted, "apagado", "apagados") + ")" : "") + ".");
    return table;
}

// The table an index file belongs to: the one of the same base name, or for
// a second index file ("IRM9B") the one without the final "B".
TableReader* tableOfIndex(const std::string& indexName,
                          const std::map<std::string, std::unique_ptr<TableReader>>& tables) {
    const std::string base = base::asciiUpper(platform::baseNameOf(indexName));
    if (auto found = tables.find(base); found != tables.end()) return found->second.get();
    if (base.size() > 1 && base.back() == 'B')
        if (auto found = tables.find(base.substr(0, base.size() - 1)); found != tables.end())
            return found->second.get();
    return nullptr;
}

std::string describeKey(std::string_view key, base::Type type) {
    if (type == base::Type::Character) return "\"" + base::rtrim(key) + "\"";
    const base::Value value = cdxKeyValue(key, type);
    switch (type) {
        case base::Type::Numeric:
            return base::alltrim(base::formatFixed(value.number(), 30, 4).value_or("?"));
        case base::Type::Date:
            return value.date().dtoc();
        default:
            return value.logical() ? ".T." : ".F.";
    }
}

struct ExpectedTag {
    base::Type type = base::Type::Character;
    std::vector<CdxEntry> entries;  // sorted
};

// The entries a tag may hold: every record's key (deleted records too, as
// indexes keep them), filtered by the tag's FOR condition. A unique tag holds
// one of them per key (compareTag).
ExpectedTag expectedEntries(TableReader& table, const CdxTagInfo& info) {
    Expression key = Expression::compile(info.keyExpression, table);
    std::optional<Expression> condition;
    if (info.hasFor && !base::alltrim(info.forExpression).empty())
        condition = Expression::compile(info.forExpression, table);
    ExpectedTag expected;
    const ResultInfo result = key.describe(table);
    expected.type = result.type;
    if (result.type == base::Type::Character && result.length != info.keyLength)
        throw base::Error("o tamanho da chave no índice ("_cp + std::to_string(info.keyLength) +
                          ") não confere com a expressão "_cp + info.keyExpression + " (" +
                          std::to_string(result.length) + ").");
    table.walk([&] {
        if (condition && !condition->test(table)) return;
        const base::Value value = key.evaluate(table);
        if (value.type() != result.type)
            throw base::Error("a chave "_cp + info.keyExpression + " muda de tipo no registro "_cp +
                              std::to_string(table.recno) + ".");
        expected.entries.push_back({cdxKey(value, info.keyLength), table.recno});
    });
    const auto byKey = [](const CdxEntry& a, const CdxEntry& b) {
        return a.key != b.key ? a.key < b.key : a.recno < b.recno;
    };
    std::sort(expected.entries.begin(), expected.entries.end(), byKey);
    return expected;
}

void compareTag(const std::string& where, const CdxTagInfo& info, const ExpectedTag& expected,
                std::vector<CdxEntry> actual, Report& report) {
    const auto byKey = [](const CdxEntry& a, const CdxEntry& b) {
        return a.key != b.key ? a.key < b.key : a.recno < b.recno;
    };
    bool sound = true;
    if (!info.descending && !std::is_sorted(actual.begin(), actual.end(), byKey)) {
        report.mismatch(where, "as chaves estão fora de ordem."_cp);
        sound = false;
    }
    std::sort(actual.begin(), actual.end(), byKey);
    std::vector<CdxEntry> missing, extra;
    if (info.unique) {
        // A unique tag keeps the record that first had a key, whichever
        // record that was; when it takes another key, the others that share
        // the old one stay out until the tag is rebuilt, as in every xBase
        // program. So only repeated keys and entries that disagree with
        // their records are faults.
        const auto sameKey = [](const CdxEntry& a, const CdxEntry& b) { return a.key == b.key; };
        if (std::adjacent_find(actual.begin(), actual.end(), sameKey) != actual.end()) {
            report.mismatch(where, "o índice único repete chaves."_cp);
            sound = false;
        }
    } else {
        std::set_difference(expected.entries.begin(), expected.entries.end(), actual.begin(),
                            actual.end(), std::back_inserter(missing), byKey);
    }
    std::set_difference(actual.begin(), actual.end(), expected.entries.begin(),
                        expected.entries.end(), std::back_inserter(extra), byKey);
    if (!missing.empty()) {
        std::string text = "o índice não confere com a tabela: "_cp +
                           plural(missing.size(), "registro falta", "registros faltam") +
                           " no índice (registro "_cp;
        for (size_t i = 0; i < std::min(kExamples, missing.size()); ++i)
            text += (i ? ", " : "") + std::to_string(missing[i].recno) + " chave " +
                    describeKey(missing[i].key, expected.type);
        report.mismatch(where, text + (missing.size() > kExamples ? ", ...)." : ")."));
        sound = false;
    }
    if (!extra.empty()) {
        std::string text =
            "o índice não confere com a tabela: "_cp +
            plural(extra.size(), "chave não corresponde"_cp, "chaves não correspondem"_cp) +
            " ao registro que apontam ("_cp;
        for (size_t i = 0; i < std::min(kExamples, extra.size()); ++i)
            text += (i ? ", " : "") + describeKey(extra[i].key, expected.type) + " no registro " +
                    std::to_string(extra[i].recno);
        report.mismatch(where, text + (extra.size() > kExamples ? ", ...)." : ")."));
        sound = false;
    }
    if (sound) report.line(where + ": ok, " + plural(actual.size(), "chave", "chaves") + ".");
}

void checkIndex(const std::string& folder, const std::string& name,
                const std::map<std::string, std::unique_ptr<TableReader>>& tables, Report& report) {
    const std::string hostPath = platform::hostPath(folder + name);
    CdxFile index;
    std::vector<CdxTagInfo> tags;
    try {
        index = CdxFile::open(hostPath, CdxFile::Access::ReadOnly, CdxFile::Sharing::Shared,
                              folder + name);
        tags = index.tags();
    } catch (const base::Error& error) {
        report.problem(name, error.what());
        return;
    }
    TableReader* table = tableOfIndex(name, tables);
    std::map<std::string, ExpectedTag> expected;
    std::map<std::string, base::Type> keyTypes;
    for (const CdxTagInfo& info : tags) {
        if (!table) continue;
        try {
            ExpectedTag tag = expectedEntries(*table, info);
            keyTypes[info.name] = tag.type;
            expected[info.name] = std::move(tag);
        } catch (const base::Error& error) {
            report.problem(name + " (ordem " + info.name + ")", error.what());
        }
    }
    const CdxCheckResult result = index.check(keyTypes);
    for (const std::string& problem : result.problems)
        report.problem(name, problem);
    if (!table) {
        if (result.ok())
            report.line(name + ": estrutura ok; não há tabela "_cp +
                        base::asciiUpper(platform::baseNameOf(name)) +
                        ".DBF legível nesta pasta para comparar as chaves."_cp);
        return;
    }
    for (const CdxTagContents& contents : result.tags) {
        const auto info = std::find_if(tags.begin(), tags.end(), [&](const CdxTagInfo& t) {
            return base::equalsIgnoreCase(t.name, contents.name);
        });
        const auto wanted = expected.find(info == tags.end() ? "" : info->name);
        if (info == tags.end() || wanted == expected.end()) continue;
        compareTag(name + " (ordem " + info->name + ")", *info, wanted->second, contents.entries,
                   report);
    }
}

}  // namespace

int verifyFolder(const std::string& folderText, std::ostream& out) {
    Report report(out);
    try {
        const std::string folder = driveFolder(folderText);
        if (!platform::folderExists(folder)) {
            report.problem(base::cp850::fromUtf8(folderText), "a pasta não existe."_cp);
            return 1;
        }
        report.line("Verificando a pasta "_cp + base::cp850::fromUtf8(folderText));
        // Work a stopped program left half done; the next open of the tables
        // by the program finishes it.
        const std::vector<std::string> pending = pendingJournalTables(folder);
        if (!pending.empty()) {
            std::string names;
            for (const std::string& name : pending)
                names += (names.empty() ? "" : ", ") + name;
            report.problem("KDX2.SAV",
                           pending.front() == "?"
                               ? "há uma gravação interrompida cujo registro está danificado."_cp
                               : "há uma gravação interrompida que ainda não foi concluída em "_cp +
                                     names +
                                     "; ela será concluída na próxima vez que o programa abrir "
                                     "essas tabelas."_cp);
        }
        for (const std::string& mark : leftIndexMarks(folder))
            report.problem(
                mark, "marca de índice deixada por uma gravação interrompida; o índice "_cp +
                          base::asciiUpper(platform::baseNameOf(mark)) +
                          ".CDX será refeito na próxima vez que o programa abrir a tabela."_cp);
        std::map<std::string, std::unique_ptr<TableReader>> tables;
        for (const std::string& name : platform::listFiles(folder + "*.DBF")) {
            report.setWorkCopy(isWorkCopy(name));
            if (auto table = checkTable(folder, name, report))
                tables[base::asciiUpper(platform::baseNameOf(name))] = std::move(table);
        }
        for (const std::string& name : platform::listFiles(folder + "*.CDX")) {
            report.setWorkCopy(isWorkCopy(name));
            checkIndex(folder, name, tables, report);
        }
        report.setWorkCopy(false);
    } catch (const std::exception& error) {
        report.problem(base::cp850::fromUtf8(folderText), error.what());
    }
    if (report.problems() == 0) {
        report.line("Nenhum problema encontrado."_cp);
        return 0;
    }
    report.line(report.problems() == 1
                    ? "1 problema encontrado."_cp
                    : std::to_string(report.problems()) + " problemas encontrados."_cp);
    return 1;
}

}  // namespace kdx2::store
