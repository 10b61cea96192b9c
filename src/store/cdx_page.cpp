#include <bit>
#include <stdexcept>

#include "base/cp850.h"
#include "store/cdx_page.h"

namespace kdx2::store::detail {

using namespace base::literals;

namespace {

uint8_t significantBits(size_t value) {
    return static_cast<uint8_t>(std::bit_width(value));
}

uint64_t getLeN(const uint8_t* p, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

void putLeN(uint8_t* p, uint64_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t bitMask(unsigned bits) {
    return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
}

}  // namespace

std::string pageName(uint64_t offset) {
    return "página na posição "_cp + std::to_string(offset);
}

LeafWidths leafWidthsFor(size_t keyLength, uint32_t maxRecno, uint8_t minBytes) {
    const uint8_t b = significantBits(keyLength);
    for (unsigned bytes = std::max<unsigned>(minBytes, 2); bytes <= 8; ++bytes) {
        int recnoBits = static_cast<int>(8 * bytes) - 2 * b;
        if (recnoBits < 8) continue;
        if (recnoBits > 32) recnoBits = 32;
        LeafWidths w{static_cast<uint8_t>(bytes), static_cast<uint8_t>(recnoBits), b, b};
        if (w.holds(maxRecno)) return w;
    }
    // 8 bytes always leave 32 bits for the record number (b is at most 8).
    return LeafWidths{8, 32, b, b};
}

LeafEncoder::LeafEncoder(uint8_t* page, size_t keyLength, uint8_t fill, LeafWidths widths)
    : page_(page), keyLength_(keyLength), fill_(fill), widths_(widths) {}

bool LeafEncoder::add(std::string_view key, uint32_t recno) {
    if (!widths_.holds(recno)) throw std::logic_error("cdx: record number wider than the leaf");
    const size_t trail = trailCount(key, fill_);
    const size_t dup = count_ == 0 ? 0 : dupCount(previous_, previousTrail_, key, trail);
    const size_t stored = keyLength_ - trail - dup;
    if ((count_ + 1) * widths_.bytes + keyBytes_ + stored > kLeafArea) return false;
    const uint64_t packed = static_cast<uint64_t>(recno) |
                            (static_cast<uint64_t>(dup) << widths_.recnoBits) |
                            (static_cast<uint64_t>(trail) << (widths_.recnoBits + widths_.dupBits));
    putLeN(page_ + kLeafEntriesStart + count_ * widths_.bytes, packed, widths_.bytes);
    keyBytes_ += stored;
    if (stored > 0) std::memcpy(page_ + kPageSize - keyBytes_, key.data() + dup, stored);
    previous_ = key;
    previousTrail_ = trail;
    ++count_;
    return true;
}

void LeafEncoder::finish(uint16_t attributes, uint32_t left, uint32_t right) {
    putLe16(page_ + 0, attributes);
    putLe16(page_ + 2, static_cast<uint32_t>(count_));
    putLe32(page_ + 4, left);
    putLe32(page_ + 8, right);
    putLe16(page_ + 12, static_cast<uint32_t>(kLeafArea - count_ * widths_.bytes - keyBytes_));
    putLe32(page_ + 14, widths_.recnoMask());
    page_[18] = static_cast<uint8_t>(bitMask(widths_.dupBits));
    page_[19] = static_cast<uint8_t>(bitMask(widths_.trailBits));
    page_[20] = widths_.recnoBits;
    page_[21] = widths_.dupBits;
    page_[22] = widths_.trailBits;
    page_[23] = widths_.bytes;
}

void encodeNode(const Node& node, uint8_t* page) {
    std::memset(page, 0, kPageSize);
    switch (node.kind) {
        case Node::Kind::Raw:
            std::memcpy(page, node.raw.data(), kPageSize);
            return;
        case Node::Kind::Leaf: {
            LeafEncoder encoder(page, node.keyLength, node.fill, node.widths);
            for (size_t i = 0; i < node.count(); ++i)
                if (!encoder.add(node.keyAt(i), node.recnos[i]))
                    throw std::logic_error("cdx: leaf overflow at write");
            encoder.finish(node.attributes, node.left, node.right);
            return;
        }
        case Node::Kind::Interior: {
            putLe16(page + 0, node.attributes);
            putLe16(page + 2, static_cast<uint32_t>(node.count()));
            putLe32(page + 4, node.left);
            putLe32(page + 8, node.right);
            uint8_t* p = page + kInteriorEntriesStart;
            for (size_t i = 0; i < node.count(); ++i) {
                std::memcpy(p, node.keyAt(i).data(), node.keyLength);
                putBe32(p + node.keyLength, node.recnos[i]);
                putBe32(p + node.keyLength + 4, node.children[i]);
                p += node.keyLength + 8;
            }
            return;
        }
    }
}

uint32_t leafBytes(const Node& leaf) {
    return static_cast<uint32_t>(leaf.count() * leaf.widths.bytes) + leaf.storedBytes;
}

std::string decodeLeaf(const uint8_t* page, uint16_t keyLength, uint8_t fill, Node& node) {
    const size_t count = getLe16(page + 2);
    LeafWidths w;
    w.bytes = page[23];
    w.recnoBits = page[20];
    w.dupBits = page[21];
    w.trailBits = page[22];
    if (w.bytes < 1 || w.bytes > 8 || w.recnoBits > 32 || w.dupBits > 8 || w.trailBits > 8 ||
        w.recnoBits + w.dupBits + w.trailBits > 8 * w.bytes ||
        getLe32(page + 14) != w.recnoMask() || page[18] != bitMask(w.dupBits) ||
        page[19] != bitMask(w.trailBits))
        return "larguras de entrada inválidas"_cp;
    if (count * w.bytes > kLeafArea)
        return std::to_string(count) + " chaves, além da capacidade da página"_cp;

    node.kind = Node::Kind::Leaf;
    node.attributes = getLe16(page);
    node.left = getLe32(page + 4);
    node.right = getLe32(page + 8);
    node.keyLength = keyLength;
    node.fill = fill;
    node.widths = w;
    node.keys.assign(count * keyLength, '\0');
    node.recnos.resize(count);
    node.children.clear();

    const size_t entriesEnd = kLeafEntriesStart + count * w.bytes;
    size_t keyPos = kPageSize;
    const uint32_t dupMask = bitMask(w.dupBits);
    const uint32_t trailMask = bitMask(w.trailBits);
    char* keys = node.keys.data();
    for (size_t i = 0; i < count; ++i) {
        const uint64_t v = getLeN(page + kLeafEntriesStart + i * w.bytes, w.bytes);
        const uint32_t recno = static_cast<uint32_t>(v & w.recnoMask());
        const size_t dup = static_cast<size_t>((v >> w.recnoBits) & dupMask);
        const size_t trail = static_cast<size_t>((v >> (w.recnoBits + w.dupBits)) & trailMask);
        if (dup + trail > keyLength || (i == 0 && dup > 0))
            return "entrada "_cp + std::to_string(i + 1) + " mal codificada"_cp;
        const size_t stored = keyLength - dup - trail;
        if (keyPos < entriesEnd + stored) return "chaves sobrepostas às entradas"_cp;
        keyPos -= stored;
        char* key = keys + i * keyLength;
        if (dup > 0) std::memcpy(key, key - keyLength, dup);
        std::memcpy(key + dup, page + keyPos, stored);
        std::memset(key + dup + stored, fill, trail);
        node.recnos[i] = recno;
        if (i > 0 &&
            compareEntries(std::string_view(key - keyLength, keyLength), node.recnos[i - 1],
                           std::string_view(key, keyLength), recno) >= 0)
            return "chaves fora de ordem"_cp;
    }
    node.storedBytes = static_cast<uint32_t>(kPageSize - keyPos);
    const uint32_t expectedFree =
        static_cast<uint32_t>(kLeafArea - (entriesEnd - kLeafEntriesStart) - node.storedBytes);
    const uint32_t writtenFree = getLe16(page + 12);
    if (writtenFree != expectedFree)
        return "contagem de bytes livres errada (gravado "_cp + std::to_string(writtenFree) +
               ", calculado "_cp + std::to_string(expectedFree) + ")";
    return {};
}

std::string decodeInterior(const uint8_t* page, uint16_t keyLength, Node& node) {
    const size_t count = getLe16(page + 2);
    if (count == 0) return "página interna sem chaves"_cp;
    if (count > interiorCapacity(keyLength))
        return std::to_string(count) + " chaves, além da capacidade da página"_cp;
    node.kind = Node::Kind::Interior;
    node.attributes = getLe16(page);
    node.left = getLe32(page + 4);
    node.right = getLe32(page + 8);
    node.keyLength = keyLength;
    node.keys.resize(count * keyLength);
    node.recnos.resize(count);
    node.children.resize(count);
    node.storedBytes = 0;
    const uint8_t* p = page + kInteriorEntriesStart;
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(node.keys.data() + i * keyLength, p, keyLength);
        node.recnos[i] = getBe32(p + keyLength);
        node.children[i] = getBe32(p + keyLength + 4);
        p += keyLength + 8;
        if (i > 0 && compareEntries(node.keyAt(i - 1), node.recnos[i - 1], node.keyAt(i),
                                    node.recnos[i]) >= 0)
            return "chaves fora de ordem"_cp;
    }
    return {};
}

HeaderFields readHeader(const uint8_t* page) {
    HeaderFields h;
    h.root = getLe32(page + kHeaderRoot);
    h.freeList = getLe32(page + kHeaderFreeList);
    h.keyLength = getLe16(page + kHeaderKeyLength);
    h.options = page[kHeaderOptions];
    h.signature = page[kHeaderSignature];
    h.order = getLe16(page + kHeaderOrder);
    return h;
}

std::string pageOffsetProblem(uint64_t offset, uint64_t fileSize) {
    if (offset % kPageSize != 0) return pageName(offset) + " não alinhada em 512 bytes"_cp;
    if (offset < kFirstTreePage || offset + kPageSize > fileSize)
        return pageName(offset) + " fora do arquivo"_cp;
    return {};
}

std::string headerProblem(const HeaderFields& header, bool directory, uint64_t fileSize) {
    if (header.signature != 1) return "assinatura inválida no cabeçalho"_cp;
    const uint8_t required = directory ? (kOptionCompact | kOptionCompound) : kOptionCompact;
    if ((header.options & required) != required) return "opções inválidas no cabeçalho"_cp;
    if (directory ? header.keyLength != kDirectoryKeyLength
                  : (header.keyLength < 1 || header.keyLength > 240))
        return "tamanho de chave "_cp + std::to_string(header.keyLength) + " inválido"_cp;
    if (auto problem = pageOffsetProblem(header.root, fileSize); !problem.empty())
        return "raiz: "_cp + problem;
    return {};
}

void readExpressions(const uint8_t* header, const uint8_t* pool, std::string& keyExpression,
                     std::string& forExpression) {
    auto text = [pool](size_t start, size_t lengthWithNul) {
        if (lengthWithNul <= 1 || start >= kPageSize) return std::string();
        const size_t end = std::min<size_t>(kPageSize, start + lengthWithNul - 1);
        std::string s(reinterpret_cast<const char*>(pool + start), end - start);
        if (auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
        return s;
    };
    keyExpression = text(getLe16(header + kHeaderKeyStart), getLe16(header + kHeaderKeyExprLength));
    forExpression = text(getLe16(header + kHeaderForStart), getLe16(header + kHeaderForLength));
}

void writeTagHeader(uint8_t* headerAndPool, uint32_t root, uint16_t keyLength, bool unique,
                    bool descending, const std::string& keyExpression,
                    const std::string& forExpression) {
    uint8_t* h = headerAndPool;
    putLe32(h + kHeaderRoot, root);
    putLe16(h + kHeaderKeyLength, keyLength);
    h[kHeaderOptions] =
        static_cast<uint8_t>(kOptionCompact | kOptionCompound | (unique ? kOptionUnique : 0) |
                             (forExpression.empty() ? 0 : kOptionFor));
    h[kHeaderSignature] = 1;
    putLe16(h + kHeaderOrder, descending ? 1 : 0);
    const size_t keyLen = keyExpression.size() + 1;
    const size_t forLen = forExpression.size() + 1;
    putLe16(h + kHeaderForStart, static_cast<uint32_t>(keyLen));
    putLe16(h + kHeaderForLength, static_cast<uint32_t>(forLen));
    putLe16(h + kHeaderKeyStart, 0);
    putLe16(h + kHeaderKeyExprLength, static_cast<uint32_t>(keyLen));
    uint8_t* pool = h + kPageSize;
    std::memcpy(pool, keyExpression.data(), keyExpression.size());
    std::memcpy(pool + keyLen, forExpression.data(), forExpression.size());
}

void writeFileHeader(uint8_t* headerAndPool) {
    uint8_t* h = headerAndPool;
    putLe32(h + kHeaderRoot, kDirectoryRoot);
    putLe16(h + kHeaderKeyLength, kDirectoryKeyLength);
    h[kHeaderOptions] = kOptionCompact | kOptionCompound | kOptionStructure;
    h[kHeaderSignature] = 1;
    putLe16(h + kHeaderForStart, 1);
    putLe16(h + kHeaderForLength, 1);
    putLe16(h + kHeaderKeyStart, 0);
    putLe16(h + kHeaderKeyExprLength, 1);
}

}  // namespace kdx2::store::detail
