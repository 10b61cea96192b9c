#pragma once

#include <string>
#include <vector>

#include "editor/browse.h"
#include "tax/carne.h"
#include "tax/projection.h"
#include "tax/projection_tables.h"

// The yearly summary of the open declaration: what the projection reads is
// gathered here from the workspace (its scratch copies, the carnê-leão
// figures and the settings) and the result laid out in MRESUMO.
namespace kdx2::shell::workspace {

// The projection's settings from the session: QUEANO, QMEDIA, QUALMENS,
// MES_ATU and OPCAO_1.
tax::ProjectionSettings projectionSettings();

// The figures the projection reads besides the carnê-leão ones, from the
// records of the declaration; also keeps the company and variable-income
// totals in the working values and accumulators of the same names.
tax::ProjectionFigures gatherFigures(tax::CarneLeao& carne, const tax::DeclarationRecords& records);

// Lays the summary out in MRESUMO: the amounts, and the labels the
// computation changed (the others stay as the declaration opened with them).
void showSummary(const tax::Summary& summary);

// CALCULA_TUDO on the open workspace: reads its records, computes and shows
// the summary. What could not be read is told at `opening` and then when it
// changes (the recomputations after each change would repeat it), and the
// summary goes on with the rest. Returns the summary.
tax::Summary computeYearSummary(bool opening = false);

// FX_RT: the totals of a grid after its cell (row, column) changed, then the
// summary again: the exempt-income (11) and exclusive-taxation (12) forms,
// the monthly carnê-leão grid (16), the rural grid (19) and the 1995
// conversion grid (20).
void FX_RT(int row, int column, int screen);

// RENVAR: the variable-income statement of the open declaration (its
// capital-gains copy): mode 0 loads the kind of operations shown into
// MRENVAR, 1 stores it (GRAVA_RV) and works the year out again, 2 stores it
// and turns to the other kind. Returns the caption of the kind shown.
std::string RENVAR(int mode);

// Connects the editor's recomputations (SOMA_JUR, FX_RT, CALCULA_TUDO and
// the change of the average months) to the open workspace.
void connectYearHooks(editor::Hooks& hooks);

// The problems of the last computation (CP850), one per table that could not
// be read whole.
const std::vector<std::string>& summaryProblems();

}  // namespace kdx2::shell::workspace
