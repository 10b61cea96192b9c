// The detail form of a rural property, opened from the properties page in
// the digital rural cash-book mode, where a property needs its address,
// registrations and third party.

#include <map>
#include <memory>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/engine.h"
#include "editor/field_checks.h"
#include "editor/lookup_lists.h"
#include "platform/console/keys.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::editor {

namespace keys = platform::keys;
using namespace base::literals;

namespace {

constexpr int kSlot = 5;
constexpr int kTop = 4;
constexpr int kLeft = 2;
constexpr int kBottom = kTop + 14;
constexpr int kRight = kLeft + 74;

// The fields in entry order with their place (from the window's corner).
struct FormField {
    const char* name;
    int row;
    int col;
    const char* picture;
};

constexpr FormField kFields[] = {
    {"I2_01", 2, 5, "@S56"},
    {"I2_04", 2, 66, "@Z 999.99"},
    {"I2_06", 4, 1, "@S54"},
    {"NUM_IMR", 4, 57, "@S6"},
    {"UF_IMR", 4, 68, "@!"},
    {"COMP_IMR", 5, 13, "@S50"},
    {"DISTR_IMR", 7, 1, "@S30"},
    {"CEP_IMR", 7, 32, "@R 99999-999"},
    {"I2_02", 7, 62, "@ez 999,999.9"},
    {"I2_03", 9, 1, "@R 9999999.9"},
    {"CAEPF", 9, 15, "@R 999.999.999.999-99"},
    {"INSCR_ES", 9, 43, "@!"},
    {"PERC_CONTR", 12, 1, "@z 999.99"},
    {"TIPO_CONTR", 12, 11, "@Z 9"},
    {"NOME_CONTR", 12, 15, "@S41"},
    {"CPF_CONTR", 12, 58, "@R 999.999.999-99"},
};

void drawLabels() {
    auto say = [](int row, int col, const char* text) {
        ui::say(kTop + row, kLeft + col, base::cp850::fromUtf8(text));
    };
    say(1, 1, " Nro");
    say(1, 5, "Nome do Imovel");
    say(1, 66, "% Part.");
    say(3, 1, " Endereco");
    say(3, 57, "Numero");
    say(3, 68, "UF");
    say(5, 1, " Complemento");
    say(6, 1, " Cidade/Distrito");
    say(6, 32, "CEP");
    say(6, 45, "Código");
    say(6, 62, "Area (ha)");
    say(8, 1, "Cafir");
    say(8, 15, "CAEPF");
    say(8, 43, "Incr.Estadual");
    say(10, 1, std::string(72, '\xC4').c_str());
    say(10, 26, " Terceiro Participante ");
    say(11, 1, " % Part. Tipo  Nome");
    say(11, 58, "CPF");
}

bool thirdPartyAllowed(const std::map<std::string, base::Value>& v) {
    return v.at("I2_04").number() < 100 || static_cast<int>(v.at("I2_05").number()) != 1;
}

// The municipality must be one of the state's: a name not found opens the
// state's list, and the one chosen (with its code) is taken.
bool municipalityOfState(base::Value& name, const std::string& state, base::Value& code) {
    const std::string typed = base::asciiUpper(base::alltrim(name.text()));
    if (typed.empty()) return true;
    if (const std::optional<std::string> found = municipalityCode(state, typed)) {
        code = base::Value(*found);
        return true;
    }
    base::NamedValues& s = settings();
    const base::Value chosen = GERAL2("M->DISTR_IMR", base::Value(typed));
    if (chosen.isEmpty()) {
        common::AVISOSN("Escolha o município na lista do estado "_cp + state + ".",
                        common::box::kStop);
        return false;
    }
    name = base::Value(base::padRight(base::alltrim(chosen.text()), name.text().size()));
    code = s.get("CODCID");
    return true;
}

}  // namespace

