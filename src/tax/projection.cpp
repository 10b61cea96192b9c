#include "tax/projection.h"

#include <algorithm>

#include "base/cp850.h"
#include "base/text.h"
#include "tax/amount_text.h"
#include "tax/engine.h"
#include "tax/rates.h"

namespace kdx2::tax {

using namespace base::literals;

namespace {

double cents(double value) {
    return base::roundDecimal(value, 2);
}

constexpr int kSummaryWidth = 14;

// Rows of the summary.
enum Row {
    kHolderCompanies = 1,
    kDependantCompanies = 2,
    kIndividuals = 3,
    kAbroad = 4,
    kRural = 5,
    kIncome = 6,
    kSocialSecurity = 7,
    kPrivatePension = 8,
    kDependants = 9,
    kCashBook = 10,
    kAlimony = 11,
    kMonthlyDeductions = 12,
    kMedical = 13,
    kEducation = 14,
    kSubtotal = 15,
    kAnnualDeductions = 16,
    kSimplified = 17,
    kBase = 18,
    kTax = 19,
    kIncentives = 20,
    kTaxDue = 21,
    kHolderWithheld = 22,
    kDependantWithheld = 23,
    kCarnePaid = 24,
    kComplementaryPaid = 25,
    kBalance = 26,
    kCarneDue = 27,
    kSuggested = 28,
    kCapitalGains = 29,
    kVariableIncome = 30,
};

// The 2004 annual adjustment let each company income above 500.00 a year
// (100.00 a month from August) count that much less.
constexpr int kAllowanceYear = 2004;

bool secondMethod(const ProjectionSettings& settings) {
    return base::alltrim(settings.QUALMENS) == "2";
}

// The progressive tax of the year, 0 for a year without a table.
double taxOf(int year, int divisor, double taxBase, int month, double income) {
    return progressiveTax(year, divisor, taxBase, month, income).value_or(0.0);
}

void addGroup(Accumulator& to, const Accumulator& from) {
    for (int element = 1; element <= Accumulator::kYear; ++element)
        to[element] += from[element];
}

// Rows 14 and 20 name their limits only in the summary printed from the main
// menu (command 1); the declaration keeps the labels it opened with.
constexpr int kLimitLabelsCommand = 1;

void labelEducation(Summary& summary, const ProjectionSettings& settings, double deductible,
                    double spent) {
    if (settings.OPCAO_1 != kLimitLabelsCommand) return;
    if (deductible == 0)
        summary.labels[kEducation] = "Sem abatimento c/instrucao ";
    else if (spent > deductible)
        summary.labels[kEducation] = "Despesas c/instrucao=LIMITE";
    else
        summary.labels[kEducation] = "Despesas com instrucao     ";
}

void labelIncentives(Summary& summary, const ProjectionSettings& settings, double donations,
                     double tax) {
    const bool printed = settings.OPCAO_1 == kLimitLabelsCommand;
    if (summary.simplified) {
        summary.labels[kIncentives] = printed ? "Deducao incentivos         " : "Ded.de Incentivo";
        return;
    }
    if (!printed) return;
    summary.labels[kIncentives] = donations > incentiveLimit(tax)
                                      ? "Deduçoes incentivos  LIMITE"_cp
                                      : "Deduçoes de incentivos     "_cp;
}

// Rows 22 to 25 of a period (0 the year, whose element is 13); the tax paid,
// the dependants' withheld tax counted as their income is.
double setTaxPaid(Summary& summary, int period, const CarneLeao& carne,
                  const ProjectionFigures& figures) {
    const int element = period == Summary::kYear ? Accumulator::kYear : period;
    summary.set(kHolderWithheld, period, figures.company.TIMPJUR[element]);
    summary.set(kDependantWithheld, period, figures.company.TIMPDEP[element]);
    summary.set(kCarnePaid, period, carne.TPAGLEO[element]);
    summary.set(kComplementaryPaid, period, figures.payments.DESPMEN[element]);
    double paid = 0;
    for (int row = kHolderWithheld; row <= kComplementaryPaid; ++row)
        paid += summary.amount(row, period);
    return cents(paid);
}

}  // namespace

// ---- Income from companies ----

CompanyIncome SOMA_JUR(const std::vector<CompanyItem>& items) {
    CompanyIncome sums;
    for (const CompanyItem& item : items) {
        const std::string kind = base::asciiUpper(base::alltrim(item.kind));
        const bool holder = kind == "J";
        if (!holder && kind != "D") continue;
        if (!holder) {
            sums.I3_13T += item.I1_9;
            sums.I4_06T += item.I1_10;
        }
        addGroup(sums.TLUCRO, item.profits);
        addGroup(holder ? sums.TRECJUR : sums.TRECDEP, item.income);
        addGroup(holder ? sums.TIMPJUR : sums.TIMPDEP, item.withheld);
        addGroup(holder ? sums.TPAGPREV : sums.TPAGPD, item.socialSecurity);
        addGroup(holder ? sums.T13RO : sums.T13ROD, item.thirteenth);
    }
    sums.I4_01T = sums.T13RO[Accumulator::kYear];
    sums.I3_05T = sums.TLUCRO[Accumulator::kYear];
    sums.I4_06T += sums.T13ROD[Accumulator::kYear];
    return sums;
}

// ---- The summary ----

double Summary::amount(int row, int period) const {
    const SummaryCell& cell = cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(period));
    return cell.kind == SummaryCell::Kind::Amount ? cell.value : 0.0;
}

