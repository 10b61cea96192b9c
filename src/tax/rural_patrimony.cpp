#include "tax/rural_patrimony.h"

#include <algorithm>

#include "base/text.h"

namespace kdx2::tax {

namespace {

double cents(double value) {
    return base::roundDecimal(value, 2);
}

double sum(const std::array<double, 12>& months) {
    double total = 0;
    for (const double m : months)
        total += m;
    return cents(total);
}

}  // namespace

double RuralMonths::totalRevenue() const {
    return sum(revenue);
}

double RuralMonths::totalExpenses() const {
    return sum(expenses);
}

RuralMonths SOMA_RUR(const std::vector<RuralEntry>& entries,
                     const std::vector<double>& participation, bool digitalCashBook) {
    RuralMonths months;
    for (const RuralEntry& e : entries) {
        double factor = 1;
        const bool namesListedProperty =
            e.property > 0 && e.property <= static_cast<int>(participation.size());
        if (!digitalCashBook && namesListedProperty)
            factor = participation[static_cast<size_t>(e.property - 1)] / 100;
        // A date outside the year cannot come from the entry screen; it is
        // counted in January rather than outside the grid.
        const size_t month = static_cast<size_t>(std::clamp(e.month, 1, 12) - 1);
        auto& column = e.revenue ? months.revenue : months.expenses;
        column[month] = cents(column[month] + e.amount * factor);
    }
    return months;
}

void computeRuralResult(RuralResult& r, double revenue, double expenses) {
    r.I4_01 = cents(revenue);
    r.I4_02 = cents(expenses);
    r.I4_03 = cents(r.I4_01 - r.I4_02);
    if (r.OPTA) {
        r.I4_05 = 0;
        r.I4_06 = cents(r.I4_01 * 0.2);
        r.I5_08 = 0;
        r.I4_07 = r.I4_06;
    } else {
        if (r.I4_03 < r.I4_04) {
            r.I5_08 = cents(r.I4_04 - r.I4_03);
            r.I4_05 = std::max(0.0, cents(r.I4_04 - r.I5_08));
        } else {
            r.I5_08 = 0;
            r.I4_05 = r.I4_04;
        }
        r.I4_06 = std::max(0.0, cents(r.I4_03 - r.I4_05));
        r.I4_07 = r.I4_06;
    }
    r.PREJRUR = r.I4_03 < 0 ? -r.I4_03 : 0;
    r.I6_10 = std::max(0.0, cents((r.I4_03 + r.I5_09) - (r.I5_10 + r.I4_07)));
}

YearEndValues FI7_T(const std::vector<YearEndValues>& goods) {
    YearEndValues total;
    for (const YearEndValues& item : goods) {
        total.before += item.before;
        total.now += item.now;
    }
    total.before = cents(total.before);
    total.now = cents(total.now);
    return total;
}

YearEndValues FI8_T(const std::vector<YearEndValues>& debts) {
    return FI7_T(debts);
}

PatrimonyChange FI10_1(const YearEndValues& goods, const YearEndValues& debts) {
    PatrimonyChange c;
    c.VARPATR = cents((goods.now + debts.before) - (goods.before + debts.now));
    const double goodsChange = cents(goods.now - goods.before);
    const double debtsChange = cents(debts.now - debts.before);
    if (goodsChange >= 0 && debtsChange >= 0) {
        c.EMPRESTI = std::max(0.0, cents(debtsChange - goodsChange));
    } else if (goodsChange < 0 && debtsChange >= 0) {
        c.EMPRESTI = debtsChange;
        c.I10_2 = -goodsChange;
    } else if (goodsChange < 0) {
        c.I10_2 = std::max(0.0, cents(-goodsChange + debtsChange));
    }
    c.I10_1 = std::max(0.0, c.VARPATR);
    return c;
}

}  // namespace kdx2::tax
