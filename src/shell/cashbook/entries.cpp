// Mode 1's private table of entries and its write-back; the transfer and the
// rural rebuild with the tables they need.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "platform/drives.h"
#include "shell/cashbook/cashbook.h"
#include "shell/cashbook/internal.h"
#include "shell/workspace/hooks.h"
#include "shell/workspace/working_values.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/journal.h"
#include "store/table_files.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "tax/carne.h"
#include "tax/carne_tables.h"
#include "ui/picture.h"

namespace kdx2::shell::cashbook {

using namespace base::literals;
namespace tables = store::tables;

namespace {

void tellNotSaved(const std::string& why) {
    common::AVISOSN({why, "Os lançamentos NÃO foram gravados; continuam nesta janela."_cp,
                     "Tente de novo quando a tabela estiver livre."},
                    common::box::kStop);
}

void closeTables(const std::vector<int>& numbers) {
    for (int number : numbers) {
        try {
            store::workAreas().close(number);
        } catch (const base::Error& error) {
            common::AVISOSN(error.what(), common::box::kStop);
        }
    }
}

// The year tables a command needs: those not open yet are opened, and only
// those are closed when it ends (the register and what the caller had open
// stay). A table that cannot be opened is told, with what was not done
// (nothing is written then).
class TablesForCommand {
  public:
    TablesForCommand(std::initializer_list<int> numbers, const std::string& notDone) {
        for (int number : numbers) {
            if (store::workAreas().table(number)) continue;
            if (!store::ABERTURA(number)) {
                common::AVISOSN(
                    {"A tabela IRM"_cp + std::to_string(number) + " não pôde ser aberta.", notDone},
                    common::box::kStop);
                ok_ = false;
                return;
            }
            opened_.push_back(number);
        }
    }
    ~TablesForCommand() { closeTables(opened_); }
    TablesForCommand(const TablesForCommand&) = delete;
    TablesForCommand& operator=(const TablesForCommand&) = delete;
    bool ok() const { return ok_; }

