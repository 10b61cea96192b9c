#pragma once

#include <string>
#include <string_view>

#include "store/settings.h"

namespace kdx2::store {

// A scratch name beside `path` for a file that will replace it by a rename:
// same folder, same base name, extension `kind` + terminal number
// ("C:\IR2018\IRM2.P03"). Files are replaced whole this way, so a crash
// leaves the old file or the new one, never half of one; the terminal number
// keeps two workstations from writing the same scratch file.
std::string tempPathBeside(const std::string& path, char kind);

// Writes `bytes` as the whole of the file at `path` that way, through the
// scratch name of `kind`, synced before the rename; on failure the scratch
// file is removed and the old file left as it was.
void replaceFileWhole(const std::string& path, std::string_view bytes, char kind);

// Whether the file named by the drive path `name` lies on a local disk;
// no when that cannot be told (a host path, an unknown drive). Only there
// may a copy trust what it read without a lock, or read through a view:
// a network file system may answer from a stale copy of its own.
bool onLocalDisk(const std::string& name);

}  // namespace kdx2::store
