#include "shell/startup.h"

#include <algorithm>
#include <cstdlib>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/choosers.h"
#include "common/colours.h"
#include "common/folder_list.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "shell/print_selection.h"
#include "shell/settings.h"
#include "shell/store_feedback.h"
#include "store/access.h"
#include "store/supplied.h"
#include "store/table.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::shell {

using namespace base::literals;

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

[[noreturn]] void endProgram(const std::string& message) {
    if (!message.empty()) common::AVISOSN(message, common::box::kStop);
    store::workAreas().closeAll();
    // Leaving because the user said so is not a failure.
    throw StartupFailure{message.empty() ? 0 : 1};
}

bool onTerminalRecord(store::Table& config, const std::string& terminal) {
    return !config.eof() && base::alltrim(config.get("NRO_TERM").text()) == terminal;
}

std::string twoDigits(int number) {
    return number < 10 ? "0" + std::to_string(number) : std::to_string(number);
}

// Windows 1-10 cover the screen until a layout places them.
void defineStartupWindows() {
    for (int number = 1; number <= 10; ++number)
        common::DEFINEJAN(number, 48, 112, 7, 0, 0, 24, 79, 0);
}

void setFrameColours() {
    const base::NamedValues& s = base::session();
    for (int number = 1; number <= 10; ++number) {
        common::REDFATR(number, 1, s.integer("COR_TEL1"));
        common::REDFATR(number, 2, s.integer("COR_TEL2"));
        common::REDFATR(number, 3, s.integer("COR_TEL3"));
    }
}

// The CONFIG fields into the session: the defaults of a new terminal first,
// so that a record that could not be made still leaves sound settings.
void loadSettings(const NewTerminal& terminal) {
    base::NamedValues& s = base::session();
    setNewTerminalDefaults(s, terminal);
    store::Table* config = store::workAreas().table(store::tables::kConfig);
    if (config != nullptr && onTerminalRecord(*config, terminal.terminal))
        loadConfigRecord(*config, s);
    clampSettings(s, terminal.today);
    setSessionValues(s, terminal.today);
    buildStatusTable(s, sessionLists());
}

// Stores one field in the terminal's CONFIG record at once, when it can be
// locked (the session keeps it for the exit either way).
void storeSetting(const std::string& name) {
    store::Table* config = store::workAreas().table(store::tables::kConfig);
    if (config == nullptr || !onTerminalRecord(*config, base::session().text("NUSU"))) return;
    store::workAreas().select(store::tables::kConfig);
    if (!store::REC_LOCK(5)) return;
    config->put(name, base::session().get(name));
    config->unlock();
}

void checkDataFolder() {
    base::NamedValues& s = base::session();
    const std::string folder = base::alltrim(s.text("ROTADOANO"));
    if (common::VERDIR(folder)) return;
    const std::string answer =
        common::AVISOSN({"A Pasta "_cp + folder + " não foi encontrada!"_cp,
                         "Sim - Assume: "_cp + s.text("ROTADEF"), "Não - Sai do programa!"_cp},
                        common::box::kYesNo);
    if (answer == "N") endProgram("");
    s.set("ROTADOANO", s.text("ROTADEF"));
    storeSetting("ROTADOANO");
}

void setFolders() {
    base::NamedValues& s = base::session();
    const std::string rota = base::alltrim(s.text("ROTADOANO"));
    s.set("ROTA", rota);
    if (!common::VERDIR(base::alltrim(s.text("DIRTRAB")))) s.set("DIRTRAB", rota);
    s.set("LOCARQ", common::BAR_DIR(rota));
    s.set("LOCTRAB", common::BAR_DIR(base::alltrim(s.text("DIRTRAB"))));
    s.set("DIRORIG", s.text("LOCARQ"));
    try {
        platform::setCurrentFolder(s.text("LOCARQ"));
    } catch (const base::Error&) {
        // A data folder on an unmapped drive: names stay absolute anyway.
    }
}

// A folder as the folder list keeps it: no trailing backslash, except on a
// drive root ("C:\").
std::string bareFolder(const std::string& folder) {
    const std::string trimmed = base::alltrim(folder);
    if (trimmed.size() <= 3) return trimmed;
    return common::BAR_FORA(trimmed);
}

