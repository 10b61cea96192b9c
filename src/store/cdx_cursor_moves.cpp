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
    return read([&]() -> bool {
        const TagRef tag = resolve(cursor.tag_);
        const auto p = forward(tag, Position{leftmostLeaf(tag), 0});
        place(cursor, tag, p);
        cursor.bof_ = !p;
        return p.has_value();
    });
}

bool CdxEngine::last(CdxCursor& cursor) {
    return read([&]() -> bool {
        const TagRef tag = resolve(cursor.tag_);
        const uint32_t leaf = rightmostLeaf(tag);
        const auto p =
            backward(tag, Position{leaf, static_cast<uint32_t>(treePage(leaf, tag).count())});
        place(cursor, tag, p);
        cursor.bof_ = !p;
        return p.has_value();
    });
}

bool CdxEngine::seek(CdxCursor& cursor, std::string_view prefix) {
    return read([&]() -> bool {
        const TagRef tag = resolve(cursor.tag_);
        const auto p = forward(tag, lowerBound(tag, PrefixBefore{prefix}));
        place(cursor, tag, p);
        cursor.bof_ = false;
        return p.has_value();
    });
}

bool CdxEngine::seekEntry(CdxCursor& cursor, std::string_view key, uint32_t recno) {
    return read([&]() -> bool {
        const TagRef tag = resolve(cursor.tag_);
        const std::string padded = padKey(key, tag);
        const auto p = forward(tag, lowerBound(tag, EntryBefore{padded, recno}));
        place(cursor, tag, p);
        cursor.bof_ = false;
        return p.has_value();
    });
}

bool CdxEngine::next(CdxCursor& cursor) {
    return read([&]() -> bool {
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
            damaged("chaves fora de ordem ou laço entre páginas irmãs ("_cp + pageName(p->leaf) +
                    ")");
        return p.has_value();
    });
}

bool CdxEngine::previous(CdxCursor& cursor) {
    // One step back from the end is the last key.
    if (cursor.eof_) return last(cursor);
    return read([&]() -> bool {
        const TagRef tag = resolve(cursor.tag_);
        bool exact = false;
        const auto current = currentPosition(tag, cursor, exact);
        const auto p = backward(tag, *current);
        if (p) {
            const std::string previousKey = cursor.key_;
            const uint32_t previousRecno = cursor.recno_;
            place(cursor, tag, p);
            cursor.bof_ = false;
            if (compareEntries(cursor.key_, cursor.recno_, previousKey, previousRecno) >= 0)
                damaged("chaves fora de ordem ou laço entre páginas irmãs ("_cp +
                        pageName(p->leaf) + ")");
            return true;
        }
        // Nothing before: stay on the first entry (the current one, or what
        // now stands where it stood).
        place(cursor, tag, forward(tag, *current));
        cursor.bof_ = true;
        return false;
    });
}

}  // namespace kdx2::store::detail
