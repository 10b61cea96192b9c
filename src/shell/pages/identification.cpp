// The taxpayer's identification form: name, birth date and age, voter
// title, spouse, receipts, bank, address with the state's municipalities,
// occupation and NIT. Every field is checked as it is left; a refused value
// keeps the cursor and never reaches the working values that are saved.

#include "shell/pages/identification.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "editor/lookup_lists.h"
#include "platform/console/keys.h"
#include "shell/layouts.h"
#include "shell/pages/pages.h"
#include "store/access.h"
#include "store/catalog.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/picture.h"
#include "ui/screen.h"

namespace kdx2::shell::pages {

using namespace base::literals;
namespace keys = platform::keys;
namespace tables = store::tables;

namespace {

constexpr int kTop = 2;  // the page's corner (MTELA 5)
constexpr int kLeft = 0;

const char* const kReceiptPicture = "@r 9999999999-99";

bool isDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void refuse(const common::MessageLines& lines) {
    common::AVISOSN(lines, common::box::kStop);
}

// ---- Code tables ----

// A code table of the install folder, opened on first use; nullptr (the
// user told) when it cannot be.
store::Table* codeTable(int number) {
    if (store::Table* opened = editor::openCodeTable(number)) return opened;
    refuse({"A tabela de consulta nº "_cp + std::to_string(number) +
                " não pôde ser aberta (ausente, danificada ou em uso)."_cp,
            "O campo fica como foi digitado."_cp});
    return nullptr;
}

// The first row of a code table the test accepts, as its fields; nullopt
// when none does or the table cannot be read (the user is told).
using Row = std::map<std::string, std::string>;
std::optional<Row> findRow(int number, const std::function<bool(store::Table&)>& test,
                           const std::vector<std::string>& fields) {
    store::Table* table = codeTable(number);
    if (!table) return std::nullopt;
    std::optional<Row> found;
    try {
        const uint32_t here = table->recNo();
        table->forEach([&](store::Table& row) {
            if (!test(row)) return true;
            Row r;
            for (const std::string& f : fields)
                r[f] = base::rtrim(row.get(f).text());
            found = r;
            return false;
        });
        table->goTo(here);
    } catch (const base::Error& e) {
        common::MENS(1, std::string(e.what()));
        return std::nullopt;
    }
    return found;
}

std::string upperTrimmed(const base::Value& value) {
    return base::asciiUpper(base::alltrim(value.text()));
}

std::string fieldText(store::Table& row, const char* field) {
    return base::asciiUpper(base::rtrim(row.get(field).text()));
}

// ---- The form's values ----

// The values the fields edit. A field writes here as it is left; only a
// value its check accepts goes on to the session's working value, and a
// refused one is put back, so nothing invalid is ever saved.
class Staging {
  public:
    base::Value& operator[](const std::string& name) {
        auto found = values_.find(name);
        if (found == values_.end()) found = values_.emplace(name, base::session().get(name)).first;
        return found->second;
    }
    void commit(const std::string& name) { base::session().set(name, (*this)[name]); }
    void revert(const std::string& name) { (*this)[name] = base::session().get(name); }
    // Sets a value from a check (a code chosen, a name looked up): both here
    // and in the session.
    void put(const std::string& name, const base::Value& value) {
        (*this)[name] = value;
        commit(name);
    }

  private:
    std::map<std::string, base::Value> values_;
};

struct Form;
using Check = std::function<bool(Form&, ui::Get&)>;

struct FormField {
    const char* name;  // the working value
    int row;
    int column;
    const char* picture;
    Check check;
    std::function<bool(Form&)> when;
    const char* lookup = nullptr;  // the F1 list
};

// The width the register keeps a field in (the working value's when the
// register has no such field).
size_t registerWidth(const std::string& name) {
    static const store::Structure layout =
        store::tableLayout(tables::kRegister).value_or(store::Structure{});
    for (const store::FieldDef& field : layout)
        if (field.name == name) return static_cast<size_t>(field.width);
    return base::session().get(name).text().size();
}

struct Form {
    Staging values;
    std::map<std::string, std::shared_ptr<ui::Get>> gets;

