#pragma once

// Compound index files (.cdx): one file holds several named orders ("tags"),
// each a compact B-tree of (key bytes, record number) entries over 512-byte
// pages, readable and writable by the other xBase programs that share the
// data folders.
//
// The engine never evaluates expressions: callers hand it key bytes, built
// with the encoders below (character keys are the raw CP850 bytes, numbers
// and dates an order-preserving 8-byte image). Entries sort by key bytes
// (unsigned), then by record number.
//
// Sharing. A file opened Shared is guarded by the index lock (byte
// 1,000,000,000 of the index file, length 1): shared while reading, exclusive
// while changing. Every operation takes the lock it needs by itself; callers
// that want several operations to see one state (or to write a run of changes
// at once) hold a ReadLock or WriteLock around them. When the write lock is
// released the changed pages are written and the change counter in the file
// header (offset 8, big-endian) goes up by one; taking a lock compares that
// counter with the last one seen and drops the cached pages when another copy
// changed the file. A shared file named by a drive path on a local disk may
// answer a cursor move from its cached pages without the lock, after reading
// the counter and finding it unchanged: a writer raises it with its last
// write, so the cached pages are then the file as it stands; a page missing
// from the cache is read under the lock. A file opened Exclusive takes no
// locks; its changes stay in memory until flush() or close().
//
// Damage. Every page read is checked (offsets, counts, widths, order, loops);
// a damaged or truncated file gives base::Error with a Portuguese message
// naming the file, and never a crash, a hang or a write: once a file was
// found damaged, this handle refuses every change to it and drops the
// changes it had not written yet (the index must be rebuilt). check() walks
// the whole file and lists every problem instead of stopping at the first.
//
// Handles. CdxTag and CdxCursor keep the file's state alive; after
// CdxFile::close() their operations throw base::Error.

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "base/value.h"

namespace kdx2::store {

namespace detail {
class CdxEngine;
}

// ---- Key encodings ----

// Longest key a tag may have.
inline constexpr size_t kCdxMaxKeyLength = 240;
// Numeric and date keys are always 8 bytes, logical keys 1.
inline constexpr size_t kCdxNumericKeyLength = 8;
inline constexpr size_t kCdxLogicalKeyLength = 1;

// The byte that pads a key of this type (and that the leaf pages leave out):
// blank for character keys, 0x00 for the binary ones.
uint8_t cdxFillByte(base::Type keyType);

// Character key: the CP850 bytes blank-padded (or cut) to keyLength.
std::string cdxCharacterKey(std::string_view cp850, size_t keyLength);
// Numeric key: big-endian IEEE double with the sign bit flipped for
// non-negative values and every bit inverted for negative ones, so that byte
// order is numeric order; -0 is stored as 0.
std::string cdxNumericKey(double value);
// Date key: the Julian day number as a numeric key; the empty date is 0.
std::string cdxDateKey(base::Date date);
// Logical key: "T" or "F".
std::string cdxLogicalKey(bool value);
// The key of a value of any type (character values padded to keyLength; the
// other types ignore it).
std::string cdxKey(const base::Value& value, size_t keyLength);

// Decoders; a key of the wrong length throws base::Error.
double cdxNumericValue(std::string_view key);
base::Date cdxDateValue(std::string_view key);
bool cdxLogicalValue(std::string_view key);
// The value a key stands for (character keys are returned as stored).
base::Value cdxKeyValue(std::string_view key, base::Type keyType);

// ---- Entries and tag descriptions ----

struct CdxEntry {
    std::string key;  // exactly the tag's key length
    uint32_t recno = 0;
    bool operator==(const CdxEntry&) const = default;
};

// Keys for building a tag in one pass, added in any order.
class CdxKeyList {
  public:
    explicit CdxKeyList(size_t keyLength, base::Type keyType = base::Type::Character);

    size_t keyLength() const { return keyLength_; }
    base::Type keyType() const { return keyType_; }
    size_t size() const { return recnos_.size(); }
    void reserve(size_t count);
    // A shorter key is padded with the fill byte, a longer one cut.
    void add(std::string_view key, uint32_t recno);

