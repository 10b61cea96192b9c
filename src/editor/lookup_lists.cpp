#include "editor/lookup_lists.h"

#include <cctype>
#include <map>

#include "base/cp850.h"
#include "base/error.h"
#include "base/process_state.h"
#include "base/text.h"
#include "common/messages.h"
#include "editor/engine.h"
#include "platform/console/keys.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/dialog.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::editor {

namespace keys = platform::keys;
namespace tables = store::tables;
using namespace base::literals;

namespace {

// A column of a list: text fields are cut to the width the list gives them,
// so a long description does not push the other columns out of the window.
BrowseColumn listColumn(const std::string& headingUtf8, const std::string& field,
                        const std::string& picture, int width = 0) {
    const std::string display =
        width > 0 ? "substr(" + field + ",1," + std::to_string(width) + ")" : field;
    return BrowseColumn{display, field, picture, base::cp850::fromUtf8(headingUtf8)};
}

LookupList codeList(int table, const std::string& title, std::vector<BrowseColumn> columns,
                    const std::string& returns) {
    LookupList list;
    list.table = table;
    list.title = base::cp850::fromUtf8(title);
    list.columns = std::move(columns);
    list.returns = returns;
    return list;
}

int codeOf(const base::Value& value) {
    if (value.isNumeric()) return static_cast<int>(value.number());
    return static_cast<int>(base::parseNumber(base::alltrim(value.text())));
}

// The companies paying the open taxpayer (its scratch copy of the income
// lines), for the main payer's number.
LookupList companyPayersList() {
    LookupList list = codeList(
        tables::scratch(tables::kIncome), "Firmas pagadoras",
        {listColumn(" Firma pagadora ", "I1_2", "@S28", 28), listColumn("CNPJ/CPF", "I1_3", "@S18"),
         listColumn("Valor", "I1_413", "@Ez 999,999,999.99")},
        "I1_3");
    list.rows = [](store::Table& t) { return t.get("I1_1").text() == "J"; };
    return list;
}

// The capital gains already entered for the open taxpayer (the table's
// variable-income rows left out): shown to look at, Enter takes nothing.
// The tax column is the tax due, the table's only tax of a sale.
LookupList capitalGainsList() {
    const bool company = settings().integer("TIPO_BEM") == 3;
    LookupList list = codeList(
        tables::scratch(tables::kCapitalGains), "Ganhos de capital",
        {listColumn("Nro.", "BEM_NRO", "@Z 99"),
         listColumn(company ? "Nome da Sociedade" : "Descrição do Bem", "ESPC_BEM1", "@s28", 28),
         listColumn("Tributado", "VAL_TRIBU", "@Ez 99,999,999.99"),
         listColumn("Imposto", "VAL_IMPOSV", "@Ez 99,999,999.99"),
         listColumn("Nao Tribu.", "VAL_NAOTRI", "@Ez 99,999,999.99")},
        "");
    list.rows = [](store::Table& t) { return t.get("TIPO_BEM").number() != 4; };
    list.top = 6;
    list.left = 2;
    list.bottom = 19;
    list.right = 78;
    return list;
}

LookupList accountsList() {
    LookupList list = codeList(
        tables::kAccounts, "Plano de contas",
        {listColumn("Código", "CDCONTA", "@s6"), listColumn("Descrição", "NMDESCRICA", "@s60", 60)},
        "CDCONTA");
    if (const std::optional<AccountRange> range = entryKindRange()) {
        const AccountRange r = *range;
        list.rows = [r](store::Table& t) { return r.contains(codeOf(t.get("CDCONTA"))); };
    }
    list.top = 6;
    list.left = 8;
    list.bottom = 19;
    list.right = 76;
    return list;
}

// The municipalities of the state in the session's "UF" (all of them when
// it is blank), in name order within the state.
LookupList municipalitiesList(bool stateField) {
    LookupList list = codeList(tables::kMunicipalities, "Municípios",
                               {listColumn(stateField ? "Nome dos Estados" : "Nome dos municípios",
                                           "NOMEMUNI", "@S30", 30),
                                listColumn("UF", "UNIFED", "@!")},
                               "NOMEMUNI");
    const std::string state = base::asciiUpper(base::alltrim(settings().text("UF")));
    list.temporaryKey = "UNIFED+upper(NOMEMUNI)";
    if (state.size() == 2) {
        list.rows = [state](store::Table& t) {
            return base::rtrim(t.get("UNIFED").text()) == state;
        };
        list.seekPrefix = state;
    }
    list.alsoSession = {{"CODMUNI", "CODMUNI"}, {"CODCID", "CODCID"}};
    return list;
}

}  // namespace

