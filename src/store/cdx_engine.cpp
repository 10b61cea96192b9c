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

// Deeper than any sound tree can be (two entries per interior page at worst).
constexpr int kMaxDepth = 64;
// Clean pages kept between operations before the cache is thinned.
constexpr size_t kCacheLimit = 1 << 16;
constexpr uint64_t kMinimumFileSize = 3 * kPageSize;

struct EntryBefore {
    std::string_view key;
    uint32_t recno;
    bool operator()(std::string_view k, uint32_t r) const {
        return compareEntries(k, r, key, recno) < 0;
    }
};

// A key counts as equal to a prefix it starts with.
struct PrefixBefore {
    std::string_view prefix;
    bool operator()(std::string_view k, uint32_t) const {
        const int c = compareBytes(k.data(), prefix.data(), std::min(k.size(), prefix.size()));
        if (c != 0) return c < 0;
        return k.size() < prefix.size();
    }
};

template <class Before>
size_t lowerSlot(const Node& node, Before before) {
    size_t lo = 0, hi = node.count();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (before(node.keyAt(mid), node.recnos[mid]))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::string padKey(std::string_view key, const TagRef& tag) {
    std::string k(key.substr(0, tag.keyLength));
    k.resize(tag.keyLength, static_cast<char>(tag.fill));
    return k;
}

void eraseEntry(Node& node, size_t i) {
    node.keys.erase(i * node.keyLength, node.keyLength);
    node.recnos.erase(node.recnos.begin() + static_cast<std::ptrdiff_t>(i));
    if (!node.isLeaf()) node.children.erase(node.children.begin() + static_cast<std::ptrdiff_t>(i));
}

void insertInteriorEntry(Node& node, size_t i, std::string_view key, uint32_t recno,
                         uint32_t child) {
    node.keys.insert(i * node.keyLength, key.data(), node.keyLength);
    node.recnos.insert(node.recnos.begin() + static_cast<std::ptrdiff_t>(i), recno);
    node.children.insert(node.children.begin() + static_cast<std::ptrdiff_t>(i), child);
}

// Moves entries [from, end) of `source` to the end of `target`.
void moveTail(Node& source, size_t from, Node& target) {
    const size_t k = source.keyLength;
    target.keys.append(source.keys, from * k, std::string::npos);
    source.keys.resize(from * k);
    target.recnos.insert(target.recnos.end(),
                         source.recnos.begin() + static_cast<std::ptrdiff_t>(from),
                         source.recnos.end());
    source.recnos.resize(from);
    if (!source.isLeaf()) {
        target.children.insert(target.children.end(),
                               source.children.begin() + static_cast<std::ptrdiff_t>(from),
                               source.children.end());
        source.children.resize(from);
    }
}

uint32_t recomputeStoredBytes(const Node& leaf) {
    uint32_t total = 0;
    std::string_view previous;
    for (size_t i = 0; i < leaf.count(); ++i) {
        const std::string_view key = leaf.keyAt(i);
        total += storedLength(i == 0 ? nullptr : &previous, key, leaf.fill);
        previous = key;
    }
    return total;
}

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
    file_.truncate(0);
    file_.writeAt(0, image.data(), image.size());
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

void CdxEngine::refreshFromDisk() {
    uint8_t b[4];
    if (file_.readAt(kHeaderCounter, b, 4) != 4) damaged("arquivo menor que o cabeçalho"_cp);
    const uint32_t counter = getBe32(b);
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
    if (file_.size() < fileEnd_) file_.truncate(fileEnd_);

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
    file_.close();
}

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

void CdxEngine::endRead() {
    if (readDepth_ == 0) return;
    --readDepth_;
    if (readDepth_ == 0 && writeDepth_ == 0) {
        trimCache();
        if (shared_ && file_.isOpen()) file_.unlock(kIndexLockOffset, 1);
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

// ---------------------------------------------------------------- pages

Node& CdxEngine::rawPage(uint32_t offset) {
    if (Node* cached = cache_.find(offset)) {
        if (cached->kind != Node::Kind::Raw)
            damaged(pageName(offset) + " usada como cabeçalho e como página de árvore"_cp);
        return *cached;
    }
    if (offset % kPageSize != 0 || offset + kPageSize > fileEnd_)
        damaged(pageName(offset) + " fora do arquivo"_cp);
    auto node = std::make_unique<Node>();
    node->offset = offset;
    node->raw.resize(kPageSize);
    file_.readExact(offset, node->raw.data(), kPageSize);
    if (offset == kDirectoryHeader) {
        const std::string problem = headerProblem(readHeader(node->rawBytes()), true, fileEnd_);
        if (!problem.empty()) damaged("cabeçalho do arquivo: "_cp + problem);
    }
    return cache_.put(offset, std::move(node));
}

Node& CdxEngine::treePage(uint32_t offset, const TagRef& tag) {
    if (Node* cached = cache_.find(offset)) {
        Node& node = *cached;
        if (node.kind == Node::Kind::Raw)
            damaged(pageName(offset) + " é livre ou de cabeçalho, mas a árvore a usa"_cp);
        if (node.keyLength != tag.keyLength || (node.isLeaf() && node.fill != tag.fill))
            damaged(pageName(offset) + " pertence a duas ordens"_cp);
        return node;
    }
    if (auto problem = pageOffsetProblem(offset, fileEnd_); !problem.empty()) damaged(problem);
    uint8_t page[kPageSize];
    file_.readExact(offset, page, kPageSize);
    auto node = std::make_unique<Node>();
    node->offset = offset;
    const std::string problem = (getLe16(page) & kAttrLeaf)
                                    ? decodeLeaf(page, tag.keyLength, tag.fill, *node)
                                    : decodeInterior(page, tag.keyLength, *node);
    if (!problem.empty()) damaged(pageName(offset) + ": " + problem);
    return cache_.put(offset, std::move(node));
}

std::optional<uint32_t> CdxEngine::freePageLink(uint32_t offset) {
    if (!pageOffsetProblem(offset, fileEnd_).empty()) return std::nullopt;
    uint8_t bytes[kPageSize];
    if (const Node* cached = cache_.find(offset)) {
        if (cached->kind != Node::Kind::Raw) return std::nullopt;
        std::memcpy(bytes, cached->raw.data(), kPageSize);
    } else {
        file_.readExact(offset, bytes, kPageSize);
    }
    if (!std::all_of(bytes + 4, bytes + kPageSize, [](uint8_t b) { return b == 0; }))
        return std::nullopt;
    return getLe32(bytes);
}

uint32_t CdxEngine::allocatePage() {
    Node& header = rawPage(kDirectoryHeader);
    const uint32_t head = getLe32(header.rawBytes() + kHeaderFreeList);
    // Only pages this engine freed (a link and zeros) are taken from the
    // list: reusing a page that is still in use would destroy it, so a list
    // that points elsewhere is left alone and the file grows instead.
    if (head != 0 && head != kNoPage) {
        if (const auto next = freePageLink(head)) {
            putLe32(touch(header).rawBytes() + kHeaderFreeList, *next == kNoPage ? 0 : *next);
            return head;
        }
    }
    const uint64_t offset = fileEnd_;
    if (offset + kPageSize > 0xFFFFFFFFull)
        throw base::Error("O índice "_cp + path_ + " atingiu o tamanho máximo."_cp);
    fileEnd_ += kPageSize;
    return static_cast<uint32_t>(offset);
}

void CdxEngine::freePage(Node& node) {
    Node& header = rawPage(kDirectoryHeader);
    const uint32_t head = getLe32(header.rawBytes() + kHeaderFreeList);
    const uint32_t offset = node.offset;
    Node& page = newNode(offset);
    page.kind = Node::Kind::Raw;
    page.raw.assign(kPageSize, '\0');
    putLe32(page.rawBytes(), head == 0 ? kNoPage : head);
    putLe32(touch(header).rawBytes() + kHeaderFreeList, offset);
}

// ---------------------------------------------------------------- tags

TagRef CdxEngine::directory() const {
    return TagRef{kDirectoryHeader, kDirectoryKeyLength, ' ', false};
}

TagRef CdxEngine::tagAt(uint32_t header) {
    if (auto problem = pageOffsetProblem(header, fileEnd_);
        !problem.empty() || header + 2 * kPageSize > fileEnd_)
        damaged("cabeçalho de ordem: "_cp +
                (problem.empty() ? pageName(header) + " fora do arquivo"_cp : problem));
    const HeaderFields fields = readHeader(rawPage(header).rawBytes());
    if (auto problem = headerProblem(fields, false, fileEnd_); !problem.empty())
        damaged("cabeçalho de ordem na posição "_cp + std::to_string(header) + ": " + problem);
    return TagRef{header, fields.keyLength, ' ', (fields.options & kOptionUnique) != 0};
}

uint32_t CdxEngine::rootOf(const TagRef& tag) {
    return getLe32(rawPage(tag.header).rawBytes() + kHeaderRoot);
}

void CdxEngine::setRoot(const TagRef& tag, uint32_t root) {
    putLe32(touch(rawPage(tag.header)).rawBytes() + kHeaderRoot, root);
}

std::string CdxEngine::directoryKey(std::string_view name) const {
    return cdxCharacterKey(base::asciiUpper(base::alltrim(name)), kDirectoryKeyLength);
}

std::optional<CdxTagInfo> CdxEngine::findTag(std::string_view name) {
    ReadOperation op(*this);
    const auto header = findTagHeader(name);
    if (!header) return std::nullopt;
    CdxTagInfo info = tagInfo(*header);
    info.name = base::asciiUpper(base::alltrim(name));
    return info;
}

std::optional<uint32_t> CdxEngine::findTagHeader(std::string_view name) {
    const std::string trimmed = base::alltrim(name);
    if (trimmed.empty() || trimmed.size() > kDirectoryKeyLength) return std::nullopt;
    const TagRef dir = directory();
    const std::string key = directoryKey(trimmed);
    const auto p = forward(dir, lowerBound(dir, PrefixBefore{key}));
    if (!p) return std::nullopt;
    const Node& leaf = treePage(p->leaf, dir);
    if (leaf.keyAt(p->slot) != key) return std::nullopt;
    return leaf.recnos[p->slot];
}

CdxTagInfo CdxEngine::tagInfo(uint32_t header) {
    const TagRef tag = tagAt(header);
    const Node& page = rawPage(header);
    const Node& pool = rawPage(header + kPageSize);
    CdxTagInfo info;
    readExpressions(page.rawBytes(), pool.rawBytes(), info.keyExpression, info.forExpression);
    const HeaderFields fields = readHeader(page.rawBytes());
    info.keyLength = tag.keyLength;
    info.unique = tag.unique;
    info.hasFor = (fields.options & kOptionFor) != 0;
    info.descending = fields.order == 1;
    return info;
}

std::vector<CdxTagInfo> CdxEngine::tags() {
    ReadOperation op(*this);
    std::vector<std::pair<uint32_t, CdxTagInfo>> found;
    for (const CdxEntry& entry : allEntries(directory())) {
        CdxTagInfo info = tagInfo(entry.recno);
        std::string name = entry.key;
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
            name.pop_back();
        info.name = std::move(name);
        found.emplace_back(entry.recno, std::move(info));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<CdxTagInfo> result;
    for (auto& item : found)
        result.push_back(std::move(item.second));
    return result;
}

TagRef CdxEngine::resolve(const CdxTag& tag) {
    // Checked once per state of the file: every operation starts here.
    if (tag.directoryGeneration_ == directoryGeneration_ && tag.checkedGeneration_ == generation_)
        return TagRef{tag.headerOffset_, static_cast<uint16_t>(tag.keyLength_),
                      cdxFillByte(tag.keyType_), tag.unique_};
    if (tag.directoryGeneration_ != directoryGeneration_) {
        const auto header = findTagHeader(tag.name_);
        if (!header)
            throw base::Error("A ordem "_cp + tag.name_ + " não existe no índice "_cp + path_ +
                              ".");
        tag.headerOffset_ = *header;
        tag.directoryGeneration_ = directoryGeneration_;
    }
    TagRef ref = tagAt(tag.headerOffset_);
    if (ref.keyLength != tag.keyLength_)
        throw base::Error("A ordem "_cp + tag.name_ + " do índice "_cp + path_ +
                          " foi refeita com outra chave; abra-a de novo."_cp);
    ref.fill = cdxFillByte(tag.keyType_);
    tag.unique_ = ref.unique;
    tag.checkedGeneration_ = generation_;
    return ref;
}

bool CdxEngine::dropTag(std::string_view name) {
    WriteOperation op(*this);
    const bool dropped = dropTagInternal(name);
    op.commit();
    return dropped;
}

bool CdxEngine::dropTagInternal(std::string_view name) {
    const auto header = findTagHeader(name);
    if (!header) return false;
    if (!removeEntry(directory(), directoryKey(name), *header))
        damaged("diretório de ordens inconsistente"_cp);
    ++directoryGeneration_;
    std::vector<uint32_t> pages;
    const bool wasDamaged = damaged_;
    try {
        collectTreePages(tagAt(*header), pages);
    } catch (const base::Error&) {
        // A damaged tree is left where it lies rather than freeing pages
        // that might belong to something else; the tag goes all the same.
        pages.clear();
        damaged_ = wasDamaged;
    }
    if (pageOffsetProblem(*header, fileEnd_).empty() && *header + 2 * kPageSize <= fileEnd_) {
        pages.push_back(*header);
        pages.push_back(*header + kPageSize);
    }
    for (uint32_t offset : pages) {
        Node* cached = cache_.find(offset);
        freePage(cached ? *cached : newNode(offset));
    }
    return true;
}

void CdxEngine::collectTreePages(const TagRef& tag, std::vector<uint32_t>& pages) {
    std::unordered_set<uint32_t> seen;
    std::vector<uint32_t> pending{rootOf(tag)};
    while (!pending.empty()) {
        const uint32_t offset = pending.back();
        pending.pop_back();
        if (!seen.insert(offset).second) damaged(pageName(offset) + " alcançada duas vezes"_cp);
        if (auto problem = pageOffsetProblem(offset, fileEnd_); !problem.empty()) damaged(problem);
        pages.push_back(offset);
        if (const Node* cached = cache_.find(offset)) {
            if (cached->kind == Node::Kind::Raw) damaged(pageName(offset));
            for (uint32_t child : cached->children)
                pending.push_back(child);
            continue;
        }
        uint8_t page[kPageSize];
        file_.readExact(offset, page, kPageSize);
        if (getLe16(page) & kAttrLeaf) continue;
        Node node;
        if (auto problem = decodeInterior(page, tag.keyLength, node); !problem.empty())
            damaged(pageName(offset) + ": " + problem);
        for (uint32_t child : node.children)
            pending.push_back(child);
    }
}

uint32_t CdxEngine::addTag(const CdxTagDefinition& definition, const CdxKeyList& keys) {
    const std::string name = base::asciiUpper(base::alltrim(definition.name));
    const bool nameOk = !name.empty() && name.size() <= kDirectoryKeyLength &&
                        std::all_of(name.begin(), name.end(), [](char c) {
                            return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
                        });
    if (!nameOk)
        throw base::Error("Nome de ordem inválido: \""_cp + definition.name +
                          "\" (até 10 letras, algarismos ou _)."_cp);
    if (definition.keyExpression.empty() ||
        definition.keyExpression.size() + definition.forExpression.size() + 2 > kPageSize)
        throw base::Error("Expressão da ordem "_cp + name + " vazia ou longa demais."_cp);
    const base::Type type = keys.keyType();
    if ((type == base::Type::Numeric || type == base::Type::Date) &&
        keys.keyLength() != kCdxNumericKeyLength)
        throw base::Error("A chave numérica ou de data da ordem "_cp + name +
                          " deve ter 8 bytes."_cp);
    if (type == base::Type::Logical && keys.keyLength() != kCdxLogicalKeyLength)
        throw base::Error("A chave lógica da ordem "_cp + name + " deve ter 1 byte."_cp);

    WriteOperation op(*this);
    dropTagInternal(name);

    // Order: key bytes, then record number. The first 8 key bytes as one
    // integer settle most comparisons without touching the key list.
    const size_t count = keys.size();
    const size_t keyLength = keys.keyLength();
    const uint8_t fill = cdxFillByte(type);
    struct Item {
        uint64_t prefix;
        uint32_t index;
    };
    std::vector<Item> items(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string_view k = keys.keyAt(i);
        uint64_t prefix = 0;
        for (size_t b = 0; b < 8; ++b)
            prefix = (prefix << 8) | (b < keyLength ? static_cast<uint8_t>(k[b]) : 0);
        items[i] = {prefix, static_cast<uint32_t>(i)};
    }
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        if (keyLength > 8) {
            const int c = std::memcmp(keys.keyAt(a.index).data() + 8,
                                      keys.keyAt(b.index).data() + 8, keyLength - 8);
            if (c != 0) return c < 0;
        }
        return keys.recnoAt(a.index) < keys.recnoAt(b.index);
    });
    // Drop exact repeats, and for a unique tag every entry after the first of its key.
    size_t kept = 0;
    uint32_t maxRecno = 0;
    for (size_t i = 0; i < count; ++i) {
        if (kept > 0) {
            const Item& last = items[kept - 1];
            const bool sameKey = keys.keyAt(last.index) == keys.keyAt(items[i].index);
            if (sameKey &&
                (definition.unique || keys.recnoAt(last.index) == keys.recnoAt(items[i].index)))
                continue;
        }
        maxRecno = std::max(maxRecno, keys.recnoAt(items[i].index));
        items[kept++] = items[i];
    }
    items.resize(kept);

    const uint32_t headerOffset = static_cast<uint32_t>(fileEnd_);
    std::vector<uint8_t> image(2 * kPageSize, 0);
    auto nextOffset = [&] { return static_cast<uint32_t>(headerOffset + image.size()); };
    auto appendPage = [&](const uint8_t* page) {
        image.insert(image.end(), page, page + kPageSize);
    };

    struct LevelEntry {
        std::string_view key;
        uint32_t recno;
        uint32_t offset;
    };
    std::vector<LevelEntry> level;
    const LeafWidths widths = leafWidthsFor(keyLength, maxRecno);
    const uint32_t firstLeaf = nextOffset();
    uint8_t page[kPageSize];
    size_t i = 0;
    do {
        std::memset(page, 0, kPageSize);
        LeafEncoder encoder(page, keyLength, fill, widths);
        while (i < kept && encoder.add(keys.keyAt(items[i].index), keys.recnoAt(items[i].index)))
            ++i;
        const uint32_t offset = nextOffset();
        encoder.finish(kAttrLeaf, offset == firstLeaf ? kNoPage : offset - kPageSize,
                       i < kept ? offset + kPageSize : kNoPage);
        const size_t lastItem = i > 0 ? items[i - 1].index : 0;
        level.push_back({kept > 0 ? keys.keyAt(lastItem) : std::string_view(),
                         kept > 0 ? keys.recnoAt(lastItem) : 0, offset});
        appendPage(page);
    } while (i < kept);
    if (level.size() == 1)
        putLe16(image.data() + (firstLeaf - headerOffset), kAttrRoot | kAttrLeaf);

    const size_t capacity = interiorCapacity(keyLength);
    while (level.size() > 1) {
        const size_t groups = (level.size() + capacity - 1) / capacity;
        std::vector<LevelEntry> above;
        size_t next = 0;
        for (size_t g = 0; g < groups; ++g) {
            const size_t take = level.size() / groups + (g < level.size() % groups ? 1 : 0);
            Node node;
            node.kind = Node::Kind::Interior;
            node.keyLength = static_cast<uint16_t>(keyLength);
            node.attributes = groups == 1 ? kAttrRoot : 0;
            const uint32_t offset = nextOffset();
            node.left = g == 0 ? kNoPage : offset - kPageSize;
            node.right = g + 1 == groups ? kNoPage : offset + kPageSize;
            for (size_t e = 0; e < take; ++e, ++next) {
                node.keys.append(level[next].key);
                node.recnos.push_back(level[next].recno);
                node.children.push_back(level[next].offset);
            }
            encodeNode(node, page);
            appendPage(page);
            above.push_back({level[next - 1].key, level[next - 1].recno, offset});
        }
        level = std::move(above);
    }

    writeTagHeader(image.data(), level.front().offset, static_cast<uint16_t>(keyLength),
                   definition.unique, definition.keyExpression, definition.forExpression);
    file_.writeAt(headerOffset, image.data(), image.size());
    fileEnd_ = headerOffset + image.size();
    diskSize_ = std::max(diskSize_, fileEnd_);
    transactionChanged_ = true;

    insertEntry(directory(), directoryKey(name), headerOffset);
    ++directoryGeneration_;
    op.commit();
    return headerOffset;
}

// ---------------------------------------------------------------- tree walking

template <class Before>
Node& CdxEngine::descend(const TagRef& tag, Before before, std::vector<PathStep>* path) {
    uint32_t offset = rootOf(tag);
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        Node& node = treePage(offset, tag);
        if (node.isLeaf()) return node;
        size_t slot = lowerSlot(node, before);
        if (slot == node.count()) slot = node.count() - 1;
        if (path) path->push_back({offset, static_cast<uint32_t>(slot)});
        offset = node.children[slot];
    }
    damaged("laço na árvore"_cp);
}

template <class Before>
Position CdxEngine::lowerBound(const TagRef& tag, Before before) {
    const Node& leaf = descend(tag, before, nullptr);
    return Position{leaf.offset, static_cast<uint32_t>(lowerSlot(leaf, before)), &leaf};
}

uint32_t CdxEngine::leftmostLeaf(const TagRef& tag) {
    uint32_t offset = rootOf(tag);
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const Node& node = treePage(offset, tag);
        if (node.isLeaf()) return offset;
        offset = node.children.front();
    }
    damaged("laço na árvore"_cp);
}

