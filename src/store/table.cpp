#include "store/table.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <set>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/expr.h"
#include "store/journal.h"
#include "store/locks.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::store {

using namespace base::literals;

namespace {

bool gDeletedFilter = true;

// Records read per block when a whole table is walked (index build, pack).
constexpr size_t kBlockBytes = 1 << 20;
// Appended records gathered before one write: small enough to stay in the
// processor's cache (larger blocks measured slower), large enough to save
// most system calls.
constexpr size_t kAppendBlockBytes = 64 << 10;

// Resolver slots: fields of this table are their index; a field of another
// work area's table is (area << 16) | index.
constexpr int kAreaShift = 16;

}  // namespace

void setDeletedFilter(bool on) {
    gDeletedFilter = on;
}

bool deletedFilter() {
    return gDeletedFilter;
}

// One open order: a tag of an open index file with its compiled key.
struct OpenOrder {
    std::shared_ptr<CdxFile> file;
    std::string filePath;  // drive path
    CdxTag tag;
    Expression key;
    base::Type keyType = base::Type::Character;
    size_t keyLength = 0;
    CdxCursor cursor;
};

class Table::Impl final : public Resolver {
  public:
    Table* owner = nullptr;
    std::string path;
    std::string alias;
    OpenMode mode = OpenMode::Shared;
    platform::File file;
    // Exclusive tables read their records through a view of the file (no
    // system call per record); records beyond it are read with pread.
    platform::File::View view;
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
    bool pendingAppend = false;  // exclusive appends are written on the first move
    bool headerDirty = false;
    bool changed = false;  // something written since open (header date)
    const char* evalBuffer = nullptr;

    bool tableLocked = false;
    std::set<uint32_t> recordLocks;

    std::vector<OpenOrder> orders;
    int order = 0;
    bool cursorOnRecord = false;
    std::function<bool(Table&)> filter;

    // ---- Resolver ----
    std::optional<FieldBinding> bindField(std::string_view aliasName,
                                          std::string_view name) const override {
        if (aliasName.empty() || base::equalsIgnoreCase(aliasName, alias)) {
            const int index = fieldIndex(name);
            if (index < 0) return std::nullopt;
            const FieldDef& f = layout.fields[static_cast<size_t>(index)];
            return FieldBinding{index, f.type, f.width, f.decimals};
        }
        const int area = workAreas().slotOf(aliasName);
        const Table* other = area ? workAreas().table(area) : nullptr;
        if (!other) return std::nullopt;
        const int index = other->fieldIndex(name);
        if (index < 0) return std::nullopt;
        const FieldDef& f = other->structure()[static_cast<size_t>(index)];
        return FieldBinding{(area << kAreaShift) | index, f.type, f.width, f.decimals};
    }
    base::Value field(int slot) const override {
        if (slot >> kAreaShift) {
            const Table* other = workAreas().table(slot >> kAreaShift);
            if (!other) return base::Value();
            return other->get(slot & ((1 << kAreaShift) - 1));
        }
        const FieldDef& f = layout.fields[static_cast<size_t>(slot)];
        if (!evalBuffer) {
            const_cast<Impl*>(this)->ensureLoaded();
            return dbf::decodeField(f, record.data() + layout.offsets[static_cast<size_t>(slot)]);
        }
        return dbf::decodeField(f, evalBuffer + layout.offsets[static_cast<size_t>(slot)]);
    }
    std::vector<const base::NamedValues*> variableStores() const override {
        return {&base::session()};
    }
    bool deleted() const override {
        if (evalBuffer) return evalBuffer[0] == dbf::kDeleted;
        const_cast<Impl*>(this)->ensureLoaded();
        return record[0] == dbf::kDeleted;
    }
    uint32_t recordNumber() const override { return recno; }

    // ---- Basics ----
    int fieldIndex(std::string_view name) const {
        const auto found = fieldsByName.find(base::asciiUpper(base::alltrim(name)));
        return found == fieldsByName.end() ? -1 : found->second;
    }
    int requireField(std::string_view name) const {
        const int index = fieldIndex(name);
        if (index < 0)
            throw base::Error("O campo "_cp + std::string(name) + " não existe na tabela "_cp +
                              path + ".");
        return index;
    }
    void indexFields() {
        fieldsByName.clear();
        for (size_t i = 0; i < layout.fields.size(); ++i)
            fieldsByName[layout.fields[i].name] = static_cast<int>(i);
    }
    bool shared() const { return mode == OpenMode::Shared; }
    void requireOpen() const {
        if (!file.isOpen()) throw base::Error("A tabela "_cp + path + " está fechada."_cp);
    }
    void requireExclusive(const std::string& what) const {
        if (shared()) throw base::Error(what + " " + path + " exige uso exclusivo da tabela."_cp);
    }

    uint32_t refreshCount() {
        if (shared() && !pendingAppend) {
            const dbf::Header header = dbf::readHeader(file);
            // Records appended by others exist in the file before the header counts them.
            if (header.recordCount > count &&
                layout.recordOffset(header.recordCount + 1) <= file.size())
                count = header.recordCount;
        }
        return count;
    }

    // ---- Record buffer ----
    void ensureLoaded() {
        if (loaded) return;
        record.resize(layout.header.recordLength);
        if (atEof || recno < 1 || recno > count) {
            std::fill(record.begin(), record.end(), ' ');
        } else if (const uint64_t at = layout.recordOffset(recno);
                   at + record.size() <= view.size()) {
            std::memcpy(record.data(), view.data() + at, record.size());
        } else {
            if (!appendBuffer.empty() && recno >= bufferedFirst) drainAppends();
            const size_t got =
                file.readAt(layout.recordOffset(recno), record.data(), record.size());
            if (got != record.size())
                throw base::Error("O registro "_cp + std::to_string(recno) + " de "_cp + path +
                                  " está incompleto (arquivo truncado)."_cp);
        }
        loaded = true;
    }

