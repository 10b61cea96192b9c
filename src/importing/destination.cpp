#include "importing/destination.h"

#include <algorithm>
#include <array>
#include <functional>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "importing/fixed_line.h"
#include "importing/import_text.h"
#include "importing/row_changes.h"
#include "importing/services.h"
#include "importing/tables.h"
#include "store/access.h"
#include "store/work_areas.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

constexpr double kLockSeconds = 10;

constexpr std::array<int, 9> kDeclarationTables{kRegister,    kSummary,  kSources,
                                                kDependants,  kPayments, kGains,
                                                kGainsDetail, kRural,    kProperties};

store::Table& area(int number) {
    return store::workAreas().area(number);
}

// A CPF the file may leave out: zeros or blanks are none.
std::string optionalCpf(const std::string& digits) {
    const std::string trimmed = base::alltrim(digits);
    if (std::all_of(trimmed.begin(), trimmed.end(), [](char ch) { return ch == '0'; })) return "";
    return trimmed;
}

std::string lookUp(int number, const std::string& key, const char* field) {
    store::Table* table = store::workAreas().table(number);
    if (table == nullptr || key.empty()) return "";
    table->setOrder(1);
    return table->seek(base::Value(key)) ? table->get(field).text() : "";
}

std::string tablesInUse() {
    return "As tabelas da pasta de dados estão em uso por outra estação; tente de novo mais tarde."_cp;
}

class Warnings {
  public:
    explicit Warnings(std::vector<std::string>& out) : out_(out) {}
    void cpf(const std::string& what, const std::string& digits) {
        const std::string cpf = optionalCpf(digits);
        if (!cpf.empty() && !validCpf(cpf))
            out_.push_back("CPF "_cp + what + " " + cpf + " com dígitos errados"_cp);
    }
    // Numbers of payers and beneficiaries: CNPJ or CPF; only CPFs are checked.
    void document(const std::string& what, const std::string& digits) {
        if (base::alltrim(digits).size() == 11) cpf(what, digits);
    }

  private:
    std::vector<std::string>& out_;
};

void putText(store::Table& t, const char* field, const std::string& windowsText) {
    t.put(field, base::Value(importText(windowsText)));
}

class DeclarationWriter {
  public:
    DeclarationWriter(const Declaration& d, FileOutcome& outcome)
        : d_(d), p_(d.person), outcome_(outcome), warnings_(outcome.warnings) {}

    void CONV_DECL() {
        for (int table : kDeclarationTables) {
            if (!changes_.lock(table, kLockSeconds)) {
                outcome_.message = {tablesInUse()};
                return;
            }
        }
        // Checked again under the lock: another workstation may just have
        // created the taxpayer.
        if (seekTaxpayer(kRegister, p_.cpf)) {
            outcome_.result = FileOutcome::Result::Existing;
            return;
        }
        // A CPF the register does not know has no rows of its own: any there
        // are what an import stopped half way left, and these replace them.
        for (int table : {kSources, kDependants, kPayments, kProperties})
            removeTaxpayerRows(changes_, table, p_.cpf);
        CONV_GANHO();
        writePayers();
        writeDependants();
        writePayments();
        writeProperties();
        writeRuralResult();
        writeSummary();
        // The register record last: until it exists the taxpayer is not there.
        writeRegister();
        changes_.commit();
        outcome_.result = FileOutcome::Result::Converted;
    }

  private:
    // The capital-gains records the declaration's section would replace.
    void CONV_GANHO() {
        removeTaxpayerRows(changes_, kGainsDetail, p_.cpf,
                           [](const store::Table& t) { return t.get("RVAR_NRO").number() == 0; });
        removeTaxpayerRows(changes_, kGains, p_.cpf, [](const store::Table& t) {
            const double kind = t.get("TIPO_BEM").number();
            return kind >= 1 && kind <= 3;
        });
    }

    void writePayers() {
        for (const Payer& payer : d_.payers) {
            store::Table& t = changes_.append(kSources);
            t.put("CPF", base::Value(p_.cpf));
            t.put("I1_1", base::Value("J"));
            putText(t, "I1_2", payer.name);
            t.put("I1_3", base::Value(common::CONTAPONTO(payer.number)));
            warnings_.document("da fonte pagadora", payer.number);
        }
    }

