// The entry form (FAZLANC): an account, then the entry's fields that account
// takes, confirmed with "Sim", "Nao" or "Fim".

#include <map>
#include <memory>
#include <optional>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "common/windows.h"
#include "editor/lookup_lists.h"
#include "shell/cashbook/cashbook.h"
#include "shell/cashbook/internal.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "ui/get.h"
#include "ui/screen.h"

namespace kdx2::shell::cashbook {

using namespace base::literals;

namespace {

constexpr int kSlot = 5;
constexpr int kTop = 3;
constexpr int kLeft = 2;
constexpr int kBottom = kTop + 15;
constexpr int kRight = kLeft + 74;
constexpr int kFieldColumn = 16;

const char* const kDocumentTypes[] = {"1 - Nota Fiscal", "2 - Fatura     ", "3 - Recibo     ",
                                      "4 - Contrato   ", "5 - F.Pagamento", "6 - Outros     "};

// What the fields of one entry hold while it is typed.
struct EntryValues {
    base::Value account{std::string(4, ' ')};
    base::Value document{std::string(20, ' ')};
    base::Value description{std::string(60, ' ')};
    base::Value amount{0.0};
    base::Value number{std::string(18, ' ')};
    base::Value date{base::Date{}};
    base::Value month{0.0};
    base::Value type{0.0};
    base::Value code{0.0};
    base::Value property{0.0};