    // Keeps the record as it was before a change, for the index update.
    void beforeChange() {
        if (!dirty && !pendingAppend) original = record;
    }

    // Maps the records on disk (exclusive tables only: a shared table may be
    // changed by others in ways a view must not see half of).
    void mapRecords() {
        view = {};
        // Never beyond the file's end: reading there through a view faults.
        if (!shared() && count > 0)
            view = file.view(std::min(layout.recordOffset(count + 1), file.size()));
    }

    void drainAppends() {
        if (appendBuffer.empty()) return;
        const uint32_t written =
            static_cast<uint32_t>(appendBuffer.size() / layout.header.recordLength);
        // The end-of-file byte travels with the last record.
        appendBuffer.push_back(dbf::kEndOfFile);
        try {
            file.writeAt(layout.recordOffset(bufferedFirst), appendBuffer.data(),
                         appendBuffer.size());
            // The count follows the records at once, so the header never
            // lags behind what the file holds when the program is stopped.
            writeCount(bufferedFirst - 1 + written);
        } catch (...) {
            // Records the header does not count are not there for anyone.
            dropBufferedAppends();
            throw;
        }
        appendBuffer.clear();
    }

    // Records that never reached the file, or that its header could not be
    // made to count, are forgotten: the count goes back to what the header
    // says and their index entries go, so nothing ever counts or points at
    // them.
    void dropBufferedAppends() {
        appendBuffer.pop_back();  // the end-of-file byte
        const size_t length = layout.header.recordLength;
        const uint32_t dropped = static_cast<uint32_t>(appendBuffer.size() / length);
        for (uint32_t i = 0; i < dropped; ++i)
            for (OpenOrder& o : orders) {
                try {
                    o.tag.remove(keyOf(o, appendBuffer.data() + size_t(i) * length),
                                 bufferedFirst + i);
                } catch (const base::Error&) {
                    // A damaged index is rebuilt anyway.
                }
            }
        appendBuffer.clear();
        count = bufferedFirst - 1;
        headerDirty = true;
        if (recno > count) {
            pendingAppend = false;
            dirty = false;
            placeEof();
        }
        try {
            const uint64_t end = layout.recordOffset(count + 1);
            file.truncate(end);
            const char eof = dbf::kEndOfFile;
            file.writeAt(end, &eof, 1);
            writeCount(count);
        } catch (const base::Error&) {
            // The header written at close counts only the records on disk.
        }
    }

    // Exclusive tables: the record count (and date) of the header on disk.
    void writeCount(uint32_t records) {
        layout.header.recordCount = records;
        layout.header.lastUpdate = base::Date::today();
        char block[dbf::kHeaderSize];
        dbf::encodeHeaderBlock(layout.header, block);
        file.writeAt(0, block, 8);  // version, date and count
    }

    std::string keyOf(const OpenOrder& o, const char* buffer) {
        const char* saved = evalBuffer;
        evalBuffer = buffer;
        base::Value value;
        try {
            value = o.key.evaluate(*this);
        } catch (...) {
            evalBuffer = saved;
            throw;
        }
        evalBuffer = saved;
        if (value.type() != o.keyType)
            throw base::Error("A chave "_cp + o.key.text() + " do índice "_cp + o.filePath +
                              " mudou de tipo."_cp);
        return cdxKey(value, o.keyLength);
    }

    // Writes the buffered record and updates the indexes of changed keys.
    void writeRecord() {
        if (!dirty && !pendingAppend) return;
        for (OpenOrder& o : orders) {
            const std::string newKey = keyOf(o, record.data());
            if (pendingAppend) {
                o.tag.insert(newKey, recno);
            } else {
                const std::string oldKey = keyOf(o, original.data());
                if (oldKey != newKey) o.tag.update(oldKey, newKey, recno);
            }
        }
        if (pendingAppend && !shared()) {
            if (appendBuffer.empty()) bufferedFirst = recno;
            appendBuffer.insert(appendBuffer.end(), record.begin(), record.end());
            if (appendBuffer.size() >= kAppendBlockBytes) drainAppends();
        } else {
            if (!appendBuffer.empty() && recno >= bufferedFirst) drainAppends();
            file.writeAt(layout.recordOffset(recno), record.data(), record.size());
        }
        dirty = false;
        pendingAppend = false;
        changed = true;
    }

    void writeHeader() {
        if (shared()) {
            if (!changed) return;
            file.lock(kHeaderLock, 1, platform::LockKind::Exclusive, platform::LockWait::Yes);
            try {
                dbf::Header header = dbf::readHeader(file);
                header.lastUpdate = base::Date::today();
                header.productionIndex = layout.header.productionIndex;
                char block[dbf::kHeaderSize];
                dbf::encodeHeaderBlock(header, block);
                file.writeAt(0, block, 4);  // version and date only: others own the count
                file.writeAt(28, block + 28, 1);
            } catch (...) {
                file.unlock(kHeaderLock, 1);
                throw;
            }
            file.unlock(kHeaderLock, 1);
            changed = false;
            return;
        }
        if (!headerDirty && !changed) return;
        layout.header.recordCount = count;
        layout.header.lastUpdate = base::Date::today();
        char block[dbf::kHeaderSize];
        dbf::encodeHeaderBlock(layout.header, block);
        file.writeAt(0, block, sizeof block);
        headerDirty = false;
        changed = false;
    }

