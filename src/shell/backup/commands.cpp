// The three commands on the screen: the folder pair, the questions, the
// progress and the outcome messages.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "shell/backup/backup.h"
#include "shell/backup/internal.h"
#include "shell/main_menu.h"
#include "shell/selection/selection.h"
#include "store/access.h"
#include "store/feedback.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::shell::backup {

using namespace base::literals;

namespace detail {

std::string closed(std::string_view folder) {
    std::string text = base::asciiUpper(base::alltrim(folder));
    return text.empty() ? text : common::BAR_DIR(text);
}

SpaceAnswer askSpaceQuestion() {
    common::MensOptions options;
    options.answers = "TA";
    const base::Value answer =
        common::MENS(12, "Espaço insuficente no Disco. (T)roque ou (A)bandona"_cp, options);
    return base::asciiUpper(base::alltrim(answer.text())) == "T" ? SpaceAnswer::Swap
                                                                 : SpaceAnswer::Abandon;
}

}  // namespace detail

namespace {

int gRestored = 0;
int gFailedTable = 0;
bool gDeclined = false;

// The year tables the command opened go; the data folder's register is
// open again, as the main menu has it.
void reopenRegister() {
    for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n)
        store::workAreas().close(n);
    store::ABERTURA(detail::kRegister);
}

}  // namespace

bool FAZ_COPIA() {
    if (!selection::TRANOME(2)) return false;
    base::NamedValues& s = base::session();
    BackupHooks hooks;
    hooks.progress = [](int n) {
        common::MENS(0, "Copiando o arquivo IRM"_cp + std::to_string(n));
        ui::refresh();
    };
    const bool copied = backupTables(s.text("ORIG"), s.text("DEST"), hooks);
    common::MENS();
    reopenRegister();
    return copied;
}

bool TRAZ_COPIA() {
    gRestored = 0;
    gFailedTable = 0;
    gDeclined = false;
    if (!selection::TRANOME(3)) return false;
    base::NamedValues& s = base::session();
    const std::string origin = s.text("ORIG");
    const std::string destination = s.text("DEST");
    if (backupFilesIn(origin).empty()) {
        common::AVISOSN("A pasta " + origin + " não contém dados do KDX2"_cp,
                        common::box::kInformation);
        return false;
    }
    const RestoreResult result = restoreTables(
        origin, destination,
        [&] {
            return common::askBeforeDestroying(
                       {"A pasta " + destination + " já contém dados do KDX2."_cp,
                        "Eles serão substituídos pelos da cópia. Confirma?"_cp}) == "S";
        },
        [&](const std::string& file) {
            common::MENS(0, "Copiando para " + destination + " o arquivo " + file);
            ui::refresh();
        });
    common::MENS();
    gRestored = result.restored;
    gFailedTable = result.table;
    gDeclined = result.outcome == RestoreResult::Outcome::Declined;
    if (result.outcome == RestoreResult::Outcome::Failed && !result.problem.empty())
        common::AVISOSN(result.problem, common::box::kStop);
    reopenRegister();
    return result.outcome == RestoreResult::Outcome::Restored;
}

void finishInterruptedRestoreAtStartup() {
    const std::string folder = detail::closed(base::session().text("LOCARQ"));
    if (folder.empty() || !platform::fileExists(folder + "KDX2.REC")) return;
    store::WorkAreas& areas = store::workAreas();
    std::vector<int> open;
    for (int n = detail::kFirstTable; n <= detail::kLastTable; ++n) {
        if (areas.table(n) == nullptr) continue;
        open.push_back(n);
        areas.close(n);
    }
    try {
        finishInterruptedRestore(folder);
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
    for (int n : open)
        store::ABERTURA(n);
}

void BACKUP(int command) {
    if (command == 61) {
        if (FAZ_COPIA())
            common::AVISOSN("Cópia feita na pasta pedida!"_cp, common::box::kInformation);
        else
            common::AVISOSN({"Problemas ao fazer a cópia."_cp, "Não foi feita na pasta pedida!"_cp},
                            common::box::kStop);
        return;
    }
    if (TRAZ_COPIA()) {
        common::AVISOSN("Recuperados " + base::padLeft(std::to_string(gRestored), 2) +
                            " de 17 arquivos necessários!"_cp,
                        common::box::kInformation);
    } else if (!gDeclined) {
        common::AVISOSN(
            "Problema ao recuperar o arquivo IRM" + std::to_string(gFailedTable) + ". Verique!",
            common::box::kStop);
    }
}

void registerBackupCommands() {
    registerCommand(14, [](int) { ELIMINA(); });
    registerCommand(61, [](int) { BACKUP(61); });
    registerCommand(62, [](int) { BACKUP(62); });
}

}  // namespace kdx2::shell::backup
