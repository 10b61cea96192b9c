#include "common/choosers.h"

#include <algorithm>
#include <cctype>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/calculator.h"
#include "common/messages.h"
#include "common/windows.h"
#include "platform/console/keys.h"
#include "platform/drives.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/color.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::common {

using namespace base::literals;
namespace keys = platform::keys;

namespace {

constexpr int kHelpWindow = 8;
constexpr int kHelpMaxLines = 13;

int readKey() {
    for (;;) {
        const int key = ui::waitKey();
        if (key != keys::None && key != keys::MenuEvent) return key;
    }
}

// Moves within 1 ... last by the navigation keys; 0 when the key is not one.
int moved(int key, int item, int last) {
    switch (key) {
        case keys::Home:
            return 1;
        case keys::End:
            return last;
        case keys::Down:
            return std::min(item + 1, last);
        case keys::Up:
            return std::max(item - 1, 1);
        default:
            return 0;
    }
}

bool& helpShown() {
    static bool shown = false;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { shown = false; });
    return shown;
}

std::vector<std::string> helpText(const std::string& topic, int which) {
    const std::string file = base::session().text("ARQDEF") + (which == 1 ? "HELPTXT" : "HELPATXT");
    if (!platform::fileExists(file + ".DBF")) return {};
    store::WorkAreas& areas = store::workAreas();
    const int previous = areas.current();
    const int slot = areas.freeSlot();
    std::vector<std::string> lines;
    if (slot == 0) return lines;
    const OpeningMessagesOff quiet;
    if (store::ABREARQ(slot, false, file, "TOPICO+STR(LINHA,3)")) {
        try {
            store::Table& help = areas.area(slot);
            const std::string key = base::padRight(base::asciiUpper(base::alltrim(topic)), 10);
            help.forEachKey(base::Value(key), [&lines](store::Table& row) {
                lines.push_back(base::rtrim(row.get("TEXTO").text()));
                return true;
            });
        } catch (const base::Error&) {
            lines.clear();  // a damaged help table is as good as none
        }
    }
    areas.close(slot);
    if (previous >= 1) areas.select(previous);
    return lines;
}

void paint(int row, int col, const std::string& text, uint8_t attr) {
    const TextSurface surface = textSurface();
    surface.grid->write(row - surface.top, col - surface.left, text, attr);
}

void showHelp(const std::vector<std::string>& lines) {
    const base::NamedValues& s = base::session();
    const int shown = std::min(static_cast<int>(lines.size()), kHelpMaxLines);
    const int bottom = shown + 2;
    REDEFJAN(kHelpWindow, s.integer("COR_HELP"), s.integer("COR_TEL2"), s.integer("COR_TEL3"), 1, 0,
             bottom, 64, 2);
    ABREJAN(kHelpWindow);
    helpShown() = true;
    const uint8_t text = static_cast<uint8_t>(s.integer("COR_HELP"));
    const uint8_t caption = ui::parseColorPair(s.text("COR_2_CLI")).value_or(0x1F);
    paint(1, 4, "   H E L P       ", caption);
    paint(bottom, 4, " <ALT P>  Imprime este HELP", caption);
    int first = 0;
    const int last = std::max(static_cast<int>(lines.size()) - shown, 0);
    for (;;) {
        for (int i = 0; i < shown; ++i)
            paint(2 + i, 1, base::padRight(" " + lines[static_cast<size_t>(first + i)], 63), text);
        const int key = readKey();
        if (key == keys::Esc) break;
        if (key == keys::Down || key == keys::PgDn) first = std::min(first + 1, last);
        if (key == keys::Up || key == keys::PgUp) first = std::max(first - 1, 0);
        // Alt+P only brings the output back to the screen: nothing to do here.
    }
    FECHAJAN(kHelpWindow);
    helpShown() = false;
}

}  // namespace

