#include "store/cdx_engine.h"
#include "store/cdx_tree_search.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::detail {

using namespace base::literals;

namespace {

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

}  // namespace kdx2::store::detail