std::optional<AccountRange> accountRange(const std::string& kind, const std::string& credit) {
    const std::string k = base::asciiUpper(base::alltrim(kind));
    if (k == "F") return AccountRange{1000, 2000};
    if (k == "J") return AccountRange{2000, 2300};
    if (k == "D") return AccountRange{2300, 2400};
    if (k == "E") return AccountRange{3000, 4000};
    if (k == "L" || k == "O") return AccountRange{4000, 4200};
    if (k == "R") {
        const std::string c = base::asciiUpper(base::alltrim(credit));
        if (c == "C") return AccountRange{8000, 9000};
        if (c == "D") return AccountRange{9000, 10000};
    }
    return std::nullopt;
}

namespace {

std::optional<AccountRange>& formAccountRange() {
    static std::optional<AccountRange> range;
    [[maybe_unused]] static const bool registered = base::registerResetOnce([] { range.reset(); });
    return range;
}

}  // namespace

AccountListRange::AccountListRange(AccountRange range) : previous_(formAccountRange()) {
    formAccountRange() = range;
}

AccountListRange::~AccountListRange() {
    formAccountRange() = previous_;
}

std::optional<AccountRange> entryKindRange() {
    if (formAccountRange()) return formAccountRange();
    const base::NamedValues& s = settings();
    switch (screenCode()) {
        case screens::kIncome:
            return accountRange("J", "");
        case screens::kDependantsIncome:
            return accountRange("D", "");
        case screens::kMonthEntries:
            return accountRange(s.text("I1_1"), s.text("TIPOCR"));
        case screens::kRuralEntries:
            return accountRange("R", s.text("TIPOCR"));
        default:
            return std::nullopt;
    }
}

std::optional<LookupList> lookupList(const std::string& qualhlp) {
    const std::string name = base::asciiUpper(base::alltrim(qualhlp));
    if (name == "CODIDEPEN" || name == "M->CODIDEPEN")
        return codeList(tables::kDependantCodes, "Relação de dependência",
                        {listColumn("Cod.", "CODDEP", "@Z 99"),
                         listColumn("Relação de dependência", "DESCRICAO", "@S55", 55)},
                        "CODDEP");
    if (name == "I6_3")
        return codeList(tables::kExpenseCodes, "Pagamentos e doações",
                        {listColumn("Cod.", "CODDES", "@Z 99"),
                         listColumn("Doação ou Pagamento", "DESCDOA", "@S55", 55)},
                        "CODDES");
    if (name == "M->CDPRO" || name == "CDPRO")
        return codeList(tables::kOccupations, "Ocupações",
                        {listColumn("Código", "CDPRO", "@S3"),
                         listColumn(" Nome da Ocupação ", "OCUPACAO", "@S55", 55)},
                        "CDPRO");
    if (name == "M->CODAT" || name == "CODAT")
        return codeList(tables::kNatures, "Natureza da ocupação",
                        {listColumn("Cód", "CODAT", "@S3"),
                         listColumn(" Nome da Ocupação ", "DESCRAT", "@S55", 55)},
                        "CODAT");
    if (name == "NRO_BANCO" || name == "NOM_BANCO" || name == "M->BANCO") {
        LookupList list = codeList(tables::kBanks, "Bancos",
                                   {listColumn("Nro.", "NUMBAN", "@S3"),
                                    listColumn(" Nome do Banco ", "NOMEBAN", "@S48", 48)},
                                   "NUMBAN");
        return list;
    }
    if (name == "PAIS_CTA" || name == "M->PAIS" || name == "M->CODPAIS") {
        LookupList list =
            codeList(tables::kCountries, "Países",
                     {listColumn("Cód", "CODPAIS", "@S3"), listColumn("Sigla", "SIGLA", "@!"),
                      listColumn("Nome do País", "NOMPAIS", "@S45", 45)},
                     name == "PAIS_CTA" ? "SIGLA" : "CODPAIS");
        return list;
    }
    if (name == "DF_CODIG")
        return codeList(tables::kDarfCodes, "Códigos de DARF",
                        {listColumn(" Especificação ", "ESPECIFICA", "@s40", 40),
                         listColumn("Código", "CODIGO", "@s4")},
                        "CODIGO");
    if (name == "M->CODEMB")
        return codeList(tables::kEmbassies, "Embaixadas",
                        {listColumn("Cod.", "CD_EX", ""), listColumn("Cidade", "NM_CIDADE", "", 20),
                         listColumn("Nome do País", "NM_PAIS", "", 20),
                         listColumn("Representação", "NM_REP", "", 20)},
                        "CD_EX");
    if (name == "M->TIPOEND" || name == "M->RUAIMO")
        return codeList(
            tables::kStreetTypes, "Tipos de endereço",
            {listColumn("Tipo Endereço", "NOMELOGRA", "@S11"), listColumn("Sigla", "SIGLA", "")},
            "NOMELOGRA");
    if (name == "M->MUNICIPIO" || name == "M->MUNICIMO" || name == "MUNICIMO" ||
        name == "M->CID_SOCIE" || name == "M->DISTR_IMR" || name == "DISTR_IMR")
        return municipalitiesList(false);
    if (name == "M->CDCONTA" || name == "CDCONTA") return accountsList();
    if (name == "M->CPF" || name == "M->NOMECONTR" || name == "M->DIRCONJU") {
        LookupList list =
            codeList(tables::kRegister, "Contribuintes",
                     {listColumn(" Nome do Contribuinte ", "NOMECONTR", "@S40", 40),
                      listColumn(" CPF", "CPF", "@R 999.999.999-99"),
                      listColumn("Status", "ESTATUS", "9"), listColumn("Rural", "TEMRURAL", "@!")},
                     "CPF");
        list.top = 4;
        list.left = 6;
        list.bottom = 17;
        list.right = 75;
        list.letterOrder = 2;
        return list;
    }
    if (name == "M->QUALCPF" || name == "QUALCPF")
        return codeList(tables::kDarfTaxpayers, "Contribuintes do DARF",
                        {listColumn(" Nome do Contribuinte ", "NOMECONTR", "@S40", 40),
                         listColumn(" CPF/CNPJ", "QUALCPF", "@S18")},
                        "QUALCPF");
    if (name == "M->CGCPAGADOR" || name == "CGCPAGADOR") return companyPayersList();
    if (name == "M->TIPO_BEM" || name == "TIPO_BEM") return capitalGainsList();
    if (name == "M->ORIGEM" || name == "M->DESTINO")
        return codeList(tables::kFolderList, "Pastas",
                        {listColumn("Nome dos diretórios", "DIRETOR", "@S40", 40)}, "DIRETOR");
    return std::nullopt;
}

