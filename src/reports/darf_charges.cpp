#include "reports/darf_charges.h"

#include <algorithm>

#include "base/text.h"
#include "common/numbers.h"
#include "reports/darf_calendar.h"

namespace kdx2::reports {

namespace {

constexpr double kFinePerDay = 0.33;
constexpr double kFineCap = 20;
constexpr double kPaymentMonthRate = 1;
constexpr int kFirstSelicYear = 1995;
constexpr int kAmountWidth = 15;

int keyYear(int key) {
    return key / 100;
}

int keyMonth(int key) {
    return key % 100;
}

// Before SELIC: 1 % for every month from the due month to the payment month.
double monthsLate(const base::Date& due, const base::Date& payment) {
    const int years = payment.year() > due.year() ? payment.year() - due.year() : 0;
    return 12.0 * years + (payment.month() - due.month());
}

}  // namespace

int yearMonth(const base::Date& date) {
    return date.empty() ? 0 : date.year() * 100 + date.month();
}

int nextYearMonth(int key) {
    return keyMonth(key) >= 12 ? (keyYear(key) + 1) * 100 + 1 : key + 1;
}

double fineRate(const base::Date& due, const base::Date& payment) {
    if (due.empty() || payment.empty() || payment <= due) return 0;
    const double rate = base::roundDecimal(kFinePerDay * (payment - due), 2);
    return std::min(rate, kFineCap);
}

InterestRate ACHAJURO(const base::Date& due, const base::Date& payment, const SelicTable& selic) {
    InterestRate result;
    if (due.empty() || payment.empty() || payment <= due) return result;
    if (due.year() < kFirstSelicYear) {
        result.rate = monthsLate(due, payment) * kPaymentMonthRate;
        return result;
    }
    const int dueKey = yearMonth(due);
    const int paymentKey = yearMonth(payment);
    const int last = selic.lastMonth();
    result.ranOffEnd = selic.empty() || last < paymentKey || !selic.rates.contains(dueKey);
    if (paymentKey == dueKey) return result;

    double sum = kPaymentMonthRate;
    for (int key = nextYearMonth(dueKey); key < paymentKey; key = nextYearMonth(key)) {
        const auto found = selic.rates.find(key);
        if (found != selic.rates.end())
            sum += found->second;
        else if (key < last)
            result.gaps.push_back(key);
    }
    result.rate = base::roundDecimal(sum, 2);
    return result;
}

Staleness selicStaleness(const SelicTable& selic, const base::Date& today) {
    if (selic.empty()) return Staleness::OlderYear;
    const int reference = yearMonth(today.plusDays(-30));
    const int last = selic.lastMonth();
    if (keyYear(last) < keyYear(reference)) return Staleness::OlderYear;
    if (keyYear(last) == keyYear(reference) && keyMonth(last) < keyMonth(reference))
        return Staleness::OlderMonth;
    return Staleness::Current;
}

Charges chargesOf(double principal, double fineRate, double interestRate) {
    Charges charges;
    charges.fine = common::DESPREZA(fineRate * principal / 100, kAmountWidth);
    charges.interest = common::DESPREZA(interestRate * principal / 100, kAmountWidth);
    charges.total = base::roundDecimal(principal + charges.fine + charges.interest, 2);
    return charges;
}

Validity validityOf(const base::Date& due, const base::Date& payment, double fineRate) {
    if (due > payment) return {"ate", due};
    if (fineRate >= kFineCap && !payment.empty())
        return {"ate", ULTIMO_DIA(payment.year(), payment.month(), 1)};
    return {"dia", payment};
}

}  // namespace kdx2::reports
