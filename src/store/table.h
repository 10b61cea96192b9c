#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/named_values.h"
#include "base/value.h"

namespace kdx2::store {

// One field of a table structure: name (upper-case ASCII, at most 10
// characters), type, width and decimals. Character fields may be wider than
// 255 (up to 65535); numeric fields hold at most 20 characters.
struct FieldDef {
    std::string name;
    base::Type type = base::Type::Character;
    int width = 1;
    int decimals = 0;

    bool operator==(const FieldDef&) const = default;
};
using Structure = std::vector<FieldDef>;

enum class OpenMode { Shared, Exclusive };

// How a new file takes the place of an old one. Durable: written beside it,
// flushed to the disk and renamed into place, so a power cut leaves the old
// file or the new one. WorkFile: the old file removed and the new one
// written under its name with no waiting for the disk, for work files that are rebuilt from the
// data whenever they are used (a terminal's scratch copies and their temporary indexes); callers
// that need an order between such files after a power cut sync them.
enum class Replace { Durable, WorkFile };

// Thrown by Table::open when another workstation holds the table in a way
// that excludes this open (exclusive use wanted or held elsewhere). Callers
// that retry (NETUSE) catch this one; every other base::Error is final.
class InUseError : public base::Error {
  public:
    using base::Error::Error;
};

// The deleted filter: while on (the default, for the whole session), records
// marked deleted are skipped by goTop/goBottom/skip/seek and by every helper
// that walks a table. goTo(n) still reaches any record.
void setDeletedFilter(bool on);
bool deletedFilter();

// One open DBF table (dBASE III layout, CP850 text) with its open index files.
//
// Paths are drive paths ("C:\IR2018\IRM1.DBF"); relative ones resolve against
// the current folder. A table opened Shared coordinates with other
// workstations through byte-range locks: a writer locks the record (or the
// table) before put() and unlocks afterwards. A table opened Exclusive needs
// no locks and refuses every other open of the file.
//
// Positioning follows xBase: recNo() is 1-based, eof() puts recNo() at
// recCount() + 1, found() tells the result of the last seek. Field changes are
// kept in the record buffer and written (with every open index updated) when
// the record pointer moves, on unlock(), flush() and close().
//
// Every failure (damaged file, value that does not fit, I/O error) throws
// base::Error with a Portuguese message naming the file's drive path; the
// file is left as it was.
class Resolver;

class Table {
  public:
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Opens an existing table. Alias: empty gives the file's base name
    // (upper-case). Throws InUseError when the open mode conflicts with other
    // opens, base::Error when the file is missing or damaged. Work a stopped
    // program left half done on the table is finished first (journal.h).
    [[nodiscard]] static std::unique_ptr<Table> open(const std::string& path, OpenMode mode,
                                                     std::string alias = "");
    // Creates an empty table (replacing any file of that name) and leaves it
    // closed. Throws base::Error for an invalid structure.
    static void create(const std::string& path, const Structure& structure,
                       Replace how = Replace::Durable);

    void close();
    bool isOpen() const;

    const std::string& path() const;  // drive path as opened, ".DBF" included
    const std::string& alias() const;
    bool exclusive() const;
    const Structure& structure() const;
    // Position of the field (0-based), -1 when the table has no such field.
    int fieldIndex(std::string_view name) const;
    bool hasField(std::string_view name) const { return fieldIndex(name) >= 0; }

    // ---- Navigation (honouring the deleted filter and the row filter) ----
    uint32_t recCount();  // re-read from the file for shared tables
    uint32_t recNo() const;
    bool eof() const;
    bool bof() const;
    bool found() const;
    void goTop();
    void goBottom();
    void goTo(uint32_t recno);
    void skip(long count = 1);
    // Seeks in the controlling order. A character key matches every key that
    // starts with it ("123" finds "12345678901"); numeric and date keys match
    // exactly. Not found: soft puts the table on the next greater key (or
    // eof), otherwise at eof. Throws base::Error when there is no controlling
    // order or the key type differs from the order's.
    bool seek(const base::Value& key, bool soft = false);

    // Extra row filter (xBase SET FILTER): records for which it returns false
    // are skipped like deleted ones. Empty function: no filter.
    void setFilter(std::function<bool(Table&)> filter);

    // ---- Fields ----
    // C fields read at their full width (blank-padded), N as numbers, D as
    // dates, L as logicals. Unknown names throw base::Error.
    base::Value get(std::string_view name) const;
    base::Value get(int fieldIndex) const;
    // Stores a value of the field's type: text is cut or blank-padded, numbers
    // are rounded to the field's decimals and refused when they do not fit.
    void put(std::string_view name, const base::Value& value);
    void put(int fieldIndex, const base::Value& value);
    bool deleted() const;
    void deleteRecord();
    void recall();

