#include "tax/cash_book.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"
#include "common/identifiers.h"
#include "common/messages.h"
#include "store/access.h"
#include "store/work_areas.h"
#include "tax/items.h"

namespace kdx2::tax {

using namespace base::literals;

namespace {

bool flag(const store::Table& table, std::string_view field) {
    return base::asciiUpper(base::alltrim(table.get(field).text())) == "S";
}

int integerOf(const store::Table& table, std::string_view field) {
    return static_cast<int>(table.get(field).number());
}

std::string twoDigits(int number) {
    return (number < 10 ? "0" : "") + std::to_string(number);
}

// Text fields take what fits: a 60-character description goes into the
// 44-character name of an item.
void putText(store::Table& table, std::string_view field, std::string_view text) {
    const int index = table.fieldIndex(field);
    if (index < 0)
        throw base::Error("Campo "_cp + std::string(field) + " não existe em "_cp + table.alias());
    const auto width = static_cast<size_t>(table.structure()[static_cast<size_t>(index)].width);
    table.put(index, base::Value(std::string(text.substr(0, std::min(width, text.size())))));
}

// Sets the group's field 13 to the sum of its twelve months.
void totalMonths(store::Table& table, std::string_view group) {
    double total = 0;
    for (int month = 1; month <= 12; ++month)
        total += table.get(monthField(group, month)).number();
    table.put(monthField(group, 13), base::Value(base::roundDecimal(total, 2)));
}

// The month field of an item receives the entry's amount; an amount already
// there is added to or replaced, as the user answers.
void addOrReplace(store::Table& table, const std::string& field, const std::string& account,
                  double amount) {
    const double existing = table.get(field).number();
    double result = amount;
    if (existing != 0) {
        const std::vector<std::string> question{
            "No código "_cp + account + " já existe valor lançado nesse mês "_cp,
            "       Soma ao valor existente ?               "};
        common::MensOptions options;
        options.column = common::MensColumn::centred();
        options.lines = static_cast<int>(question.size());
        options.answers = "SN";
        const base::Value answer = common::MENS(2, common::MessageLines(question), options);
        if (base::asciiUpper(base::alltrim(answer.text())) == "S") result = existing + amount;
    }
    table.put(field, base::Value(base::roundDecimal(result, 2)));
}

void tellUnusableLine(const Account& account) {
    common::AVISOSN({"A conta "_cp + account.code + " tem a linha " + std::to_string(account.line) +
                         ", que não existe no destino " + std::to_string(account.page) + ".",
                     "Corrija o plano de contas; o lançamento não foi transferido."_cp},
                    common::box::kStop);
}

void tellNoMonth(const Account& account) {
    common::AVISOSN({"Um lançamento da conta "_cp + account.code + " não tem data nem mês.",
                     "Ele não foi transferido."_cp},
                    common::box::kStop);
}

// The month an entry is written in, when its account's line names a field
// and the entry has a month; otherwise the user is told why it stays.
std::optional<int> monthToWrite(const CashEntry& entry, const Account& account, bool lineUsable) {
    if (!lineUsable) {
        tellUnusableLine(account);
        return std::nullopt;
    }
    const int month = entryMonth(entry);
    if (month == 0) {
        tellNoMonth(account);
        return std::nullopt;
    }
    return month;
}

// The entry's writes, one destination each. Each returns true when every
// write the entry needed was made; the record written is unlocked at once.
class Transfer {
  public:
    Transfer(const TransferPlace& place, TransferResult& result) : place_(place), result_(result) {}

    bool companies(const CashEntry& entry, const Account& account) {
        const std::optional<std::string> group = companyGroup(account.line);
        const std::optional<int> found = monthToWrite(entry, account, group.has_value());
        if (!found) return false;
        const int month = *found;
        const std::string kind = account.takesCpf && account.takesCnpj ? "D" : "J";
        const std::string number = common::CONTAPONTO(entry.number);
        select(place_.incomeArea);
        const bool create = account.line == 1;
        if (!ACHA_ITEM(place_.cpf, "I1_3", number, create, "I1_1", kind, place_.lockSeconds)) {
            if (!create)
                common::AVISOSN("O Lançamento código "_cp + account.code +
                                    " precisa ter Fonte Pagadora c/ mesmo CNPJ",
                                common::box::kStop);
            return false;
        }
        store::Table& income = current();
        if (create) {
            putText(income, "I1_2", entry.description);
            putText(income, "CDCONTA", account.code);
        }
        addOrReplace(income, monthField(*group, month), account.code, entry.amount);
        totalMonths(income, *group);
        income.unlock();
        return true;
    }

