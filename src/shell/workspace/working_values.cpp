#include "shell/workspace/working_values.h"

#include <set>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/process_state.h"
#include "base/text.h"
#include "shell/settings.h"
#include "store/catalog.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::shell::workspace {

using namespace base::literals;
using base::Value;

namespace {

const Clock kScreenClock;
const Clock* gClock = &kScreenClock;
bool gExist = false;

// Names this workspace added to the session (others were already there).
std::set<std::string>& createdNames() {
    static std::set<std::string> names;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] {
        names.clear();
        gExist = false;
    });
    return names;
}

void define(std::string_view name, Value value) {
    base::NamedValues& s = base::session();
    if (!s.has(name)) createdNames().insert(base::asciiUpper(name));
    s.set(name, std::move(value));
}

Value blanks(size_t width) {
    return Value(std::string(width, ' '));
}

// Every field of the table as a working value with its type's empty value
// (text blank to its width); CPF stays the session's current taxpayer.
void defineFieldsOf(int table) {
    const store::Structure layout = store::tableLayout(table).value_or(store::Structure{});
    for (const store::FieldDef& field : layout) {
        if (field.name == "CPF") continue;
        define(field.name, field.type == base::Type::Character
                               ? blanks(static_cast<size_t>(field.width))
                               : Value::emptyOf(field.type));
    }
}

void blankRegisterValues() {
    defineFieldsOf(9);
    const std::pair<const char*, size_t> texts[] = {
        {"CPF1", 11},      {"TIPOEND", 11},    {"ENDERECO", 37}, {"NUMERO", 6},
        {"COMPLEM", 21},   {"BAIRRO", 20},     {"CEP", 8},       {"NOMEMUNI", 24},
        {"CODMUNI", 4},    {"MUNICIPIO", 24},  {"UF", 2},        {"DDDTEL", 4},
        {"TELEFO", 8},     {"DDDFAX", 4},      {"NROFAX", 8},    {"EMAIL", 30},
        {"TITULO", 13},    {"CGCPAGADOR", 18}, {"OCUPACAO", 46}, {"RECIBOANT", 12},
        {"SENACESSO", 15}, {"REGPROF", 20},    {"CODPRO", 3},    {"CDPRO", 3},
        {"CODEMB", 3},     {"CODPAIS", 4},     {"CPFCONJU", 11}, {"CODAT", 2},
        {"DESCRAT", 58},   {"BANCO", 3},       {"AGENCIA", 7},   {"CONTACO", 15},
        {"TELCELU", 8},    {"TELESCR", 8},     {"TELSECR", 8},   {"NIT_TIT", 11},
        {"RECIBOATU", 12}, {"NOMECONTR", 53},  {"TEMRURAL", 1},  {"CONJUNTA", 1},
        {"DESPINST", 1},   {"NOVOEND", 1}};
    for (const auto& [name, width] : texts)
        define(name, blanks(width));
    define("DIRCONJU", base::session().get("LOCARQ"));
    define("NASCIMENTO", Value(base::Date()));
    for (const char* name : {"CODACESSO", "NATUREZA", "DESPALIM", "INFO_CONJ", "ORDEM", "ESTATUS",
                             "I1_TOTR", "I2_TOTR", "TOT_RECB", "EMPRESTI"})
        define(name, Value(0));
    define("BUSCA", Value("N"));
}

void blankRuralValues() {
    for (int i = 1; i <= 7; ++i)
        define("I4_0" + std::to_string(i), Value(0));
    for (const char* name : {"I5_08", "I5_09", "I5_10", "I6_10", "I4_PER09"})
        define(name, Value(0));
    for (int n = 1; n <= 5; ++n)
        for (const char* part : {"A", "B", "C", "S", "V1", "V2"})
            define("I7_" + std::to_string(n) + part, Value(0));
    define("I7_V1", blanks(22));
    define("I7_V2", blanks(22));
    for (int i = 1; i <= 6; ++i)
        define("I7_T" + std::to_string(i), Value(0));
}

