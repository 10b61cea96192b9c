// The registry printed as a listing (short or complete) or as address
// labels.

#include <vector>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/messages.h"
#include "printing/output.h"
#include "printing/questions.h"
#include "printing/selection.h"
#include "store/work_areas.h"
#include "ui/picture.h"

namespace kdx2::printing {

using namespace base::literals;

namespace {

constexpr int kRegister = 9;
constexpr int kLabelRows = 6;
constexpr int kLabelLastColumn = 53;

store::Table& registerTable() {
    return store::workAreas().area(kRegister);
}

std::string field(const char* name) {
    return registerTable().get(name).text();
}

std::string trimmedField(const char* name) {
    return base::alltrim(field(name));
}

std::string shown(const base::Value& value, const char* picture) {
    return ui::transform(value, picture).text();
}

int row() {
    return base::session().integer("QLIN");
}

// Prints at the row counter and moves it one row down.
void line(int column, const std::string& text) {
    base::NamedValues& s = base::session();
    output().say(s.integer("QLIN"), column, text);
    s.set("QLIN", s.integer("QLIN") + 1);
}

// Name, CPF, area code and phone: the row both listings begin an entry with.
void nameRow() {
    const int at = row();
    output().say(at, 1, field("NOMECONTR").substr(0, 48));
    output().say(at, 50, shown(registerTable().get("CPF"), "@r 999.999.999-99"));
    output().say(at, 65, shown(registerTable().get("DDDTEL"), "@R (99)"));
    output().say(at, 69, shown(registerTable().get("TELEFO"), "@r #9999-9999"));
    base::session().set("QLIN", at + 1);
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

bool bornThisMonth() {
    const base::Date birth = registerTable().get("NASCIMENTO").date();
    const base::Date today = base::session().date("HOJE");
    return !birth.empty() && !today.empty() && birth.month() == today.month();
}

// The rows of a label: name, street (with the complement when it fits),
// the complement or district, municipality and state, postcode.
std::vector<std::string> labelRows() {
    std::vector<std::string> rows{trimmedField("NOMECONTR")};
    const std::string street = trimmedField("TIPOEND") + " " + trimmedField("ENDERECO") + "," +
                               trimmedField("NUMERO") + " ";
    const std::string complement = trimmedField("COMPLEM");
    const std::string district = trimmedField("BAIRRO");
    // Printed from column 1, the row's last column is its length.
    if (static_cast<int>(street.size() + complement.size()) <= kLabelLastColumn) {
        rows.push_back(street + complement);
        if (!district.empty()) rows.push_back(district);
    } else {
        rows.push_back(street);
        rows.push_back(joined({complement, district}, " "));
    }
    rows.push_back(trimmedField("MUNICIPIO") + " - " + trimmedField("UF"));
    rows.push_back(shown(registerTable().get("CEP"), "@r 99999-999"));
    return rows;
}

bool chosen(const std::string& cpf) {
    const auto& marked = markedTaxpayers();
    return marked && marked->count(base::alltrim(cpf)) > 0;
}

}  // namespace

void CABEC_CAD(int titles) {
    const base::NamedValues& s = base::session();
    const std::string divider = s.text("LIN_DIV1");
    line(0, divider);
    line(10, std::string(" RELACAO ") + (s.integer("QUECON") == 2 ? "PARCIAL" : "TOTAL") +
                 " DAS PESSOAS NA PASTA " + s.text("LOCARQ"));
    line(0, divider);
    if (titles != 1) return;
    line(10, "Nome                                        CPF             Telefone");
    line(0, divider);
}

void CAD_SIMPL() {
    base::NamedValues& s = base::session();
    if (row() == 0 && s.integer("QUECON") != 1) CABEC_CAD(1);
    nameRow();
    if (row() > 60) s.set("QLIN", 0);
}

void CAD_COMPL() {
    base::NamedValues& s = base::session();
    if (row() == 0 && s.integer("QUECON") != 1) CABEC_CAD(0);
    nameRow();
    line(1, joined({trimmedField("TIPOEND"), trimmedField("ENDERECO"), trimmedField("NUMERO"),
                    trimmedField("COMPLEM")},
                   " "));
    line(1, trimmedField("BAIRRO") + " - " + shown(registerTable().get("CEP"), "@r 99999-999") +
                " " + joined({trimmedField("MUNICIPIO"), trimmedField("UF")}, " ") + "  " +
                shown(registerTable().get("NASCIMENTO"), "@d"));
    if (bornThisMonth()) line(1, "Atencao! Aniversario nesse mes");
    line(0, s.text("LIN_DIV1"));
    const int pageRows = s.has("NROLINHAS") ? s.integer("NROLINHAS") : 60;
    if (row() > pageRows - 6) {
        line(0, "");
        s.set("QLIN", 0);
    }
}

void CAD_ETI() {
    base::NamedValues& s = base::session();
    const int first = row();
    const std::vector<std::string> rows = labelRows();
    for (size_t i = 0; i < rows.size(); ++i)
        output().say(first + static_cast<int>(i), 1, rows[i]);
    // The label's blank rows are passed over, so every label takes six.
    output().say(first + kLabelRows - 1, 0, "");
    s.set("QLIN", first + kLabelRows);
}

void IMPR_CAD() {
    base::NamedValues& s = base::session();
    store::Table& reg = registerTable();
    const int whom = s.integer("QUECON");
    const bool labels = s.integer("QUEMOD") == 2;
    if (whom != 1) reg.goTop();
    s.set("QLIN", whom == 1 ? output().row() : 0);
    bool shortListing = false;
    if (!labels)
        shortListing = common::AVISOSN({"Selecione escolhendo: ", "Sim para o Cadastro resumido   ",
                                        "Não para o Cadastro completo  "_cp},
                                       common::box::kYesNo) == "S";
    while (!reg.eof() && !s.flag("CAN_IMP")) {
        if (whom == 2 && !chosen(reg.get("CPF").text())) {
            reg.skip();
            continue;
        }
        if (labels) {
            MUDAIMP(1);
            CAD_ETI();
        } else if (shortListing) {
            CAD_SIMPL();
        } else {
            CAD_COMPL();
        }
        if (whom == 1) break;
        reg.skip();
        PAREIMP();
    }
    if (labels && whom == 3) output().eject();
}

}  // namespace kdx2::printing