    std::string_view keyAt(size_t i) const {
        return std::string_view(keys_).substr(i * keyLength_, keyLength_);
    }
    uint32_t recnoAt(size_t i) const { return recnos_[i]; }

  private:
    size_t keyLength_;
    base::Type keyType_;
    std::string keys_;  // size() keys of keyLength_ bytes, back to back
    std::vector<uint32_t> recnos_;
};

struct CdxTagDefinition {
    std::string name;           // 1 to 10 characters; stored upper-case
    std::string keyExpression;  // stored as typed, for other programs and for callers
    std::string forExpression;  // empty: the tag has no FOR condition
    bool unique = false;        // one entry per distinct key (the lowest record number)
    // Read from the last entry to the first. The entries are kept in
    // ascending order in the tree, as for any tag; only readers reverse them.
    bool descending = false;
};

struct CdxTagInfo {
    std::string name;  // upper-case, without padding
    std::string keyExpression;
    std::string forExpression;
    uint16_t keyLength = 0;
    bool unique = false;
    bool hasFor = false;
    bool descending = false;  // the tree is ascending; the order is read from its end
};

// ---- Integrity check ----

struct CdxTagContents {
    std::string name;
    std::vector<CdxEntry> entries;  // every readable entry, in the order the leaves hold them
};

struct CdxCheckResult {
    // One Portuguese (CP850) sentence per problem found; empty when the file is sound.
    std::vector<std::string> problems;
    std::vector<CdxTagContents> tags;  // in creation order
    bool ok() const { return problems.empty(); }
};

class CdxCursor;
class CdxTag;

// ---- The file ----

class CdxFile {
  public:
    enum class Access { ReadOnly, ReadWrite };
    enum class Sharing { Exclusive, Shared };

    // `name` is how messages name the file (the drive path the user knows);
    // empty: the host path.
    //
    // Creates (or empties) a compound file with no tags.
    static CdxFile create(const std::string& hostPath, Sharing sharing = Sharing::Exclusive,
                          const std::string& name = "");
    // Opens an existing file and checks its header and tag directory.
    static CdxFile open(const std::string& hostPath, Access access, Sharing sharing,
                        const std::string& name = "");

    CdxFile() = default;
    CdxFile(CdxFile&&) noexcept = default;
    CdxFile& operator=(CdxFile&&) noexcept;
    ~CdxFile();  // close(), errors swallowed: call close() to see them

    bool isOpen() const;
    const std::string& path() const;
    Access access() const;
    Sharing sharing() const;

    // Writes changed pages and bumps the change counter (no-op when clean).
    void flush();
    // flush(), then waits until the file is on the disk.
    void sync();
    void close();

    // Index locks (no-ops for an Exclusive file apart from bookkeeping). They
    // nest; beginWrite() inside a read lock of this object is refused
    // (std::logic_error): upgrading would deadlock two copies that both try.
    void beginRead();
    void endRead();
    void beginWrite();  // base::Error on a ReadOnly file
    void endWrite();    // writes the changed pages, then unlocks

    class ReadLock {
      public:
        explicit ReadLock(CdxFile& file) : file_(file) { file_.beginRead(); }
        ~ReadLock() { file_.endRead(); }
        ReadLock(const ReadLock&) = delete;
        ReadLock& operator=(const ReadLock&) = delete;

      private:
        CdxFile& file_;
    };
    // Releasing writes the changes; a failure there is thrown, unless the
    // lock goes because of another exception, which is then the one seen.
    class WriteLock {
      public:
        explicit WriteLock(CdxFile& file) : file_(file), exceptions_(std::uncaught_exceptions()) {
            file_.beginWrite();
        }
        ~WriteLock() noexcept(false) {
            if (std::uncaught_exceptions() == exceptions_) {
                file_.endWrite();
                return;
            }
            try {
                file_.endWrite();
            } catch (...) {
            }
        }
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;

      private:
        CdxFile& file_;
        int exceptions_;
    };