    bool monthly(const CashEntry& entry, const Account& account) {
        const std::optional<MonthlyItemKind> kind = monthlyItemKind(account.line);
        const std::optional<int> found = monthToWrite(entry, account, kind.has_value());
        if (!found) return false;
        const int month = *found;
        select(place_.incomeArea);
        if (kind->namedItem.empty()) {
            if (!store::ADD_REC(place_.lockSeconds)) return false;
            current().put("I1_413", base::Value(entry.amount));
        } else {
            if (!ACHA_ITEM(place_.cpf, "I1_2", kind->namedItem, true, "I1_1", kind->kind,
                           place_.lockSeconds))
                return false;
            // The month may already hold a payment (a second one, or the
            // same one written by the slip): the user says which.
            addOrReplace(current(), monthField("I1_4", month), account.code, entry.amount);
        }
        store::Table& income = current();
        income.put("CPF", base::Value(place_.cpf));
        if (kind->namedItem.empty()) putText(income, "I1_2", entry.description);
        putText(income, "I1_3", entry.number);
        income.put("I1_1", base::Value(kind->kind));
        income.put("TIPOCR", base::Value(kind->credit));
        // Dated items are counted in the month of their date: an entry by
        // month dates its item on that month's first day.
        income.put("DT_LC", base::Value(itemDate(entry, place_.year)));
        putText(income, "CDCONTA", account.code);
        income.unlock();
        result_.wroteMonthly = true;
        return true;
    }

    bool payments(const CashEntry& entry, const Account& account) {
        const std::optional<PaymentTarget> target = paymentTarget(account.line);
        const std::optional<int> found = monthToWrite(entry, account, target.has_value());
        if (!found) return false;
        const int month = *found;
        const std::string number = common::CONTAPONTO(entry.number);
        select(place_.paymentsArea);
        // The payee is found by its number alone.
        if (!ACHA_ITEM(place_.cpf, "I6_2", number, true, "I6_2", number, place_.lockSeconds))
            return false;
        store::Table& payments = current();
        putText(payments, "I6_1", entry.description);
        payments.put("I6_3", base::Value(target->code));
        addOrReplace(payments, monthField(target->group, month), account.code, entry.amount);
        totalMonths(payments, target->group);
        payments.unlock();
        return true;
    }

    bool rural(const CashEntry& entry, const Account& account) {
        if (account.line != 1 && account.line != 2) {
            tellUnusableLine(account);
            return false;
        }
        select(place_.incomeArea);
        if (!store::ADD_REC(place_.lockSeconds)) return false;
        writeRuralItem(current(), entry, account.code, account.line == 1 ? "C" : "D",
                       place_.ruralDeclaration, place_.year);
        current().unlock();
        result_.wroteRural = true;
        return true;
    }

    static void writeRuralItem(store::Table& income, const CashEntry& entry,
                               const std::string& account, const std::string& credit,
                               bool documentFields, int year) {
        income.put("CPF", base::Value(entry.cpf));
        putText(income, "I1_2", entry.description);
        income.put("I1_1", base::Value("R"));
        income.put("TIPOCR", base::Value(credit));
        income.put("I1_413", base::Value(entry.amount));
        income.put("DT_LC", base::Value(itemDate(entry, year)));
        putText(income, "CDCONTA", account);
        if (!documentFields) return;
        putText(income, "I1_3", common::CONTAPONTO(entry.number));
        income.put("TIPODOC", base::Value(entry.documentType));
        income.put("COD_CONTA", base::Value(entry.code));
        putText(income, "NUM_DOC", entry.document);
        income.put("NROIMO", base::Value(entry.property));
    }

