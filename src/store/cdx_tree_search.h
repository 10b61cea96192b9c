#pragma once

// Searching a tag's tree: the orderings a search descends by and the descent
// itself, shared by the directory, the changes and the cursor moves.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp850.h"
#include "store/cdx_engine.h"

namespace kdx2::store::detail {

// Deeper than any sound tree can be (two entries per interior page at worst).
inline constexpr int kMaxDepth = 64;

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
inline size_t lowerSlot(const Node& node, Before before) {
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

inline std::string padKey(std::string_view key, const TagRef& tag) {
    std::string k(key.substr(0, tag.keyLength));
    k.resize(tag.keyLength, static_cast<char>(tag.fill));
    return k;
}

template <class Before>
Node& CdxEngine::descend(const TagRef& tag, Before before, std::vector<PathStep>* path) {
    using namespace base::literals;
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

}  // namespace kdx2::store::detail
