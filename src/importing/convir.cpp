// Command 71: the taxpayers of the previous income-tax program's folder
// into a data folder of this program.

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "common/windows.h"
#include "importing/importing.h"
#include "importing/listing.h"
#include "importing/previous_program.h"
#include "importing/screens.h"
#include "importing/services.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

constexpr int kFolderSlot = 3;
constexpr int kTaxpayerSlot = 3;
constexpr int kRequiredTables = 19;
constexpr int kFolderList = 50;

std::string yearSuffix() {
    const int year = base::session().integer("QUEANO") % 100;
    return std::string(1, static_cast<char>('0' + year / 10)) + static_cast<char>('0' + year % 10);
}

std::string originLabel() {
    return "IR " + std::to_string(base::session().integer("QUEANO")) + "     ";
}

// The taxpayers of the source register, one record each.
void fillFromRegister(store::Table& found, const PreviousProgram& source) {
    found.zap();
    for (const base::NamedValues& taxpayer : source.taxpayers.rows()) {
        const std::string cpf = base::alltrim(taxpayer.get("CPF").text());
        if (cpf.empty()) continue;
        if (!found.append()) throw base::Error("RELNOME");
        found.put("CPF", base::Value(cpf));
        found.put("NOMECONTR", base::Value(base::rtrim(taxpayer.get("NOMECONTR").text())));
        found.put("ORIGEM", base::Value(originLabel()));
        found.put("IMPRE", base::Value(" "));
        found.put("ORDEM", base::Value(0));
    }
    found.flush();
}

struct Marked {
    std::string cpf;
    bool convertedBefore = false;
};

std::vector<Marked> markedTaxpayers(store::Table& found) {
    std::vector<Marked> marked;
    for (uint32_t recno : markedRecords(found)) {
        found.goTo(recno);
        marked.push_back(
            {base::alltrim(found.get("CPF").text()), found.get("ORDEM").number() == 1});
    }
    return marked;
}

// Step 7: the destination's indexes rebuilt, the folder registered and,
// when it is another one, offered as the folder to work in.
void settleDestination(const std::string& destination, const std::string& startFolder) {
    base::NamedValues& s = base::session();
    const std::string bare = common::BAR_FORA(destination);
    s.set("LOCARQ", destination);
    s.set("ROTADOANO", bare);
    store::workAreas().closeAll();
    services().reorganise(destination);
    services().registerFolder(bare);
    bool switched = false;
    if (!platform::sameFolder(destination, startFolder) &&
        common::AVISOSN("Vai para a pasta "_cp + bare, common::box::kYesNo) == "S")
        switched = services().selectFolder(bare);
    if (!switched) {
        s.set("LOCARQ", startFolder);
        s.set("ROTADOANO", common::BAR_FORA(startFolder));
    }
}

// Step 8: every table opened again as at start-up.
void reopenAsAtStart() {
    store::workAreas().closeAll();
    platform::setCurrentFolder(base::session().text("LOCARQ"));
    store::ABERTURA(0);
    store::ABERTURA(9);
    store::ABERTURA(kFolderList);
}

void convertMarked(const PreviousProgram& source, const std::vector<Marked>& marked,
                   const std::string& destination, const std::string& startFolder) {
    detail::Counters& counters = detail::counters();
    counters.start(static_cast<int>(marked.size()));
    MOSTRA_CONTAGEM(1);
    services().showTaxpayerWindow();
    for (const Marked& taxpayer : marked) {
        const FileOutcome outcome =
            convertPreviousTaxpayer(source, taxpayer.cpf, taxpayer.convertedBefore);
        counters.count(outcome);
        MOSTRA_CONTAGEM(0);
        if (!outcome.message.empty()) detail::tell(outcome.message);
        if (detail::userAbandons()) break;
    }
    detail::closeCounters();
    common::FECHAJAN(kTaxpayerSlot);
    if (counters.converted > 0)
        settleDestination(destination, startFolder);
    else
        base::session().set("LOCARQ", startFolder);
}

}  // namespace

bool VEJA_ARQ(int count, const std::string& folder, const std::string& prefix,
              const std::string& suffix) {
    const std::string closed = common::BAR_DIR(folder);
    const bool ownTables = base::asciiUpper(prefix) == "IRM";
    for (int n = 1; n <= count; ++n) {
        const std::string number =
            ownTables || n >= 10 ? std::to_string(n) : "0" + std::to_string(n);
        const std::string file = prefix + number + suffix + ".DBF";
        if (common::LF_ISFILE(closed + file)) continue;
        common::MensOptions options;
        options.column = common::MensColumn::centred();
        common::MENS(11, "Não encontrado o Arquivo "_cp + file, options);
        return true;
    }
    return false;
}

void CONVIR() {
    base::NamedValues& s = base::session();
    const std::string startFolder = s.text("LOCARQ");
    detail::FolderPrompt prompt;
    prompt.originSetting = "ROTAANTER";
    prompt.missingOrigin = "Drive e/ou Pasta do IR ";
    prompt.creationPurpose = "KDX";
    prompt.originUsable = [](const std::string& origin) {
        return !VEJA_ARQ(kRequiredTables, origin, "IMP", yearSuffix());
    };
    detail::ChosenFolders chosen;
    if (!detail::askFolders(prompt, chosen)) return;
    common::FECHAJAN(kFolderSlot);

    PreviousProgram source;
    try {
        source = readPreviousProgram(chosen.origin, s.integer("QUEANO"));
    } catch (const base::Error& error) {
        detail::tell({error.what()});
        s.set("LOCARQ", startFolder);
        reopenAsAtStart();
        return;
    }
    // Nothing is written unless every table it needs could be opened.
    if (!openConversionTables() || !store::ABERTURA(kFoundList)) {
        s.set("LOCARQ", startFolder);
        reopenAsAtStart();
        return;
    }
    store::Table& found = store::workAreas().area(kFoundList);
    std::vector<Marked> marked;
    try {
        fillFromRegister(found, source);
        indexFoundList(found, s.text("ARQDEF"));
        found.goTop();
        store::workAreas().select(kFoundList);
        detail::runSelectionScreen();
        found.setOrder("LISNOME");
        marked = markedTaxpayers(found);
    } catch (const base::Error& error) {
        detail::tell({error.what()});
    }
    if (marked.empty()) {
        common::AVISOSN({"Nenhum contribuinte foi marcado para a conversão."_cp,
                         "Marque com S (sim) nos que deseja converter.    "},
                        common::box::kInformation);
        s.set("LOCARQ", startFolder);
    } else {
        convertMarked(source, marked, chosen.destination, startFolder);
    }
    reopenAsAtStart();
}

}  // namespace kdx2::importing
