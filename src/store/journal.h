#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "store/table.h"

// Replacing the rows of one key (a taxpayer's CPF) in tables of one folder
// as one change: a failure or a killed program leaves every table with the
// old rows or every table with the new ones, never both, and never without
// the whole table being rewritten (a data folder holds thousands of
// taxpayers).
//
// Every table is held exclusively, with its key index as order 1. The new
// rows are first written as deleted records (reusing the key's own deleted
// records, appending when there are not enough), so every reader still sees
// the old rows only. An index that gains entries is changed in place under
// a mark beside it ("IRM2.W03"), removed once the rows and the index are on
// the disk. Then one journal in the folder (KDX2.SAV) lists, table by table, the records to bring
// in and those to retire: from the moment it is on the disk the change counts as done. The switch
// flips the deleted marks, and the journal goes.
//
// What a stopped program leaves is finished by the next open of one of the
// tables (Table::open calls finishInterruptedWork): a journal is completed
// in every table it names, all of them taken exclusively for it; an index
// mark left behind means the index may lack records or hold a page written
// half way, so that index is rebuilt from the table. A table that no longer holds what the
// journal saw is left as it is, and the user is told; a journal is never
// dropped silently.
//
// The files stay plain DBF and CDX: other programs see the old rows or the
// new ones, and the retired rows go with the next pack.
namespace kdx2::store {

// Points of a commit at which the step hook is called, so a test can stop
// the program exactly there.
enum class CommitStep {
    RowsWritten,     // new rows written (deleted) and indexes in place, no journal yet
    JournalWritten,  // the change is decided; nothing switched yet
    Switching,       // called after each flipped record, detail = how many so far
    Switched,        // every record flipped; the journal still exists
};
using CommitStepHook = std::function<void(CommitStep step, int detail)>;
// Installs the hook (an empty function removes it).
void setCommitStepHook(CommitStepHook hook);

// Thrown by Transaction::commit() when the change was decided (its journal
// is on the disk) but could not be applied to the end: it will be, by the
// next open of the tables. The data is safe; the text says what failed.
class UnfinishedCommit : public base::Error {
  public:
    using base::Error::Error;
};

class Transaction {
  public:
    Transaction();
    // Takes back what was staged and not committed.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Stages: the live rows of `key` in `table` are to become copies of the
    // records `rows` of `source` (in that order), with the key field set to
    // `key`. `table` is open exclusively with one index file whose order 1
    // is a plain field (the key). Nothing changes for readers until
    // commit(). When the table already holds exactly these rows nothing is
    // staged. A key may be staged once per table and transaction. Throws
    // base::Error, leaving the table's rows as they were.
    void replaceRows(Table& table, const std::string& key, Table& source,
                     const std::vector<uint32_t>& rows);
    // Stages: the live rows of `key` in `table` are to be removed.
    void removeRows(Table& table, const std::string& key);

    // Everything staged after a mark can be forgotten (one taxpayer of many
    // that could not be staged whole).
    size_t mark();
    void rollbackTo(size_t mark);
    bool empty() const;
    // Fingerprints of the rows staged to come in for `table`; nullopt when
    // the table has nothing staged (its rows stay as they are).
    std::optional<std::vector<uint64_t>> stagedRows(const Table& table) const;

    // Decides and applies the staged change; afterwards the transaction is
    // empty again. Returns false when nothing was staged. Throws base::Error
    // when it failed before the decision (every table as it was for readers)
    // and UnfinishedCommit after it.
    bool commit();

    struct Staged;

  private:
    // How far each staged table had got when a mark was taken.
    struct Mark {
        size_t tables = 0;
        std::vector<size_t> added, retired, keys;
    };
    std::vector<std::unique_ptr<Staged>> staged_;
    std::vector<Mark> marks_;
    Staged& stagedFor(Table& table);
    void abandon();
};

// Commits `transaction` and tells the user what failed. True when the change
// holds (even when its end is left to the next open of the tables); false,
// after telling why, when it failed before it was decided.
bool commitAndTell(Transaction& transaction);

// The record numbers of the live rows of `key` in `table`'s controlling
// order (the rows a transaction would replace).
std::vector<uint32_t> rowsOfKey(Table& table, const std::string& key);
// The live rows of `table` in its controlling order.
std::vector<uint32_t> liveRows(Table& table);

// A checksum of the current record's field values (not of its deleted mark),
// leaving out the field `except` when given.
uint64_t rowFingerprint(const Table& table, std::string_view except = {});
// Fingerprints of the records `rows` of `table`, in that order.
std::vector<uint64_t> rowFingerprints(Table& table, const std::vector<uint32_t>& rows);

// The journal of a folder ("C:\DADOS\" gives "C:\DADOS\KDX2.SAV").
std::string journalPathOf(const std::string& folder);
// File names of the tables a pending journal of `folder` names (empty when
// there is none); "?" for a journal that cannot be read.
std::vector<std::string> pendingJournalTables(const std::string& folder);
// Marks of index changes cut short, left beside their index in `folder`.
std::vector<std::string> leftIndexMarks(const std::string& folder);

// Called by Table::open with the table just opened (exclusively) or about to
// be opened (shared: `table` is null): finishes the journal that names it,
// taking its other tables exclusively, and rebuilds an index left without
// the rows of a change cut short. Throws base::Error when a journal names the
// table but cannot be finished now (another workstation has one of its
// tables open); opening the table then would show half a change.
void finishInterruptedWork(const std::string& tablePath, Table* table);

}  // namespace kdx2::store
