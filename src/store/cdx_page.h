#pragma once

// Internal to the compound index engine: the byte layout of its pages and the
// decoded form the engine works on.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kdx2::store::detail {

inline constexpr uint32_t kPageSize = 512;
inline constexpr uint32_t kNoPage = 0xFFFFFFFF;
// Room for packed entries and key bytes in a leaf, and for fixed entries in
// an interior page.
inline constexpr uint32_t kLeafArea = 488;
inline constexpr uint32_t kLeafEntriesStart = 24;
inline constexpr uint32_t kInteriorArea = 500;
inline constexpr uint32_t kInteriorEntriesStart = 12;
// Tag directory: header at 0, its (empty) expression pool at 512, root leaf at 1024.
inline constexpr uint32_t kDirectoryHeader = 0;
inline constexpr uint32_t kDirectoryRoot = 1024;
inline constexpr uint16_t kDirectoryKeyLength = 10;
inline constexpr uint32_t kFirstTreePage = 1024;
inline constexpr uint64_t kIndexLockOffset = 1'000'000'000;

// Header fields.
inline constexpr size_t kHeaderRoot = 0;
inline constexpr size_t kHeaderFreeList = 4;
inline constexpr size_t kHeaderCounter = 8;
inline constexpr size_t kHeaderKeyLength = 12;
inline constexpr size_t kHeaderOptions = 14;
inline constexpr size_t kHeaderSignature = 15;
inline constexpr size_t kHeaderOrder = 502;
inline constexpr size_t kHeaderForStart = 504;
inline constexpr size_t kHeaderForLength = 506;
inline constexpr size_t kHeaderKeyStart = 508;
inline constexpr size_t kHeaderKeyExprLength = 510;

inline constexpr uint8_t kOptionUnique = 0x01;
inline constexpr uint8_t kOptionFor = 0x08;
inline constexpr uint8_t kOptionCompact = 0x20;
inline constexpr uint8_t kOptionCompound = 0x40;
inline constexpr uint8_t kOptionStructure = 0x80;

inline constexpr uint16_t kAttrRoot = 1;
inline constexpr uint16_t kAttrLeaf = 2;

inline uint16_t getLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t getLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t getBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void putLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Unsigned byte order of two runs of n bytes. Eight bytes at a time: key
// comparisons are most of the work of a seek, and a call to memcmp for ten
// bytes costs more than the comparison itself.
inline int compareBytes(const char* a, const char* b, size_t n) {
    for (; n >= 8; a += 8, b += 8, n -= 8) {
        uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
    }
    for (; n > 0; ++a, ++b, --n)
        if (*a != *b) return static_cast<uint8_t>(*a) < static_cast<uint8_t>(*b) ? -1 : 1;
    return 0;
}

