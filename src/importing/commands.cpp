// The imports of the tax authority's files (commands 72 and 73): folders,
// listing, marking on the selection list, conversion with its counters.

#include <cstdio>
#include <map>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "common/windows.h"
#include "importing/convert.h"
#include "importing/importing.h"
#include "importing/listing.h"
#include "importing/screens.h"
#include "importing/services.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/screen.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

constexpr int kTaxpayerSlot = 3;
constexpr int kFolderList = 50;
// "Verificando" is shown at most this often while thousands of files are read.
constexpr int kProgressEvery = 25;

ImportKind kindOf(int mode) {
    return mode == 10 ? ImportKind::CarneLeao : ImportKind::Declarations;
}

std::string fourDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%4d", value);
    return text;
}

void showChecking(int at, int count) {
    if (at % kProgressEvery != 0 && at != count) return;
    common::MENS(0, "Verificando " + fourDigits(at) + " de " + fourDigits(count) + " declaracoes!");
}

void tellNothingFound(ImportKind kind) {
    if (kind == ImportKind::CarneLeao)
        detail::tell({"A pasta escolhida não contém a informação pedida do C.Leão"_cp,
                      "Atenção! O arquivo deve ser o de EXPORTAÇÃO para a receita."_cp,
                      "Não deve usar a cópia de segurança."_cp});
    else
        detail::tell({"A pasta escolhida não contém a informação pedida da Receita"_cp,
                      "Atenção! O arquivo deve ser ou a pasta transmitidas da SRF "_cp,
                      "ou uma pasta que contenha uma cópia de segurança."_cp});
}

// False when the listing leaves nothing to offer (the user was told).
bool listingUsable(ImportKind kind, const Listing& listing, const std::string& origin) {
    if (!listing.folderReadable) {
        detail::tell(
            {"A pasta "_cp + origin + " não pode ser lida:"_cp, "sem permissão de leitura."_cp});
        return false;
    }
    if (!listing.unreadable.empty()) {
        std::vector<std::string> lines{std::to_string(listing.unreadable.size()) +
                                       " arquivo(s) da pasta não puderam ser lidos:"_cp};
        for (size_t i = 0; i < listing.unreadable.size() && i < 5; ++i)
            lines.push_back(listing.unreadable[i]);
        detail::tell(lines);
    }
    if (listing.files == 0) {
        tellNothingFound(kind);
        return false;
    }
    if (listing.ofTheYear == 0) {
        detail::tell({"Na pasta existem "_cp + std::to_string(listing.files) +
                      " declarações, mas não do ano "_cp +
                      std::to_string(base::session().integer("QUEANO"))});
        return false;
    }
    return true;
}

void tellOutcome(const FileOutcome& outcome) {
    if (!outcome.message.empty()) {
        detail::tell(outcome.message);
    } else if (!outcome.warnings.empty()) {
        std::vector<std::string> lines{"Contribuinte "_cp + outcome.name +
                                       " convertido; confira:"_cp};
        lines.insert(lines.end(), outcome.warnings.begin(), outcome.warnings.end());
        common::AVISOSN(lines, common::box::kInformation);
    }
}

// The marked files, with the path each was listed under.
std::vector<MarkedFile> markedFiles(store::Table& found, const std::vector<ListedFile>& listed) {
    std::map<std::string, std::string> pathOf;
    for (const ListedFile& file : listed)
        pathOf[base::padRight(file.name, 80)] = file.path;
    std::vector<MarkedFile> files;
    for (uint32_t recno : markedRecords(found)) {
        found.goTo(recno);
        const auto path = pathOf.find(base::padRight(found.get("NOMEARQ").text(), 80));
        if (path == pathOf.end()) continue;
        files.push_back({path->second, found.get("TIPO").text(),
                         base::rtrim(found.get("CPF").text()),
                         base::rtrim(found.get("NOMECONTR").text())});
    }
    return files;
}

void convertMarked(ImportKind kind, const std::vector<MarkedFile>& files) {
    detail::Counters& counters = detail::counters();
    counters.start(static_cast<int>(files.size()));
    MOSTRA_CONTAGEM(1);
    services().showTaxpayerWindow();
    const int taxYear = base::session().integer("QUEANO");
    for (const MarkedFile& file : files) {
        const FileOutcome outcome = FAZCONV(kind, file, taxYear);
        counters.count(outcome);
        MOSTRA_CONTAGEM(0);
        tellOutcome(outcome);
        if (detail::userAbandons()) break;
    }
    common::MENS(0, "Conversão terminada. Tecle algo para continuar."_cp);
    ui::waitKey();
    common::MENS();
    detail::closeCounters();
    common::FECHAJAN(kTaxpayerSlot);
}

}  // namespace

void CONVRECE(int mode) {
    base::session().set("MOS_MENS", false);
    ABRE_DISCO(mode);
    // No table stays open behind the menu: other workstations may need them
    // to themselves.
    store::workAreas().closeAll();
    store::ABERTURA(kFolderList);
}

void ABRE_DISCO(int mode) {
    const ImportKind kind = kindOf(mode);
    base::NamedValues& s = base::session();
    if (!PEGAOSDIR(2)) return;
    // Nothing is written unless every table it needs could be opened.
    if (!CRIA_BASE() || !store::ABERTURA(kFoundList)) return;
    const std::string origin = base::rtrim(s.text("ROTARECEI"));
    const Listing listing = listFolder(kind, origin, s.integer("QUEANO"), showChecking);
    common::MENS();
    if (!listingUsable(kind, listing, origin)) return;

    store::Table& found = store::workAreas().area(kFoundList);
    try {
        fillFoundList(found, listing.listed);
        indexFoundList(found, s.text("ARQDEF"));
    } catch (const base::Error& error) {
        detail::tell({error.what()});
        return;
    }
    found.goTop();
    store::workAreas().select(kFoundList);
    detail::runSelectionScreen();
    found.setOrder("LISNOME");
    const std::vector<MarkedFile> files = markedFiles(found, listing.listed);
    if (files.empty()) {
        common::AVISOSN({"Nenhum contribuinte foi marcado para a conversão."_cp,
                         "Marque com S (sim) nos que deseja converter.    "},
                        common::box::kInformation);
        return;
    }
    convertMarked(kind, files);
}

}  // namespace kdx2::importing
