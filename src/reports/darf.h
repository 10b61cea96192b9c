#pragma once

#include <functional>
#include <string>

#include "reports/darf_selic.h"
#include "reports/darf_slip.h"

// The payment slip (DARF) of the loaded taxpayer: the carnê-leão of a month
// or a range of months, the suggested complementary payment, or any other
// federal tax typed in. The dialogue asks the kind, the months and the
// payment date; the slips are written to the print file (on the preprinted
// form or drawn on a blank sheet) and the carnê-leão can be recorded as paid
// in the taxpayer's data.
//
// What it reads of the loaded taxpayer: the monthly grid of the carnê-leão
// figures (tax::carneLeao()), the session's QUEANO, CPF, NOMECONTR, TELEFO
// and CAL_AUTO, and the suggested complementary payment of a month through
// the source below.
namespace kdx2::reports {

// The suggested complementary payment of a month (1 ... 12) of the loaded
// taxpayer, as the yearly summary shows it; 0 when there is none.
using ComplementarySource = std::function<double(int month)>;
// Installs the source (an empty function: every month 0).
void setComplementarySource(ComplementarySource source);

// The slip fields of the session, kept between slips.
DarfSlip& darfSlip();

// What one print run keeps between its slips (and, printing for several
// taxpayers, between taxpayers): the SELIC rates read once, the warnings
// already given, the answer to recording the payment, the slips on the
// current laser page.
struct DarfRun {
    SelicTable selic;
    bool selicRead = false;
    SelicWarnings warnings;
    std::string PAGDARF;  // "" not asked yet, "S" or "N"
    int slipsOnPage = 0;
    bool pageLengthSent = false;
    // A typed slip (kind 3) is the payer's, not each taxpayer's: a run for
    // several taxpayers prints it once.
    bool typedSlipPrinted = false;
};
DarfRun& darfRun();
// Starts a new run (the rates are read again when next needed).
void startDarfRun();

// PREP_DARF: the whole run for the taxpayer loaded: for one taxpayer, the
// dialogue, printing and routing under the slip's document name, repeated
// while "Outro tipo de DARF? " is answered yes; printing for several
// taxpayers, the dialogue is held with the first and its answers serve
// every one.
void PREP_DARF();

// DARF: the dialogue; true to print, false when the user gave up.
bool DARF();

// The taxpayer the slips of kinds 1 and 2 are for, the one loaded: CPF,
// name and phone.
void takeTaxpayer(DarfSlip& slip);

// BUS_IMPO: loads the principal, figures and due date of `month` for a slip
// of `kind` (`several`: the run is for several taxpayers) and works out the
// charges silently; true when the month has a slip to print.
bool BUS_IMPO(int month, int kind, bool several);

// CALCJU: the fine, interest and total of the slip. With recompute the
// rates are worked out again from the dates; without it the rates in force
// are used. Show 2 computes silently; otherwise the form shows the amounts.
void CALCJU(int show, int recompute);
// ACHAJURO for the slip's dates, warning about the SELIC table when needed.
double ACHAJURO();
// SO_JUROS: interest and total again after a typed interest rate.
void SO_JUROS();

// VE_MPAG: a month 1 ... 12 is accepted and sets the due date (offset 2 the
// carnê-leão, 1 the complementary payment). VE_MPG2: the last month of a
// range is 1 ... 12 and not before the first.
bool VE_MPAG(int month, int offset);
bool VE_MPG2(int first, int last);
// VEATRASO: the payment date is after the due date.
bool VEATRASO();
// BUSCPF: the payer of a kind-3 slip found by its CPF/CNPJ (as typed, with
// punctuation) in CPFDARF fills the slip's name and phone; false when not
// found.
bool BUSCPF(const std::string& document);
// The revenue code of a kind-3 slip is known (CODARF); its description
// goes to the slip's second description line. False after telling the user.
bool checkRevenueCode(const std::string& code);

// FAZ_DARF: prints the slips of the run into the print output (opened when
// not open yet) and, for the carnê-leão on yes to "Após imprimir o DARF
// lança o valor como pago no Carnê Leão?", records each month printed as
// paid. False when nothing could be printed (the print file or a table
// could not be opened).
bool FAZ_DARF();

// The drawing of the dialogue's windows.
void MTELA3(int screen);
void MTELA4(int screen);

}  // namespace kdx2::reports
