#pragma once

// Internal to the compound index engine: the page cache, the locks and the
// B-tree operations behind CdxFile, CdxTag and CdxCursor.

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file.h"
#include "store/cdx.h"
#include "store/cdx_page.h"

namespace kdx2::store::detail {

// A tag as the tree operations see it; the directory is the tag whose header
// is the file header.
struct TagRef {
    uint32_t header = 0;
    uint16_t keyLength = 0;
    uint8_t fill = 0x20;
    bool unique = false;
};

// A slot in a leaf; slot == count means "after this leaf's last entry".
// `node`, when set, is the cached leaf: valid only until the cache changes,
// so within the operation that found it.
struct Position {
    uint32_t leaf = 0;
    uint32_t slot = 0;
    const Node* node = nullptr;
};

class CdxEngine {
  public:
    CdxEngine(platform::File file, bool readOnly, bool shared);
    CdxEngine(const CdxEngine&) = delete;
    CdxEngine& operator=(const CdxEngine&) = delete;
    ~CdxEngine();

    // Writes the header, empty pool and empty directory of a new file.
    void initializeNewFile();
    // Checks the header and the tag directory of an opened file; the tags
    // themselves are checked when used, so that check() can list what is
    // wrong with each.
    void validateOpenedFile();

    bool isOpen() const { return file_.isOpen(); }
    const std::string& path() const { return path_; }
    bool readOnly() const { return readOnly_; }
    bool shared() const { return shared_; }
    uint32_t counter() const { return counter_; }
    uint64_t generation() const { return generation_; }
    uint64_t directoryGeneration() const { return directoryGeneration_; }

    void flush();
    void syncFile() { file_.sync(); }
    void close();

    void beginRead();
    void endRead();
    void beginWrite();
    void endWrite();

    // Lets reads of a shared file be answered from the cached pages without
    // the index lock when the change counter on disk shows that nobody
    // changed the file since they were read. Only for files on a local
    // disk: a network file system may answer an unlocked read from a stale
    // copy of its own.
    // There the change counter is also read through a view of the header
    // page, kept in step with every other copy's writes by the system: no
    // system call for it on an unlocked read or a lock.
    void allowCachedReads(bool allow);

    // ---- Tags ----
    std::vector<CdxTagInfo> tags();
    std::optional<uint32_t> findTagHeader(std::string_view name);
    std::optional<CdxTagInfo> findTag(std::string_view name);
    CdxTagInfo tagInfo(uint32_t header);
    uint32_t addTag(const CdxTagDefinition& definition, const CdxKeyList& keys);
    static CdxKeyList sortedForTag(const CdxKeyList& keys, bool unique);
    bool dropTag(std::string_view name);
    // The tag a handle names, found again when the directory changed.
    TagRef resolve(const CdxTag& tag);

    // ---- Entries ----
    bool insert(const CdxTag& tag, std::string_view key, uint32_t recno);
    bool remove(const CdxTag& tag, std::string_view key, uint32_t recno);
    void update(const CdxTag& tag, std::string_view oldKey, std::string_view newKey,
                uint32_t recno);
    std::vector<CdxEntry> entries(const CdxTag& tag);

    // ---- Cursors ----
    bool first(CdxCursor& cursor);
    bool last(CdxCursor& cursor);
    bool seek(CdxCursor& cursor, std::string_view prefix);
    bool seekEntry(CdxCursor& cursor, std::string_view key, uint32_t recno);
    bool next(CdxCursor& cursor);
    bool previous(CdxCursor& cursor);

    CdxCheckResult check(const std::map<std::string, base::Type>& keyTypes);

    // Throws the message for a damaged file. The first damage seen also
    // stops every later write to the file, so that nothing is built on it.
    [[noreturn]] void damaged(const std::string& problem);
    // The message that tells the user the file must be rebuilt.
    std::string damageMessage(const std::string& problem) const;

  private:
    friend class WriteOperation;
    friend class CdxChecker;
    struct PathStep {
        uint32_t node;
        uint32_t index;
    };
    struct Undo {
        uint32_t offset;
        std::unique_ptr<Node> before;  // null: the page was not cached before
    };

    void requireOpen() const;
    // Starts a read without the lock when the cache can answer it (see
    // allowCachedReads); false when the read must take the lock.
    bool beginCachedRead();
    // A page the cache lacks is about to be read from the disk: the lock is
    // taken, and the read starts again (StaleRead) when the file changed
    // since the counter was compared.
    void lockForDiskRead();
    struct StaleRead {};
    // Runs one read operation, from the cache alone when it can.
    template <class Body>
    auto read(Body body);
    void refreshFromDisk();
    // The change counter as the disk holds it now; nullopt when the file is
    // too short to hold one.
    std::optional<uint32_t> diskCounter() const;
    void lockAndRefresh(platform::LockKind kind);
    void dropCache();
    void trimCache();
    void writeDirtyPages();