store::Table* openCodeTable(int number) {
    store::WorkAreas& areas = store::workAreas();
    if (store::Table* open = areas.table(number)) return open;
    const int previous = areas.current();
    try {
        common::OpeningMessagesOff quiet;
        store::ABERTURA(number);
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
    }
    areas.select(previous);
    return areas.table(number);
}

// ---- The list's browse ----------------------------------------------------------

namespace {

// The code tables live in the install folder and are opened on first use;
// the register, the folder list and the scratch copies must already be open
// (their folder depends on the command running).
store::Table* openListTable(int number) {
    const bool codeTable = number >= tables::kDependantCodes && number != tables::kFolderList;
    return codeTable ? openCodeTable(number) : store::workAreas().table(number);
}

void tellUnavailable(int number) {
    common::AVISOSN({"A tabela de consulta nº "_cp + std::to_string(number) +
                         " não pôde ser aberta (ausente, danificada ou em uso)."_cp,
                     "Digite o código diretamente no campo."_cp},
                    common::box::kStop);
}

// Seeks the typed text in the list's order; the list stays where it was
// when the order cannot take it.
void seekTyped(store::Table& table, const LookupList& list, const std::string& typed) {
    if (table.order() == 0) return;
    const uint32_t here = table.recNo();
    try {
        const bool numericKey = !table.eof() && table.currentKey().isNumeric();
        if (numericKey)
            table.seek(base::Value(base::parseNumber(typed)), true);
        else
            table.seek(
                base::Value(list.seekPrefix + (list.upperSeek ? base::asciiUpper(typed) : typed)),
                true);
        if (table.eof()) table.goBottom();
    } catch (const base::Error&) {
        table.goTo(here);
    }
}

// The code a list opens at, as typed (a zero code opens at the top).
std::string codeText(const base::Value& code) {
    if (code.isNumeric()) return code.number() == 0 ? std::string() : std::to_string(codeOf(code));
    return base::alltrim(code.text());
}

// While a list is open: a second list is refused (PROG), and however the
// list ends its table gets back its order, position and no filter, and the
// area selected before is selected again.
class OpenList {
  public:
    OpenList(store::Table& table, int previousArea)
        : table_(table), previous_(previousArea), order_(table.order()), here_(table.recNo()) {
        settings().set("PROG", 1);
    }
    ~OpenList() {
        table_.setFilter({});
        try {
            table_.setOrder(order_);
            table_.goTo(here_);
        } catch (const base::Error& e) {
            ui::diagnostic(e.what());
        }
        settings().set("PROG", 0);
        store::workAreas().select(previous_);
    }
    OpenList(const OpenList&) = delete;
    OpenList& operator=(const OpenList&) = delete;