// Unsigned byte order of two keys; a key that is a prefix of the other comes first.
inline int compareKeys(std::string_view a, std::string_view b) {
    if (const int c = compareBytes(a.data(), b.data(), std::min(a.size(), b.size())); c != 0)
        return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// Orders (key, recno) pairs: key bytes unsigned, then record number.
inline int compareEntries(std::string_view keyA, uint32_t recA, std::string_view keyB,
                          uint32_t recB) {
    if (const int c = compareKeys(keyA, keyB); c != 0) return c;
    return recA < recB ? -1 : (recA > recB ? 1 : 0);
}

inline size_t interiorCapacity(size_t keyLength) {
    return kInteriorArea / (keyLength + 8);
}

// Widths of one leaf's packed entries: record number in the low bits, the
// duplicate count above it, the trailing count on top.
struct LeafWidths {
    uint8_t bytes = 0;
    uint8_t recnoBits = 0;
    uint8_t dupBits = 0;
    uint8_t trailBits = 0;
    uint32_t recnoMask() const { return recnoBits >= 32 ? 0xFFFFFFFFu : ((1u << recnoBits) - 1); }
    bool holds(uint32_t recno) const { return recno <= recnoMask(); }
};

// The narrowest entry (at least minBytes) whose record field holds maxRecno.
LeafWidths leafWidthsFor(size_t keyLength, uint32_t maxRecno, uint8_t minBytes = 2);

// Number of fill bytes ending the key.
inline size_t trailCount(std::string_view key, uint8_t fill) {
    size_t n = key.size();
    while (n > 0 && static_cast<uint8_t>(key[n - 1]) == fill)
        --n;
    return key.size() - n;
}

// Leading bytes a key shares with the key before it in the same leaf. Only
// the significant (non-trailing) bytes of both keys count, so that a reader
// rebuilding either key from its stored bytes alone gets the same result.
inline size_t dupCount(std::string_view previous, size_t previousTrail, std::string_view key,
                       size_t trail) {
    const size_t limit = std::min(key.size() - trail, previous.size() - previousTrail);
    size_t n = 0;
    while (n < limit && previous[n] == key[n])
        ++n;
    return n;
}

// A page as the engine holds it in memory.
struct Node {
    enum class Kind : uint8_t { Raw, Leaf, Interior };
    Kind kind = Kind::Raw;
    bool dirty = false;
    uint32_t offset = 0;
    uint64_t transaction = 0;  // last transaction that saved an undo copy

    // Raw: the page bytes (headers, expression pools, free pages).
    std::string raw;

    // Leaf and interior pages.
    uint16_t attributes = 0;
    uint32_t left = kNoPage;
    uint32_t right = kNoPage;
    uint16_t keyLength = 0;
    uint8_t fill = 0x20;
    std::string keys;  // count() keys back to back
    std::vector<uint32_t> recnos;
    std::vector<uint32_t> children;  // interior only
    LeafWidths widths;               // leaf only
    uint32_t storedBytes = 0;        // leaf only: key bytes the page stores

    bool isLeaf() const { return kind == Kind::Leaf; }
    size_t count() const { return recnos.size(); }
    std::string_view keyAt(size_t i) const {
        return std::string_view(keys).substr(i * keyLength, keyLength);
    }
    std::string_view lastKey() const { return keyAt(count() - 1); }
    uint32_t lastRecno() const { return recnos.back(); }
    uint8_t* rawBytes() { return reinterpret_cast<uint8_t*>(raw.data()); }
    const uint8_t* rawBytes() const { return reinterpret_cast<const uint8_t*>(raw.data()); }
};

// Decoded pages by offset. The page number indexes a vector: index files
// are small enough that a slot per page costs less than hashing the offset
// at every step down a tree.
class PageCache {
  public:
    Node* find(uint32_t offset) const {
        const size_t i = offset / kPageSize;
        return i < slots_.size() ? slots_[i].get() : nullptr;
    }
    Node& put(uint32_t offset, std::unique_ptr<Node> node) {
        const size_t i = offset / kPageSize;
        if (i >= slots_.size()) slots_.resize(std::max(i + 1, slots_.size() * 2));
        if (!slots_[i]) ++count_;
        slots_[i] = std::move(node);
        return *slots_[i];
    }
    void erase(uint32_t offset) {
        const size_t i = offset / kPageSize;
        if (i < slots_.size() && slots_[i]) {
            slots_[i].reset();
            --count_;
        }
    }
    template <class Predicate>
    void eraseIf(Predicate drop) {
        for (auto& slot : slots_)
            if (slot && drop(*slot)) {
                slot.reset();
                --count_;
            }
    }
    void clear() {
        slots_.clear();
        count_ = 0;
    }
    size_t size() const { return count_; }

  private:
    std::vector<std::unique_ptr<Node>> slots_;
    size_t count_ = 0;
};

// Appends entries to a leaf page image, key bytes downward from the end.
class LeafEncoder {
  public:
    LeafEncoder(uint8_t* page, size_t keyLength, uint8_t fill, LeafWidths widths);
    // False (page unchanged) when the entry does not fit.
    bool add(std::string_view key, uint32_t recno);
    // Writes the page header; the page must have been zeroed.
    void finish(uint16_t attributes, uint32_t left, uint32_t right);
    size_t count() const { return count_; }

  private:
    uint8_t* page_;
    size_t keyLength_;
    uint8_t fill_;
    LeafWidths widths_;
    size_t count_ = 0;
    size_t keyBytes_ = 0;
    std::string_view previous_;
    size_t previousTrail_ = 0;
};

// Page bytes of a decoded node (512 bytes).
void encodeNode(const Node& node, uint8_t* page);

// Decode a page into `node` (kind, keys, links, widths). Return an empty
// string, or the problem found, as a Portuguese (CP850) phrase.
std::string decodeLeaf(const uint8_t* page, uint16_t keyLength, uint8_t fill, Node& node);
std::string decodeInterior(const uint8_t* page, uint16_t keyLength, Node& node);

// Bytes a leaf needs for its entries as they stand (packed entries + key bytes).
uint32_t leafBytes(const Node& leaf);
// Key bytes an entry stores after `previous` (nullptr: first in its page).
inline uint32_t storedLength(const std::string_view* previous, std::string_view key, uint8_t fill) {
    const size_t trail = trailCount(key, fill);
    size_t dup = 0;
    if (previous) dup = dupCount(*previous, trailCount(*previous, fill), key, trail);
    return static_cast<uint32_t>(key.size() - trail - dup);
}

// The header fields of a compact index header (the file header or a tag's).
struct HeaderFields {
    uint32_t root = 0;
    uint32_t freeList = 0;
    uint16_t keyLength = 0;
    uint8_t options = 0;
    uint8_t signature = 0;
    uint16_t order = 0;
};
HeaderFields readHeader(const uint8_t* page);
// Problems of a header as a Portuguese phrase, or empty.
std::string headerProblem(const HeaderFields& header, bool directory, uint64_t fileSize);
// Problem of a page offset (alignment, inside the file), or empty.
std::string pageOffsetProblem(uint64_t offset, uint64_t fileSize);
// The expressions of a tag from its header and pool pages.
void readExpressions(const uint8_t* header, const uint8_t* pool, std::string& keyExpression,
                     std::string& forExpression);
// Builds a tag header and pool (1024 bytes, zeroed by the caller).
void writeTagHeader(uint8_t* headerAndPool, uint32_t root, uint16_t keyLength, bool unique,
                    bool descending, const std::string& keyExpression,
                    const std::string& forExpression);
// Builds the file header and the directory's empty pool (1024 bytes, zeroed).
void writeFileHeader(uint8_t* headerAndPool);

// "página na posição N", for messages.
std::string pageName(uint64_t offset);

}  // namespace kdx2::store::detail
