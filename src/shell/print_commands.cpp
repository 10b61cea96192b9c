#include "shell/print_commands.h"

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/messages.h"
#include "common/numbers.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "platform/console/keys.h"
#include "printing/output.h"
#include "printing/routing.h"
#include "printing/selection.h"
#include "reports/darf.h"
#include "reports/declaration_print.h"
#include "shell/layouts.h"
#include "shell/main_menu.h"
#include "shell/selection/selection.h"
#include "shell/settings.h"
#include "shell/workspace/versions.h"
#include "shell/workspace/workspace.h"
#include "shell/workspace/year_summary.h"
#include "store/access.h"
#include "store/repair.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::shell {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kTaxpayerSlot = 3;

bool printable(int what) {
    if (what == 1) return printing::reportPagesAvailable();
    if (what == 2) return printing::paymentSlipsAvailable();
    return true;
}

// The last taxpayer worked on becomes the current one, with the name the
// register has for it.
void takeLastTaxpayer() {
    base::NamedValues& s = base::session();
    s.set("CPF", s.text("ULT_CPF"));
    store::Table* reg = store::workAreas().table(store::tables::kRegister);
    if (reg == nullptr && store::ABERTURA(store::tables::kRegister))
        reg = store::workAreas().table(store::tables::kRegister);
    if (reg == nullptr) return;
    reg->setOrder(1);
    const std::string cpf = base::alltrim(s.text("CPF"));
    if (!cpf.empty() && reg->seek(base::Value(cpf)))
        s.set("NOMECONTR", reg->get("NOMECONTR").text());
}

void pickTaxpayer(int order, ui::Get* field) {
    if (!selection::lists().taxpayers(order)) return;
    if (field != nullptr) field->setValue(base::Value(base::session().text("CPF")));
    selection::MOSTR_PAG(2);
}

// Taxpayers chosen one by one at the CPF prompt, each printed as chosen.
void chooseAndPrint() {
    selection::showTaxpayerWindow();
    common::MUDADIR(base::session().text("LOCARQ"));
    selection::MOSTR_PAG(2);
    const ui::KeyAction f1 = ui::bindKey(keys::F1, [](ui::Get* field) { pickTaxpayer(1, field); });
    const ui::KeyAction f2 =
        ui::bindKey(keys::function(2), [](ui::Get* field) { pickTaxpayer(2, field); });
    common::ESCRJAN(0, base::padRight("[F1] Ordem CPF  [F2] Ordem Nome [PgDn] Proximo Nome "
                                      "[PgUp] Nome anterior        ",
                                      common::kGridCols));
    while (selection::GET_CODIGO("CPF", "@r 999.999.999-99", 1, 2, 51)) {
    }
    ui::bindKey(keys::F1, f1);
    ui::bindKey(keys::function(2), f2);
    common::ESCRJAN(0, std::string(common::kGridCols, ' '));
}

// The marking list of the register; the taxpayers marked when it closes are
// the ones printed, and only their marks are cleared afterwards.
void markAndPrint() {
    if (store::workAreas().table(store::tables::kRegister) == nullptr &&
        !store::ABERTURA(store::tables::kRegister))
        return;
    store::workAreas().select(store::tables::kRegister);
    editor::EDITA(editor::screens::kMarking);
    const std::set<std::string> marked = printing::registerMarks();
    printing::setMarkedTaxpayers(marked);
    printing::FAZIMP();
    printing::clearMarks(marked);
}

// The taxpayer being printed, loaded apart from the declaration's scratch
// copies, which may hold unsaved work for F4.
bool loadTaxpayerForPrinting() {
    return workspace::loadForPrinting();
}

// Row 28 of the yearly summary: the complementary payment suggested for the
// month (columns 3 ... 14 of the grid are the months).
double suggestedComplementaryPayment(int month) {
    if (month < 1 || month > 12) return 0;
    return common::CAR_TO_VAL(sessionLists().MRESUMO[28][static_cast<size_t>(month) + 1]);
}

// Prints the last print file of this terminal again.
void printLastAgain() {
    printing::IMP_TXT(base::session().text("CPF"));
}

}  // namespace

void SELECIONA() {
    base::NamedValues& s = base::session();
    if (!printable(s.integer("QUEIMP"))) {
        common::AVISOSN(notAvailableMessage(), common::box::kInformation);
        return;
    }
    printing::setPrintWorkingValues();
    printing::setMarkedTaxpayers(std::nullopt);
    takeLastTaxpayer();
    switch (s.integer("QUECON")) {
        case 1:
            chooseAndPrint();
            break;
        case 2:
            markAndPrint();
            break;
        default:
            printing::FAZIMP();
            break;
    }
    printing::setMarkedTaxpayers(std::nullopt);
    store::FECHA_PROV();
    printing::closePrintOutput();
    common::FECHAJAN(kTaxpayerSlot);
    store::ABERTURA(store::tables::kRegister);
    // The lists drawn over the screen go; the command ends on the title.
    common::ENCHETELA(' ', s.text("COR_ENCH_C"));
    MTELA1(9);
}

void registerPrintCommands() {
    registerCommand(45, [](int) { printing::CONFIMP(); });
    registerCommand(51, [](int) { SELECIONA(); });
    registerCommand(52, [](int) { printLastAgain(); });
    selection::setTaxpayerPrint([] { printing::FAZIMP(); });
    printing::setReportPrinters({.FOLHA =
                                     [](int page) {
                                         return reports::FOLHA(
                                             page, [] { return workspace::computeYearSummary(); });
                                     },
                                 .PREP_DARF = [] { reports::PREP_DARF(); },
                                 .loadTaxpayer = loadTaxpayerForPrinting,
                                 .releaseTaxpayer = workspace::releasePrintingCopies});
    reports::setComplementarySource(suggestedComplementaryPayment);
}

}  // namespace kdx2::shell
