#include "store/journal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <set>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/feedback.h"
#include "store/table_files.h"

namespace kdx2::store {

using namespace base::literals;

namespace {

constexpr const char* kJournalName = "KDX2.SAV";
constexpr const char* kJournalHeader = "KDX2 GRAVACAO 2";
constexpr uint64_t kLargestJournal = 256u << 20;
// The marker of an index being changed is named like the index with this
// letter and the terminal ("IRM2.W03").
constexpr char kIndexMarkKind = 'W';
constexpr const char* kIndexMarkText = "KDX2 INDICE EM ALTERACAO\n";

CommitStepHook& stepHook() {
    static CommitStepHook hook;
    return hook;
}

void reach(CommitStep step, int detail = 0) {
    if (stepHook()) stepHook()(step, detail);
}

// Shows deleted records to the walks of this scope (the filter is global).
class DeletedShown {
  public:
    DeletedShown() : was_(deletedFilter()) { setDeletedFilter(false); }
    ~DeletedShown() { setDeletedFilter(was_); }
    DeletedShown(const DeletedShown&) = delete;
    DeletedShown& operator=(const DeletedShown&) = delete;

  private:
    bool was_;
};

struct Row {
    uint32_t recno = 0;
    uint64_t fingerprint = 0;
};

// One table's part of a journal.
struct Section {
    std::string file;  // file name in the folder ("IRM2.DBF")
    std::vector<Row> added;
    std::vector<Row> retired;
};

struct Journal {
    std::vector<Section> sections;
    bool complete = false;
};

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string journalText(const Journal& journal) {
    std::string text = std::string(kJournalHeader) + "\n";
    for (const Section& section : journal.sections) {
        text += "TABELA " + section.file + "\n";
        for (const Row& row : section.added)
            text += "INCLUI " + std::to_string(row.recno) + " " + hex(row.fingerprint) + "\n";
        for (const Row& row : section.retired)
            text += "EXCLUI " + std::to_string(row.recno) + " " + hex(row.fingerprint) + "\n";
    }
    return text + "FIM\n";
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

// A damaged journal comes back incomplete.
Journal parseJournal(const std::string& text) {
    Journal journal;
    size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return journal;
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        if (first) {
            if (line != kJournalHeader) return journal;
            first = false;
        } else if (line.starts_with("TABELA ")) {
            const std::string file(line.substr(7));
            if (file.empty() || file.find_first_of("\\/:") != std::string::npos) return journal;
            journal.sections.push_back({file, {}, {}});
        } else if (line.starts_with("INCLUI ") || line.starts_with("EXCLUI ")) {
            Row row;
            if (journal.sections.empty() || !parseRow(line.substr(7), row)) return journal;
            Section& section = journal.sections.back();
            (line[0] == 'I' ? section.added : section.retired).push_back(row);
        } else if (line == "FIM") {
            journal.complete = at == text.size();
            return journal;
        } else {
            return journal;
        }
    }
    return journal;
}

std::optional<Journal> readJournal(const std::string& path) {
    const std::optional<uint64_t> size = platform::fileSize(path);
    if (!size) return std::nullopt;
    if (*size > kLargestJournal) return Journal{};
    std::string text(*size, '\0');
    platform::openFile(path, platform::File::Mode::ReadOnly).readExact(0, text.data(), text.size());
    return parseJournal(text);
}

// Written beside its final name and renamed into place: a journal at the
// final name is always whole.
void writeJournal(const std::string& path, const Journal& journal) {
    replaceFileWhole(path, journalText(journal), 'J');
}

// Every listed record still holds what the journal saw (a pack or rewrite
// since then moves records).
bool sectionMatches(Table& table, const Section& section) {
    const uint32_t count = table.recCount();
    auto matches = [&](const Row& row) {
        if (row.recno > count) return false;
        table.goTo(row.recno);
        return rowFingerprint(table) == row.fingerprint;
    };
    return std::all_of(section.added.begin(), section.added.end(), matches) &&
           std::all_of(section.retired.begin(), section.retired.end(), matches);
}

void switchRows(Table& table, const Section& section, int& done) {
    for (const Row& row : section.added) {
        table.goTo(row.recno);
        table.recall();
        reach(CommitStep::Switching, ++done);
    }
    for (const Row& row : section.retired) {
        table.goTo(row.recno);
        table.deleteRecord();
        reach(CommitStep::Switching, ++done);
    }
    table.flush();
}

// Says "this index is being changed" until the change is on the disk: an
// open that finds it rebuilds the index from the table, so a program stopped
// half way through a page write never leaves an index that is believed.
void makeIndexMark(const std::string& mark) {
    platform::File out = platform::createFile(mark);
    out.writeAt(0, kIndexMarkText, std::char_traits<char>::length(kIndexMarkText));
    out.sync();
    out.close();
    // The mark's name must be on the disk before any page it covers.
    platform::syncFolderOf(mark);
}

void blankRecord(Table& table) {
    const Structure& fields = table.structure();
    for (size_t i = 0; i < fields.size(); ++i)
        table.put(static_cast<int>(i), base::Value::emptyOf(fields[i].type));
}

std::string upperName(const std::string& path) {
    return base::asciiUpper(platform::fileNameOf(path));
}

bool namesTable(const Journal& journal, const std::string& file) {
    return std::any_of(journal.sections.begin(), journal.sections.end(),
                       [&](const Section& s) { return base::asciiUpper(s.file) == file; });
}

std::string tableList(const std::vector<std::string>& files) {
    std::string text;
    for (size_t i = 0; i < files.size(); ++i)
        text += (i ? ", " : "") + files[i];
    return text;
}

// Completes `journal` of `folder` in every table it names, all taken first
// (`held` is one of them already, open exclusively). A table that no longer
// matches is left as it is and named in a message.
void completeJournal(const std::string& folder, const Journal& journal, Table* held) {
    const std::string journalPath = journalPathOf(folder);
    std::vector<std::unique_ptr<Table>> own;
    std::vector<Table*> tables;
    for (const Section& section : journal.sections) {
        const std::string path = folder + section.file;
        if (held && upperName(held->path()) == base::asciiUpper(section.file)) {
            tables.push_back(held);
            continue;
        }
        if (!platform::fileExists(path)) {
            tables.push_back(nullptr);
            continue;
        }
        try {
            own.push_back(Table::open(path, OpenMode::Exclusive));
        } catch (const InUseError&) {
            throw InUseError(
                "Uma gravação interrompida em "_cp + folder +
                " ainda não foi concluída, e a tabela "_cp + base::asciiUpper(section.file) +
                " está em uso em outra estação. Feche o programa nas outras estações e tente de "
                "novo."_cp);
        }
        tables.push_back(own.back().get());
    }
    DeletedShown shown;
    std::vector<std::string> mismatched;
    int done = 0;
    for (size_t i = 0; i < journal.sections.size(); ++i) {
        Table* table = tables[i];
        if (!table || !sectionMatches(*table, journal.sections[i])) {
            mismatched.push_back(base::asciiUpper(journal.sections[i].file));
            continue;
        }
        switchRows(*table, journal.sections[i], done);
        table->sync();
    }
    for (auto& table : own)
        table->close();
    platform::removeFile(journalPath);
    platform::syncFolderOf(journalPath);
    if (!mismatched.empty())
        feedback().alert(
            "A gravação interrompida em "_cp + folder + " não pôde ser concluída em "_cp +
            tableList(mismatched) +
            ": a tabela mudou depois dela. Essas tabelas ficaram como estavam antes da "
            "gravação; confira os contribuintes gravados por último."_cp);
}

// A journal that cannot be read is kept aside for whoever looks into it.
void setAsideDamagedJournal(const std::string& folder) {
    const std::string journalPath = journalPathOf(folder);
    const std::string aside = folder + "KDX2.BAD";
    platform::renameFile(journalPath, aside);
    feedback().alert("O registro de uma gravação interrompida em "_cp + folder +
                     " está danificado e não pôde ser aplicado; foi guardado como "_cp + aside +
                     ". Confira os contribuintes gravados por último."_cp);
}

// Marks "BASE.W??" of index changes cut short.
std::vector<std::string> indexMarksOf(const std::string& folder, const std::string& base) {
    return platform::listFiles(folder + base + "." + kIndexMarkKind + "??");
}

// A mark left behind: the index may lack records or hold a page written
// half way, and the table may end in records written but never counted. The
// table is cut to what it counts, the index rebuilt from it, then the mark
// goes.
void healIndexes(Table& table) {
    const std::string folder = platform::folderOf(table.path());
    const std::string base = platform::baseNameOf(table.path());
    const std::vector<std::string> marks = indexMarksOf(folder, base);
    if (!marks.empty()) table.dropUncountedRecords();
    for (const std::string& mark : marks) {
        const std::string cdxPath = folder + base + ".cdx";
        if (platform::fileExists(cdxPath)) table.rebuildIndexFile(cdxPath);
        platform::removeFile(folder + mark);
    }
}

bool& finishing() {
    static bool busy = false;
    return busy;
}

}  // namespace

void setCommitStepHook(CommitStepHook hook) {
    stepHook() = std::move(hook);
}

std::string journalPathOf(const std::string& folder) {
    std::string closed = folder;
    if (closed.empty() || closed.back() != '\\') closed += '\\';
    return closed + kJournalName;
}

std::vector<std::string> pendingJournalTables(const std::string& folder) {
    try {
        const std::optional<Journal> journal = readJournal(journalPathOf(folder));
        if (!journal) return {};
        if (!journal->complete) return {"?"};
        std::vector<std::string> files;
        for (const Section& section : journal->sections)
            files.push_back(base::asciiUpper(section.file));
        return files;
    } catch (const base::Error&) {
        return {"?"};
    }
}

std::vector<std::string> leftIndexMarks(const std::string& folder) {
    return platform::listFiles(folder + "*." + kIndexMarkKind + "??");
}

void finishInterruptedWork(const std::string& tablePath, Table* table) {
    if (finishing()) return;
    finishing() = true;
    struct Reset {
        ~Reset() { finishing() = false; }
    } reset;
    const std::string folder = platform::folderOf(tablePath);
    if (platform::fileExists(journalPathOf(folder))) {
        const std::optional<Journal> journal = readJournal(journalPathOf(folder));
        if (journal && !journal->complete) {
            setAsideDamagedJournal(folder);
        } else if (journal && namesTable(*journal, upperName(tablePath))) {
            completeJournal(folder, *journal, table);
        }
    }
    if (table && table->exclusive()) {
        healIndexes(*table);
    } else if (!table) {
        const std::string base = platform::baseNameOf(tablePath);
        if (indexMarksOf(folder, base).empty()) return;
        // Whoever has the table now took it exclusively, so it is changing
        // it right now (the mark is its own): the open that follows finds the
        // table in use and waits for it.
        try {
            auto own = Table::open(tablePath, OpenMode::Exclusive);
            healIndexes(*own);
            own->close();
        } catch (const InUseError&) {
        }
    }
}

uint64_t rowFingerprint(const Table& table, std::string_view except) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](std::string_view bytes) {
        for (unsigned char c : bytes) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        hash ^= 0xff;
        hash *= 1099511628211ull;
    };
    const Structure& fields = table.structure();
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!except.empty() && fields[i].name == except) continue;
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

