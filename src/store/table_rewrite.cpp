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

void Table::Impl::rewrite(const Structure& fields, bool keepRecords) {
    requireOpen();
    requireExclusive(keepRecords ? "A reconstrução de"_cp : "O esvaziamento de"_cp);
    writeRecord();
    drainAppends();
    dbf::validateStructure(fields, path);
    dbf::Layout target = dbf::layoutOf(fields);
    target.header.productionIndex = layout.header.productionIndex;
    const bool sameLayout = fields == layout.fields;

    // Old field index of each new field, when it can be carried over.
    std::vector<int> source(fields.size(), -1);
    for (size_t i = 0; i < fields.size(); ++i) {
        const int old = fieldIndex(fields[i].name);
        if (old >= 0 && layout.fields[static_cast<size_t>(old)].type == fields[i].type)
            source[i] = old;
    }

    // Index files to rebuild, each with its tags, in the open order.
    std::vector<std::pair<std::string, std::vector<TagSpec>>> indexFiles;
    for (const OpenOrder& o : orders) {
        if (indexFiles.empty() || !base::equalsIgnoreCase(indexFiles.back().first, o.filePath))
            indexFiles.push_back({o.filePath, {}});
        indexFiles.back().second.push_back(o.definition);
    }
    const int savedOrder = order;

    const std::string temp = tempPathBeside(path, 'P');
    platform::File out;
    uint32_t written = 0;
    // On failure the first error is the one to report; the new file goes.
    auto discardNewFile = [&] {
        try {
            out.close();
        } catch (...) {
        }
        try {
            platform::removeFile(temp);
        } catch (...) {
        }
    };
    try {
        out = platform::createFile(temp);
        // Ours from the start: a copy that opens the table by its name once
        // it is renamed into place must wait for us.
        out.lock(kOpenLock, 1, platform::LockKind::Exclusive, platform::LockWait::No);
        out.lock(kShareLock, 1, platform::LockKind::Exclusive, platform::LockWait::No);
        const std::vector<char> header = dbf::encodeHeader(target);
        out.writeAt(0, header.data(), header.size());
        std::vector<char> buffer;
        buffer.reserve(kBlockBytes + target.header.recordLength);
        uint64_t at = target.header.headerLength;
        auto drain = [&] {
            out.writeAt(at, buffer.data(), buffer.size());
            at += buffer.size();
            buffer.clear();
        };
        if (keepRecords) {
            std::vector<char> converted(target.header.recordLength);
            walkRecords([&](uint32_t, const char* bytes) {
                if (bytes[0] == dbf::kDeleted) return;
                if (sameLayout) {
                    buffer.insert(buffer.end(), bytes, bytes + layout.header.recordLength);
                } else {
                    std::fill(converted.begin(), converted.end(), ' ');
                    for (size_t i = 0; i < fields.size(); ++i) {
                        if (source[i] < 0) continue;
                        const size_t old = static_cast<size_t>(source[i]);
                        const base::Value value =
                            dbf::decodeField(layout.fields[old], bytes + layout.offsets[old]);
                        const FieldDef& was = layout.fields[old];
                        if (was.width == fields[i].width && was.decimals == fields[i].decimals)
                            std::memcpy(converted.data() + target.offsets[i],
                                        bytes + layout.offsets[old],
                                        static_cast<size_t>(was.width));
                        else
                            dbf::encodeField(fields[i], value, converted.data() + target.offsets[i],
                                             path);
                    }
                    buffer.insert(buffer.end(), converted.begin(), converted.end());
                }
                ++written;
                if (buffer.size() >= kBlockBytes) drain();
            });
        }
        buffer.push_back(dbf::kEndOfFile);
        drain();
        target.header.recordCount = written;
        char block[dbf::kHeaderSize];
        dbf::encodeHeaderBlock(target.header, block);
        out.writeAt(0, block, sizeof block);
        out.sync();
    } catch (...) {
        discardNewFile();
        throw;
    }

    // The old indexes describe old record numbers: they go before the new
    // table takes the name, so a crash in between leaves a table whose
    // missing indexes are rebuilt at the next open.
    try {
        dropOrders([](const OpenOrder&) { return true; });
    } catch (const base::Error&) {
        // Those files are removed and built anew just below.
    }
    try {
        for (const auto& [cdxPath, tags] : indexFiles)
            platform::removeFile(cdxPath);
        platform::renameFile(temp, path);
    } catch (...) {
        discardNewFile();
        throw;
    }
    view = {};
    file = std::move(out);
    layout = target;
    indexFields();
    count = written;
    mapRecords();
    headerDirty = false;
    changed = false;
    tableLocked = false;
    recordLocks.clear();
    placeEof();
    for (const auto& [cdxPath, tags] : indexFiles) {
        buildIndexFile(cdxPath, tags);
        openIndex(cdxPath);
    }
    order = std::min(savedOrder, static_cast<int>(orders.size()));
    goTop();
}

}  // namespace kdx2::store
