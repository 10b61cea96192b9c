// The slip's computations and the print run: BUS_IMPO, CALCJU and the
// checks of the dialogue, FAZ_DARF and PREP_DARF.

#include <algorithm>
#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "printing/output.h"
#include "printing/questions.h"
#include "printing/routing.h"
#include "reports/darf.h"
#include "reports/darf_calendar.h"
#include "reports/darf_form.h"
#include "reports/darf_payments.h"
#include "reports/darf_print.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "tax/carne.h"

namespace kdx2::reports {

using namespace base::literals;

namespace {

constexpr int kRevenueCodesArea = 46;  // CODARF
constexpr int kPayersArea = 48;        // CPFDARF
constexpr char kEscape = '\x1B';

ComplementarySource& complementary() {
    static ComplementarySource source;
    return source;
}

int taxYear() {
    return base::session().integer("QUEANO");
}

bool severalTaxpayers() {
    return base::session().integer("QUECON") > 1;
}

bool laserPrinter() {
    return base::session().integer("TEM_LASER") == 1;
}

bool preprintedForm() {
    return base::session().integer("QUEMOD") != 2;
}

bool pdfPrinter() {
    return base::asciiUpper(base::session().text("NOMEIMP")).find("PDF") != std::string::npos;
}

// Opens a look-up table of the install folder when it is not open; false
// after telling the user when it cannot be.
store::Table* lookupTable(int area, const char* name) {
    store::WorkAreas& areas = store::workAreas();
    if (areas.table(area) == nullptr && !store::ABERTURA(area)) {
        common::AVISOSN("A tabela "_cp + name + " não pôde ser aberta."_cp, common::box::kStop);
        return nullptr;
    }
    return areas.table(area);
}

bool laserForms() {
    return laserPrinter() && preprintedForm();
}

void ejectLaserPage(DarfRun& run) {
    printing::output().eject();
    base::session().set("QLIN", 0);
    run.slipsOnPage = 0;
}

// A laser page holds three slips; a page eject follows a full one.
void countLaserSlip(DarfRun& run) {
    if (laserForms() && ++run.slipsOnPage == kLaserSlipsPerPage) ejectLaserPage(run);
}

// The printing ends on a whole page.
void endLaserRun(DarfRun& run) {
    if (laserForms() && run.slipsOnPage > 0) ejectLaserPage(run);
}

void sendPageLength(DarfRun& run) {
    if (!laserForms() || run.pageLengthSent) return;
    printing::output().control(std::string(1, kEscape) + base::session().text("LIN72"));
    run.pageLengthSent = true;
}

// The carnê-leão months the run prints and records.
struct PrintedMonth {
    int month;
    double principal;
    double due;
};

// Prints the slip of one month (or the typed slip of kind 3), as many
// copies as asked; true when it printed.
bool printSlip(DarfRun& run, DarfSlip& slip) {
    const int copies = std::max(base::session().integer("NRO_VIAS"), 1);
    bool printed = false;
    for (int copy = 0; copy < copies; ++copy) {
        if (!IMPRDARF(slip)) break;
        printed = true;
        countLaserSlip(run);
    }
    return printed;
}

// A new run; on the preprinted form it starts with the alignment pauses.
void startRun() {
    startDarfRun();
    if (preprintedForm()) base::session().set("FEZ_TES", "S");
}

// Closes the print output and sends it on under `name`, unless the user
// abandoned the printing.
void completeOutput(const std::string& name) {
    const bool stored = printing::closePrintOutput();
    if (stored && !base::session().flag("CAN_IMP")) printing::IMP_TXT(name);
}

}  // namespace

void takeTaxpayer(DarfSlip& slip) {
    const base::NamedValues& s = base::session();
    slip.CPF = base::alltrim(s.text("CPF"));
    slip.NOMECONTR = base::rtrim(s.text("NOMECONTR"));
    slip.TELEFO = base::alltrim(s.text("TELEFO"));
}

void setComplementarySource(ComplementarySource source) {
    complementary() = std::move(source);
}

// The slip's months start at the current month.
DarfSlip freshSlip() {
    DarfSlip first;
    first.MES_PGTO = first.MES_FINAL = base::Date::today().month();
    return first;
}

DarfSlip& darfSlip() {
    static DarfSlip slip = freshSlip();
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { slip = freshSlip(); });
    return slip;
}