std::vector<uint64_t> rowFingerprints(Table& table, const std::vector<uint32_t>& rows) {
    std::vector<uint64_t> prints;
    prints.reserve(rows.size());
    for (uint32_t recno : rows) {
        table.goTo(recno);
        prints.push_back(rowFingerprint(table));
    }
    return prints;
}

std::vector<uint32_t> rowsOfKey(Table& table, const std::string& key) {
    std::vector<uint32_t> rows;
    table.forEachKey(base::Value(key), [&](Table& row) {
        rows.push_back(row.recNo());
        return true;
    });
    return rows;
}

std::vector<uint32_t> liveRows(Table& table) {
    std::vector<uint32_t> rows;
    table.forEach([&](Table& row) {
        rows.push_back(row.recNo());
        return true;
    });
    return rows;
}

// ---------------------------------------------------------------------------

struct Transaction::Staged {
    Table* table = nullptr;
    std::string keyField;
    std::string cdxPath;
    std::string indexMark;
    bool onlyKeyTag = true;  // the index holds the key's tag alone
    bool marked = false;     // the index mark is on the disk: the index is being changed
    bool written = false;    // rows were written (to be on the disk before the journal)
    Section section;
    std::vector<std::string> keys;  // staged keys, in order
    std::set<std::string> keySet;
};

