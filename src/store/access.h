#pragma once

#include <string>
#include <string_view>

#include "store/locks.h"

namespace kdx2::store {

// Shared access to the tables: the only road by which the program opens a
// table, takes locks and appends. The procedures act on the work areas
// (work_areas.h) and read the session record: ARQDEF (install folder),
// LOCARQ (data folder), NUSU (terminal), MOS_MENS (show the opening
// messages), REFAZ_IND (rebuild indexes on open), APELIDO (alias override).
// Messages and the Esc key go through feedback.h.

// Opens the table of `number` in the area of that number (creating missing
// files and indexes). 0 is the start-up pass: structure check of the data
// folder, then the install-folder tables, then the terminal's folder list.
// Returns false when a table was not opened (year tables included); the
// user has then been told why, so a caller that only reopens what it had may
// go on without the result.
bool ABERTURA(int number, bool exclusive = false);

// Opens `file` (no extension needed) in `slot` with the index file named
// like the table on key1 (when key1 is given) and the further index files
// name2/name3 on key2/key3 (name2 defaults to the upper-case file name + "B").
// Missing tables are created (CRIA), missing index files built; false when
// the table could not be opened.
[[nodiscard]] bool ABREARQ(int slot, bool exclusive, const std::string& file,
                           const std::string& key1 = "", const std::string& key2 = "",
                           const std::string& name2 = "", const std::string& key3 = "",
                           const std::string& name3 = "");

// Opens `file` (".DBF" appended when it has no extension) in the current area
// under the alias APELIDO or the file's base name, retrying once a second for
// `seconds` (0: until it succeeds).
[[nodiscard]] bool NETUSE(const std::string& file, bool exclusive, int seconds);

// Lock the current record / the whole current table / append a blank locked
// record, retrying every half second for `seconds` unless Esc is pressed
// (FIL_LOCK and ADD_REC: 0 waits until Esc; REC_LOCK: 0 tries once).
[[nodiscard]] bool REC_LOCK(double seconds = 2);
[[nodiscard]] bool FIL_LOCK(double seconds);
[[nodiscard]] bool ADD_REC(double seconds);

// Deletes the empty "*.NTX" files of the current folder; returns "".
std::string NTX();

// Creates an empty table with the structure of table `number` (21 ... 37 are
// the scratch copies of 1 ... 17) under `file`, showing its creation message.
// False for numbers without a structure (the supplied reference tables).
bool CRIA(std::string_view number, const std::string& file);

}  // namespace kdx2::store
