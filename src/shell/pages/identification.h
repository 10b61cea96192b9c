#pragma once

#include <optional>
#include <string>
#include <utility>

#include "base/date.h"

// The taxpayer's identification form (page 5) and the checks of its fields.
namespace kdx2::shell::pages {

// Reads the identification form over the session's working values. The
// ending key is left in ULTTECLA (Esc, Enter past the last field, or the
// page key that ended it).
void identificationForm();

// DIZANOS: the age at 31 December of `taxYear` as years and months; nullopt
// (shown as blanks) for an empty date or one after that day.
std::optional<std::pair<int, int>> DIZANOS(const base::Date& birth, int taxYear);

// VENROREC: a receipt number of ten digits and two check digits. Empty
// passes; blank check digits are filled in. False for anything else.
bool VENROREC(std::string& receipt);

// The state codes a Brazilian address may have, and "EX" (abroad).
bool knownState(const std::string& state);

}  // namespace kdx2::shell::pages