    // ---- Positioning ----
    void leaveRecord() {
        // Only a written change can move the record's index entries. Otherwise
        // the cursor stays on the entry it came by: seeking the record again
        // by its key would land elsewhere when the key disagrees with the
        // index (a damaged table or index), and a walk would never end.
        if (dirty || pendingAppend) cursorOnRecord = false;
        writeRecord();
    }
    void place(uint32_t n) {
        recno = n;
        atEof = false;
        loaded = false;
    }
    void placeEof() {
        recno = count + 1;
        atEof = true;
        loaded = false;
        cursorOnRecord = false;
    }
    bool visible() {
        ensureLoaded();
        if (gDeletedFilter && record[0] == dbf::kDeleted) return false;
        return !filter || filter(*owner);
    }
    bool landOn(uint32_t n) {
        if (n > count) refreshCount();
        if (n < 1 || n > count) return false;
        place(n);
        return visible();
    }

    OpenOrder* controlling() {
        return order > 0 ? &orders[static_cast<size_t>(order - 1)] : nullptr;
    }

    // Stands on the cursor's record when it is visible.
    bool landOnCursor(OpenOrder& o) {
        if (o.cursor.eof()) return false;
        if (!landOn(o.cursor.recno())) return false;
        cursorOnRecord = true;
        return true;
    }

    // Places the controlling cursor on the current record's entry; false
    // when the index does not hold it (then the cursor is on the entry after).
    bool syncCursor(OpenOrder& o) {
        if (cursorOnRecord && o.cursor.recno() == recno && !o.cursor.eof()) return true;
        ensureLoaded();
        const std::string key = keyOf(o, record.data());
        const bool there =
            o.cursor.seekEntry(key, recno) && o.cursor.recno() == recno && o.cursor.key() == key;
        cursorOnRecord = there;
        return there;
    }

    void goTop() {
        requireOpen();
        leaveRecord();
        refreshCount();
        atBof = false;
        if (OpenOrder* o = controlling()) {
            bool on = o->cursor.first();
            while (on && !landOnCursor(*o))
                on = o->cursor.next();
            if (!on) markEmpty();
            return;
        }
        for (uint32_t n = 1; n <= count; ++n)
            if (landOn(n)) return;
        markEmpty();
    }
    void markEmpty() {
        placeEof();
        atBof = true;
    }

    void goBottom() {
        requireOpen();
        leaveRecord();
        refreshCount();
        atBof = false;
        if (OpenOrder* o = controlling()) {
            bool on = o->cursor.last();
            while (on && !landOnCursor(*o))
                on = o->cursor.previous();
            if (!on) markEmpty();
            return;
        }
        for (uint32_t n = count; n >= 1; --n)
            if (landOn(n)) return;
        markEmpty();
    }

    void goTo(uint32_t n) {
        requireOpen();
        leaveRecord();
        atBof = false;
        if (n > count) refreshCount();
        if (n < 1 || n > count) {
            placeEof();
            return;
        }
        place(n);
    }

    bool stepForward() {
        if (atEof) return false;
        if (OpenOrder* o = controlling()) {
            bool on = syncCursor(*o) ? o->cursor.next() : !o->cursor.eof();
            while (on && !landOnCursor(*o))
                on = o->cursor.next();
            if (!on) placeEof();
            return on;
        }
        for (uint32_t n = recno + 1;; ++n) {
            if (n > count && n > refreshCount()) break;
            if (landOn(n)) return true;
        }
        placeEof();
        return false;
    }

    bool stepBackward() {
        if (atEof) {
            goBottom();
            if (atEof) atBof = true;
            return !atEof;
        }
        bool on = false;
        if (OpenOrder* o = controlling()) {
            syncCursor(*o);
            on = o->cursor.previous();
            while (on && !landOnCursor(*o))
                on = o->cursor.previous();
        } else {
            for (uint32_t n = recno; n-- > 1;)
                if (landOn(n)) {
                    on = true;
                    break;
                }
        }
        if (!on) {
            // Before the first record: xBase stays on the first visible one.
            goTop();
            atBof = true;
        }
        return on;
    }

    void skip(long steps) {
        requireOpen();
        leaveRecord();
        atBof = false;
        if (steps == 0) {
            loaded = false;  // re-read: another copy may have changed it
            return;
        }
        if (steps > 0) {
            for (long i = 0; i < steps; ++i)
                if (!stepForward()) return;
        } else {
            for (long i = 0; i < -steps; ++i)
                if (!stepBackward()) return;
        }
    }

    std::string seekBytes(const OpenOrder& o, const base::Value& key) const {
        if (key.type() != o.keyType)
            throw base::Error("O tipo da chave procurada não confere com o índice "_cp +
                              o.filePath + ".");
        if (o.keyType == base::Type::Character) {
            std::string text = key.text();
            // Blanks beyond the key length cannot make a difference.
            if (text.size() > o.keyLength) {
                const std::string tail = text.substr(o.keyLength);
                if (tail.find_first_not_of(' ') == std::string::npos) text.resize(o.keyLength);
            }
            return text;
        }
        return cdxKey(key, o.keyLength);
    }

    bool seek(const base::Value& key, bool soft) {
        requireOpen();
        leaveRecord();
        atBof = false;
        OpenOrder* o = controlling();
        if (!o) throw base::Error("A tabela "_cp + path + " não tem índice ativo para a busca."_cp);
        const std::string bytes = seekBytes(*o, key);
        const bool tooLong = bytes.size() > o->keyLength;
        bool on = o->cursor.seek(tooLong ? bytes.substr(0, o->keyLength) : bytes);
        while (on && !landOnCursor(*o))
            on = o->cursor.next();
        if (!on) {
            placeEof();
            wasFound = false;
            return false;
        }
        wasFound = !tooLong && o->cursor.key().compare(0, bytes.size(), bytes) == 0;
        if (!wasFound && !soft) placeEof();
        return wasFound;
    }

