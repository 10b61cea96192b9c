#pragma once

#include <map>
#include <vector>

#include "tax/carne.h"

namespace kdx2::tax {

// ---- Payment codes of the payments made (I6_3) ----

inline bool isEducationCode(int code) {
    return code == 1 || code == 2;
}
inline bool isMedicalCode(int code) {
    return code >= 8 && code <= 26;
}
inline bool isPrivatePensionCode(int code) {
    return code == 36 || code == 38;
}
inline bool isIncentiveCode(int code) {
    return code >= 40 && code <= 43;
}
inline constexpr int kComplementaryCode = 69;  // complementary tax and tax paid abroad
inline constexpr int kIgnoredPaymentCode = 35;

// The payments of the declaration summed by kind (FDE_TUDO). Alimony (codes
// 30 to 34) is not here: the monthly grid keeps it (CarneLeao::DESPPEN, filled
// by RESOMA from the same payments), and the projection reads it there so
// that the typed-totals mode, whose deductions column already holds it, does
// not count it twice.
struct PaymentSums {
    Accumulator DESPESC;   // education (codes 1 and 2)
    Accumulator DESPMED;   // medical (8 to 26)
    Accumulator TPAGPPRI;  // private pension (36 and 38)
    Accumulator DESPINC;   // incentive donations (40 to 43)
    Accumulator DESPMEN;   // complementary payments and tax paid abroad (69)
    Accumulator DESPOUT;   // any other code but 35
    // Education by person: the annual amounts (I6_4) of the education
    // payments by the dependant number they belong to (I6_6, 0 the holder).
    std::map<int, double> educationByPerson;
    double educationTotal = 0;  // the sum of those annual amounts
    // Every expense: the dependants' deduction of the year, the "O" items and
    // the payments of codes up to 90 (TDESP_CR).
    double TDESP_CR = 0;
    bool DESPINST = false;  // an education payment with a positive annual amount
};

// FDE_TUDO: sums the payments. `otherItemsTotal` is the sum of the amounts
// (I1_413) of the income items of kind "O" and `dependantsYear` the
// dependants' deduction of the year (CALCDEP(13)); both only start TDESP_CR.
PaymentSums FDE_TUDO(const std::vector<PaymentItem>& payments, double otherItemsTotal,
                     double dependantsYear);

// ---- Limits of the annual deductions ----

// The yearly limit of the education expenses of one person.
double educationLimit(int year);

// The ceiling of the simplified discount of the annual adjustment.
double simplifiedDiscountCeiling(int year);

// PADRAO: the simplified discount of an annual income, 20 % of it up to the
// year's ceiling, in cents.
double PADRAO(int year, double income);

// FDEDU_LIVRO: the deductible education. One share per person (the holder and
// `persons` - 1 dependants or alimony beneficiaries, numbered 1 ...), each
// capped at the year's limit; a payment of a number outside them is the
// holder's.
double FDEDU_LIVRO(int year, const PaymentSums& sums, int persons);

// FDEDU_INCE: the incentive deduction, the donations up to 6 % of the tax.
double FDEDU_INCE(double donations, double tax);

// The limit the incentive donations may deduct from a tax.
double incentiveLimit(double tax);

}  // namespace kdx2::tax
