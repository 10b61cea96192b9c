#include "reports/darf_layouts.h"

#include "base/cp850.h"
#include "base/text.h"

namespace kdx2::reports {

using namespace base::literals;
namespace glyph = base::cp850::box;

namespace {

std::string repeat(int count, char ch) {
    return std::string(static_cast<size_t>(count), ch);
}

std::string pad(const std::string& text, int width) {
    return base::padRight(text, static_cast<size_t>(width));
}

// ---- Choosers ----

// A boxed list of choices: the title on the top rule, a blank row, the
// choices after a mark column and a blank, a blank row and the bottom rule.
std::vector<std::string> chooserRows(const std::string& title,
                                     const std::vector<std::string>& choices, int width) {
    const int inner = width - 2;
    std::vector<std::string> rows;
    rows.push_back(glyph::kTopLeft + repeat(1, glyph::kHorizontal) + title +
                   repeat(inner - 1 - static_cast<int>(title.size()), glyph::kHorizontal) +
                   glyph::kTopRight);
    rows.push_back(glyph::kVertical + repeat(inner, ' ') + glyph::kVertical);
    for (const std::string& choice : choices)
        rows.push_back(glyph::kVertical + pad("  " + choice, inner) + glyph::kVertical);
    rows.push_back(glyph::kVertical + repeat(inner, ' ') + glyph::kVertical);
    rows.push_back(glyph::kBottomLeft + repeat(inner, glyph::kHorizontal) + glyph::kBottomRight);
    return rows;
}

ChooserLayout makeChooser(int bottom, int right, const std::string& title,
                          const std::vector<std::string>& choices) {
    constexpr int kTop = 2;
    constexpr int kLeft = 34;
    ChooserLayout layout{{5, kTop, kLeft, bottom, right, 0, "COR_TEL2", "COR_TEL1", "COR_TEL2",
                          chooserRows(title, choices, right - kLeft + 1)},
                         2,
                         3,
                         static_cast<int>(choices.size())};
    return layout;
}

// ---- The form ----

constexpr int kLeftWidth = 35;
constexpr int kMiddleWidth = 22;
constexpr int kRightWidth = 18;

std::string formRule(char left, char first, char second, char right) {
    return left + repeat(kLeftWidth, glyph::kHorizontal) + first +
           repeat(kMiddleWidth, glyph::kHorizontal) + second +
           repeat(kRightWidth, glyph::kHorizontal) + right;
}

std::string formCells(const std::string& left, const std::string& middle) {
    return glyph::kVertical + pad(left, kLeftWidth) + glyph::kVertical + pad(middle, kMiddleWidth) +
           glyph::kVertical + repeat(kRightWidth, ' ') + glyph::kVertical;
}

// A row whose middle and right columns are a rule under the labels.
std::string formLeftOnly(const std::string& left) {
    return glyph::kVertical + pad(left, kLeftWidth) + glyph::kTeeRight +
           repeat(kMiddleWidth, glyph::kHorizontal) + glyph::kCross +
           repeat(kRightWidth, glyph::kHorizontal) + glyph::kTeeLeft;
}

ScreenLayout makeForm() {
    std::vector<std::string> rows = {
        formRule(glyph::kTopLeft, glyph::kTeeDown, glyph::kTeeDown, glyph::kTopRight),
        formCells(" MINISTÉRIO DA FAZENDA SRF"_cp, "02-Período de apuração"_cp),
        formLeftOnly(""),
        formCells("            D A R F", "03-Número do CPF/CGC"_cp),
        formLeftOnly(""),
        formCells("Quota ou mês Inicial     Data Pgto."_cp, "04-Código da receita"_cp),
        formLeftOnly("Quota ou mês Final"_cp),
        formCells("Prim. dia útil após Vcto"_cp, "05-Nro de referência"_cp),
        formRule(glyph::kTeeRight, glyph::kCross, glyph::kCross, glyph::kTeeLeft),
        formCells("01-Nome / Telefone", "06-Data de Vencimento"),
        formLeftOnly(""),
        formCells("", "07-Valor do principal"),
        formLeftOnly(""),
        formCells("", "08-Valor Multa"),
        formLeftOnly(""),
        formCells("", "09-Valor juros"),
        formLeftOnly(""),
        formCells("", "10-Valor Total"),
        formRule(glyph::kBottomLeft, glyph::kTeeUp, glyph::kTeeUp, glyph::kBottomRight),
        repeat(kLeftWidth + kMiddleWidth + kRightWidth + 4, ' '),
    };
    return {4, 2, 0, 21, 78, 0, "COR_TEL1", "COR_TEL2", "COR_TEL2", rows};
}

// ---- The drawn slip ----

std::string dashes(int count) {
    return repeat(count, '-');
}

std::string blanks(int count) {
    return repeat(count, ' ');
}

const std::string kRule = "+" + dashes(35) + "+" + dashes(21) + "+" + dashes(18) + "+";
const std::string kRightRule = "+" + dashes(21) + "+" + dashes(18) + "+";

std::string labelled(const std::string& left, const std::string& label) {
    return "|" + pad(left, 35) + "|" + label + "|" + blanks(18) + "|";
}

std::string leftThenRule(const std::string& left) {
    return "|" + pad(left, 35) + kRightRule;
}

}  // namespace

std::string ScreenLayout::text() const {
    std::string joined;
    for (const std::string& row : rows)
        joined += pad(row, width());
    return joined;
}

const ChooserLayout& kindChooser() {
    static const ChooserLayout layout =
        makeChooser(8, 48, "Tipo DARF", {"C.Leão     "_cp, "Mensalão   "_cp, "Outros     "});
    return layout;
}

const ChooserLayout& rangeChooser() {
    static const ChooserLayout layout =
        makeChooser(7, 52, "", {"Só o mês pedido"_cp, "Vários meses   "_cp});
    return layout;
}

const ScreenLayout& slipForm() {
    static const ScreenLayout layout = makeForm();
    return layout;
}

const std::vector<std::string>& drawnFormRows() {
    static const std::vector<std::string> rows = {
        kRule,
        labelled("    MINISTERIO DA FAZENDA", "2-Periodo de apuracao"),
        leftThenRule("    Secretaria da Receita Federal"),
        labelled("Doc. Arrecada. de Receitas Federais", "3-Numero do CPF/CGC  "),
        leftThenRule("           D  A  R  F"),
        labelled("", "4-Codigo da receita  "),
        kRule,
        labelled("01-Nome / Telefone", "5-Nro de referencia  "),
        leftThenRule(""),
        labelled("", "6-Data de Vencimento "),
        kRule,
        labelled("", "7-Valor do principal "),
        leftThenRule(""),
        "+" + dashes(35) + "+8-Valor da Multa     |" + blanks(18) + "|",
        leftThenRule(""),
        labelled("", "9-Valor dos juros    "),
        leftThenRule(""),
        labelled("", "10-Valor Total       "),
        leftThenRule(""),
        "|" + pad("Valido p/ pagamento", 35) + "|11-Autenticacao bancaria" + blanks(16) + "|",
        "|" + blanks(35) + "|" + blanks(40) + "|",
        "|" + blanks(35) + "|" + blanks(40) + "|",
        "|Modelo Aprovado pela IN/SRF 81/96  |" + blanks(40) + "|",
        "+" + dashes(35) + "+" + dashes(40) + "+",
    };
    return rows;
}

const std::vector<SlipPlace>& drawnFormPlaces() {
    using V = SlipValue;
    static const std::vector<SlipPlace> places = {
        {1, 67, V::Period},    {3, 61, V::Cpf},           {5, 66, V::Code},
        {7, 59, V::Reference}, {8, 1, V::Name},           {9, 1, V::Phone},
        {9, 65, V::DueDate},   {11, 1, V::Title},         {11, 63, V::Principal},
        {13, 63, V::Fine},     {14, 1, V::Line1},         {15, 1, V::Line2},
        {15, 63, V::Interest}, {16, 1, V::Line3},         {17, 1, V::Line4},
        {17, 63, V::Total},    {19, 21, V::ValidityWord}, {19, 25, V::ValidityDate},
        {20, 1, V::LowTotal1}, {21, 1, V::LowTotal2},
    };
    return places;
}

const std::vector<SlipPlace>& preprintedPlaces() {
    using V = SlipValue;
    static const std::vector<SlipPlace> places = {
        {0, 0, V::SetUp},    {0, 67, V::Period},     {0, 0, V::Pause},
        {2, 61, V::Cpf},     {2, 0, V::Pause},       {4, 66, V::Code},
        {4, 0, V::Pause},    {7, 1, V::Name},        {8, 1, V::Phone},
        {8, 65, V::DueDate}, {8, 0, V::Pause},       {10, 63, V::Principal},
        {12, 1, V::Title},   {12, 63, V::Fine},      {14, 63, V::Interest},
        {16, 63, V::Total},  {19, 40, V::LowTotal1}, {20, 40, V::LowTotal2},
    };
    return places;
}

}  // namespace kdx2::reports
