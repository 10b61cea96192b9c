#include "store/cdx_engine.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::detail {

using namespace base::literals;

// ---------------------------------------------------------------- pages

Node& CdxEngine::rawPage(uint32_t offset) {
    if (Node* cached = cache_.find(offset)) {
        if (cached->kind != Node::Kind::Raw)
            damaged(pageName(offset) + " usada como cabeçalho e como página de árvore"_cp);
        return *cached;
    }
    if (offset % kPageSize != 0 || offset + kPageSize > fileEnd_)
        damaged(pageName(offset) + " fora do arquivo"_cp);
    if (unlockedRead_) lockForDiskRead();
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
    if (unlockedRead_) lockForDiskRead();
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
        if (unlockedRead_) lockForDiskRead();
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

}  // namespace kdx2::store::detail