uint32_t CdxEngine::rightmostLeaf(const TagRef& tag) {
    uint32_t offset = rootOf(tag);
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const Node& node = treePage(offset, tag);
        if (node.isLeaf()) return offset;
        offset = node.children.back();
    }
    damaged("laço na árvore"_cp);
}

std::optional<Position> CdxEngine::forward(const TagRef& tag, Position p) {
    const Node* node = p.node ? p.node : &treePage(p.leaf, tag);
    uint64_t budget = fileEnd_ / kPageSize;
    while (p.slot >= node->count()) {
        if (node->right == kNoPage) return std::nullopt;
        if (budget-- == 0) damaged("laço na lista de páginas irmãs"_cp);
        p = Position{node->right, 0};
        node = &treePage(p.leaf, tag);
        if (!node->isLeaf()) damaged(pageName(p.leaf) + " não é folha, mas é irmã de uma"_cp);
    }
    p.node = node;
    return p;
}

std::optional<Position> CdxEngine::backward(const TagRef& tag, Position p) {
    const Node* node = p.node ? p.node : &treePage(p.leaf, tag);
    if (p.slot > 0) return Position{p.leaf, std::min<uint32_t>(p.slot, node->count()) - 1, node};
    uint64_t budget = fileEnd_ / kPageSize;
    do {
        if (node->left == kNoPage) return std::nullopt;
        if (budget-- == 0) damaged("laço na lista de páginas irmãs"_cp);
        p.leaf = node->left;
        node = &treePage(p.leaf, tag);
        if (!node->isLeaf()) damaged(pageName(p.leaf) + " não é folha, mas é irmã de uma"_cp);
    } while (node->count() == 0);
    return Position{p.leaf, static_cast<uint32_t>(node->count() - 1), node};
}