    // After an entry is stored the next one starts from the same account,
    // date and month.
    void clearForNext() {
        description = base::Value(std::string(60, ' '));
        amount = base::Value(0.0);
        number = base::Value(std::string(18, ' '));
    }
};

// The account's flags as the form uses them (PEGACON).
struct AccountRules {
    tax::Account account;
    bool cpf = false;
    bool cnpj = false;
    bool description = false;
};

void say(int row, int col, const std::string& text) {
    ui::say(kTop + row, kLeft + col, text);
}

void drawLabels() {
    say(1, 1, "Conta");
    say(3, 1, "Documento");
    say(4, 1, "Descrição"_cp);
    say(5, 1, "Valor");
    say(6, 1, "CPF/CNPJ");
    say(7, 1, "Data");
    say(8, 1, "Mês"_cp);
    say(9, 1, "Tipo Doc.");
    say(10, 1, "Código"_cp);
    say(11, 1, "Imóvel"_cp);
}

void showAccount(const std::optional<AccountRules>& rules) {
    const std::string text = rules ? rules->account.description : std::string();
    say(1, kFieldColumn + 8, base::padRight(text.substr(0, std::min<size_t>(text.size(), 48)), 48));
}

// VE_CONTA: the account must be a detail account of the chart (of the rural
// ones in mode 2). An unknown code is refused without a word.
std::optional<tax::Account> VE_CONTA(const std::string& code, int mode) {
    if (mode == kFromDeclaration && base::alltrim(code) < kFirstRuralAccount) return std::nullopt;
    std::optional<tax::Account> account = tax::findAccount(chart(), code);
    if (!account) return std::nullopt;
    if (!account->detail) {
        common::AVISOSN("Atenção! Essa conta é só Título. Use uma conta detalhada"_cp,
                        common::box::kStop);
        return std::nullopt;
    }
    return account;
}

// PEGACON: which fields the account takes. A rural declaration's rural
// accounts take either number.
AccountRules PEGACON(const tax::Account& account) {
    AccountRules rules{account, account.takesCpf, account.takesCnpj,
                       account.cashBook || account.takesDescription};
    if (base::session().integer("TIPO_LANCA") == 2 && account.page == tax::destination::kRural) {
        rules.cpf = true;
        rules.cnpj = true;
    }
    return rules;
}

std::string numberPicture(const AccountRules& rules) {
    if (rules.cpf && rules.cnpj) return "@S18";
    if (rules.cnpj) return "@R 99.999.999/9999-99";
    return "@R 999.999.999-99";
}

// CONF_CGCOUCPF: the number as a CPF, a CNPJ or either, by what the account
// takes. Blank passes here; "Sim" asks for it when it is needed.
bool CONF_CGCOUCPF(base::Value& number, const AccountRules& rules) {
    std::string text = base::alltrim(number.text());
    const std::string digits = base::alltrim(common::TIRA_PONTO(text));
    if (digits.empty()) return true;
    if (rules.cpf && rules.cnpj) {
        if (!common::CPFCGC1(text, false)) return false;
        number = base::Value(base::padRight(text, 18));
        return true;
    }
    if (rules.cnpj) return common::VAL_CGC(digits, false);
    return common::VAL_CPF(digits, false);
}

// VEDAT: a month of the year.
bool VEDAT(int month) {
    if (month >= 1 && month <= 12) return true;
    common::AVISOSN("O mês deve ser de 1 a 12."_cp, common::box::kStop);
    return false;
}

// An entry's date belongs to the tax year of the folder (QUEANO).
bool inTaxYear(const base::Date& date) {
    const int year = base::session().integer("QUEANO");
    if (date.empty() || year <= 0 || date.year() == year) return true;
    common::AVISOSN("A data deve ser do ano-base "_cp + std::to_string(year) + ".",
                    common::box::kStop);
    return false;
}

// VEDOC: a type 1 ... 6 is shown beside the field; any other opens the list.
bool VEDOC(ui::Get& field) {
    int type = static_cast<int>(field.value().number());
    if (type < 1 || type > 6) {
        std::vector<std::string> lines{"Escolha um Tipo"};
        lines.insert(lines.end(), std::begin(kDocumentTypes), std::end(kDocumentTypes));
        const std::string chosen = common::AVISOSN(lines, common::box::kOneToSix);
        type = static_cast<int>(base::parseNumber(chosen));
        if (type < 1 || type > 6) return false;
        field.setValue(base::Value(type));
    }
    say(9, kFieldColumn + 4, kDocumentTypes[type - 1]);
    return true;
}

bool readAccount(EntryValues& values, std::optional<AccountRules>& rules, int mode) {
    auto field = ui::Get::of(kTop + 1, kLeft + kFieldColumn, values.account, "@R 9.999", "CDCONTA");
    field->valid = [&rules, mode](ui::Get& g) {
        const std::optional<tax::Account> account = VE_CONTA(g.value().text(), mode);
        if (!account) return false;
        rules = PEGACON(*account);
        showAccount(rules);
        return true;
    };
    ui::GetList fields{field};
    const editor::LookupKey lookup("CDCONTA");
    // Inside the declaration only the rural accounts are taken: the list
    // offers no other.
    std::optional<editor::AccountListRange> ruralOnly;
    if (mode == kFromDeclaration) ruralOnly.emplace(editor::AccountRange{8000, 10000});
    for (;;) {
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) return false;
        // The account kept from the entry before is checked again.
        if (!rules) {
            const std::optional<tax::Account> account = VE_CONTA(values.account.text(), mode);
            if (!account) continue;
            rules = PEGACON(*account);
            showAccount(rules);
        }
        return true;
    }
}

ui::GetList detailFields(EntryValues& values, const AccountRules& rules) {
    const tax::Account& account = rules.account;
    auto at = [](int row) { return kTop + row; };
    const int col = kLeft + kFieldColumn;
    ui::GetList fields;
    fields.push_back(ui::Get::of(at(3), col, values.document, "@S15", "NUM_DOC"));
    auto description = ui::Get::of(at(4), col, values.description, "@KS56", "DESCONTA");
    description->when = [&rules](ui::Get&) { return rules.description; };
    fields.push_back(description);
    fields.push_back(ui::Get::of(at(5), col, values.amount, "@Ez 999,999,999.99", "VALODESP"));
    auto number = ui::Get::of(at(6), col, values.number, numberPicture(rules), "NROCGCCPF");
    number->when = [&rules](ui::Get&) { return rules.cpf || rules.cnpj; };
    number->valid = [&rules](ui::Get& g) {
        base::Value typed = g.value();
        if (!CONF_CGCOUCPF(typed, rules)) return false;
        if (typed != g.value()) g.setValue(typed);
        return true;
    };
    fields.push_back(number);
    auto date = ui::Get::of(at(7), col, values.date, "@D", "DATALAN");
    date->when = [cashBook = account.cashBook](ui::Get&) { return cashBook; };
    date->valid = [](ui::Get& g) { return inTaxYear(g.value().date()); };
    fields.push_back(date);
    auto month = ui::Get::of(at(8), col, values.month, "@ 99", "MESLAN");
    month->when = [cashBook = account.cashBook](ui::Get&) { return !cashBook; };
    month->valid = [](ui::Get& g) {
        const int typed = static_cast<int>(g.value().number());
        return typed == 0 || VEDAT(typed);
    };
    fields.push_back(month);
    auto type = ui::Get::of(at(9), col, values.type, "@ 9", "TIPODOC");
    type->valid = [](ui::Get& g) { return VEDOC(g); };
    fields.push_back(type);
    fields.push_back(ui::Get::of(at(10), col, values.code, "@ 999", "COD_CONTA"));
    fields.push_back(ui::Get::of(at(11), col, values.property, "@ 99", "NROIMO"));
    return fields;
}

void refuse(const std::string& message) {
    common::AVISOSN(message, common::box::kStop);
}

// The checks of "Sim", in order; false (after saying what is missing) sends
// the user back to the fields.
bool complete(EntryValues& values, const AccountRules& rules) {
    const tax::Account& account = rules.account;
    const bool hasNumber = !base::alltrim(common::TIRA_PONTO(values.number.text())).empty();
    if ((rules.cpf || rules.cnpj) && !hasNumber && account.page != tax::destination::kMonthly) {
        refuse("Falta preencher o CNPF ou CPF");
        return false;
    }
    if (account.cashBook && values.date.date().empty()) {
        refuse("Falta preencher a data do lançamento"_cp);
        return false;
    }
    const int month = static_cast<int>(values.month.number());
    if (!account.cashBook && (month < 1 || month > 12)) {
        refuse("Falta preencher o mês de lançamento"_cp);
        return false;
    }
    if (values.amount.number() == 0) {
        refuse("Falta preencher o valor");
        return false;
    }
    if (rules.description) {
        if (base::alltrim(values.description.text()).empty()) {
            refuse("Falta preencher a Descrição ou o Nome "_cp);
            return false;
        }
    } else {
        values.description = base::Value(account.description.substr(0, 60));
    }
    return true;
}

void storeEntry(const EntryValues& values, const AccountRules& rules) {
    store::Table& entries = store::workAreas().area(kWorkArea);
    store::appendRecord(entries);
    entries.put("CPF", base::Value(base::alltrim(base::session().text("CPF"))));
    entries.put("CDCONTA", base::Value(rules.account.code));
    entries.put("DESCONTA", values.description);
    entries.put("VALODESP", values.amount);
    entries.put("NROCGCCPF", base::Value(base::alltrim(values.number.text())));
    entries.put("LANCADO", base::Value(false));
    if (rules.account.cashBook) {
        entries.put("DATALAN", values.date);
    } else {
        entries.put("MESLAN", values.month);
    }
    entries.put("TIPODOC", values.type);
    entries.put("COD_CONTA", values.code);
    entries.put("NUM_DOC", values.document);
    entries.put("NROIMO", values.property);
    entries.unlock();
    entries.flush();
}

// One entry on an accepted account: "Sim" stores it (true), "Fim" closes the
// form (nullopt), Esc goes back to the account (false).
std::optional<bool> readEntry(EntryValues& values, const AccountRules& rules) {
    ui::GetList fields = detailFields(values, rules);
    for (;;) {
        if (ui::readFields(fields).exit == ui::ReadExit::Escape) return false;
        const std::string answer = common::AVISOSN("Confirma ?", common::box::kSimNaoFim);
        if (answer == "F") return std::nullopt;
        if (answer != "S") continue;
        if (!complete(values, rules)) continue;
        storeEntry(values, rules);
        return true;
    }
}

}  // namespace

void FAZLANC(int mode) {
    if (!openChart() || !store::workAreas().table(kWorkArea)) return;
    base::NamedValues& s = base::session();
    common::REDEFJAN(kSlot, s.integer("COR_TEL1"), s.integer("COR_TEL2"), s.integer("COR_TEL2"),
                     kTop, kLeft, kBottom, kRight, 0);
    common::ABREJAN(kSlot);
    drawLabels();
    EntryValues values;
    for (;;) {
        std::optional<AccountRules> rules;
        if (!readAccount(values, rules, mode)) break;
        const std::optional<bool> stored = readEntry(values, *rules);
        if (!stored) break;
        if (*stored) values.clearForNext();
    }
    common::FECHAJAN(kSlot);
}

}  // namespace kdx2::shell::cashbook