void defineMonthlyValues() {
    for (int month = 0; month <= 12; ++month) {
        const std::string mm = monthSuffix(month);
        for (int xx = 1; xx <= 13; ++xx)
            define("I3_" + monthSuffix(xx) + mm, Value(0));
        for (int xx = 1; xx <= 6; ++xx)
            define("I4_" + monthSuffix(xx) + mm, Value(0));
    }
    for (int x = 1; x <= 6; ++x)
        for (int month = 1; month <= 13; ++month)
            define("I2_" + std::to_string(x) + monthSuffix(month), Value(0));
}

void definePageState(const base::Date& today) {
    const int year = base::session().integer("QUEANO");
    auto fourDigits = [](int y) { return Value(base::padLeft(std::to_string(y), 4)); };
    auto lastTwo = [](int y) { return Value(monthSuffix(((y % 100) + 100) % 100)); };
    for (const char* one : {"TELA", "TELVEL", "MES_INIC", "QUEMES", "MES_PROJ", "QUALIMP", "OPC",
                            "QME", "PONTEIRO", "PONTVERT", "ULTTECLA"})
        define(one, Value(1));
    define("TELMAX", Value(13));
    for (const char* off : {"SO_REC", "FLAG_CALC", "TECLAMUDA", "CAL_AUTO", "ZOOM_DIV", "ZOOM_BEM",
                            "PVEZ", "LRECUPERA"})
        define(off, Value(false));
    for (const char* on : {"CALBEN", "ESPERA", "SO_TOTAL"})
        define(on, Value(true));
    define("MES_PGTO", Value(today.month()));
    define("MES_FINAL", Value(12));
    define("PIC_USU", Value("@Ez 99,999,999,999.9999"));
    define("LCAL", Value(5));
    define("CCAL", Value(10));
    define("ANOANTE", fourDigits(year - 1));
    define("ANOBASE", fourDigits(year));
    define("ANOVEM", fourDigits(year + 1));
    define("CANOANTER", lastTwo(year - 1));
    define("CANOATUAL", lastTwo(year));
    define("ANO_NUN", Value(today.year()));
    define("MES_ATU", Value(today.month()));
    define("STATUS", Value(""));
    define("TAM_CALC", Value(""));
}

void defineTimeValues() {
    for (const char* name : {"INI_DECLA", "FIM_DECLA", "TEM_USO", "TEMGAST", "SEM_SALV"})
        define(name, Value(0));
    define("SEMHORA", Value(true));
}

// Capital gains: the detail values start blank, with the currency symbol
// and the usual answers.
void defineCapitalGainsValues() {
    defineFieldsOf(7);
    define("SIMB_MOED", Value("R$ "));
    for (const char* name : {"VEN_VISTA", "PARCOMPRA", "PEQ_VALOR"})
        define(name, Value("N"));
    define("BEM_NRO", Value(1));
}

void resetGrids() {
    WorkspaceGrids& g = workspaceGrids();
    static const char* const kMonths[] = {"Janeiro",  "Fevereiro", "Março",    "Abril",
                                          "Maio",     "Junho",     "Julho",    "Agosto",
                                          "Setembro", "Outubro",   "Novembro", "Dezembro"};
    const std::string cell14(14, ' ');
    for (int month = 1; month <= 12; ++month) {
        const std::string label =
            monthSuffix(month) + "-" + base::cp850::fromUtf8(kMonths[month - 1]);
        g.CALC_MENS[month - 1] = {label, cell14, cell14};
        g.LEAO_MENS[month - 1] = {label, cell14, cell14};
    }
    g.CALC_MENS[12] = {"TOTAIS......", cell14, cell14};
    const std::string zero = ui::transform(Value(0), kRuralPicture).text();
    for (auto& row : g.REND_RURAL)
        row = {zero, zero};
    for (auto& row : g.REND_ISEN)
        row.fill(cell14);
    for (auto& row : g.REND_EXCL)
        row.fill(cell14);
    g.TAB_JUR.fill(0);
    g.NDEP.fill(0);
    g.MES_NEG.fill(0);
    g.MRENVAR = tax::ZER_RENVAR(base::session().integer("QUEANO"));
    g.dayTrade = " ";
    g.accumulators.clear();
    for (const char* name :
         {"TRECRUR",  "TDESRUR",  "TRECJUR",  "TRECDEP",  "TIMPJUR",  "TIMPDEP", "IMPOGAN",
          "IMPORVAR", "IMPDEVRV", "IMPDEVME", "TPAGPREV", "TPAGPPRI", "TPAGPD",  "T13ROD",
          "DESPMED",  "DESPINC",  "DESPESC",  "DESPMEN",  "DESPOUT",  "DESPFAPI"})
        g.accumulators[name].zero();
    tax::CarneLeao& carne = tax::carneLeao();
    for (tax::Accumulator* a : {&carne.TRECFIS, &carne.TRECEXT, &carne.TPAGLCX, &carne.TPAGPRE,
                                &carne.TPAGLEO, &carne.TLEODEV, &carne.DESPPEN})
        a->zero();
    carne.REC_MENSAL = tax::MonthlyGrid();
}

}  // namespace