std::vector<CdxEntry> CdxEngine::allEntries(const TagRef& tag) {
    std::vector<CdxEntry> out;
    uint32_t offset = leftmostLeaf(tag);
    uint64_t budget = fileEnd_ / kPageSize;
    while (true) {
        const Node& node = treePage(offset, tag);
        if (!node.isLeaf()) damaged(pageName(offset) + " não é folha, mas é irmã de uma"_cp);
        for (size_t i = 0; i < node.count(); ++i) {
            if (!out.empty() && compareEntries(out.back().key, out.back().recno, node.keyAt(i),
                                               node.recnos[i]) >= 0)
                damaged("chaves fora de ordem ou laço entre páginas irmãs ("_cp + pageName(offset) +
                        ")");
            out.push_back({std::string(node.keyAt(i)), node.recnos[i]});
        }
        if (node.right == kNoPage) break;
        if (budget-- == 0) damaged("laço na lista de páginas irmãs"_cp);
        offset = node.right;
    }
    return out;
}

std::vector<CdxEntry> CdxEngine::entries(const CdxTag& tag) {
    ReadOperation op(*this);
    return allEntries(resolve(tag));
}

// ---------------------------------------------------------------- changes

void CdxEngine::insertIntoLeaf(Node& leaf, size_t slot, std::string_view key, uint32_t recno) {
    if (!leaf.widths.holds(recno))
        leaf.widths = leafWidthsFor(leaf.keyLength, recno, leaf.widths.bytes);
    uint32_t stored = leaf.storedBytes;
    std::string_view previous = slot > 0 ? leaf.keyAt(slot - 1) : std::string_view();
    const std::string_view* previousPtr = slot > 0 ? &previous : nullptr;
    if (slot < leaf.count()) {
        const std::string_view next = leaf.keyAt(slot);
        stored -= storedLength(previousPtr, next, leaf.fill);
        stored += storedLength(&key, next, leaf.fill);
    }
    stored += storedLength(previousPtr, key, leaf.fill);
    leaf.keys.insert(slot * leaf.keyLength, key.data(), leaf.keyLength);
    leaf.recnos.insert(leaf.recnos.begin() + static_cast<std::ptrdiff_t>(slot), recno);
    leaf.storedBytes = stored;
}

