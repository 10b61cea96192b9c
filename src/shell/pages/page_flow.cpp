// The page loop of the open declaration and the keys that move between
// pages.

#include <optional>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/browse.h"
#include "platform/console/keys.h"
#include "shell/cashbook/cashbook.h"
#include "shell/layouts.h"
#include "shell/main_menu.h"
#include "shell/pages/identification.h"
#include "shell/pages/pages.h"
#include "shell/workspace/workspace.h"
#include "store/feedback.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::shell::pages {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kMessageSlot = 10;
constexpr int kPageSlot = 3;

int gPagesRunning = 0;
bool gOwnFormReading = false;

std::optional<int>& pendingPage() {
    static std::optional<int> page;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] {
        page.reset();
        gPagesRunning = 0;
        gOwnFormReading = false;
    });
    return page;
}

bool hasRuralActivity() {
    return base::alltrim(base::session().text("TEMRURAL")) == "S";
}

bool isFunctionKey(int key, int n) {
    return key == keys::function(n);
}

// One page shown, counted so that a leave or a menu choice can end it.
class RunningPage {
  public:
    RunningPage() { ++gPagesRunning; }
    ~RunningPage() { --gPagesRunning; }
    RunningPage(const RunningPage&) = delete;
    RunningPage& operator=(const RunningPage&) = delete;
};

// Page 1: the holder's company income and, when there are dependants,
// theirs; Tab goes from the first to the second, Shift+Tab back.
void incomePage() {
    base::NamedValues& s = base::session();
    const bool dependants = s.integer("QTD_DEP") > 0;
    int screen = editor::screens::kIncome;
    for (;;) {
        editor::EDITA(screen);
        if (pendingPage() || s.flag("LSAI")) return;
        const int key = s.integer("ULTTECLA");
        if (dependants && key == keys::Tab && screen == editor::screens::kIncome &&
            s.integer("TELA") == 1) {
            screen = editor::screens::kDependantsIncome;
            continue;
        }
        if (key == keys::ShiftTab && screen == editor::screens::kDependantsIncome &&
            s.integer("TELA") == 1) {
            screen = editor::screens::kIncome;
            continue;
        }
        return;
    }
}

// Keeps what was typed in the scratch copies between pages, so a crash or a
// leave without saving loses nothing (F4 brings it back).
void keepWorkBetweenPages() {
    try {
        workspace::checkpoint();
    } catch (const base::Error& e) {
        store::feedback().alert(e.what());
    }
}

}  // namespace

int lastPage(bool rural) {
    return rural ? 13 : 9;
}

NextStep nextPage(int key, const FlowState& st) {
    NextStep n;
    n.newTaxpayer = st.newTaxpayer;
    n.part = st.part;
    const int p = st.page;
    const int max = lastPage(st.rural);
    auto to = [&n](int page) {
        n.page = page;
        if (page == 3) n.part = 31;
        return n;
    };
    auto asEnterOnPage3 = [&]() {
        if (st.part == 31) {
            n.page = 3;
            n.part = 32;
            return n;
        }
        return to(4);
    };
    if (key == keys::Esc) return to(0);
    for (int f = 1; f <= 6; ++f)
        if (isFunctionKey(key, f)) return to(f);
    if (isFunctionKey(key, 7)) {
        n.runCashBook = true;
        return to(st.rural ? 10 : 5);
    }
    if (isFunctionKey(key, 10)) return to(st.rural ? 10 : 5);
    if (isFunctionKey(key, 11)) return to(st.rural ? 11 : p);
    if (isFunctionKey(key, 12)) return to(st.rural ? 12 : 5);
    if (key == keys::ShiftTab) {
        if (p == 1 || p == 6 || p == 10) return to(6);
        if (p >= 2 && p <= max) return to(p - 1);
        return to(0);
    }
    if (key == keys::Tab) {
        if (st.newTaxpayer && p == 5) {
            n.newTaxpayer = false;
            return to(1);
        }
        if (p == 6) return to(st.rural ? 10 : 1);
        if (p == max) return to(10);
        return to(p + 1);
    }
    if (key == keys::Enter) {
        // A new taxpayer goes from the identification (and the summary) to
        // the first page once.
        if (st.newTaxpayer && (p == 5 || p == 6)) {
            n.newTaxpayer = false;
            return to(1);
        }
        if (p == 3) return asEnterOnPage3();
        return to(0);
    }
    if (st.pageChosen) return to(st.chosenPage);
    if (st.newTaxpayer && p == 6) {
        n.newTaxpayer = false;
        return to(1);
    }
    if (p == 3) return asEnterOnPage3();
    if (p == 13 && !st.rural) return to(5);
    if (p <= 6 || p >= 11) return to(p + 1);
    return to(0);
}

