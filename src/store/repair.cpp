#include "store/repair.h"

#include <charconv>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/settings.h"
#include "store/work_areas.h"

namespace kdx2::store {

using namespace base::literals;

namespace {

enum class Repair { Current, Rebuilt, Failed };

struct IndexFile {
    std::string path;
    std::string key;
};

// The index files that belong to table `number` in the folder of `path`.
std::vector<IndexFile> indexFilesOf(int number, const std::string& path) {
    std::vector<IndexFile> files;
    if (const CatalogTable* layout = catalogTable(number))
        for (const CatalogIndex& index : layout->indexes)
            files.push_back({platform::folderOf(path) + index.file + ".cdx", index.key});
    return files;
}

bool isCurrent(const Table& table, const NewestField& newest) {
    const int index = table.fieldIndex(newest.name);
    return index >= 0 && table.structure()[static_cast<size_t>(index)].type == newest.type;
}

// Puts the table back in its area the way it was open before the repair.
void reopen(int area, const std::string& path, bool exclusive, const std::string& alias,
            const std::vector<std::string>& indexPaths, int order) {
    try {
        auto table = Table::open(path, exclusive ? OpenMode::Exclusive : OpenMode::Shared, alias);
        for (const std::string& index : indexPaths)
            if (platform::fileExists(index)) table->openIndex(index);
        if (order <= table->indexCount()) table->setOrder(order);
        table->goTop();
        workAreas().attach(area, std::move(table));
    } catch (const base::Error& error) {
        feedback().alert(error.what());
    }
}

Repair repairArea(int number) {
    WorkAreas& areas = workAreas();
    Table* table = areas.table(number);
    const std::optional<NewestField> newest = newestField(number);
    if (!table || !newest || isCurrent(*table, *newest)) return Repair::Current;
    const std::optional<Structure> layout = tableLayout(number);
    if (!layout) return Repair::Current;

    std::string path = table->path();
    std::string shown = path;
    if (number < 36) {
        shown = dataFolder() + "IRM" + std::to_string(number);
        path = platform::absolutePath(shown + ".DBF");
    }
    const bool wasExclusive = table->exclusive();
    const std::string alias = table->alias();
    const int order = table->order();
    std::vector<std::string> openIndexes;
    for (int i = 1; i <= table->indexCount(); ++i)
        openIndexes.push_back(table->indexPath(i));

    Feedback& fb = feedback();
    fb.status("Atualizando o banco de dados "_cp + shown);
    areas.close(number);

    // The rebuild replaces the file: no other workstation may have it open.
    std::unique_ptr<Table> own;
    try {
        own = Table::open(path, OpenMode::Exclusive, alias);
    } catch (const InUseError&) {
        fb.status("");
        fb.alert("A tabela "_cp + path +
                 " precisa ser atualizada, mas está aberta em outra estação. Feche o programa "
                 "nas outras estações e entre de novo."_cp);
        reopen(number, path, wasExclusive, alias, openIndexes, order);
        return Repair::Failed;
    } catch (const base::Error& error) {
        fb.status("");
        fb.alert(error.what());
        return Repair::Failed;
    }

    const std::vector<IndexFile> indexes = indexFilesOf(number, path);
    try {
        // The old indexes go first: record numbers change with the rebuild,
        // and a missing index is rebuilt at the next open.
        for (const IndexFile& index : indexes)
            platform::removeFile(index.path);
        own->restructure(*layout);
        for (const IndexFile& index : indexes)
            own->createIndex(index.path, index.key);
        own->close();
    } catch (const base::Error& error) {
        // The old table is still whole; give it its indexes back.
        try {
            if (own->isOpen())
                for (const IndexFile& index : indexes)
                    if (!platform::fileExists(index.path)) own->createIndex(index.path, index.key);
            own->close();
        } catch (const base::Error&) {
        }
        fb.status("");
        fb.alert(error.what());
        reopen(number, path, wasExclusive, alias, openIndexes, order);
        return Repair::Failed;
    }
    own.reset();
    fb.status("");
    reopen(number, path, wasExclusive, alias, openIndexes, order);
    return Repair::Rebuilt;
}

void closeAreas(const std::vector<int>& areas) {
    std::string firstError;
    for (int area : areas) {
        try {
            workAreas().close(area);
        } catch (const base::Error& error) {
            if (firstError.empty()) firstError = error.what();
        }
    }
    if (!firstError.empty()) throw base::Error(firstError);
}

}  // namespace

bool CORRECAO() {
    const bool savedMessages = progressShown();
    setProgressShown(false);
    bool usable = true;
    const std::string folder = dataFolder();
    for (int number : {1, 2, 9, 10, 14, 15}) {
        if (!ABREARQ(number, false, folder + "IRM" + std::to_string(number), "CPF")) continue;
        if (repairArea(number) == Repair::Failed) usable = false;
        try {
            workAreas().close(number);
        } catch (const base::Error& error) {
            feedback().alert(error.what());
        }
    }
    setProgressShown(savedMessages);
    return usable;
}

bool CORRIGE(std::string_view number) {
    int n = 0;
    const std::string text = base::alltrim(number);
    std::from_chars(text.data(), text.data() + text.size(), n);
    return repairArea(n) == Repair::Rebuilt;
}

void FECHA_PROV() {
    std::vector<int> areas;
    for (int n = 21; n <= 37; ++n)
        areas.push_back(n);
    closeAreas(areas);
}

void FECHA_TODO() {
    std::vector<int> areas;
    for (int n = 1; n <= 17; ++n)
        if (n != 9) areas.push_back(n);
    for (int n = 21; n <= 37; ++n)
        areas.push_back(n);
    closeAreas(areas);
}

}  // namespace kdx2::store