void CdxEngine::eraseFromLeaf(Node& leaf, size_t slot) {
    uint32_t stored = leaf.storedBytes;
    std::string_view previous = slot > 0 ? leaf.keyAt(slot - 1) : std::string_view();
    const std::string_view* previousPtr = slot > 0 ? &previous : nullptr;
    const std::string_view current = leaf.keyAt(slot);
    stored -= storedLength(previousPtr, current, leaf.fill);
    if (slot + 1 < leaf.count()) {
        const std::string_view next = leaf.keyAt(slot + 1);
        stored -= storedLength(&current, next, leaf.fill);
        stored += storedLength(previousPtr, next, leaf.fill);
    }
    eraseEntry(leaf, slot);
    leaf.storedBytes = stored;
}

Node& CdxEngine::addSiblingAfter(const TagRef& tag, Node& node, Node::Kind kind) {
    const uint32_t offset = allocatePage();
    Node& sibling = newNode(offset);
    sibling.kind = kind;
    sibling.keyLength = node.keyLength;
    sibling.fill = node.fill;
    sibling.attributes = kind == Node::Kind::Leaf ? kAttrLeaf : 0;
    sibling.widths = node.widths;
    sibling.left = node.offset;
    sibling.right = node.right;
    if (node.right != kNoPage) touch(treePage(node.right, tag)).left = offset;
    touch(node).right = offset;
    return sibling;
}

