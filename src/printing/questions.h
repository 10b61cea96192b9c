#pragma once

// What reports ask while they print: whether to abandon the printing, a
// pause to align pre-printed forms, and the month range of monthly reports.
namespace kdx2::printing {

// Reads the keys typed meanwhile; on Esc asks "Abandona a impressão ?" and
// sets CAN_IMP to the answer. Returns CAN_IMP, which reports check between
// lines and pages and stop on. A print file that could not be written also
// stops the printing. Without a terminal only keys already queued count, so
// a script's next line is never taken out of its place.
bool PAREIMP();

// While FEZ_TES is "S": prints a blank at column 0 of the print row, beeps
// and asks whether to pause again, keeping the answer in FEZ_TES.
void AJUS_FIN();

// The month range of monthly reports (kind 2: rural-activity cash book),
// into MES_INIC, MES_FINAL, QUEMES, AVANCA_PAG, CALC_SALD and IMPR_RESU.
// False when abandoned with Esc.
bool ESCOLHE_COMO(int kind);

}  // namespace kdx2::printing
