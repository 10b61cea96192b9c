#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/date.h"
#include "base/named_values.h"
#include "store/table.h"

// The session settings record: the program-wide named values set at start-up
// (base::session()). This module knows every field, its starting value and
// which ones persist in the terminal's CONFIG record.
namespace kdx2::shell {

// What a new terminal's CONFIG record is filled with.
struct NewTerminal {
    std::string terminal;       // NUSU
    std::string installFolder;  // ROTADEF (bare)
    std::string kdx2def;        // raw value of the environment variable KDX2DEF
    base::Date today;
};

// The names of the CONFIG fields, in the order of the record.
const std::vector<std::string>& configFieldNames();

// Sets every persisted field to the default a new terminal gets.
void setNewTerminalDefaults(base::NamedValues& session, const NewTerminal& terminal);

// Copies the CONFIG record into the session: every field by name, then a
// blank MOSIMP reads as "S" for both MOSIMP and MOSTEL. Values out of their
// range are clamped (clampSettings).
void loadConfigRecord(const store::Table& config, base::NamedValues& session);

// Keeps the settings that index lists or divide in their ranges, so a blank
// or damaged record never leaves a 0 where 1 ... n is expected: QUEIMP 1-3,
// QUEMOD 1-2, QUEPAG 1-8, QUECON 1-3, QMEDIA 1-12, QUEANO from 1995 (else
// the current year).
void clampSettings(base::NamedValues& session, const base::Date& today);

// Copies every CONFIG field from the session field of the same name into the
// current record (which the caller has locked).
void storeConfigRecord(store::Table& config, const base::NamedValues& session);

// The values established at start-up and not persisted, with their initial
// values (OPCAO_1 from ULT_MOD, CPF from ULT_CPF, CQUEANO from QUEANO ...).
// Call after the CONFIG fields are in the session.
void setSessionValues(base::NamedValues& session, const base::Date& today);

// The DARF defaults of the session.
void setDarfDefaults(base::NamedValues& session, const base::Date& today);

// The list-valued fields of the session record, which a name -> value store
// cannot hold: status table, monthly factors, summary grid, layout anchors
// and the texts of the print selection. The monthly factors (TAB_UFIR) are
// the carnê-leão figures' own, in tax::carneLeao().
struct SessionLists {
    std::array<std::array<std::string, 2>, 9> MSTAT{};  // digit "1".."9", STAT_n
    std::array<std::array<std::string, 14>, 31> MRESUMO{};
    // Top row and left column of the windows of the layout procedures, by
    // screen number (1 ... 23).
    std::array<int, 24> ALJ{}, ACJ{}, ALJA{}, ACJA{};
    std::vector<std::string> ALISTIMP, MODO1OP, MODOETIQ, MODOUNICO, NOMCONT, NOMEPAGS, NOMECON;
};
SessionLists& sessionLists();

// Builds MSTAT from STAT_1 ... STAT_9.
void buildStatusTable(const base::NamedValues& session, SessionLists& lists);
// The monthly factors to twelve zeros and MRESUMO to 31 rows with columns 2-14 of 14 spaces.
void resetTaxGrids(SessionLists& lists);

}  // namespace kdx2::shell