std::vector<uint32_t> CdxEngine::splitLeaf(const TagRef& tag, Node& leaf, bool appending) {
    const size_t n = leaf.count();
    const size_t bytes = leaf.widths.bytes;
    const size_t k = leaf.keyLength;
    // Stored key bytes of each entry where it stands, and when it opens a page.
    std::vector<uint32_t> stored(n), opening(n), before(n + 1, 0);
    size_t previousTrail = 0;
    for (size_t i = 0; i < n; ++i) {
        const std::string_view key = leaf.keyAt(i);
        const size_t trail = trailCount(key, leaf.fill);
        opening[i] = static_cast<uint32_t>(k - trail);
        stored[i] = i == 0
                        ? opening[i]
                        : static_cast<uint32_t>(
                              k - trail - dupCount(leaf.keyAt(i - 1), previousTrail, key, trail));
        previousTrail = trail;
        before[i + 1] = before[i] + stored[i];
    }
    auto leftBytes = [&](size_t s) { return s * bytes + before[s]; };
    auto rightBytes = [&](size_t s) {
        return (n - s) * bytes + opening[s] + (before[n] - before[s] - stored[s]);
    };
    auto fits = [&](size_t s) { return leftBytes(s) <= kLeafArea && rightBytes(s) <= kLeafArea; };

    // Cut points: one when a balanced (or, for appends, a full-left) cut
    // fits; otherwise as many as greedy packing needs.
    std::vector<size_t> cuts;
    if (appending && fits(n - 1)) {
        cuts.push_back(n - 1);
    } else {
        size_t best = 0;
        size_t bestGap = SIZE_MAX;
        for (size_t s = 1; s < n; ++s) {
            if (!fits(s)) continue;
            const size_t l = leftBytes(s), r = rightBytes(s);
            const size_t gap = l > r ? l - r : r - l;
            if (gap < bestGap) bestGap = gap, best = s;
        }
        if (best > 0) {
            cuts.push_back(best);
        } else {
            size_t used = 0;
            for (size_t i = 0; i < n; ++i) {
                const size_t need = bytes + (used == 0 ? opening[i] : stored[i]);
                if (used > 0 && used + need > kLeafArea) {
                    cuts.push_back(i);
                    used = bytes + opening[i];
                } else {
                    used += need;
                }
            }
        }
    }

    std::vector<uint32_t> pieces{leaf.offset};
    Node* last = &leaf;
    // Move the tails from the last cut backwards, each into a page after `leaf`.
    std::vector<Node*> created;
    for (size_t c = cuts.size(); c-- > 0;) {
        Node& sibling = addSiblingAfter(tag, leaf, Node::Kind::Leaf);
        moveTail(leaf, cuts[c], sibling);
        sibling.storedBytes = recomputeStoredBytes(sibling);
        created.insert(created.begin(), &sibling);
    }
    leaf.storedBytes = recomputeStoredBytes(*last);
    for (Node* node : created)
        pieces.push_back(node->offset);
    return pieces;
}