    void writeDependants() {
        int number = 0;
        for (const Dependant& dependant : d_.dependants) {
            store::Table& t = changes_.append(kDependants);
            t.put("CPF", base::Value(p_.cpf));
            putText(t, "NOMEDEPEN", dependant.name);
            t.put("CODIDEPEN", base::Value(dependant.relation));
            t.put("DATADEPEN", base::Value(dependant.birth));
            t.put("CPFDEPEN", base::Value(optionalCpf(dependant.cpf)));
            t.put("NRODEPEN", base::Value(++number));
            warnings_.cpf("do dependente", dependant.cpf);
        }
        // Alimony beneficiaries are numbered after the dependants.
        for (const AlimonyBeneficiary& beneficiary : d_.alimony) {
            store::Table& t = changes_.append(kDependants);
            t.put("CPF", base::Value(p_.cpf));
            putText(t, "NOMEDEPEN", beneficiary.name);
            t.put("CODIDEPEN", base::Value(beneficiary.relation));
            t.put("NRODEPEN", base::Value(++number));
            if (!d_.previousLayout) {
                t.put("DATADEPEN", base::Value(beneficiary.birth));
                t.put("CPFDEPEN", base::Value(optionalCpf(beneficiary.cpf)));
                warnings_.cpf("do alimentando", beneficiary.cpf);
            }
        }
    }

    void writePayments() {
        for (const Payment& payment : d_.payments) {
            store::Table& t = changes_.append(kPayments);
            t.put("CPF", base::Value(p_.cpf));
            t.put("I6_3", base::Value(payment.code));
            t.put("I6_6", base::Value(payment.number));
            t.put("I6_2", base::Value(common::CONTAPONTO(payment.document)));
            putText(t, "I6_1", payment.name);
            t.put("I6_4", base::Value(0));
            warnings_.document("do beneficiário do pagamento"_cp, payment.document);
        }
    }

    void writeProperties() {
        for (const RuralProperty& property : d_.properties) {
            store::Table& t = changes_.append(kProperties);
            t.put("CPF", base::Value(p_.cpf));
            t.put("ATV_EXTER", base::Value(property.abroad ? "X" : " "));
            t.put("I2_03", base::Value(property.registration));
            putText(t, "I2_01", property.name);
            putText(t, "I2_06", property.location);
            t.put("I2_02", base::Value(property.area));
            t.put("I2_04", base::Value(property.participation));
            t.put("I2_05", base::Value(property.condition));
            t.put("I2_07", base::Value(property.activity));
        }
    }

    void writeRuralResult() {
        if (!d_.ruralResult) return;
        store::Table* t = nullptr;
        if (seekTaxpayer(kRural, p_.cpf)) {
            changes_.changing(kRural);
            t = &area(kRural);
        } else {
            t = &changes_.append(kRural);
            t->put("CPF", base::Value(p_.cpf));
        }
        t->put("I4_04", base::Value(d_.ruralResult->result));
        t->put("I5_10", base::Value(d_.ruralResult->nonTaxable));
    }

    void writeSummary() {
        if (seekTaxpayer(kSummary, p_.cpf)) return;
        store::Table& t = changes_.append(kSummary);
        t.put("CPF", base::Value(p_.cpf));
        t.put("INDALERTA", base::Value(10));
    }

    void writeRegister() {
        store::Table& t = changes_.append(kRegister);
        t.put("CPF", base::Value(p_.cpf));
        putText(t, "NOMECONTR", p_.name);
        putText(t, "TIPOEND", p_.streetType);
        putText(t, "ENDERECO", p_.street);
        putText(t, "NUMERO", p_.number);
        putText(t, "COMPLEM", p_.complement);
        putText(t, "BAIRRO", p_.district);
        t.put("CEP", base::Value(p_.postalCode));
        t.put("CODMUNI", base::Value(p_.municipalityCode));
        putText(t, "MUNICIPIO", p_.municipality);
        t.put("UF", base::Value(p_.abroad ? "EX" : p_.state));
        t.put("CODEMB", base::Value(p_.embassy));
        putText(t, "EMAIL", p_.email);
        t.put("NIT_TIT", base::Value(p_.nit));
        t.put("CPFCONJU", base::Value(optionalCpf(p_.spouseCpf)));
        t.put("DDDTEL", base::Value(areaCode(p_.areaCode, 2)));
        t.put("TELEFO", base::Value(p_.telephone));
        t.put("NASCIMENTO", base::Value(p_.birth));
        t.put("TITULO", base::Value(p_.voterTitle));
        t.put("CDPRO", base::Value(p_.occupation));
        t.put("OCUPACAO", base::Value(lookUp(kOccupations, p_.occupation, "OCUPACAO")));
        t.put("CODAT", base::Value(p_.occupationNature));
        t.put("DESCRAT", base::Value(lookUp(kOccupationNatures, p_.occupationNature, "DESCRAT")));
        t.put("BANCO", base::Value(p_.bank));
        t.put("AGENCIA", base::Value(p_.agency));
        t.put("CONTACO", base::Value(p_.account));
        t.put("DDDFAX", base::Value(areaCode(p_.mobileAreaCode, 2)));
        t.put("NROFAX", base::Value(p_.mobile));
        t.put("TEMRURAL", base::Value(d_.properties.empty() ? "N" : "S"));
        t.put("IMPRE", base::Value(" "));
        t.put("ORDEM", base::Value(0));
        t.put("ESTATUS", base::Value(1));
        // Crossed over: the file's own receipt is the previous year's return
        // for the year being worked on.
        t.put("RECIBOANT", base::Value(completeReceipt(d_.header.receipt)));
        t.put("RECIBOATU", base::Value(completeReceipt(d_.header.previousReceipt)));
        warnings_.cpf("do cônjuge"_cp, p_.spouseCpf);
    }

