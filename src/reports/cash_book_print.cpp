#include "reports/cash_book_print.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "base/value.h"
#include "printing/output.h"
#include "printing/questions.h"
#include "reports/print_text.h"

namespace kdx2::reports {

namespace {

constexpr int kLastBodyLine = 51;  // past it a page is carried over
constexpr int kFillerEnd = 50;     // the diagonal filler ends here
constexpr int kLastBalanceLine = 57;
constexpr const char* kEntryPicture = "@Ez 99,999,999.99";
constexpr const char* kTotalPicture = "@EZ 9999,999,999.99";
constexpr int kEntryRevenueColumn = 52;
constexpr int kEntryExpenseColumn = 66;
constexpr int kTotalRevenueColumn = 49;
constexpr int kTotalExpenseColumn = 64;

std::string rule() {
    return base::session().text("LIN_DIV1");
}

std::string condensedRule() {
    return base::session().text("LIN_DIV2");
}

std::string twoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Cash-book dates are printed without the century.
std::string shortDate(const base::Date& date) {
    if (date.empty()) return "  /  /  ";
    return twoDigits(date.day()) + "/" + twoDigits(date.month()) + "/" +
           twoDigits(date.year() % 100);
}

std::string monthAbbreviation(int month) {
    return base::cp850::upper(monthName(month).substr(0, 3));
}

bool isRevenue(std::string_view kind, std::string_view credit) {
    if (!credit.empty()) return credit == "C";
    return kind == "F" || kind == "E";
}

// The state of one printing of a book: where the head is, the page, and
// the running figures carried between pages and months.
class BookWriter {
  public:
    BookWriter(const CashBookSettings& settings, bool allMonths)
        : s_(settings), page_(allMonths ? 1 : 0) {}

    void carryEarlier(double revenue, double expenses) {
        earlierRevenue_ = revenue;
        earlierExpenses_ = expenses;
        hasEarlier_ = revenue != 0 || expenses != 0;
    }

    // False when the user abandoned the printing.
    bool printMonth(int month, const std::vector<const CashBookLine*>& entries) {
        month_ = month;
        // A month continuing a page needs room for its heading, an account
        // and an entry before the page can be carried over.
        if (line_ < 0 || s_.pagePerMonth || line_ > kLastBodyLine - 5)
            newPage();
        else
            CABECLCX(false);
        std::string account;
        for (size_t i = 0; i < entries.size(); ++i) {
            const CashBookLine& entry = *entries[i];
            if (entry.account != account) {
                account = entry.account;
                accountTitle(account);
            }
            entryLine(entry);
            const bool dayEnds = i + 1 == entries.size() || entries[i + 1]->date > entry.date;
            if (s_.dailyTotals && dayEnds && i + 1 < entries.size()) dayTotals();
            if (line_ > kLastBodyLine && i + 1 < entries.size()) {
                balances(false, true);
                // Esc is heard between pages; what was printed stays.
                if (printing::PAREIMP()) return false;
                newPage();
            }
        }
        closeMonth();
        return !printing::PAREIMP();
    }

    void accountTotals(const std::map<std::string, tax::AccountBalance>& totals,
                       const std::function<std::string(const std::string&)>& accountName) {
        printing::PrintOutput& out = printing::output();
        out.condensed();
        balanceHeading();
        double revenue = 0;
        double expenses = 0;
        for (const auto& [code, balance] : totals) {
            if (balance.total == 0) continue;
            if (line_ > kLastBalanceLine) {
                balanceCarry("A transportar.......", revenue, expenses);
                balanceHeading();
                balanceCarry("Transporte da pag. anterior", revenue, expenses);
            }
            const bool credit = balance.credit == "C";
            out.say(line_, 6, base::padRight(base::cp850::upper(accountName(code)), 80));
            out.say(line_, credit ? 95 : 119, amountText(balance.total, kEntryPicture));
            (credit ? revenue : expenses) =
                base::roundDecimal((credit ? revenue : expenses) + balance.total, 2);
            ++line_;
        }
        out.say(line_, 0, condensedRule());
        ++line_;
        balanceCarry("TOTAIS", revenue, expenses);
        out.normal();
        line_ = -1;
    }

    // A range without entries: the balances carried into it, on a page of
    // its own.
    void balancesOnly(int month) {
        month_ = month;
        newPage();
        closeMonth();
    }

    int pages() const { return page_; }
    const base::Date& lastEntry() const { return lastEntry_; }

  private:
    void say(int column, const std::string& text) { printing::output().say(line_, column, text); }

    void totalsAt(double revenue, double expenses) {
        say(kTotalRevenueColumn, amountText(revenue, kTotalPicture));
        say(kTotalExpenseColumn, amountText(expenses, kTotalPicture));
    }

