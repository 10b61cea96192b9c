// The monthly SELIC rate table kept by hand (command 27).

#include <cstdio>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/field_checks.h"
#include "shell/maintenance/internal.h"
#include "shell/maintenance/maintenance.h"
#include "shell/settings.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/picture.h"

namespace kdx2::shell::maintenance {

using namespace base::literals;

namespace {

// The rate window: its slot, its rectangle on the grid (the frame lies
// outside the top-left corner) and the places of its fields.
constexpr int kRateSlot = 5;
constexpr int kRateScreen = 2;
constexpr int kTop = 10;
constexpr int kLeft = 10;
constexpr int kMonthColumn = kLeft + 5;
constexpr int kYearColumn = kLeft + 18;
constexpr int kRateColumn = kLeft + 6;
constexpr const char* kRatePicture = "@ez 999.99";

std::string yearMonthKey(int year, int month) {
    char key[16];
    std::snprintf(key, sizeof key, "%04d%02d", year, month);
    return key;
}

std::string monthName(int month) {
    static const char* const names[] = {"Janeiro",  "Fevereiro", "Março",    "Abril",
                                        "Maio",     "Junho",     "Julho",    "Agosto",
                                        "Setembro", "Outubro",   "Novembro", "Dezembro"};
    return base::cp850::fromUtf8(names[month - 1]);
}

store::Table* rateTable() {
    return store::workAreas().table(detail::kRates);
}

// The factor and rate of the entry's month, 0 and 0 when it has no record.
void loadMonth(RateEntry& entry) {
    entry.factor = 0;
    entry.rate = 0;
    store::Table* rates = rateTable();
    if (rates == nullptr || entry.month < 1 || entry.month > 12) return;
    try {
        if (rates->seek(base::Value(yearMonthKey(entry.year, entry.month)))) {
            entry.factor = rates->get("MULTIPL").number();
            entry.rate = rates->get("TJM").number();
        }
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
}

void showMonth(const RateEntry& entry) {
    if (entry.month >= 1 && entry.month <= 12)
        common::ESCRLCOL(kRateSlot, 1, 8, base::padRight(monthName(entry.month), 9));
    common::ESCRLCOL(kRateSlot, 2, 7, ui::transform(base::Value(entry.rate), kRatePicture).text());
}

void showRateWindow() {
    base::NamedValues& s = base::session();
    SessionLists& lists = sessionLists();
    lists.ALJ[kRateScreen] = kTop;
    lists.ACJ[kRateScreen] = kLeft;
    s.set("NT", kRateScreen);
    s.set("QUEMOSTRA", "");
    common::REDEFJAN(kRateSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL2"),
                     kTop, kLeft, kTop + 3, kLeft + 24, 1);
    common::ABREJAN(kRateSlot);
    common::ESCRJAN(kRateSlot, " Mês "_cp + std::string(18, ' ') + "Selic        %        ");
}

// Writes the entry's month into the rate table, appending it when absent.
void storeMonth(const RateEntry& entry) {
    store::Table* rates = rateTable();
    if (rates == nullptr) return;
    store::workAreas().select(detail::kRates);
    const std::string key = yearMonthKey(entry.year, entry.month);
    try {
        const bool present = rates->seek(base::Value(key));
        const bool locked = present ? store::REC_LOCK(5) : store::ADD_REC(5);
        if (!locked) return;
        rates->put("ANOMES", base::Value(key));
        rates->put("MULTIPL", base::Value(entry.factor));
        rates->put("SIMB_MOED", base::Value("R$  "));
        rates->put("TJM", base::Value(entry.rate));
        rates->unlock();
    } catch (const base::Error& error) {
        rates->unlock();
        store::feedback().alert(error.what());
    }
}

// Reads the form once; false when left with Esc.
bool readForm(RateEntry& entry) {
    base::Value month(static_cast<double>(entry.month));
    base::Value year(static_cast<double>(entry.year));
    base::Value rate(entry.rate);
    auto monthField = ui::Get::of(kTop, kMonthColumn, month, "@ 99", "MES");
    auto yearField = ui::Get::of(kTop, kYearColumn, year, "@ 9999", "ANO");
    auto rateField = ui::Get::of(kTop + 1, kRateColumn, rate, kRatePicture, "TJM");
    monthField->valid = [&](ui::Get& field) {
        entry.month = static_cast<int>(field.value().number());
        if (!BUSMES(entry)) return false;
        rate = base::Value(entry.rate);
        return true;
    };
    yearField->valid = [&](ui::Get& field) {
        entry.year = static_cast<int>(field.value().number());
        if (!BUSANO(entry)) return false;
        rate = base::Value(entry.rate);
        return true;
    };
    ui::GetList fields{monthField, yearField, rateField};
    if (ui::readFields(fields).exit == ui::ReadExit::Escape) return false;
    entry.month = static_cast<int>(month.number());
    entry.year = static_cast<int>(year.number());
    entry.rate = rate.number();
    return entry.month >= 1 && entry.month <= 12 && entry.year >= 1995;
}

}  // namespace

bool proposedRateMonth(store::Table& rates, RateEntry& entry) {
    rates.goBottom();
    if (rates.eof()) return false;
    while (!rates.bof() && rates.get("TJM").number() == 0) {
        rates.skip(-1);
    }
    if (rates.bof()) rates.goTop();
    rates.skip(1);
    if (rates.eof()) rates.goBottom();
    const std::string key = rates.get("ANOMES").text();
    entry.year = std::atoi(key.substr(0, 4).c_str());
    entry.month = std::atoi(key.substr(4, 2).c_str());
    return true;
}

bool BUSMES(RateEntry& entry) {
    if (entry.month < 1 || entry.month > 12) return false;
    loadMonth(entry);
    showMonth(entry);
    return true;
}

bool BUSANO(RateEntry& entry) {
    if (entry.year < 1995) return false;
    loadMonth(entry);
    showMonth(entry);
    return true;
}

void CAD_UFIR() {
    showRateWindow();
    if (!store::ABERTURA(detail::kRates) || rateTable() == nullptr) {
        common::FECHAJAN(kRateSlot);
        return;
    }
    RateEntry entry;
    try {
        if (!proposedRateMonth(*rateTable(), entry)) {
            entry.year = base::session().integer("QUEANO");
            entry.month = 1;
        }
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
    std::string answer = "N";
    while (answer == "N") {
        if (!readForm(entry)) {
            answer = "I";
            break;
        }
        answer = editor::TERMINOU();
    }
    if (answer == "S") storeMonth(entry);
    common::FECHAJAN(kRateSlot);
    store::workAreas().close(detail::kRates);
}

}  // namespace kdx2::shell::maintenance
