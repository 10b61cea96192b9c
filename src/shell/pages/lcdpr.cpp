// The digital rural cash book's own items: the accountant who signs it and
// the check that every property, bank account and entry has what the book
// needs.

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "base/cp850.h"
#include "base/error.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "shell/layouts.h"
#include "shell/pages/pages.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"
#include "ui/get.h"

namespace kdx2::shell::pages {

using namespace base::literals;
namespace tables = store::tables;

namespace {

constexpr int kAccountantSlot = 5;
constexpr int kTop = 13;
constexpr int kLeft = 5;

std::string threeDigits(double number) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", static_cast<int>(number));
    return text;
}

bool blank(store::Table& row, const char* field) {
    const base::Value v = row.get(field);
    return v.isNumeric() ? v.number() == 0 : base::alltrim(v.text()).empty();
}

bool missing(const std::string& what) {
    common::AVISOSN({what}, common::box::kStop);
    return false;
}

store::Table* scratchCopy(int table) {
    return store::workAreas().table(tables::scratch(table));
}

// Rows of a scratch copy in their order; the copy's position is kept.
void eachRecord(store::Table& table, const std::function<bool(store::Table&)>& visit) {
    const uint32_t here = table.recNo();
    table.forEach(visit);
    table.goTo(here);
}

bool propertiesComplete() {
    store::Table* properties = scratchCopy(tables::kRuralProperties);
    int count = 0;
    bool complete = true;
    if (properties)
        eachRecord(*properties, [&](store::Table& row) {
            ++count;
            const std::string number = threeDigits(row.get("I2_00").number());
            static const std::pair<const char*, const char*> kRequired[] = {
                {"o CAFIR", "I2_03"},
                {"o CAEPF", "CAEPF"},
                {"o nome", "I2_01"},
                {"o endereço", "I2_06"},
                {"a cidade/distrito", "DISTR_IMR"},
                {"o Estado (UF)", "UF_IMR"},
                {"o CEP", "CEP_IMR"},
                {"a condição de exploração", "I2_05"},
                {"o % de participação", "I2_04"}};
            for (const auto& [label, field] : kRequired)
                if (blank(row, field)) {
                    complete = missing("Falta "_cp + base::cp850::fromUtf8(label) +
                                       " no imóvel "_cp + number);
                    return false;
                }
            const bool shared =
                row.get("I2_04").number() < 100 || static_cast<int>(row.get("I2_05").number()) != 1;
            static const std::pair<const char*, const char*> kThirdParty[] = {
                {"a condição de exploração do terceiro", "TIPO_CONTR"},
                {"o CPF do terceiro", "CPF_CONTR"},
                {"o nome do terceiro", "NOME_CONTR"},
                {"o percentual do terceiro", "PERC_CONTR"}};
            if (shared)
                for (const auto& [label, field] : kThirdParty)
                    if (blank(row, field)) {
                        complete = missing("Falta "_cp + base::cp850::fromUtf8(label) +
                                           " no imóvel "_cp + number);
                        return false;
                    }
            return true;
        });
    if (count == 0) return missing("Nenhum imóvel rural cadastrado!"_cp);
    return complete;
}

bool bankAccountsComplete() {
    store::Table* banks = scratchCopy(tables::kBankAccounts);
    int count = 0;
    bool complete = true;
    if (banks)
        eachRecord(*banks, [&](store::Table& row) {
            ++count;
            if (row.get("COD_CONTA").number() == 0) return true;
            static const std::pair<const char*, const char*> kRequired[] = {
                {"Nro. do Banco", "NRO_BANCO"},
                {"Nome do Banco", "NOM_BANCO"},
                {"Nro.da Agência", "NRO_AGENC"},
                {"Nro.da Conta", "NRO_CONTA"}};
            for (const auto& [label, field] : kRequired)
                if (blank(row, field)) {
                    complete = missing("Falta "_cp + base::cp850::fromUtf8(label) + " no Banco " +
                                       threeDigits(row.get("COD_CONTA").number()));
                    return false;
                }
            return true;
        });
    // Without any account the book can still be checked: the user is told.
    if (count == 0) missing("Falta o cadastro dos Bancos");
    return complete;
}

bool entriesComplete(int& checked) {
    store::Table* entries = scratchCopy(tables::kIncome);
    if (!entries) return true;
    const int year = base::session().integer("QUEANO");
    int receipts = 0;
    int expenses = 0;
    bool complete = true;
    eachRecord(*entries, [&](store::Table& row) {
        if (base::alltrim(row.get("I1_1").text()) != "R") return true;
        const bool receipt = base::alltrim(row.get("TIPOCR").text()) == "C";
        const std::string kind = receipt ? "Receita " : "Despesa ";
        const std::string number =
            base::padLeft(std::to_string(receipt ? ++receipts : ++expenses), 4);
        ++checked;
        const base::Date date = row.get("DT_LC").date();
        if (date.empty()) missing("Falta a data na " + kind + " no item " + number);
        if (date.empty() || date.year() != year) {
            complete =
                missing("Data errada " + (date.empty() ? std::string("  /  /    ") : date.dtoc()) +
                        " no item " + number);
            return false;
        }
        static const std::pair<const char*, const char*> kRequired[] = {
            {"Falta o nro do imóvel na ", "NROIMO"},
            {"Falta o tipo documento na ", "TIPODOC"},
            {"Falta a descrição na ", "I1_2"},
            {"Falta o CPF/CNPJ na ", "I1_3"},
            {"Falta o valor na ", "I1_413"}};
        for (const auto& [label, field] : kRequired)
            if (blank(row, field)) {
                complete = missing(base::cp850::fromUtf8(label) + kind + "no item " + number);
                return false;
            }
        return true;
    });
    return complete;
}

}  // namespace

bool VAL_LCDPR() {
    try {
        if (!propertiesComplete()) return false;
        if (!bankAccountsComplete()) return false;
        int checked = 0;
        if (!entriesComplete(checked)) return false;
        common::AVISOSN(
            {"Todos os "_cp + std::to_string(checked) + " lançamentos estão validados."_cp},
            common::box::kInformation);
        return true;
    } catch (const base::Error& e) {
        common::AVISOSN({std::string(e.what())}, common::box::kStop);
        return false;
    }
}

void accountantForm() {
    drawLayout(*layoutOf("MTELA2 4"));
    auto field = [](const char* name, int row, int column, const char* picture) {
        const std::string n = name;
        return std::make_shared<ui::Get>(
            kTop + row, kLeft + column, [n] { return base::session().get(n); },
            [n](const base::Value& v) { base::session().set(n, v); }, picture, n);
    };
    auto document = field("CPFCNPJ_CO", 2, 10, "@S18");
    // A refused number goes back to the last one accepted.
    auto accepted = std::make_shared<base::Value>(base::session().get("CPFCNPJ_CO"));
    document->valid = [accepted](ui::Get& g) {
        std::string text = base::alltrim(g.value().text());
        if (!text.empty() && !common::CPFCGC1(text, false)) {
            base::session().set("CPFCNPJ_CO", *accepted);
            return false;
        }
        g.setValue(base::Value(base::padRight(text, 18)));
        *accepted = g.value();
        return true;
    };
    ui::GetList fields = {field("NOME_CONT", 1, 6, "@S60"), document,
                          field("FONE_CONT", 2, 35, "@R (99)!9999-9999"),
                          field("CRC_CONT", 2, 55, "@S15"), field("EMAIL_CONT", 3, 8, "@S60")};
    ui::readFields(fields);
    common::FECHAJAN(kAccountantSlot);
}

}  // namespace kdx2::shell::pages
