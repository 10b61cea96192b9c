#pragma once

#include <ostream>
#include <string>

namespace kdx2::store {

// The integrity check users run after a power cut or after copying a folder
// between machines (kdx2 --verificar PASTA). It reads every table (.dbf) and
// index (.cdx) of `folder` and reports, in Portuguese, each damaged header,
// each record count that disagrees with the file's size, each record whose
// flag byte is neither live nor deleted, each damaged index page, and each
// index whose keys disagree with its table (keys recomputed from the records).
//
// `folder` is as typed on the command line (UTF-8): a drive path ("C:\IR2025")
// or a host folder ("/srv/ir2025").
// Files are only read, never written or locked for writing, so the check can
// run beside other workstations (a table being changed meanwhile may show a
// passing disagreement). The report is UTF-8 text. Returns 0 when everything
// is sound, 1 when a problem was found (or the folder cannot be read).
int verifyFolder(const std::string& folder, std::ostream& report);

}  // namespace kdx2::store
