#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/named_values.h"
#include "base/value.h"

// The terminal's colour scheme: seventeen session values kept in the
// terminal's record of CORES, and the colour lists composed from them.
namespace kdx2::common {

struct ColourSetting {
    const char* name;
    base::Value initial;  // a number (attribute) or a colour pair text
    bool attribute;
};

// The seventeen colour values with their defaults, in the order of the
// CORES record: nine attributes, then eight colour pairs.
const std::vector<ColourSetting>& colourSettings();

// Sets every colour value of the session to its default.
void setDefaultColours(base::NamedValues& session);

// The colour pair of an attribute: 30 gives "GR+/B", 112 "N/W".
std::string ACHACOR(int attribute);

// CORNORM, CORLIMP, CORSELE, CORMENU and CORPIS from the colour values.
void composeColourLists(base::NamedValues& session);

// Loads the terminal's colours from CORES (NUSU), creating its record with
// the defaults when it has none. A table that cannot be opened or a record
// that cannot be created leaves the defaults in the session; unreadable
// values are replaced by their defaults. Returns false when the table could
// not be opened.
bool CRIACOR();

// Saves the session colours in the terminal's record (appended when
// missing); false, with nothing saved, when the record cannot be locked.
bool GRAVACOR();

// The colour editor of the main menu, with live preview. With false the
// editor's windows sit one row higher and further left.
void MODCOR(bool normalLayout = true);

// What the colour editor draws behind its windows (the title window); set
// by the program's shell.
void setColourEditorBackdrop(std::function<void()> draw);

}  // namespace kdx2::common