    // ---- Fields ----
    base::Value get(int index) const {
        if (index < 0 || index >= static_cast<int>(layout.fields.size()))
            throw base::Error("Campo inexistente na tabela "_cp + path + ".");
        const_cast<Impl*>(this)->ensureLoaded();
        return dbf::decodeField(layout.fields[static_cast<size_t>(index)],
                                record.data() + layout.offsets[static_cast<size_t>(index)]);
    }

    void requireRecord() {
        requireOpen();
        if (atEof || recno < 1)
            throw base::Error("Não há registro corrente na tabela "_cp + path +
                              " (fim do arquivo)."_cp);
        ensureLoaded();
    }

    void put(int index, const base::Value& value) {
        requireRecord();
        if (index < 0 || index >= static_cast<int>(layout.fields.size()))
            throw base::Error("Campo inexistente na tabela "_cp + path + ".");
        const FieldDef& f = layout.fields[static_cast<size_t>(index)];
        beforeChange();
        dbf::encodeField(f, value, record.data() + layout.offsets[static_cast<size_t>(index)],
                         path);
        dirty = true;
    }

    void setFlag(char flag) {
        requireRecord();
        if (record[0] == flag) return;
        beforeChange();
        record[0] = flag;
        dirty = true;
    }

    // ---- Locks ----
    bool lockRecord(uint32_t n) {
        requireOpen();
        if (!shared() || tableLocked || recordLocks.count(n)) return true;
        if (n < 1) return false;
        if (!file.lock(recordLockOffset(n), 1, platform::LockKind::Exclusive,
                       platform::LockWait::No))
            return false;
        recordLocks.insert(n);
        // What we change from now on must start from what is on disk.
        if (n == recno && !dirty && !pendingAppend) loaded = false;
        return true;
    }
    bool lockTable() {
        requireOpen();
        if (!shared() || tableLocked) return true;
        if (!file.lock(kTableLockStart, kTableLockLength, platform::LockKind::Exclusive,
                       platform::LockWait::No))
            return false;
        tableLocked = true;
        if (!dirty && !pendingAppend) loaded = false;
        return true;
    }
    void unlock() {
        requireOpen();
        writeRecord();
        if (!shared()) return;
        if (tableLocked || !recordLocks.empty()) file.unlock(kTableLockStart, kTableLockLength);
        tableLocked = false;
        recordLocks.clear();
    }

    // ---- Append ----
    bool append() {
        requireOpen();
        leaveRecord();
        atBof = false;
        if (!shared()) {
            ++count;
            headerDirty = true;
            place(count);
            record.assign(layout.header.recordLength, ' ');
            loaded = true;
            pendingAppend = true;
            return true;
        }
        file.lock(kHeaderLock, 1, platform::LockKind::Exclusive, platform::LockWait::Yes);
        uint32_t n = 0;
        try {
            dbf::Header header = dbf::readHeader(file);
            n = header.recordCount + 1;
            if (!tableLocked && !file.lock(recordLockOffset(n), 1, platform::LockKind::Exclusive,
                                           platform::LockWait::No)) {
                file.unlock(kHeaderLock, 1);
                return false;  // another copy holds the table lock
            }
            std::vector<char> blank = dbf::blankRecord(layout);
            blank.push_back(dbf::kEndOfFile);
            file.writeAt(layout.recordOffset(n), blank.data(), blank.size());
            header.recordCount = n;
            header.lastUpdate = base::Date::today();
            char block[dbf::kHeaderSize];
            dbf::encodeHeaderBlock(header, block);
            file.writeAt(0, block, 8);  // version, date and count
        } catch (...) {
            file.unlock(kHeaderLock, 1);
            throw;
        }
        file.unlock(kHeaderLock, 1);
        if (!tableLocked) recordLocks.insert(n);
        count = n;
        place(n);
        record = dbf::blankRecord(layout);
        loaded = true;
        for (OpenOrder& o : orders)
            o.tag.insert(keyOf(o, record.data()), n);
        return true;
    }

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

    void flush() {
        requireOpen();
        writeRecord();
        drainAppends();
        if (!shared() && layout.recordOffset(count + 1) > view.size()) mapRecords();
        writeHeader();
        for (OpenOrder& o : orders)
            o.file->flush();
    }

    void sync() {
        flush();
        file.sync();
        for (OpenOrder& o : orders)
            o.file->sync();
    }

    void close() {
        if (!file.isOpen()) return;
        try {
            flush();
        } catch (...) {
            closeFiles();
            throw;
        }
        closeFiles();
    }
    void closeFiles() {
        for (OpenOrder& o : orders)
            if (o.file->isOpen()) {
                try {
                    o.file->close();
                } catch (...) {
                }
            }
        orders.clear();
        order = 0;
        appendBuffer.clear();
        view = {};
        file.close();
        tableLocked = false;
        recordLocks.clear();
    }

    // ---- Indexes ----
    void addOrders(const std::string& cdxPath, std::shared_ptr<CdxFile> cdx) {
        const bool hadOrders = !orders.empty();
        for (const CdxTagInfo& info : cdx->tags()) {
            OpenOrder o;
            o.file = cdx;
            o.filePath = cdxPath;
            o.key = Expression::compile(info.keyExpression, *this);
            const ResultInfo result = o.key.describe(*this);
            o.keyType = result.type;
            o.keyLength = result.type == base::Type::Character ? result.length : info.keyLength;
            if (o.keyLength != info.keyLength)
                throw base::Error("O índice "_cp + info.name + " de "_cp + cdxPath +
                                  " não confere com a tabela "_cp + path +
                                  " (tamanho da chave)."_cp);
            o.tag = cdx->tag(info.name, o.keyType);
            o.cursor = o.tag.cursor();
            orders.push_back(std::move(o));
        }
        if (!hadOrders && !orders.empty()) order = 1;
    }