    void newPage() {
        if (line_ >= 0) printing::output().eject();
        ++page_;
        line_ = 0;
        CABECLCX(true);
    }

    // CABECLCX: the month's heading, with the book's title on a new page
    // and the month's figures carried from the page before. A book of
    // totals only has no heading at all: its lines start at the top.
    void CABECLCX(bool pageStarts) {
        if (!s_.monthHeader) return;
        if (pageStarts) {
            say(0, rule());
            ++line_;
            say(0, "Livro Caixa de " + base::padRight(s_.name, 38));
            if (s_.pagePerMonth) {
                const std::string p = std::to_string(page_);
                say(55, "Ref. " + monthAbbreviation(month_) + "/" + std::to_string(s_.year) +
                            " Pag. " + std::string(p.size() < 3 ? 3 - p.size() : 0, '0') + p);
            } else {
                say(70, " Pag. " + std::to_string(page_));
            }
            ++line_;
        }
        say(0, rule());
        ++line_;
        say(4, "Data     Descricao                                   Receitas      Despesas");
        ++line_;
        say(0, rule());
        ++line_;
        if (pageStarts && (monthRevenue_ != 0 || monthExpenses_ != 0)) {
            say(0, "Transporte da pg. anterior");
            totalsAt(monthRevenue_, monthExpenses_);
            ++line_;
        }
    }

    void accountTitle(const std::string& code) {
        const std::string description = accountName_ ? accountName_(code) : code;
        say(14, base::padRight(base::cp850::upper(description), 70).substr(0, 66));
        ++line_;
    }

    void entryLine(const CashBookLine& entry) {
        say(4, shortDate(entry.date));
        say(13, base::padRight(entry.description, 39));
        if (entry.amount > 0)
            say(entry.revenue ? kEntryRevenueColumn : kEntryExpenseColumn,
                amountText(entry.amount, kEntryPicture));
        add(entry.revenue ? monthRevenue_ : monthExpenses_, entry.amount);
        add(entry.revenue ? dayRevenue_ : dayExpenses_, entry.amount);
        dayHasEntries_ = true;
        if (entry.date > lastEntry_) lastEntry_ = entry.date;
        ++line_;
    }

    static void add(double& sum, double amount) { sum = base::roundDecimal(sum + amount, 2); }

    void dayTotals() {
        const std::string bar(13, '_');
        if (dayRevenue_ != 0) say(kEntryRevenueColumn, bar);
        if (dayExpenses_ != 0) say(kEntryExpenseColumn, bar);
        ++line_;
        say(13, "Totais do Dia");
        if (dayRevenue_ != 0) say(kEntryRevenueColumn, amountText(dayRevenue_, kEntryPicture));
        if (dayExpenses_ != 0) say(kEntryExpenseColumn, amountText(dayExpenses_, kEntryPicture));
        ++line_;
        dayRevenue_ = 0;
        dayExpenses_ = 0;
        dayHasEntries_ = false;
    }

    // A dashed diagonal over the unused lines of a page that ends, so that
    // nothing can be written into them afterwards.
    void filler() {
        const int first = line_;
        const int rows = kFillerEnd - first;
        for (int i = 0; i < rows; ++i) {
            const int column = rows == 1 ? 10 : 10 + (48 - 10) * i / (rows - 1);
            say(column, "-");
            ++line_;
        }
    }

    // SALDOS: the closing lines of a page carried over (`carry`) or of the
    // month; `pageEnds` fills the rest of the page first.
    void balances(bool monthEnd, bool pageEnds) {
        if (s_.dailyTotals && dayHasEntries_) dayTotals();
        if (pageEnds) filler();
        say(0, rule());
        ++line_;
        say(0, monthEnd ? "Totais do Mes" : "A transportar.......");
        totalsAt(monthRevenue_, monthExpenses_);
        ++line_;
        if (!monthEnd) return;
        const double earlier = base::roundDecimal(earlierRevenue_ - earlierExpenses_, 2);
        const double accumulated = base::roundDecimal(monthRevenue_ - monthExpenses_ + earlier, 2);
        if (s_.runningBalance) {
            if (hasEarlier_) {
                say(0, "Saldo do caixa       ");
                say(kTotalRevenueColumn, amountText(earlier, kTotalPicture));
                ++line_;
            }
            say(0, accumulated < 0 ? "Deficit Acumulado" : "Saldo Acumulado");
            say(accumulated < 0 ? kTotalExpenseColumn : kTotalRevenueColumn,
                amountText(std::abs(accumulated), kTotalPicture));
            ++line_;
            totalsAt(base::roundDecimal(monthRevenue_ + earlier, 2),
                     base::roundDecimal(monthExpenses_ + accumulated, 2));
            ++line_;
        }
        add(earlierRevenue_, monthRevenue_);
        add(earlierExpenses_, monthExpenses_);
        hasEarlier_ = true;
        monthRevenue_ = 0;
        monthExpenses_ = 0;
    }