  private:
    store::Table& table_;
    int previous_;
    int order_;
    uint32_t here_;
};

}  // namespace

base::Value HBROWSE(const LookupList& list, store::Table& table) {
    const std::shared_ptr<ui::LDialog> dialog =
        ui::LDLGSHOW(list.top, list.left, list.bottom, list.right, list.title);
    TableSource source(table, list.columns);
    std::vector<GridColumn> columns;
    for (size_t i = 0; i < list.columns.size(); ++i)
        columns.push_back(GridColumn{list.columns[i].heading, source.columnWidth(i)});
    GridView view(source, innerArea(list.top - 1, list.left, list.bottom, list.right), columns,
                  false, browseColours());
    base::Value chosen;
    std::string typed;
    bool done = false;
    while (!done) {
        view.clearHits();
        view.stabilize();
        const int key = ui::waitKey();
        if (key == keys::None || key == keys::MenuEvent) continue;
        if (view.moveAlongRow(key)) continue;
        if (key == keys::Backspace && !typed.empty()) {
            typed.pop_back();
            seekTyped(table, list, typed);
            view.refreshAll();
            continue;
        }
        if (keys::isCharacter(key) && (key != ' ' || !typed.empty())) {
            if (typed.empty() && list.letterOrder > 0 && std::isalpha(key) &&
                table.indexCount() >= list.letterOrder)
                table.setOrder(list.letterOrder);
            typed += static_cast<char>(key);
            seekTyped(table, list, typed);
            view.refreshAll();
            continue;
        }
        typed.clear();
        if (view.moveAcrossRows(key)) continue;
        switch (key) {
            case keys::Enter:
                if (!table.eof()) {
                    if (!list.returns.empty()) chosen = table.get(list.returns);
                    for (const auto& [field, name] : list.alsoSession)
                        settings().set(name, table.get(field));
                }
                done = true;
                break;
            case keys::Esc:
            case keys::CtrlEnter:
                done = true;
                break;
            default:
                if (list.temporaryKey.empty() &&
                    (key == keys::function(1) || key == keys::function(2))) {
                    const int n = key == keys::function(1) ? 1 : 2;
                    if (table.indexCount() >= n) {
                        table.setOrder(n);
                        view.refreshAll();
                    }
                } else if (ui::isBound(key)) {
                    ui::SETKEYEVAL(key);
                }
                break;
        }
    }
    ui::LDLGCLOSE();
    return chosen;
}

base::Value GERAL2(const std::string& qualhlp, const base::Value& code) {
    base::NamedValues& s = settings();
    // A list asked for while one is open is ignored.
    if (s.integer("PROG") == 1) return {};
    const std::optional<LookupList> list = lookupList(qualhlp);
    if (!list) return {};
    store::WorkAreas& areas = store::workAreas();
    const int previous = areas.current();
    store::Table* table = openListTable(list->table);
    if (!table) {
        tellUnavailable(list->table);
        areas.select(previous);
        return {};
    }
    s.set("QUALHLP", qualhlp);
    s.set("COD", code);
    base::Value chosen;
    try {
        const OpenList open(*table, previous);
        areas.select(list->table);
        TemporaryOrders orders(*table);
        if (!list->temporaryKey.empty())
            orders.build("TMPH", list->temporaryKey);
        else if (table->indexCount() > 0 && table->order() == 0)
            table->setOrder(1);
        table->setFilter(list->rows);
        table->goTop();
        const std::string start = codeText(code);
        if (!start.empty()) seekTyped(*table, *list, start);
        if (table->eof()) table->goTop();
        chosen = HBROWSE(*list, *table);
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
        chosen = base::Value();
    }
    s.set("COD", chosen);
    return chosen;
}

base::Value GERAL() {
    return GERAL2(settings().text("QUALHLP"), base::Value());
}

base::Value GERAL1() {
    store::Table* reg = store::workAreas().table(tables::kRegister);
    if (reg && reg->indexCount() >= 2) reg->setOrder(2);
    const base::Value chosen = GERAL2("M->CPF", base::Value());
    if (reg && reg->indexCount() >= 1) reg->setOrder(1);
    return chosen;
}

