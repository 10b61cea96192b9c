#include "store/access.h"

#include <charconv>

#include "base/cp850.h"
#include "base/text.h"
#include "platform/drives.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/repair.h"
#include "store/settings.h"
#include "store/table_files.h"
#include "store/work_areas.h"

namespace kdx2::store {

using namespace base::literals;

namespace {

enum class OpenResult { Opened, InUse, Missing, Failed };

// How an open ended and, when it failed, what to tell the user: the caller
// says it, after taking down any progress message of its own.
struct OpenOutcome {
    OpenResult result;
    std::string problem;
};

std::string withTableExtension(const std::string& file) {
    return platform::hasExtension(file) ? file : file + ".DBF";
}

// NETUSE's loop, telling why it failed so ABREARQ shows the right message.
OpenOutcome openInCurrentArea(const std::string& file, bool exclusive, int seconds) {
    const std::string name = withTableExtension(file);
    const std::string aliasGiven = aliasOverride();
    WorkAreas& areas = workAreas();
    if (!aliasGiven.empty()) {
        const Table* open = areas.currentTable();
        if (open && base::equalsIgnoreCase(open->alias(), aliasGiven))
            return {OpenResult::Opened, {}};
    }
    const std::string alias =
        aliasGiven.empty() ? base::asciiUpper(platform::baseNameOf(name)) : aliasGiven;
    const bool forever = seconds <= 0;
    int left = seconds;
    while (forever || left > 0) {
        if (!platform::fileExists(name)) {
            return {OpenResult::Missing, "Arquivo "_cp + name + " não existe!"_cp};
        }
        try {
            auto table =
                Table::open(name, exclusive ? OpenMode::Exclusive : OpenMode::Shared, alias);
            areas.attach(areas.current(), std::move(table));
            return {OpenResult::Opened, {}};
        } catch (const InUseError&) {
            // Another workstation has it: try again in a second.
        } catch (const base::Error& error) {
            return {OpenResult::Failed, error.what()};
        }
        // Waiting "until it succeeds" still lets the user give up with Esc.
        if (forever && feedback().escPressed()) break;
        feedback().wait(1000);
        --left;
    }
    return {OpenResult::InUse, {}};
}

std::string notAvailable(const std::string& file) {
    return base::asciiUpper(file) + ".DBF não está disponível "_cp;
}

// Retries `attempt` every half second as the lock procedures do; 0 seconds
// means once (REC_LOCK) or until Esc (FIL_LOCK, ADD_REC).
template <typename Attempt>
bool retry(double seconds, bool zeroWaitsForEsc, const std::string& waiting, Attempt&& attempt) {
    if (attempt()) return true;
    Feedback& fb = feedback();
    fb.status(waiting);
    const bool forever = zeroWaitsForEsc && seconds <= 0;
    while ((forever || seconds > 0) && !fb.escPressed()) {
        if (attempt()) {
            fb.status("");
            return true;
        }
        fb.wait(500);
        seconds -= 0.5;
    }
    fb.status("ATENÇAO! Registro não ficou disponível. Dado não será gravado."_cp);
    return false;
}

std::string withIndexExtension(const std::string& name) {
    return platform::hasExtension(name) ? name : name + ".cdx";
}

// The progress box of a slow open or creation: shown when wanted, closed
// once on every way out, before any alert that follows it.
class ProgressMessage {
  public:
    explicit ProgressMessage(bool wanted) : wanted_(wanted) {}
    ProgressMessage(const ProgressMessage&) = delete;
    ProgressMessage& operator=(const ProgressMessage&) = delete;
    ~ProgressMessage() { close(); }

    void show(const std::string& text) {
        if (!wanted_) return;
        feedback().showMessage(text);
        shown_ = true;
    }
    void close() {
        if (!shown_) return;
        shown_ = false;
        feedback().closeMessage();
    }

