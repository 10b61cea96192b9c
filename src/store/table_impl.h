#pragma once

// The state of one open table and the operations behind Table, private to
// the store: each concern (records, positioning, fields, locks, indexes,
// rewrites) is defined in its own table_*.cpp.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp850.h"
#include "platform/file.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/expr.h"
#include "store/table.h"

namespace kdx2::store {

using namespace base::literals;

// Records read per block when a whole table is walked (index build, pack).
inline constexpr size_t kBlockBytes = 1 << 20;
// Appended records gathered before one write: small enough to stay in the
// processor's cache (larger blocks measured slower), large enough to save
// most system calls.
inline constexpr size_t kAppendBlockBytes = 64 << 10;

// Resolver slots: fields of this table are their index; a field of another
// work area's table is (area << 16) | index.
inline constexpr int kAreaShift = 16;

// One open order: a tag of an open index file with its compiled key.
struct OpenOrder {
    std::shared_ptr<CdxFile> file;
    std::string filePath;  // drive path
    CdxTag tag;
    Expression key;
    base::Type keyType = base::Type::Character;
    size_t keyLength = 0;
    // Records for which it is false have no entry (an empty condition: all).
    std::optional<Expression> condition;
    bool descending = false;      // read from the tree's last entry to its first
    CdxTagDefinition definition;  // to build the tag again as it was
    CdxCursor cursor;
    // The character field the key is, when the key expression names just
    // that field: its stored bytes are the key, with no evaluation.
    int plainField = -1;
};

class Table::Impl final : public Resolver {
  public:
    Table* owner = nullptr;
    std::string path;
    std::string alias;
    OpenMode mode = OpenMode::Shared;
    platform::File file;
    // Records are read through a view of the file (no system call per
    // record): always for an exclusive table, for a shared one on a local
    // disk, where every copy's writes reach the same pages and no copy ever
    // shortens a table it shares. Records beyond the view are read with
    // pread until they are worth mapping again.
    platform::File::View view;
    bool localDisk = false;
    dbf::Layout layout;
    std::map<std::string, int, std::less<>> fieldsByName;
    uint32_t count = 0;  // record count as last read or written

    uint32_t recno = 0;
    bool atEof = true;
    bool atBof = false;
    bool wasFound = false;
    std::vector<char> record;
    std::vector<char> original;  // the record before its first change, for the keys to replace
    // Records appended to an exclusive table, written in one go (the file is
    // ours alone, so nobody else needs to see them before a flush).
    std::vector<char> appendBuffer;
    uint32_t bufferedFirst = 0;  // record number of the first buffered record
    bool loaded = false;
    bool dirty = false;
    bool pendingAppend = false;  // appended: written, with its index entries, on the first move
    bool headerDirty = false;
    bool changed = false;       // something written since open (header date)
    bool writeThrough = false;  // appends are not gathered (see Table::setWriteThrough)
    const char* evalBuffer = nullptr;

    bool tableLocked = false;
    std::set<uint32_t> recordLocks;

    std::vector<OpenOrder> orders;
    int order = 0;
    bool cursorOnRecord = false;
    std::function<bool(Table&)> filter;

    // ---- Resolver ----
    std::optional<FieldBinding> bindField(std::string_view aliasName,
                                          std::string_view name) const override;
    base::Value field(int slot) const override;
    std::vector<const base::NamedValues*> variableStores() const override;
    bool deleted() const override;
    uint32_t recordNumber() const override { return recno; }

    // ---- Basics ----
    int fieldIndex(std::string_view name) const;
    int requireField(std::string_view name) const;
    void indexFields();
    bool shared() const { return mode == OpenMode::Shared; }
    void requireOpen() const;
    void requireExclusive(const std::string& what) const;

    uint32_t refreshCount();
    // The header as the disk holds it now (from the view when there is one).
    dbf::Header headerOnDisk() const;

    // ---- Record buffer ----
    void ensureLoaded();

    // Keeps the record as it was before a change, for the index update.
    void beforeChange() {
        if (!dirty && !pendingAppend) original = record;
    }

    // Maps the records on disk (see `view`).
    void mapRecords();
    // Whether the bytes up to `end` can be read through the view, mapping
    // again first when that is worth it.
    bool inView(uint64_t end);

    void drainAppends();

    // Records that never reached the file, or that its header could not be
    // made to count, are forgotten: the count goes back to what the header
    // says and their index entries go, so nothing ever counts or points at
    // them.
    void dropBufferedAppends();

    // Exclusive tables: the record count (and date) of the header on disk.
    void writeCount(uint32_t records);

    std::string keyOf(const OpenOrder& o, const char* buffer);
    // The character field an expression of this table's keys names and
    // nothing else, or -1: such a key is the field's bytes as stored.
    int plainCharacterField(const std::string& keyExpression) const;
    // Whether the record in `buffer` belongs in the order (its FOR condition).
    bool holds(const OpenOrder& o, const char* buffer);
    // Keeps an order's entry of the current record in step with a change.
    void updateEntry(OpenOrder& o);