namespace {

bool changes(const Transaction::Staged& staged) {
    return !staged.section.added.empty() || !staged.section.retired.empty();
}

}  // namespace

Transaction::Transaction() = default;

Transaction::~Transaction() {
    try {
        abandon();
    } catch (const base::Error& error) {
        feedback().alert(error.what());
    }
}

Transaction::Staged& Transaction::stagedFor(Table& table) {
    for (auto& staged : staged_)
        if (staged->table == &table) return *staged;
    if (!table.exclusive())
        throw base::Error("A gravação de "_cp + table.path() +
                          " exige uso exclusivo da tabela."_cp);
    const std::string keyField = base::alltrim(table.indexKeyExpression(1));
    if (table.indexCount() < 1 || !table.hasField(keyField) ||
        !base::equalsIgnoreCase(table.indexPath(1), table.indexPath(table.indexCount())))
        throw base::Error("A tabela "_cp + table.path() +
                          " não está aberta pelo índice da sua chave."_cp);
    if (!staged_.empty() &&
        !base::equalsIgnoreCase(platform::folderOf(table.path()),
                                platform::folderOf(staged_.front()->table->path())))
        throw base::Error("Uma gravação só pode mudar tabelas de uma pasta."_cp);
    auto staged = std::make_unique<Staged>();
    staged->table = &table;
    staged->keyField = keyField;
    staged->cdxPath = table.indexPath(1);
    staged->indexMark = tempPathBeside(staged->cdxPath, kIndexMarkKind);
    staged->onlyKeyTag = table.indexCount() == 1;
    staged->section.file = upperName(table.path());
    staged_.push_back(std::move(staged));
    return *staged_.back();
}