std::string Summary::text(int row, int period) const {
    const SummaryCell& cell = cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(period));
    switch (cell.kind) {
        case SummaryCell::Kind::Amount:
            return formatAmount(cell.value, kSummaryPicture);
        case SummaryCell::Kind::Separator:
            return std::string(kSummaryWidth, '-');
        case SummaryCell::Kind::Blank:
            break;
    }
    return std::string(kSummaryWidth, ' ');
}

Summary::Grid Summary::grid() const {
    Grid shown;
    for (auto& row : shown)
        row.fill(std::string(kSummaryWidth, ' '));
    shown[0][0].clear();  // row 0 is not used; it stays as a new grid has it
    for (int row = 1; row <= kRows; ++row) {
        auto& line = shown[static_cast<size_t>(row)];
        line[0] = labels[static_cast<size_t>(row)];
        for (int period = 0; period <= 12; ++period)
            line[static_cast<size_t>(period + 1)] = text(row, period);
    }
    return shown;
}

void Summary::set(int row, int period, double value) {
    value = cents(value);
    if (value == 0) value = 0;  // no "-0,00" from a difference rounded away
    cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(period)) = {SummaryCell::Kind::Amount,
                                                                          value};
}

void Summary::separate(int row, int period) {
    cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(period)) = {
        SummaryCell::Kind::Separator, 0};
}

std::array<std::string, Summary::kRows + 1> summaryLabels(const std::string& QUALMENS) {
    static const char* const kLabels[] = {
        "Rec. P.Jurídicas (Titular) ", "Rec. P.Jurídicas (Depend.) ",
        "Recebido de P. Físicas     ", "Recebido no exterior       ",
        "Resultado atividade rural  ", "Total .....................",
        "Previ.Oficial (Tit+Depend) ", "Previdência Privada/FAPI   ",
        "Dependentes                ", "Despesas em Livro Caixa    ",
        "Pensão judicial            ", "TOTAL das DEDUCOES (MENSAL)",
        "Despesas médicas /hospital ", "Despesas com instrução     ",
        "Subtotal...................", "TOTAL das DEDUÇOES (ANUAL) ",
        "Desconto simplificado (20%)", "Base de cálculo            ",
        "Imposto                    ", "Deduçoes de incentivos     ",
        "IMPOSTO DEVIDO.............", "Imposto retido (Titular)   ",
        "Imposto retido (Dependente)", "Carnê Leão pago            ",
        "Mensalão+Imp.Exterior pago ", "Saldo .....................",
        "Carnê Leão devido          ", "Mensalão/Poupança sugerido ",
        "Imposto s/ganho de capital ", "Imposto s/renda variável   "};
    std::array<std::string, Summary::kRows + 1> labels;
    for (size_t row = 0; row < std::size(kLabels); ++row)
        labels[row + 1] = base::cp850::fromUtf8(kLabels[row]);
    if (base::alltrim(QUALMENS) == "2") labels[kSuggested] = "Mensalão a recolher........"_cp;
    return labels;
}