    std::string text(const std::string& name) { return base::alltrim(values[name].text()); }
    // Sets a field's value from a check and shows it.
    void show(const std::string& name, const base::Value& value) {
        values.put(name, value);
        if (auto found = gets.find(name); found != gets.end()) found->second->display();
    }
    void showText(const std::string& name, const std::string& text) {
        const size_t width = registerWidth(name);
        show(name, base::Value(width > 0 ? base::padRight(
                                               text.substr(0, std::min(width, text.size())), width)
                                         : text));
    }
};

// ---- Displays beside the fields ----

void showAge(const base::Date& birth) {
    const int year = base::session().integer("QUEANO");
    const std::optional<std::pair<int, int>> age = DIZANOS(birth, year);
    const std::string years = age ? base::padLeft(std::to_string(age->first), 2) : "  ";
    const std::string months = age ? base::padLeft(std::to_string(age->second), 2) : "  ";
    ui::say(kTop + 3, kLeft + 30, years);
    ui::say(kTop + 3, kLeft + 38, months);
}

void showMunicipalityCode(const std::string& code) {
    ui::say(kTop + 11, kLeft + 50, base::padRight(code, 4));
}

void showCpf() {
    ui::say(
        kTop + 1, kLeft + 5,
        ui::transform(base::Value(base::alltrim(base::session().text("CPF"))), "@R 999.999.999-99")
            .text());
}

// ---- The checks ----

bool yesOrNo(const std::string& answer, const char* message) {
    if (answer == "S" || answer == "N") return true;
    refuse({message});
    return false;
}

bool checkRural(Form& form, ui::Get&) {
    const std::string answer = form.text("TEMRURAL");
    if (!yesOrNo(answer, "Digite S ou N ")) return false;
    base::session().set("TELAMAX", lastPage(answer == "S"));
    return true;
}

bool checkName(Form& form, ui::Get&) {
    if (!form.text("NOMECONTR").empty()) return true;
    refuse({"Informe o nome do contribuinte."});
    return false;
}

bool checkBirth(Form& form, ui::Get&) {
    const base::Date birth = form.values["NASCIMENTO"].date();
    const int year = base::session().integer("QUEANO");
    if (!birth.empty() && birth.year() > year) {
        // Nobody born after the year declared can have declared it.
        refuse({"A data de nascimento é posterior a 31/12/"_cp + std::to_string(year) + "."});
        return false;
    }
    showAge(birth);
    return true;
}

bool checkTitle(Form& form, ui::Get&) {
    return common::VAL_TITU(form.text("TITULO"));
}

bool checkSpouse(Form& form, ui::Get&) {
    const std::string cpf = form.text("CPFCONJU");
    if (cpf.empty()) return true;
    return common::VAL_CPF(cpf, false);
}

// VE_CONJUN: a joint declaration cannot be marked while income is entered
// as for separate declarations.
bool checkJoint(Form& form, ui::Get&) {
    const std::string answer = form.text("CONJUNTA");
    if (answer.empty()) return true;
    if (base::session().number("I9C_2") > 0) {
        form.showText("CONJUNTA", "N");
        refuse({"Existe rendimento lançado como a declaração fosse  "_cp,
                "em separado, portanto não pode-se marcar aqui como "_cp,
                "a declaração em conjunto. Se for o caso retire esse"_cp,
                "valor (tela 5) e volte aqui para marcar.          "});
        return true;
    }
    return yesOrNo(answer, "Digite a letra S de Sim ou N de Não");
}

bool checkReceipt(const std::string& name, Form& form, ui::Get&) {
    std::string receipt = base::rtrim(form.values[name].text());
    const std::string before = receipt;
    if (!VENROREC(receipt)) {
        refuse({"Numero do recibo invalido"});
        return false;
    }
    if (receipt != before) form.showText(name, receipt);
    return true;
}

// VELOGRA: the street type is the nearest name of the table of street
// types; one not found opens the list.
bool checkStreetType(Form& form, ui::Get&) {
    const std::string typed = upperTrimmed(form.values["TIPOEND"]);
    if (typed.empty()) return true;
    const std::optional<Row> found =
        findRow(tables::kStreetTypes,
                [&typed](store::Table& row) {
                    const std::string name = fieldText(row, "NOMELOGRA");
                    return name.starts_with(typed) || fieldText(row, "SIGLA") == typed;
                },
                {"NOMELOGRA"});
    if (found) {
        form.showText("TIPOEND", found->at("NOMELOGRA"));
        return true;
    }
    const base::Value chosen = editor::GERAL2("M->TIPOEND", base::Value(typed));
    if (chosen.isEmpty()) {
        refuse({"Tipo de logradouro desconhecido: "_cp + typed + ". Escolha-o na lista (F1)."});
        return false;
    }
    form.showText("TIPOEND", base::alltrim(chosen.text()));
    return true;
}

bool abroad(Form& form) {
    return form.text("UF") == "EX";
}

// VEESTADO: a state code; abroad fixes the municipality, a Brazilian state
// clears the country and embassy.
bool checkState(Form& form, ui::Get&) {
    std::string state = form.text("UF");
    if (state.empty()) return true;  // the address may come later
    if (!knownState(state)) {
        // The list of states: the rows of the municipality table that have
        // no state of their own ("SP - SAO PAULO").
        const std::string before = base::session().text("UF");
        base::session().set("UF", "");
        const base::Value chosen = editor::GERAL2("M->MUNICIPIO", base::Value(state));
        base::session().set("UF", before);
        state = base::asciiUpper(base::alltrim(chosen.text())).substr(0, 2);
        if (!knownState(state)) {
            refuse({"Sigla de estado inválida. Use a sigla de um estado ou EX (exterior)."_cp});
            return false;
        }
        form.showText("UF", state);
    }
    if (state == "EX") {
        form.showText("MUNICIPIO", "BRASILIA");
        form.show("CODMUNI", base::Value("9701"));
        showMunicipalityCode("9701");
    } else {
        form.showText("CODPAIS", "");
        form.showText("CODEMB", "");
    }
    return true;
}

// The municipality: one of the state's, found by its name's beginning;
// otherwise the state's list.
bool checkMunicipality(Form& form, ui::Get&) {
    const std::string state = form.text("UF");
    if (state == "EX") return true;
    const std::string typed = upperTrimmed(form.values["MUNICIPIO"]);
    if (typed.empty()) {
        form.show("CODMUNI", base::Value(""));
        showMunicipalityCode("");
        return true;
    }
    auto sameState = [&state](store::Table& row) {
        return base::rtrim(row.get("UNIFED").text()) == state;
    };
    std::optional<Row> found = findRow(
        tables::kMunicipalities,
        [&](store::Table& row) { return sameState(row) && fieldText(row, "NOMEMUNI") == typed; },
        {"NOMEMUNI", "NROMUNI"});
    if (!found)
        found = findRow(tables::kMunicipalities,
                        [&](store::Table& row) {
                            return sameState(row) && fieldText(row, "NOMEMUNI").starts_with(typed);
                        },
                        {"NOMEMUNI", "NROMUNI"});
    if (!found) {
        base::session().set("UF", state);  // the list shows this state's
        const base::Value chosen = editor::GERAL2("M->MUNICIPIO", base::Value(typed));
        if (chosen.isEmpty()) {
            refuse({"Município não encontrado no estado "_cp + state + ".",
                    "Escolha-o na lista (F1)."});
            return false;
        }
        const std::string name = base::asciiUpper(base::alltrim(chosen.text()));
        found = findRow(
            tables::kMunicipalities,
            [&](store::Table& row) { return sameState(row) && fieldText(row, "NOMEMUNI") == name; },
            {"NOMEMUNI", "NROMUNI"});
        if (!found) return false;
    }
    form.showText("MUNICIPIO", found->at("NOMEMUNI"));
    form.show("CODMUNI", base::Value(found->at("NROMUNI")));
    showMunicipalityCode(found->at("NROMUNI"));
    return true;
}

bool tableIsEmpty(int number) {
    store::Table* table = codeTable(number);
    if (!table) return false;
    const uint32_t here = table->recNo();
    table->goTop();
    const bool empty = table->eof();
    table->goTo(here);
    return empty;
}

// A code of a code table: found, or chosen from the table's list. A table
// the office has not filled in yet (the embassies ship empty) takes the
// code as typed.
bool checkCode(Form& form, const std::string& name, int number, const char* codeField,
               const char* list, const std::string& what) {
    const std::string typed = form.text(name);
    if (typed.empty()) return true;
    if (findRow(number,
                [&typed, codeField](store::Table& row) {
                    return base::alltrim(row.get(codeField).text()) == typed;
                },
                {codeField}))
        return true;
    if (tableIsEmpty(number)) return true;
    const base::Value chosen = editor::GERAL2(list, base::Value(typed));
    if (chosen.isEmpty()) {
        refuse({what + " " + typed + " não encontrado. Escolha-o na lista (F1)."_cp});
        return false;
    }
    form.showText(name, base::alltrim(chosen.text()));
    return true;
}

bool checkCountry(Form& form, ui::Get&) {
    return checkCode(form, "CODPAIS", tables::kCountries, "CODPAIS", "M->CODPAIS", "País"_cp);
}

bool checkEmbassy(Form& form, ui::Get&) {
    return checkCode(form, "CODEMB", tables::kEmbassies, "CD_EX", "M->CODEMB",
                     "Código de embaixada"_cp);
}

constexpr const char* kNoOccupation = "81";

// NAT_OCU: the nature of the occupation by its code; nature 81 has no
// principal occupation.
bool checkNature(Form& form, ui::Get&) {
    std::string code = form.text("CODAT");
    if (code.empty()) {
        form.showText("DESCRAT", "");
        return true;
    }
    if (code.size() == 1) code = "0" + code;
    std::optional<Row> found = findRow(
        tables::kNatures,
        [&code](store::Table& row) { return base::alltrim(row.get("CODAT").text()) == code; },
        {"CODAT", "DESCRAT"});
    if (!found) {
        const base::Value chosen = editor::GERAL2("M->CODAT", base::Value(code));
        const std::string picked = base::alltrim(chosen.text());
        if (!picked.empty())
            found = findRow(tables::kNatures,
                            [&picked](store::Table& row) {
                                return base::alltrim(row.get("CODAT").text()) == picked;
                            },
                            {"CODAT", "DESCRAT"});
        if (!found) {
            refuse({"Natureza da ocupação "_cp + code + " não existe. Escolha-a na lista (F1)."});
            return false;
        }
    }
    form.showText("CODAT", found->at("CODAT"));
    form.showText("DESCRAT", found->at("DESCRAT"));
    if (found->at("CODAT") == kNoOccupation) {
        common::AVISOSN({"O código "_cp + kNoOccupation + " não tem a ocupação principal"_cp},
                        common::box::kInformation);
        form.showText("CDPRO", "");
        form.showText("OCUPACAO", "");
    }
    return true;
}

// VE_OCUP: the principal occupation by its code.
bool checkOccupation(Form& form, ui::Get&) {
    std::string code = form.text("CDPRO");
    if (code.empty()) {
        form.showText("OCUPACAO", "");
        return true;
    }
    while (code.size() < 3)
        code = "0" + code;
    auto byCode = [](const std::string& wanted) {
        return [wanted](store::Table& row) {
            return base::alltrim(row.get("CDPRO").text()) == wanted;
        };
    };
    std::optional<Row> found = findRow(tables::kOccupations, byCode(code), {"CDPRO", "OCUPACAO"});
    if (!found) {
        const base::Value chosen = editor::GERAL2("M->CDPRO", base::Value(code));
        const std::string picked = base::alltrim(chosen.text());
        if (!picked.empty())
            found = findRow(tables::kOccupations, byCode(picked), {"CDPRO", "OCUPACAO"});
        if (!found) {
            refuse({"Ocupação "_cp + code + " não existe. Escolha-a na lista (F1)."_cp});
            return false;
        }
    }
    form.showText("CDPRO", found->at("CDPRO"));
    form.showText("OCUPACAO", found->at("OCUPACAO").substr(0, 46));
    return true;
}

// BUSCA_CONJU: whether the spouse's values are carried over.
bool checkSpouseValues(Form& form, ui::Get&) {
    const std::string answer = form.text("BUSCA");
    if (answer == "S" || answer == "N") return true;
    refuse({"Digite (S)im ou (N)ão caso deseje transportar automaticamente os "_cp,
            "valores da declaração do Conjuge. Lembre-se que só deve ser feito"_cp,
            "com os valores de apenas um dos conjuges e não de ambos         "_cp});
    return false;
}

bool checkNit(Form& form, ui::Get&) {
    return common::VAL_NIT(form.text("NIT_TIT"));
}

bool checkCep(Form& form, ui::Get&) {
    const std::string cep = form.text("CEP");
    if (cep.empty() || (cep.size() == 8 && isDigits(cep))) return true;
    refuse({"O CEP tem oito algarismos."});
    return false;
}

bool natureAllowsOccupation(Form& form) {
    return form.text("CODAT") != kNoOccupation;
}

// The fields in form order, placed from the page's corner.
std::vector<FormField> formFields() {
    auto receipt = [](const char* name) {
        return [name](Form& f, ui::Get& g) { return checkReceipt(name, f, g); };
    };
    return {
        {"TEMRURAL", 1, 41, "!", checkRural, {}},
        {"NOMECONTR", 2, 6, "", checkName, {}},
        {"NASCIMENTO", 3, 12, "@d", checkBirth, {}},
        {"TITULO", 3, 60, "@r 99999999999-99", checkTitle, {}},
        {"CPFCONJU", 4, 16, "@r 999.999.999-99", checkSpouse, {}},
        {"CONJUNTA", 4, 41, "!", checkJoint, {}},
        {"RECIBOATU", 4, 57, kReceiptPicture, receipt("RECIBOATU"), {}},
        {"RECIBOANT", 5, 13, kReceiptPicture, receipt("RECIBOANT"), {}},
        {"BANCO", 5, 34, "@r ###", {}, {}, "M->BANCO"},
        {"AGENCIA", 5, 47, "@r !!!!!-!", {}, {}},
        {"CONTACO", 5, 62, "@r !!!!!!!!!!!!!-!!", {}, {}},
        {"SENACESSO", 6, 34, "", {}, {}},
        {"CODACESSO", 6, 58, "@Z 999999999999", {}, {}},
        {"TIPOEND", 9, 6, "@!", checkStreetType, {}, "M->TIPOEND"},
        {"ENDERECO", 9, 29, "@S30", {}, {}},
        {"NUMERO", 9, 67, "", {}, {}},
        {"COMPLEM", 10, 13, "", {}, {}},
        {"BAIRRO", 10, 42, "", {}, {}},
        {"CEP", 10, 67, "@r 99999-999", checkCep, {}},
        {"UF", 11, 4, "@!", checkState, {}},
        {"MUNICIPIO", 11, 18, "@!", checkMunicipality, [](Form& f) { return !abroad(f); },
         "M->MUNICIPIO"},
        {"CODPAIS", 11, 60, "@!", checkCountry, abroad, "M->CODPAIS"},
        {"CODEMB", 11, 75, "@!", checkEmbassy, abroad, "M->CODEMB"},
        {"DDDTEL", 12, 11, "@R 99", {}, {}},
        {"TELEFO", 12, 15, "@R #9999-9999", {}, {}},
        {"DDDFAX", 12, 37, "@R 99", {}, {}},
        {"NROFAX", 12, 41, "@R #9999-9999", {}, {}},
        {"EMAIL", 13, 28, "@S40", {}, {}},
        {"CODAT", 16, 5, "99", checkNature, {}, "M->CODAT"},
        {"DESCRAT", 16, 9, "@S60", {}, [](Form& f) { return f.text("CODAT").empty(); }},
        {"CDPRO", 17, 5, "999", checkOccupation, natureAllowsOccupation, "M->CDPRO"},
        {"OCUPACAO",
         17,
         10,
         "@S46",
         {},
         [](Form& f) { return f.text("CDPRO").empty() && natureAllowsOccupation(f); }},
        {"REGPROF", 18, 23, "@!", {}, {}},
        {"NIT_TIT", 18, 53, "@R 999.99999.99-9", checkNit, {}},
        {"BUSCA", 19, 56, "!", checkSpouseValues, {}},
    };
}

std::shared_ptr<ui::Get> makeGet(Form& form, const FormField& field) {
    const std::string name = field.name;
    auto get = std::make_shared<ui::Get>(
        kTop + field.row, kLeft + field.column, [&form, name] { return form.values[name]; },
        [&form, name](const base::Value& v) { form.values[name] = v; }, field.picture,
        field.lookup ? field.lookup : name);
    const Check check = field.check;
    get->valid = [&form, name, check](ui::Get& g) {
        if (check && !check(form, g)) {
            form.values.revert(name);
            return false;
        }
        form.values.commit(name);
        return true;
    };
    if (field.when) {
        const auto when = field.when;
        get->when = [&form, when](ui::Get&) { return when(form); };
    }
    return get;
}

int endingKey(const ui::ReadResult& result) {
    base::NamedValues& s = base::session();
    if (s.flag("TECLAMUDA")) return s.integer("ULTTECLA");
    switch (result.exit) {
        case ui::ReadExit::Escape:
            return keys::Esc;
        case ui::ReadExit::Finished:
            return result.lastKey == keys::PgDn || result.lastKey == keys::PgUp ? result.lastKey
                                                                                : keys::Enter;
        default:
            return s.integer("ULTTECLA");
    }
}

}  // namespace

std::optional<std::pair<int, int>> DIZANOS(const base::Date& birth, int taxYear) {
    if (birth.empty() || birth.year() > taxYear) return std::nullopt;
    return std::make_pair(taxYear - birth.year(), 12 - birth.month());
}

bool VENROREC(std::string& receipt) {
    const std::string trimmed = base::rtrim(receipt);
    if (base::alltrim(trimmed).empty()) return true;
    if (trimmed.size() < 10) return false;
    const std::string base10 = trimmed.substr(0, 10);
    if (!isDigits(base10)) return false;
    const std::string first = common::MODULO_11(base10);
    const std::string second = common::MODULO_11(base10 + first);
    const std::string digits = first + second;
    const std::string given = base::alltrim(trimmed.substr(10));
    if (given.empty()) {
        receipt = base10 + digits;
        return true;
    }
    return given == digits;
}

bool knownState(const std::string& state) {
    return common::VESIGLA(state);
}

void identificationForm() {
    base::NamedValues& s = base::session();
    Form form;
    // A new taxpayer has no rural activity until told otherwise.
    if (base::alltrim(s.text("TEMRURAL")).empty()) s.set("TEMRURAL", "N");
    if (base::alltrim(s.text("BUSCA")).empty()) s.set("BUSCA", "N");

    showCpf();
    showAge(s.date("NASCIMENTO"));
    showMunicipalityCode(base::alltrim(s.text("CODMUNI")));

    ui::GetList fields;
    for (const FormField& field : formFields()) {
        auto get = makeGet(form, field);
        form.gets[field.name] = get;
        fields.push_back(get);
    }

    const PageKeys pageKeys;
    // F1 opens the list of the field being edited; on other fields it is
    // the page key.
    std::vector<std::unique_ptr<editor::LookupKey>> lookups;
    for (const FormField& field : formFields())
        if (field.lookup) lookups.push_back(std::make_unique<editor::LookupKey>(field.lookup));

    const ui::ReadResult result = readPageForm(fields);
    s.set("ULTTECLA", endingKey(result));
    // Each list key gives F1 back to the one bound before it: last first.
    while (!lookups.empty())
        lookups.pop_back();
}

}  // namespace kdx2::shell::pages
