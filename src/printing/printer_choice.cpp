// The terminal's printer: its ListaIMP record and the printer choice dialog.

#include <algorithm>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/console/keys.h"
#include "platform/print_service.h"
#include "printing/routing.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/dialog.h"
#include "ui/screen.h"

namespace kdx2::printing {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kPrinterTable = 57;  // ListaIMP
constexpr int kDialogTop = 3;
constexpr int kDialogLeft = 20;
constexpr int kDialogWidth = 33;
constexpr int kMostRows = 15;

// ListaIMP open for as long as the object lives (closed again when it was
// opened here).
class PrinterTable {
  public:
    PrinterTable() {
        store::WorkAreas& areas = store::workAreas();
        if (areas.table(kPrinterTable) == nullptr) {
            if (!store::ABERTURA(kPrinterTable)) return;
            openedHere_ = true;
        }
        table_ = areas.table(kPrinterTable);
        areas.select(kPrinterTable);
    }
    ~PrinterTable() {
        if (openedHere_) store::workAreas().close(kPrinterTable);
    }
    PrinterTable(const PrinterTable&) = delete;
    PrinterTable& operator=(const PrinterTable&) = delete;

    // The table on the terminal's record, or nullptr.
    store::Table* onTerminal() {
        if (table_ == nullptr) return nullptr;
        return table_->seek(base::Value(base::session().text("NUSU"))) ? table_ : nullptr;
    }
    store::Table* table() { return table_; }

  private:
    store::Table* table_ = nullptr;
    bool openedHere_ = false;
};

void createTerminalRecord(store::Table& table, const std::string& defaultPrinter) {
    if (!store::ADD_REC(5)) return;
    table.put("NRO_TERM", base::Value(base::session().text("NUSU")));
    table.put("NOMEIMP", base::Value(std::string(kExternalUtility)));
    table.put("IPADRAO", base::Value(defaultPrinter));
    table.put("SEQ0", base::Value("<018>"));
    table.put("SEQ1", base::Value("<015>"));
    table.unlock();
}

void storeChoice(const std::string& printer) {
    try {
        PrinterTable printers;
        store::Table* record = printers.onTerminal();
        if (record == nullptr || !store::REC_LOCK(5)) return;
        record->put("NOMEIMP", base::Value(printer));
        record->put("SEQ0", base::Value(""));
        record->put("SEQ1", base::Value(""));
        record->unlock();
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
}

// The list of the printer choice: a bar on the current entry; Enter or a
// click chooses, Esc does not leave.
class PrinterList {
  public:
    PrinterList(const std::vector<std::string>& entries, int current)
        : entries_(entries),
          rows_(std::min(static_cast<int>(entries.size()), kMostRows)),
          current_(std::clamp(current - 1, 0, static_cast<int>(entries.size()) - 1)) {}

    std::string run() {
        std::shared_ptr<ui::LDialog> window =
            ui::LDLGSHOW(kDialogTop, kDialogLeft, kDialogTop + rows_ - 1,
                         kDialogLeft + kDialogWidth - 1, "   Seleção da impressora"_cp);
        window->lExitEsc = false;
        for (;;) {
            draw();
            const int key = ui::waitKey();
            if (key == keys::Enter) break;
            if (key == keys::LeftClick && clicked()) break;
            move(key);
        }
        window->close();
        return entries_[static_cast<size_t>(current_)];
    }

  private:
    void draw() {
        first_ = std::clamp(first_, std::max(current_ - rows_ + 1, 0), current_);
        for (int row = 0; row < rows_; ++row) {
            const int index = first_ + row;
            const std::string text = base::padRight(" " + entries_[static_cast<size_t>(index)],
                                                    static_cast<size_t>(kDialogWidth));
            ui::say(row, 0, text, index == current_ ? ui::enhancedAttr() : ui::standardAttr());
        }
    }

    bool clicked() {
        const int row = ui::mouseRow();
        if (row < 0 || row >= rows_ || ui::mouseCol() < 0 || ui::mouseCol() >= kDialogWidth)
            return false;
        current_ = first_ + row;
        return true;
    }

    void move(int key) {
        const int last = static_cast<int>(entries_.size()) - 1;
        if (key == keys::Up) current_ = std::max(current_ - 1, 0);
        if (key == keys::Down) current_ = std::min(current_ + 1, last);
        if (key == keys::PgUp) current_ = std::max(current_ - rows_, 0);
        if (key == keys::PgDn) current_ = std::min(current_ + rows_, last);
        if (key == keys::Home) current_ = 0;
        if (key == keys::End) current_ = last;
    }

    const std::vector<std::string>& entries_;
    int rows_;
    int current_;
    int first_ = 0;
};

}  // namespace

void CRIA_SEQ() {
    base::NamedValues& s = base::session();
    const std::string defaultPrinter = platform::defaultPrinterQueue();
    s.set("IPADRAO", defaultPrinter);
    s.set("NOMEREDE", defaultPrinter);
    std::string chosen;
    try {
        PrinterTable printers;
        store::Table* record = printers.onTerminal();
        if (record == nullptr && printers.table() != nullptr) {
            createTerminalRecord(*printers.table(), defaultPrinter);
            record = printers.onTerminal();
        }
        if (record != nullptr) chosen = base::alltrim(record->get("NOMEIMP").text());
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
    // A terminal whose record could not be read prints as a new one would.
    s.set("NOMEIMP", chosen.empty() ? std::string(kExternalUtility) : chosen);
}

void CONFIMP() {
    try {
        PrinterTable printers;
        if (store::Table* record = printers.onTerminal())
            base::session().set("NOMEIMP", base::alltrim(record->get("NOMEIMP").text()));
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
    ESC_IMP();
}

PrinterChoices printerChoices(const std::string& currentPrinter) {
    PrinterChoices choices;
    choices.entries = platform::printerQueues().names;
    choices.entries.push_back(kExternalUtility);
    choices.entries.push_back(kNoPrinter);
    const std::string current = base::alltrim(currentPrinter);
    const auto found = std::find(choices.entries.begin(), choices.entries.end(), current);
    choices.preselected = found != choices.entries.end()
                              ? static_cast<int>(found - choices.entries.begin()) + 1
                              : std::min(3, static_cast<int>(choices.entries.size()));
    return choices;
}

bool ESC_IMP() {
    base::NamedValues& s = base::session();
    const PrinterChoices choices = printerChoices(s.text("NOMEIMP"));
    // Without desktop printers the utility and the viewer still serve, so
    // the program goes on after telling the user.
    if (choices.entries.size() <= 2)
        common::AVISOSN("Não há impressora Instalada !!"_cp, common::box::kStop);
    const std::string chosen = ui::started()
                                   ? PrinterList(choices.entries, choices.preselected).run()
                                   : choices.entries[static_cast<size_t>(choices.preselected - 1)];
    s.set("NOMEIMP", chosen);
    storeChoice(chosen);
    common::MENS();
    return true;
}

}  // namespace kdx2::printing
