#include "store/table_impl.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <set>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/expr.h"
#include "store/journal.h"
#include "store/locks.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::store {

void Table::Impl::addOrders(const std::string& cdxPath, std::shared_ptr<CdxFile> cdx) {
    const bool hadOrders = !orders.empty();
    for (const CdxTagInfo& info : cdx->tags()) {
        OpenOrder o;
        o.file = cdx;
        o.filePath = cdxPath;
        o.key = Expression::compile(info.keyExpression, *this);
        const ResultInfo result = o.key.describe(*this);
        o.keyType = result.type;
        o.keyLength = result.type == base::Type::Character ? result.length : info.keyLength;
        if (o.keyLength != info.keyLength)
            throw base::Error("O índice "_cp + info.name + " de "_cp + cdxPath +
                              " não confere com a tabela "_cp + path + " (tamanho da chave)."_cp);
        if (info.hasFor && !base::alltrim(info.forExpression).empty())
            o.condition = Expression::compile(info.forExpression, *this);
        o.descending = info.descending;
        o.definition =
            CdxTagDefinition{info.name, info.keyExpression, o.condition ? info.forExpression : "",
                             info.unique, info.descending};
        o.plainField = plainCharacterField(info.keyExpression);
        o.tag = cdx->tag(info.name, o.keyType);
        o.cursor = o.tag.cursor();
        orders.push_back(std::move(o));
    }
    if (!hadOrders && !orders.empty()) order = 1;
}

void Table::Impl::openIndex(const std::string& rawPath) {
    requireOpen();
    writeRecord();
    const std::string cdxPath = indexPathOf(rawPath);
    if (!platform::fileExists(cdxPath))
        throw base::Error("O índice "_cp + cdxPath + " não existe."_cp);
    // Messages name the file by its drive path, the one the user knows.
    auto cdx = std::make_shared<CdxFile>(
        CdxFile::open(platform::hostPath(cdxPath), CdxFile::Access::ReadWrite,
                      shared() ? CdxFile::Sharing::Shared : CdxFile::Sharing::Exclusive, cdxPath));
    addOrders(cdxPath, std::move(cdx));
}

void Table::Impl::buildIndexFile(const std::string& cdxPath, const std::vector<TagSpec>& tags,
                                 Replace how) {
    struct Built {
        CdxTagDefinition definition;
        CdxKeyList keys;
    };
    std::vector<Built> built;
    for (const TagSpec& wanted : tags) {
        Expression key = Expression::compile(wanted.keyExpression, *this);
        std::optional<Expression> condition;
        if (!base::alltrim(wanted.forExpression).empty())
            condition = Expression::compile(wanted.forExpression, *this);
        const ResultInfo result = key.describe(*this);
        size_t length = result.length;
        if (result.type != base::Type::Character) length = result.length;
        if (length < 1 || length > kCdxMaxKeyLength)
            throw base::Error("A chave "_cp + wanted.keyExpression + " do índice "_cp + cdxPath +
                              " tem tamanho inválido ("_cp + std::to_string(length) + ").");
        Built b{wanted, CdxKeyList(length, result.type)};
        b.keys.reserve(count);
        const int plainField = plainCharacterField(wanted.keyExpression);
        const size_t plainOffset =
            plainField >= 0 ? layout.offsets[static_cast<size_t>(plainField)] : 0;
        const char* saved = evalBuffer;
        try {
            walkRecords([&](uint32_t n, const char* bytes) {
                evalBuffer = bytes;
                const uint32_t savedRecno = recno;
                recno = n;  // RECNO() in a key
                if (condition && !condition->test(*this)) {
                    recno = savedRecno;
                    return;
                }
                if (plainField >= 0) {
                    recno = savedRecno;
                    b.keys.add(std::string_view(bytes + plainOffset, length), n);
                    return;
                }
                base::Value value = key.evaluate(*this);
                recno = savedRecno;
                if (value.type() != result.type)
                    throw base::Error("A chave "_cp + wanted.keyExpression + " mudou de tipo."_cp);
                b.keys.add(cdxKey(value, length), n);
            });
        } catch (...) {
            evalBuffer = saved;
            throw;
        }
        evalBuffer = saved;
        built.push_back(std::move(b));
    }
    const auto writeTags = [&](const std::string& file) {
        CdxFile out = CdxFile::create(platform::hostPath(file), CdxFile::Sharing::Exclusive,
                                      platform::absolutePath(file));
        for (const Built& b : built)
            out.addTag(b.definition, b.keys);
        out.close();
    };
    if (how == Replace::WorkFile) {
        platform::removeFile(cdxPath);  // see Table::create
        writeTags(cdxPath);
        return;
    }
    const std::string temp = tempPathBeside(cdxPath, 'X');
    try {
        writeTags(temp);
        platform::renameFile(temp, cdxPath);
    } catch (...) {
        try {
            platform::removeFile(temp);
        } catch (...) {
        }
        throw;
    }
}

