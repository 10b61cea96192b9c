// The integrity check of a compound index file. Unlike the tree operations,
// which stop at the first damaged page, it walks every page it can reach,
// decodes each from its bytes (so that a page cached under another key type
// is judged afresh), and lists in Portuguese every problem it finds.

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "base/cp850.h"
#include "base/error.h"
#include "store/cdx_engine.h"

namespace kdx2::store::detail {

using namespace base::literals;

namespace {

// Beyond this many problems in one tree the rest are only counted: a
// broken page can make hundreds of others disagree with it.
constexpr size_t kProblemsListedPerTree = 20;
// Deeper than any sound tree can be.
constexpr int kMaxDepth = 64;

std::string trimmedName(std::string_view key) {
    std::string name(key);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
    return name;
}

}  // namespace

class CdxChecker {
  public:
    CdxChecker(CdxEngine& engine, const std::map<std::string, base::Type>& keyTypes)
        : engine_(engine), keyTypes_(keyTypes), fileEnd_(engine.fileEnd_) {}

    CdxCheckResult run() {
        try {
            ReadOperation op(engine_);
            fileEnd_ = engine_.fileEnd_;
            checkFile();
        } catch (const base::Error& error) {
            // Reading failed (the file vanished, an I/O error, the lock).
            result_.problems.push_back(error.what());
        }
        if (!result_.problems.empty() && !engine_.damaged_) {
            engine_.damaged_ = true;
            engine_.damage_ = result_.problems.front();
        }
        return std::move(result_);
    }

  private:
    // One tree: the tag directory or a tag.
    struct Tree {
        std::string label;  // how problems are introduced
        std::string owner;  // how its pages are named when another user finds them
        TagRef tag;
        std::vector<std::string> problems;
        std::vector<CdxEntry> entries;
        struct Link {
            uint32_t offset;
            uint32_t left;
            uint32_t right;
            bool known;  // false: the page did not decode
        };
        std::vector<std::vector<Link>> levels;  // pages of each depth, left to right
        int leafDepth = -1;

        void problem(const std::string& text) { problems.push_back(text); }
    };

    void checkFile() {
        const uint64_t diskSize = engine_.file_.size();
        if (diskSize % kPageSize != 0)
            result_.problems.push_back("Tamanho do arquivo ("_cp + std::to_string(diskSize) +
                                       " bytes) não é múltiplo de 512: arquivo truncado."_cp);
        uint8_t header[kPageSize];
        if (fileEnd_ < 2 * kPageSize || !image(kDirectoryHeader, header)) {
            result_.problems.push_back("Arquivo menor que o cabeçalho."_cp);
            return;
        }
        const HeaderFields fields = readHeader(header);
        if (auto problem = headerProblem(fields, true, fileEnd_); !problem.empty()) {
            result_.problems.push_back("Cabeçalho do arquivo: "_cp + problem + ".");
            return;
        }
        owners_[kDirectoryHeader] = owners_[kPageSize] = "pelo cabeçalho do arquivo"_cp;

        Tree directory;
        directory.label = "Diretório de ordens"_cp;
        directory.owner = "pelo diretório de ordens"_cp;
        directory.tag = engine_.directory();
        walkTree(directory, fields.root);
        std::vector<std::pair<uint32_t, std::string>> tags;
        for (const CdxEntry& entry : directory.entries)
            tags.emplace_back(entry.recno, trimmedName(entry.key));
        report(directory);
        std::sort(tags.begin(), tags.end());

        // Every tag header is claimed before any tree is walked, so that a
        // tree reaching into a header is caught whatever the order.
        std::vector<bool> headerSound;
        for (const auto& [offset, name] : tags)
            headerSound.push_back(claimHeader(offset, name));
        for (size_t i = 0; i < tags.size(); ++i) {
            const auto& [offset, name] = tags[i];
            Tree tree;
            tree.label = "Ordem "_cp + name;
            tree.owner = "pela ordem "_cp + name;
            if (headerSound[i]) checkTag(tree, offset, name);
            result_.tags.push_back({name, std::move(tree.entries)});
            report(tree);
        }
        checkFreeList(fields.freeList);
    }

