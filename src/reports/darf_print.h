#pragma once

#include <string>

#include "reports/darf_layouts.h"
#include "reports/darf_slip.h"

// Writing a finished slip into the print output, at the current line of
// the print run (the session's QLIN).
namespace kdx2::reports {

// The text a value of the slip prints as ("" for the pause and for the
// warnings of a total of 10.00 or more).
std::string slipValueText(const DarfSlip& slip, SlipValue value);

// IMPR_FODARF: the slip drawn on a blank sheet, 4 rows below the current
// line, then one empty line; past row 50 the next form starts a new page,
// otherwise one more line is skipped.
void IMPR_FODARF(const DarfSlip& slip);

// The slip's values placed on the preprinted form from the current line,
// with the alignment pauses while FEZ_TES is "S"; the next slip starts 24
// rows further (26 on a laser printer).
void printOnPreprintedForm(const DarfSlip& slip);

// IMPRDARF: one slip, on the preprinted form (QUEMOD 1) or drawn twice on a
// blank sheet (QUEMOD 2). A slip whose principal is 0 is not printed; false
// then.
bool IMPRDARF(const DarfSlip& slip);

}  // namespace kdx2::reports
