// The restore (TRAZ_COPIA): the backup files copied into the data folder
// under temporary names, then switched in together.
//
// The switch is decided by a journal of the folder (KDX2.REC) that lists
// each temporary file, the table it replaces and the index files to remove
// with it. Written whole under another name and renamed into place, the
// journal either exists whole or not at all: before it, a stopped restore
// has changed nothing (its temporary files are removed by the next one);
// after it, finishInterruptedRestore carries the switch to its end.

#include <algorithm>
#include <memory>
#include <optional>
#include <set>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "platform/drives.h"
#include "shell/backup/backup.h"
#include "shell/backup/internal.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/dbf.h"
#include "store/feedback.h"
#include "store/journal.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::shell::backup {

std::vector<std::string> detail::indexFilesOf(int n) {
    std::vector<std::string> files;
    if (const store::CatalogTable* layout = store::catalogTable(n))
        for (const store::CatalogIndex& index : layout->indexes)
            files.push_back(base::asciiUpper(index.file) + ".cdx");
    return files;
}

using namespace base::literals;

namespace {

constexpr const char* kJournalName = "KDX2.REC";
constexpr const char* kJournalHeader = "KDX2 RECUPERACAO 1";
constexpr uint64_t kLargestJournal = 64u << 10;
constexpr char kTempKind = 'R';
constexpr char kJournalTempKind = 'Q';
// A backup file must share this part of its table's fields to be taken for it.
constexpr double kLeastSharedFields = 0.8;

struct Switch {
    std::string temp;                  // file names in the folder
    std::string table;                 // "IRM2.DBF"
    std::vector<std::string> indexes;  // "IRM2.cdx", "IRM9B.cdx"
};

std::string tableFile(int n) {
    return "IRM" + std::to_string(n) + ".DBF";
}

bool plainName(std::string_view name) {
    return !name.empty() && name.find_first_of("\\/: ") == std::string_view::npos;
}

std::string journalText(const std::vector<Switch>& switches) {
    std::string text = std::string(kJournalHeader) + "\n";
    for (const Switch& entry : switches) {
        text += "ARQUIVO " + entry.temp + " " + entry.table + "\n";
        for (const std::string& index : entry.indexes)
            text += "INDICE " + index + "\n";
    }
    return text + "FIM\n";
}

// nullopt for a journal that is not whole.
std::optional<std::vector<Switch>> parseJournal(const std::string& text) {
    std::vector<Switch> switches;
    size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return std::nullopt;
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kJournalHeader) return std::nullopt;
            first = false;
        } else if (line.starts_with("ARQUIVO ")) {
            const std::string rest = line.substr(8);
            const size_t blank = rest.find(' ');
            if (blank == std::string::npos) return std::nullopt;
            Switch entry{rest.substr(0, blank), rest.substr(blank + 1), {}};
            if (!plainName(entry.temp) || !plainName(entry.table)) return std::nullopt;
            switches.push_back(entry);
        } else if (line.starts_with("INDICE ")) {
            const std::string index = line.substr(7);
            if (switches.empty() || !plainName(index)) return std::nullopt;
            switches.back().indexes.push_back(index);
        } else if (line == "FIM") {
            if (at != text.size()) return std::nullopt;
            return switches;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void writeJournal(const std::string& folder, const std::vector<Switch>& switches) {
    store::replaceFileWhole(folder + kJournalName, journalText(switches), kJournalTempKind);
}

// Index files first, then the table: whatever stops it, a table never
// meets an index of the other one, and a missing index is built again on
// the next open.
void applySwitches(const std::string& folder, const std::vector<Switch>& switches) {
    for (const Switch& entry : switches) {
        if (!platform::fileExists(folder + entry.temp)) continue;  // done before a stop
        for (const std::string& index : entry.indexes)
            platform::removeFile(folder + index);
        platform::renameFile(folder + entry.temp, folder + entry.table);
    }
    platform::removeFile(folder + kJournalName);
    platform::syncFolderOf(folder + kJournalName);
}

void removeQuietly(const std::string& path) {
    try {
        platform::removeFile(path);
    } catch (const base::Error&) {
    }
}

// This terminal's temporary files of a restore that was never decided.
bool removeLeftCopies(const std::string& folder) {
    bool removed = false;
    const std::string terminal = store::terminalNumber();
    for (const std::string& pattern : {"IRM*." + std::string(1, kTempKind) + terminal,
                                       "KDX2." + std::string(1, kJournalTempKind) + terminal}) {
        for (const std::string& name : platform::listFiles(folder + pattern)) {
            removeQuietly(folder + name);
            removed = true;
        }
    }
    return removed;
}

std::optional<int> tableNumberOf(const std::string& name) {
    const std::string upper = base::asciiUpper(name);
    if (!upper.starts_with("IRM") || !upper.ends_with(".DBF")) return std::nullopt;
    const std::string digits = upper.substr(3, upper.size() - 7);
    if (digits.empty() || digits.size() > 2 || digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(digits);
    if (n < detail::kFirstTable || n > detail::kLastTable) return std::nullopt;
    return n;
}

// Whether any year table of the folder holds a record.
bool holdsData(const std::string& folder) {
    for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n) {
        const std::string path = folder + tableFile(n);
        if (!platform::fileExists(path)) continue;
        try {
            const platform::File file = platform::openFile(path, platform::File::Mode::ReadOnly);
            if (store::dbf::readHeader(file).recordCount > 0) return true;
        } catch (const base::Error&) {
            return true;  // a damaged table is data too
        }
    }
    return false;
}

// Every year table of the folder held exclusively (finishing what a stopped
// save left in them), so no other workstation opens one while it is
// replaced. A table too damaged to open is not held: it is replaced anyway.
class HeldTables {
  public:
    // Empty when all could be taken; otherwise why not.
    std::string take(const std::string& folder) {
        for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n) {
            const std::string path = folder + tableFile(n);
            if (!platform::fileExists(path)) continue;
            try {
                tables_.push_back(store::Table::open(path, store::OpenMode::Exclusive));
            } catch (const store::InUseError&) {
                return "A tabela "_cp + path +
                       " está em uso em outra estação. Feche o programa nas outras estações "
                       "e tente de novo."_cp;
            } catch (const base::Error&) {
            }
        }
        return "";
    }
    void release() {
        for (auto& table : tables_)
            table->close();
        tables_.clear();
    }
    ~HeldTables() {
        try {
            release();
        } catch (const base::Error&) {
        }
    }

  private:
    std::vector<std::unique_ptr<store::Table>> tables_;
};

