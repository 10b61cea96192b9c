#include "tax/limits.h"

#include <algorithm>

#include "base/cp850.h"
#include "tax/amount_text.h"
#include "tax/rates.h"

namespace kdx2::tax {

using namespace base::literals;

namespace {

constexpr int kRetired = 8;

char ask(const LimitContext& context, const std::vector<std::string>& lines) {
    return context.ask ? context.ask(lines) : 0;
}

void inform(const LimitContext& context, const std::vector<std::string>& lines) {
    if (context.inform) context.inform(lines);
}

bool isNo(char answer) {
    return answer == 'N' || answer == 'n';
}

bool isYes(char answer) {
    return answer == 'S' || answer == 's';
}

}  // namespace

double VER_LIMIT(double value, int line, int month, const LimitContext& context) {
    switch (line) {
        case 2:
            return LIMIT3(value, context);
        case 5:
            return LIMIT1(value, month, context);
        case 6:
            return LIMIT2(value, context);
        default:
            return value;
    }
}

double LIMIT3(double value, const LimitContext& context) {
    if (value <= kSmallGoodsLimit) return value;
    const char answer = ask(
        context,
        {"ATENÇAO! O valor limite para alienação"_cp, "de bens de pequenos valores nesse mês "_cp,
         "é de R$ "_cp + formatAmount(kSmallGoodsLimit, kLimitPicture) + std::string(16, ' '),
         "       Lança o limite?        "_cp});
    return isYes(answer) ? kSmallGoodsLimit : value;
}

double LIMIT2(double value, const LimitContext& context) {
    if (value == 0) return 0;
    if (context.NATUREZA == kRetired) return value;
    const char answer = ask(context, {"ATENÇAO! Esse campo só pode ser usado"_cp,
                                      "  por aposentados ou reformados !!   ",
                                      " Usa mesmo fora dessas condições?    "_cp});
    return isNo(answer) ? 0 : value;
}

bool APONS(int month, const LimitContext& context) {
    if (month == 13) return true;
    if (context.NATUREZA != kRetired) return false;
    // An unknown date of birth cannot show the age: the user is asked instead.
    if (context.NASCIMENTO.empty()) return false;
    // The age counts at the start of the following month; December is
    // measured at its own start, as the year ends with it.
    const int lastMonth = std::clamp(month == 12 ? 11 : month, 1, 11);
    const std::optional<base::Date> reference = base::Date::fromYmd(context.year, lastMonth + 1, 1);
    if (!reference) return false;
    return (*reference - context.NASCIMENTO) / 365.25 > 65;
}

double LIMIT1(double value, int month, const LimitContext& context) {
    if (value == 0) return 0;
    if (!APONS(month, context)) {
        const char answer =
            ask(context, {"ATENÇÃO! Esse campo só deve ser usado por aposentados "
                          "maiores de 65 anos   Usa mesmo fora dessas condições?    "_cp});
        if (isNo(answer)) return 0;
    }
    const double monthly = exemptPensionMonthlyLimit(context.year, month);
    const double limit = month == 12 ? 12 * monthly : monthly;
    if (value <= limit) return value;
    inform(context, {"O limite para esse mês é de "_cp,
                     "     R$ " + formatAmount(limit, kLimitPicture) + std::string(3, ' ')});
    return limit;
}

}  // namespace kdx2::tax