  private:
    std::vector<int> opened_;
    bool ok_ = true;
};

bool ruralDeclaration() {
    return base::session().integer("TIPO_LANCA") == 2;
}

void showRuralGrid(const tax::RuralTotals& totals) {
    auto& grid = workspace::workspaceGrids().REND_RURAL;
    double revenue = 0, expenses = 0;
    auto text = [](double amount) {
        return ui::transform(base::Value(amount), workspace::kRuralPicture).text();
    };
    for (size_t month = 0; month < 12; ++month) {
        grid[month] = {text(totals.revenue[month]), text(totals.expenses[month])};
        revenue += totals.revenue[month];
        expenses += totals.expenses[month];
    }
    grid[12] = {text(base::roundDecimal(revenue, 2)), text(base::roundDecimal(expenses, 2))};
}

void rebuildSharedRuralTotals(const std::string& cpf) {
    const tax::RuralTotals totals = tax::ruralTotals(
        store::workAreas().area(tables::kIncome), store::workAreas().area(tables::kRuralProperties),
        cpf, ruralDeclaration());
    if (!tax::writeRuralTotals(store::workAreas().area(tables::kRural), cpf, totals))
        common::AVISOSN("Totais mensais da atividade rural não gravados: registro em uso."_cp,
                        common::box::kStop);
}

// A taxpayer in "SO TOTAIS" mode types the monthly totals by hand: they are
// the figures, and rebuilding them from the items would wipe them.
bool typesMonthlyTotals(const std::string& cpf) {
    store::Table& summary = store::workAreas().area(tables::kSummary);
    if (summary.order() == 0) summary.setOrder(1);
    return summary.seek(base::Value(cpf)) && summary.get("CAL_AUTO").logical();
}

tax::TransferResult transferShared(const std::string& cpf) {
    tax::TransferResult result;
    const TablesForCommand opened(
        {tables::kRuralProperties, tables::kMonthlyFigures, tables::kSummary, tables::kIncome,
         tables::kPayments, tables::kRural},
        "Nada foi transferido."_cp);
    if (!opened.ok()) return result;
    tax::TransferPlace place;
    place.entriesArea = kWorkArea;
    place.cpf = cpf;
    place.year = base::session().integer("QUEANO");
    place.ruralDeclaration = ruralDeclaration();
    result = tax::LANCAVAL(place, chart());
    if (result.wroteRural) rebuildSharedRuralTotals(cpf);
    if (result.wroteMonthly) {
        if (typesMonthlyTotals(cpf)) {
            common::AVISOSN(
                {"Os totais mensais deste contribuinte são digitados (modo SO TOTAIS)"_cp,
                 "e ficaram como estavam."_cp},
                common::box::kInformation);
        } else {
            tax::CarneLeao carne;
            tax::SOMA_FIS(carne, tax::EntrySource::SharedTable, 1, cpf);
        }
    }
    return result;
}

tax::TransferResult transferInDeclaration(const std::string& cpf) {
    tax::TransferPlace place;
    place.entriesArea = kWorkArea;
    place.incomeArea = tables::scratch(tables::kIncome);
    place.paymentsArea = tables::scratch(tables::kPayments);
    place.cpf = cpf;
    place.year = base::session().integer("QUEANO");
    place.ruralDeclaration = ruralDeclaration();
    place.onlyAccountsFrom = kFirstRuralAccount;
    const tax::TransferResult result = tax::LANCAVAL(place, chart());
    if (result.wroteRural) {
        store::WorkAreas& areas = store::workAreas();
        showRuralGrid(tax::ruralTotals(areas.area(tables::scratch(tables::kIncome)),
                                       areas.area(tables::scratch(tables::kRuralProperties)), cpf,
                                       ruralDeclaration()));
    }
    // The monthly grid, the summary and the rural result follow at once.
    if (result.transferred > 0) workspace::recomputeYear();
    return result;
}

// The taxpayer's rows of IRM14 as this window's copy was taken (or last
// stored): a write-back that finds them otherwise comes after another
// terminal's.
std::optional<uint64_t>& rowsAsCopied() {
    static std::optional<uint64_t> version;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { version.reset(); });
    return version;
}

// The version is also kept beside the private table, so that the window a
// stopped program left still knows what it copied when it is stored later.
std::string copiedVersionPath() {
    return workTablePath() + ".VER";
}

void rememberRowsAsCopied(std::optional<uint64_t> version) {
    rowsAsCopied() = version;
    try {
        if (!version) {
            platform::removeFile(copiedVersionPath());
            return;
        }
        platform::File file = platform::createFile(copiedVersionPath());
        const std::string text = std::to_string(*version);
        file.writeAt(0, text.data(), text.size());
        file.close();
    } catch (const base::Error&) {
        // Without the file a recovered window asks before storing over
        // IRM14; nothing is lost by that.
        platform::removeFile(copiedVersionPath());
    }
}

std::optional<uint64_t> rowsAsCopiedOnDisk() {
    try {
        if (!platform::fileExists(copiedVersionPath())) return std::nullopt;
        platform::File file =
            platform::openFile(copiedVersionPath(), platform::File::Mode::ReadOnly);
        char text[24] = {};
        const size_t length = file.readAt(0, text, sizeof text - 1);
        char* end = nullptr;
        const uint64_t version = std::strtoull(text, &end, 10);
        if (length == 0 || end != text + length) return std::nullopt;
        return version;
    } catch (const base::Error&) {
        return std::nullopt;
    }
}

// One number for a set of rows, whatever their order or record numbers.
uint64_t versionOf(std::vector<uint64_t> prints) {
    std::sort(prints.begin(), prints.end());
    uint64_t hash = 0xcbf29ce484222325ull ^ prints.size();
    for (uint64_t print : prints)
        hash = (hash ^ print) * 0x100000001b3ull;
    return hash;
}

uint64_t rowsVersion(store::Table& entries, const std::string& cpf) {
    return versionOf(store::rowFingerprints(entries, store::rowsOfKey(entries, cpf)));
}

enum class Stored { Yes, No, LeftUnstored };

// The answer to another terminal's entries stored meanwhile: "2" stores
// over them, "3" (offered as the window is left) leaves without storing.
std::string askAboutOthersEntries(bool leaving) {
    std::vector<std::string> buttons{"Voltar à janela"_cp, "Gravar por cima"};
    if (leaving) buttons.push_back("Sair sem gravar");
    return base::alltrim(
        common::AVISOSN({"Outro terminal gravou lançamentos deste contribuinte depois que"_cp,
                         "esta janela foi aberta. Gravar por cima apaga o que ele gravou."_cp},
                        common::box::kCustom, buttons, "Aviso"));
}

// Stores the window's entries over the taxpayer's rows of IRM14. `whileHeld`,
// when given, runs once IRM14 is this terminal's alone and the question about
// another terminal's entries is answered, just before the rows are replaced:
// what it changes in the window is stored with no other store in between.
Stored storeEntries(const std::string& cpf, bool leaving,
                    const std::function<void()>& whileHeld = {}) {
    store::WorkAreas& areas = store::workAreas();
    store::Table* work = areas.table(kWorkArea);
    if (work == nullptr) return Stored::Yes;
    // Every other workstation is kept out of IRM14 while it changes: the
    // taxpayer's rows are replaced whole, or not at all.
    if (!store::ABERTURA(tables::kCashBook, true)) {
        tellNotSaved("A tabela IRM14 está em uso em outro terminal."_cp);
        return Stored::No;
    }
    try {
        store::Table& entries = areas.area(tables::kCashBook);
        if (rowsAsCopied() && *rowsAsCopied() != rowsVersion(entries, cpf)) {
            const std::string answer = askAboutOthersEntries(leaving);
            if (answer != "2") {
                closeTables({tables::kCashBook});
                return answer == "3" ? Stored::LeftUnstored : Stored::No;
            }
        }
        if (whileHeld) whileHeld();
        work->setFilter({});
        work->flush();
        store::Transaction saving;
        saving.replaceRows(entries, cpf, *work, store::liveRows(*work));
        try {
            saving.commit();
            rememberRowsAsCopied(rowsVersion(entries, cpf));
        } catch (const store::UnfinishedCommit& error) {
            // Decided: the next opening of IRM14 finishes it, so what the
            // rows will read then is not known here.
            rememberRowsAsCopied(std::nullopt);
            common::AVISOSN({error.what(), "Os lançamentos foram gravados."_cp},
                            common::box::kStop);
        }
        closeTables({tables::kCashBook});
        return Stored::Yes;
    } catch (const base::Error& error) {
        closeTables({tables::kCashBook});
        tellNotSaved(error.what());
        return Stored::No;
    }
}

}  // namespace

