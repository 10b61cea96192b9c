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

bool Table::Impl::lockRecord(uint32_t n) {
    requireOpen();
    if (!shared() || tableLocked || recordLocks.count(n)) return true;
    if (n < 1) return false;
    if (!file.lock(recordLockOffset(n), 1, platform::LockKind::Exclusive, platform::LockWait::No))
        return false;
    recordLocks.insert(n);
    // What we change from now on must start from what is on disk.
    if (n == recno && !dirty && !pendingAppend) loaded = false;
    return true;
}

bool Table::Impl::lockTable() {
    requireOpen();
    if (!shared() || tableLocked) return true;
    if (!file.lock(kTableLockStart, kTableLockLength, platform::LockKind::Exclusive,
                   platform::LockWait::No))
        return false;
    tableLocked = true;
    if (!dirty && !pendingAppend) loaded = false;
    return true;
}

void Table::Impl::unlock() {
    requireOpen();
    writeRecord();
    if (!shared()) return;
    if (tableLocked || !recordLocks.empty()) file.unlock(kTableLockStart, kTableLockLength);
    tableLocked = false;
    recordLocks.clear();
}

bool Table::Impl::append() {
    requireOpen();
    leaveRecord();
    atBof = false;
    if (!shared()) {
        ++count;
        headerDirty = true;
        place(count);
        record.assign(layout.header.recordLength, ' ');
        loaded = true;
        pendingAppend = true;
        return true;
    }
    file.lock(kHeaderLock, 1, platform::LockKind::Exclusive, platform::LockWait::Yes);
    uint32_t n = 0;
    try {
        dbf::Header header = headerOnDisk();
        n = header.recordCount + 1;
        if (!tableLocked && !file.lock(recordLockOffset(n), 1, platform::LockKind::Exclusive,
                                       platform::LockWait::No)) {
            file.unlock(kHeaderLock, 1);
            return false;  // another copy holds the table lock
        }
        std::vector<char> blank = dbf::blankRecord(layout);
        blank.push_back(dbf::kEndOfFile);
        file.writeAt(layout.recordOffset(n), blank.data(), blank.size());
        header.recordCount = n;
        header.lastUpdate = base::Date::today();
        char block[dbf::kHeaderSize];
        dbf::encodeHeaderBlock(header, block);
        file.writeAt(0, block, 8);  // version, date and count
    } catch (...) {
        file.unlock(kHeaderLock, 1);
        throw;
    }
    file.unlock(kHeaderLock, 1);
    if (!tableLocked) recordLocks.insert(n);
    count = n;
    place(n);
    record = dbf::blankRecord(layout);
    loaded = true;
    // The record's index entries go in when it is written (unlock, a move,
    // flush), with the values given to it by then: one index change per
    // append instead of a blank key and then its replacement.
    pendingAppend = true;
    return true;
}

}  // namespace kdx2::store