// The registered folder that matches the work folder becomes the data
// folder; an unknown one is registered, selected.
void selectDataFolder() {
    base::NamedValues& s = base::session();
    store::Table* list = store::workAreas().table(store::tables::kFolderList);
    if (list == nullptr) return;
    store::workAreas().select(store::tables::kFolderList);
    const std::string work = base::asciiUpper(bareFolder(s.text("LOCTRAB")));
    try {
        // The whole width of the key, so that "C:\" does not find "C:\IR2025".
        if (list->seek(base::Value(base::padRight(work, 40)))) {
            common::TROCASIM(1);
            return;
        }
        if (store::ADD_REC(5)) {
            list->put("SELEC", base::Value("S"));
            list->put("DIRETOR", base::Value(bareFolder(s.text("LOCARQ"))));
            list->unlock();
        }
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
}

// Every copy of the program holds the byte of this install-folder file at
// its terminal number for as long as it runs: two copies on one terminal
// would share its scratch tables and overwrite each other's work.
constexpr const char* kTerminalLockFile = "KDX2TERM.LCK";

std::optional<platform::File>& heldTerminal() {
    static std::optional<platform::File> held;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { held.reset(); });
    return held;
}

platform::File openTerminalLockFile(const std::string& path) {
    if (!platform::fileExists(path)) {
        try {
            return platform::createNewFile(path);
        } catch (const base::Error&) {
            // Another copy created it first.
        }
    }
    return platform::openFile(path, platform::File::Mode::ReadWrite);
}

void holdTerminal(const std::string& terminal) {
    heldTerminal().reset();
    platform::File file;
    try {
        file = openTerminalLockFile(base::session().text("ARQDEF") + kTerminalLockFile);
    } catch (const base::Error& error) {
        // The first file the program writes: a read-only folder is told as such.
        endProgram(
            platform::folderNotWritable(base::session().text("ARQDEF")).value_or(error.what()));
    }
    if (!file.lock(static_cast<uint64_t>(std::stoi(terminal)), 1, platform::LockKind::Exclusive,
                   platform::LockWait::No))
        endProgram("O kdx2 já está aberto no terminal "_cp + terminal +
                   ". Feche aquela cópia ou inicie esta com outro número de terminal."_cp);
    heldTerminal() = std::move(file);
}

void buildSuppliedTables() {
    try {
        store::buildMissingSuppliedTables(base::session().text("ARQDEF"));
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
}

}  // namespace

std::string versionText() {
    return std::string("3.00 ") + kBuildDate;
}

std::string GETDIR() {
    const std::string folder = platform::currentFolder();
    if (folder.size() > 3 && folder.back() == '\\') return folder.substr(0, folder.size() - 1);
    return folder;
}

bool TA_NA_REDE() {
    try {
        return platform::isNetworkDrive();
    } catch (const base::Error&) {
        return false;
    }
}

bool CONFER_DIR(const std::string& path) {
    if (common::VERDIR(path)) return true;
    common::AVISOSN("<Dir> "_cp + path + "não encontrado. Assumiremos o default"_cp,
                    common::box::kStop);
    return false;
}

void ALTDIR(const std::string& path) {
    platform::setCurrentFolder(path);
}

void TELA_INIC() {}

std::optional<std::string> terminalFromArgument(const std::string& argument) {
    const std::string text = base::alltrim(argument);
    if (text.empty()) return std::nullopt;
    if (!isTerminalNumber(text)) return std::string();
    return twoDigits(std::stoi(text));
}