int ESC_ITEM(int window, int lastItem, int column, int rowOffset, int firstItem) {
    if (lastItem < 1) return 0;
    int item = std::clamp(firstItem, 1, lastItem);
    for (;;) {
        ESCRLCOL(window, item + rowOffset, column, "*");
        const int key = readKey();
        if (key == keys::Enter) return item;
        if (key == keys::Esc) {
            ESCRLCOL(window, item + rowOffset, column, " ");
            return 0;
        }
        const int next = moved(key, item, lastItem);
        if (next != 0 && next != item) {
            ESCRLCOL(window, item + rowOffset, column, " ");
            item = next;
        }
    }
}

int ESC_OPCAO(int window, int lastItem, int column, int width, int rowOffset, int close,
              int withMessages, const std::vector<std::string>& messages) {
    base::NamedValues& s = base::session();
    if (lastItem < 1) return 0;
    int item = std::clamp(s.integer("POSVER") == 0 ? 1 : s.integer("POSVER"), 1, lastItem);
    const std::string letters = s.text("OPCOES");
    int chosen = 0;
    for (;;) {
        for (int i = 1; i <= lastItem; ++i)
            ESCRATR(window, i + rowOffset, column,
                    i == item ? s.integer("COR_ESCOL") : s.integer("COR_TEL1"), width);
        if (withMessages == 1 && item <= static_cast<int>(messages.size()))
            MENS(0, messages[static_cast<size_t>(item - 1)]);
        const int key = readKey();
        if (key == keys::Enter) {
            chosen = item;
            break;
        }
        if (key == keys::Esc) break;
        if (key == keys::alt('A')) {
            double result = 0;
            CALCULADORA(result);
            continue;
        }
        if (keys::isCharacter(key)) {
            const char letter = static_cast<char>(std::toupper(key));
            const size_t position = letters.find(letter);
            if (position != std::string::npos && static_cast<int>(position) < lastItem) {
                chosen = static_cast<int>(position) + 1;
                break;
            }
        }
        const int next = moved(key, item, lastItem);
        if (next != 0) item = next;
    }
    FECHAJAN(10);
    if (close == 1) FECHAJAN(window);
    s.set("POSVER", chosen);
    return chosen;
}

void TXT_HELP(const std::string& topic, int which) {
    if (helpShown()) return;
    std::string subject = base::alltrim(topic);
    if (subject.empty()) {
        ui::Get* field = ui::activeGet();
        if (field != nullptr) subject = field->name;
    }
    const std::string file = base::session().text("ARQDEF") + (which == 1 ? "HELPTXT" : "HELPATXT");
    if (!platform::fileExists(file + ".DBF")) return;
    if (subject.empty()) {
        AVISOSN(" Ajuda não encontrada..."_cp, box::kStop);
        return;
    }
    const std::vector<std::string> lines = helpText(subject, which);
    if (lines.empty()) return;
    showHelp(lines);
}

void MOSTRA_HELP(int choice, int which) {
    base::NamedValues& s = base::session();
    if (choice == 0) {
        REDEFJAN(6, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL3"), 8, 30, 11,
                 45, 1);
        ABREJAN(6);
        ESCRJAN(6, " Geral        Tela         Campo        Funções      "_cp);
        const std::string options = s.text("OPCOES");
        const base::Value position = s.get("POSVER");
        s.set("OPCOES", "GTCF");
        s.set("POSVER", 1);
        choice = ESC_OPCAO(6, 4, 1, 13, 0, 1);
        s.set("OPCOES", options);
        s.set("POSVER", position);
        if (choice == 0) return;
    }
    std::string topic;
    switch (choice) {
        case 1:
            topic = "GERAL";
            break;
        case 2: {
            const int screen = s.integer("TELA");
            topic = std::string("TELA") + (screen < 10 ? "0" : "") + std::to_string(screen);
            break;
        }
        case 3: {
            ui::Get* field = ui::activeGet();
            topic = field != nullptr ? field->name : s.text("EDI_CAMPO");
            if (topic.rfind("M->", 0) == 0) topic = topic.substr(3);
            break;
        }
        default:
            topic = "FUNCOES";
            break;
    }
    TXT_HELP(topic, which);
}

void MOS_HELP() {
    MOSTRA_HELP(3, 1);
}