    bool claimHeader(uint32_t offset, const std::string& name) {
        const std::string label = "Ordem "_cp + name;
        if (auto problem = pageOffsetProblem(offset, fileEnd_);
            !problem.empty() || offset + 2 * kPageSize > fileEnd_) {
            result_.problems.push_back(label + ": cabeçalho na "_cp + pageName(offset) +
                                       " fora do arquivo."_cp);
            return false;
        }
        for (uint32_t page : {offset, offset + kPageSize}) {
            if (auto it = owners_.find(page); it != owners_.end()) {
                result_.problems.push_back(label + ": cabeçalho na "_cp + pageName(page) +
                                           ", já usada "_cp + it->second + ".");
                return false;
            }
        }
        owners_[offset] = owners_[offset + kPageSize] = "pelo cabeçalho da ordem "_cp + name;
        return true;
    }

    void checkTag(Tree& tree, uint32_t headerOffset, const std::string& name) {
        uint8_t header[kPageSize];
        if (!image(headerOffset, header)) {
            tree.problem("cabeçalho ilegível"_cp);
            return;
        }
        const HeaderFields fields = readHeader(header);
        if (auto problem = headerProblem(fields, false, fileEnd_); !problem.empty()) {
            tree.problem("cabeçalho: "_cp + problem);
            return;
        }
        const auto type = keyTypes_.find(name);
        const base::Type keyType = type == keyTypes_.end() ? base::Type::Character : type->second;
        const bool binary = keyType == base::Type::Numeric || keyType == base::Type::Date;
        if ((binary && fields.keyLength != kCdxNumericKeyLength) ||
            (keyType == base::Type::Logical && fields.keyLength != kCdxLogicalKeyLength))
            tree.problem("chave de "_cp + std::to_string(fields.keyLength) +
                         " bytes, que não serve ao tipo da expressão"_cp);
        tree.tag = TagRef{headerOffset, fields.keyLength, cdxFillByte(keyType),
                          (fields.options & kOptionUnique) != 0};
        walkTree(tree, fields.root);
    }

    void walkTree(Tree& tree, uint32_t root) {
        walk(tree, root, 0);
        checkSiblings(tree);
    }

    // Walks the subtree at `offset`; returns its greatest entry.
    std::optional<CdxEntry> walk(Tree& tree, uint32_t offset, int depth) {
        if (depth >= kMaxDepth) {
            tree.problem("árvore com mais de 64 níveis (laço entre páginas)"_cp);
            return std::nullopt;
        }
        if (auto problem = pageOffsetProblem(offset, fileEnd_); !problem.empty()) {
            tree.problem(problem);
            return std::nullopt;
        }
        if (auto it = owners_.find(offset); it != owners_.end()) {
            tree.problem(pageName(offset) + " alcançada de novo, já usada "_cp + it->second);
            return std::nullopt;
        }
        owners_[offset] = tree.owner;
        if (tree.levels.size() <= static_cast<size_t>(depth)) tree.levels.resize(depth + 1);

        uint8_t page[kPageSize];
        Node node;
        node.offset = offset;
        std::string problem = "ilegível"_cp;
        bool leaf = false;
        if (image(offset, page)) {
            leaf = getLe16(page) & kAttrLeaf;
            problem = leaf ? decodeLeaf(page, tree.tag.keyLength, tree.tag.fill, node)
                           : decodeInterior(page, tree.tag.keyLength, node);
        }
        if (!problem.empty()) {
            tree.problem(pageName(offset) + ": " + problem);
            tree.levels[depth].push_back({offset, 0, 0, false});
            return std::nullopt;
        }
        tree.levels[depth].push_back({offset, node.left, node.right, true});
        return leaf ? visitLeaf(tree, node, depth) : visitInterior(tree, node, depth);
    }

    std::optional<CdxEntry> visitLeaf(Tree& tree, const Node& leaf, int depth) {
        if (tree.leafDepth < 0) tree.leafDepth = depth;
        if (tree.leafDepth != depth)
            tree.problem(pageName(leaf.offset) + ": folha fora do nível das outras folhas"_cp);
        for (size_t i = 0; i < leaf.count(); ++i) {
            if (i == 0 && !tree.entries.empty() &&
                compareEntries(tree.entries.back().key, tree.entries.back().recno, leaf.keyAt(0),
                               leaf.recnos[0]) >= 0)
                tree.problem(pageName(leaf.offset) +
                             ": chaves fora de ordem em relação à folha anterior"_cp);
            tree.entries.push_back({std::string(leaf.keyAt(i)), leaf.recnos[i]});
        }
        if (leaf.count() == 0) return std::nullopt;
        return tree.entries.back();
    }