RestoreResult failed(std::string problem, int table = 0) {
    RestoreResult result;
    result.outcome = RestoreResult::Outcome::Failed;
    result.problem = std::move(problem);
    result.table = table;
    return result;
}

}  // namespace

std::vector<BackupFile> backupFilesIn(const std::string& folder) {
    std::vector<BackupFile> files;
    for (const std::string& name : platform::listFiles(detail::closed(folder) + "IRM*.DBF"))
        if (const std::optional<int> n = tableNumberOf(name)) files.push_back({name, *n});
    return files;
}

std::string backupFileProblem(const std::string& path, int table) {
    try {
        const platform::File file = platform::openFile(path, platform::File::Mode::ReadOnly);
        const store::dbf::Layout layout = store::dbf::readLayout(file);
        const std::optional<store::Structure> expected = store::tableLayout(table);
        if (!expected) return "";
        int shared = 0;
        bool hasKey = false;
        for (const store::FieldDef& field : layout.fields) {
            const auto same =
                std::find_if(expected->begin(), expected->end(),
                             [&](const store::FieldDef& f) { return f.name == field.name; });
            if (same == expected->end()) continue;
            if (same->type != field.type)
                return "O arquivo "_cp + path + " não é a tabela IRM" + std::to_string(table) +
                       " do KDX2: o campo " + field.name + " tem outro tipo.";
            ++shared;
            if (field.name == "CPF") hasKey = true;
        }
        if (!hasKey || shared < kLeastSharedFields * double(expected->size()))
            return "O arquivo "_cp + path + " não é a tabela IRM" + std::to_string(table) +
                   " do KDX2: seus campos são outros."_cp;
        return "";
    } catch (const base::Error& error) {
        return "O arquivo "_cp + path + " não pode ser recuperado: "_cp + error.what();
    }
}