std::vector<uint32_t> CdxEngine::splitInterior(const TagRef& tag, Node& node, bool appending) {
    const size_t n = node.count();
    const size_t capacity = interiorCapacity(node.keyLength);
    const size_t parts = (n + capacity - 1) / capacity;
    std::vector<size_t> cuts;
    if (appending && parts == 2) {
        cuts.push_back(capacity);
    } else {
        size_t at = 0;
        for (size_t p = 0; p + 1 < parts; ++p) {
            at += n / parts + (p < n % parts ? 1 : 0);
            cuts.push_back(at);
        }
    }
    std::vector<uint32_t> pieces{node.offset};
    std::vector<uint32_t> created;
    for (size_t c = cuts.size(); c-- > 0;) {
        Node& sibling = addSiblingAfter(tag, node, Node::Kind::Interior);
        moveTail(node, cuts[c], sibling);
        created.insert(created.begin(), sibling.offset);
    }
    pieces.insert(pieces.end(), created.begin(), created.end());
    return pieces;
}

void CdxEngine::unlinkAndFree(const TagRef& tag, Node& node) {
    if (node.left != kNoPage) touch(treePage(node.left, tag)).right = node.right;
    if (node.right != kNoPage) touch(treePage(node.right, tag)).left = node.left;
    freePage(node);
}

void CdxEngine::replaceInParents(const TagRef& tag, const std::vector<PathStep>& path,
                                 std::vector<uint32_t> pieces) {
    bool reachedTop = true;
    for (size_t level = path.size(); level-- > 0;) {
        Node& parent = touch(treePage(path[level].node, tag));
        const size_t at = path[level].index;
        const std::string oldLastKey(parent.lastKey());
        const uint32_t oldLastRecno = parent.lastRecno();
        eraseEntry(parent, at);
        for (size_t p = 0; p < pieces.size(); ++p) {
            const Node& child = treePage(pieces[p], tag);
            insertInteriorEntry(parent, at + p, child.lastKey(), child.lastRecno(), pieces[p]);
        }
        if (parent.count() == 0) {
            if (level == 0) {
                // The whole tree emptied: the root becomes an empty leaf again.
                parent.kind = Node::Kind::Leaf;
                parent.attributes = kAttrRoot | kAttrLeaf;
                parent.keys.clear();
                parent.recnos.clear();
                parent.children.clear();
                parent.fill = tag.fill;
                parent.widths = leafWidthsFor(tag.keyLength, 0);
                parent.storedBytes = 0;
                parent.left = parent.right = kNoPage;
                pieces = {parent.offset};
                break;
            }
            unlinkAndFree(tag, parent);
            pieces.clear();
            continue;
        }
        if (parent.count() > interiorCapacity(tag.keyLength)) {
            const bool appending = at + pieces.size() == parent.count() && parent.right == kNoPage;
            pieces = splitInterior(tag, parent, appending);
            continue;
        }
        pieces = {parent.offset};
        if (compareEntries(parent.lastKey(), parent.lastRecno(), oldLastKey, oldLastRecno) == 0) {
            reachedTop = false;
            break;
        }
    }
    if (reachedTop && pieces.size() > 1) {
        // The root split: new levels on top until one page holds them all.
        for (uint32_t piece : pieces)
            touch(treePage(piece, tag)).attributes &= ~kAttrRoot;
        const size_t capacity = interiorCapacity(tag.keyLength);
        while (pieces.size() > 1) {
            const size_t groups = (pieces.size() + capacity - 1) / capacity;
            std::vector<uint32_t> above;
            size_t next = 0;
            Node* previous = nullptr;
            for (size_t g = 0; g < groups; ++g) {
                const size_t take = pieces.size() / groups + (g < pieces.size() % groups ? 1 : 0);
                const uint32_t offset = allocatePage();
                Node& node = newNode(offset);
                node.kind = Node::Kind::Interior;
                node.keyLength = tag.keyLength;
                node.fill = tag.fill;
                node.attributes = groups == 1 ? kAttrRoot : 0;
                node.left = previous ? previous->offset : kNoPage;
                if (previous) previous->right = offset;
                for (size_t e = 0; e < take; ++e, ++next) {
                    const Node& child = treePage(pieces[next], tag);
                    insertInteriorEntry(node, node.count(), child.lastKey(), child.lastRecno(),
                                        pieces[next]);
                }
                above.push_back(offset);
                previous = &node;
            }
            pieces = std::move(above);
        }
        setRoot(tag, pieces.front());
    }
    collapseRoot(tag);
}