DarfRun& darfRun() {
    static DarfRun run;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { run = DarfRun(); });
    return run;
}

void startDarfRun() {
    darfRun() = DarfRun();
}

// ---- Computations ----

bool VE_MPAG(int month, int offset) {
    if (month < 1 || month > 12) return false;
    DarfSlip& slip = darfSlip();
    slip.DF_VCTO = ULTIMO_DIA(taxYear(), month, offset);
    slip.PROX_UTIL = PROX_DIA(slip.DF_VCTO);
    return true;
}

bool VE_MPG2(int first, int last) {
    return last >= 1 && last <= 12 && last >= first;
}

bool VEATRASO() {
    const DarfSlip& slip = darfSlip();
    return !slip.DF_VCTO.empty() && !slip.DF_PGTO.empty() && slip.DF_VCTO < slip.DF_PGTO;
}

double ACHAJURO() {
    DarfRun& run = darfRun();
    if (!run.selicRead) {
        run.selic = readSelicTable();
        run.selicRead = true;
    }
    const DarfSlip& slip = darfSlip();
    const InterestRate interest = ACHAJURO(slip.DF_VCTO, slip.DF_PGTO, run.selic);
    run.warnings.afterInterest(interest, run.selic, base::Date::today());
    return interest.rate;
}

void CALCJU(int show, int recompute) {
    DarfSlip& slip = darfSlip();
    if (recompute == 1) {
        if (!VEATRASO()) {
            slip.DF_MULTA = 0;
            slip.DF_JURO = 0;
        } else {
            if (slip.QUEDARF == kComplementary && show != 2)
                common::AVISOSN({"Pagar imposto complementar com atraso?",
                                 "Lance esse valor no mês seguinte"_cp},
                                common::box::kInformation);
            slip.DF_JURO = ACHAJURO();
            slip.DF_MULTA = fineRate(slip.DF_VCTO, slip.DF_PGTO);
        }
    }
    const Charges charges = chargesOf(slip.IMPO_REAL, slip.DF_MULTA, slip.DF_JURO);
    slip.VAL_MULTA = charges.fine;
    slip.VAL_JURO = charges.interest;
    slip.VAL_TOTAL = charges.total;
    if (show != 2 && slipFormShown()) showChargesOnForm();
}

void SO_JUROS() {
    DarfSlip& slip = darfSlip();
    slip.VAL_JURO = chargesOf(slip.IMPO_REAL, 0, slip.DF_JURO).interest;
    slip.VAL_TOTAL = base::roundDecimal(slip.IMPO_REAL + slip.VAL_MULTA + slip.VAL_JURO, 2);
    if (slipFormShown()) showChargesOnForm();
}

bool BUS_IMPO(int month, int kind, bool several) {
    DarfSlip& slip = darfSlip();
    if (month < 1 || month > 12) return false;
    takeTaxpayer(slip);
    if (kind == kCarneLeao) {
        const MonthFigures figures = monthFigures(tax::carneLeao().REC_MENSAL, month);
        if (several && figures.due == 0) return false;
        loadCarneMonth(slip, figures, taxYear(), month);
    } else if (kind == kComplementary) {
        const double suggested = complementary() ? complementary()(month) : 0.0;
        loadComplementaryMonth(slip, suggested, taxYear(), month);
    } else {
        return false;
    }
    slip.PROX_UTIL = PROX_DIA(slip.DF_VCTO);
    CALCJU(2, 1);
    return slip.IMPO_REAL != 0;
}

bool BUSCPF(const std::string& document) {
    store::Table* payers = lookupTable(kPayersArea, "CPFDARF");
    const std::string key = base::alltrim(document);
    if (payers == nullptr || key.empty()) return false;
    try {
        payers->setOrder(1);
        if (!payers->seek(base::Value(key)) || base::alltrim(payers->get("QUALCPF").text()) != key)
            return false;
        DarfSlip& slip = darfSlip();
        slip.NOMECONTR = base::rtrim(payers->get("NOMECONTR").text());
        slip.TELEFO = base::alltrim(payers->get("TELEFO").text());
        return true;
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
        return false;
    }
}

