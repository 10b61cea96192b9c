#include "shell/workspace/year_rows.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/table_files.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {

SaveStepHook& stepHook() {
    static SaveStepHook hook;
    return hook;
}

void reach(SaveStep step, const store::Table& year, int detail = 0) {
    if (stepHook()) stepHook()(step, year, detail);
}

// Shows deleted records to the walks of this scope (the filter is global).
class DeletedShown {
  public:
    DeletedShown() : was_(store::deletedFilter()) { store::setDeletedFilter(false); }
    ~DeletedShown() { store::setDeletedFilter(was_); }
    DeletedShown(const DeletedShown&) = delete;
    DeletedShown& operator=(const DeletedShown&) = delete;

  private:
    bool was_;
};

struct Row {
    uint32_t recno = 0;
    uint64_t fingerprint = 0;
};

// What a decided save still has to do: records to bring in and to retire.
struct Journal {
    std::string cpf;
    std::vector<Row> added;
    std::vector<Row> retired;
    bool complete = false;
};

constexpr const char* kJournalHeader = "KDX2 SALVA 1";
constexpr uint64_t kLargestJournal = 64u << 20;

// A plain copy: the copy is renamed into place while the program runs, so
// what matters is the order of the writes, which a stopped program cannot
// change; waiting for the disk at every table would make a save of a large
// folder take seconds.
void copyIndex(const std::string& from, const std::string& to) {
    platform::File source = platform::openFile(from, platform::File::Mode::ReadOnly);
    platform::File target = platform::createFile(to);
    std::vector<char> buffer(1 << 20);
    for (uint64_t at = 0;;) {
        const size_t got = source.readAt(at, buffer.data(), buffer.size());
        if (got == 0) break;
        target.writeAt(at, buffer.data(), got);
        at += got;
    }
}

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string journalText(const Journal& journal) {
    std::string text = std::string(kJournalHeader) + "\nCPF " + journal.cpf + "\n";
    for (const Row& row : journal.added)
        text += "INCLUI " + std::to_string(row.recno) + " " + hex(row.fingerprint) + "\n";
    for (const Row& row : journal.retired)
        text += "EXCLUI " + std::to_string(row.recno) + " " + hex(row.fingerprint) + "\n";
    return text + "FIM\n";
}

// Written in place: a journal cut short lacks its last line and is dropped,
// which leaves the old rows in force, as before the journal existed.
void writeJournal(const std::string& path, const Journal& journal) {
    const std::string text = journalText(journal);
    platform::File out = platform::createFile(path);
    out.writeAt(0, text.data(), text.size());
    out.sync();
    out.close();
}

bool parseRow(std::string_view rest, Row& row) {
    const size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return false;
    const std::string_view number = rest.substr(0, blank);
    const std::string_view print = rest.substr(blank + 1);
    auto [end1, error1] = std::from_chars(number.data(), number.data() + number.size(), row.recno);
    auto [end2, error2] =
        std::from_chars(print.data(), print.data() + print.size(), row.fingerprint, 16);
    return error1 == std::errc() && end1 == number.data() + number.size() &&
           error2 == std::errc() && end2 == print.data() + print.size() && row.recno > 0;
}

// A damaged or unfinished journal comes back incomplete.
Journal readJournal(const std::string& path) {
    Journal journal;
    const std::optional<uint64_t> size = platform::fileSize(path);
    if (!size || *size > kLargestJournal) return journal;
    std::string text(*size, '\0');
    platform::openFile(path, platform::File::Mode::ReadOnly).readExact(0, text.data(), text.size());
    size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) return journal;
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        if (first) {
            if (line != kJournalHeader) return journal;
            first = false;
        } else if (line.starts_with("CPF ")) {
            journal.cpf = std::string(line.substr(4));
        } else if (line.starts_with("INCLUI ") || line.starts_with("EXCLUI ")) {
            Row row;
            if (!parseRow(line.substr(7), row)) return journal;
            (line[0] == 'I' ? journal.added : journal.retired).push_back(row);
        } else if (line == "FIM") {
            journal.complete = at == text.size() && journal.cpf.size() == 11;
            return journal;
        } else {
            return journal;
        }
    }
    return journal;
}

