#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "store/table.h"

// Replacing one taxpayer's rows in a shared year table so that neither a
// failure nor a killed program can lose or half-write them, without
// rewriting the whole table (a data folder holds thousands of taxpayers).
//
// The table is held exclusively throughout. The new rows are first written
// as deleted records (reusing the taxpayer's own deleted records, appending
// when there are not enough), so every reader still sees the old rows only;
// the index, which lists deleted records too, is updated in a copy renamed
// into place. Then a journal beside the table ("IRM2.SAV") lists the records
// to bring in and the records to retire: from that moment the save counts as
// done. The switch itself flips the deleted marks and removes the journal. A
// journal left by a killed program is completed by the next save or load of
// that table; one that no longer matches the table (it was packed or
// rewritten meanwhile) is dropped, which leaves the old rows in force.
//
// The files stay plain DBF and CDX: other programs see the taxpayer's old
// rows or new ones, and the retired rows are removed by the next pack (the
// index rebuild packs every year table).
namespace kdx2::shell::workspace {

// Points of a table's save at which the step hook is called, so a test can
// stop the program exactly there.
enum class SaveStep {
    RowsWritten,     // new rows written (deleted), index swapped, no journal yet
    JournalWritten,  // the save is decided; nothing switched yet
    Switching,       // called after each flipped record, detail = how many so far
    Switched,        // every record flipped; the journal still exists
};
using SaveStepHook = std::function<void(SaveStep step, const store::Table& year, int detail)>;
// Installs the hook (an empty function removes it).
void setSaveStepHook(SaveStepHook hook);

// Replaces the live rows of `cpf` in `year` by the live rows of `rows`,
// written in the order of `rows`' controlling order. `year` is open
// exclusively with its CPF index as order 1; afterwards it is positioned
// nowhere in particular, with the same index open. Throws base::Error, leaving
// the taxpayer's old rows in force, when anything fails before the journal is
// written.
void replaceTaxpayerRows(store::Table& year, const std::string& cpf, store::Table& rows);

// The journal of a table file ("C:\DADOS\IRM2.DBF" gives "C:\DADOS\IRM2.SAV").
std::string journalPathOf(const std::string& tablePath);
bool interruptedSavePending(const std::string& tablePath);

// Completes the interrupted save recorded beside `year` (open exclusively),
// or drops its journal when the table no longer matches it. Returns true
// when rows were switched.
bool finishInterruptedSave(store::Table& year);

// A checksum of the current record's field values (not of its deleted mark).
uint64_t rowFingerprint(const store::Table& table);

}  // namespace kdx2::shell::workspace
