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

void Table::Impl::ensureLoaded() {
    if (loaded) return;
    record.resize(layout.header.recordLength);
    if (atEof || recno < 1 || recno > count) {
        std::fill(record.begin(), record.end(), ' ');
    } else if (const uint64_t at = layout.recordOffset(recno); inView(at + record.size())) {
        std::memcpy(record.data(), view.data() + at, record.size());
    } else {
        if (!appendBuffer.empty() && recno >= bufferedFirst) drainAppends();
        const size_t got = file.readAt(layout.recordOffset(recno), record.data(), record.size());
        if (got != record.size())
            throw base::Error("O registro "_cp + std::to_string(recno) + " de "_cp + path +
                              " está incompleto (arquivo truncado)."_cp);
    }
    loaded = true;
}

void Table::Impl::mapRecords() {
    view = {};
    // Never beyond the file's end: reading there through a view faults.
    // A shared table is mapped even while empty: its header, read on every
    // append, then comes from the view too.
    if (shared() ? localDisk : count > 0)
        view = file.view(std::min(layout.recordOffset(count + 1), file.size()));
}

bool Table::Impl::inView(uint64_t end) {
    if (end <= view.size()) return true;
    // A shared table's view is not remade for every record another copy
    // appends: only when the records beyond it are worth a new one.
    constexpr uint64_t kRemapStep = 1 << 20;
    const uint64_t tableEnd = layout.recordOffset(count + 1);
    if (!shared() || !localDisk || end > tableEnd || tableEnd < view.size() + kRemapStep)
        return false;
    mapRecords();
    return end <= view.size();
}

dbf::Header Table::Impl::headerOnDisk() const {
    if (view.size() >= dbf::kHeaderSize)
        return dbf::decodeHeader(reinterpret_cast<const unsigned char*>(view.data()));
    return dbf::readHeader(file);
}

void Table::Impl::drainAppends() {
    if (appendBuffer.empty()) return;
    const uint32_t written =
        static_cast<uint32_t>(appendBuffer.size() / layout.header.recordLength);
    // The end-of-file byte travels with the last record.
    appendBuffer.push_back(dbf::kEndOfFile);
    try {
        file.writeAt(layout.recordOffset(bufferedFirst), appendBuffer.data(), appendBuffer.size());
        // The count follows the records at once, so the header never
        // lags behind what the file holds when the program is stopped.
        writeCount(bufferedFirst - 1 + written);
    } catch (...) {
        // Records the header does not count are not there for anyone.
        dropBufferedAppends();
        throw;
    }
    appendBuffer.clear();
}

void Table::Impl::dropBufferedAppends() {
    appendBuffer.pop_back();  // the end-of-file byte
    const size_t length = layout.header.recordLength;
    const uint32_t dropped = static_cast<uint32_t>(appendBuffer.size() / length);
    for (uint32_t i = 0; i < dropped; ++i)
        for (OpenOrder& o : orders) {
            try {
                o.tag.remove(keyOf(o, appendBuffer.data() + size_t(i) * length), bufferedFirst + i);
            } catch (const base::Error&) {
                // A damaged index is rebuilt anyway.
            }
        }
    appendBuffer.clear();
    count = bufferedFirst - 1;
    headerDirty = true;
    if (recno > count) {
        pendingAppend = false;
        dirty = false;
        placeEof();
    }
    try {
        const uint64_t end = layout.recordOffset(count + 1);
        file.truncate(end);
        const char eof = dbf::kEndOfFile;
        file.writeAt(end, &eof, 1);
        writeCount(count);
    } catch (const base::Error&) {
        // The header written at close counts only the records on disk.
    }
}

void Table::Impl::writeCount(uint32_t records) {
    layout.header.recordCount = records;
    layout.header.lastUpdate = base::Date::today();
    char block[dbf::kHeaderSize];
    dbf::encodeHeaderBlock(layout.header, block);
    file.writeAt(0, block, 8);  // version, date and count
}

int Table::Impl::plainCharacterField(const std::string& keyExpression) const {
    const int index = fieldIndex(keyExpression);
    if (index < 0) return -1;
    const FieldDef& f = layout.fields[static_cast<size_t>(index)];
    return f.type == base::Type::Character ? index : -1;
}

