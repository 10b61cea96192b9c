// The complementary-tax choice, the year-end emptying of a data folder and
// the rebuild of every index.

#include <algorithm>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "shell/maintenance/internal.h"
#include "shell/maintenance/maintenance.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/feedback.h"
#include "store/repair.h"
#include "store/work_areas.h"

namespace kdx2::shell::maintenance {

using namespace base::literals;

namespace {

// The tables of one year's figures; the others carry over to the next year.
constexpr int kYearlyTables[] = {2, 4, 5, 6, 7, 8, 10, 16};

bool askedYes(const common::MessageLines& text) {
    return common::AVISOSN(text, common::box::kYesNo) == "S";
}

// A question whose "Sim" erases data opens on "Não", so one Enter keeps it.
bool confirmedDestroying(const common::MessageLines& text) {
    return common::askBeforeDestroying(text) == "S";
}

void closeAllTables() {
    try {
        store::workAreas().closeAll();
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
}

// The eight yearly tables of the folder held exclusively; the name of the
// first one in use elsewhere otherwise (nothing held).
std::string holdYearlyTables(const std::string& folder, detail::ExclusiveTables& held) {
    for (int n : kYearlyTables) {
        const std::string file = store::catalogTable(n)->file;
        const std::string path = folder + file + ".DBF";
        if (platform::fileExists(path) && !held.take(path)) {
            held.release();
            return file;
        }
    }
    return "";
}

// Deletes the yearly tables and their index files; the names of the files
// that could not be deleted.
std::vector<std::string> deleteYearlyFiles(const std::string& folder) {
    std::vector<std::string> kept;
    for (int n : kYearlyTables) {
        const std::string file = store::catalogTable(n)->file;
        for (const char* extension : {".DBF", ".CDX"}) {
            const std::string path = folder + file + extension;
            try {
                platform::removeFile(path);
            } catch (const base::Error&) {
                kept.push_back(file + extension);
            }
        }
    }
    return kept;
}

void blankReceipts(store::Table& reg) {
    reg.goTop();
    while (!reg.eof()) {
        reg.put("RECIBOATU", base::Value(std::string(12, ' ')));
        reg.skip();
    }
    reg.flush();
}

// The year-end proper, once both questions were answered "S".
void emptyDataFolder(const std::string& folder) {
    common::MENS(13, "Aguarde! Zerando os arquivos...");
    // Our own opens of the yearly tables would count as another user's.
    store::FECHA_TODO();
    store::WorkAreas& areas = store::workAreas();
    if (!store::ABERTURA(detail::kRegister) || areas.table(detail::kRegister) == nullptr) {
        common::FECHAJAN(detail::kMessageSlot);
        common::AVISOSN("O cadastro de contribuintes não pôde ser aberto. Nada foi zerado."_cp,
                        common::box::kStop);
        return;
    }
    areas.select(detail::kRegister);
    if (!store::FIL_LOCK(5)) {
        common::FECHAJAN(detail::kMessageSlot);
        common::AVISOSN(
            "O cadastro de contribuintes está em uso em outro terminal. Nada foi zerado."_cp,
            common::box::kStop);
        return;
    }
    store::Table& reg = areas.area(detail::kRegister);
    detail::ExclusiveTables held;
    const std::string busy = holdYearlyTables(folder, held);
    if (!busy.empty()) {
        reg.unlock();
        common::FECHAJAN(detail::kMessageSlot);
        common::AVISOSN(
            "O arquivo "_cp + busy + " está em uso em outro terminal. Nada foi zerado."_cp,
            common::box::kStop);
        return;
    }
    std::vector<std::string> kept;
    try {
        kept = deleteYearlyFiles(folder);
        held.release();
        blankReceipts(reg);
        reg.unlock();
    } catch (const base::Error& error) {
        held.release();
        common::FECHAJAN(detail::kMessageSlot);
        common::AVISOSN(std::string(error.what()), common::box::kStop);
        return;
    }
    common::FECHAJAN(detail::kMessageSlot);
    if (!kept.empty()) {
        std::string names;
        for (const std::string& name : kept)
            names += (names.empty() ? "" : ", ") + name;
        common::AVISOSN({"Não foi possível apagar:"_cp, names}, common::box::kStop);
        return;
    }
    common::AVISOSN("Arquivos zerados!", common::box::kInformation);
}

// The registered folders of this terminal that exist, as listed. The list
// is read without its index, which may be the very thing that is damaged.
std::vector<std::string> registeredFolders() {
    const base::NamedValues& s = base::session();
    const std::string path =
        detail::closedFolder(s.text("ARQDEF")) + "DIRET" + base::alltrim(s.text("NUSU")) + ".DBF";
    std::vector<std::string> folders;
    if (!platform::fileExists(path)) return folders;
    try {
        auto list = store::Table::open(path, store::OpenMode::Shared);
        list->goTop();
        while (!list->eof()) {
            const std::string folder = base::alltrim(list->get("DIRETOR").text());
            if (!folder.empty() && platform::folderExists(folder)) folders.push_back(folder);
            list->skip();
        }
        list->close();
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
    return folders;
}

// This terminal's scratch index files; its scratch tables stay, so a
// declaration left unsaved can still be brought back.
void deleteOwnScratchIndexes() {
    const base::NamedValues& s = base::session();
    const std::string work = detail::closedFolder(s.text("LOCTRAB"));
    const std::string terminal = base::alltrim(s.text("NUSU"));
    if (!platform::folderExists(work)) return;
    for (const std::string& name : platform::listFiles(work + "TMP_*" + terminal + ".cdx"))
        platform::removeFile(work + name);
}

// The install folder's own index files, rebuilt from their tables; false
// (nothing done) when one of those tables is in use elsewhere.
bool rebuildInstallIndexes(const std::string& install) {
    const std::vector<std::string> names = platform::listFiles(install + "*.cdx");
    detail::ExclusiveTables held;
    for (const std::string& name : names) {
        const std::string base = base::asciiUpper(platform::baseNameOf(name));
        // A second index file ("BANCOSB") belongs to the table without the "B".
        for (const std::string& owner : {base, base.substr(0, base.size() - 1)}) {
            const std::string table = install + owner + ".DBF";
            if (!owner.empty() && platform::fileExists(table) && !held.take(table)) return false;
        }
    }
    for (const std::string& name : names)
        detail::rebuildIndexFile(install, name, held);
    return true;
}

void rebuildEverything(const std::string& callFolder) {
    const base::NamedValues& s = base::session();
    const std::string install = detail::closedFolder(s.text("ARQDEF"));
    const std::vector<std::string> folders = registeredFolders();
    closeAllTables();
    std::vector<std::string> busy;
    // A registered install folder has all its index files rebuilt with the others.
    const bool installListed =
        std::any_of(folders.begin(), folders.end(),
                    [&](const std::string& folder) { return platform::sameFolder(folder, install); });
    try {
        deleteOwnScratchIndexes();
        if (!installListed && !rebuildInstallIndexes(install))
            busy.push_back(common::BAR_FORA(install));
    } catch (const base::Error& error) {
        store::feedback().alert(error.what());
    }
    for (const std::string& folder : folders) {
        if (REORG(folder) == ReorgResult::InUse) busy.push_back(folder);
        closeAllTables();
    }
    common::MUDADIR(callFolder);
    common::FECHAJAN(detail::kMessageSlot);
    if (!busy.empty()) {
        std::vector<std::string> lines{
            "Índices não refeitos: arquivos em uso em outro terminal:"_cp};
        lines.insert(lines.end(), busy.begin(), busy.end());
        common::AVISOSN(lines, common::box::kStop);
    }
}

}  // namespace

void CALC_MENSAL() {
    base::NamedValues& s = base::session();
    const std::string current = base::alltrim(s.text("QUALMENS")) == "2" ? "2" : "1";
    const common::MessageLines text{
        "Essa opção informa ao programa como calcular o IR Complementar"_cp,
        "Existem 2 possibilidades:                                     ",
        "1 - O KDX projeta o valor anual baseado nos dados digitados   ",
        "    verificando quando há necessidade do pagamento.           "_cp,
        "2 - O KDX verifica a diferença entre o valor devido e o valor "_cp,
        "    do imposto pago. A diferença positiva será o IR Complementar"_cp,
        "A OPÇÃO ATUAL é a "_cp + current + ". Muda para a outra opção.   "_cp};
    if (askedYes(text)) s.set("QUALMENS", current == "1" ? "2" : "1");
}

void FECHA_ANO() {
    const common::MessageLines warning{
        "Essa opção APAGARA TODOS os dados digitados das fontes   "_cp,
        "pagadoras da PFisica e L.Caixa tanto da PF como do AAR.  ",
        "Isso é feito para preparar os arquivos para um novo ano. "_cp,
        "SO USE essa opção após ter salvos os dados em outro local"_cp,
        "fazendo uma cópia segurança. Confirma a operação ?"_cp};
    if (!confirmedDestroying(warning)) return;
    const std::string folder = detail::closedFolder(base::session().text("LOCARQ"));
    if (!confirmedDestroying("Confirme o encerramento dos dados da pasta:" + folder)) {
        common::AVISOSN(" Operação cancelada!"_cp, common::box::kInformation);
        return;
    }
    emptyDataFolder(folder);
}

void REINDEXA() {
    const common::MessageLines question{"Esta opção refará todos arquivos índices (CDX)."_cp,
                                        "Operação recomendada a ser feita após uma queda"_cp,
                                        "da energia ou quando arquivos forem copiados de",
                                        "um equipamento para outro. Em rede todos outros",
                                        "equipamentos não podem estar usando o programa."_cp};
    base::NamedValues& s = base::session();
    const std::string callFolder = s.text("LOCARQ");
    if (askedYes(question)) rebuildEverything(callFolder);
    store::ABERTURA(0);
    s.set("LOCARQ", callFolder);
    store::ABERTURA(detail::kRegister);
}

}  // namespace kdx2::shell::maintenance