// Every listed record still holds what the journal saw: the taxpayer's CPF
// and the same field values (a pack or rewrite since then moves records).
bool journalMatches(store::Table& year, const Journal& journal) {
    const uint32_t count = year.recCount();
    auto matches = [&](const Row& row) {
        if (row.recno > count) return false;
        year.goTo(row.recno);
        return year.get("CPF").text() == journal.cpf && rowFingerprint(year) == row.fingerprint;
    };
    return std::all_of(journal.added.begin(), journal.added.end(), matches) &&
           std::all_of(journal.retired.begin(), journal.retired.end(), matches);
}

void switchRows(store::Table& year, const Journal& journal) {
    int done = 0;
    for (const Row& row : journal.added) {
        year.goTo(row.recno);
        year.recall();
        reach(SaveStep::Switching, year, ++done);
    }
    for (const Row& row : journal.retired) {
        year.goTo(row.recno);
        year.deleteRecord();
        reach(SaveStep::Switching, year, ++done);
    }
    year.flush();
}

// The taxpayer's records in the index: live ones (to retire) and deleted ones
// whose place the new rows can take.
void collectRows(store::Table& year, const std::string& cpf, std::vector<Row>& live,
                 std::vector<uint32_t>& free) {
    DeletedShown shown;
    year.forEachKey(base::Value(cpf), [&](store::Table& t) {
        // An index entry that does not match its record is left alone.
        if (t.get("CPF").text() != cpf) return true;
        if (t.deleted())
            free.push_back(t.recNo());
        else
            live.push_back({t.recNo(), rowFingerprint(t)});
        return true;
    });
    std::sort(free.begin(), free.end());
}

std::vector<Row> liveRows(store::Table& rows) {
    std::vector<Row> records;
    rows.forEach([&](store::Table& t) {
        records.push_back({t.recNo(), rowFingerprint(t)});
        return true;
    });
    return records;
}

// The year table already holds exactly these rows, in this order.
bool sameRows(const std::vector<Row>& stored, const std::vector<Row>& wanted) {
    return std::equal(stored.begin(), stored.end(), wanted.begin(), wanted.end(),
                      [](const Row& a, const Row& b) { return a.fingerprint == b.fingerprint; });
}

// The taxpayer's live rows in the year table, in index order.
std::vector<Row> storedRows(store::Table& year, const std::string& cpf) {
    std::vector<Row> live;
    std::vector<uint32_t> free;
    collectRows(year, cpf, live, free);
    return live;
}

bool sameStructure(const store::Table& a, const store::Table& b) {
    return a.structure() == b.structure();
}

void blankRecord(store::Table& table) {
    const store::Structure& fields = table.structure();
    for (size_t i = 0; i < fields.size(); ++i)
        table.put(static_cast<int>(i), base::Value::emptyOf(fields[i].type));
}

void requireCpfOrder(store::Table& year) {
    if (year.indexCount() < 1 || !base::equalsIgnoreCase(year.indexKeyExpression(1), "CPF"))
        throw base::Error("A tabela "_cp + year.path() + " não está aberta pelo índice de CPF."_cp);
    if (!year.exclusive())
        throw base::Error("A gravação de "_cp + year.path() + " exige uso exclusivo da tabela."_cp);
}

}  // namespace

void setSaveStepHook(SaveStepHook hook) {
    stepHook() = std::move(hook);
}

std::string journalPathOf(const std::string& tablePath) {
    return platform::folderOf(tablePath) + platform::baseNameOf(tablePath) + ".SAV";
}

bool interruptedSavePending(const std::string& tablePath) {
    return platform::fileExists(journalPathOf(tablePath));
}

