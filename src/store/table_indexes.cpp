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

void Table::Impl::buildIndexFile(const std::string& cdxPath, const std::vector<TagSpec>& tags) {
    struct Built {
        CdxTagDefinition definition;
        CdxKeyList keys;
    };
    std::vector<Built> built;
    for (const TagSpec& wanted : tags) {
        Expression key = Expression::compile(wanted.expression, *this);
        const ResultInfo result = key.describe(*this);
        size_t length = result.length;
        if (result.type != base::Type::Character) length = result.length;
        if (length < 1 || length > kCdxMaxKeyLength)
            throw base::Error("A chave "_cp + wanted.expression + " do índice "_cp + cdxPath +
                              " tem tamanho inválido ("_cp + std::to_string(length) + ").");
        Built b{CdxTagDefinition{wanted.name, wanted.expression, "", false},
                CdxKeyList(length, result.type)};
        b.keys.reserve(count);
        const char* saved = evalBuffer;
        try {
            walkRecords([&](uint32_t n, const char* bytes) {
                evalBuffer = bytes;
                const uint32_t savedRecno = recno;
                recno = n;  // RECNO() in a key
                base::Value value = key.evaluate(*this);
                recno = savedRecno;
                if (value.type() != result.type)
                    throw base::Error("A chave "_cp + wanted.expression + " mudou de tipo."_cp);
                b.keys.add(cdxKey(value, length), n);
            });
        } catch (...) {
            evalBuffer = saved;
            throw;
        }
        evalBuffer = saved;
        built.push_back(std::move(b));
    }
    const std::string temp = tempPathBeside(cdxPath, 'X');
    try {
        CdxFile out = CdxFile::create(platform::hostPath(temp), CdxFile::Sharing::Exclusive,
                                      platform::absolutePath(temp));
        for (const Built& b : built)
            out.addTag(b.definition, b.keys);
        out.close();
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

void Table::Impl::createIndex(const std::string& rawPath, const std::string& expression) {
    requireOpen();
    writeRecord();
    refreshCount();
    const std::string cdxPath = indexPathOf(rawPath);
    const int previousOrder = order;
    // An open copy of the file is replaced by the new one.
    closeIndexFile(cdxPath);
    buildIndexFile(cdxPath, {{base::asciiUpper(platform::baseNameOf(cdxPath)), expression}});
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
            tags.push_back({info.name, info.keyExpression});
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

}  // namespace kdx2::store
