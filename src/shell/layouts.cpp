#include "shell/layouts.h"

#include <algorithm>
#include <map>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/windows.h"
#include "shell/settings.h"

namespace kdx2::shell {

using namespace base::literals;
namespace glyph = base::cp850::box;

namespace {

constexpr int kTitleSlot = 7;
constexpr int kFolderSlot = 3;

// The banner of the title window, in full blocks.
const char* const kBanner[] = {
    "█  █  ███   █   █  ████", "█ █   █  █   █ █      █", "██    █  █    █    ████",
    "█ █   █  █   █ █   █   ", "█  █  ███   █   █  ████",
};

void setAnchor(int index, int row, int column) {
    SessionLists& lists = sessionLists();
    if (index < 0 || index >= static_cast<int>(lists.ALJA.size())) return;
    lists.ALJA[static_cast<size_t>(index)] = row;
    lists.ACJA[static_cast<size_t>(index)] = column;
}

// ---- The table of layouts ----
//
// Texts may hold {NAME} fields filled when the layout is drawn: {ANO},
// {ANO-1}, {ANO+1} (the base year and its neighbours), {MODO_CALCULO} (the
// monthly receipts' mode), {MODO_LIVRO} and {ROTULO_LIVRO} (the rural cash
// book's mode as the properties and the receipts pages show it), and the
// caller's own ({LEGENDA}: the column a monthly breakdown is of).

Layout window(int slot, int top, int left, int bottom, int right, const char* colour3 = "COR_ENCHE",
              int frame = 0) {
    Layout layout;
    layout.slot = slot;
    layout.top = top;
    layout.left = left;
    layout.bottom = bottom;
    layout.right = right;
    layout.colour3 = colour3;
    layout.frame = frame;
    return layout;
}

Layout with(Layout layout, std::vector<LayoutBox> boxes, std::vector<LayoutText> texts) {
    layout.boxes = std::move(boxes);
    layout.texts = std::move(texts);
    return layout;
}

std::vector<LayoutText> monthRows(int firstRow, const char* total) {
    static const char* const kMonths[] = {"Janeiro  ", "Fevereiro", "Março    ", "Abril    ",
                                          "Maio     ", "Junho    ", "Julho    ", "Agosto   ",
                                          "Setembro ", "Outubro  ", "Novembro ", "Dezembro "};
    std::vector<LayoutText> rows;
    for (int m = 0; m < 12; ++m)
        rows.push_back({firstRow + m, 1, kMonths[m]});
    rows.push_back({firstRow + 12, 1, total});
    return rows;
}

std::vector<LayoutText> joined(std::vector<LayoutText> a, const std::vector<LayoutText>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The browses of pages 1, 2, 4, 10 and 11 draw inside these frames, so the
// boxes are the rectangles their list screens run in; the modes stand where
// Alt+A rewrites them.
const std::map<std::string, Layout>& layoutTable() {
    static const std::map<std::string, Layout> table = {
        {"MTELA 1",
         with(window(3, 1, 1, 22, 79),
              {{0, 0, 11, 78, "(1)RENDIMENTOS TRIBUTAVEIS RECEBIDOS DE PESSOAS JURIDICAS"},
               {12, 0, 20, 78,
                "(2) REND.RECEBIDOS PELOS DEPENDENTES(Tributáveis,Isentos e Trib. na Fonte)"}},
              {{kSumsLabelRow, kSumsLabelColumn, "{SOMA}"}})},
        {"MTELA 2",
         with(window(3, 2, 0, 22, 79, "COR_TEL2"), {},
              {{0, 3, " 2)Rend. Tribut.Recebido de P.Físicas e apuração do recolhimento mensal "},
               {1, 1, "Os valores podem ser só com os totais ou individual de cada fonte pagadora"},
               {2, 1, "porém sempre informadas em R$.Muda com ALT A.  MODO ATUAL:"},
               {2, 66, "{MODO_CALCULO}"}})},
        {"MTELA 4",
         with(window(3, 2, 0, 23, 79), {{1, 0, 21, 79, ""}},
              {{0, 18, "RELAÇÃO DOS PAGAMENTOS E DOAÇÕES EFETUADAS "}})},
        {"MTELA 5",
         with(window(3, 2, 0, 22, 78),
              {{0, 0, 7, 78, "Identificação"},
               {8, 0, 14, 78, "Endereço"},
               {15, 0, 20, 78, "Ocupação"}},
              {{1, 1, "CPF"},
               {1, 21, "Tem Atividade Rural"},
               {1, 45, "Em 31/12/{ANO}"},
               {kSumsLabelRow, kSumsLabelColumn, "{SOMA}"},
               {2, 1, "Nome"},
               {3, 1, "Nascimento"},
               {3, 24, "Idade"},
               {3, 33, "anos"},
               {3, 41, "meses"},
               {3, 48, "Tit.Eleitor"},
               {4, 1, "CPF do Conjuge"},
               {4, 32, "Conjunta"},
               {4, 45, "Recibo {ANO}"},
               {5, 1, "Recibo {ANO-1}"},
               {5, 28, "Banco"},
               {5, 39, "Agência"},
               {5, 56, "Conta"},
               {6, 1, "Verificar situacao na SRF  Senha"},
               {6, 51, "Codigo"},
               {9, 1, "Tipo"},
               {9, 18, "Logradouro"},
               {9, 60, "Número"},
               {10, 1, "Complemento"},
               {10, 35, "Bairro"},
               {10, 63, "CEP"},
               {11, 1, "UF"},
               {11, 8, "Município"},
               {11, 43, "Código"},
               {11, 55, "País"},
               {11, 65, "Embaixada"},
               {12, 1, "Telefone (  )"},
               {12, 28, "Celular (  )"},
               {13, 1, "Correio Eletrônico (Email)"},
               {16, 1, "Nat"},
               {17, 1, "Cód"},
               {18, 1, "Registro Profissional"},
               {18, 45, "NIT/PIS"},
               {19, 1, "Transportar os valores da declaração do cônjuge (S/N)"}})},
        {"MTELA 6", window(3, 1, 0, 23, 79, "COR_TEL2", 2)},
        {"MTELA 10",
         with(window(3, 2, 0, 20, 78),
              {{2, 0, 18, 78, "(1) IDENTIFICACAO DA ATIVIDADE E DO IMÓVEL EXPLORADO"}},
              {{0, 1, "    Atividade Rural exercida no Brasil{MODO_LIVRO} ¦"}})},
        {"MTELA 11",
         with(window(3, 2, 20, 21, 61), {{0, 0, 19, 41, " (3) RECEITAS E DESPESAS    "}},
              // The month rows face the rows of the grid the list screen draws.
              joined({{1, 1, "{ROTULO_LIVRO}"}, {1, 13, "Valores em REAIS"}, {2, 1, "  Meses "}},
                     monthRows(4, " TOTAIS  ")))},
        {"MTELA 12",
         with(window(3, 3, 1, 21, 77),
              {{0, 0, 2, 76, "INFORMAÇÃO DO EXERCICIO ANTERIOR"},
               {3, 0, 10, 76, "APURAÇÃO DO RESULTADO TRIBUTÁVEL"},
               {11, 0, 13, 76, "INFORMAÇÕES PARA O EXERCÍCIO SEGUINTE"},
               {14, 0, 18, 76, "APURAÇÃO DO RESULTADO NAO TRIBUTÁVEL"}},
              {{0, 58, " Valor em R$ "},
               {1, 1, "Saldo de prejuízos de exercícios anteriores"},
               {4, 1, "Receita Bruta Total"},
               {5, 1, "Despesas de Custeio e Investimentos"},
               {6, 1, "Resultado I"},
               {7, 1, "Opção pelo limite de 20% da receita bruta (S/N)"},
               {8, 1, "Compensação de prejuízos de exercícios anteriores"},
               {9, 1, "RESULTADO TRIBUTAVEL"},
               {12, 1, "Saldo de prejuízo a compensar"},
               {15, 1, "Receita recebida em {ANO} para ser entregue em {ANO+1}"},
               {16, 1, "Adiantamento até {ANO-1} e entregue durante {ANO}"},
               {17, 1, "RESULTADO NAO TRIBUTAVEL"}})},
        {"MTELA1 10",
         with(window(5, 5, 10, 12, 54, "COR_TEL2"), {{0, 0, 7, 44, "Conversão pelo fator do mês"}},
              {{2, 2, "Mês (1 a 12)"},
               {3, 2, "Valor em R$"},
               {4, 2, "Fator"},
               {5, 2, "Valor convertido"}})},
        {"MTELA1 11", [] {
             Layout l = with(window(5, 5, 49, 21, 75, "COR_TEL3"), {{0, 0, 16, 26, ""}},
                             joined({{1, 1, "  Mês    {LEGENDA}"}}, monthRows(2, " Totais  ")));
             l.texts.push_back({15, 1, "Esc termina"});
             l.colour1 = "COR_TEL2";
             l.colour2 = "COR_TEL1";
             return l;
         }()},
        // The title window: the exercise year is the one after the base year.
        {"MTELA1 9", [] {
             Layout l = with(window(kTitleSlot, 3, 20, 17, 69, "COR_TEL2"), {{0, 0, 14, 49, ""}},
                             {{1, 2, "Exercício {ANO+1}"},
                              {1, 32, "Ano Base  {ANO}"},
                              {9, 2, "Term. {NUSU}"},
                              {9, 38, "com LCDPR"},
                              {11, 0, "Versao {VERSAO}", true}});
             for (size_t i = 0; i < std::size(kBanner); ++i)
                 l.texts.push_back({3 + static_cast<int>(i), 0, kBanner[i], true});
             l.colour1 = "COR_ENCHE";
             return l;
         }()},
        // The folder pair of the commands that copy or move a folder.
        {"MTELA1 4",
         with(window(kFolderSlot, 6, 15, 12, 56, "COR_TEL3"), {{0, 0, 6, 41, ""}},
              {{1, 1, "Drive e pasta {PASTA_1}"},
               {3, 0, "├────────────────────────────────────────┤"},
               {4, 1, "Drive e pasta {PASTA_2}"}})},
        {"MTELA2 4",
         with(window(5, 13, 5, 17, 77, "COR_TEL2"), {{0, 0, 4, 72, "Contador"}},
              {{1, 1, "Nome"}, {2, 1, "CPF/CNPJ"}, {2, 30, "Fone"}, {2, 51, "CRC"}, {3, 1, "E-Mail"}})},
    };
    return table;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The folder window's captions for the command being run.
std::string folderCaption(size_t which) {
    const base::NamedValues& s = base::session();
    const std::vector<std::string> captions =
        folderWindowCaptions(s.integer("OPCAO_1"), s.integer("QUEANO"));
    return which < captions.size() ? captions[which] : "";
}

std::map<std::string, std::string> sessionFields() {
    const base::NamedValues& s = base::session();
    const int year = s.integer("QUEANO");
    const int mode = s.integer("TIPO_LANCA");
    return {{"ANO", std::to_string(year)},
            {"ANO-1", std::to_string(year - 1)},
            {"ANO+1", std::to_string(year + 1)},
            {"MODO_CALCULO", s.flag("CAL_AUTO") ? " SO TOTAIS " : " INDIVIDUAL"},
            {"SOMA", automaticSumsLabel()},
            {"NUSU", s.text("NUSU")},
            {"VERSAO", s.text("VERSAO")},
            {"PASTA_1", folderCaption(0)},
            {"PASTA_2", folderCaption(1)},
            {"MODO_LIVRO", mode == 1   ? " modo Sem uso do Livro Caixa    "
                           : mode == 2 ? " modo Livro Caixa Digital(LCDPR)"
                                       : " modo Livro Caixa Comum         "},
            {"ROTULO_LIVRO", mode == 1   ? "Só Totais "
                             : mode == 2 ? "  LCDPR   "
                                         : " L.Caixa  "}};
}

// Writes `text` (CP850) into the rows from (row, column), cut at the edges.
void put(std::vector<std::string>& rows, int row, int column, const std::string& text) {
    if (row < 0 || row >= static_cast<int>(rows.size())) return;
    std::string& line = rows[static_cast<size_t>(row)];
    for (size_t i = 0; i < text.size(); ++i) {
        const long at = column + static_cast<long>(i);
        if (at < 0) continue;
        if (at >= static_cast<long>(line.size())) break;
        line[static_cast<size_t>(at)] = text[i];
    }
}

void putBox(std::vector<std::string>& rows, const LayoutBox& box) {
    const int width = box.right - box.left + 1;
    if (width < 2 || box.bottom <= box.top) return;
    const std::string rule(static_cast<size_t>(width - 2), glyph::kHorizontal);
    put(rows, box.top, box.left, glyph::kTopLeft + rule + glyph::kTopRight);
    for (int row = box.top + 1; row < box.bottom; ++row) {
        put(rows, row, box.left, std::string(1, glyph::kVertical));
        put(rows, row, box.right, std::string(1, glyph::kVertical));
    }
    put(rows, box.bottom, box.left, glyph::kBottomLeft + rule + glyph::kBottomRight);
    if (!box.caption.empty()) put(rows, box.top, box.left + 2, base::cp850::fromUtf8(box.caption));
}

void setPageAnchor(int page, int row, int column) {
    SessionLists& lists = sessionLists();
    base::session().set("NT", page);
    if (page < 0 || page >= static_cast<int>(lists.ALJ.size())) return;
    lists.ALJ[static_cast<size_t>(page)] = row;
    lists.ACJ[static_cast<size_t>(page)] = column;
}

}  // namespace

std::optional<Layout> layoutOf(const std::string& code,
                               const std::map<std::string, std::string>& fields) {
    const auto found = layoutTable().find(code);
    if (found == layoutTable().end()) return std::nullopt;
    std::map<std::string, std::string> all = sessionFields();
    for (const auto& [name, value] : fields)
        all[name] = value;
    Layout layout = found->second;
    auto fill = [&all](std::string& text) {
        for (const auto& [name, value] : all)
            text = replaceAll(text, "{" + name + "}", value);
    };
    for (LayoutText& text : layout.texts)
        fill(text.text);
    for (LayoutBox& box : layout.boxes)
        fill(box.caption);
    return layout;
}

std::vector<std::string> layoutCodes() {
    std::vector<std::string> codes;
    for (const auto& [code, layout] : layoutTable())
        codes.push_back(code);
    return codes;
}

std::string automaticSumsLabel() {
    return base::session().flag("CALBEN") ? " Soma Ligada   " : "Soma Desligada ";
}

std::optional<Layout> pageLayout(int page) {
    return layoutOf("MTELA " + std::to_string(page));
}

std::vector<std::string> layoutRows(const Layout& layout) {
    const int height = std::max(layout.bottom - layout.top + 1, 0);
    const int width = std::max(layout.right - layout.left + 1, 0);
    std::vector<std::string> rows(static_cast<size_t>(height),
                                  std::string(static_cast<size_t>(width), ' '));
    for (const LayoutBox& box : layout.boxes)
        putBox(rows, box);
    for (const LayoutText& text : layout.texts) {
        const std::string shown = base::cp850::fromUtf8(text.text);
        const int column =
            text.centred ? std::max((width - static_cast<int>(shown.size())) / 2, 0) : text.column;
        put(rows, text.row, column, shown);
    }
    return rows;
}

void drawLayout(const Layout& layout) {
    const base::NamedValues& s = base::session();
    common::REDEFJAN(layout.slot, s.integer(layout.colour1), s.integer(layout.colour2),
                     s.integer(layout.colour3), layout.top, layout.left, layout.bottom,
                     layout.right, layout.frame);
    common::ABREJAN(layout.slot);
    std::string text;
    for (const std::string& row : layoutRows(layout))
        text += row;
    if (!text.empty()) common::ESCRJAN(layout.slot, text);
}

void MTELA(int page) {
    static const std::map<int, std::pair<int, int>> kAnchorOnly = {{3, {4, 0}}};
    if (const std::optional<Layout> layout = pageLayout(page)) {
        setPageAnchor(page, layout->top, layout->left);
        drawLayout(*layout);
    } else if (const auto anchor = kAnchorOnly.find(page); anchor != kAnchorOnly.end()) {
        setPageAnchor(page, anchor->second.first, anchor->second.second);
    } else {
        base::session().set("NT", page);
    }
}

std::string pageFooter(int page) {
    const std::string on = "\x02";
    const std::string off = "\x01";
    switch (page) {
        case 5:
        case 12:
            return on + "[Esc]" + off + " - Termina declaracao " + on + "[Tab]" + off +
                   " - Proxima pagina " + on + "[Shift Tab]" + off + " - Pagina anterior";
        default:
            return {};
    }
}

void MRODAPE(int page) {
    const std::string text = pageFooter(page);
    if (text.empty()) return;
    common::ESCRJAN(0, base::padRight(text, 80 + 6));
}

std::vector<std::string> folderWindowCaptions(int command, int baseYear) {
    const std::string year = std::to_string(baseYear);
    switch (command) {
        case 71:
            return {"do Tavo  " + year, "do KDX2  " + year};
        case 72:
            return {"do IRPF  " + year, "do KDX2  " + year};
        case 73:
            return {"do ROrore" + year, "do KDX2  " + year};
        case 21:
            return {"Atual do KDX2", "Nova  do KDX2"};
        case 22:
        case 61:
        case 62:
            return {"Origem", "Destino"};
        default:
            return {};
    }
}

void MTELA1(int screen, int row, int column) {
    base::NamedValues& s = base::session();
    switch (screen) {
        case 9:
            setAnchor(s.integer("NT"), 3, 20);
            drawLayout(*layoutOf("MTELA1 9"));
            break;
        case 4: {
            // Commands without captions of their own keep the column anchor
            // they had.
            const bool captioned =
                !folderWindowCaptions(s.integer("OPCAO_1"), s.integer("QUEANO")).empty();
            setAnchor(4, 6, captioned ? 15 : sessionLists().ACJA[4]);
            s.set("NTA", 4);
            drawLayout(*layoutOf("MTELA1 4"));
            break;
        }
        default:
            setAnchor(screen, row, column);
            s.set("NTA", screen);
            break;
    }
}

}  // namespace kdx2::shell