void GTELA(int page) {
    base::NamedValues& s = base::session();
    switch (page) {
        case 1:
            incomePage();
            catchUpSums();
            break;
        case 2:
            // Dependants and payments changed on other pages count in the
            // months' deductions: the grid is worked out again before it shows.
            tax::RESOMA(tax::carneLeao());
            editor::EDITA(editor::screens::kMonthlyReceipts);
            tax::RESOMA(tax::carneLeao());
            break;
        case 3:
            editor::EDITA(editor::screens::kDependants);
            s.set("QTD_DEP", tax::NRODP(tax::carneLeao()));
            break;
        case 4:
            editor::EDITA(editor::screens::kPayments);
            break;
        case 5:
            MRODAPE(5);
            identificationForm();
            break;
        case 6:
            patrimonyTotals();
            editor::EDITA(editor::screens::kYearlySummary);
            break;
        case 10:
            editor::EDITA(editor::screens::kRuralProperties);
            break;
        case 11:
            SOMA_RUR(2);
            editor::EDITA(editor::screens::kRuralReceipts);
            break;
        case 12:
            MRODAPE(12);
            ruralResultForm();
            break;
        default:  // pages 7, 8, 9 and 13 hold nothing
            break;
    }
}

void GIRO(int page) {
    base::NamedValues& s = base::session();
    s.set("TELA", page);
    if (s.flag("LSAI")) return;
    common::ENCHETELA(' ', s.text("COR_ENCH_C"));
    for (;;) {
        const bool rural = hasRuralActivity();
        s.set("TELAMAX", lastPage(rural));
        const int tela = s.integer("TELA");
        if (tela <= 0 || s.flag("LSAI") || tela > lastPage(rural)) break;
        s.set("NT", tela);
        MTELA(tela);
        workspace::VETEMPO();
        if (tela != 10) s.set("TELANT", tela);
        s.set("TECLAMUDA", false);
        common::FECHAJAN(kMessageSlot);
        {
            const RunningPage running;
            GTELA(tela);
        }
        common::FECHAJAN(kPageSlot);
        common::MENS();
        keepWorkBetweenPages();
        workspace::autoSaveWhenDue();
        if (s.flag("LSAI")) break;
        if (const std::optional<int> chosen = pendingPage()) {
            pendingPage().reset();
            s.set("TELA", *chosen);
            continue;
        }
        FlowState state;
        state.page = tela;
        state.part = s.integer("OPCIR_1");
        state.rural = hasRuralActivity();
        state.newTaxpayer = s.flag("PVEZ");
        state.pageChosen = s.flag("TECLAMUDA");
        state.chosenPage = s.integer("TELA");
        const NextStep next = nextPage(s.integer("ULTTECLA"), state);
        if (next.runCashBook) runRuralCashBook();
        s.set("PVEZ", next.newTaxpayer);
        if (next.page == 3) s.set("OPCIR_1", next.part);
        s.set("TELA", next.page);
        if (next.page == 0) break;
    }
    common::FECHAJAN(kPageSlot);
}

bool pageRunning() {
    return gPagesRunning > 0;
}

void choosePage(int page) {
    pendingPage() = page;
    endRunningPage();
}

void endRunningPage() {
    if (!pageRunning()) return;
    if (gOwnFormReading && ui::readActive()) {
        ui::endRead(true);
        return;
    }
    // A list cell being edited keeps what was typed: its edit ends as if
    // confirmed, and then the list is left.
    if (ui::readActive()) ui::endRead(true);
    ui::pushKey(keys::Esc);
}

bool QUETEL(int page, bool pageDown) {
    base::NamedValues& s = base::session();
    const int shown = s.integer("TELA");
    if (page == shown) {
        s.set("TECLAMUDA", false);
        return false;
    }
    s.set("ULTTECLA", pageDown ? keys::PgDn : ui::lastKey());
    s.set("TELANT", shown);
    s.set("TELVEL", shown);
    s.set("TELA", page);
    s.set("TECLAMUDA", true);
    return true;
}