std::string workTablePath() {
    return base::session().text("LOCTRAB") + "TMPL14" + store::terminalNumber();
}

namespace {

struct LeftEntries {
    std::unique_ptr<store::Table> table;
    std::string cpf;
    uint32_t rows = 0;
};

// The private table a window of this terminal left when the program was
// stopped before the window was left; nothing when there is none, or when
// it holds no entry or cannot be read (then there is nothing to save).
LeftEntries entriesLeftBehind() {
    LeftEntries left;
    const std::string path = workTablePath() + ".DBF";
    if (!platform::fileExists(path)) return left;
    try {
        left.table = store::Table::open(path, store::OpenMode::Exclusive,
                                        "TMPL14" + store::terminalNumber());
        left.table->forEach([&left](store::Table& row) {
            if (left.cpf.empty()) left.cpf = base::alltrim(row.get("CPF").text());
            ++left.rows;
            return true;
        });
    } catch (const base::Error&) {
        return {};
    }
    if (left.rows == 0 || left.cpf.empty()) return {};
    return left;
}

// True when IRM14 holds the taxpayer's rows just as the left table does
// (the program stopped after its window stored them).
bool alreadyStored(const LeftEntries& left) {
    const bool wasOpen = store::workAreas().table(tables::kCashBook) != nullptr;
    if (!wasOpen && !store::ABERTURA(tables::kCashBook)) return false;
    bool same = false;
    try {
        same = rowsVersion(store::workAreas().area(tables::kCashBook), left.cpf) ==
               versionOf(store::rowFingerprints(*left.table, store::liveRows(*left.table)));
    } catch (const base::Error&) {
        same = false;
    }
    if (!wasOpen) closeTables({tables::kCashBook});
    return same;
}

// Entries typed in a window that was never left are offered for storing
// before the private table is made again. False when they were to be
// stored and could not be: the table is kept for another try.
bool storeEntriesLeftBehind() {
    LeftEntries left = entriesLeftBehind();
    if (!left.table) return true;
    if (alreadyStored(left)) {
        left.table->close();
        return true;
    }
    const std::string count =
        left.rows == 1 ? "1 lançamento"_cp : std::to_string(left.rows) + " lançamentos"_cp;
    const std::string answer = common::AVISOSN(
        {"Há "_cp + count + " do CPF "_cp + left.cpf + " digitados neste terminal"_cp,
         "numa janela que não foi fechada (o programa foi interrompido)."_cp,
         "Gravá-los agora no livro caixa? Se não, eles serão descartados."_cp},
        common::box::kYesNo);
    store::WorkAreas& areas = store::workAreas();
    if (answer != "S") {
        left.table->close();
        return true;
    }
    areas.attach(kWorkArea, std::move(left.table));
    // Another terminal's entries stored since the stopped window took its
    // copy are not replaced unasked; when that copy's version is not known,
    // any difference is asked about.
    const std::optional<uint64_t> copied = rowsAsCopiedOnDisk();
    rowsAsCopied() = copied ? *copied : ~uint64_t{0};
    const bool stored = writeBack(left.cpf);
    areas.close(kWorkArea);
    return stored;
}

}  // namespace