    // Tags in creation order.
    std::vector<CdxTagInfo> tags();
    std::optional<CdxTagInfo> findTag(std::string_view name);  // case-blind
    // Builds a tag from `keys` (sorted here) and adds it; a tag of the same
    // name is replaced. The key length and type are those of the list.
    CdxTag addTag(const CdxTagDefinition& definition, const CdxKeyList& keys);
    // Removes a tag and frees its pages; false when there is none of that name.
    bool dropTag(std::string_view name);
    // A handle on an existing tag, read with the given key type (the file does
    // not record it). base::Error when the tag is missing or its key length
    // does not suit the type.
    CdxTag tag(std::string_view name, base::Type keyType);

    // Walks every page of every tag, and the free-page list, and lists each
    // problem found: pages outside the file or used twice, pages that do not
    // decode, keys out of order, parent entries that disagree with their
    // pages, broken sibling chains, leaves at different depths. `keyTypes`
    // gives the type of tags by upper-case name (character when absent),
    // which decides how trailing bytes are rebuilt. Never throws for damage.
    CdxCheckResult check(const std::map<std::string, base::Type>& keyTypes = {});

    // The change counter as last seen (for diagnostics and tests).
    uint32_t changeCounter() const;

  private:
    explicit CdxFile(std::shared_ptr<detail::CdxEngine> engine) : engine_(std::move(engine)) {}
    detail::CdxEngine& engine() const;
    std::shared_ptr<detail::CdxEngine> engine_;
};

// One tag of an open file. Cheap to copy.
class CdxTag {
  public:
    CdxTag() = default;

    const std::string& name() const { return name_; }
    base::Type keyType() const { return keyType_; }
    size_t keyLength() const { return keyLength_; }
    CdxTagInfo info() const;

    // Adds one entry (key padded/cut to the key length). False, and nothing
    // changes, when the entry is already there, or when the tag is unique and
    // already holds the key with another record number.
    bool insert(std::string_view key, uint32_t recno);
    // Removes one entry; false when it is not there.
    bool remove(std::string_view key, uint32_t recno);
    // Moves a record from oldKey to newKey (nothing when they are equal).
    void update(std::string_view oldKey, std::string_view newKey, uint32_t recno);

    // Every entry in order.
    std::vector<CdxEntry> entries() const;
    CdxCursor cursor() const;

  private:
    friend class CdxFile;
    friend class CdxCursor;
    friend class detail::CdxEngine;
    std::shared_ptr<detail::CdxEngine> engine_;
    std::string name_;
    base::Type keyType_ = base::Type::Character;
    size_t keyLength_ = 0;
    // Resolved tag header, valid while the engine's directory generation
    // matches; checked again whenever the file changed.
    mutable uint32_t headerOffset_ = 0;
    mutable uint64_t directoryGeneration_ = 0;
    mutable uint64_t checkedGeneration_ = 0;
    mutable bool unique_ = false;
};

// A position in one tag. After any change to the file (through any handle or
// by another copy) the cursor finds its place again by its (key, record number):
// on the same entry when it is still there, else on the entry that follows.
class CdxCursor {
  public:
    CdxCursor() = default;

    // Each returns true when the cursor stands on an entry afterwards.
    bool first();
    bool last();
    // First entry whose key is >= `prefix` compared over the prefix's bytes
    // (a longer key that starts with the prefix counts as equal). An exact seek
    // is this plus key().starts_with(prefix).
    bool seek(std::string_view prefix);
    // First entry >= (key, recno): finds one record's entry.
    bool seekEntry(std::string_view key, uint32_t recno);
    // Past the last entry: eof() and false. From eof, previous() goes to the
    // last entry. Before the first: bof() and false, staying on the first.
    bool next();
    bool previous();

    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    // The entry under the cursor; empty and 0 at eof.
    const std::string& key() const { return key_; }
    uint32_t recno() const { return recno_; }

  private:
    friend class CdxTag;
    friend class detail::CdxEngine;
    CdxTag tag_;
    // Where the entry was found, valid while the engine's generation matches.
    uint32_t leaf_ = 0;
    uint32_t slot_ = 0;
    uint64_t generation_ = 0;
    std::string key_;
    uint32_t recno_ = 0;
    bool eof_ = true;
    bool bof_ = false;
};

}  // namespace kdx2::store