int projectionMonths(int QMEDIA) {
    return std::clamp(QMEDIA, 1, 12);
}

double dependantsDeduction(int year, int dependants, int month) {
    const double amount = dependantMonthlyAmount(year, month);
    return cents(dependants * amount * (month == Accumulator::kYear ? 12 : 1));
}

double VE_DESCONTOS(const CarneLeao& carne, const CompanyIncome& company, int year, int month) {
    return carne.DESPPEN[month] + carne.TPAGPRE[month] + company.TPAGPREV[month] +
           company.TPAGPD[month] + dependantsDeduction(year, carne.N_DEPEN, month) +
           carne.TPAGLCX[month];
}

double VE_ABATE(const CarneLeao& carne, int year, int month) {
    return carne.DESPPEN[month] + carne.TPAGPRE[month] + carne.TPAGLCX[month] +
           dependantsDeduction(year, carne.N_DEPEN, month);
}

// ---- The projected year ----

void CAL_ANUAL(Summary& summary, const CarneLeao& carne, const ProjectionFigures& figures,
               const ProjectionSettings& settings) {
    constexpr int Y = Summary::kYear;
    constexpr int T = Accumulator::kYear;
    const int year = settings.QUEANO;
    const CompanyIncome& company = figures.company;
    const PaymentSums& payments = figures.payments;
    const double factor = 12.0 / projectionMonths(settings.QMEDIA);
    auto projected = [factor](double amount) { return cents(amount * factor); };

    // Income.
    summary.set(kHolderCompanies, Y, projected(company.TRECJUR[T]));
    summary.set(kDependantCompanies, Y, projected(company.TRECDEP[T]));
    summary.set(kIndividuals, Y, projected(carne.TRECFIS[T]));
    summary.set(kAbroad, Y, projected(carne.TRECEXT[T]));
    summary.set(kRural, Y, projected(std::max(0.0, figures.I4_06)));
    double income = 0;
    for (int row = kHolderCompanies; row <= kRural; ++row)
        income += summary.amount(row, Y);
    summary.set(kIncome, Y, income);
    income = summary.amount(kIncome, Y);
    const double gross = income;

    // Legal deductions: the dependants' social security counts with their
    // income.
    summary.set(kSocialSecurity, Y,
                projected(carne.TPAGPRE[T] + company.TPAGPREV[T] + company.TPAGPD[T]));
    summary.set(kPrivatePension, Y,
                std::min(projected(payments.TPAGPPRI[T]), cents(income * 0.12)));
    summary.set(kDependants, Y, dependantsDeduction(year, carne.N_DEPEN, T));
    summary.set(kCashBook, Y, projected(carne.TPAGLCX[T]));
    summary.set(kAlimony, Y, projected(carne.DESPPEN[T]));
    summary.separate(kMonthlyDeductions, Y);
    summary.set(kMedical, Y, projected(payments.DESPMED[T]));
    const double education = FDEDU_LIVRO(year, payments, 1 + carne.N_DEPEN + carne.DESPALIM);
    summary.set(kEducation, Y, education);
    labelEducation(summary, settings, education, payments.educationTotal);
    double deductions = 0;
    for (int row :
         {kSocialSecurity, kPrivatePension, kDependants, kCashBook, kAlimony, kMedical, kEducation})
        deductions += summary.amount(row, Y);
    summary.set(kSubtotal, Y, deductions);
    summary.set(kAnnualDeductions, Y, deductions);
    deductions = summary.amount(kAnnualDeductions, Y);

    // The simplified discount replaces the deductions when it is larger; on a
    // tie the deductions stay, and with them the incentive deduction.
    const double simplified = PADRAO(year, income);
    summary.set(kSimplified, Y, simplified);
    summary.simplified = simplified > deductions;
    if (summary.simplified) deductions = simplified;

    if (year == kAllowanceYear) {
        constexpr double kAllowance = 500.00;
        if (summary.amount(kHolderCompanies, Y) > kAllowance) income -= kAllowance;
        if (summary.amount(kDependantCompanies, Y) > kAllowance) income -= kAllowance;
    }

    // Tax.
    summary.set(kBase, Y, std::max(0.0, income - deductions));
    const double taxBase = summary.amount(kBase, Y);
    const double tax = taxOf(year, 1, taxBase, 12, gross);
    summary.set(kTax, Y, tax);
    const double donations = payments.DESPINC[T];
    const double incentives = summary.simplified ? 0.0 : FDEDU_INCE(donations, tax);
    summary.set(kIncentives, Y, incentives);
    labelIncentives(summary, settings, donations, tax);
    const double taxDue = cents(tax - incentives);
    summary.set(kTaxDue, Y, taxDue);

    // What was withheld and paid is not projected.
    const double paid = setTaxPaid(summary, Y, carne, figures);

    summary.set(kBalance, Y, taxDue - paid);
    const MonthlyGrid& grid = carne.REC_MENSAL;
    summary.set(kCarneDue, Y,
                grid.amount(MonthlyGrid::kTotalRow, MonthlyGrid::kTaxDue) -
                    grid.amount(MonthlyGrid::kTotalRow, MonthlyGrid::kTaxPaid));
    summary.set(kSuggested, Y,
                std::max(0.0, summary.amount(kBalance, Y) - summary.amount(kCarneDue, Y)));
    summary.set(kCapitalGains, Y, figures.IMPOGAN[T]);
    summary.set(kVariableIncome, Y, figures.IMPDEVRV[T]);
    summary.I9_3 = cents(taxBase + figures.I3_14T + figures.I4_07T - paid);
}

