#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/date.h"

// What a late payment costs: the fine and the SELIC interest of the slip.
// Pure functions of their arguments, so every figure can be checked by hand.
namespace kdx2::reports {

// "YYYYMM" as a number (202511), the key of the SELIC rates.
int yearMonth(const base::Date& date);
int nextYearMonth(int key);

// The monthly SELIC rates (percent) the slip reads, by year and month, as
// they were found in the rate table.
struct SelicTable {
    std::map<int, double> rates;
    // Why the table could not be read whole ("" when it could).
    std::string problem;

    bool empty() const { return rates.empty(); }
    // The last month the table has, 0 when empty.
    int lastMonth() const { return rates.empty() ? 0 : rates.rbegin()->first; }
};

// The late-payment fine rate in percent: 0.33 a day late, at most 20, also
// across a year end; 0 when not late.
double fineRate(const base::Date& due, const base::Date& payment);

// ACHAJURO: the interest rate in percent of a payment after its due date:
// the SELIC rates of the months after the due month and before the payment
// month, plus 1 for the payment month; nothing when paid within the due
// month. Due dates before 1995 bear 1 a month instead.
struct InterestRate {
    double rate = 0;
    // Months the sum needed that the table lacks although it has later ones.
    std::vector<int> gaps;
    // The table has no month from the payment month on (or lacks the due
    // month): it may be out of date.
    bool ranOffEnd = false;
};
InterestRate ACHAJURO(const base::Date& due, const base::Date& payment, const SelicTable& selic);

// How out of date the table is once the interest ran off its end, against
// the month 30 days before today.
enum class Staleness { Current, OlderMonth, OlderYear };
Staleness selicStaleness(const SelicTable& selic, const base::Date& today);

// CALCJU's amounts: fine and interest truncated to the cent, the total.
struct Charges {
    double fine = 0;
    double interest = 0;
    double total = 0;
};
Charges chargesOf(double principal, double fineRate, double interestRate);

// The slip's "Valido p/ pagamento" line: "ate" the due date while not late;
// "ate" the last business day of the payment month once the fine is at its
// 20 % cap (the amounts no longer grow within that month); otherwise "dia"
// the payment date.
struct Validity {
    std::string word;  // "ate" or "dia"
    base::Date date;
};
Validity validityOf(const base::Date& due, const base::Date& payment, double fineRate);

}  // namespace kdx2::reports