void Transaction::replaceRows(Table& table, const std::string& key, Table& source,
                              const std::vector<uint32_t>& rows) {
    if (base::alltrim(key).empty())
        throw base::Error("Chave vazia na gravação de "_cp + table.path() + ".");
    Staged& staged = stagedFor(table);
    if (!staged.keySet.insert(key).second)
        throw base::Error("A chave "_cp + key + " já foi preparada para "_cp + table.path() + ".");
    staged.keys.push_back(key);
    const size_t addedBefore = staged.section.added.size();
    const size_t retiredBefore = staged.section.retired.size();
    try {
        DeletedShown shown;
        std::vector<Row> live;
        std::vector<uint32_t> free;
        table.forEachKey(base::Value(key), [&](Table& t) {
            // An index entry that does not match its record is left alone.
            if (t.get(staged.keyField).text() != key) return true;
            if (t.deleted())
                free.push_back(t.recNo());
            else
                live.push_back({t.recNo(), rowFingerprint(t)});
            return true;
        });
        std::sort(free.begin(), free.end());
        // Nothing to write when the table holds these rows already: the
        // usual case for most tables of a save.
        if (table.structure() == source.structure() && live.size() == rows.size()) {
            const std::vector<uint64_t> wanted = rowFingerprints(source, rows);
            if (std::equal(live.begin(), live.end(), wanted.begin(),
                           [](const Row& a, uint64_t b) { return a.fingerprint == b; }))
                return;
        }
        staged.section.retired.insert(staged.section.retired.end(), live.begin(), live.end());
        size_t nextFree = 0;
        for (uint32_t recno : rows) {
            source.goTo(recno);
            staged.written = true;
            const bool reuse = nextFree < free.size();
            // A reused record keeps its key, so its entry in the key's tag
            // stays; a new record gets an entry, and other tags may move:
            // the index then changes in place, under its mark.
            if ((!reuse || !staged.onlyKeyTag) && !staged.marked) {
                makeIndexMark(staged.indexMark);
                staged.marked = true;
            }
            if (reuse)
                table.goTo(free[nextFree++]);
            else
                appendRecord(table);
            // Hidden before anything is written into it: a failure half way
            // through the record leaves no partial row in sight.
            table.deleteRecord();
            blankRecord(table);
            table.copyFieldsFrom(source);
            table.put(staged.keyField, base::Value(key));
            staged.section.added.push_back({table.recNo(), rowFingerprint(table)});
        }
        table.flush();
    } catch (...) {
        staged.section.added.resize(addedBefore);
        staged.section.retired.resize(retiredBefore);
        staged.keySet.erase(key);
        staged.keys.pop_back();
        throw;
    }
}

void Transaction::removeRows(Table& table, const std::string& key) {
    Staged& staged = stagedFor(table);
    if (!staged.keySet.insert(key).second)
        throw base::Error("A chave "_cp + key + " já foi preparada para "_cp + table.path() + ".");
    staged.keys.push_back(key);
    for (uint32_t recno : rowsOfKey(table, key)) {
        table.goTo(recno);
        if (table.get(staged.keyField).text() != key) continue;
        staged.section.retired.push_back({recno, rowFingerprint(table)});
    }
}

