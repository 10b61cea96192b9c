#include "store/cdx_engine.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::detail {

using namespace base::literals;

namespace {

// Clean pages kept between operations before the cache is thinned.
constexpr size_t kCacheLimit = 1 << 16;
constexpr uint64_t kMinimumFileSize = 3 * kPageSize;

}  // namespace

// ---------------------------------------------------------------- file state

CdxEngine::CdxEngine(platform::File file, bool readOnly, bool shared)
    : file_(std::move(file)), path_(file_.path()), readOnly_(readOnly), shared_(shared) {
    diskSize_ = fileEnd_ = file_.size();
}

CdxEngine::~CdxEngine() {
    try {
        close();
    } catch (...) {
        // The owner was told to close() to see write errors.
    }
}

std::string CdxEngine::damageMessage(const std::string& problem) const {
    std::string_view text = problem;
    while (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    return "O índice "_cp + path_ + " está danificado: "_cp + std::string(text) +
           ". Refaça os índices."_cp;
}

void CdxEngine::damaged(const std::string& problem) {
    if (!damaged_) {
        damaged_ = true;
        damage_ = problem;
    }
    throw base::Error(damageMessage(problem));
}

void CdxEngine::requireOpen() const {
    if (!file_.isOpen()) throw base::Error("O índice "_cp + path_ + " está fechado."_cp);
}

void CdxEngine::initializeNewFile() {
    // A copy that still has the old file open waits for the new one to be whole.
    if (shared_)
        file_.lock(kIndexLockOffset, 1, platform::LockKind::Exclusive, platform::LockWait::Yes);
    struct Unlock {
        CdxEngine& engine;
        ~Unlock() {
            if (engine.shared_) engine.file_.unlock(kIndexLockOffset, 1);
        }
    } unlock{*this};
    std::vector<uint8_t> image(kMinimumFileSize, 0);
    writeFileHeader(image.data());
    LeafEncoder root(image.data() + kDirectoryRoot, kDirectoryKeyLength, ' ',
                     leafWidthsFor(kDirectoryKeyLength, 0xFFFF));
    root.finish(kAttrRoot | kAttrLeaf, kNoPage, kNoPage);
    // Written over the old file and then cut to size, never cut first:
    // copies reading the header through a view must always find one there.
    file_.writeAt(0, image.data(), image.size());
    file_.truncate(image.size());
    diskSize_ = fileEnd_ = image.size();
    counter_ = 0;
    cache_.clear();
    dirty_.clear();
}

void CdxEngine::validateOpenedFile() {
    ReadOperation op(*this);
    if (!shared_) {
        // A shared file got this check from the lock.
        if (diskSize_ < 2 * kPageSize) damaged("arquivo menor que o cabeçalho"_cp);
        uint8_t b[4];
        file_.readExact(kHeaderCounter, b, 4);
        counter_ = getBe32(b);
    }
    if (diskSize_ % kPageSize != 0 || diskSize_ < kMinimumFileSize)
        damaged("tamanho de "_cp + std::to_string(diskSize_) +
                " bytes, que não é múltiplo de 512 ou é menor que o mínimo (arquivo truncado)"_cp);
    rawPage(kDirectoryHeader);
    allEntries(directory());
}

void CdxEngine::allowCachedReads(bool allow) {
    cachedReads_ = allow && shared_;
    headerView_ = {};
    // A view reads past the file's end as a fault: only a file that holds its
    // header is mapped, and no copy ever shortens an index below it.
    if (cachedReads_ && diskSize_ >= kMinimumFileSize) headerView_ = file_.view(kPageSize);
}

std::optional<uint32_t> CdxEngine::diskCounter() const {
    if (headerView_.data()) {
        // Another copy may be writing the header as it is read: every byte
        // is loaded from the page as it stands, never from a register.
        const volatile uint8_t* at =
            reinterpret_cast<const volatile uint8_t*>(headerView_.data() + kHeaderCounter);
        const uint8_t b[4] = {at[0], at[1], at[2], at[3]};
        return getBe32(b);
    }
    uint8_t b[4];
    if (file_.readAt(kHeaderCounter, b, 4) != 4) return std::nullopt;
    return getBe32(b);
}

void CdxEngine::refreshFromDisk() {
    const std::optional<uint32_t> onDisk = diskCounter();
    if (!onDisk) damaged("arquivo menor que o cabeçalho"_cp);
    const uint32_t counter = *onDisk;
    // Every writer bumps the counter when it lets go of the write lock, so an
    // unchanged counter means unchanged pages and size: no need to ask for
    // the size on every lock.
    if (counter == counter_) return;
    const uint64_t size = file_.size();
    if (size < 2 * kPageSize) damaged("arquivo menor que o cabeçalho"_cp);
    dropCache();
    counter_ = counter;
    diskSize_ = fileEnd_ = size;
    ++generation_;
    ++directoryGeneration_;
}

void CdxEngine::dropCache() {
    cache_.clear();
    dirty_.clear();
}

void CdxEngine::trimCache() {
    if (cache_.size() <= kCacheLimit) return;
    cache_.eraseIf([](const Node& node) { return !node.dirty; });
}

void CdxEngine::writeDirtyPages() {
    if (damaged_) {
        // Nothing is written over a damaged file; it has to be rebuilt.
        cache_.eraseIf([](const Node& node) { return node.dirty; });
        dirty_.clear();
        return;
    }
    std::vector<Node*> nodes;
    std::sort(dirty_.begin(), dirty_.end());
    dirty_.erase(std::unique(dirty_.begin(), dirty_.end()), dirty_.end());
    for (uint32_t offset : dirty_) {
        Node* node = cache_.find(offset);
        if (node && node->dirty) nodes.push_back(node);
    }
    dirty_.clear();
    if (nodes.empty()) return;

    const uint32_t newCounter = counter_ + 1;
    Node& header = rawPage(kDirectoryHeader);
    putBe32(header.rawBytes() + kHeaderCounter, newCounter);
    header.dirty = true;
    nodes.erase(std::remove(nodes.begin(), nodes.end(), &header), nodes.end());

    // A program stopped half way through must not leave a page pointing at
    // one not yet written: new pages (beyond the old end) go first, then the
    // pages that point down (interior pages, then the tag headers), then the
    // leaves, and the file header with its change counter last, so other
    // copies notice the change only once it is whole.
    const auto rank = [this](const Node* node) {
        if (node->offset >= diskSize_) return 0;
        if (node->kind == Node::Kind::Interior) return 1;
        if (node->kind == Node::Kind::Raw) return 2;
        return 3;
    };
    std::stable_sort(nodes.begin(), nodes.end(),
                     [&](const Node* a, const Node* b) { return rank(a) < rank(b); });
    nodes.push_back(&header);
    // Pages allocated but never written (taken and given back within the
    // change) must still lie inside the file; the size is asked only when
    // the file grew, the common case of a change inside the tree costs no
    // system call for it.
    if (fileEnd_ > diskSize_ && file_.size() < fileEnd_) file_.truncate(fileEnd_);

    // Contiguous pages of one rank go out in one write.
    std::vector<uint8_t> run;
    size_t i = 0;
    while (i < nodes.size()) {
        size_t j = i;
        run.clear();
        do {
            run.resize(run.size() + kPageSize);
            encodeNode(*nodes[j], run.data() + run.size() - kPageSize);
            ++j;
        } while (j < nodes.size() && nodes[j]->offset == nodes[j - 1]->offset + kPageSize &&
                 rank(nodes[j]) == rank(nodes[j - 1]));
        file_.writeAt(nodes[i]->offset, run.data(), run.size());
        i = j;
    }
    for (Node* node : nodes)
        node->dirty = false;
    counter_ = newCounter;
    diskSize_ = std::max(diskSize_, fileEnd_);
}

void CdxEngine::flush() {
    requireOpen();
    if (readOnly_) return;
    writeDirtyPages();
}

void CdxEngine::close() {
    if (!file_.isOpen()) return;
    try {
        if (!readOnly_) writeDirtyPages();
    } catch (...) {
        try {
            file_.close();
        } catch (...) {
            // The first error is the one to report.
        }
        dropCache();
        throw;
    }
    dropCache();
    readDepth_ = writeDepth_ = 0;
    headerView_ = {};
    file_.close();
}

}  // namespace kdx2::store::detail