bool loadWorkTable(const std::string& cpf) {
    store::WorkAreas& areas = store::workAreas();
    areas.close(kWorkArea);
    if (!storeEntriesLeftBehind()) return false;
    if (!store::ABERTURA(tables::kCashBook)) {
        common::AVISOSN({"A tabela IRM14 não pôde ser aberta."_cp,
                         "Os lançamentos não podem ser feitos agora."_cp},
                        common::box::kStop);
        return false;
    }
    try {
        const std::string path = workTablePath();
        store::Table::create(path + ".DBF", *store::tableLayout(tables::kCashBook));
        auto work = store::Table::open(path + ".DBF", store::OpenMode::Exclusive,
                                       "TMPL14" + store::terminalNumber());
        store::Table& entries = areas.area(tables::kCashBook);
        entries.forEachKey(base::Value(cpf), [&](store::Table& row) {
            store::appendRecord(*work);
            work->copyFieldsFrom(row);
            return true;
        });
        rememberRowsAsCopied(rowsVersion(entries, cpf));
        work->flush();
        // What is typed reaches the disk at once: a stopped program leaves
        // it for the next window to offer.
        work->setWriteThrough(true);
        areas.close(tables::kCashBook);
        areas.attach(kWorkArea, std::move(work));
        return true;
    } catch (const base::Error& error) {
        closeTables({tables::kCashBook});
        common::AVISOSN({error.what(), "Os lançamentos não podem ser feitos agora."_cp},
                        common::box::kStop);
        return false;
    }
}

bool writeBack(const std::string& cpf) {
    return storeEntries(cpf, false) == Stored::Yes;
}

bool storeOnLeaving(const std::string& cpf) {
    return storeEntries(cpf, true) != Stored::No;
}

void dropWorkTable() {
    rowsAsCopied().reset();
    store::workAreas().close(kWorkArea);
    for (const char* extension : {".DBF", ".cdx", ".VER"})
        platform::removeFile(workTablePath() + extension);
}

tax::TransferResult transferEntries(int mode) {
    const std::string cpf = base::alltrim(base::session().text("CPF"));
    tax::TransferResult result;
    if (!openChart()) return result;
    try {
        if (mode == kFromMainMenu) {
            // The marks go to IRM14 with the amounts they stand for, and
            // nothing is transferred before it is known that they can go:
            // marks left only in the window could be dropped with it and
            // the entries transferred a second time.
            bool ran = false;
            std::string interruption;
            storeEntries(cpf, false, [&] {
                ran = true;
                try {
                    result = transferShared(cpf);
                } catch (const base::Error& error) {
                    interruption = error.what();
                }
            });
            if (!ran) {
                common::AVISOSN("Nada foi transferido."_cp, common::box::kStop);
                return result;
            }
            if (!interruption.empty()) throw base::Error(interruption);
        } else {
            result = transferInDeclaration(cpf);
        }
    } catch (const base::Error& error) {
        common::AVISOSN({error.what(), "A transferência foi interrompida."_cp}, common::box::kStop);
        return result;
    }
    common::AVISOSN(tax::transferReport(result), common::box::kInformation);
    return result;
}

namespace {

// Every taxpayer's rural items rebuilt from the entries, with the rural
// totals of each taxpayer whose items changed.
void rebuildRural(int year) {
    const TablesForCommand opened(
        {tables::kIncome, tables::kCashBook, tables::kRuralProperties, tables::kRural},
        "Os lançamentos rurais não foram refeitos."_cp);
    if (!opened.ok()) return;
    try {
        store::WorkAreas& areas = store::workAreas();
        const tax::RebuildResult result = tax::rebuildRuralItems(
            areas.area(tables::kIncome), areas.area(tables::kCashBook), year);
        common::AVISOSN("Excluidos " + std::to_string(result.deleted) + " lançamentos"_cp,
                        common::box::kInformation);
        for (const std::string& taxpayer : result.taxpayers)
            rebuildSharedRuralTotals(taxpayer);
        common::AVISOSN("Refeitos " + std::to_string(result.rebuilt) + " lançamentos"_cp,
                        common::box::kInformation);
        if (result.failed > 0)
            common::AVISOSN(std::to_string(result.failed) +
                                " registro(s) em uso em outro terminal ficaram como estavam."_cp,
                            common::box::kStop);
    } catch (const base::Error& error) {
        common::AVISOSN(error.what(), common::box::kStop);
    }
}

}  // namespace

void AJUSTE() {
    base::NamedValues& s = base::session();
    const std::string answer =
        common::askBeforeDestroying({"Atenção! Essa opção só deve ser usada se TODOS os "_cp,
                                     "lançamentos do livro caixa RURAL foram feitos usando"_cp,
                                     "a opção de lançamentos. Ela excluirá e depois refará  "_cp,
                                     "todos lancamentos. Continua ? "});
    if (answer != "S") return;
    const std::string cpf = base::alltrim(s.text("CPF"));
    // What was typed in this window counts in the rebuild; stored, the
    // window's copy is dropped, and made again with the rebuild's marks.
    if (!writeBack(cpf)) return;
    dropWorkTable();
    rebuildRural(s.integer("QUEANO"));
    s.set("CPF", cpf);
    // The marks the rebuild set come back into the window.
    loadWorkTable(cpf);
}
}  // namespace kdx2::shell::cashbook
