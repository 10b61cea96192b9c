#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Backup, restore and deletion over a whole data folder: the seventeen year
// tables copied to another folder (command 61), copied back (62), and the
// taxpayers chosen in a list deleted with all their rows (14).
//
// A backup copies each table's live records into a file written under a
// temporary name and checked (record count and size) before it takes the
// backup's name. A restore copies every file under a temporary name first;
// only when all are whole does it switch them in, through a journal of the
// folder (KDX2.REC) that finishInterruptedRestore completes when a stopped
// program left it. A deletion removes the taxpayers' rows of every table as
// one change of the data store (store/journal.h).
namespace kdx2::shell::backup {

// ---- Backup ------------------------------------------------------------------

enum class SpaceAnswer { Swap, Abandon };

struct BackupHooks {
    // Free bytes of the folder's disk; empty: asked of the system.
    std::function<uint64_t(const std::string& folder)> freeSpace;
    // The question when a table does not fit; empty: "(T)roque ou (A)bandona".
    std::function<SpaceAnswer()> askSpace;
    // Before each table (1 ... 17).
    std::function<void(int table)> progress;
};

// Copies the live records of IRM1 ... IRM17 of `origin` (opened shared, as
// the program opens them) into `destination` as "Irm" + n + ".DBF". True only
// when every table was copied whole. Files are written under temporary
// names and take their names together at the end, so a failure or an
// abandon leaves the destination's previous backup as it was; when the
// user swaps the disk, the files already copied take their names first.
// Failures are told through the store's feedback.
bool backupTables(const std::string& origin, const std::string& destination,
                  const BackupHooks& hooks = {});
// The live records of the table file `from` into a new file `to` (its
// header, structure and record bytes as they are); returns how many.
// Throws base::Error when the copy is not whole; `to` is then removed.
uint32_t copyLiveRecords(const std::string& from, const std::string& to);

// ---- Restore -----------------------------------------------------------------

struct RestoreResult {
    enum class Outcome { Restored, Failed, Declined } outcome = Outcome::Failed;
    int restored = 0;  // files switched in
    int table = 0;     // failed: the number of the table whose file failed (0: none reached)
    std::string problem;
};

// The year tables among the files of `folder` named "IRM??.DBF": file name
// and table number (1 ... 17), in the folder's listing order.
struct BackupFile {
    std::string name;
    int table = 0;
};
std::vector<BackupFile> backupFilesIn(const std::string& folder);
// Why `path` cannot stand for year table `table` (damaged, a table of
// another kind); empty when it can.
std::string backupFileProblem(const std::string& path, int table);

// Replaces the year tables of `destination` with the backup files of
// `origin`. Every table of the destination is held exclusively for it; a
// destination in use elsewhere, a damaged or foreign backup file, a copy that
// fails or is not whole leaves the destination as it was. `confirm`, asked
// when the destination holds data, answers whether to go on.
RestoreResult restoreTables(const std::string& origin, const std::string& destination,
                            const std::function<bool()>& confirm = {},
                            const std::function<void(const std::string& file)>& progress = {});
// Completes a restore of `folder` that a stopped program decided but did not
// finish, and removes the temporary files of one it had not decided. True
// when there was something to do.
bool finishInterruptedRestore(const std::string& folder);
// The same for the data folder at start-up: its year tables already open
// are closed for it and opened again afterwards.
void finishInterruptedRestoreAtStartup();

// ---- Deletion ------------------------------------------------------------------

struct DeletionReport {
    bool opened = false;                  // every table of the folder was held exclusively
    std::vector<std::string> deleted;     // CPFs whose rows and register record are gone
    std::vector<std::string> notDeleted;  // CPFs left whole
};

// Deletes every row of the CPFs in IRM1 ... IRM17 of `folder`, the register
// record included, as one change: a stop at any moment leaves each taxpayer
// whole or gone. Then the tables that lost rows are packed. When a table
// cannot be held exclusively nothing is deleted.
DeletionReport deleteTaxpayers(
    const std::string& folder, const std::vector<std::string>& cpfs,
    const std::function<void(const std::string& cpf, int at, int count)>& progress = {});

// ---- The commands --------------------------------------------------------------

// Command 61 runs FAZ_COPIA, any other TRAZ_COPIA; shows the outcome.
void BACKUP(int command);
bool FAZ_COPIA();
bool TRAZ_COPIA();
// Command 14: the taxpayers of the data folder marked in a list of their
// own are deleted after the confirmation.
void ELIMINA();

// Registers the commands 14, 61 and 62.
void registerBackupCommands();

}  // namespace kdx2::shell::backup