    std::optional<CdxEntry> visitInterior(Tree& tree, const Node& node, int depth) {
        const size_t entriesBefore = tree.entries.size();
        for (size_t i = 0; i < node.count(); ++i) {
            const size_t firstOfChild = tree.entries.size();
            const auto childLast = walk(tree, node.children[i], depth + 1);
            const std::string entry =
                pageName(node.offset) + ", entrada "_cp + std::to_string(i + 1);
            if (i > 0 && tree.entries.size() > firstOfChild &&
                compareEntries(tree.entries[firstOfChild].key, tree.entries[firstOfChild].recno,
                               node.keyAt(i - 1), node.recnos[i - 1]) <= 0)
                tree.problem(entry +
                             ": a página filha tem chaves que não passam da entrada anterior"_cp);
            if (childLast &&
                compareEntries(childLast->key, childLast->recno, node.keyAt(i), node.recnos[i]) > 0)
                tree.problem(entry + ": menor que a última chave da página filha"_cp);
        }
        if (tree.entries.size() == entriesBefore) return std::nullopt;
        return tree.entries.back();
    }

    std::string linkName(uint32_t offset) const {
        if (offset == kNoPage) return "nenhuma";
        std::string name = "na posição "_cp + std::to_string(offset);
        if (!pageOffsetProblem(offset, fileEnd_).empty()) name += ", fora do arquivo"_cp;
        return name;
    }

    void checkSiblings(Tree& tree) {
        for (const auto& level : tree.levels) {
            for (size_t j = 0; j < level.size(); ++j) {
                if (!level[j].known) continue;
                const uint32_t left = j > 0 ? level[j - 1].offset : kNoPage;
                const uint32_t right = j + 1 < level.size() ? level[j + 1].offset : kNoPage;
                if (level[j].left != left)
                    tree.problem(pageName(level[j].offset) + ": irmã à esquerda "_cp +
                                 linkName(level[j].left) + ", deveria ser "_cp + linkName(left));
                if (level[j].right != right)
                    tree.problem(pageName(level[j].offset) + ": irmã à direita "_cp +
                                 linkName(level[j].right) + ", deveria ser "_cp + linkName(right));
            }
        }
    }

    void checkFreeList(uint32_t head) {
        uint64_t budget = fileEnd_ / kPageSize;
        for (uint32_t offset = head; offset != 0 && offset != kNoPage;) {
            const std::string where = "Lista de páginas livres: "_cp;
            if (budget-- == 0) {
                result_.problems.push_back(where + "laço."_cp);
                return;
            }
            if (auto problem = pageOffsetProblem(offset, fileEnd_); !problem.empty()) {
                result_.problems.push_back(where + problem + ".");
                return;
            }
            if (auto it = owners_.find(offset); it != owners_.end()) {
                result_.problems.push_back(where + pageName(offset) + " usada também "_cp +
                                           it->second + ".");
                return;
            }
            owners_[offset] = "pela lista de páginas livres"_cp;
            uint8_t page[kPageSize];
            if (!image(offset, page)) return;
            offset = getLe32(page);
        }
    }

    void report(const Tree& tree) {
        const size_t shown = std::min(tree.problems.size(), kProblemsListedPerTree);
        for (size_t i = 0; i < shown; ++i)
            result_.problems.push_back(tree.label + ": " + tree.problems[i] + ".");
        if (tree.problems.size() > shown)
            result_.problems.push_back(tree.label + ": mais "_cp +
                                       std::to_string(tree.problems.size() - shown) +
                                       " problemas."_cp);
    }

    // The page as the engine would read it: its cached copy (which may hold
    // changes not yet written) or the file's bytes.
    bool image(uint32_t offset, uint8_t* page) {
        if (uint64_t{offset} + kPageSize > fileEnd_) return false;
        if (const Node* cached = engine_.cache_.find(offset)) {
            try {
                encodeNode(*cached, page);
                return true;
            } catch (const std::logic_error&) {
                return false;
            }
        }
        return engine_.file_.readAt(offset, page, kPageSize) == kPageSize;
    }

    CdxEngine& engine_;
    const std::map<std::string, base::Type>& keyTypes_;
    uint64_t fileEnd_;
    std::unordered_map<uint32_t, std::string> owners_;  // page -> what uses it
    CdxCheckResult result_;
};

CdxCheckResult CdxEngine::check(const std::map<std::string, base::Type>& keyTypes) {
    requireOpen();
    return CdxChecker(*this, keyTypes).run();
}

}  // namespace kdx2::store::detail