void CdxEngine::collapseRoot(const TagRef& tag) {
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        Node& root = treePage(rootOf(tag), tag);
        if (root.isLeaf() || root.count() != 1) return;
        Node& child = touch(treePage(root.children.front(), tag));
        child.attributes |= kAttrRoot;
        child.left = child.right = kNoPage;
        setRoot(tag, child.offset);
        freePage(root);
    }
}

bool CdxEngine::insertEntry(const TagRef& tag, std::string_view key, uint32_t recno) {
    if (tag.unique) {
        const auto p = forward(tag, lowerBound(tag, PrefixBefore{key}));
        if (p && treePage(p->leaf, tag).keyAt(p->slot) == key) return false;
    }
    std::vector<PathStep> path;
    const EntryBefore before{key, recno};
    Node& leaf = descend(tag, before, &path);
    const uint32_t offset = leaf.offset;
    const size_t slot = lowerSlot(leaf, before);
    if (slot < leaf.count() && compareEntries(leaf.keyAt(slot), leaf.recnos[slot], key, recno) == 0)
        return false;
    touch(leaf);
    const bool atEnd = slot == leaf.count();
    insertIntoLeaf(leaf, slot, key, recno);
    std::vector<uint32_t> pieces{offset};
    if (leafBytes(leaf) > kLeafArea)
        pieces = splitLeaf(tag, leaf, atEnd && leaf.right == kNoPage);
    else if (!atEnd)
        return true;
    replaceInParents(tag, path, std::move(pieces));
    return true;
}

bool CdxEngine::removeEntry(const TagRef& tag, std::string_view key, uint32_t recno) {
    std::vector<PathStep> path;
    const EntryBefore before{key, recno};
    Node& leaf = descend(tag, before, &path);
    const uint32_t offset = leaf.offset;
    const size_t slot = lowerSlot(leaf, before);
    if (slot == leaf.count() ||
        compareEntries(leaf.keyAt(slot), leaf.recnos[slot], key, recno) != 0)
        return false;
    touch(leaf);
    const bool wasLast = slot + 1 == leaf.count();
    eraseFromLeaf(leaf, slot);
    if (path.empty()) return true;
    if (leaf.count() == 0) {
        unlinkAndFree(tag, leaf);
        replaceInParents(tag, path, {});
    } else if (!joinWithNeighbour(tag, path, leaf) && wasLast) {
        replaceInParents(tag, path, {offset});
    }
    return true;
}

bool CdxEngine::joinWithNeighbour(const TagRef& tag, std::vector<PathStep> path, Node& leaf) {
    // Only a leaf left less than a quarter full, so that a page split in
    // half needs many removals before it is joined again.
    if (leafBytes(leaf) >= kLeafArea / 4) return false;
    const PathStep step = path.back();
    const Node& parent = treePage(step.node, tag);
    for (const bool withRight : {true, false}) {
        if (withRight ? step.index + 1 >= parent.count() : step.index == 0) continue;
        const uint32_t leftIndex = withRight ? step.index : step.index - 1;
        Node& left = withRight ? leaf : treePage(parent.children[leftIndex], tag);
        Node& right = withRight ? treePage(parent.children[leftIndex + 1], tag) : leaf;
        if (!left.isLeaf() || !right.isLeaf() || left.right != right.offset) continue;
        const LeafWidths widths =
            left.widths.bytes >= right.widths.bytes ? left.widths : right.widths;
        const std::string_view lastLeft = left.lastKey();
        const std::string_view firstRight = right.keyAt(0);
        const uint32_t stored = left.storedBytes + right.storedBytes -
                                storedLength(nullptr, firstRight, tag.fill) +
                                storedLength(&lastLeft, firstRight, tag.fill);
        if ((left.count() + right.count()) * widths.bytes + stored > kLeafArea) continue;

        touch(left);
        touch(right);
        left.widths = widths;
        left.storedBytes = stored;
        left.keys += right.keys;
        left.recnos.insert(left.recnos.end(), right.recnos.begin(), right.recnos.end());
        unlinkAndFree(tag, right);
        Node& changedParent = touch(treePage(step.node, tag));
        eraseEntry(changedParent, leftIndex + 1);
        path.back().index = leftIndex;
        replaceInParents(tag, path, {left.offset});
        return true;
    }
    return false;
}

bool CdxEngine::insert(const CdxTag& tag, std::string_view key, uint32_t recno) {
    WriteOperation op(*this);
    const TagRef ref = resolve(tag);
    const bool inserted = insertEntry(ref, padKey(key, ref), recno);
    op.commit();
    return inserted;
}

