#include "tax/limits.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/cp850.h"
#include "common/messages.h"
#include "tax/amount_text.h"
#include "tax/rates.h"

namespace kdx2::tax {

using namespace base::literals;

namespace {

constexpr int kRetired = 8;

// A yes/no question in a window of `rows` text rows; the answer letter.
char ask(const std::vector<std::string>& lines, int rows) {
    common::MensOptions options;
    options.column = common::MensColumn::centred();
    options.lines = rows;
    options.answers = "SN";
    const std::string answer = common::MENS(2, common::MessageLines(lines), options).text();
    return answer.empty() ? 0 : answer[0];
}

void inform(const std::vector<std::string>& lines) {
    common::MensOptions options;
    options.column = common::MensColumn::centred();
    options.lines = static_cast<int>(lines.size());
    common::MENS(1, common::MessageLines(lines), options);
}

bool isNo(char answer) {
    return answer == 'N' || answer == 'n';
}

bool isYes(char answer) {
    return answer == 'S' || answer == 's';
}

}  // namespace

LimitContext limitContext(const base::NamedValues& working) {
    LimitContext context;
    context.year = base::session().integer("QUEANO");
    context.NASCIMENTO = working.date("NASCIMENTO");
    context.NATUREZA = working.integer("NATUREZA");
    return context;
}

double VER_LIMIT(double value, int line, int month, const LimitContext& context) {
    switch (line) {
        case 2:
            return LIMIT3(value);
        case 5:
            return LIMIT1(value, month, context);
        case 6:
            return LIMIT2(value, context);
        default:
            return value;
    }
}

double LIMIT3(double value) {
    if (value <= kSmallGoodsLimit) return value;
    const char answer = ask(
        {"ATENÇAO! O valor limite para alienação"_cp, "de bens de pequenos valores nesse mês "_cp,
         "é de R$ "_cp + formatAmount(kSmallGoodsLimit, kLimitPicture) + std::string(16, ' '),
         "       Lança o limite?        "_cp},
        4);
    return isYes(answer) ? kSmallGoodsLimit : value;
}

double LIMIT2(double value, const LimitContext& context) {
    if (value == 0) return 0;
    if (context.NATUREZA == kRetired) return value;
    const char answer =
        ask({"ATENÇAO! Esse campo só pode ser usado"_cp, "  por aposentados ou reformados !!   ",
             " Usa mesmo fora dessas condições?    "_cp},
            3);
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
        const char answer = ask({"ATENÇÃO! Esse campo só deve ser usado por aposentados "
                                 "maiores de 65 anos   Usa mesmo fora dessas condições?    "_cp},
                                2);
        if (isNo(answer)) return 0;
    }
    const double monthly = exemptPensionMonthlyLimit(context.year, month);
    const double limit = month == 12 ? 12 * monthly : monthly;
    if (value <= limit) return value;
    inform({"O limite para esse mês é de "_cp,
            "     R$ " + formatAmount(limit, kLimitPicture) + std::string(3, ' ')});
    return limit;
}

}  // namespace kdx2::tax
