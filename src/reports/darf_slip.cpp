#include "reports/darf_slip.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "reports/darf_calendar.h"
#include "ui/picture.h"

namespace kdx2::reports {

namespace {

std::string padded(const std::string& text) {
    return base::padRight(text, kTextWidth);
}

std::string twoDigitYear(int year) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", year % 100);
    return text;
}

std::string digitsOf(const std::string& text) {
    std::string digits;
    for (char ch : text)
        if (ch >= '0' && ch <= '9') digits += ch;
    return digits;
}

std::string line(const char* label, double amount) {
    return padded(std::string(label) + slipAmount(amount));
}

void fillCarneLines(DarfSlip& slip, int taxYear, int month) {
    const std::string monthYear = monthAbbreviation(month) + "/" + twoDigitYear(taxYear);
    if (slip.IMPREC_REAL == 0) {
        slip.DF_OUTR[0] = line("Rendimentos....... R$ ", slip.REND_REAL);
        slip.DF_OUTR[1] = line("Livro Caixa....... R$ ", slip.LCAX_REAL);
        slip.DF_OUTR[2] = line("Deducoes.......... R$ ", slip.DEDU_REAL);
        slip.DF_OUTR[3] = line("Imposto........... R$ ", slip.IMPO_REAL);
        slip.title() = padded("Carne Leao do mes de " + monthYear + std::string(6, ' '));
    } else {
        slip.DF_OUTR[1] = line("Valor Devido...... R$ ", slip.IMPDEV_REAL);
        slip.DF_OUTR[2] = line("V. Recolhido...... R$ ", slip.IMPREC_REAL);
        slip.DF_OUTR[3] = line("Diferenca......... R$ ", slip.IMPO_REAL);
        slip.title() = padded("Pago a menor no C.Leao de " + monthYear);
    }
}

}  // namespace

MonthFigures monthFigures(const tax::MonthlyGrid& grid, int month) {
    using G = tax::MonthlyGrid;
    MonthFigures figures;
    if (month < 1 || month > 12) return figures;
    figures.income = grid.amount(month, G::kIndividuals);
    figures.cashBook = grid.amount(month, G::kCashBook);
    figures.deductions = grid.amount(month, G::kDeductions);
    figures.paid = grid.amount(month, G::kTaxPaid);
    figures.due = grid.amount(month, G::kTaxDue);
    return figures;
}

double carnePrincipal(const MonthFigures& figures) {
    return std::max(0.0, base::roundDecimal(figures.due - figures.paid, 2));
}

void loadCarneMonth(DarfSlip& slip, const MonthFigures& figures, int taxYear, int month) {
    slip.IMPDEV_REAL = figures.due;
    slip.IMPREC_REAL = figures.paid;
    slip.IMPO_REAL = carnePrincipal(figures);
    slip.REND_REAL = figures.income;
    slip.LCAX_REAL = figures.cashBook;
    slip.DEDU_REAL = figures.deductions;
    slip.DF_VCTO = ULTIMO_DIA(taxYear, month, 2);
}

void loadComplementaryMonth(DarfSlip& slip, double suggested, int taxYear, int month) {
    slip.IMPO_REAL = std::max(0.0, base::roundDecimal(suggested, 2));
    slip.IMPDEV_REAL = 0;
    slip.IMPREC_REAL = 0;
    slip.DF_VCTO = ULTIMO_DIA(taxYear, month, 1);
    slip.DF_PGTO = slip.DF_VCTO;
}

void PREENCHE(DarfSlip& slip, int taxYear, int month) {
    for (int i = 0; i < 4; ++i)
        slip.DF_OUTR[static_cast<size_t>(i)] = std::string(kTextWidth, ' ');
    if (slip.QUEDARF == kOther) return;
    slip.title() = std::string(kTextWidth, ' ');
    slip.DF_PERIODO = MES_ANTER(taxYear, month);
    if (slip.QUEDARF == kCarneLeao) {
        slip.DF_CODIG = kCarneLeaoCode;
        fillCarneLines(slip, taxYear, month);
    } else {
        slip.DF_CODIG = kComplementaryCode;
        slip.DF_OUTR[2] = line("Imposto........... R$ ", slip.IMPO_REAL);
        slip.title() = padded("Pagto de Imposto complementar ");
    }
}

std::string twoDigits(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", number);
    return text;
}

std::string monthAbbreviation(int month) {
    static const char* const kNames[] = {"Jan", "Fev", "Mar", "Abr", "Mai", "Jun",
                                         "Jul", "Ago", "Set", "Out", "Nov", "Dez"};
    if (month < 1 || month > 12) return "   ";
    return kNames[month - 1];
}

std::string slipAmount(double amount) {
    return ui::transform(base::Value(amount), kAmountPicture).text();
}

std::string slipPhone(const std::string& phone) {
    const std::string digits = digitsOf(phone);
    if (digits.size() < 5) return digits;
    return digits.substr(0, digits.size() - 4) + "-" + digits.substr(digits.size() - 4);
}

std::string slipCpf(const std::string& cpf) {
    return ui::transform(base::Value(digitsOf(cpf)), "@R 999.999.999-99").text();
}

std::string slipDocumentName(const DarfSlip& slip) {
    static const char* const kKinds[] = {"CLeao", "Mensa", "Outro"};
    const int kind = std::clamp(slip.QUEDARF, 1, 3);
    std::string when;
    if (slip.QUEDARF == kCarneLeao && slip.QUANTDARF == 2)
        when = " do mes " + twoDigits(slip.MES_PGTO) + " ate " + twoDigits(slip.MES_FINAL);
    else if (!slip.DF_PERIODO.empty())
        when = twoDigits(slip.DF_PERIODO.month()) + "-" + std::to_string(slip.DF_PERIODO.year());
    const std::string name = base::alltrim(slip.NOMECONTR);
    const size_t firstEnd = name.find(' ');
    const size_t lastStart = name.rfind(' ');
    const std::string words = firstEnd == std::string::npos
                                  ? name
                                  : name.substr(0, firstEnd) + " " + name.substr(lastStart + 1);
    return "Darf " + std::string(kKinds[kind - 1]) + " - " + when + " - " + words;
}

}  // namespace kdx2::reports