    void openIndex(const std::string& rawPath) {
        requireOpen();
        writeRecord();
        const std::string cdxPath = indexPathOf(rawPath);
        if (!platform::fileExists(cdxPath))
            throw base::Error("O índice "_cp + cdxPath + " não existe."_cp);
        // Messages name the file by its drive path, the one the user knows.
        auto cdx = std::make_shared<CdxFile>(CdxFile::open(
            platform::hostPath(cdxPath), CdxFile::Access::ReadWrite,
            shared() ? CdxFile::Sharing::Shared : CdxFile::Sharing::Exclusive, cdxPath));
        addOrders(cdxPath, std::move(cdx));
    }

    struct TagSpec {
        std::string name;
        std::string expression;
    };

    // Builds the index file with the given tags over every record, beside
    // its final name, and renames it into place.
    void buildIndexFile(const std::string& cdxPath, const std::vector<TagSpec>& tags) {
        struct Built {
            CdxTagDefinition definition;
            CdxKeyList keys;
        };
        std::vector<Built> built;
        for (const TagSpec& wanted : tags) {
            Expression key = Expression::compile(wanted.expression, *this);
            const ResultInfo result = key.describe(*this);
            size_t length = result.length;
            if (result.type != base::Type::Character) length = result.length;
            if (length < 1 || length > kCdxMaxKeyLength)
                throw base::Error("A chave "_cp + wanted.expression + " do índice "_cp + cdxPath +
                                  " tem tamanho inválido ("_cp + std::to_string(length) + ").");
            Built b{CdxTagDefinition{wanted.name, wanted.expression, "", false},
                    CdxKeyList(length, result.type)};
            b.keys.reserve(count);
            const char* saved = evalBuffer;
            try {
                walkRecords([&](uint32_t n, const char* bytes) {
                    evalBuffer = bytes;
                    const uint32_t savedRecno = recno;
                    recno = n;  // RECNO() in a key
                    base::Value value = key.evaluate(*this);
                    recno = savedRecno;
                    if (value.type() != result.type)
                        throw base::Error("A chave "_cp + wanted.expression + " mudou de tipo."_cp);
                    b.keys.add(cdxKey(value, length), n);
                });
            } catch (...) {
                evalBuffer = saved;
                throw;
            }
            evalBuffer = saved;
            built.push_back(std::move(b));
        }
        const std::string temp = tempPathBeside(cdxPath, 'X');
        try {
            CdxFile out = CdxFile::create(platform::hostPath(temp), CdxFile::Sharing::Exclusive,
                                          platform::absolutePath(temp));
            for (const Built& b : built)
                out.addTag(b.definition, b.keys);
            out.close();
            platform::renameFile(temp, cdxPath);
        } catch (...) {
            try {
                platform::removeFile(temp);
            } catch (...) {
            }
            throw;
        }
    }

    void markProductionIndex(const std::string& cdxPath) {
        if (!base::equalsIgnoreCase(platform::baseNameOf(cdxPath), platform::baseNameOf(path)))
            return;
        if (layout.header.productionIndex) return;
        layout.header.productionIndex = true;
        headerDirty = true;
        changed = true;
        writeHeader();
    }

    void createIndex(const std::string& rawPath, const std::string& expression) {
        requireOpen();
        writeRecord();
        refreshCount();
        const std::string cdxPath = indexPathOf(rawPath);
        const int previousOrder = order;
        // An open copy of the file is replaced by the new one.
        closeIndexFile(cdxPath);
        buildIndexFile(cdxPath, {{base::asciiUpper(platform::baseNameOf(cdxPath)), expression}});
        markProductionIndex(cdxPath);
        openIndex(cdxPath);
        if (previousOrder > 0 && previousOrder <= static_cast<int>(orders.size()))
            order = previousOrder;
        cursorOnRecord = false;
    }

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

    void closeIndexFile(const std::string& cdxPath) {
        dropOrders([&](const OpenOrder& o) { return base::equalsIgnoreCase(o.filePath, cdxPath); });
    }

    void rebuildIndexFile(const std::string& rawPath) {
        requireOpen();
        writeRecord();
        refreshCount();
        const std::string cdxPath = indexPathOf(rawPath);
        std::vector<TagSpec> tags;
        {
            CdxFile existing = CdxFile::open(
                platform::hostPath(cdxPath), CdxFile::Access::ReadOnly,
                shared() ? CdxFile::Sharing::Shared : CdxFile::Sharing::Exclusive, cdxPath);
            for (const CdxTagInfo& info : existing.tags())
                tags.push_back({info.name, info.keyExpression});
        }
        const bool wasOpen = std::any_of(orders.begin(), orders.end(), [&](const OpenOrder& o) {
            return base::equalsIgnoreCase(o.filePath, cdxPath);
        });
        const int previousOrder = order;
        closeIndexFile(cdxPath);
        buildIndexFile(cdxPath, tags);
        if (wasOpen) {
            openIndex(cdxPath);
            if (previousOrder > 0 && previousOrder <= static_cast<int>(orders.size()))
                order = previousOrder;
        }
        cursorOnRecord = false;
    }

    void closeIndexes() {
        writeRecord();
        dropOrders([](const OpenOrder&) { return true; });
    }