void Table::Impl::markProductionIndex(const std::string& cdxPath) {
    if (!base::equalsIgnoreCase(platform::baseNameOf(cdxPath), platform::baseNameOf(path))) return;
    if (layout.header.productionIndex) return;
    layout.header.productionIndex = true;
    headerDirty = true;
    changed = true;
    writeHeader();
}

void Table::Impl::createIndex(const std::string& rawPath, const std::string& expression,
                              Replace how) {
    requireOpen();
    writeRecord();
    refreshCount();
    const std::string cdxPath = newIndexPathOf(rawPath);
    const int previousOrder = order;
    // An open copy of the file is replaced by the new one.
    closeIndexFile(cdxPath);
    buildIndexFile(
        cdxPath, {{base::asciiUpper(platform::baseNameOf(cdxPath)), expression, "", false, false}},
        how);
    markProductionIndex(cdxPath);
    openIndex(cdxPath);
    if (previousOrder > 0 && previousOrder <= static_cast<int>(orders.size()))
        order = previousOrder;
    cursorOnRecord = false;
}

void Table::Impl::closeIndexFile(const std::string& cdxPath) {
    dropOrders([&](const OpenOrder& o) { return base::equalsIgnoreCase(o.filePath, cdxPath); });
}

void Table::Impl::rebuildIndexFile(const std::string& rawPath) {
    requireOpen();
    writeRecord();
    refreshCount();
    const std::string cdxPath = indexPathOf(rawPath);
    std::vector<TagSpec> tags;
    {
        CdxFile existing = CdxFile::open(
            platform::hostPath(cdxPath), CdxFile::Access::ReadOnly,
            shared() ? CdxFile::Sharing::Shared : CdxFile::Sharing::Exclusive, cdxPath);
        for (const CdxTagInfo& info : existing.tags())
            tags.push_back({info.name, info.keyExpression, info.hasFor ? info.forExpression : "",
                            info.unique, info.descending});
    }
    const bool wasOpen = std::any_of(orders.begin(), orders.end(), [&](const OpenOrder& o) {
        return base::equalsIgnoreCase(o.filePath, cdxPath);
    });
    const int previousOrder = order;
    closeIndexFile(cdxPath);
    buildIndexFile(cdxPath, tags);
    if (wasOpen) {
        openIndex(cdxPath);
        if (previousOrder > 0 && previousOrder <= static_cast<int>(orders.size()))
            order = previousOrder;
    }
    cursorOnRecord = false;
}

void Table::Impl::closeIndexes() {
    writeRecord();
    dropOrders([](const OpenOrder&) { return true; });
}

std::string Table::Impl::indexPathOf(const std::string& rawPath) const {
    std::string cdxPath = platform::absolutePath(rawPath);
    if (!platform::hasExtension(cdxPath)) cdxPath += ".cdx";
    return cdxPath;
}

// Index files this table creates are spelt as the table file is, with the
// extension ".cdx", whatever case the caller wrote: another program on a
// case-sensitive file system looks for the structural index of "BANCOS.DBF"
// as "BANCOS.cdx". A further index file named after the table ("IRM9B")
// keeps the table's spelling for the part they share. Files are found
// whatever their case, so an index written under another spelling still
// opens, and rebuilding it replaces it under its own name.
std::string Table::Impl::newIndexPathOf(const std::string& rawPath) const {
    const std::string cdxPath = indexPathOf(rawPath);
    const std::string tableBase = platform::baseNameOf(path);
    std::string base = platform::baseNameOf(cdxPath);
    if (base.size() >= tableBase.size() &&
        base::equalsIgnoreCase(std::string_view(base).substr(0, tableBase.size()), tableBase))
        base.replace(0, tableBase.size(), tableBase);
    return platform::folderOf(cdxPath) + base + ".cdx";
}

}  // namespace kdx2::store
