#include "printing/selection.h"

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
#include "store/access.h"
#include "store/repair.h"
#include "store/work_areas.h"

namespace kdx2::printing {

using namespace base::literals;

namespace {

constexpr int kRegister = 9;

ReportPrinters& printers() {
    static ReportPrinters plugged;
    return plugged;
}

std::optional<std::set<std::string>>& marks() {
    static std::optional<std::set<std::string>> taken;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { taken.reset(); });
    return taken;
}

store::Table* openRegister() {
    store::WorkAreas& areas = store::workAreas();
    if (areas.table(kRegister) == nullptr && !store::ABERTURA(kRegister)) return nullptr;
    areas.select(kRegister);
    return areas.table(kRegister);
}

std::string cpfOf(const store::Table& reg) {
    return base::alltrim(reg.get("CPF").text());
}

// The CPFs to print for, in CPF order (QUECON 2: those marked).
std::vector<std::string> taxpayersToPrint(store::Table& reg, int whom) {
    std::vector<std::string> cpfs;
    reg.setOrder(1);
    reg.goTop();
    for (; !reg.eof(); reg.skip()) {
        const std::string cpf = cpfOf(reg);
        if (whom != 2 || (marks() && marks()->count(cpf) > 0)) cpfs.push_back(cpf);
    }
    return cpfs;
}

void closeScratch() {
    store::FECHA_PROV();
}

// The report pages of the taxpayer: every page, or the one of QUEPAG,
// as many copies as NRO_VIAS asks.
void printReportPages() {
    const base::NamedValues& s = base::session();
    const int choice = s.integer("QUEPAG");
    const bool single = choice > 1;
    const int first = single ? choice - 1 : 1;
    const int last = single ? first : 6;
    if (single) output().setPosition(0, 0);
    const int copies = std::max(s.integer("NRO_VIAS"), 1);
    for (int copy = 1; copy <= copies; ++copy) {
        for (int page = first; page <= last; ++page) {
            const bool printed = printers().FOLHA(page);
            if (PAREIMP()) return;
            if (single && page != 10 && printed) output().eject();
        }
    }
}

bool available(int what) {
    if (what == 1) return reportPagesAvailable();
    if (what == 2) return paymentSlipsAvailable();
    return true;
}

// The month question of the cash books and of the whole declaration;
// false when abandoned.
bool askMonths() {
    base::NamedValues& s = base::session();
    const int page = s.integer("QUEPAG");
    if (s.integer("QUEIMP") != 1 || (page != 1 && page != 6 && page != 7)) return true;
    s.set("CALC_SALD", "N");
    s.set("AVANCA_PAG", "S");
    s.set("IMPR_RESU", "N");
    return ESCOLHE_COMO(page == 1 ? 2 : page - 6);
}

// Sends what this run printed on, unless it was abandoned.
void finish(const std::string& documentName) {
    const bool printed = printOutputOpen();
    const bool stored = closePrintOutput();
    if (printed && stored && !base::session().flag("CAN_IMP")) IMP_TXT(documentName);
}

}  // namespace

void setReportPrinters(ReportPrinters plugged) {
    printers() = std::move(plugged);
}

bool reportPagesAvailable() {
    return static_cast<bool>(printers().FOLHA);
}

bool paymentSlipsAvailable() {
    return static_cast<bool>(printers().PREP_DARF);
}

void setPrintWorkingValues() {
    base::NamedValues& s = base::session();
    s.set("NROLINHAS", 60);
    s.set("LIN_DIV1", s.text("STRING0") + std::string(79, '-'));
    s.set("LIN_DIV2", s.text("STRING1") + std::string(132, '-'));
    s.set("LIN_DIV3", s.text("STRING1") + std::string(105, '-'));
    s.set("QLIN", 0);
    s.set("CAN_IMP", false);
}

void setMarkedTaxpayers(std::optional<std::set<std::string>> cpfs) {
    marks() = std::move(cpfs);
}

const std::optional<std::set<std::string>>& markedTaxpayers() {
    return marks();
}

std::set<std::string> registerMarks() {
    std::set<std::string> cpfs;
    store::Table* reg = openRegister();
    if (reg == nullptr) return cpfs;
    reg->setOrder(1);
    for (reg->goTop(); !reg->eof(); reg->skip())
        if (base::alltrim(reg->get("IMPRE").text()) == "S") cpfs.insert(cpfOf(*reg));
    return cpfs;
}

void clearMarks(const std::set<std::string>& cpfs) {
    store::Table* reg = openRegister();
    if (reg == nullptr) return;
    try {
        reg->setOrder(1);
        for (const std::string& cpf : cpfs) {
            if (!reg->seek(base::Value(cpf)) || base::alltrim(reg->get("IMPRE").text()) != "S")
                continue;
            if (!store::REC_LOCK(5)) continue;
            reg->put("IMPRE", base::Value(" "));
            reg->unlock();
        }
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
}

void FAZIMP() {
    base::NamedValues& s = base::session();
    s.set("CAN_IMP", false);
    const int what = s.integer("QUEIMP");
    const int whom = s.integer("QUECON");
    if (!available(what)) return;
    store::Table* reg = openRegister();
    if (reg == nullptr) return;
    if (!askMonths()) return;
    if (whom == 2 && !marks()) marks() = registerMarks();
    try {
        if (whom == 1) {
            const std::string cpf = base::alltrim(s.text("CPF"));
            reg->setOrder(1);
            if (reg->seek(base::Value(cpf))) IMPRESSAO();
            if (what != 2) finish(cpf);
            closeScratch();
            return;
        }
        for (const std::string& cpf : taxpayersToPrint(*reg, whom)) {
            if (s.flag("CAN_IMP")) break;
            reg = openRegister();
            if (reg == nullptr) break;
            reg->setOrder(1);
            if (!reg->seek(base::Value(cpf))) continue;
            s.set("CPF", cpf);
            IMPRESSAO();
            // The registry's one pass printed every person.
            if (what == 3) break;
        }
        closeScratch();
        // Slips for a PDF printer went out taxpayer by taxpayer; the others
        // are still in the print file, which goes now.
        finish(what == 3 ? "cadastro" : "Varios CPFs");
    } catch (const base::Error& error) {
        closePrintOutput();
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
}

void IMPRESSAO() {
    base::NamedValues& s = base::session();
    closeScratch();
    store::Table* reg = openRegister();
    if (reg == nullptr) return;
    s.set("CPF", reg->get("CPF").text());
    s.set("NOMECONTR", reg->get("NOMECONTR").text());
    const int what = s.integer("QUEIMP");
    if (what == 1 || what == 2) {
        common::MENS(0, "Imprimindo " + base::alltrim(s.text("NOMECONTR")));
        if (printers().loadTaxpayer && !printers().loadTaxpayer()) return;
    }
    // However the taxpayer's printing ends, what was loaded for it goes.
    struct Release {
        ~Release() {
            if (printers().releaseTaxpayer) printers().releaseTaxpayer();
        }
    } release;
    if ((what == 1 || what == 2) && PAREIMP()) return;
    if (what != 2 && !printOutputOpen() && !PREP_IMP()) {
        s.set("CAN_IMP", true);
        return;
    }
    if (what == 1 && printers().FOLHA) printReportPages();
    if (what == 2 && printers().PREP_DARF) printers().PREP_DARF();
    if (what == 3) IMPR_CAD();
}

}  // namespace kdx2::printing