// ---- One month ----

void CAL_PARTE(Summary& summary, int m, const CarneLeao& carne, const ProjectionFigures& figures,
               const ProjectionSettings& settings) {
    const int year = settings.QUEANO;
    const CompanyIncome& company = figures.company;
    const PaymentSums& payments = figures.payments;

    summary.set(kHolderCompanies, m, company.TRECJUR[m]);
    summary.set(kDependantCompanies, m, company.TRECDEP[m]);
    summary.set(kIndividuals, m, carne.TRECFIS[m]);
    summary.set(kAbroad, m, carne.TRECEXT[m]);
    summary.separate(kRural, m);
    summary.set(kIncome, m,
                company.TRECJUR[m] + company.TRECDEP[m] + carne.TRECFIS[m] + carne.TRECEXT[m]);
    double income = summary.amount(kIncome, m);
    const double gross = income;

    summary.set(kSocialSecurity, m, carne.TPAGPRE[m] + company.TPAGPD[m] + company.TPAGPREV[m]);
    summary.set(kPrivatePension, m, payments.TPAGPPRI[m]);
    summary.set(kDependants, m, dependantsDeduction(year, carne.N_DEPEN, m));
    summary.set(kCashBook, m, carne.TPAGLCX[m]);
    summary.set(kAlimony, m, carne.DESPPEN[m]);
    summary.set(kMonthlyDeductions, m, VE_DESCONTOS(carne, company, year, m));
    summary.set(kMedical, m, payments.DESPMED[m]);
    summary.set(kEducation, m, payments.DESPESC[m]);
    summary.separate(kSubtotal, m);
    summary.separate(kAnnualDeductions, m);
    summary.cells[kSimplified][static_cast<size_t>(m)] = {};

    if (year == kAllowanceYear && m > 7) {
        constexpr double kAllowance = 100.00;
        if (company.TRECJUR[m] > kAllowance) income -= kAllowance;
        if (company.TRECDEP[m] > kAllowance) income -= kAllowance;
    }

    summary.set(kBase, m, std::max(0.0, income - summary.amount(kMonthlyDeductions, m)));
    const double tax = taxOf(year, 12, summary.amount(kBase, m), m, gross);
    summary.set(kTax, m, tax);
    summary.set(kIncentives, m, payments.DESPINC[m]);
    summary.set(kTaxDue, m, tax);
    summary.set(kBalance, m, tax - setTaxPaid(summary, m, carne, figures));

    // The carnê-leão of the month on income from individuals and from abroad,
    // as the monthly grid taxes it.
    const double carneIncome = carne.TRECFIS[m] + carne.TRECEXT[m];
    const double carneBase = std::max(0.0, carneIncome - VE_ABATE(carne, year, m));
    summary.set(kCarneDue, m, taxOf(year, 12, carneBase, m, carneIncome) - carne.TPAGLEO[m]);

    if (secondMethod(settings)) {
        summary.set(kSuggested, m,
                    std::max(0.0, summary.amount(kBalance, m) - summary.amount(kCarneDue, m) -
                                      summary.amount(kMedical, m)));
    } else {
        summary.set(kSuggested, m, MOSTRA_SUGES(summary, m, settings));
    }
    summary.set(kCapitalGains, m, figures.IMPOGAN[m]);
    summary.set(kVariableIncome, m, figures.IMPDEVRV[m]);
}

