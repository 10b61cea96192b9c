// The index rebuild of one folder (REORG) and the tables it holds meanwhile.

#include <set>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "platform/drives.h"
#include "shell/maintenance/internal.h"
#include "shell/maintenance/maintenance.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/feedback.h"

namespace kdx2::shell::maintenance {

using namespace base::literals;

namespace detail {

std::string closedFolder(std::string_view folder) {
    std::string closed = base::alltrim(folder);
    if (closed.empty() || closed.back() != '\\') closed += '\\';
    return closed;
}

store::Table& ExclusiveTables::hold(const std::string& path) {
    if (store::Table* held = find(path)) return *held;
    tables_.push_back(store::Table::open(path, store::OpenMode::Exclusive));
    return *tables_.back();
}

bool ExclusiveTables::take(const std::string& path) {
    try {
        hold(path);
    } catch (const store::InUseError&) {
        return false;
    } catch (const base::Error&) {
        // Missing or unreadable: nobody can be using it through its indexes.
    }
    return true;
}

store::Table* ExclusiveTables::find(std::string_view path) const {
    for (const auto& table : tables_)
        if (base::equalsIgnoreCase(table->path(), path)) return table.get();
    return nullptr;
}

void ExclusiveTables::release() {
    for (auto& table : tables_) {
        try {
            table->close();
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
    }
    tables_.clear();
}

}  // namespace detail

namespace {

std::string yearTablePath(const std::string& folder, int number) {
    return folder + store::catalogTable(number)->file + ".DBF";
}

// Every year table of the folder, and every table owning one of its index
// files, held exclusively; false (nothing held) when one is in use.
bool holdFolder(const std::string& folder, const std::vector<std::string>& indexFiles,
                detail::ExclusiveTables& held) {
    std::vector<std::string> paths;
    for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n)
        paths.push_back(yearTablePath(folder, n));
    for (const std::string& name : indexFiles)
        paths.push_back(folder + platform::baseNameOf(name) + ".DBF");
    for (const std::string& path : paths) {
        if (!platform::fileExists(path)) continue;
        if (!held.take(path)) {
            held.release();
            return false;
        }
    }
    return true;
}

// Opens the index files of a held table that are there, so that a pack
// renumbering its records takes them along; one that cannot be read goes
// (its table is held and readable, so it is built again right after).
void openIndexesThere(store::Table& table, const std::vector<std::string>& indexPaths) {
    for (const std::string& path : indexPaths) {
        if (!platform::fileExists(path)) continue;
        try {
            table.openIndex(path);
        } catch (const base::Error&) {
            platform::removeFile(path);
        }
    }
}

// Packs the held year table and builds its index files, as its first
// opening without an index would; a missing table is created first. Each
// index file is replaced only by a complete new one: one whose table cannot
// be read is never touched.
bool rebuildYearTable(const std::string& folder, int number, detail::ExclusiveTables& held) {
    store::Feedback& fb = store::feedback();
    const store::CatalogTable* layout = store::catalogTable(number);
    const std::string path = yearTablePath(folder, number);
    fb.showMessage("Verificando o Arquivo "_cp + base::asciiUpper(folder + layout->file));
    try {
        if (!platform::fileExists(path) && !store::CRIA(std::to_string(number), path)) return false;
        store::Table* table = nullptr;
        try {
            table = &held.hold(path);
        } catch (const store::InUseError&) {
            fb.alert(base::asciiUpper(folder + layout->file) + ".DBF não está disponível "_cp);
            return false;
        }
        std::vector<std::string> indexPaths;
        for (const store::CatalogIndex& index : layout->indexes)
            indexPaths.push_back(folder + index.file + ".cdx");
        openIndexesThere(*table, indexPaths);
        table->pack();
        table->closeIndexes();
        for (size_t i = 0; i < indexPaths.size(); ++i) {
            fb.showMessage("Criando o indice "_cp + indexPaths[i]);
            table->createIndex(indexPaths[i], layout->indexes[i].key);
        }
        table->closeIndexes();
        return true;
    } catch (const base::Error& error) {
        fb.closeMessage();
        fb.alert(error.what());
        return false;
    }
}

// The held table an index file belongs to (the same name, or the name
// without a final "B" for a second index), or nullptr.
store::Table* ownerOf(const std::string& folder, const std::string& indexName,
                      const detail::ExclusiveTables& held) {
    const std::string base = base::asciiUpper(platform::baseNameOf(indexName));
    if (store::Table* table = held.find(folder + base + ".DBF")) return table;
    if (base.size() > 1 && base.back() == 'B')
        return held.find(folder + base.substr(0, base.size() - 1) + ".DBF");
    return nullptr;
}

bool isYearTableIndex(const std::string& indexName) {
    const std::string base = base::asciiUpper(platform::baseNameOf(indexName));
    for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n)
        for (const store::CatalogIndex& index : store::catalogTable(n)->indexes)
            if (base::asciiUpper(index.file) == base) return true;
    return false;
}

}  // namespace

namespace detail {

bool rebuildIndexFile(const std::string& folder, const std::string& indexName,
                      const ExclusiveTables& held) {
    store::Table* owner = ownerOf(folder, indexName, held);
    if (!owner) return true;  // its table cannot be read: it stays as it is
    const std::string path = folder + indexName;
    store::feedback().showMessage("Criando o indice "_cp + path);
    try {
        try {
            owner->openIndex(path);
            owner->closeIndexes();
        } catch (const base::Error&) {
            // Unreadable, or not an index of this table: the table's next
            // opening builds the one it needs.
            platform::removeFile(path);
            return true;
        }
        owner->rebuildIndexFile(path);
        owner->closeIndexes();
        return true;
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
        return false;
    }
}

}  // namespace detail

ReorgResult REORG(const std::string& folder) {
    const std::string closed = detail::closedFolder(folder);
    if (!platform::folderExists(closed)) return ReorgResult::NoIndexes;
    const std::vector<std::string> indexFiles = platform::listFiles(closed + "*.cdx");
    if (indexFiles.empty()) return ReorgResult::NoIndexes;

    detail::ExclusiveTables held;
    if (!holdFolder(closed, indexFiles, held)) return ReorgResult::InUse;
    bool complete = true;
    for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n)
        complete = rebuildYearTable(closed, n, held) && complete;
    for (const std::string& name : indexFiles)
        if (!isYearTableIndex(name))
            complete = detail::rebuildIndexFile(closed, name, held) && complete;
    store::feedback().closeMessage();
    held.release();
    if (platform::sameFolder(closed, base::session().text("ARQDEF"))) store::ABERTURA(9);
    return complete ? ReorgResult::Rebuilt : ReorgResult::Failed;
}

}  // namespace kdx2::shell::maintenance
