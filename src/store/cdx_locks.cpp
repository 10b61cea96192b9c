#include "store/cdx_engine.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::detail {

using namespace base::literals;

// ---------------------------------------------------------------- locks

// Takes the index lock and drops what another copy made stale; the lock is
// let go again when the file turns out damaged.
void CdxEngine::lockAndRefresh(platform::LockKind kind) {
    file_.lock(kIndexLockOffset, 1, kind, platform::LockWait::Yes);
    try {
        refreshFromDisk();
    } catch (...) {
        file_.unlock(kIndexLockOffset, 1);
        throw;
    }
}

void CdxEngine::beginRead() {
    requireOpen();
    if (readDepth_ == 0 && writeDepth_ == 0 && shared_) lockAndRefresh(platform::LockKind::Shared);
    ++readDepth_;
}

bool CdxEngine::beginCachedRead() {
    requireOpen();
    if (!cachedReads_ || readDepth_ > 0 || writeDepth_ > 0 || cache_.size() == 0) return false;
    // Writers raise the counter with the last write of a change, after every
    // page of it: an unchanged counter means that no change was completed
    // since the cached pages were read, so they are the file as it stands.
    if (diskCounter() != counter_) return false;
    unlockedRead_ = true;
    ++readDepth_;
    return true;
}

void CdxEngine::lockForDiskRead() {
    file_.lock(kIndexLockOffset, 1, platform::LockKind::Shared, platform::LockWait::Yes);
    if (diskCounter() != counter_) {
        // Pages read so far and those on the disk now belong to two states.
        file_.unlock(kIndexLockOffset, 1);
        throw StaleRead{};
    }
    unlockedRead_ = false;
}

void CdxEngine::endRead() {
    if (readDepth_ == 0) return;
    --readDepth_;
    if (readDepth_ == 0 && writeDepth_ == 0) {
        trimCache();
        if (unlockedRead_)
            unlockedRead_ = false;
        else if (shared_ && file_.isOpen())
            file_.unlock(kIndexLockOffset, 1);
    }
}

void CdxEngine::beginWrite() {
    requireOpen();
    if (readOnly_)
        throw base::Error("O índice "_cp + path_ + " foi aberto somente para leitura."_cp);
    if (writeDepth_ == 0 && readDepth_ > 0)
        throw std::logic_error("cdx: write lock requested while holding the read lock");
    if (damaged_) throw base::Error(damageMessage(damage_));
    if (writeDepth_ == 0 && shared_) lockAndRefresh(platform::LockKind::Exclusive);
    ++writeDepth_;
}

void CdxEngine::endWrite() {
    if (writeDepth_ == 0) return;
    --writeDepth_;
    if (writeDepth_ > 0) return;
    if (shared_ && file_.isOpen()) {
        try {
            writeDirtyPages();
        } catch (...) {
            // What reached the disk is unknown: forget it all and read again.
            dropCache();
            counter_ = ~counter_;
            if (readDepth_ == 0) file_.unlock(kIndexLockOffset, 1);
            throw;
        }
        if (readDepth_ == 0) file_.unlock(kIndexLockOffset, 1);
    }
    if (readDepth_ == 0) trimCache();
}

}  // namespace kdx2::store::detail
