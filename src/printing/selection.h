#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>

// Printing for a selection of taxpayers (one, those marked, all) of the
// data folder: the report pages and payment slips through the report
// printers that plug in here, and the registry itself as a listing or as
// address labels. The register is IRM9 in work area 9.
namespace kdx2::printing {

// What the report subsystem plugs in. An empty member means the kind of
// printing is not available yet.
struct ReportPrinters {
    // Prints one page (1 ... 7) of the current taxpayer's reports through
    // output(); true when it printed something.
    std::function<bool(int page)> FOLHA;
    // Prints the current taxpayer's payment slips (and routes them).
    std::function<void()> PREP_DARF;
    // Loads the working data of the session's CPF for the pages and slips;
    // false when they could not be loaded.
    std::function<bool()> loadTaxpayer;
    // Lets go of what loadTaxpayer loaded, once the taxpayer is printed.
    std::function<void()> releaseTaxpayer;
};
void setReportPrinters(ReportPrinters printers);
// Whether the report pages (QUEIMP 1) / payment slips (QUEIMP 2) can be
// printed in this version.
bool reportPagesAvailable();
bool paymentSlipsAvailable();

// The working values of a print run: page length NROLINHAS (60), the
// separator lines LIN_DIV1 ... LIN_DIV3, the row counter QLIN and CAN_IMP.
void setPrintWorkingValues();

// The taxpayers marked for this print run (QUECON 2). They are taken once,
// when the marking ends, so marks another workstation sets or clears
// meanwhile do not change what is printed. Without them, FAZIMP takes the
// marks of the register when it starts.
void setMarkedTaxpayers(std::optional<std::set<std::string>> cpfs);
const std::optional<std::set<std::string>>& markedTaxpayers();
// The CPFs whose register record has IMPRE = "S".
std::set<std::string> registerMarks();
// Clears IMPRE of these CPFs only (each under its record lock, where it is
// still "S"), leaving marks that belong to other selections alone.
void clearMarks(const std::set<std::string>& cpfs);

// Prints for the chosen taxpayers (QUECON), what QUEIMP says: for one
// taxpayer the session's CPF; for those marked or all, every one in CPF
// order until Esc abandons the printing. A finished print is routed, an
// abandoned one or one that printed nothing is not.
void FAZIMP();
// Prints for the taxpayer of the register's current record.
void IMPRESSAO();

// The registry (QUEMOD 1 listing, short or complete as the user answers;
// 2 labels) of the chosen taxpayer, or of those marked, or of all.
void IMPR_CAD();
// One entry of the short listing, of the complete listing, one label.
void CAD_SIMPL();
void CAD_COMPL();
void CAD_ETI();
// The listing's heading, with the column titles when titles is 1.
void CABEC_CAD(int titles);

}  // namespace kdx2::printing