std::optional<std::string> municipalityCode(const std::string& state, const std::string& name) {
    store::WorkAreas& areas = store::workAreas();
    const int previous = areas.current();
    store::Table* table = openListTable(tables::kMunicipalities);
    areas.select(previous);
    if (!table) return std::nullopt;
    std::optional<std::string> code;
    try {
        table->forEach([&](store::Table& row) {
            if (base::rtrim(row.get("UNIFED").text()) == state &&
                base::asciiUpper(base::rtrim(row.get("NOMEMUNI").text())) == name)
                code = base::alltrim(row.get("CODCID").text());
            return !code;
        });
    } catch (const base::Error&) {
        return std::nullopt;
    }
    return code;
}

// ---- Accounts ---------------------------------------------------------------------

void applyAccountEffects(store::Table& entry, int account) {
    auto put = [&entry](const char* field, const char* value) {
        if (entry.hasField(field)) entry.put(field, value);
    };
    if (account > 4100 && account < 4200) {
        put("I1_1", "O");
        put("TIPOCR", "N");
    } else if (account > 4000 && account < 4100) {
        put("I1_1", "L");
        put("TIPOCR", "D");
    } else if (account == 1001) {
        put("I1_41", "T");
    } else if (account == 1002) {
        put("I1_41", "A");
    }
}

namespace {

std::string accountText(int code, const base::Value& like) {
    const std::string digits = std::to_string(code);
    if (like.isNumeric()) return digits;
    return base::padRight(digits, std::max<size_t>(like.text().size(), digits.size()));
}

std::string rangeText(const AccountRange& r) {
    return std::to_string(r.first) + " a " + std::to_string(r.last - 1);
}

}  // namespace

bool GERAL4(base::Value& value) {
    const int code = codeOf(value);
    store::WorkAreas& areas = store::workAreas();
    const int previous = areas.current();
    auto chooseFromList = [&]() {
        const base::Value chosen = GERAL2("CDCONTA", value);
        if (chosen.isEmpty() || codeOf(chosen) == 0) return false;
        value = value.isNumeric() ? base::Value(static_cast<double>(codeOf(chosen)))
                                  : base::Value(accountText(codeOf(chosen), value));
        return true;
    };
    if (code == 0) {
        chooseFromList();  // an empty account may stay empty
        return true;
    }

    store::Table* chart = openListTable(tables::kAccounts);
    areas.select(previous);
    if (!chart) {
        tellUnavailable(tables::kAccounts);
        return true;  // the account can only be checked against the chart
    }
    if (tableIsEmpty(*chart)) {
        tellUnavailable(tables::kAccounts);
        return true;  // a chart without accounts cannot refuse one
    }
    bool known = false;
    try {
        const int order = chart->order();
        chart->setOrder(1);
        known = chart->seek(base::Value(base::padRight(std::to_string(code), 4)));
        chart->setOrder(order);
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
        return true;
    }
    const std::optional<AccountRange> range = entryKindRange();
    std::string problem;
    if (!known)
        problem = "A conta " + std::to_string(code) + " não existe no plano de contas."_cp;
    else if (range && !range->contains(code))
        problem = "A conta " + std::to_string(code) +
                  " não serve para este lançamento: use uma conta de "_cp + rangeText(*range) + ".";
    if (problem.empty()) return true;
    common::AVISOSN({problem, "Escolha a conta na lista."}, common::box::kStop);
    return chooseFromList();
}

// ---- F1 while a cell is edited ----------------------------------------------------

LookupKey::LookupKey(const std::string& field) {
    if (!lookupList(field)) return;
    const std::string name = field;
    previous_ = ui::bindKey(keys::function(1), [name, this](ui::Get* get) {
        if (get && base::asciiUpper(get->name) != base::asciiUpper(name)) {
            if (previous_) previous_(get);
            return;
        }
        const base::Value start = get ? get->value() : base::Value();
        base::Value chosen = GERAL2(name, start);
        if (chosen.isEmpty() || !get) return;
        if (get->type() == base::Type::Numeric && !chosen.isNumeric())
            chosen = base::Value(base::parseNumber(base::alltrim(chosen.text())));
        if (get->type() == base::Type::Character && chosen.isNumeric())
            chosen = base::Value(std::to_string(codeOf(chosen)));
        get->replaceBuffer(chosen);
        // The code chosen is checked like a typed one.
        ui::pushKey(keys::Enter);
    });
    bound_ = true;
}

LookupKey::~LookupKey() {
    if (bound_) ui::bindKey(keys::function(1), previous_);
}

}  // namespace kdx2::editor
