#pragma once

#include <string_view>

namespace kdx2::store {

// Structure repair of tables written by older releases, and closing groups of
// work areas.

// Checks the year tables 1, 2, 9, 10, 14 and 15 of the data folder (LOCARQ)
// and rebuilds those that lack their newest field. False when a table needing
// a rebuild could not be rebuilt (another workstation has it open, or the
// rebuild failed): the folder must then not be used; the user has been told.
bool CORRECAO();

// Checks the table open in the work area `number` and, when it lacks its
// newest field, rebuilds it with the current structure: live records keep the
// values of every field whose name remains, new fields start empty, deleted
// records are dropped and the indexes are rebuilt. The table is taken
// exclusively, written beside the old file and renamed into place. Returns
// true when the table was rebuilt (it is open again in its area, as before).
bool CORRIGE(std::string_view number);

// Closes the scratch-copy areas 21 ... 37.
void FECHA_PROV();
// Closes the year-table areas 1 ... 17 except 9 (the registry stays open) and
// the scratch copies 21 ... 37.
void FECHA_TODO();

}  // namespace kdx2::store