    const Declaration& d_;
    const Identification& p_;
    FileOutcome& outcome_;
    Warnings warnings_;
    RowChanges changes_;
};

// ---- Carnê-leão ----

std::string monthField(int month) {
    return std::string("I1_4") + (month < 10 ? "0" : "") + std::to_string(month);
}

struct Column {
    MonthColumn column;
    const char* description;
    const char* kind;
};

class CarneWriter {
  public:
    CarneWriter(const CarneExport& c, const std::string& cpf, FileOutcome& outcome)
        : c_(c), cpf_(cpf), outcome_(outcome), warnings_(outcome.warnings) {}

    void CONV_LEAO() {
        for (int table : {kRegister, kSummary, kSources}) {
            if (!changes_.lock(table, kLockSeconds)) {
                outcome_.message = {tablesInUse()};
                return;
            }
        }
        if (!seekTaxpayer(kRegister, cpf_)) {
            outcome_.message = {"O contribuinte "_cp + outcome_.name + " saiu do cadastro."_cp};
            return;
        }
        // Entries typed month by month: the individual mode of the receipts grid.
        if (seekTaxpayer(kSummary, cpf_)) {
            changes_.changing(kSummary);
            area(kSummary).put("CAL_AUTO", base::Value(false));
        }
        seekTaxpayer(kRegister, cpf_);
        changes_.changing(kRegister);
        store::Table& reg = area(kRegister);
        reg.put("CODAT", base::Value("11"));
        reg.put("CDPRO", base::Value(c_.occupation));
        reg.put("REGPROF", base::Value(c_.registration));
        GRAVA_MENSAL();
        writeReceipts();
        changes_.commit();
        outcome_.result = FileOutcome::Result::Converted;
    }

  private:
    double amount(int month, MonthColumn column) const {
        return c_.months[static_cast<size_t>(month - 1)][static_cast<size_t>(column)];
    }

    base::Date firstOf(int month) const { return *dayOf(c_.year, month, 1); }

    // A dated entry of one month, as the monthly computation reads entries
    // of kinds F, E and L: the amount in I1_413, its month in DT_LC.
    store::Table& datedEntry(int month, double value, const char* description, const char* kind,
                             const char* credit) {
        store::Table& t = changes_.append(kSources);
        t.put("CPF", base::Value(cpf_));
        t.put("I1_1", base::Value(kind));
        t.put("I1_2", base::Value(description));
        t.put("I1_413", base::Value(value));
        t.put(monthField(month), base::Value(value));
        t.put("DT_LC", base::Value(firstOf(month)));
        t.put("TIPOCR", base::Value(credit));
        return t;
    }

    void GRAVA_MENSAL() {
        for (int month = 1; month <= 12; ++month) {
            if (const double rent = amount(month, kRent); rent > 0) {
                store::Table& t = datedEntry(month, rent, "Rendimento de Alugueis", "F", "C");
                t.put("I1_41", base::Value("A"));
                t.put("CDCONTA", base::Value("1002"));
            }
            if (const double other = amount(month, kOtherIncome); other > 0) {
                store::Table& t = datedEntry(month, other, "Outros Rendimentos", "F", "C");
                t.put("I1_41", base::Value("O"));
                t.put("CDCONTA", base::Value("1004"));
            }
        }
        for (int month = 1; month <= 12; ++month) {
            if (const double abroad = amount(month, kAbroad); abroad > 0)
                datedEntry(month, abroad, "Rendimentos do Exterior", "E", "C");
        }
        for (int month = 1; month <= 12; ++month) {
            if (const double expenses = amount(month, kCashBookExpenses); expenses > 0)
                datedEntry(month, expenses, "Despesas livro caixa", "L", "D");
        }
        monthlyRecord(kSocialSecurity, "INSS", "P");
        monthlyRecord(kTaxPaid, "Receita Federal", "I");
    }