    // ---- Rewrites (pack, zap, structure change) ----
    void rewrite(const Structure& fields, bool keepRecords) {
        requireOpen();
        requireExclusive(keepRecords ? "A reconstrução de"_cp : "O esvaziamento de"_cp);
        writeRecord();
        drainAppends();
        dbf::validateStructure(fields, path);
        dbf::Layout target = dbf::layoutOf(fields);
        target.header.productionIndex = layout.header.productionIndex;
        const bool sameLayout = fields == layout.fields;

        // Old field index of each new field, when it can be carried over.
        std::vector<int> source(fields.size(), -1);
        for (size_t i = 0; i < fields.size(); ++i) {
            const int old = fieldIndex(fields[i].name);
            if (old >= 0 && layout.fields[static_cast<size_t>(old)].type == fields[i].type)
                source[i] = old;
        }

        // Index files to rebuild, each with its tags, in the open order.
        std::vector<std::pair<std::string, std::vector<TagSpec>>> indexFiles;
        for (const OpenOrder& o : orders) {
            if (indexFiles.empty() || !base::equalsIgnoreCase(indexFiles.back().first, o.filePath))
                indexFiles.push_back({o.filePath, {}});
            indexFiles.back().second.push_back({o.tag.name(), o.key.text()});
        }
        const int savedOrder = order;

        const std::string temp = tempPathBeside(path, 'P');
        platform::File out;
        uint32_t written = 0;
        try {
            out = platform::createFile(temp);
            // Ours from the start: a copy that opens the table by its name once
            // it is renamed into place must wait for us.
            out.lock(kOpenLock, 1, platform::LockKind::Exclusive, platform::LockWait::No);
            const std::vector<char> header = dbf::encodeHeader(target);
            out.writeAt(0, header.data(), header.size());
            std::vector<char> buffer;
            buffer.reserve(kBlockBytes + target.header.recordLength);
            uint64_t at = target.header.headerLength;
            auto drain = [&] {
                out.writeAt(at, buffer.data(), buffer.size());
                at += buffer.size();
                buffer.clear();
            };
            if (keepRecords) {
                std::vector<char> converted(target.header.recordLength);
                walkRecords([&](uint32_t, const char* bytes) {
                    if (bytes[0] == dbf::kDeleted) return;
                    if (sameLayout) {
                        buffer.insert(buffer.end(), bytes, bytes + layout.header.recordLength);
                    } else {
                        std::fill(converted.begin(), converted.end(), ' ');
                        for (size_t i = 0; i < fields.size(); ++i) {
                            if (source[i] < 0) continue;
                            const size_t old = static_cast<size_t>(source[i]);
                            const base::Value value =
                                dbf::decodeField(layout.fields[old], bytes + layout.offsets[old]);
                            const FieldDef& was = layout.fields[old];
                            if (was.width == fields[i].width && was.decimals == fields[i].decimals)
                                std::memcpy(converted.data() + target.offsets[i],
                                            bytes + layout.offsets[old],
                                            static_cast<size_t>(was.width));
                            else
                                dbf::encodeField(fields[i], value,
                                                 converted.data() + target.offsets[i], path);
                        }
                        buffer.insert(buffer.end(), converted.begin(), converted.end());
                    }
                    ++written;
                    if (buffer.size() >= kBlockBytes) drain();
                });
            }
            buffer.push_back(dbf::kEndOfFile);
            drain();
            target.header.recordCount = written;
            char block[dbf::kHeaderSize];
            dbf::encodeHeaderBlock(target.header, block);
            out.writeAt(0, block, sizeof block);
            out.sync();
        } catch (...) {
            // The first error is the one to report; the new file goes.
            try {
                out.close();
            } catch (...) {
            }
            try {
                platform::removeFile(temp);
            } catch (...) {
            }
            throw;
        }

        // The old indexes describe old record numbers: they go before the new
        // table takes the name, so a crash in between leaves a table whose
        // missing indexes are rebuilt at the next open.
        try {
            dropOrders([](const OpenOrder&) { return true; });
        } catch (const base::Error&) {
            // Those files are removed and built anew just below.
        }
        try {
            for (const auto& [cdxPath, tags] : indexFiles)
                platform::removeFile(cdxPath);
            platform::renameFile(temp, path);
        } catch (...) {
            // The first error is the one to report; the new file goes.
            try {
                out.close();
            } catch (...) {
            }
            try {
                platform::removeFile(temp);
            } catch (...) {
            }
            throw;
        }
        view = {};
        file = std::move(out);
        layout = target;
        indexFields();
        count = written;
        mapRecords();
        headerDirty = false;
        changed = false;
        tableLocked = false;
        recordLocks.clear();
        placeEof();
        for (const auto& [cdxPath, tags] : indexFiles) {
            buildIndexFile(cdxPath, tags);
            openIndex(cdxPath);
        }
        order = std::min(savedOrder, static_cast<int>(orders.size()));
        goTop();
    }

    std::string indexPathOf(const std::string& rawPath) const {
        std::string cdxPath = platform::absolutePath(rawPath);
        if (!platform::hasExtension(cdxPath)) cdxPath += ".cdx";
        return cdxPath;
    }
};

// ---------------------------------------------------------------------------

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
    impl_->owner = this;
}

Table::~Table() {
    try {
        impl_->close();
    } catch (...) {
    }
}

