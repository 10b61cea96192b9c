#include "tax/rates.h"

namespace kdx2::tax {

namespace {

// The usual four-rate table (7.5 %, 15 %, 22.5 %, 27.5 %) from its limits and
// deductions.
TaxTable fourRates(double l1, double l2, double l3, double l4, double a1, double a2, double a3,
                   double a4, TaxRounding rounding = TaxRounding::Round, double discount = 0) {
    TaxTable table;
    table.bands = {{l1, 0, 0, 0},
                   {l2, 0.075, a1, 0},
                   {l3, 0.15, a2, 0},
                   {l4, 0.225, a3, 0},
                   {0, 0.275, a4, 0}};
    table.rounding = rounding;
    table.monthlyDiscount = discount;
    return table;
}

// The two-rate tables of 1998 to 2008: exempt, 15 % and 27.5 %.
TaxTable twoRates(double exempt, double deduction15, double upTo15, double deduction27) {
    TaxTable table;
    table.bands = {{exempt, 0, 0, 0}, {upTo15, 0.15, deduction15, 0}, {0, 0.275, deduction27, 0}};
    return table;
}

TaxTable table2009() {
    return fourRates(17215.08, 25800.00, 34400.40, 42984.00, 1291.08, 3226.08, 5806.08, 7955.28);
}
TaxTable table2010() {
    return fourRates(17989.80, 26961.00, 35948.40, 44918.28, 1349.24, 3371.31, 6067.44, 8313.35);
}
// The 15 % band ends at 3130.51 a month (37566.12 a year), where the 22.5 %
// formula meets it; the table stays continuous at every limit.
TaxTable tableApril2011() {
    return fourRates(18799.32, 28174.20, 37566.12, 46939.56, 1409.95, 3523.01, 6340.47, 8687.45);
}
TaxTable table2012() {
    return fourRates(19645.32, 29442.00, 39256.56, 49051.80, 1473.40, 3681.55, 6625.79, 9078.38);
}
TaxTable table2013() {
    return fourRates(20529.36, 30766.92, 41023.08, 51259.08, 1539.70, 3847.22, 6923.95, 9486.91);
}
TaxTable table2014() {
    return fourRates(21453.24, 32151.48, 42869.16, 53565.72, 1608.99, 4020.35, 7235.54, 9913.83);
}
TaxTable tableApril2015() {
    return fourRates(22847.76, 33919.80, 45012.60, 55976.16, 1713.60, 4257.60, 7633.56, 10432.32);
}
TaxTable tableMay2023(double discount) {
    return fourRates(25344.12, 33919.80, 45012.60, 55976.16, 1900.80, 4444.80, 7820.76, 10619.52,
                     TaxRounding::Round, discount);
}
TaxTable tableFebruary2024(TaxRounding rounding) {
    return fourRates(27110.40, 33919.92, 45012.66, 55976.16, 2033.28, 4577.28, 7953.24, 10752.00,
                     rounding, 564.80);
}
// In force from May 2025 and kept for 2026. The 7.5 % deduction is 7.5 % of
// the exemption limit (2185.92), which keeps the tax continuous at the limit.
TaxTable tableMay2025() {
    return fourRates(29145.60, 33919.80, 45012.60, 55976.16, 2185.92, 4729.92, 8105.88, 10904.76,
                     TaxRounding::Truncate, 607.20);
}

// Tables before 2009: the law changed within 2006 only.
std::optional<TaxTable> tableBefore2009(int year, int month) {
    if (year == 2008) return twoRates(16473.72, 2471.04, 32919.00, 6585.84);
    if (year == 2007) return twoRates(15764.28, 2364.60, 31501.44, 6302.28);
    if (year == 2005 || (year == 2006 && month == 1))
        return twoRates(13968.00, 2095.20, 27912.00, 5584.20);
    if (year == 2006) return twoRates(15085.44, 2262.84, 30144.96, 6030.96);
    if (year >= 2002) return twoRates(12696.00, 1904.40, 25380.00, 5076.96);
    if (year >= 1998) return twoRates(10800.00, 1620.00, 21600.00, 4320.00);
    TaxTable table;
    if (year >= 1996) {
        table.bands = {{10800.00, 0, 0, 0}, {21600.00, 0.15, 0, 10800.00}, {0, 0.25, 0, 15120.00}};
        return table;
    }
    if (year == 1995) {
        table.bands = {{12000.00, 0, 0, 0},
                       {23400.00, 0.15, 0, 12000.00},
                       {216000.00, 0.266, 0, 16980.00},
                       {0, 0.35, 0, 64740.00}};
        return table;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TaxTable> taxTableFor(int year, int month) {
    switch (year) {
        case 2026:
            // The reduction for lower incomes is applied around this table by
            // the engine; the table itself is the one of May 2025.
            return tableMay2025();
        case 2025:
            if (month <= 4) return tableFebruary2024(TaxRounding::Truncate);
            return tableMay2025();
        case 2024:
            if (month == 1) return tableMay2023(528.00);
            return tableFebruary2024(TaxRounding::Round);
        case 2023:
            if (month <= 4) return tableApril2015();
            return tableMay2023(528.00);
        case 2015:
            if (month <= 3) return table2014();
            return tableApril2015();
        case 2014:
            return table2014();
        case 2013:
            return table2013();
        case 2012:
            return table2012();
        case 2011:
            if (month <= 3) return table2010();
            return tableApril2011();
        case 2010:
            return table2010();
        case 2009:
            return table2009();
        default:
            break;
    }
    // 2016 to 2022 and the years after the last known table keep the table of
    // April 2015.
    if (year >= 2016) return tableApril2015();
    return tableBefore2009(year, month);
}

// The annual adjustment uses the table the Receita Federal publishes for each
// ano-calendário: the sum of the monthly tables in force in its months (Lei
// 11.482/2007, art. 1º, parágrafo único), with deductions worked out on the
// annual limits so that the tax is continuous at each. Where the monthly table
// changed during the year the limits are month-weighted, and even where it did
// not the published deductions differ by cents from twelve monthly ones, so
// the tables are typed as published, not derived from the monthly ones. The
// year in each comment is the ano-calendário (the declaration is filed the
// year after).
std::optional<TaxTable> annualTaxTable(int year) {
    switch (year) {
        case 2026:
            // The table of May 2025 for the whole year (Lei 15.191/2025); the
            // reduction for lower incomes (Lei 15.270/2025) is applied around
            // it by the engine.
            return fourRates(29145.60, 33919.80, 45012.60, 55976.16, 2185.92, 4729.91, 8105.85,
                             10904.66, TaxRounding::Truncate);
        case 2025:
            // 4 x 2259.20 (Lei 14.848/2024, January to April) + 8 x 2428.80
            // (Lei 15.191/2025, from May).
            return fourRates(28467.20, 33919.80, 45012.60, 55976.16, 2135.04, 4679.03, 8054.97,
                             10853.78, TaxRounding::Truncate);
        case 2024:
            // 1 x 2112.00 (Lei 14.663/2023, January) + 11 x 2259.20 (Lei
            // 14.848/2024, from February).
            return fourRates(26963.20, 33919.80, 45012.60, 55976.16, 2022.24, 4566.23, 7942.17,
                             10740.98);
        case 2023:
            // 4 x 1903.98 (Lei 13.149/2015, January to April) + 8 x 2112.00
            // (Lei 14.663/2023, from May).
            return fourRates(24511.92, 33919.80, 45012.60, 55976.16, 1838.39, 4382.38, 7758.32,
                             10557.13);
        case 2015:
            // 3 months of the 2014 table (Lei 12.469/2011) + 9 of the table of
            // April 2015 (Lei 13.149/2015): 3 x 1787.77 + 9 x 1903.98.
            return fourRates(22499.13, 33477.72, 44476.74, 55373.55, 1687.43, 4198.26, 7534.02,
                             10302.70);
        // 2010 to 2014: the tables the monthly computation divides by twelve
        // are these years' published annual ones.
        case 2014:  // Lei 12.469/2011
            return table2014();
        case 2013:  // Lei 12.469/2011
            return table2013();
        case 2012:  // Lei 12.469/2011
            return table2012();
        case 2011:
            // Lei 12.469/2011 set this table for the whole ano-calendário,
            // though withholding used it from April only: the published annual
            // table is twelve times it (18,799.32), not month-weighted.
            return tableApril2011();
        case 2010:  // Lei 11.945/2009
            return table2010();
        case 2009:
            // Lei 11.945/2009. The monthly deductions are rounded to the cent
            // (107.59 ...); the annual ones are worked out on the annual limits.
            return fourRates(17215.08, 25800.00, 34400.40, 42984.00, 1291.13, 3226.13, 5806.16,
                             7955.36);
        case 2008:  // Lei 11.482/2007
            return twoRates(16473.72, 2471.06, 32919.00, 6585.93);
        case 2007:  // Lei 11.482/2007
            return twoRates(15764.28, 2364.64, 31501.44, 6302.32);
        case 2006:
            // 1 x 1164.00 (Lei 11.119/2005, January) + 11 x 1257.12 (Lei
            // 11.311/2006, from February).
            return twoRates(14992.32, 2248.85, 29958.88, 5993.71);
        case 2005:  // Lei 11.119/2005
            return twoRates(13968.00, 2095.20, 27912.00, 5584.20);
        default:
            break;
    }
    // Lei 13.149/2015: no change from 2016 to 2022; later years keep it as
    // their monthly computation does.
    if (year >= 2016)
        return fourRates(22847.76, 33919.80, 45012.60, 55976.16, 1713.58, 4257.57, 7633.51,
                         10432.32);
    // Lei 10.451/2002.
    if (year >= 2002) return twoRates(12696.00, 1904.40, 25380.00, 5076.90);
    // 1996 to 2001 (Lei 9.250/1995, Lei 9.532/1997): the annual tables are
    // exactly twelve times the monthly ones. 1995 (Lei 8.981/1995, in UFIR)
    // keeps twelve times its monthly table too, lacking a published copy of
    // its annual one to check against.
    return tableBefore2009(year, 13);
}

double dependantMonthlyAmount(int year, int month) {
    if (year >= 2016) return 189.59;
    switch (year) {
        case 2015:
            return month <= 3 ? 179.71 : 189.59;
        case 2014:
            return 179.71;
        case 2013:
            return 171.97;
        case 2012:
            return 164.56;
        case 2011:
            return month <= 3 ? 150.69 : 157.47;
        case 2010:
            return 150.69;
        case 2009:
            return 144.20;
        case 2008:
            return 137.99;
        case 2007:
            return 132.05;
        case 2006:
            return month == 1 ? 117.00 : 126.36;
        case 2005:
        case 2004:
            return 117.00;
        case 2003:
        case 2002:
            return 106.00;
        default:
            return 90.00;
    }
}

double exemptPensionMonthlyLimit(int year, int month) {
    if (year >= 2025) return 2275.08;
    if (year >= 2016) return 1903.78;
    switch (year) {
        case 2015:
            return month <= 3 ? 1787.77 : 1903.78;
        case 2014:
            return 1787.77;
        case 2013:
            return 1710.78;
        case 2012:
            return 1637.11;
        case 2011:
            return 1566.61;
        case 2010:
            return 1499.15;
        case 2009:
            return 1434.57;
        case 2008:
            return 1372.81;
        case 2007:
            return 1313.69;
        case 2006:
            return month == 1 ? 1164.00 : 1257.12;
        case 2005:
            return 1164.00;
        case 2004:
        case 2003:
        case 2002:
            return 1058.00;
        default:
            return 957.00;
    }
}

}  // namespace kdx2::tax