size_t Transaction::mark() {
    Mark mark;
    mark.tables = staged_.size();
    for (const auto& staged : staged_) {
        mark.added.push_back(staged->section.added.size());
        mark.retired.push_back(staged->section.retired.size());
        mark.keys.push_back(staged->keys.size());
    }
    marks_.push_back(std::move(mark));
    return marks_.size() - 1;
}

void Transaction::rollbackTo(size_t id) {
    if (id >= marks_.size()) return;
    const Mark& mark = marks_[id];
    for (size_t i = 0; i < staged_.size(); ++i) {
        Staged& staged = *staged_[i];
        const bool before = i < mark.tables;
        staged.section.added.resize(before ? mark.added[i] : 0);
        staged.section.retired.resize(before ? mark.retired[i] : 0);
        const size_t keys = before ? mark.keys[i] : 0;
        while (staged.keys.size() > keys) {
            staged.keySet.erase(staged.keys.back());
            staged.keys.pop_back();
        }
    }
    marks_.resize(id);
}

bool Transaction::empty() const {
    return std::none_of(staged_.begin(), staged_.end(),
                        [](const auto& staged) { return changes(*staged); });
}

std::optional<std::vector<uint64_t>> Transaction::stagedRows(const Table& table) const {
    for (const auto& staged : staged_) {
        if (staged->table != &table) continue;
        if (!changes(*staged)) return std::nullopt;
        std::vector<uint64_t> prints;
        for (const Row& row : staged->section.added)
            prints.push_back(row.fingerprint);
        return prints;
    }
    return std::nullopt;
}

// Forgets what was staged. The rows written stay hidden; an index changed
// under its mark is rebuilt from the table (it may hold entries of records
// that never reached the disk), and when that cannot be done now the mark
// stays, so the next open rebuilds it.
void Transaction::abandon() {
    std::string firstError;
    for (auto& staged : staged_) {
        if (!staged->marked) continue;
        Table& table = *staged->table;
        try {
            if (table.isOpen()) {
                table.rebuildIndexFile(staged->cdxPath);
                table.setOrder(1);
                platform::removeFile(staged->indexMark);
            }
        } catch (const base::Error& error) {
            if (firstError.empty()) firstError = error.what();
        }
    }
    staged_.clear();
    marks_.clear();
    if (!firstError.empty()) throw base::Error(firstError);
}

bool Transaction::commit() {
    if (empty()) {
        abandon();
        return false;
    }
    // The rows and their index entries on the disk; then the index marks
    // can go, as the indexes are whole again. (A mark whose removal a power
    // cut undoes costs a rebuild of its index, nothing more.)
    try {
        for (auto& staged : staged_) {
            if (!staged->written) continue;
            staged->table->sync();
            if (!staged->marked) continue;
            platform::removeFile(staged->indexMark);
            staged->marked = false;
        }
    } catch (...) {
        abandon();
        throw;
    }
    reach(CommitStep::RowsWritten);

    Journal journal;
    for (auto& staged : staged_)
        if (changes(*staged)) journal.sections.push_back(staged->section);
    const std::string folder = platform::folderOf(staged_.front()->table->path());
    const std::string journalPath = journalPathOf(folder);
    try {
        writeJournal(journalPath, journal);
    } catch (...) {
        abandon();
        throw;
    }
    reach(CommitStep::JournalWritten);

    try {
        DeletedShown shown;
        int done = 0;
        for (auto& staged : staged_)
            if (changes(*staged)) switchRows(*staged->table, staged->section, done);
        reach(CommitStep::Switched);
        // The journal goes only once the switched marks are on the disk:
        // after a power cut in between, it switches them again.
        for (auto& staged : staged_)
            if (changes(*staged)) staged->table->sync();
        platform::removeFile(journalPath);
        platform::syncFolderOf(journalPath);
    } catch (const base::Error& error) {
        staged_.clear();
        marks_.clear();
        throw UnfinishedCommit("A gravação foi registrada, mas não terminou ("_cp + error.what() +
                               "). Ela será concluída na próxima abertura das tabelas de "_cp +
                               folder + ".");
    }
    staged_.clear();
    marks_.clear();
    return true;
}

bool commitAndTell(Transaction& transaction) {
    try {
        transaction.commit();
        return true;
    } catch (const UnfinishedCommit& error) {
        feedback().alert(error.what());
        return true;
    } catch (const base::Error& error) {
        feedback().alert(error.what());
        return false;
    }
}

}  // namespace kdx2::store