namespace {

// The table's file, opened and marked as open in `mode`. A table being
// replaced (a pack renames a new file over the name) may be opened just
// before the rename and locked just after: such an open holds a file nobody
// will see again, so it opens the name again.
platform::File openTableFile(const std::string& path, OpenMode mode) {
    const bool exclusive = mode == OpenMode::Exclusive;
    constexpr int kTries = 10;
    for (int attempt = 1;; ++attempt) {
        platform::File file = platform::openFile(path, platform::File::Mode::ReadWrite);
        if (!file.lock(kOpenLock, 1,
                       exclusive ? platform::LockKind::Exclusive : platform::LockKind::Shared,
                       platform::LockWait::No))
            break;
        if (file.isAt(platform::hostPath(path))) return file;
        if (attempt == kTries) break;
    }
    throw InUseError(base::asciiUpper(platform::fileNameOf(path)) +
                     " não está disponível: em uso "_cp +
                     (exclusive ? "por outra estação."_cp : "exclusivo por outra estação."_cp));
}

}  // namespace

std::unique_ptr<Table> Table::open(const std::string& rawPath, OpenMode mode, std::string alias) {
    std::string path = platform::absolutePath(rawPath);
    if (!platform::hasExtension(path)) path += ".DBF";
    if (!platform::fileExists(path)) throw base::Error("Arquivo "_cp + path + " não existe!"_cp);
    const bool exclusive = mode == OpenMode::Exclusive;
    // A shared open cannot finish what a stopped program left: it takes the
    // tables for that first, or refuses to show half of a change.
    if (!exclusive) finishInterruptedWork(path, nullptr);
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->mode = mode;
    impl->file = openTableFile(path, mode);
    impl->layout = dbf::readLayout(impl->file);
    impl->count = impl->layout.header.recordCount;
    if (exclusive) impl->mapRecords();
    impl->indexFields();
    impl->alias = base::asciiUpper(alias.empty() ? platform::baseNameOf(path) : alias);
    std::unique_ptr<Table> table(new Table(std::move(impl)));
    if (exclusive) finishInterruptedWork(path, table.get());
    table->impl_->goTop();
    return table;
}

void Table::create(const std::string& rawPath, const Structure& structure) {
    std::string path = platform::absolutePath(rawPath);
    if (!platform::hasExtension(path)) path += ".DBF";
    dbf::validateStructure(structure, path);
    const dbf::Layout layout = dbf::layoutOf(structure);
    std::vector<char> bytes = dbf::encodeHeader(layout);
    bytes.push_back(dbf::kEndOfFile);
    const std::string temp = tempPathBeside(path, 'N');
    try {
        platform::File out = platform::createFile(temp);
        out.writeAt(0, bytes.data(), bytes.size());
        out.sync();
        out.close();
        platform::renameFile(temp, path);
    } catch (...) {
        try {
            platform::removeFile(temp);
        } catch (...) {
        }
        throw;
    }
}

void Table::close() {
    impl_->close();
}
bool Table::isOpen() const {
    return impl_->file.isOpen();
}
const std::string& Table::path() const {
    return impl_->path;
}
const std::string& Table::alias() const {
    return impl_->alias;
}
bool Table::exclusive() const {
    return impl_->mode == OpenMode::Exclusive;
}
const Structure& Table::structure() const {
    return impl_->layout.fields;
}
int Table::fieldIndex(std::string_view name) const {
    return impl_->fieldIndex(name);
}

uint32_t Table::recCount() {
    impl_->requireOpen();
    return impl_->refreshCount();
}
uint32_t Table::recNo() const {
    return impl_->recno;
}
bool Table::eof() const {
    return impl_->atEof;
}
bool Table::bof() const {
    return impl_->atBof;
}
bool Table::found() const {
    return impl_->wasFound;
}
void Table::goTop() {
    impl_->goTop();
}
void Table::goBottom() {
    impl_->goBottom();
}
void Table::goTo(uint32_t recno) {
    impl_->goTo(recno);
}
void Table::skip(long count) {
    impl_->skip(count);
}
bool Table::seek(const base::Value& key, bool soft) {
    return impl_->seek(key, soft);
}
void Table::setFilter(std::function<bool(Table&)> filter) {
    impl_->filter = std::move(filter);
}

base::Value Table::get(std::string_view name) const {
    return impl_->get(impl_->requireField(name));
}
base::Value Table::get(int fieldIndex) const {
    return impl_->get(fieldIndex);
}
void Table::put(std::string_view name, const base::Value& value) {
    impl_->put(impl_->requireField(name), value);
}
void Table::put(int fieldIndex, const base::Value& value) {
    impl_->put(fieldIndex, value);
}
bool Table::deleted() const {
    if (impl_->atEof) return false;
    impl_->ensureLoaded();
    return impl_->record[0] == dbf::kDeleted;
}
void Table::deleteRecord() {
    impl_->setFlag(dbf::kDeleted);
}
void Table::recall() {
    impl_->setFlag(dbf::kLive);
}

base::NamedValues Table::toValues() const {
    base::NamedValues values;
    for (size_t i = 0; i < impl_->layout.fields.size(); ++i)
        values.set(impl_->layout.fields[i].name, impl_->get(static_cast<int>(i)));
    return values;
}

void Table::fromValues(const base::NamedValues& values) {
    for (size_t i = 0; i < impl_->layout.fields.size(); ++i) {
        const std::string& name = impl_->layout.fields[i].name;
        if (values.has(name)) impl_->put(static_cast<int>(i), values.get(name));
    }
}

void Table::copyFieldsFrom(const Table& source) {
    const Structure& theirs = source.structure();
    for (size_t i = 0; i < theirs.size(); ++i) {
        const int mine = impl_->fieldIndex(theirs[i].name);
        if (mine < 0 || impl_->layout.fields[static_cast<size_t>(mine)].type != theirs[i].type)
            continue;
        impl_->put(mine, source.get(static_cast<int>(i)));
    }
}

bool Table::append() {
    return impl_->append();
}