bool CdxEngine::remove(const CdxTag& tag, std::string_view key, uint32_t recno) {
    WriteOperation op(*this);
    const TagRef ref = resolve(tag);
    const bool removed = removeEntry(ref, padKey(key, ref), recno);
    op.commit();
    return removed;
}

void CdxEngine::update(const CdxTag& tag, std::string_view oldKey, std::string_view newKey,
                       uint32_t recno) {
    WriteOperation op(*this);
    const TagRef ref = resolve(tag);
    const std::string from = padKey(oldKey, ref);
    const std::string to = padKey(newKey, ref);
    if (from != to) {
        removeEntry(ref, from, recno);
        insertEntry(ref, to, recno);
    }
    op.commit();
}

// ---------------------------------------------------------------- cursors

void CdxEngine::place(CdxCursor& cursor, const TagRef& tag, std::optional<Position> p) {
    cursor.generation_ = generation_;
    if (!p) {
        cursor.eof_ = true;
        cursor.key_.clear();
        cursor.recno_ = 0;
        return;
    }
    const Node& leaf = p->node ? *p->node : treePage(p->leaf, tag);
    cursor.leaf_ = p->leaf;
    cursor.slot_ = p->slot;
    cursor.key_.assign(leaf.keyAt(p->slot));
    cursor.recno_ = leaf.recnos[p->slot];
    cursor.eof_ = false;
}

std::optional<Position> CdxEngine::currentPosition(const TagRef& tag, CdxCursor& cursor,
                                                   bool& exact) {
    if (cursor.generation_ == generation_) {
        exact = true;
        return Position{cursor.leaf_, cursor.slot_};
    }
    // The file changed: find the entry again, or the place it held.
    const Position p = lowerBound(tag, EntryBefore{cursor.key_, cursor.recno_});
    const auto q = forward(tag, p);
    exact = q &&
            compareEntries(treePage(q->leaf, tag).keyAt(q->slot),
                           treePage(q->leaf, tag).recnos[q->slot], cursor.key_, cursor.recno_) == 0;
    return q ? q : std::optional<Position>(p);
}

bool CdxEngine::first(CdxCursor& cursor) {
    ReadOperation op(*this);
    const TagRef tag = resolve(cursor.tag_);
    const auto p = forward(tag, Position{leftmostLeaf(tag), 0});
    place(cursor, tag, p);
    cursor.bof_ = !p;
    return p.has_value();
}

bool CdxEngine::last(CdxCursor& cursor) {
    ReadOperation op(*this);
    const TagRef tag = resolve(cursor.tag_);
    const uint32_t leaf = rightmostLeaf(tag);
    const auto p =
        backward(tag, Position{leaf, static_cast<uint32_t>(treePage(leaf, tag).count())});
    place(cursor, tag, p);
    cursor.bof_ = !p;
    return p.has_value();
}

bool CdxEngine::seek(CdxCursor& cursor, std::string_view prefix) {
    ReadOperation op(*this);
    const TagRef tag = resolve(cursor.tag_);
    const auto p = forward(tag, lowerBound(tag, PrefixBefore{prefix}));
    place(cursor, tag, p);
    cursor.bof_ = false;
    return p.has_value();
}

bool CdxEngine::seekEntry(CdxCursor& cursor, std::string_view key, uint32_t recno) {
    ReadOperation op(*this);
    const TagRef tag = resolve(cursor.tag_);
    const std::string padded = padKey(key, tag);
    const auto p = forward(tag, lowerBound(tag, EntryBefore{padded, recno}));
    place(cursor, tag, p);
    cursor.bof_ = false;
    return p.has_value();
}

bool CdxEngine::next(CdxCursor& cursor) {
    ReadOperation op(*this);
    const TagRef tag = resolve(cursor.tag_);
    if (cursor.eof_) return false;
    bool exact = false;
    const auto current = currentPosition(tag, cursor, exact);
    std::optional<Position> p;
    if (exact)
        p = forward(tag, Position{current->leaf, current->slot + 1});
    else
        p = forward(tag, *current);
    const std::string previousKey = cursor.key_;
    const uint32_t previousRecno = cursor.recno_;
    place(cursor, tag, p);
    cursor.bof_ = false;
    if (p && compareEntries(cursor.key_, cursor.recno_, previousKey, previousRecno) <= 0)
        damaged("chaves fora de ordem ou laço entre páginas irmãs ("_cp + pageName(p->leaf) + ")");
    return p.has_value();
}

bool CdxEngine::previous(CdxCursor& cursor) {
    ReadOperation op(*this);
    const TagRef tag = resolve(cursor.tag_);
    if (cursor.eof_) {
        const uint32_t leaf = rightmostLeaf(tag);
        const auto p =
            backward(tag, Position{leaf, static_cast<uint32_t>(treePage(leaf, tag).count())});
        place(cursor, tag, p);
        cursor.bof_ = !p;
        return p.has_value();
    }
    bool exact = false;
    const auto current = currentPosition(tag, cursor, exact);
    const auto p = backward(tag, *current);
    if (p) {
        const std::string previousKey = cursor.key_;
        const uint32_t previousRecno = cursor.recno_;
        place(cursor, tag, p);
        cursor.bof_ = false;
        if (compareEntries(cursor.key_, cursor.recno_, previousKey, previousRecno) >= 0)
            damaged("chaves fora de ordem ou laço entre páginas irmãs ("_cp + pageName(p->leaf) +
                    ")");
        return true;
    }
    // Nothing before: stay on the first entry (the current one, or what
    // now stands where it stood).
    place(cursor, tag, forward(tag, *current));
    cursor.bof_ = true;
    return false;
}

}  // namespace kdx2::store::detail
