#include "shell/print_selection.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/text.h"
#include "common/messages.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"

namespace kdx2::shell {

using namespace base::literals;

namespace {

const std::string& entry(const std::vector<std::string>& list, int index) {
    static const std::string none;
    if (index < 1 || index > static_cast<int>(list.size())) return none;
    return list[static_cast<size_t>(index - 1)];
}

std::string copiesText(const base::NamedValues& s) {
    const int copies = std::clamp(s.integer("NRO_VIAS"), 0, 9);
    return std::to_string(copies);
}

// The selection before limiting goes to CONFIG at once; the limited one is
// written at the exit.
void storeSelection() {
    base::NamedValues& s = base::session();
    store::WorkAreas& areas = store::workAreas();
    const bool wasOpen = areas.table(store::tables::kConfig) != nullptr;
    if (!wasOpen && !store::ABERTURA(store::tables::kConfig)) return;
    try {
        areas.select(store::tables::kConfig);
        store::Table& config = areas.area(store::tables::kConfig);
        if (config.seek(base::Value(s.text("NUSU"))) && store::REC_LOCK(5)) {
            for (const char* name : {"QUEIMP", "QUEMOD", "QUEPAG", "QUECON"})
                config.put(name, base::Value(s.integer(name)));
            config.unlock();
        }
    } catch (const base::Error& error) {
        common::AVISOSN(std::string(error.what()), common::box::kStop);
    }
    if (!wasOpen) areas.close(store::tables::kConfig);
}

void askHowToPrint() {
    base::NamedValues& s = base::session();
    s.set("MOSIMP", common::AVISOSN("Mostre as Impressoras Existentes antes de imprimir ?",
                                    common::box::kYesNo));
    s.set("MOSTEL", common::AVISOSN("Mostre no video o texto a ser impresso antes de imprimir ?",
                                    common::box::kYesNo));
}

void askCopies() {
    base::NamedValues& s = base::session();
    base::Value copies(s.integer("NRO_VIAS"));
    common::MensOptions options;
    options.variable = &copies;
    options.width = 1;
    options.picture = "@ 9";
    common::MENS(4, "Informe o nro vias (vezes) a imprimir", options);
    int chosen = static_cast<int>(copies.number());
    if (chosen <= 0) chosen = 1;
    s.set("NRO_VIAS", chosen);
    s.set("ITEM7", "&7-Vias " + copiesText(s));
}

}  // namespace

void setPrintSelectionTexts(base::NamedValues& s, SessionLists& lists) {
    lists.ALISTIMP = {"Declaração     "_cp, "DARFes         ", "Cadastro       "};
    lists.MODO1OP = {"Em Formulário Proprio"_cp, "Na Folha em Branco   "};
    lists.MODOETIQ = {"Na Folha em Branco  ", "Em Etiquetas        "};
    lists.MODOUNICO = {"Única Página"_cp};
    lists.NOMCONT = {"Na Folha Avulsa "};
    lists.NOMEPAGS = {" Tudo na declaração  "_cp, " Fontes Pagadoras    ",
                      " Atividade Rural     ",    " Pagamentos Efetuados",
                      " Resumo              ",    " Livro Caixa P.Física"_cp,
                      " Livro Caixa Rural   ",    " Abertura e Encerra  "};
    lists.NOMECON = {"Individual  ", "Vários CPFs "_cp, "Todos CPFs  "};
    s.set("ITEM1", "1 ");
    s.set("ITEM2", "2 ");
    s.set("ITEM3", "3 ");
    s.set("ITEM4", "4 ");
    s.set("ITEM5", "5 - Seleção da Impressora"_cp);
    s.set("ITEM6", "6 - Configura modo Impressão"_cp);
    s.set("ITEM7", "7 - Número de Vias "_cp + copiesText(s));
    s.set("QUEMOSTRA", "");
}

std::vector<std::string> buildPrintSummary(base::NamedValues& s, const SessionLists& lists) {
    // Values outside their lists (a blank or damaged record) are brought in
    // before they index one.
    const int what = std::clamp(s.integer("QUEIMP"), 1, 3);
    int sheet = std::max(s.integer("QUEMOD"), 1);
    int page = std::max(s.integer("QUEPAG"), 1);
    std::string second;
    std::string third;
    if (what == 1) {
        sheet = 1;
        page = std::min(page, 8);
        second = "Na Folha em Branco";
        third = entry(lists.NOMEPAGS, page);
    } else if (what == 2) {
        sheet = std::min(sheet, 2);
        page = std::min(page, 2);
        second = entry(lists.MODO1OP, sheet);
        third = "Folha Única"_cp;
    } else {
        sheet = std::min(sheet, 2);
        page = 1;
        second = entry(lists.MODOETIQ, sheet);
        third = "Folha Única"_cp;
    }
    const int whom = std::clamp(s.integer("QUECON"), 1, 3);
    s.set("QUEIMP", what);
    s.set("QUEMOD", sheet);
    s.set("QUEPAG", page);
    s.set("QUECON", whom);

    s.set("ITEM1", "1  - " + entry(lists.ALISTIMP, what));
    s.set("ITEM2", "2  - " + second);
    s.set("ITEM3", "3  - " + third);
    s.set("ITEM4", "4  - " + entry(lists.NOMECON, whom));
    s.set("ITEM5", "5  - " + s.text("NOMEIMP"));
    s.set("ITEM6A", "6a - Mostra as Impressoras = " + s.text("MOSIMP"));
    s.set("ITEM6B", "6b - Mostra o texto antes  = " + s.text("MOSTEL"));
    s.set("ITEM7", "7  - Número de Vias "_cp + copiesText(s));
    std::vector<std::string> lines;
    for (const char* name :
         {"ITEM1", "ITEM2", "ITEM3", "ITEM4", "ITEM5", "ITEM6A", "ITEM6B", "ITEM7"})
        lines.push_back(s.text(name));
    return lines;
}

void MONTA_ITENS() {
    buildPrintSummary(base::session(), sessionLists());
    MOS_CONFIMP();
}

void MOS_CONFIMP() {
    const base::NamedValues& s = base::session();
    std::vector<std::string> lines;
    for (const char* name :
         {"ITEM1", "ITEM2", "ITEM3", "ITEM4", "ITEM5", "ITEM6A", "ITEM6B", "ITEM7"})
        lines.push_back(s.text(name));
    common::AVISOSN(lines, common::box::kInformation, {}, "Seleção para impressão"_cp);
}

void choosePrintSelection(int code, int option) {
    base::NamedValues& s = base::session();
    switch (code) {
        case 41:
            s.set("QUEIMP", option);
            break;
        case 42:
            s.set("QUEMOD", option);
            break;
        case 43:
            s.set("QUEPAG", option);
            break;
        case 44:
            s.set("QUECON", option);
            break;
        case 46:
            askHowToPrint();
            break;
        case 47:
            askCopies();
            break;
        default:
            break;
    }
    storeSelection();
    MONTA_ITENS();
}

}  // namespace kdx2::shell
