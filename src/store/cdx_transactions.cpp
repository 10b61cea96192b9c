#include "store/cdx_engine.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::detail {

using namespace base::literals;

// ---------------------------------------------------------------- transactions

void CdxEngine::beginTransaction() {
    if (transactionDepth_++ > 0) return;
    ++transaction_;
    undo_.clear();
    transactionFileEnd_ = fileEnd_;
    transactionChanged_ = false;
}

void CdxEngine::commitTransaction() {
    if (--transactionDepth_ > 0) return;
    undo_.clear();
    if (transactionChanged_) ++generation_;
}

void CdxEngine::rollbackTransaction() {
    if (--transactionDepth_ > 0) return;
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
        if (it->before)
            cache_.put(it->offset, std::move(it->before));
        else
            cache_.erase(it->offset);
    }
    undo_.clear();
    fileEnd_ = transactionFileEnd_;
    ++generation_;
    ++directoryGeneration_;
}

Node& CdxEngine::touch(Node& node) {
    if (transactionDepth_ > 0 && node.transaction != transaction_) {
        undo_.push_back({node.offset, std::make_unique<Node>(node)});
        node.transaction = transaction_;
    }
    if (!node.dirty) {
        node.dirty = true;
        dirty_.push_back(node.offset);
    }
    transactionChanged_ = true;
    return node;
}

Node& CdxEngine::newNode(uint32_t offset) {
    Node* slot = cache_.find(offset);
    if (slot) {
        touch(*slot);
    } else {
        slot = &cache_.put(offset, std::make_unique<Node>());
        slot->offset = offset;
        if (transactionDepth_ > 0) {
            undo_.push_back({offset, nullptr});
            slot->transaction = transaction_;
        }
        slot->dirty = true;
        dirty_.push_back(offset);
        transactionChanged_ = true;
    }
    const uint64_t stamp = slot->transaction;
    *slot = Node();
    slot->offset = offset;
    slot->transaction = stamp;
    slot->dirty = true;
    return *slot;
}

WriteOperation::WriteOperation(CdxEngine& engine) : engine_(engine) {
    engine_.beginWrite();
    engine_.beginTransaction();
}

void WriteOperation::commit() {
    engine_.commitTransaction();
    done_ = true;
    engine_.endWrite();
}

WriteOperation::~WriteOperation() {
    if (done_) return;
    engine_.rollbackTransaction();
    try {
        engine_.endWrite();
    } catch (...) {
        // The original failure is the one to report.
    }
}

}  // namespace kdx2::store::detail