bool isTerminalNumber(const std::string& text) {
    return !text.empty() && text.size() <= 2 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string QUAL_USUR() {
    if (!TA_NA_REDE()) return "00";
    base::NamedValues& s = base::session();
    const std::string user = environment("USUAR");
    const int equipment = static_cast<int>(base::parseNumber(environment("EQUIP")));
    for (const char* name : {"COR_TEL1", "COR_TEL2", "COR_TEL3"})
        s.set(name, 30);
    base::Value number(equipment);
    common::MensOptions options;
    options.variable = &number;
    options.width = 2;
    options.picture = "@z 99";
    const std::string text = base::cp850::fromUtf8(user) +
                             (equipment == 0 ? " Forneça"_cp : " Confirme") +
                             " o número do terminal."_cp;
    common::MENS(4, text, options);
    const int chosen = static_cast<int>(number.number());
    if (chosen < 0 || chosen > 99) return "00";
    return twoDigits(chosen);
}

std::string installFolder(const std::string& kdx2def) {
    const std::string trimmed = base::alltrim(base::cp850::fromUtf8(kdx2def));
    if (trimmed.empty()) return GETDIR();
    if (CONFER_DIR(trimmed)) return trimmed;
    return GETDIR();
}

bool CONFIGURA(const std::string& terminal) {
    if (!store::ABERTURA(store::tables::kConfig)) return false;
    store::WorkAreas& areas = store::workAreas();
    areas.select(store::tables::kConfig);
    store::Table& config = areas.area(store::tables::kConfig);
    try {
        if (config.seek(base::Value(terminal))) return true;
        if (!store::ADD_REC(5)) return true;
        base::NamedValues defaults;
        setNewTerminalDefaults(
            defaults, NewTerminal{terminal, base::session().text("ROTADEF"),
                                  base::cp850::fromUtf8(environment("KDX2DEF")), ui::today()});
        storeConfigRecord(config, defaults);
        config.unlock();
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
    return true;
}

void prepareSession(const std::string& terminalArgument) {
    installStoreFeedback();
    base::NamedValues& s = base::session();
    const base::Date today = ui::today();
    std::string argument = environment("TERMINAL");
    if (argument.empty()) argument = terminalArgument;

    s.set("CULTIMAVER", kBuildDate);
    s.set("VERSAO", versionText());
    s.set("DIRINST", common::BAR_DIR(GETDIR()));

    defineStartupWindows();
    common::setDefaultColours(s);
    s.set("MOS_MENS", false);
    store::setDeletedFilter(true);

    const std::string kdx2def = environment("KDX2DEF");
    s.set("ROTADEF", installFolder(kdx2def));
    s.set("ARQDEF", common::BAR_DIR(s.text("ROTADEF")));

    const std::optional<std::string> fromArgument = terminalFromArgument(argument);
    if (fromArgument && fromArgument->empty())
        endProgram("Número de terminal inválido: \""_cp + base::cp850::fromUtf8(argument) +
                   "\". Informe um número de 00 a 99."_cp);
    std::string terminal = fromArgument ? *fromArgument : QUAL_USUR();
    if (base::alltrim(terminal).empty()) terminal = "00";
    s.set("NUSU", terminal);
    holdTerminal(terminal);

    // The shipped reference tables are written before any table is opened,
    // so a first start in an empty folder needs no manual step.
    buildSuppliedTables();

    common::CRIACOR();
    s.set("HOJE", today);
    common::composeColourLists(s);

    if (!CONFIGURA(terminal))
        endProgram(platform::folderNotWritable(s.text("ARQDEF"))
                       .value_or("Arquivo de configuração sendo usado no momento"_cp));
    loadSettings(NewTerminal{terminal, s.text("ROTADEF"), base::cp850::fromUtf8(kdx2def), today});

    setDarfDefaults(s, today);
    s.set("MOS_MENS", true);

    checkDataFolder();

    if (!store::ABERTURA(store::tables::kFolderList))
        endProgram("O programa MBR2 no terminal " + terminal + " está em uso"_cp);

    setFolders();
    setFrameColours();
    resetTaxGrids(sessionLists());

    if (!store::ABERTURA(store::tables::kStartUp))
        endProgram("O programa KDX2 no terminal " + terminal + " está em uso"_cp);
    s.set("MOS_MENS", true);

    selectDataFolder();

    // F1 helps wherever a screen or field gives it no meaning of its own.
    ui::bindKey(platform::keys::F1, [](ui::Get*) { common::showContextHelp(); });

    s.set("TELA", 1);
    s.set("OPCAO_1", s.integer("ULT_MOD"));
    s.set("ULTTECLA", 0);
    setPrintSelectionTexts(s, sessionLists());
}

}  // namespace kdx2::shell