uint64_t rowFingerprint(const store::Table& table) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](std::string_view bytes) {
        for (unsigned char c : bytes) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        hash ^= 0xff;
        hash *= 1099511628211ull;
    };
    const store::Structure& fields = table.structure();
    for (size_t i = 0; i < fields.size(); ++i) {
        const base::Value value = table.get(static_cast<int>(i));
        switch (value.type()) {
            case base::Type::Character:
                mix(value.text());
                break;
            case base::Type::Numeric:
                mix(base::formatFixed(value.number(), 30, fields[i].decimals).value_or("*"));
                break;
            case base::Type::Date:
                mix(value.date().dtos());
                break;
            case base::Type::Logical:
                mix(value.logical() ? "T" : "F");
                break;
        }
    }
    return hash;
}

void replaceTaxpayerRows(store::Table& year, const std::string& cpf, store::Table& rows) {
    requireCpfOrder(year);
    if (cpf.size() != 11 || base::alltrim(cpf).size() != 11)
        throw base::Error("CPF inválido para gravação: \""_cp + cpf + "\".");
    const std::string cdxPath = year.indexPath(1);
    const std::string journalPath = journalPathOf(year.path());
    if (platform::fileExists(journalPath)) finishInterruptedSave(year);

    const std::vector<Row> sources = liveRows(rows);
    // Nothing to write when the table holds these rows already (an unchanged
    // table, or a taxpayer without rows there): the usual case for most of
    // the seventeen tables.
    if (sameStructure(year, rows) && sameRows(storedRows(year, cpf), sources)) return;
    Journal journal;
    journal.cpf = cpf;
    std::vector<uint32_t> free;

    // The index is changed in a copy, so the one in place always describes
    // the table as it stands.
    const std::string indexCopy = store::tempPathBeside(cdxPath, 'W');
    year.closeIndexes();
    try {
        copyIndex(cdxPath, indexCopy);
        year.openIndex(indexCopy);
        year.setOrder(1);
        collectRows(year, cpf, journal.retired, free);
        size_t nextFree = 0;
        for (const Row& source : sources) {
            rows.goTo(source.recno);
            if (nextFree < free.size()) {
                year.goTo(free[nextFree++]);
            } else {
                year.append();
            }
            // Hidden before anything is written into it: a failure half way
            // through the record leaves no partial row in sight.
            year.deleteRecord();
            blankRecord(year);
            year.copyFieldsFrom(rows);
            year.put("CPF", base::Value(cpf));
            journal.added.push_back({year.recNo(), rowFingerprint(year)});
        }
        // On the disk before the journal that relies on them can be.
        year.sync();
        year.closeIndexes();
        platform::renameFile(indexCopy, cdxPath);
    } catch (...) {
        try {
            year.closeIndexes();
            platform::removeFile(indexCopy);
            year.openIndex(cdxPath);
            year.setOrder(1);
        } catch (...) {
        }
        throw;
    }
    year.openIndex(cdxPath);
    year.setOrder(1);
    reach(SaveStep::RowsWritten, year);

    writeJournal(journalPath, journal);
    reach(SaveStep::JournalWritten, year);
    switchRows(year, journal);
    reach(SaveStep::Switched, year);
    // The journal goes only once the switched marks are on the disk: after a
    // power cut in between, it switches them again.
    year.sync();
    platform::removeFile(journalPath);
}

bool finishInterruptedSave(store::Table& year) {
    const std::string journalPath = journalPathOf(year.path());
    if (!platform::fileExists(journalPath)) return false;
    if (!year.exclusive())
        throw base::Error("A conclusão da gravação de "_cp + year.path() +
                          " exige uso exclusivo da tabela."_cp);
    DeletedShown shown;
    const Journal journal = readJournal(journalPath);
    const bool usable = journal.complete && journalMatches(year, journal);
    if (usable) {
        switchRows(year, journal);
        year.sync();
    }
    platform::removeFile(journalPath);
    return usable;
}

}  // namespace kdx2::shell::workspace