void showContextHelp() {
    if (helpShown()) return;
    std::vector<std::string> topics;
    if (ui::Get* field = ui::activeGet()) {
        std::string name = base::alltrim(field->name);
        if (name.rfind("M->", 0) == 0) name = name.substr(3);
        topics.push_back(name);
    }
    topics.push_back(base::alltrim(base::session().text("QUALHLP")));
    topics.push_back("GERAL");
    for (const std::string& topic : topics) {
        if (topic.empty()) continue;
        const std::vector<std::string> lines = helpText(topic, 1);
        if (lines.empty()) continue;
        showHelp(lines);
        return;
    }
}

std::vector<std::string> generalHelpLines() {
    return {
        "Alt   No menu inicial (fora da declaração) marca ou desmarca a letra sublinhada no menu."_cp,
        "Quando marcada basta digitar a letra marcada (em maiúscula) para ir no item selecionado."_cp,
        "Teclas de movimentação rápida nas telas tipo 'browse'"_cp,
        "Home - Vai para a primeira coluna que aparece na tela.",
        "End  - Vai para a última coluna que aparece na tela."_cp,
        "Ctrl - Home Vai para a primeira coluna do browse",
        "Ctrl End  - Vai para a última coluna do browse"_cp,
        "Page Down - Vai última linha que aparece na tela."_cp,
        "Page Up   - Vai para a primeira linha que aparece na tela.",
        "Ctrl Page Down - Vai última linha do Browse"_cp,
        "Ctrl Page Up   - Vai para a primeira linha do Browse",
        "Dentro de uma linha de edição"_cp,
        "Ctrl Y Apaga a linha a partir do cursor.",
        "End  Fim da linha",
        "Home  Começo da linha"_cp,
        "Ctrl setas direita ou esquerda - pula palavras conforme a direção da seta."_cp,
    };
}

std::vector<std::string> functionHelpLines() {
    return {
        "Alt +  Marca com S todas pessoas quando uma tela de seleção for aberta."_cp,
        "Alt -  Marca com N todas pessoas quando uma tela de seleção for aberta."_cp,
        "Alt A (Altera) Muda a o preenchimento usada na Física ou no AAR no Livro caixa"_cp,
        "Alt B (Banco) Busca a lista dos bancos no cadastro dos Bancos para o LCDPR",
        "Alt C (Copia) Transfere da memória o texto copiado pelo o ALT M para o campo"_cp,
        "Alt M (Move)  Transfere linha/campo para a memória"_cp,
        "Alt N (Não) Transporta o valor do C.Leão pago ou do devido indicado pelo(*)"_cp,
        "Alt O (Organizar) No L.Caixa da PF ou AAR organiza pela coluna que estiver.",
        "Alt S (Soma) Calculadora - Ctrl Enter-Transfere o resultado para o campo.",
        "Alt T (Termina) Termina uma declaração ou sai do programa."_cp,
        "Alt I (Iniciar) Abre a tela de selecionar o contribuinte para fazer a declaração."_cp,
        "Alt U (US$) Transforma R$ <-> US$. Serve também como uma somadora auxiliar."_cp,
        "Alt U Nos pagamentos com o código 50 separa do GPS o valor do empregador."_cp,
        "Alt U Nos pagamentos de pensão(30 a 34) transfere p/ F2 os valores mensais."_cp,
        "F1 Na tela com seleção de pessoas organiza pelo CPF"_cp,
        "F2 Na tela com seleção de pessoas organiza em ordem Alfabetica"_cp,
        "Ctrl C Copia o campo que está e leva para a área de transferência do Windows."_cp,
        "Alt V Traz a área de transferência do Windows para o campo onde estiver."_cp,
        "Alt W (Write) Grava a declaração e permanece na declaração"_cp,
        "Alt 2 e 3 nos L.Caixas. Alt 2 marca o inicio para uma soma e Alt 3 o final",
    };
}

void HELPGER() {
    AVISOSN(generalHelpLines(), box::kInformation);
}

void HELPFUN() {
    AVISOSN(functionHelpLines(), box::kInformation);
}

}  // namespace kdx2::common