    // Writes the buffered record and updates the indexes of changed keys.
    void writeRecord();

    void writeHeader();

    // ---- Positioning ----
    void leaveRecord();
    void place(uint32_t n) {
        recno = n;
        atEof = false;
        loaded = false;
    }
    void placeEof();
    bool visible();
    bool landOn(uint32_t n);

    OpenOrder* controlling() {
        return order > 0 ? &orders[static_cast<size_t>(order - 1)] : nullptr;
    }

    // Cursor moves in the order's reading order (reversed for descending tags).
    static bool orderFirst(OpenOrder& o) {
        return o.descending ? o.cursor.last() : o.cursor.first();
    }
    static bool orderLast(OpenOrder& o) {
        return o.descending ? o.cursor.first() : o.cursor.last();
    }
    static bool orderNext(OpenOrder& o);
    static bool orderPrevious(OpenOrder& o);
    // The first entry, in reading order, whose key starts with `prefix`, or
    // else the one that follows where it would be; false at the end.
    static bool orderSeek(OpenOrder& o, std::string_view prefix);

    // Stands on the cursor's record when it is visible.
    bool landOnCursor(OpenOrder& o);

    // Places the controlling cursor on the current record's entry; false
    // when the index does not hold it (then the cursor is on the entry after).
    bool syncCursor(OpenOrder& o);

    void goTop();
    void markEmpty();

    void goBottom();

    void goTo(uint32_t n);

    bool stepForward();

    bool stepBackward();

    void skip(long steps);

    std::string seekBytes(const OpenOrder& o, const base::Value& key) const;

    bool seek(const base::Value& key, bool soft);

    // ---- Fields ----
    base::Value get(int index) const;

    void requireRecord();

    void put(int index, const base::Value& value);

    void setFlag(char flag);

    // ---- Locks ----
    bool lockRecord(uint32_t n);
    bool lockTable();
    void unlock();

    // ---- Append ----
    bool append();

    // ---- Whole-table walks ----
    // Calls visit(recno, bytes) for every record in file order, read in blocks.
    template <typename Visit>
    void walkRecords(Visit&& visit) {
        drainAppends();
        const size_t length = layout.header.recordLength;
        if (!shared() && count > 0) {
            if (layout.recordOffset(count + 1) > view.size()) mapRecords();
            if (layout.recordOffset(count + 1) <= view.size()) {
                for (uint32_t n = 1; n <= count; ++n)
                    visit(n, view.data() + layout.recordOffset(n));
                return;
            }
        }
        const uint32_t perBlock = static_cast<uint32_t>(std::max<size_t>(1, kBlockBytes / length));
        std::vector<char> block(static_cast<size_t>(perBlock) * length);
        for (uint32_t first = 1; first <= count; first += perBlock) {
            const uint32_t n = std::min(perBlock, count - first + 1);
            file.readExact(layout.recordOffset(first), block.data(), size_t(n) * length);
            for (uint32_t i = 0; i < n; ++i)
                visit(first + i, block.data() + size_t(i) * length);
        }
    }

    void flush();

    void sync();

    void close();
    void closeFiles();

    // ---- Indexes ----
    void addOrders(const std::string& cdxPath, std::shared_ptr<CdxFile> cdx);

    void openIndex(const std::string& rawPath);

    using TagSpec = CdxTagDefinition;

    // Builds the index file with the given tags over every record, beside
    // its final name, and renames it into place.
    void buildIndexFile(const std::string& cdxPath, const std::vector<TagSpec>& tags,
                        Replace how = Replace::Durable);

    void markProductionIndex(const std::string& cdxPath);

    void createIndex(const std::string& rawPath, const std::string& expression, Replace how);

    // Closes the index files of these orders and drops the orders, all of
    // them even when closing one reports an error (the first is thrown): an
    // order is never left on a closed file.
    template <typename Which>
    void dropOrders(Which&& which) {
        std::exception_ptr firstError;
        std::vector<OpenOrder> kept;
        for (OpenOrder& o : orders) {
            if (!which(o)) {
                kept.push_back(std::move(o));
                continue;
            }
            try {
                if (o.file->isOpen()) o.file->close();
            } catch (...) {
                if (!firstError) firstError = std::current_exception();
            }
        }
        orders = std::move(kept);
        if (order > static_cast<int>(orders.size())) order = orders.empty() ? 0 : 1;
        cursorOnRecord = false;
        if (firstError) std::rethrow_exception(firstError);
    }

    void closeIndexFile(const std::string& cdxPath);

    void rebuildIndexFile(const std::string& rawPath);

    void closeIndexes();

    // ---- Rewrites (pack, zap, structure change) ----
    void rewrite(const Structure& fields, bool keepRecords);

    std::string indexPathOf(const std::string& rawPath) const;
    std::string newIndexPathOf(const std::string& rawPath) const;
};

}  // namespace kdx2::store