  private:
    static void select(int area) { store::workAreas().select(area); }
    static store::Table& current() { return store::workAreas().area(store::workAreas().current()); }

    const TransferPlace& place_;
    TransferResult& result_;
};

bool belongsToWindow(const TransferPlace& place, const CashEntry& entry) {
    if (place.onlyAccountsFrom.empty()) return true;
    return base::alltrim(entry.account) >= place.onlyAccountsFrom;
}

// The participation of each of the taxpayer's properties, in table order.
std::vector<double> participations(store::Table& properties, const std::string& cpf) {
    std::vector<double> shares;
    forEachItemOf(properties, cpf, [&](store::Table& row) {
        shares.push_back(row.get("I2_04").number());
        return true;
    });
    return shares;
}

double ruralWeight(const store::Table& item, const std::vector<double>& shares,
                   bool ruralDeclaration) {
    if (ruralDeclaration) return 1.0;
    const int property = integerOf(item, "NROIMO");
    if (property < 1 || static_cast<size_t>(property) > shares.size()) return 1.0;
    return shares[static_cast<size_t>(property - 1)] / 100.0;
}

void noteTaxpayer(RebuildResult& result, const std::string& cpf) {
    if (std::find(result.taxpayers.begin(), result.taxpayers.end(), cpf) == result.taxpayers.end())
        result.taxpayers.push_back(cpf);
}

int itemMonth(const store::Table& item) {
    const base::Date date = item.get("DT_LC").date();
    return date.empty() ? 1 : date.month();
}

}  // namespace

Account readAccount(const store::Table& chart) {
    Account account;
    account.code = base::alltrim(chart.get("CDCONTA").text());
    account.description = base::alltrim(chart.get("NMDESCRICA").text());
    account.detail = flag(chart, "CDSTATUS");
    account.page = integerOf(chart, "PAGINA");
    account.line = integerOf(chart, "LINHA");
    account.takesCpf = flag(chart, "TEMCPF");
    account.takesCnpj = flag(chart, "TEMCGC");
    account.cashBook = flag(chart, "LIVROCX");
    account.takesDescription = flag(chart, "TEMDESCR");
    return account;
}

std::optional<Account> findAccount(store::Table& chart, std::string_view code) {
    const std::string wanted = base::alltrim(code);
    if (wanted.empty()) return std::nullopt;
    if (chart.order() == 0) chart.setOrder(1);
    if (!chart.seek(base::Value(base::padRight(wanted, 4)))) return std::nullopt;
    if (base::alltrim(chart.get("CDCONTA").text()) != wanted) return std::nullopt;
    return readAccount(chart);
}

std::optional<std::string> companyGroup(int line) {
    if (line >= 1 && line <= 4) return "I1_" + std::to_string(line + 3);
    if (line >= 6 && line <= 8) return "I1_" + std::to_string(line + 3);
    return std::nullopt;
}

std::optional<PaymentTarget> paymentTarget(int line) {
    if (line >= 1 && line <= 36) return PaymentTarget{"I6_4", line};
    if (line > 36 && line - 30 <= 99) return PaymentTarget{"I6_5", line - 30};
    return std::nullopt;
}

std::string monthField(std::string_view group, int month) {
    return std::string(group) + twoDigits(month);
}

std::optional<MonthlyItemKind> monthlyItemKind(int line) {
    switch (line) {
        case 1:
            return MonthlyItemKind{"F", "C", ""};
        case 2:
            return MonthlyItemKind{"E", "C", ""};
        case 3:
            return MonthlyItemKind{"L", "D", ""};
        case 4:
            return MonthlyItemKind{"P", "D", "Carne do INSS"};
        case 5:
            return MonthlyItemKind{"I", "D", "Receita Federal"};
        default:
            if (line > 5) return MonthlyItemKind{"O", "N", ""};
            return std::nullopt;
    }
}

CashEntry readEntry(const store::Table& entries) {
    CashEntry entry;
    entry.cpf = base::alltrim(entries.get("CPF").text());
    entry.account = base::alltrim(entries.get("CDCONTA").text());
    entry.description = base::alltrim(entries.get("DESCONTA").text());
    entry.amount = entries.get("VALODESP").number();
    entry.number = base::alltrim(entries.get("NROCGCCPF").text());
    entry.transferred = entries.get("LANCADO").logical();
    entry.date = entries.get("DATALAN").date();
    entry.month = integerOf(entries, "MESLAN");
    entry.documentType = integerOf(entries, "TIPODOC");
    entry.code = integerOf(entries, "COD_CONTA");
    entry.document = base::alltrim(entries.get("NUM_DOC").text());
    entry.property = integerOf(entries, "NROIMO");
    return entry;
}

int entryMonth(const CashEntry& entry) {
    if (!entry.date.empty()) return entry.date.month();
    return entry.month >= 1 && entry.month <= 12 ? entry.month : 0;
}

base::Date itemDate(const CashEntry& entry, int year) {
    if (!entry.date.empty()) return entry.date;
    const int month = entryMonth(entry);
    if (month == 0) return {};
    return base::Date::fromYmd(year, month, 1).value_or(base::Date{});
}

TransferResult LANCAVAL(const TransferPlace& place, store::Table& chart) {
    TransferResult result;
    store::WorkAreas& areas = store::workAreas();
    const int previousArea = areas.current();
    store::Table& entries = areas.area(place.entriesArea);
    Transfer transfer(place, result);
    // The chart is read once: thousands of entries share a few accounts.
    std::map<std::string, Account> accounts;
    chart.forEach([&](store::Table& row) {
        const Account account = readAccount(row);
        accounts.emplace(account.code, account);
        return true;
    });
    const uint32_t count = entries.recCount();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        entries.goTo(recno);
        if (entries.deleted()) continue;
        const CashEntry entry = readEntry(entries);
        if (entry.transferred || !belongsToWindow(place, entry)) continue;
        const auto known = accounts.find(entry.account);
        const std::optional<Account> account =
            known == accounts.end() ? std::nullopt : std::optional<Account>(known->second);
        bool written = true;
        if (account && account->detail) {
            switch (account->page) {
                case destination::kCompanies:
                    written = transfer.companies(entry, *account);
                    break;
                case destination::kMonthly:
                    written = transfer.monthly(entry, *account);
                    break;
                case destination::kPayments:
                    written = transfer.payments(entry, *account);
                    break;
                case destination::kRural:
                    written = transfer.rural(entry, *account);
                    break;
                default:
                    break;
            }
        }
        if (!written) {
            ++result.notTransferred;
            continue;
        }
        entries.goTo(recno);
        entries.put("LANCADO", base::Value(true));
        ++result.transferred;
    }
    entries.flush();
    areas.select(previousArea);
    return result;
}