  private:
    bool wanted_;
    bool shown_ = false;
};

}  // namespace

bool NETUSE(const std::string& file, bool exclusive, int seconds) {
    const OpenOutcome outcome = openInCurrentArea(file, exclusive, seconds);
    if (!outcome.problem.empty()) feedback().alert(outcome.problem);
    return outcome.result == OpenResult::Opened;
}

bool CRIA(std::string_view number, const std::string& file) {
    int n = 0;
    const std::string text = base::alltrim(number);
    std::from_chars(text.data(), text.data() + text.size(), n);
    const std::optional<Structure> layout = tableLayout(n);
    if (!layout) return false;
    const std::string message = creationMessage(n);
    ProgressMessage progress(!message.empty());
    progress.show(message);
    try {
        Table::create(withTableExtension(file), *layout);
    } catch (const base::Error& error) {
        progress.close();
        feedback().alert(error.what());
        return false;
    }
    return true;
}

bool ABREARQ(int slot, bool exclusive, const std::string& file, const std::string& key1,
             const std::string& key2, const std::string& name2, const std::string& key3,
             const std::string& name3) {
    WorkAreas& areas = workAreas();
    try {
        ProgressMessage progress(progressShown());
        areas.select(slot);
        areas.close(slot);
        std::string second = name2;
        if (!key2.empty() && second.empty()) second = base::asciiUpper(file) + "B";
        if (key2.empty()) second.clear();
        std::string third = key3.empty() ? "" : name3;
        progress.show("Verificando o Arquivo "_cp + base::asciiUpper(file));

        const std::string tablePath = platform::hasExtension(file) ? file : file + ".dbf";
        if (!platform::fileExists(tablePath)) {
            if (!CRIA(std::to_string(slot), platform::hasExtension(file) ? file : file + ".DBF")) {
                progress.close();
                if (!tableLayout(slot >= 21 && slot <= 37 ? slot - 20 : slot))
                    feedback().alert("Arquivo "_cp + file + " não existe!"_cp);
                return false;
            }
        }
        auto open = [&](bool exclusiveNow) {
            const OpenOutcome outcome = openInCurrentArea(file, exclusiveNow, 10);
            if (outcome.result == OpenResult::Opened) return true;
            progress.close();
            feedback().alert(outcome.result == OpenResult::InUse ? notAvailable(file)
                                                                 : outcome.problem);
            return false;
        };
        if (!open(exclusive)) return false;
        if (key1.empty()) return true;

        const bool rebuildAll = indexesRebuiltOnOpen();
        struct Wanted {
            std::string path;
            std::string key;
            bool build;
        };
        std::vector<Wanted> wanted;
        // Named as the caller named the table (the progress message shows it).
        const std::string own =
            (platform::hasExtension(file) ? file.substr(0, file.rfind('.')) : file) + ".cdx";
        const bool ownMissing = !platform::fileExists(own);
        wanted.push_back({own, key1, ownMissing || rebuildAll});
        if (!second.empty()) {
            const std::string path = withIndexExtension(second);
            wanted.push_back({path, key2, rebuildAll || !platform::fileExists(path)});
        }
        if (!third.empty()) {
            const std::string path = withIndexExtension(third);
            wanted.push_back({path, key3, rebuildAll || !platform::fileExists(path)});
        }
        const bool anyToBuild =
            std::any_of(wanted.begin(), wanted.end(), [](const Wanted& w) { return w.build; });
        if (anyToBuild) {
            // Indexes are built with the table to ourselves: nobody appends
            // meanwhile, and a table that lost its index drops its deleted
            // records first (written beside it and renamed into place).
            if (!exclusive) {
                areas.close(slot);
                if (!open(true)) return false;
            }
            Table& table = areas.area(slot);
            if (ownMissing) table.pack();
            for (const Wanted& w : wanted) {
                if (!w.build) continue;
                progress.show("Criando o indice "_cp + w.path);
                table.createIndex(w.path, w.key);
            }
            table.closeIndexes();
            if (!exclusive) {
                areas.close(slot);
                if (!open(false)) return false;
            }
        }
        Table& table = areas.area(slot);
        table.closeIndexes();
        for (const Wanted& w : wanted)
            table.openIndex(w.path);
        table.setOrder(1);
        table.goTop();
        return true;
    } catch (const base::Error& error) {
        try {
            areas.close(slot);
        } catch (const base::Error&) {
        }
        feedback().alert(error.what());
        return false;
    }
}

namespace {

bool openByNumber(int number, bool exclusive) {
    const CatalogTable* layout = catalogTable(number);
    if (!layout) return true;
    std::string file = layout->file;
    if (number == 50) file += terminalNumber();
    const std::string folder = layout->inDataFolder ? dataFolder() : installFolder();
    const std::string path = folder + file;
    const bool mode = exclusive || layout->exclusive;
    const std::vector<CatalogIndex>& keys = layout->indexes;
    if (keys.empty()) return ABREARQ(number, mode, path);
    if (keys.size() == 1) return ABREARQ(number, mode, path, keys[0].key);
    return ABREARQ(number, mode, path, keys[0].key, keys[1].key, folder + keys[1].file);
}

// The terminal's folder list; a new one gets the install folder, selected.
bool openFolderList() {
    if (!openByNumber(50, false)) return false;
    Table& list = workAreas().area(50);
    if (list.recCount() > 0) return true;
    if (!ADD_REC(10)) return false;
    std::string folder = installFolder();
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    list.put("DIRETOR", base::Value(base::asciiUpper(folder)));
    list.put("SELEC", base::Value("S"));
    list.unlock();
    return true;
}

}  // namespace

bool ABERTURA(int number, bool exclusive) {
    WorkAreas& areas = workAreas();
    if (number == 0) {
        try {
            areas.closeAll();
        } catch (const base::Error& error) {
            feedback().alert(error.what());
        }
        if (!CORRECAO()) return false;
    }
    setProgressShown(false);
    setDeletedFilter(true);

    if (number >= 1 && number <= 17) return openByNumber(number, exclusive);

    if (number == 0) {
        for (int n : {42, 44, 45, 47, 49})
            if (!openByNumber(n, exclusive)) return false;
        for (int n : {42, 44, 45, 47, 49})
            areas.close(n);
    } else if (number != 50) {
        if (!catalogTable(number)) return true;
        if (!openByNumber(number, exclusive)) return false;
        if ((number == 52 || number == 59) && CORRIGE(std::to_string(number)))
            if (!openByNumber(number, exclusive)) return false;
    }
    if (number == 0 || number == 50) {
        if (!openFolderList()) return false;
    }
    feedback().closeMessage();
    setDeletedFilter(true);
    return true;
}

bool REC_LOCK(double seconds) {
    Table* table = workAreas().currentTable();
    if (!table) return false;
    return retry(seconds, false,
                 "Aguardando registro ficar disponível no arquivo "_cp + table->alias(),
                 [&] { return table->lockRecord(); });
}

bool FIL_LOCK(double seconds) {
    Table* table = workAreas().currentTable();
    if (!table) return false;
    return retry(seconds, true, "Aguardando arquivo ficar disponível"_cp,
                 [&] { return table->lockTable(); });
}

bool ADD_REC(double seconds) {
    Table* table = workAreas().currentTable();
    if (!table) return false;
    return retry(seconds, true, "Aguardando registro ficar disponível"_cp,
                 [&] { return table->append(); });
}

std::string NTX() {
    const std::string folder = platform::currentFolder();
    for (const std::string& name : platform::listFiles(folder + "*.NTX")) {
        const std::string path = folder + name;
        if (platform::fileSize(path).value_or(1) == 0) platform::removeFile(path);
    }
    return "";
}

}  // namespace kdx2::store
