#include "store/cdx_engine.h"
#include "store/cdx_tree_search.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <unordered_set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::detail {

using namespace base::literals;

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

namespace {

// A key in the bulk sort: its first eight bytes that can differ from
// another key's (zeros beyond the key), as an integer.
struct SortItem {
    uint64_t prefix;  // eight key bytes from the first one that differs between keys
    uint32_t index;   // into the key list
    uint32_t recno;   // carried along, so the sorted walk never goes back to the list
};

// Leading bytes every key of the list shares: they cannot order anything.
size_t commonPrefix(const CdxKeyList& keys) {
    if (keys.size() == 0) return 0;
    const std::string_view first = keys.keyAt(0);
    size_t common = first.size();
    for (size_t i = 1; i < keys.size() && common > 0; ++i) {
        const std::string_view k = keys.keyAt(i);
        size_t n = 0;
        while (n < common && k[n] == first[n])
            ++n;
        common = n;
    }
    return common;
}

// Stable least-significant-digit radix sort on the eight prefix bytes. One
// reading pass counts every byte position at once; a position whose byte
// is the same in every item costs no pass.
void radixSortByPrefix(std::vector<SortItem>& items) {
    std::array<std::array<size_t, 256>, 8> counts{};
    for (const SortItem& item : items)
        for (int digit = 0; digit < 8; ++digit)
            ++counts[size_t(digit)][(item.prefix >> (8 * digit)) & 0xFF];
    std::vector<SortItem> scratch(items.size());
    for (int digit = 0; digit < 8; ++digit) {
        std::array<size_t, 256>& starts = counts[size_t(digit)];
        if (std::any_of(starts.begin(), starts.end(), [&](size_t c) { return c == items.size(); }))
            continue;
        size_t sum = 0;
        for (size_t& c : starts) {
            const size_t here = c;
            c = sum;
            sum += here;
        }
        const int shift = 8 * digit;
        for (const SortItem& item : items)
            scratch[starts[(item.prefix >> shift) & 0xFF]++] = item;
        items.swap(scratch);
    }
}

}  // namespace

// The list's entries in tag order (key bytes, then record number), exact
// repeats dropped, and for a unique tag every entry after the first (lowest
// record number) of its key. Bulk loading sorts once instead of descending
// the tree per key: a radix pass per key byte that differs between keys,
// then a comparison sort only inside runs the prefix cannot tell apart.
// When the prefix holds every byte that differs, the keys are rebuilt from
// it rather than fetched from the list in random order.
CdxKeyList CdxEngine::sortedForTag(const CdxKeyList& keys, bool unique) {
    const size_t count = keys.size();
    const size_t keyLength = keys.keyLength();
    const size_t skip = commonPrefix(keys);
    std::vector<SortItem> items(count);
    bool ascendingRecnos = true;
    for (size_t i = 0; i < count; ++i) {
        const std::string_view k = keys.keyAt(i);
        uint64_t prefix = 0;
        for (size_t b = skip; b < skip + 8; ++b)
            prefix = (prefix << 8) | (b < keyLength ? static_cast<uint8_t>(k[b]) : 0);
        items[i] = {prefix, static_cast<uint32_t>(i), keys.recnoAt(i)};
        if (i > 0 && keys.recnoAt(i) <= keys.recnoAt(i - 1)) ascendingRecnos = false;
    }
    radixSortByPrefix(items);

    // The radix sort is stable, so equal prefixes keep the list's order,
    // which is record order when the records came in ascending.
    const bool prefixDecides = skip + 8 >= keyLength;
    if (!prefixDecides || !ascendingRecnos) {
        const auto before = [&](const SortItem& a, const SortItem& b) {
            if (!prefixDecides) {
                const int c =
                    compareBytes(keys.keyAt(a.index).data(), keys.keyAt(b.index).data(), keyLength);
                if (c != 0) return c < 0;
            }
            return a.recno < b.recno;
        };
        for (size_t begin = 0; begin < count;) {
            size_t end = begin + 1;
            while (end < count && items[end].prefix == items[begin].prefix)
                ++end;
            if (end - begin > 1)
                std::sort(items.begin() + long(begin), items.begin() + long(end), before);
            begin = end;
        }
    }

    CdxKeyList sorted(keyLength, keys.keyType());
    sorted.reserve(count);
    std::string key(count > 0 ? keys.keyAt(0).substr(0, skip) : std::string_view());
    key.resize(keyLength);
    for (size_t i = 0; i < count; ++i) {
        const SortItem& item = items[i];
        if (i > 0) {
            const SortItem& last = items[i - 1];
            const bool sameKey = prefixDecides ? item.prefix == last.prefix
                                               : keys.keyAt(item.index) == keys.keyAt(last.index);
            if (sameKey && (unique || item.recno == last.recno)) {
                items[i] = last;  // the entry kept stands for the run
                continue;
            }
        }
        if (prefixDecides) {
            for (size_t b = skip; b < keyLength; ++b)
                key[b] = static_cast<char>(item.prefix >> (8 * (7 - (b - skip))));
            sorted.add(key, item.recno);
        } else {
            sorted.add(keys.keyAt(item.index), item.recno);
        }
    }
    return sorted;
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

    const size_t keyLength = keys.keyLength();
    const uint8_t fill = cdxFillByte(type);
    const CdxKeyList sorted = sortedForTag(keys, definition.unique);
    const size_t kept = sorted.size();
    uint32_t maxRecno = 0;
    for (size_t i = 0; i < kept; ++i)
        maxRecno = std::max(maxRecno, sorted.recnoAt(i));

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
    // Room for the most pages the tag can take (no key byte shared between
    // neighbours), so that the image is never moved while it grows.
    const size_t leastPerLeaf = std::max<size_t>(1, kLeafArea / (widths.bytes + keyLength));
    image.reserve(image.size() + (kept / leastPerLeaf + 2) * kPageSize * 9 / 8);
    const uint32_t firstLeaf = nextOffset();
    uint8_t page[kPageSize];
    size_t i = 0;
    do {
        std::memset(page, 0, kPageSize);
        LeafEncoder encoder(page, keyLength, fill, widths);
        while (i < kept && encoder.add(sorted.keyAt(i), sorted.recnoAt(i)))
            ++i;
        const uint32_t offset = nextOffset();
        encoder.finish(kAttrLeaf, offset == firstLeaf ? kNoPage : offset - kPageSize,
                       i < kept ? offset + kPageSize : kNoPage);
        const size_t lastItem = i > 0 ? i - 1 : 0;
        level.push_back({kept > 0 ? sorted.keyAt(lastItem) : std::string_view(),
                         kept > 0 ? sorted.recnoAt(lastItem) : 0, offset});
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
                   definition.unique, definition.descending, definition.keyExpression,
                   definition.forExpression);
    file_.writeAt(headerOffset, image.data(), image.size());
    fileEnd_ = headerOffset + image.size();
    diskSize_ = std::max(diskSize_, fileEnd_);
    transactionChanged_ = true;

    insertEntry(directory(), directoryKey(name), headerOffset);
    ++directoryGeneration_;
    op.commit();
    return headerOffset;
}

}  // namespace kdx2::store::detail