std::vector<std::string> transferReport(const TransferResult& result) {
    std::vector<std::string> lines;
    if (result.transferred == 0)
        lines.push_back("Sem lançamento para transferir"_cp);
    else if (result.transferred == 1)
        lines.push_back("Transferido 1 lançamento!"_cp);
    else {
        // Three columns as a rule, but a count never loses digits.
        const std::string count = std::to_string(result.transferred);
        lines.push_back("Transferidos " + base::padLeft(count, std::max<size_t>(3, count.size())) +
                        " lançamentos!"_cp);
    }
    if (result.notTransferred > 0)
        lines.push_back(
            std::to_string(result.notTransferred) +
            (result.notTransferred == 1 ? " lançamento ficou"_cp : " lançamentos ficaram"_cp) +
            " sem transferir."_cp);
    return lines;
}

RuralTotals ruralTotals(store::Table& income, store::Table& properties, const std::string& cpf,
                        bool ruralDeclaration) {
    const std::vector<double> shares = participations(properties, cpf);
    RuralTotals totals;
    forEachItemOf(income, cpf, [&](store::Table& item) {
        if (base::asciiUpper(base::alltrim(item.get("I1_1").text())) != "R") return true;
        const double amount =
            item.get("I1_413").number() * ruralWeight(item, shares, ruralDeclaration);
        auto& months =
            base::alltrim(item.get("TIPOCR").text()) == "C" ? totals.revenue : totals.expenses;
        months[static_cast<size_t>(itemMonth(item) - 1)] += amount;
        return true;
    });
    for (auto* months : {&totals.revenue, &totals.expenses})
        for (double& amount : *months)
            amount = base::roundDecimal(amount, 2);
    return totals;
}