void labelSummary() {
    // Each fits the 22 columns of the summary's first column.
    static const char* const kLabels[] = {
        "Rec. P.Jurídica (Tit.)", "Rec. P.Jurídica (Dep.)", "Recebido de P. Físicas",
        "Recebido no exterior  ", "Resultado ativ. rural ", "Total ................",
        "Prev.Oficial (Tit+Dep)", "Previdência Priv./FAPI", "Dependentes           ",
        "Despesas Livro Caixa  ", "Pensão judicial       ", "TOTAL DEDUÇÕES MENSAIS",
        "Despesas médicas/hosp.", "Despesas com instrução", "Subtotal..............",
        "TOTAL DEDUÇÕES ANUAIS ", "Desc. simplificado 20%", "Base de cálculo       ",
        "Imposto               ", "Deduções de incentivos", "IMPOSTO DEVIDO........",
        "Imposto retido (Tit.) ", "Imposto retido (Dep.) ", "Carnê Leão pago       ",
        "Mensalão+Imp.Ext. pago", "Saldo ................", "Carnê Leão devido     ",
        "Mensalão/Poupança sug.", "IR ganho de capital   ", "IR renda variável     "};
    auto& grid = sessionLists().MRESUMO;
    for (size_t row = 0; row < std::size(kLabels); ++row)
        grid[row + 1][0] = base::cp850::fromUtf8(kLabels[row]);
    if (base::alltrim(base::session().text("QUALMENS")) == "2")
        grid[28][0] = base::cp850::fromUtf8("Mensalão a recolher........");
}

tax::Accumulator& WorkspaceGrids::accumulator(const std::string& name) {
    return accumulators[base::asciiUpper(name)];
}

WorkspaceGrids& workspaceGrids() {
    static WorkspaceGrids grids;
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { grids = WorkspaceGrids{}; });
    return grids;
}

long Clock::secondsSinceMidnight() const {
    return ui::secondsSinceMidnight();
}

base::Date Clock::today() const {
    return ui::today();
}

const Clock& clock() {
    return *gClock;
}

void setClock(const Clock* clock) {
    [[maybe_unused]] static const bool registered =
        base::registerResetOnce([] { gClock = &kScreenClock; });
    gClock = clock ? clock : &kScreenClock;
}

std::string monthSuffix(int month) {
    if (month == 0) return "T";
    return (month < 10 ? "0" : "") + std::to_string(month);
}

void createWorkingValues() {
    const base::Date today = clock().today();
    defineFieldsOf(1);
    blankRegisterValues();
    defineMonthlyValues();
    blankRuralValues();
    define("TIPO_LANCA", Value(0));
    definePageState(today);
    defineTimeValues();
    defineCapitalGainsValues();
    resetGrids();
    labelSummary();
    gExist = true;
}

void discardWorkingValues() {
    base::NamedValues& s = base::session();
    for (const std::string& name : createdNames())
        s.erase(name);
    createdNames().clear();
    resetGrids();
    gExist = false;
}

bool workingValuesExist() {
    return gExist;
}

void LIMPVAR() {
    blankRegisterValues();
    blankRuralValues();
    define("STATUS", Value(""));
}

}  // namespace kdx2::shell::workspace
