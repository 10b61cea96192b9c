#pragma once

#include <string>

#include "tax/projection.h"

// The summary page of the printed declaration: the yearly summary as a
// boxed table of its first 28 rows, then the taxpayer's identification.
namespace kdx2::reports {

// The heading of every declaration page (CABEC_IMP): from row `row`, a rule,
// the taxpayer's name and the year, a rule, the section title (none when
// empty) and a rule. Returns the row after it.
int CABEC_IMP(int row, const std::string& section);

// MAT_IMPRE: the summary's label of `row` (1 ... 28) cut to the table's 16
// columns; row 28 names the complementary payment QUALMENS asks for. A
// `label` of the summary that already fits the cell is kept as it is.
std::string MAT_IMPRE(int row, const std::string& QUALMENS, const std::string& label = "");

// AVISO1: the projection note of the printed summary's title; none when the
// summary stands for the whole year.
std::string AVISO1(const tax::Summary& summary);

// ROT_FEITA and IDENTIFI: the whole page from the summary worked out for
// the taxpayer and the session's working values of the register.
void printSummaryPage(const tax::Summary& summary);

}  // namespace kdx2::reports