    void closeMonth() {
        if (s_.pagePerMonth) {
            balances(true, true);
            printing::output().eject();
            line_ = -1;
            return;
        }
        balances(true, false);
        if (line_ > kLastBodyLine) {
            printing::output().eject();
            line_ = -1;
        }
    }

    void balanceHeading() {
        if (line_ >= 0) printing::output().eject();
        ++page_;
        line_ = 0;
        say(0, condensedRule());
        ++line_;
        say(0, "Balanco das receitas e despesas ");
        say(120, "Pag. " + std::to_string(page_));
        ++line_;
        say(0, "Livro Caixa de " + base::padRight(s_.name, 38));
        say(60, "Refer. " + std::to_string(s_.year));
        ++line_;
        say(0, "   Descricao                                            Receitas     Despesas");
        ++line_;
        say(0, condensedRule());
        ++line_;
    }

    void balanceCarry(const std::string& label, double revenue, double expenses) {
        say(6, label);
        say(95, amountText(revenue, kEntryPicture));
        say(119, amountText(expenses, kEntryPicture));
        ++line_;
    }

  public:
    std::function<std::string(const std::string&)> accountName_;

  private:
    const CashBookSettings& s_;
    int page_;
    int line_ = -1;  // -1: no page open
    int month_ = 1;
    double monthRevenue_ = 0;
    double monthExpenses_ = 0;
    double dayRevenue_ = 0;
    double dayExpenses_ = 0;
    bool dayHasEntries_ = false;
    double earlierRevenue_ = 0;
    double earlierExpenses_ = 0;
    bool hasEarlier_ = false;
    base::Date lastEntry_;
};

}  // namespace

std::vector<double> propertyShares(store::Table& properties, const std::string& cpf) {
    std::vector<double> shares;
    const uint32_t count = properties.recCount();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        properties.goTo(recno);
        if (properties.deleted() || base::alltrim(properties.get("CPF").text()) != cpf) continue;
        shares.push_back(properties.get("I2_04").number());
    }
    return shares;
}

std::vector<CashBookLine> cashBookLines(store::Table& income, const std::string& cpf, Book book,
                                        const std::vector<double>& shares, bool ruralDeclaration) {
    const std::string_view kinds = book == Book::Rural ? "R" : "FEL";
    std::vector<CashBookLine> lines;
    const uint32_t count = income.recCount();
    for (uint32_t recno = 1; recno <= count; ++recno) {
        income.goTo(recno);
        if (income.deleted() || base::alltrim(income.get("CPF").text()) != cpf) continue;
        const std::string kind = base::asciiUpper(base::alltrim(income.get("I1_1").text()));
        if (kind.size() != 1 || kinds.find(kind) == std::string_view::npos) continue;
        CashBookLine line;
        line.date = income.get("DT_LC").date();
        line.month = line.date.empty() ? 1 : line.date.month();
        line.account = base::alltrim(income.get("CDCONTA").text());
        line.description = base::rtrim(income.get("I1_2").text());
        line.amount = income.get("I1_413").number();
        const int property = static_cast<int>(income.get("NROIMO").number());
        if (book == Book::Rural && !ruralDeclaration && property >= 1 &&
            static_cast<size_t>(property) <= shares.size())
            line.amount = base::roundDecimal(
                line.amount * shares[static_cast<size_t>(property - 1)] / 100.0, 2);
        line.revenue = isRevenue(kind, base::alltrim(income.get("TIPOCR").text()));
        lines.push_back(std::move(line));
    }
    std::stable_sort(lines.begin(), lines.end(), [](const CashBookLine& a, const CashBookLine& b) {
        if (a.date != b.date) return a.date < b.date;
        return a.account < b.account;
    });
    return lines;
}

std::map<std::string, tax::AccountBalance> accountTotals(const std::vector<CashBookLine>& lines,
                                                         const CashBookSettings& settings) {
    std::map<std::string, tax::AccountBalance> totals;
    for (const CashBookLine& line : lines) {
        if (line.month < settings.firstMonth || line.month > settings.lastMonth) continue;
        tax::AccountBalance& total = totals[line.account];
        total.total = base::roundDecimal(total.total + line.amount, 2);
        total.credit = line.revenue ? "C" : "D";
    }
    return totals;
}