bool Table::lockRecord() {
    if (impl_->atEof) return false;
    return impl_->lockRecord(impl_->recno);
}
bool Table::lockRecord(uint32_t recno) {
    return impl_->lockRecord(recno);
}
bool Table::lockTable() {
    return impl_->lockTable();
}
bool Table::isRecordLocked(uint32_t recno) const {
    return !impl_->shared() || impl_->tableLocked || impl_->recordLocks.count(recno) > 0;
}
bool Table::hasTableLock() const {
    return !impl_->shared() || impl_->tableLocked;
}
void Table::unlock() {
    impl_->unlock();
}
void Table::flush() {
    impl_->flush();
}

void Table::sync() {
    impl_->sync();
}

void Table::dropUncountedRecords() {
    Impl& impl = *impl_;
    impl.requireOpen();
    impl.requireExclusive("O acerto do tamanho de"_cp);
    impl.flush();
    const uint64_t end = impl.layout.recordOffset(impl.count + 1);
    if (impl.file.size() <= end + 1) return;
    impl.view = {};
    impl.file.truncate(end);
    const char eof = dbf::kEndOfFile;
    impl.file.writeAt(end, &eof, 1);
    impl.mapRecords();
}

void Table::pack() {
    impl_->rewrite(impl_->layout.fields, true);
}
void Table::zap() {
    impl_->rewrite(impl_->layout.fields, false);
}
void Table::restructure(const Structure& structure) {
    impl_->rewrite(structure, true);
}

void Table::openIndex(const std::string& path) {
    impl_->openIndex(path);
    impl_->cursorOnRecord = false;
}
void Table::createIndex(const std::string& path, const std::string& keyExpression) {
    impl_->createIndex(path, keyExpression);
}
void Table::closeIndexes() {
    impl_->closeIndexes();
}
void Table::rebuildIndexFile(const std::string& path) {
    impl_->rebuildIndexFile(path);
}
int Table::indexCount() const {
    return static_cast<int>(impl_->orders.size());
}
void Table::setOrder(int order) {
    if (order < 0 || order > indexCount())
        throw base::Error("Ordem "_cp + std::to_string(order) + " inexistente na tabela "_cp +
                          impl_->path + ".");
    impl_->writeRecord();
    impl_->order = order;
    impl_->cursorOnRecord = false;
}
bool Table::setOrder(std::string_view tagName) {
    for (size_t i = 0; i < impl_->orders.size(); ++i)
        if (base::equalsIgnoreCase(impl_->orders[i].tag.name(), base::alltrim(tagName))) {
            setOrder(static_cast<int>(i) + 1);
            return true;
        }
    return false;
}
int Table::order() const {
    return impl_->order;
}
std::string Table::indexPath(int order) const {
    if (order < 1 || order > indexCount()) return "";
    return impl_->orders[static_cast<size_t>(order - 1)].filePath;
}
std::string Table::indexKeyExpression(int order) const {
    if (order < 1 || order > indexCount()) return "";
    return impl_->orders[static_cast<size_t>(order - 1)].key.text();
}

const Resolver& Table::resolver() const {
    return *impl_;
}
base::Value Table::currentKey() const {
    const OpenOrder* o =
        impl_->order > 0 ? &impl_->orders[static_cast<size_t>(impl_->order - 1)] : nullptr;
    if (!o) return base::Value();
    impl_->ensureLoaded();
    const std::string key = impl_->keyOf(*o, impl_->record.data());
    return cdxKeyValue(key, o->keyType);
}

// Both walks list the record numbers first, from the index under one read
// lock (no record is read for that), then visit the live ones: a visitor may
// change any field, the key included, without disturbing the walk.
void Table::forEachKey(const base::Value& key, const std::function<bool(Table&)>& visit) {
    Impl& impl = *impl_;
    impl.requireOpen();
    impl.leaveRecord();
    OpenOrder* o = impl.controlling();
    if (!o)
        throw base::Error("A tabela "_cp + impl.path + " não tem índice ativo para a busca."_cp);
    const std::string bytes = impl.seekBytes(*o, key);
    std::vector<uint32_t> rows;
    {
        CdxFile::ReadLock lock(*o->file);
        for (bool on = o->cursor.seek(bytes);
             on && o->cursor.key().compare(0, bytes.size(), bytes) == 0; on = o->cursor.next())
            rows.push_back(o->cursor.recno());
    }
    impl.cursorOnRecord = false;
    visitRows(rows, visit);
}

void Table::forEach(const std::function<bool(Table&)>& visit) {
    Impl& impl = *impl_;
    impl.requireOpen();
    impl.leaveRecord();
    std::vector<uint32_t> rows;
    if (OpenOrder* o = impl.controlling()) {
        CdxFile::ReadLock lock(*o->file);
        for (bool on = o->cursor.first(); on; on = o->cursor.next())
            rows.push_back(o->cursor.recno());
        impl.cursorOnRecord = false;
    } else {
        const uint32_t count = impl.refreshCount();
        rows.reserve(count);
        for (uint32_t n = 1; n <= count; ++n)
            rows.push_back(n);
    }
    visitRows(rows, visit);
}

void Table::visitRows(const std::vector<uint32_t>& rows, const std::function<bool(Table&)>& visit) {
    for (uint32_t n : rows) {
        goTo(n);
        if (eof() || !impl_->visible()) continue;
        if (!visit(*this)) break;
    }
}

uint32_t appendFrom(Table& dest, Table& source) {
    uint32_t appended = 0;
    source.forEach([&](Table& row) {
        if (!dest.append())
            throw base::Error("Não foi possível incluir registros em "_cp + dest.path() +
                              ": a tabela está bloqueada por outra estação."_cp);
        dest.copyFieldsFrom(row);
        dest.unlock();
        ++appended;
        return true;
    });
    return appended;
}

}  // namespace kdx2::store