// ---- The complementary payment ----

double VE_QUOT_MENS(const Summary& summary, const PaymentSums& payments,
                    const ProjectionSettings& settings) {
    const int current = std::clamp(settings.MES_ATU, 1, 12);
    // The months already paid come from the payments themselves, not from
    // the month columns, which are filled after the quota.
    int paidMonths = 0;
    for (int month = current; month <= 12; ++month)
        if (cents(payments.DESPMEN[month]) != 0) ++paidMonths;
    const int remaining = std::max(1, 13 - current - paidMonths);
    return cents(std::max(0.0, summary.amount(kSuggested, Summary::kYear)) / remaining);
}

double MOSTRA_SUGES(const Summary& summary, int month, const ProjectionSettings& settings) {
    const double paid = summary.amount(kComplementaryPaid, month);
    if (month < settings.MES_ATU || paid != 0) return paid;
    return summary.quota;
}

std::string MOSTMEDIA(int months) {
    months = projectionMonths(months);
    if (months == 12) return std::string(54, '\xC4');  // a rule of "─"
    const std::string count = (months < 10 ? "0" : "") + std::to_string(months);
    return "O valor anual esta projetado com a média de "_cp + count +
           (months == 1 ? " mês  "_cp : " meses");
}

Summary CALCULA_TUDO(const CarneLeao& carne, const ProjectionFigures& figures,
                     ProjectionSettings settings) {
    settings.QMEDIA = projectionMonths(settings.QMEDIA);
    Summary summary;
    summary.labels = summaryLabels(settings.QUALMENS);
    CAL_ANUAL(summary, carne, figures, settings);
    if (!secondMethod(settings)) summary.quota = VE_QUOT_MENS(summary, figures.payments, settings);
    for (int month = 1; month <= 12; ++month)
        CAL_PARTE(summary, month, carne, figures, settings);
    summary.note = MOSTMEDIA(settings.QMEDIA);
    return summary;
}

}  // namespace kdx2::tax