std::string Table::Impl::keyOf(const OpenOrder& o, const char* buffer) {
    if (o.plainField >= 0)
        return std::string(buffer + layout.offsets[static_cast<size_t>(o.plainField)], o.keyLength);
    const char* saved = evalBuffer;
    evalBuffer = buffer;
    base::Value value;
    try {
        value = o.key.evaluate(*this);
    } catch (...) {
        evalBuffer = saved;
        throw;
    }
    evalBuffer = saved;
    if (value.type() != o.keyType)
        throw base::Error("A chave "_cp + o.key.text() + " do índice "_cp + o.filePath +
                          " mudou de tipo."_cp);
    return cdxKey(value, o.keyLength);
}

bool Table::Impl::holds(const OpenOrder& o, const char* buffer) {
    if (!o.condition) return true;
    const char* saved = evalBuffer;
    evalBuffer = buffer;
    bool result = false;
    try {
        result = o.condition->test(*this);
    } catch (...) {
        evalBuffer = saved;
        throw;
    }
    evalBuffer = saved;
    return result;
}

// A record enters or leaves a FOR order when the condition changes with it.
// A unique order keeps the first record of each key: the tag refuses a key
// another record already holds, and a record that never held the entry has
// none to remove.
void Table::Impl::updateEntry(OpenOrder& o) {
    const bool now = holds(o, record.data());
    const std::string newKey = now ? keyOf(o, record.data()) : std::string();
    if (pendingAppend) {
        if (now) o.tag.insert(newKey, recno);
        return;
    }
    const bool before = holds(o, original.data());
    const std::string oldKey = before ? keyOf(o, original.data()) : std::string();
    if (before && now) {
        if (oldKey != newKey) o.tag.update(oldKey, newKey, recno);
    } else if (before) {
        o.tag.remove(oldKey, recno);
    } else if (now) {
        o.tag.insert(newKey, recno);
    }
}

void Table::Impl::writeRecord() {
    if (!dirty && !pendingAppend) return;
    for (OpenOrder& o : orders)
        updateEntry(o);
    if (pendingAppend && !shared()) {
        if (appendBuffer.empty()) bufferedFirst = recno;
        appendBuffer.insert(appendBuffer.end(), record.begin(), record.end());
        if (writeThrough || appendBuffer.size() >= kAppendBlockBytes) drainAppends();
    } else {
        if (!appendBuffer.empty() && recno >= bufferedFirst) drainAppends();
        file.writeAt(layout.recordOffset(recno), record.data(), record.size());
    }
    dirty = false;
    pendingAppend = false;
    changed = true;
}

void Table::Impl::writeHeader() {
    if (shared()) {
        if (!changed) return;
        file.lock(kHeaderLock, 1, platform::LockKind::Exclusive, platform::LockWait::Yes);
        try {
            dbf::Header header = dbf::readHeader(file);
            header.lastUpdate = base::Date::today();
            header.productionIndex = layout.header.productionIndex;
            char block[dbf::kHeaderSize];
            dbf::encodeHeaderBlock(header, block);
            file.writeAt(0, block, 4);  // version and date only: others own the count
            file.writeAt(28, block + 28, 1);
        } catch (...) {
            file.unlock(kHeaderLock, 1);
            throw;
        }
        file.unlock(kHeaderLock, 1);
        changed = false;
        return;
    }
    if (!headerDirty && !changed) return;
    layout.header.recordCount = count;
    layout.header.lastUpdate = base::Date::today();
    char block[dbf::kHeaderSize];
    dbf::encodeHeaderBlock(layout.header, block);
    file.writeAt(0, block, sizeof block);
    headerDirty = false;
    changed = false;
}

void Table::Impl::flush() {
    requireOpen();
    writeRecord();
    drainAppends();
    if (!shared() && layout.recordOffset(count + 1) > view.size()) mapRecords();
    writeHeader();
    for (OpenOrder& o : orders)
        o.file->flush();
}

void Table::Impl::sync() {
    flush();
    file.sync();
    for (OpenOrder& o : orders)
        o.file->sync();
}

void Table::Impl::close() {
    if (!file.isOpen()) return;
    try {
        flush();
    } catch (...) {
        closeFiles();
        throw;
    }
    closeFiles();
}

void Table::Impl::closeFiles() {
    for (OpenOrder& o : orders)
        if (o.file->isOpen()) {
            try {
                o.file->close();
            } catch (...) {
            }
        }
    orders.clear();
    order = 0;
    appendBuffer.clear();
    view = {};
    file.close();
    tableLocked = false;
    recordLocks.clear();
}

}  // namespace kdx2::store
