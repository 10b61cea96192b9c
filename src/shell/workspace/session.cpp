// The declaration and cash-book commands around the workspace, the time in
// use, the progress bar and the saves between pages.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "shell/workspace/hooks.h"
#include "shell/workspace/scratch.h"
#include "shell/workspace/values_io.h"
#include "shell/workspace/versions.h"
#include "shell/workspace/working_values.h"
#include "shell/workspace/workspace.h"
#include "shell/workspace/year_summary.h"
#include "shell/workspace/year_tables.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"

namespace kdx2::shell::workspace {

using namespace base::literals;

namespace {

constexpr long kDay = 86400;
// The light-shade block of the progress bar.
constexpr char kShade = static_cast<char>(176);
constexpr size_t kMessageBarWidth = 23;

Display gDefaultDisplay;
Display* gDisplay = &gDefaultDisplay;

std::function<void()>& yearComputation() {
    static std::function<void()> computation;
    return computation;
}

// Seconds from `start` to `end`, the end on the next day when it is earlier.
long elapsed(long start, long end) {
    return end >= start ? end - start : end + kDay - start;
}

// Step 7 of the declaration: the register no longer marks the taxpayer.
void clearRegisterMark(const std::string& cpf) {
    store::WorkAreas& areas = store::workAreas();
    if (!areas.table(kRegister) && !store::ABERTURA(kRegister)) return;
    store::Table& reg = areas.area(kRegister);
    areas.select(kRegister);
    if (!reg.seek(base::Value(cpf)) || !store::REC_LOCK(5)) return;
    reg.put("ORDEM", base::Value(0));
    reg.unlock();
}

}  // namespace

// ---- Display ----

void Display::working(const std::string& text) {
    text_ = text;
    store::feedback().showMessage(text);
}

void Display::progress(const std::string& bar, int place) {
    const std::string shown = place == 0 ? bar.substr(0, kMessageBarWidth) : bar;
    store::feedback().showMessage(text_.empty() ? shown : text_ + " " + shown);
}

void Display::done() {
    text_.clear();
    store::feedback().closeMessage();
}

Display& display() {
    return *gDisplay;
}

void setDisplay(Display* display) {
    gDisplay = display ? display : &gDefaultDisplay;
}

void MOSTRADOR(int count, int place) {
    base::NamedValues& s = base::session();
    std::string bar = s.text("TAM_CALC");
    bar.append(static_cast<size_t>(std::max(count, 0)), kShade);
    s.set("TAM_CALC", bar);
    display().progress(bar, place);
}

// ---- Computations ----

void recomputeYear() {
    if (yearComputation()) {
        yearComputation()();
        return;
    }
    // The monthly figures: dependants numbered and counted, the entries
    // summed into the accumulators, the grid rebuilt from them; then the
    // company income, payments, capital gains and the yearly summary.
    tax::CarneLeao& carne = tax::carneLeao();
    tax::NRODP(carne);
    tax::SOMA_FIS(carne, tax::EntrySource::Workspace, 1);
    tax::RESOMA(carne);
    computeYearSummary(true);
}

void setYearComputation(std::function<void()> computation) {
    yearComputation() = std::move(computation);
}

// ---- Time and size ----

long VETEMPO() {
    base::NamedValues& s = base::session();
    const double now = static_cast<double>(clock().secondsSinceMidnight());
    if (s.flag("SEMHORA")) s.set("INI_DECLA", now);
    s.set("FIM_DECLA", now);
    const long spent = static_cast<long>(s.number("TEM_USO")) +
                       elapsed(static_cast<long>(s.number("INI_DECLA")), static_cast<long>(now));
    s.set("TEMGAST", static_cast<double>(spent));
    return spent;
}

long VETAMHO() {
    long bytes = 0;
    for (int area = 11; area <= 18; ++area) {
        store::Table* table = store::workAreas().table(area);
        if (!table) continue;
        long recordSize = 1;  // the deleted mark
        for (const store::FieldDef& field : table->structure())
            recordSize += field.width;
        bytes += recordSize * static_cast<long>(table->recCount());
    }
    return bytes;
}

// ---- Register ----

bool PREP_REG(const std::string& cpf) {
    store::WorkAreas& areas = store::workAreas();
    if (!areas.table(kRegister) && !store::ABERTURA(kRegister)) return false;
    store::Table& reg = areas.area(kRegister);
    areas.select(kRegister);
    reg.setOrder(1);
    if (reg.seek(base::Value(cpf))) return store::REC_LOCK(5);
    if (!store::ADD_REC(5)) return false;
    reg.put("CPF", base::Value(cpf));
    return true;
}

// ---- Saves between pages ----

bool SAL_DEC() {
    store::WorkAreas& areas = store::workAreas();
    const int area = areas.current();
    store::Table* table = areas.table(area);
    const uint32_t recno = table ? table->recNo() : 0;
    const bool saved = SALVATUDO(0);
    areas.select(area);
    if (store::Table* again = areas.table(area); again && recno) {
        again->goTo(recno);
        if (again->eof()) again->goTop();
    }
    return saved;
}

bool autoSaveWhenDue() {
    const base::NamedValues& s = base::session();
    const int minutes = s.integer("TEMP_SAL");
    if (minutes < 1 || minutes > 97) return false;
    const long since =
        elapsed(static_cast<long>(s.number("SEM_SALV")), clock().secondsSinceMidnight());
    if (since / 60 < minutes) return false;
    return SAL_DEC();
}

void checkpoint() {
    storeWorkingValues(currentCpf());
    for (int table = kFirstTable; table <= kLastTable; ++table)
        if (store::Table* copy = store::workAreas().table(scratchArea(table))) copy->flush();
}

void leaveWithoutSaving() {
    try {
        checkpoint();
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
    closeScratches();
}

// ---- Commands ----

void DISTRIBUI(int command, Screens& screens) {
    base::NamedValues& s = base::session();
    s.set("CPF", s.get("ULT_CPF"));
    if (command == 12) {
        if (screens.chooseTaxpayer(12)) screens.runCashBook();
        return;
    }
    if (command != 11) return;
    createWorkingValues();
    DECLARA(screens);
}

void DECLARA(Screens& screens) {
    base::NamedValues& s = base::session();
    for (;;) {
        s.set("LRECUPERA", false);
        if (!screens.chooseTaxpayer(11)) break;
        s.set("LSAI", false);
        s.set("CIGNORE", "S");
        screens.runDeclaration();
        if (base::alltrim(s.text("CIGNORE")) == "I") {
            leaveWithoutSaving();
            announceTaxpayerClosed();
            break;
        }
        const bool saved = SALVATUDO(1);
        closeScratches();
        announceTaxpayerClosed();
        // Not saved: the scratch copies hold the work; the loop ends so that
        // they are not replaced by the next taxpayer before F4 brings them back.
        if (!saved) break;
    }
    clearRegisterMark(currentCpf());
    discardWorkingValues();
    screens.showTitle();
}

}  // namespace kdx2::shell::workspace