bool checkRevenueCode(const std::string& code) {
    const std::string key = base::alltrim(code);
    store::Table* codes = lookupTable(kRevenueCodesArea, "CODARF");
    if (codes == nullptr) return false;
    try {
        codes->setOrder(1);
        if (key.size() == 4 && codes->seek(base::Value(key)) &&
            base::alltrim(codes->get("CODIGO").text()) == key) {
            darfSlip().DF_OUTR[1] =
                base::padRight(base::alltrim(codes->get("ESPECIFICA").text()), kTextWidth);
            return true;
        }
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
        return false;
    }
    common::AVISOSN({"Código de receita "_cp + key + " não cadastrado."_cp,
                     "Use um dos códigos da tabela CODARF."_cp},
                    common::box::kStop);
    return false;
}

// ---- Printing ----

bool FAZ_DARF() {
    base::NamedValues& s = base::session();
    DarfRun& run = darfRun();
    DarfSlip& slip = darfSlip();
    if (!printing::printOutputOpen()) {
        if (!printing::PREP_IMP()) {
            s.set("CAN_IMP", true);
            return false;
        }
        s.set("QLIN", 0);
    }
    PaymentTables tables;
    if (slip.QUEDARF == kCarneLeao) {
        if (run.PAGDARF.empty())
            run.PAGDARF =
                common::AVISOSN("Após imprimir o DARF lança o valor como pago no Carnê Leão?"_cp,
                                common::box::kYesNo) == "S"
                    ? "S"
                    : "N";
        if (run.PAGDARF == "S" && !tables.open()) return false;
    }
    sendPageLength(run);

    std::vector<PrintedMonth> printed;
    if (slip.QUEDARF == kOther) {
        printSlip(run, slip);
    } else {
        const bool several = severalTaxpayers();
        const int last =
            slip.QUEDARF == kCarneLeao && slip.QUANTDARF == 2 ? slip.MES_FINAL : slip.MES_PGTO;
        // The payment date of the dialogue holds for every month printed.
        const base::Date payment = slip.DF_PGTO;
        for (int month = slip.MES_PGTO; month <= last; ++month) {
            if (!BUS_IMPO(month, slip.QUEDARF, several)) continue;
            // The complementary payment comes back on its due date.
            if (slip.DF_PGTO != payment) {
                slip.DF_PGTO = payment;
                CALCJU(2, 1);
            }
            PREENCHE(slip, taxYear(), month);
            if (printSlip(run, slip)) printed.push_back({month, slip.IMPO_REAL, slip.IMPDEV_REAL});
            if (printing::PAREIMP()) break;
        }
    }
    endLaserRun(run);
    // Only slips that went into the print file whole count as paid.
    const bool written = printing::output().error().empty() && !s.flag("CAN_IMP");
    if (tables.isOpen() && written) {
        const bool soTotais = s.flag("CAL_AUTO");
        for (const PrintedMonth& month : printed)
            if (!recordPayment(slip.CPF, month.month, month.principal, month.due, soTotais)) break;
    }
    tables.close();
    return true;
}

void PREP_DARF() {
    base::NamedValues& s = base::session();
    if (severalTaxpayers()) {
        // The dialogue is held with the first taxpayer of the run, which
        // finds no print output open yet; the others print with its answers.
        if (!printing::printOutputOpen()) {
            startRun();
            if (!DARF()) {
                s.set("CAN_IMP", true);
                return;
            }
        }
        if (darfSlip().QUEDARF == kOther) {
            if (darfRun().typedSlipPrinted) return;
            darfRun().typedSlipPrinted = true;
        }
        FAZ_DARF();
        if (pdfPrinter()) {
            completeOutput(slipDocumentName(darfSlip()));
            printing::PREP_IMP();
        }
        return;
    }
    startRun();
    while (DARF()) {
        const bool printed = FAZ_DARF();
        if (printed)
            completeOutput(slipDocumentName(darfSlip()));
        else
            printing::closePrintOutput();
        darfRun().PAGDARF.clear();
        if (common::AVISOSN("Outro tipo de DARF? ", common::box::kYesNo) != "S") break;
    }
}

}  // namespace kdx2::reports
