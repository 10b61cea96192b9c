#include "editor/field_checks.h"

#include <array>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/folder_list.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "editor/engine.h"
#include "editor/lookup_lists.h"
#include "store/access.h"
#include "store/table_numbers.h"
#include "store/work_areas.h"

namespace kdx2::editor {

namespace tables = store::tables;
using namespace base::literals;

namespace {

// The record being edited (the browse's table is selected around a check).
store::Table* editedRecord() {
    return store::workAreas().currentTable();
}

base::Value fieldOf(const char* field) {
    store::Table* t = editedRecord();
    if (!t || t->eof() || !t->hasField(field)) return {};
    return t->get(field);
}

int integerOf(const base::Value& value) {
    if (value.isNumeric()) return static_cast<int>(value.number());
    return static_cast<int>(base::parseNumber(base::alltrim(value.text())));
}

std::string textOf(const base::Value& value) {
    return value.isNumeric() ? std::to_string(integerOf(value)) : base::alltrim(value.text());
}

void refuse(const common::MessageLines& lines) {
    common::AVISOSN(lines, common::box::kStop);
}

void warn(const common::MessageLines& lines) {
    common::AVISOSN(lines, common::box::kInformation);
}

// Finds `code` in the code table `number` by its first index; the
// description field's text, or nullopt when absent. Throws when the table
// cannot be read.
std::optional<std::string> describeCode(int number, int code, const char* description) {
    store::WorkAreas& areas = store::workAreas();
    const int previous = areas.current();
    store::Table* table = areas.table(number);
    if (!table) {
        common::OpeningMessagesOff quiet;
        store::ABERTURA(number);
        table = areas.table(number);
    }
    areas.select(previous);
    if (!table)
        throw base::Error("A tabela de consulta nº "_cp + std::to_string(number) +
                          " não pôde ser aberta."_cp);
    const int order = table->order();
    table->setOrder(1);
    const bool found = table->seek(base::Value(static_cast<double>(code)));
    std::optional<std::string> text;
    if (found) text = base::alltrim(table->get(description).text());
    table->setOrder(order);
    return text;
}

// ---- Identifiers ------------------------------------------------------------------

// A CPF or CNPJ typed with or without punctuation; stored punctuated.
CellRule documentRule(int mode, bool warningOnly) {
    CellRule rule;
    rule.check = [mode, warningOnly](base::Value& value) {
        const std::string typed = value.text();
        if (base::alltrim(typed).empty()) return true;
        const int paymentCode = integerOf(fieldOf("I6_3"));
        std::string punctuated = common::POEPONTO(base::alltrim(typed), mode, paymentCode);
        const bool ok = common::CPFCGC(punctuated, false);
        value = base::Value(base::padRight(punctuated, typed.size()));
        return ok || warningOnly;
    };
    return rule;
}

CellRule cpfRule(bool dependantOfTaxpayer) {
    CellRule rule;
    rule.check = [dependantOfTaxpayer](base::Value& value) {
        const std::string cpf = base::alltrim(value.text());
        if (cpf.empty()) return true;
        if (!common::VAL_CPF(cpf, false)) return false;
        return !dependantOfTaxpayer || VE_RELDEP(cpf);
    };
    return rule;
}

// ---- Accounts ---------------------------------------------------------------------

CellRule accountRule() {
    CellRule rule;
    rule.check = [](base::Value& value) { return GERAL4(value); };
    rule.stored = [] {
        store::Table* t = editedRecord();
        if (!t || t->eof() || !store::REC_LOCK(5)) return;
        applyAccountEffects(*t, integerOf(t->get("CDCONTA")));
        t->unlock();
    };
    return rule;
}

// ---- Dates ------------------------------------------------------------------------

CellRule entryDateRule() {
    CellRule rule;
    rule.check = [](base::Value& value) {
        return value.date().empty() || inBaseYear(value.date());
    };
    return rule;
}

// ---- Per screen ----------------------------------------------------------------------

CellRule recomputing(void (*sum)()) {
    CellRule rule;
    rule.stored = sum;
    return rule;
}

void payerSums() {
    call(hooks().SOMA_JUR, 1);
}
void ruralSums() {
    call(hooks().SOMA_RUR, 1);
}

// A dependant's yearly amount is typed into its own column, but the
// yearly sums and the printed declaration read the year's total, the
// thirteenth month: a typed amount is that total too, as the month window
// writes both.
void keepYearTotal(const std::string& field) {
    store::Table* t = editedRecord();
    const std::string total = field + "13";
    if (!t || t->eof() || !t->hasField(total) || t->get(total) == t->get(field)) return;
    if (!store::REC_LOCK(5)) return;
    t->put(total, t->get(field));
    t->unlock();
}

CellRule incomeRule(int screen, const std::string& field) {
    if (field == "CDCONTA") return accountRule();
    if (field == "I1_3") return documentRule(0, false);
    if (field == "I1_8" && screen == screens::kDependantsIncome) return cpfRule(true);
    if (screen != screens::kDependantsIncome) return recomputing(payerSums);
    CellRule rule;
    rule.stored = [field] {
        keepYearTotal(field);
        payerSums();
    };
    return rule;
}

CellRule dependantsRule(const std::string& field) {
    CellRule rule;
    if (field == "CODIDEPEN") {
        rule.check = [](base::Value& value) {
            if (integerOf(value) == 0) return true;
            if (!TES_COD(value, 3)) return false;
            const base::Value birth = fieldOf("DATADEPEN");
            return !birth.isDate() || TES_MES(birth.date(), integerOf(value));
        };
    } else if (field == "DATADEPEN") {
        rule.check = [](base::Value& value) {
            return TES_MES(value.date(), integerOf(fieldOf("CODIDEPEN")));
        };
    } else if (field == "CPFDEPEN") {
        return cpfRule(false);
    }
    return rule;
}

CellRule paymentsRule(const std::string& field) {
    CellRule rule;
    if (field == "I6_3") {
        rule.check = [](base::Value& value) { return integerOf(value) == 0 || TES_COD(value, 4); };
    } else if (field == "I6_6") {
        rule.before = [] {
            const int code = integerOf(fieldOf("I6_3"));
            return code == 2 || code == 3;
        };
        rule.check = [](base::Value& value) {
            return CONF_DEP(integerOf(value), integerOf(fieldOf("I6_3")));
        };
    } else if (field == "I6_2") {
        return documentRule(1, false);
    } else if (field == "I6_5") {
        rule.check = [](base::Value& value) {
            FCONFNDEDU(value, integerOf(fieldOf("I6_3")));
            return true;
        };
    }
    return rule;
}

CellRule ruralPropertiesRule(const std::string& field) {
    CellRule rule;
    if (field == "I2_07")
        rule.check = [](base::Value& value) { return VAL_COD(integerOf(value), 1); };
    else if (field == "I2_04")
        rule.check = [](base::Value& value) { return VAL_PARTI1(value.number()); };
    else if (field == "I2_05")
        rule.check = [](base::Value& value) { return VAL_COD(integerOf(value), 3); };
    else if (field == "I2_01")
        rule.before = [] {
            // The digital rural cash book needs the property's details.
            // The name was typed in the form: the cell is not asked again.
            store::Table* t = editedRecord();
            return !(settings().integer("TIPO_LANCA") == 2 && t && !t->eof() &&
                     ruralPropertyForm(*t));
        };
    return rule;
}

CellRule monthEntriesRule(const std::string& field) {
    const bool individuals = base::alltrim(settings().text("I1_1")) == "F";
    if (field == "DT_LC") return entryDateRule();
    if (field == "CDCONTA") return accountRule();
    if (field == "I1_41" && individuals) {
        CellRule rule;
        rule.check = [](base::Value& value) {
            return CHECK_LETRA(base::alltrim(value.text()), textOf(fieldOf("I1_3")),
                               textOf(fieldOf("CPFBENF")));
        };
        return rule;
    }
    if ((field == "I1_3" || field == "CPFBENF") && individuals) return documentRule(0, true);
    return {};
}

CellRule ruralEntriesRule(const std::string& field) {
    const int mode = settings().integer("TIPO_LANCA");
    if (field == "DT_LC") return entryDateRule();
    if (field == "CDCONTA") return accountRule();
    if (field == "I1_3" && mode == 2) return documentRule(0, true);
    if (field == "TIPODOC") {
        CellRule rule;
        rule.before = [] {
            static const std::array<const char*, 6> kinds = {"1 - Nota Fiscal", "2 - Fatura     ",
                                                             "3 - Recibo     ", "4 - Contrato   ",
                                                             "5 - F.Pagamento", "6 - Outros     "};
            const int current = integerOf(fieldOf("TIPODOC"));
            if (current >= 1 && current <= 6) {
                common::MENS(0, kinds[static_cast<size_t>(current - 1)]);
            } else {
                // On the status line, so nothing is left open over the list
                // however the cell is left.
                common::MENS(0,
                             "Escolha um Tipo: 1-Nota Fiscal 2-Fatura 3-Recibo 4-Contrato "
                             "5-F.Pag. 6-Outros");
            }
            return true;
        };
        rule.check = [](base::Value& value) {
            const int kind = integerOf(value);
            if (kind >= 0 && kind <= 6) return true;
            refuse("Tipo de documento "_cp + std::to_string(kind) + " não existe: use 1 a 6."_cp);
            return false;
        };
        return rule;
    }
    return recomputing(ruralSums);
}

// The registered folders: "S" makes a folder the one in use; a folder is
// kept without its trailing backslash and created when missing.
CellRule folderRule(const std::string& field) {
    CellRule rule;
    if (field == "SELEC") {
        rule.check = [](base::Value& value) {
            if (editedRecord() && editedRecord()->eof() &&
                base::asciiUpper(base::alltrim(value.text())) == "S") {
                refuse("Digite primeiro o nome da pasta."_cp);
                return false;
            }
            return common::TROCA_NAO(base::asciiUpper(base::alltrim(value.text())), 1);
        };
    } else if (field == "DIRETOR") {
        rule.check = [](base::Value& value) {
            std::string folder = base::alltrim(value.text());
            while (folder.size() > 3 && folder.back() == '\\')
                folder.pop_back();
            if (!common::TROCA_NAO(folder, 2)) return false;
            value = base::Value(base::padRight(folder, value.text().size()));
            return true;
        };
    }
    return rule;
}

}  // namespace

CellRule fieldRule(int screen, int column) {
    const auto& columns = browseDescription().columns;
    if (column < 1 || column > static_cast<int>(columns.size())) return {};
    const std::string field = base::asciiUpper(columns[static_cast<size_t>(column - 1)].field);
    switch (screen) {
        case screens::kIncome:
        case screens::kDependantsIncome:
            return incomeRule(screen, field);
        case screens::kDependants:
            return dependantsRule(field);
        case screens::kPayments:
            return paymentsRule(field);
        case screens::kRuralProperties:
            return ruralPropertiesRule(field);
        case screens::kMonthEntries:
            return monthEntriesRule(field);
        case screens::kRuralEntries:
            return ruralEntriesRule(field);
        case screens::kCashBook:
            return field == "CDCONTA" ? accountRule() : CellRule{};
        case screens::kFolders:
            return folderRule(field);
        default:
            return {};
    }
}

// ---- Dependants ------------------------------------------------------------------------

std::optional<int> ageLimitYear(int relation, int taxYear) {
    switch (relation) {
        case 21:
        case 24:
        case 41:
            return taxYear - 21;
        case 22:
        case 25:
        case 42:
            return taxYear - 24;
        default:
            return std::nullopt;
    }
}

AgeVerdict ageVerdict(int relation, const base::Date& birth, int taxYear) {
    const std::optional<int> limit = ageLimitYear(relation, taxYear);
    if (birth.empty() || !limit || birth.year() > *limit) return AgeVerdict::Fine;
    return birth.year() == *limit ? AgeVerdict::LeavesThisYear : AgeVerdict::TooOld;
}

bool TES_MES(const base::Date& birth, int relation) {
    switch (ageVerdict(relation, birth, settings().integer("QUEANO"))) {
        case AgeVerdict::Fine:
            return true;
        case AgeVerdict::LeavesThisYear:
            settings().set("I5_5", birth.month());
            return true;
        case AgeVerdict::TooOld:
            break;
    }
    // Claiming someone past the age of the relation is a wrong return: the
    // code has to change first (23 or 26 for a disabled dependant).
    if (relation == 21 || relation == 24)
        refuse({"ATENÇÃO! Ou o código está errado ou essa    "_cp,
                "pessoa não pode mais ser dependente. Exceto "_cp,
                "se ela for incapacitado física ou mentalmente"_cp});
    else
        refuse({"ATENCAO! Ou o código está errado ou essa"_cp,
                "pessoa não pode mais ser dependente.   "_cp});
    return false;
}

bool TES_COD(base::Value& code, int mode) {
    const bool relations = mode == 3;
    const int number = relations ? tables::kDependantCodes : tables::kExpenseCodes;
    std::optional<std::string> description;
    try {
        description = describeCode(number, integerOf(code), relations ? "DESCRICAO" : "DESCDOA");
    } catch (const base::Error& e) {
        // Without its table the code cannot be checked: it is taken as typed.
        warn({std::string(e.what()), "O código foi aceito sem conferência."_cp});
        return true;
    }
    if (description) {
        common::MENS(0, *description);
        return true;
    }
    const base::Value chosen = GERAL2(relations ? "CODIDEPEN" : "I6_3", code);
    if (chosen.isEmpty() || integerOf(chosen) == 0) {
        refuse("O código "_cp + std::to_string(integerOf(code)) +
               (relations ? " não é uma relação de dependência."_cp
                          : " não é um código de pagamento ou doação."_cp));
        return false;
    }
    code = base::Value(static_cast<double>(integerOf(chosen)));
    return true;
}

bool VE_RELDEP(const std::string& cpf) {
    base::NamedValues& s = settings();
    store::Table* dependants = store::workAreas().table(tables::scratch(tables::kDependants));
    bool found = false;
    if (dependants) {
        const uint32_t here = dependants->recNo();
        for (dependants->goTop(); !dependants->eof() && !found; dependants->skip(1))
            found = base::alltrim(dependants->get("CPFDEPEN").text()) == cpf;
        dependants->goTo(here);
    }
    if (!found) {
        refuse("Esse Nro. de CPF não está cadastrado como dependente!"_cp);
        return false;
    }
    s.set("CPF_DEPEND", cpf);
    return true;
}

// ---- Payments --------------------------------------------------------------------------

void FCONFNDEDU(base::Value& value, int paymentCode) {
    if (paymentCode <= 4 || value.number() == 0) return;
    warn({"Valores não dedutíveis só deve ser usado para a Escola quando  "_cp,
          "ultrapassar o valor limite ou Convênios hospitalares/medicos no"_cp,
          "qual o contribuinte é reembolsado do valor gasto.            "_cp});
    value = base::Value(0.0);
}

bool CONF_DEP(int number, int paymentCode) {
    if (paymentCode < 3 || paymentCode > 6) return true;
    if (number == 0) {
        warn("Informe o Nro do dependente conforme a relação acima."_cp);
        return true;
    }
    store::Table* dependants = store::workAreas().table(tables::scratch(tables::kDependants));
    std::optional<int> relation;
    if (dependants) {
        const uint32_t here = dependants->recNo();
        for (dependants->goTop(); !dependants->eof(); dependants->skip(1)) {
            if (integerOf(dependants->get("NRODEPEN")) == number) {
                relation = integerOf(dependants->get("CODIDEPEN"));
                break;
            }
        }
        dependants->goTo(here);
    }
    if (!relation) {
        refuse("Não existe "_cp + (paymentCode == 3 ? "alimentando" : "dependente") +
               " com esse Número"_cp);
        return false;
    }
    if ((paymentCode == 5 || paymentCode == 6) && *relation != 99) {
        refuse("O código do dependente para alimentando deve ser 99. Corrija"_cp);
        return false;
    }
    if ((paymentCode == 3 || paymentCode == 4) && *relation == 99)
        warn("Esse dependente está como alimentando. Troque código despesa p/ 3"_cp);
    return true;
}

// ---- Income from individuals ------------------------------------------------------------

bool CHECK_LETRA(const std::string& letter, const std::string& payerCpf,
                 const std::string& beneficiaryCpf) {
    const std::string l = base::asciiUpper(letter);
    if (l.empty()) return true;
    if (l == "A" || l == "O") {
        const std::string word = l == "A" ? "aluguel" : "outros";
        if (!payerCpf.empty())
            warn({"Para " + word + " não é conveniente ter o CPF do pagador"_cp,
                  beneficiaryCpf.empty() ? std::string()
                                         : "e nem preenchido o CPF do Beneficiário"_cp});
        else if (!beneficiaryCpf.empty())
            warn("Para " + word + " não é necessário ter o CPF do Beneficiário"_cp);
        return true;
    }
    if (l == "T") {
        if (payerCpf.empty()) warn("Para Trabalho Autônomo é necessário ter o CPF do pagador"_cp);
        return true;
    }
    refuse({"O caracter " + letter + " digitado esta errado",
            "Preencha com a letra T para Trabalho autonomo",
            "Preencha com a letra A para rendimento de Aluguel",
            "Preencha com a letra O para Outros rendimentos"});
    return false;
}

// ---- Rural properties --------------------------------------------------------------------

bool VAL_COD(int value, int mode) {
    struct Codes {
        std::vector<int> valid;
        std::vector<const char*> lines;
        const char* title;
    };
    static const std::array<Codes, 3> all = {{
        {{10, 11, 12, 13, 14, 15, 19},
         {"10 = Agricultura - Cultivo do solo         ",
          "11 = Pecuária    - Criação/Engorda animais ",
          "12 = Ext./exploração vegetal e animal      ",
          "13 = Exploração (api,avi,cuni,pisci)cultura",
          "14 = Cultura de pequenos animais           ",
          "15 = Captura e venda in natura do pescado  ",
          "19 = Outras                                "},
         "Modo da Atividade"},
        {{1, 2, 3, 4, 5},
         {"1 = Condomino    ", "2 = Arrendador   ", "3 = Parceiro     ", "4 = Comodante    ",
          "5 = Outros       "},
         "Condição de Terceiro Participante"},
        {{1, 2, 3, 4, 5, 6},
         {"1 = Proprietario Unico/Posseiro  ", "2 = Condomino                    ",
          "3 = Parceiro                     ", "4 = Arrendatario                 ",
          "5 = Propriedade em Comum do Casal", "6 = Outros                       "},
         "Condição de Exploração"},
    }};
    if (mode < 1 || mode > 3) return true;
    const Codes& codes = all[static_cast<size_t>(mode - 1)];
    const std::string title = base::cp850::fromUtf8(codes.title);
    for (size_t i = 0; i < codes.valid.size(); ++i) {
        if (codes.valid[i] == value) {
            common::MENS(0, title + ": " + base::cp850::fromUtf8(codes.lines[i]));
            return true;
        }
    }
    std::vector<std::string> lines{"O código "_cp + std::to_string(value) + " não existe. Use:"_cp};
    for (const char* line : codes.lines)
        lines.push_back(base::cp850::fromUtf8(line));
    common::AVISOSN(lines, common::box::kStop, {}, title);
    return false;
}

bool VAL_PARTI1(double percentage) {
    if (percentage <= 100) return true;
    refuse("Confira a participação digitada. Valor acima de 100%!"_cp);
    return false;
}

bool VAL_PARTI2(double third, double owner) {
    if (third <= owner) return true;
    refuse({"Atenção! Confira a participação do terceiro."_cp,
            "Ela não pode ser maior que o proprietário!"_cp});
    return false;
}

// ---- Dates -------------------------------------------------------------------------------

bool inBaseYear(const base::Date& date) {
    const int year = static_cast<int>(base::parseNumber(settings().text("ANOBASE")));
    if (year <= 0 || date.empty() || date.year() == year || date.year() == 1900) return true;
    refuse("A data deve ser do ano-base "_cp + std::to_string(year) + ".");
    return false;
}

// ---- Toggles -----------------------------------------------------------------------------

void MUDA_LEAO() {
    base::NamedValues& s = settings();
    const bool paidOnly = !s.flag("SO_REC");
    s.set("SO_REC", paidOnly);
    if (paidOnly)
        warn({"  ATENÇÃO! O valor total do carnê Leão a ser transportado"_cp,
              "para o resumo será apenas o VALOR INFORMADO COMO PAGO.     "_cp,
              "Uma diferença para menor deve ser emitido DARF desse valor."_cp});
    else
        warn({" ATENÇÃO! O valor total do carnê Leão a ser transportado   "_cp,
              "para o resumo será a SOMA DOS MAIORES VALORES encontrados  "_cp,
              "entre o valor informado como pago e o valor devido.        "_cp,
              "Uma diferença para menor deve ser emitido DARF desse valor."_cp});
    s.set("LEAO_CAL", false);
    writeReceiptsFooter();
}

std::string TERMINOU() {
    return common::AVISOSN("Confirma a alteração ?"_cp, common::box::kYesNoCancel);
}

}  // namespace kdx2::editor
