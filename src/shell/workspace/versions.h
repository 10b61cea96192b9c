#pragma once

#include <string>

#include "store/journal.h"

// Two terminals on one taxpayer. A terminal with a taxpayer's declaration
// open says so through a lock on the data folder's register, which dies with
// the program, so a killed terminal leaves no stale sign; and each workspace
// remembers which version of the taxpayer's stored rows it was loaded from,
// so a save can tell that another terminal saved meanwhile.
namespace kdx2::shell::workspace {

// Marks the session's CPF as open on this terminal for as long as the
// workspace lives, and warns when another terminal has it open (naming it).
void announceTaxpayerOpen(const std::string& cpf);
// The workspace is closed: the mark goes.
void announceTaxpayerClosed();
// The terminal ("05") that has the declaration of `cpf` open in the data
// folder, other than this one; "" when none.
std::string otherTerminalWith(const std::string& cpf);

// Records the version of the taxpayer's stored rows (year tables open in
// their areas, the register in its own) as the one this workspace holds.
// Kept in the work folder beside the scratch copies, so F4 keeps it.
void rememberStoredVersion(const std::string& cpf);
// Records, before a save is committed, the version its rows will make: a
// save of this workspace cut short and finished later by another open is
// its own work, not another terminal's.
void rememberPendingSave(const std::string& cpf, const store::Transaction& saving);
// True when the stored rows are still the version this workspace was
// loaded from or last saved, or when the user chose to overwrite another
// terminal's save; false (the other's work kept) otherwise.
bool mayOverwrite(const std::string& cpf);

}  // namespace kdx2::shell::workspace