bool finishInterruptedRestore(const std::string& folder) {
    const std::string to = detail::closed(folder);
    const std::string path = to + kJournalName;
    const std::optional<uint64_t> size = platform::fileSize(path);
    if (!size) return removeLeftCopies(to);
    std::optional<std::vector<Switch>> switches;
    if (*size <= kLargestJournal) {
        std::string text(*size, '\0');
        platform::openFile(path, platform::File::Mode::ReadOnly)
            .readExact(0, text.data(), text.size());
        switches = parseJournal(text);
    }
    if (!switches) {
        // Never written whole by this program: kept aside for whoever looks
        // into it, and the restore it would describe counts as not done.
        platform::renameFile(path, to + "KDX2.RBD");
        store::feedback().alert("O registro de uma recuperação interrompida em "_cp + to +
                                " está danificado e foi guardado como KDX2.RBD; as tabelas "
                                "ficaram como estavam."_cp);
        removeLeftCopies(to);
        return true;
    }
    applySwitches(to, *switches);
    return true;
}

RestoreResult restoreTables(const std::string& origin, const std::string& destination,
                            const std::function<bool()>& confirm,
                            const std::function<void(const std::string& file)>& progress) {
    const std::string from = detail::closed(origin);
    const std::string to = detail::closed(destination);
    const std::vector<BackupFile> files = backupFilesIn(from);
    if (files.empty()) return failed("A pasta " + from + " não contém dados do KDX2"_cp);

    std::set<int> seen;
    for (const BackupFile& file : files) {
        if (!seen.insert(file.table).second)
            return failed("A pasta "_cp + from + " tem mais de um arquivo da tabela IRM" +
                              std::to_string(file.table) + ".",
                          file.table);
        const std::string problem = backupFileProblem(from + file.name, file.table);
        if (!problem.empty()) return failed(problem, file.table);
    }
    if (confirm && holdsData(to) && !confirm()) {
        RestoreResult declined;
        declined.outcome = RestoreResult::Outcome::Declined;
        return declined;
    }

    store::workAreas().closeAll();
    HeldTables held;
    const std::string inUse = held.take(to);
    if (!inUse.empty()) return failed(inUse);
    try {
        finishInterruptedRestore(to);
    } catch (const base::Error& error) {
        return failed(error.what());
    }
    if (!store::pendingJournalTables(to).empty())
        return failed("Uma gravação interrompida em "_cp + to +
                      " ainda não foi concluída; a recuperação não foi feita. Use "
                      "\"Reindexar Dados\" e tente de novo."_cp);

    std::vector<Switch> switches;
    auto discard = [&] {
        for (const Switch& entry : switches)
            removeQuietly(to + entry.temp);
    };
    for (const BackupFile& file : files) {
        if (progress) progress(file.name);
        const std::string source = from + file.name;
        const std::string temp = store::tempPathBeside(to + tableFile(file.table), kTempKind);
        switches.push_back(
            {platform::fileNameOf(temp), tableFile(file.table), detail::indexFilesOf(file.table)});
        try {
            platform::copyFile(source, temp);
            if (platform::fileSize(temp) != platform::fileSize(source))
                throw base::Error("A cópia de "_cp + source + " ficou incompleta.");
        } catch (const base::Error& error) {
            discard();
            return failed(error.what(), file.table);
        }
    }
    try {
        writeJournal(to, switches);
    } catch (const base::Error& error) {
        discard();
        return failed(error.what());
    }
    try {
        applySwitches(to, switches);
    } catch (const base::Error& error) {
        return failed("A recuperação foi decidida mas não terminou ("_cp + error.what() +
                      "). Ela será concluída na próxima recuperação em "_cp + to + ".");
    }
    held.release();

    // The structure check as at start-up; then every table opened once, so
    // that missing tables are created empty and the indexes built again.
    base::NamedValues& s = base::session();
    const std::string dataFolder = s.text("LOCARQ");
    s.set("LOCARQ", to);
    store::ABERTURA(0);
    for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n) {
        store::ABERTURA(n);
        store::workAreas().close(n);
    }
    s.set("LOCARQ", dataFolder);

    RestoreResult result;
    result.outcome = RestoreResult::Outcome::Restored;
    result.restored = static_cast<int>(files.size());
    return result;
}

}  // namespace kdx2::shell::backup
