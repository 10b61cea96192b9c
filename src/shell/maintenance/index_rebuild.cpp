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

bool sameFolder(std::string_view a, std::string_view b) {
    if (base::alltrim(a).empty() || base::alltrim(b).empty()) return false;
    try {
        return base::equalsIgnoreCase(platform::absolutePath(closedFolder(a)),
                                      platform::absolutePath(closedFolder(b)));
    } catch (const base::Error&) {
        return false;
    }
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
    return folder + store::tableSpec(number)->file + ".DBF";
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

// Packs the held year table and builds its index files, as its first
// opening without an index would; a missing table is created first.
bool rebuildYearTable(const std::string& folder, int number, detail::ExclusiveTables& held) {
    store::Feedback& fb = store::feedback();
    const store::TableSpec* layout = store::tableSpec(number);
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
        table->pack();
        for (const store::IndexSpec& index : layout->indexes) {
            const std::string indexPath = folder + index.file + ".cdx";
            fb.showMessage("Criando o indice "_cp + indexPath);
            table->createIndex(indexPath, index.key);
        }
        table->closeIndexes();
        return true;
    } catch (const base::Error& error) {
        fb.closeMessage();
        fb.alert(error.what());
        return false;
    }
}

// The table an index file belongs to (the same name, or the name without a
// final "B" for a second index) is held, so the index can be rebuilt.
bool ownerHeld(const std::string& folder, const std::string& indexName,
               const detail::ExclusiveTables& held) {
    const std::string base = base::asciiUpper(platform::baseNameOf(indexName));
    if (held.find(folder + base + ".DBF")) return true;
    return base.size() > 1 && base.back() == 'B' &&
           held.find(folder + base.substr(0, base.size() - 1) + ".DBF");
}

}  // namespace

ReorgResult REORG(const std::string& folder) {
    const std::string closed = detail::closedFolder(folder);
    if (!platform::folderExists(closed)) return ReorgResult::NoIndexes;
    const std::vector<std::string> indexFiles = platform::listFiles(closed + "*.cdx");
    if (indexFiles.empty()) return ReorgResult::NoIndexes;

    detail::ExclusiveTables held;
    if (!holdFolder(closed, indexFiles, held)) return ReorgResult::InUse;
    int deleted = 0;
    for (const std::string& name : indexFiles) {
        // An index goes only when its table can be read, so it can be
        // rebuilt: a damaged table keeps the index it has.
        if (!ownerHeld(closed, name, held)) continue;
        try {
            if (platform::removeFile(closed + name)) ++deleted;
        } catch (const base::Error& error) {
            store::feedback().alert(error.what());
        }
    }
    bool complete = true;
    if (deleted > 0) {
        for (int n = detail::kFirstYearTable; n <= detail::kLastYearTable; ++n)
            complete = rebuildYearTable(closed, n, held) && complete;
        store::feedback().closeMessage();
    }
    held.release();
    if (detail::sameFolder(closed, base::session().text("ARQDEF"))) store::ABERTURA(9);
    if (deleted == 0) return ReorgResult::NoIndexes;
    return complete ? ReorgResult::Rebuilt : ReorgResult::Failed;
}

}  // namespace kdx2::shell::maintenance