    // The current record as named values (SCATTER) and back (GATHER: names
    // the table lacks are ignored).
    base::NamedValues toValues() const;
    void fromValues(const base::NamedValues& values);
    // Copies the fields of source's current record whose names exist here
    // (values converted where the types agree; other fields keep their value).
    void copyFieldsFrom(const Table& source);

    // Appends a blank record and makes it current. Shared tables: the record
    // stays locked for this copy until unlock(); returns false (nothing
    // appended) when another copy holds the table lock.
    [[nodiscard]] bool append();

    // ---- Locks (shared tables; on exclusive ones they always succeed) ----
    // Single tries, no waiting: REC_LOCK/FIL_LOCK add the retries.
    [[nodiscard]] bool lockRecord();  // the current record
    [[nodiscard]] bool lockRecord(uint32_t recno);
    [[nodiscard]] bool lockTable();
    bool isRecordLocked(uint32_t recno) const;  // by this copy
    bool hasTableLock() const;
    // Writes pending changes, then drops every lock of this copy on the table.
    void unlock();

    // Writes the record buffer and the header; indexes are kept current.
    void flush();
    // From now on every record written reaches the file at once, counted in
    // the header, instead of appends being gathered for one write: for a
    // private table holding typed work that a stopped program must leave
    // behind.
    void setWriteThrough(bool on);
    // flush(), then waits until the table and its open index files are on
    // the disk: for writes that must survive a power cut in a known order.
    void sync();

    // Cuts the bytes beyond the records the header counts: records a stopped
    // program wrote but never counted. Needs exclusive use.
    void dropUncountedRecords();

    // Physically removes deleted records / all records. Needs exclusive use.
    // A new file is written beside the table and renamed into place, and the
    // open indexes are rebuilt; a failure leaves the old table whole.
    void pack();
    void zap();
    // Rewrites the table with another structure, the same way: live records
    // carried over by field name (a field whose type changed starts empty,
    // fields no longer present are dropped), deleted records dropped, indexes
    // rebuilt. Needs exclusive use.
    void restructure(const Structure& structure);

    // ---- Indexes ----
    // Adds an existing index file (".cdx" appended when the name has no
    // extension) to the open list; the first one opened becomes the
    // controlling order.
    void openIndex(const std::string& path);
    // Builds (or rebuilds) the index file `path` with one tag named by its
    // base name on `keyExpression`, over every record (deleted ones too), and
    // adds it to the open list (it becomes controlling when it is the first).
    void createIndex(const std::string& path, const std::string& keyExpression,
                     Replace how = Replace::Durable);
    void closeIndexes();
    // Rebuilds the existing index file `path` with the tags it holds (a
    // stale index after a change cut short). Throws base::Error when the
    // file cannot be read; it is then left as it was.
    void rebuildIndexFile(const std::string& path);
    int indexCount() const;
    // 0 = natural (record) order, 1 ... indexCount() = open index files.
    void setOrder(int order);
    // By tag name (case-blind); returns false when no open index has it.
    bool setOrder(std::string_view tagName);
    int order() const;
    std::string indexPath(int order) const;
    std::string indexKeyExpression(int order) const;

    // Names for expressions evaluated on the current record: this table's
    // fields, ALIAS->FIELD of the other work areas and the session's values.
    const Resolver& resolver() const;
    // The controlling order's key of the current record (as stored in the
    // index: blank-padded text, or the number/date).
    base::Value currentKey() const;

    // Visits, in controlling order, the live records whose key starts with
    // `key` (a taxpayer's rows: forEachKey(cpf, ...)). The visitor returns
    // false to stop. Records are visited by their position at the start, so
    // the visitor may change fields (even the key) of the visited record.
    void forEachKey(const base::Value& key, const std::function<bool(Table&)>& visit);
    // Visits every live record in the controlling order.
    void forEach(const std::function<bool(Table&)>& visit);

    class Impl;

  private:
    explicit Table(std::unique_ptr<Impl> impl);
    void visitRows(const std::vector<uint32_t>& rows, const std::function<bool(Table&)>& visit);
    std::unique_ptr<Impl> impl_;
};

// Appends to `dest` every live record of `source` (natural order, filters
// honoured) copying fields by name; returns the number appended. Both may be
// shared: each appended record is unlocked after it is written.
uint32_t appendFrom(Table& dest, Table& source);

// Table::append() for callers with no way to wait: base::Error (Portuguese,
// naming the table) when another copy holds the table lock.
void appendRecord(Table& table);

}  // namespace kdx2::store