    // Transactions make each change all-or-nothing in memory: a page that
    // turns out damaged half way through leaves the cache as it was.
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction();
    Node& touch(Node& node);
    Node& newNode(uint32_t offset);

    Node& rawPage(uint32_t offset);
    Node& treePage(uint32_t offset, const TagRef& tag);
    uint32_t allocatePage();
    // The next link of a page this engine freed, or nullopt when the page
    // does not look like one.
    std::optional<uint32_t> freePageLink(uint32_t offset);
    void freePage(Node& node);

    TagRef directory() const;
    TagRef tagAt(uint32_t header);
    uint32_t rootOf(const TagRef& tag);
    void setRoot(const TagRef& tag, uint32_t root);
    std::string directoryKey(std::string_view name) const;

    template <class Before>
    Node& descend(const TagRef& tag, Before before, std::vector<PathStep>* path);
    template <class Before>
    Position lowerBound(const TagRef& tag, Before before);
    std::optional<Position> forward(const TagRef& tag, Position p);
    std::optional<Position> backward(const TagRef& tag, Position p);
    uint32_t leftmostLeaf(const TagRef& tag);
    uint32_t rightmostLeaf(const TagRef& tag);

    bool insertEntry(const TagRef& tag, std::string_view key, uint32_t recno);
    bool removeEntry(const TagRef& tag, std::string_view key, uint32_t recno);
    void insertIntoLeaf(Node& leaf, size_t slot, std::string_view key, uint32_t recno);
    void eraseFromLeaf(Node& leaf, size_t slot);
    // Joins a nearly empty leaf with a neighbour under the same parent when
    // one page holds both; false when it did not.
    bool joinWithNeighbour(const TagRef& tag, std::vector<PathStep> path, Node& leaf);
    std::vector<uint32_t> splitLeaf(const TagRef& tag, Node& leaf, bool appending);
    std::vector<uint32_t> splitInterior(const TagRef& tag, Node& node, bool appending);
    Node& addSiblingAfter(const TagRef& tag, Node& node, Node::Kind kind);
    void replaceInParents(const TagRef& tag, const std::vector<PathStep>& path,
                          std::vector<uint32_t> pieces);
    void collapseRoot(const TagRef& tag);
    void unlinkAndFree(const TagRef& tag, Node& node);
    std::vector<CdxEntry> allEntries(const TagRef& tag);
    bool dropTagInternal(std::string_view name);
    void collectTreePages(const TagRef& tag, std::vector<uint32_t>& pages);

    void place(CdxCursor& cursor, const TagRef& tag, std::optional<Position> p);
    std::optional<Position> currentPosition(const TagRef& tag, CdxCursor& cursor, bool& exact);

    platform::File file_;
    std::string path_;
    bool readOnly_;
    bool shared_;
    bool damaged_ = false;
    std::string damage_;  // the first problem seen
    uint32_t counter_ = 0;
    uint64_t diskSize_ = 0;
    uint64_t fileEnd_ = 0;  // logical end: pages allocated but not yet written count
    uint64_t generation_ = 1;
    uint64_t directoryGeneration_ = 1;
    int readDepth_ = 0;
    int writeDepth_ = 0;
    bool cachedReads_ = false;
    bool unlockedRead_ = false;  // the read under way holds no lock: every page came from the cache
    platform::File::View headerView_;  // the header page, on a local disk

    PageCache cache_;
    std::vector<uint32_t> dirty_;

    int transactionDepth_ = 0;
    uint64_t transaction_ = 0;
    uint64_t transactionFileEnd_ = 0;
    bool transactionChanged_ = false;
    std::vector<Undo> undo_;
};

template <class Body>
auto CdxEngine::read(Body body) {
    if (beginCachedRead()) {
        try {
            auto result = body();
            endRead();
            return result;
        } catch (const StaleRead&) {
            endRead();  // read again below, under the lock
        } catch (...) {
            endRead();
            throw;
        }
    }
    beginRead();
    try {
        auto result = body();
        endRead();
        return result;
    } catch (...) {
        endRead();
        throw;
    }
}

// Write lock + transaction for one public change; rolled back unless committed.
class WriteOperation {
  public:
    explicit WriteOperation(CdxEngine& engine);
    WriteOperation(const WriteOperation&) = delete;
    WriteOperation& operator=(const WriteOperation&) = delete;
    ~WriteOperation();
    void commit();

  private:
    CdxEngine& engine_;
    bool done_ = false;
};

class ReadOperation {
  public:
    explicit ReadOperation(CdxEngine& engine) : engine_(engine) { engine_.beginRead(); }
    ReadOperation(const ReadOperation&) = delete;
    ReadOperation& operator=(const ReadOperation&) = delete;
    ~ReadOperation() { engine_.endRead(); }

  private:
    CdxEngine& engine_;
};

}  // namespace kdx2::store::detail