bool ruralPropertyForm(store::Table& property) {
    if (property.eof()) return false;
    std::map<std::string, base::Value> values;
    for (const FormField& f : kFields)
        values[f.name] = property.get(f.name);
    values["I2_05"] = property.get("I2_05");
    base::Value municipalityCode = property.get("CODM_IMR");

    base::NamedValues& s = settings();
    common::REDEFJAN(kSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL2"),
                     kTop, kLeft, kBottom, kRight, 0);
    common::ABREJAN(kSlot);
    drawLabels();
    ui::say(kTop + 2, kLeft + 1,
            ui::transform(base::Value(double(property.recNo())), "@ 999").text());
    ui::say(kTop + 7, kLeft + 45, base::alltrim(municipalityCode.text()));

    ui::GetList fields;
    for (const FormField& f : kFields) {
        auto get = ui::Get::of(kTop + f.row, kLeft + f.col, values[f.name], f.picture, f.name);
        const std::string name = f.name;
        get->cargo = values[f.name];
        if (name == "I2_04") {
            get->valid = [](ui::Get& g) { return VAL_PARTI1(g.value().number()); };
        } else if (name == "UF_IMR") {
            get->valid = [](ui::Get& g) {
                const std::string uf = base::alltrim(g.value().text());
                if (!uf.empty() && !common::VESIGLA(uf)) {
                    common::AVISOSN("Sigla de estado inválida: "_cp + uf + ".", common::box::kStop);
                    return false;
                }
                settings().set("UF", uf);  // the municipality list shows this state's
                return true;
            };
        } else if (name == "DISTR_IMR") {
            get->valid = [&values, &municipalityCode](ui::Get& g) {
                base::Value name = g.value();
                if (name == g.cargo) return true;  // as it was: already checked
                const std::string state = base::alltrim(values.at("UF_IMR").text());
                if (!municipalityOfState(name, state, municipalityCode)) return false;
                if (name != g.value()) g.setValue(name);
                ui::say(kTop + 7, kLeft + 45,
                        base::padRight(base::alltrim(municipalityCode.text()), 7));
                return true;
            };
        } else if (name == "I2_03") {
            get->valid = [](ui::Get& g) { return common::VENIRF(base::alltrim(g.value().text())); };
        } else if (name == "CAEPF") {
            get->valid = [](ui::Get& g) {
                return common::VAL_CPF(base::alltrim(g.value().text()), false, 2);
            };
        } else if (name == "PERC_CONTR") {
            get->valid = [&values](ui::Get& g) {
                return VAL_PARTI2(g.value().number(), values.at("I2_04").number());
            };
        } else if (name == "TIPO_CONTR") {
            get->valid = [](ui::Get& g) {
                const int code = static_cast<int>(g.value().number());
                return code == 0 || VAL_COD(code, 2);
            };
        } else if (name == "CPF_CONTR") {
            get->valid = [](ui::Get& g) {
                return common::VAL_CPF(base::alltrim(g.value().text()), false);
            };
        }
        if (name == "PERC_CONTR" || name == "TIPO_CONTR" || name == "NOME_CONTR" ||
            name == "CPF_CONTR")
            get->when = [&values](ui::Get&) { return thirdPartyAllowed(values); };
        fields.push_back(get);
    }
    settings().set("UF", base::alltrim(values["UF_IMR"].text()));
    const LookupKey lookup("DISTR_IMR");
    const ui::ReadResult result = ui::readFields(fields);
    settings().erase("UF");
    common::FECHAJAN(kSlot);
    if (result.exit == ui::ReadExit::Escape) return false;

    store::WorkAreas& areas = store::workAreas();
    const int previous = areas.current();
    areas.select(areas.slotOf(property.alias()));
    if (!store::REC_LOCK(5)) {
        areas.select(previous);
        return false;
    }
    for (const FormField& f : kFields)
        property.put(f.name, values[f.name]);
    property.put("CODM_IMR", municipalityCode);
    property.put("I2_00", static_cast<double>(property.recNo()));
    property.unlock();
    areas.select(previous);
    return true;
}

}  // namespace kdx2::editor
