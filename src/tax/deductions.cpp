#include "tax/deductions.h"

#include <algorithm>

#include "base/text.h"

namespace kdx2::tax {

namespace {

double cents(double value) {
    return base::roundDecimal(value, 2);
}

// The accumulator of a payment code, or null for alimony (kept by the monthly
// grid) and the ignored code.
Accumulator* accumulatorOfCode(PaymentSums& sums, int code) {
    if (isEducationCode(code)) return &sums.DESPESC;
    if (isMedicalCode(code)) return &sums.DESPMED;
    if (isAlimonyCode(code)) return nullptr;
    if (isPrivatePensionCode(code)) return &sums.TPAGPPRI;
    if (isIncentiveCode(code)) return &sums.DESPINC;
    if (code == kComplementaryCode) return &sums.DESPMEN;
    if (code == kIgnoredPaymentCode) return nullptr;
    return &sums.DESPOUT;
}

constexpr int kLastExpenseCode = 90;

}  // namespace

PaymentSums FDE_TUDO(const std::vector<PaymentItem>& payments, double otherItemsTotal,
                     double dependantsYear) {
    PaymentSums sums;
    sums.TDESP_CR = dependantsYear + otherItemsTotal;
    for (const PaymentItem& payment : payments) {
        if (payment.code == kIgnoredPaymentCode) continue;
        Accumulator* accumulator = accumulatorOfCode(sums, payment.code);
        for (int month = 1; month <= 12; ++month) {
            const double amount = payment.monthly[month - 1];
            if (accumulator) accumulator->add(month, amount);
            if (payment.code <= kLastExpenseCode) sums.TDESP_CR += amount;
        }
        if (isEducationCode(payment.code)) {
            sums.educationByPerson[payment.dependant] += payment.annual;
            sums.educationTotal += payment.annual;
            if (payment.annual > 0) sums.DESPINST = true;
        }
    }
    return sums;
}

// Lei 9.250/1995, art. 8º, II, b, as amended by Lei 11.482/2007, Lei
// 12.469/2011 and Lei 13.149/2015 (2014: 3,375.83). Earlier years: Lei
// 9.250/1995 (1,700.00), Lei 10.451/2002 (1,998.00), Lei 11.119/2005 and Lei
// 11.311/2006.
double educationLimit(int year) {
    if (year >= 2015) return 3561.50;
    switch (year) {
        case 2014:
            return 3375.83;
        case 2013:
            return 3230.46;
        case 2012:
            return 3091.35;
        case 2011:
            return 2958.23;
        case 2010:
            return 2830.84;
        case 2009:
            return 2708.94;
        case 2008:
            return 2592.29;
        case 2007:
            return 2480.66;
        case 2006:
            return 2373.84;
        case 2005:
            return 2198.00;
        default:
            return year >= 2002 ? 1998.00 : 1700.00;
    }
}

// Lei 9.250/1995, art. 10, as amended by Lei 11.482/2007, Lei 12.469/2011
// and Lei 13.149/2015: 16,754.34 from 2015 on; Lei 15.270/2025 (published
// 27 November 2025) raised it to 17,640.00 from the calendar year 2026.
double simplifiedDiscountCeiling(int year) {
    if (year >= 2026) return 17640.00;
    if (year >= 2015) return 16754.34;
    switch (year) {
        case 2014:
            return 15880.89;
        case 2013:
            return 15197.02;
        case 2012:
            return 14542.60;
        case 2011:
            return 13916.36;
        case 2010:
            return 13317.09;
        case 2009:
            return 12743.63;
        case 2008:
            return 12194.86;
        case 2007:
            return 11669.72;
        case 2006:
            return 11167.20;
        case 2005:
            return 10340.00;
        default:
            return 9400.00;
    }
}

double PADRAO(int year, double income) {
    return std::min(cents(std::max(0.0, income) * 0.20), simplifiedDiscountCeiling(year));
}

double FDEDU_LIVRO(int year, const PaymentSums& sums, int persons) {
    const double limit = educationLimit(year);
    std::map<int, double> shares;
    for (const auto& [person, amount] : sums.educationByPerson) {
        const bool known = person >= 1 && person < persons;
        shares[known ? person : 0] += amount;
    }
    double total = 0;
    for (const auto& [person, amount] : shares)
        total += std::clamp(amount, 0.0, limit);
    return cents(total);
}

double incentiveLimit(double tax) {
    return std::max(0.0, cents(tax * 0.06));
}

double FDEDU_INCE(double donations, double tax) {
    return std::min(donations, incentiveLimit(tax));
}

}  // namespace kdx2::tax