    // Social security and tax paid stay one record of twelve months.
    void monthlyRecord(MonthColumn column, const char* description, const char* kind) {
        double total = 0;
        for (int month = 1; month <= 12; ++month)
            total += std::max(amount(month, column), 0.0);
        if (total <= 0) return;
        store::Table& t = changes_.append(kSources);
        t.put("CPF", base::Value(cpf_));
        t.put("I1_2", base::Value(description));
        t.put("I1_1", base::Value(kind));
        t.put("I1_4", base::Value(total));
        for (int month = 1; month <= 12; ++month)
            if (amount(month, column) > 0)
                t.put(monthField(month), base::Value(amount(month, column)));
    }

    void writeReceipts() {
        for (const Receipt& receipt : c_.receipts) {
            store::Table& t = changes_.append(kSources);
            t.put("CPF", base::Value(cpf_));
            t.put("I1_1", base::Value("F"));
            t.put("I1_2", base::Value("Trabalho nao assalariado"));
            t.put("I1_3", base::Value(receipt.payerCpf));
            t.put("CPFBENF",
                  base::Value(receipt.beneficiaryCpf == receipt.payerCpf ? ""
                                                                         : receipt.beneficiaryCpf));
            t.put("I1_413", base::Value(receipt.amount));
            t.put(monthField(receipt.month), base::Value(receipt.amount));
            t.put("DT_LC", base::Value(*dayOf(c_.year, receipt.month, receipt.day)));
            t.put("CDCONTA", base::Value("1001"));
            t.put("I1_41", base::Value("T"));
            t.put("TIPOCR", base::Value("C"));
            warnings_.cpf("do pagador", receipt.payerCpf);
            warnings_.cpf("do beneficiário"_cp, receipt.beneficiaryCpf);
        }
    }

    const CarneExport& c_;
    std::string cpf_;
    FileOutcome& outcome_;
    Warnings warnings_;
    RowChanges changes_;
};

// A write that failed half way was taken back; the user learns why.
void failed(FileOutcome& outcome, const base::Error& error) {
    outcome.result = FileOutcome::Result::NotConverted;
    outcome.message = {error.what()};
    outcome.warnings.clear();
}

}  // namespace

bool CRIA_BASE() {
    for (int table : {kOccupations, kOccupationNatures})
        if (!store::ABERTURA(table)) return false;
    for (int table : kDeclarationTables)
        if (!store::ABERTURA(table)) return false;
    return true;
}

std::string completeReceipt(const std::string& tenDigits) {
    if (tenDigits.empty()) return "";
    const std::string first = common::MODULO_11(tenDigits);
    return tenDigits + first + common::MODULO_11(tenDigits + first);
}

std::string areaCode(const std::string& digits, size_t width) {
    std::string code = base::alltrim(digits);
    const size_t significant = code.find_first_not_of('0');
    code = significant == std::string::npos ? "" : code.substr(significant);
    return code.size() > width ? code.substr(code.size() - width) : code;
}

FileOutcome writeDeclaration(const Declaration& declaration) {
    FileOutcome outcome;
    outcome.cpf = declaration.person.cpf;
    outcome.name = importText(declaration.person.name);
    if (seekTaxpayer(kRegister, declaration.person.cpf)) {
        outcome.result = FileOutcome::Result::Existing;
        return outcome;
    }
    base::session().set("CPF", outcome.cpf);
    base::session().set("NOMECONTR", outcome.name);
    services().showTaxpayer();
    try {
        DeclarationWriter(declaration, outcome).CONV_DECL();
    } catch (const base::Error& error) {
        failed(outcome, error);
    }
    return outcome;
}

FileOutcome writeCarneExport(const CarneExport& carne) {
    FileOutcome outcome;
    store::Table& reg = area(kRegister);
    outcome.cpf = base::rtrim(reg.get("CPF").text());
    outcome.name = base::rtrim(reg.get("NOMECONTR").text());
    try {
        CarneWriter(carne, outcome.cpf, outcome).CONV_LEAO();
    } catch (const base::Error& error) {
        failed(outcome, error);
    }
    return outcome;
}

}  // namespace kdx2::importing