CashBookResult LIVRO_CX(const std::vector<CashBookLine>& lines, const CashBookSettings& settings,
                        const std::function<std::string(const std::string&)>& accountName) {
    CashBookResult result;
    const auto inRange = [&](const CashBookLine& l) {
        return l.month >= settings.firstMonth && l.month <= settings.lastMonth;
    };
    if (lines.empty()) return result;
    const bool allMonths = settings.firstMonth == 1 && settings.lastMonth == 12;
    result.balancesOnly = std::none_of(lines.begin(), lines.end(), inRange);
    // A book the terms close keeps page 1 for the opening term.
    BookWriter writer(settings, allMonths || result.balancesOnly);
    writer.accountName_ = accountName;
    double revenue = 0;
    double expenses = 0;
    for (const CashBookLine& line : lines) {
        if (!settings.earlierBalance || line.month >= settings.firstMonth) continue;
        double& sum = line.revenue ? revenue : expenses;
        sum = base::roundDecimal(sum + line.amount, 2);
    }
    writer.carryEarlier(revenue, expenses);
    if (result.balancesOnly) writer.balancesOnly(settings.firstMonth);
    for (int month = settings.firstMonth; month <= settings.lastMonth; ++month) {
        std::vector<const CashBookLine*> entries;
        for (const CashBookLine& line : lines)
            if (line.month == month) entries.push_back(&line);
        if (!entries.empty() && !writer.printMonth(month, entries)) {
            result.printed = true;
            result.abandoned = true;
            return result;
        }
    }
    writer.accountTotals(accountTotals(lines, settings), accountName);
    result.printed = true;
    result.pages = writer.pages();
    result.lastEntry = writer.lastEntry();
    for (const CashBookLine& line : lines)
        if (line.month <= settings.lastMonth && line.date > result.lastEntry)
            result.lastEntry = line.date;
    return result;
}

std::string DATA_COMPLETA(const base::Date& date) {
    if (date.empty()) return "";
    return std::to_string(date.day()) + " de " + base::asciiLower(monthName(date.month())) +
           " de " + std::to_string(date.year());
}

namespace {

void NOME_IDEN(int& row, const TaxpayerIdentity& t) {
    printing::PrintOutput& out = printing::output();
    out.say(row, 5, base::padRight(t.name, 50));
    out.say(row, 57, "CPF nro " + t.cpf);
    row += 2;
    out.say(row, 5, t.address);
    row += 2;
    out.say(row, 5, t.postcode + "  " + t.municipality + " - " + t.state);
    row += 2;
    std::string phone = "TEL: (" + t.areaCode + ") " + t.phone;
    if (!t.fax.empty()) phone += "   FAX: " + t.fax;
    if (!t.email.empty()) phone += "   Email " + t.email;
    out.say(row, 5, phone);
    row += 13;
    out.say(row, 15, std::string(50, '_'));
    ++row;
    out.say(row, 15, t.name);
}

void term(bool closing, int page, int pages, const base::Date& lastEntry, Book book, int year,
          const TaxpayerIdentity& taxpayer) {
    printing::PrintOutput& out = printing::output();
    const std::string number = std::to_string(page);
    out.say(1, 5,
            "LIVRO CAIXA (Lei Numero 9.250/95 , art. 18)        Pag. " +
                std::string(number.size() < 3 ? 3 - number.size() : 0, '0') + number);
    out.say(2, 19, std::string(43, '-'));
    if (closing) out.say(3, 5, "Ultimo lancamento efetuado em " + DATA_COMPLETA(lastEntry));
    const std::string title = closing ? "T E R M O   D E   E N C E R R A M E N T O"
                                      : "T E R M O   D E   A B E R T U R A ";
    out.say(4, 23, title);
    out.say(5, 23, std::string(base::rtrim(title).size(), '-'));
    const std::string count = std::to_string(pages);
    int row = 15;
    out.say(
        row++, 5,
        "Este livro contem " + count + " folhas numeradas sequencialmente de 1 a " + count + " e");
    const std::string verb = closing ? "serviu" : "servira";
    out.say(
        row++, 5,
        verb + (book == Book::Rural
                    ? " para o lancamento das receitas e despesas na atividade rural,"
                    : " para o lancamento das receitas e despesas de trabalho nao assalariado,"));
    out.say(row++, 5,
            "no ano calendario " + std::to_string(year) +
                ", de que trata o artigo 18 da Lei numero 9.250/95,");
    out.say(row, 5, "do contribuinte abaixo identificado:");
    row += 3;
    NOME_IDEN(row, taxpayer);
}

}  // namespace

void ENCERRA(int pages, const base::Date& lastEntry, Book book, int year,
             const TaxpayerIdentity& taxpayer) {
    term(false, 1, pages, lastEntry, book, year, taxpayer);
    term(true, pages, pages, lastEntry, book, year, taxpayer);
}

}  // namespace kdx2::reports
