#pragma once

#include <string>
#include <vector>

#include "store/table.h"

// The commands that maintain the data rather than edit a taxpayer: how the
// complementary tax is shown (30), the year-end emptying of a data folder
// (32), the rebuild of every index (28) and of one folder's (REORG), the
// monthly SELIC rate table (27) and when the open taxpayer is saved (26).
namespace kdx2::shell::maintenance {

// Command 30: switches QUALMENS between "1" and "2" after the question.
void CALC_MENSAL();

// Command 32: after two confirmations, empties the data folder's yearly
// tables IRM2, IRM4 ... IRM8, IRM10 and IRM16 (they are created empty at
// their next opening) and blanks RECIBOATU in every register record. Nothing
// is deleted unless all eight tables can be had exclusively and the
// register locked; the user is told which table is in use.
void FECHA_ANO();

// How a folder's index rebuild ended.
enum class ReorgResult {
    Rebuilt,    // the year tables were packed and every index file rebuilt
    NoIndexes,  // the folder has no index file: nothing was done
    InUse,      // a table of the folder is in use elsewhere: nothing was done
    Failed,     // rebuilt, but some table could not be (the user was told)
};

// Rebuilds the index files of a folder: the year tables IRM1 ... IRM17 are
// opened, packed and indexed again (missing ones created), and every other
// "*.cdx" is rebuilt from its table. An index file is only ever replaced by
// a complete new one, and one whose table cannot be read is left alone.
// Runs only when every year table, and every table owning an index file
// there, can first be had exclusively: another workstation's open indexes
// are never pulled from under it. For the install folder the data folder's
// register is opened again afterwards. The caller closes its own tables of
// the folder first: they would count as in use.
ReorgResult REORG(const std::string& folder);

// Command 28: after the question, deletes this terminal's scratch index
// files, rebuilds the install folder's index files and the indexes of
// every registered folder that exists; folders in use elsewhere are named to
// the user and left as they were. Always reopens the shared tables and the
// data folder's register.
void REINDEXA();

// ---- The SELIC rate form (command 27) ----

// The working values of the rate form.
struct RateEntry {
    int month = 0;
    int year = 0;
    double factor = 0;  // MULTIPL of the month, 0 when it has no record
    double rate = 0;    // TJM, per cent
};

// The month and year the form proposes: the month after the last one with
// a non-zero rate, when the rate table has that record; otherwise the last
// month with a rate (or the only months there are). The table must be open
// in key order; an empty table proposes nothing (false).
bool proposedRateMonth(store::Table& rates, RateEntry& entry);

// Validations of the form: a month outside 1 ... 12, or a year before 1995,
// is refused; an accepted one loads the factor and rate of year + month
// (0 and 0 when absent) from UFIRM (area 45) and shows the month name and the
// rate in the rate window.
bool BUSMES(RateEntry& entry);
bool BUSANO(RateEntry& entry);

// Command 27: the rate form over UFIRM, repeated while the confirmation
// answers "N"; "S" writes the month's record (appending it when absent).
void CAD_UFIR();

// ---- When the open taxpayer is saved (command 26) ----

// Mode 1 asks the interval of the automatic save (a setting of 0 or 99 and
// more proposes 5), mode 2 saves only on Alt+W and at the end (TEMP_SAL 0),
// mode 3 only at the end (99).
void TIP_GRAV(int mode);
// The interval typed must be at least one minute.
bool VAL_TEMP(int minutes);

// Registers the commands 26, 27, 28, 30 and 32 with the main menu.
void registerMaintenanceCommands();

}  // namespace kdx2::shell::maintenance