bool MUDATEL1() {
    if (base::session().integer("OPC") == editor::screens::kCashBook) return false;
    return QUETEL(1);
}

bool MUDATEL2() {
    return ui::lastKey() == keys::altFunction(2) ? QUETEL(12) : QUETEL(11);
}

void MUDATEL(int key) {
    base::NamedValues& s = base::session();
    s.set("ULTTECLA", key);
    s.set("TECLAMUDA", true);
    if (key == keys::altFunction(1) || key == keys::altFunction(2))
        s.set("TELA", key == keys::altFunction(1) ? 11 : 12);
    ui::endRead(true);
}

void MUDATAB(int key) {
    base::NamedValues& s = base::session();
    s.set("ULTTECLA", key);
    s.set("TECLAMUDA", true);
    ui::endRead(true);
}

namespace {

struct SavedKey {
    int key;
    ui::KeyAction previous;
};

std::vector<SavedKey>& pageKeyStack() {
    static std::vector<SavedKey> saved;
    return saved;
}

void bindPageKey(int key, ui::KeyAction action) {
    pageKeyStack().push_back({key, ui::bindKey(key, std::move(action))});
}

}  // namespace

PageKeys::PageKeys() {
    gOwnFormReading = true;
    bindPageKey(keys::Tab, [](ui::Get*) { MUDATAB(keys::Tab); });
    bindPageKey(keys::ShiftTab, [](ui::Get*) { MUDATAB(keys::ShiftTab); });
    for (const int n : {1, 2, 3, 4, 5, 6, 7, 10, 11, 12}) {
        const int key = keys::function(n);
        bindPageKey(key, [key](ui::Get*) { MUDATEL(key); });
    }
    for (const int n : {1, 2}) {
        const int key = keys::altFunction(n);
        bindPageKey(key, [key](ui::Get*) { MUDATEL(key); });
    }
    bindPageKey(keys::alt('U'), [](ui::Get*) { CALC_UFIR(); });
}

PageKeys::~PageKeys() {
    std::vector<SavedKey>& saved = pageKeyStack();
    while (!saved.empty()) {
        ui::bindKey(saved.back().key, std::move(saved.back().previous));
        saved.pop_back();
    }
    gOwnFormReading = false;
}

ui::ReadResult readPageForm(ui::GetList& fields) {
    base::NamedValues& s = base::session();
    ui::ReadOptions options;
    for (;;) {
        s.set("TECLAMUDA", false);
        const ui::ReadResult result = ui::readFields(fields, options);
        const bool endedOutside =
            result.exit == ui::ReadExit::Ended || result.exit == ui::ReadExit::Cancelled;
        if (!endedOutside || result.position < 0 ||
            result.position >= static_cast<int>(fields.size()))
            return result;
        ui::Get& field = *fields[static_cast<size_t>(result.position)];
        if (!field.valid || field.valid(field)) return result;
        // Refused: a page key waits until the value is right; a leave or a
        // page chosen from the menu goes on without it.
        if (s.flag("LSAI") || pendingPage() || !s.flag("TECLAMUDA")) return result;
        options.start = result.position;
    }
}

bool requireRuralActivity() {
    if (hasRuralActivity()) return true;
    // One sentence, broken where the box would cut it.
    common::AVISOSN({"Esse contribuinte não esta selecionado que tenha necessidade"_cp,
                     "da Atividade Rural. Se for o caso vá na tela de identificação"_cp,
                     "e marque essa condição."_cp},
                    common::box::kStop);
    return false;
}

void runRuralCashBook() {
    if (requireRuralActivity()) cashbook::openFromDeclaration();
}

void connectPageHooks(editor::Hooks& h) {
    h.QUETEL = [](int page) { return QUETEL(page); };
    h.MUDATEL1 = MUDATEL1;
    h.MUDATEL2 = MUDATEL2;
    h.SOMA_RUR = SOMA_RUR;
}

void connectMonthlyBreakdown(editor::Hooks& h) {
    h.MUDATEL13 = MUDATEL13;
}

}  // namespace kdx2::shell::pages