bool writeRuralTotals(store::Table& rural, const std::string& cpf, const RuralTotals& totals,
                      double lockSeconds) {
    store::WorkAreas& areas = store::workAreas();
    const int previousArea = areas.current();
    areas.select(areas.slotOf(rural.alias()));
    bool held = false;
    if (rural.order() == 0) rural.setOrder(1);
    if (rural.seek(base::Value(cpf))) {
        held = store::REC_LOCK(lockSeconds);
    } else {
        held = store::ADD_REC(lockSeconds);
        if (held) rural.put("CPF", base::Value(cpf));
    }
    if (held) {
        for (int month = 1; month <= 12; ++month) {
            const auto index = static_cast<size_t>(month - 1);
            rural.put("I3_" + twoDigits(month) + "OR", base::Value(totals.revenue[index]));
            rural.put("I3_" + twoDigits(month) + "OD", base::Value(totals.expenses[index]));
        }
        rural.unlock();
    }
    areas.select(previousArea);
    return held;
}

RebuildResult rebuildRuralItems(store::Table& income, store::Table& entries, int year,
                                double lockSeconds) {
    RebuildResult result;
    store::WorkAreas& areas = store::workAreas();
    const int previousArea = areas.current();
    const uint32_t items = income.recCount();
    for (uint32_t recno = 1; recno <= items; ++recno) {
        income.goTo(recno);
        if (income.deleted() || base::asciiUpper(base::alltrim(income.get("I1_1").text())) != "R")
            continue;
        if (!income.lockRecord(recno)) {
            ++result.failed;
            continue;
        }
        const std::string owner = base::alltrim(income.get("CPF").text());
        income.deleteRecord();
        income.unlock();
        ++result.deleted;
        noteTaxpayer(result, owner);
    }
    areas.select(areas.slotOf(income.alias()));
    const uint32_t count = entries.recCount();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        entries.goTo(recno);
        if (entries.deleted()) continue;
        const CashEntry entry = readEntry(entries);
        const char first = entry.account.empty() ? ' ' : entry.account.front();
        if (first != '8' && first != '9') continue;
        if (!entries.lockRecord(recno) || !store::ADD_REC(lockSeconds)) {
            entries.unlock();
            ++result.failed;
            continue;
        }
        Transfer::writeRuralItem(income, entry, entry.account, first == '8' ? "C" : "D", true,
                                 year);
        income.unlock();
        entries.goTo(recno);
        entries.put("LANCADO", base::Value(true));
        entries.unlock();
        ++result.rebuilt;
        noteTaxpayer(result, entry.cpf);
    }
    areas.select(previousArea);
    return result;
}

std::map<std::string, AccountBalance> accountBalances(store::Table& income,
                                                      store::Table& properties,
                                                      const std::string& cpf,
                                                      std::string_view kinds, int firstMonth,
                                                      int lastMonth, bool ruralDeclaration) {
    const std::vector<double> shares = participations(properties, cpf);
    std::map<std::string, AccountBalance> balances;
    forEachItemOf(income, cpf, [&](store::Table& item) {
        const std::string kind = base::asciiUpper(base::alltrim(item.get("I1_1").text()));
        if (kind.size() != 1 || kinds.find(kind) == std::string_view::npos) return true;
        const int month = itemMonth(item);
        if (month < firstMonth || month > lastMonth) return true;
        double amount = item.get("I1_413").number();
        if (kind == "R") amount *= ruralWeight(item, shares, ruralDeclaration);
        AccountBalance& balance = balances[base::alltrim(item.get("CDCONTA").text())];
        balance.total = base::roundDecimal(balance.total + amount, 2);
        balance.credit = base::alltrim(item.get("TIPOCR").text());
        return true;
    });
    return balances;
}

}  // namespace kdx2::tax
