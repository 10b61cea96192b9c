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

// ---------------------------------------------------------------- tree walking

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

}  // namespace kdx2::store::detail
