#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/date.h"
#include "store/table.h"
#include "tax/cash_book.h"

// The printed cash books of a taxpayer ("Livro Caixa Normal" of the
// non-salaried work, and the rural one) and the opening and closing terms
// that make a printed book the legal one. Everything goes to
// printing::output(); the balances and per-account totals are worked out in
// memory for the run, so two books printed at once on different terminals
// never mix.
namespace kdx2::reports {

// One line of a book: an income item of the book's kinds.
struct CashBookLine {
    base::Date date;
    int month = 0;
    std::string account;  // CDCONTA
    std::string description;
    double amount = 0;  // weighted by the property's participation in the rural book
    bool revenue = false;
};

enum class Book { Normal, Rural };

// The items of `cpf` in `income` that belong to the book, in order of date
// and account (record order within both); `shares` are the participations
// (percent) of the taxpayer's properties in table order, used to weight
// rural items unless the declaration is of the rural-entries kind.
std::vector<CashBookLine> cashBookLines(store::Table& income, const std::string& cpf, Book book,
                                        const std::vector<double>& shares, bool ruralDeclaration);
// The participations (I2_04) of the taxpayer's properties, in table order.
std::vector<double> propertyShares(store::Table& properties, const std::string& cpf);

struct CashBookSettings {
    Book book = Book::Normal;
    int firstMonth = 1;
    int lastMonth = 12;
    bool pagePerMonth = true;    // AVANCA_PAG
    bool dailyTotals = false;    // FECHA_DIA
    bool runningBalance = true;  // MOSTR_ACU
    bool earlierBalance = true;  // CALC_SALD: carry the months before the first
    bool monthHeader = true;     // false: rural book of totals only, or LCDPR entries
    int year = 0;
    std::string name;
};

struct CashBookResult {
    bool printed = false;
    int pages = 0;              // pages used, the opening term's included
    base::Date lastEntry;       // DULTLAN
    bool balancesOnly = false;  // the months asked had no entries
    bool abandoned = false;     // Esc stopped it; no balance of accounts, no terms
};

// The balance of accounts of the months asked: each account's total of
// the lines printed, in the column of its last line (revenue "C", expense
// "D"). Worked out from the printed lines, so that it adds up to them, and
// kept in memory, so that books printed at once never mix.
std::map<std::string, tax::AccountBalance> accountTotals(const std::vector<CashBookLine>& lines,
                                                         const CashBookSettings& settings);

// LIVRO_CX: the months asked, then the balance of accounts. `accountName`
// gives an account's description. Nothing is printed when there are no
// lines at all; a range without lines prints the balances carried into it.
CashBookResult LIVRO_CX(const std::vector<CashBookLine>& lines, const CashBookSettings& settings,
                        const std::function<std::string(const std::string&)>& accountName);

// The taxpayer block of the terms.
struct TaxpayerIdentity {
    std::string name;
    std::string cpf;  // eleven digits
    std::string address;
    std::string postcode;
    std::string municipality;
    std::string state;
    std::string areaCode;
    std::string phone;
    std::string fax;
    std::string email;
};

// "7 de dezembro de 2026".
std::string DATA_COMPLETA(const base::Date& date);

// The opening term on one page and the closing term on the next, for a
// book of `pages` pages (both terms included) whose last entry is
// `lastEntry`.
void ENCERRA(int pages, const base::Date& lastEntry, Book book, int year,
             const TaxpayerIdentity& taxpayer);

}  // namespace kdx2::reports
