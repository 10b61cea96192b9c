#pragma once

#include <array>
#include <string>

#include "base/date.h"
#include "tax/carne.h"

// The fields of a payment slip (DARF) and how a month of the carnê-leão
// grid fills them. Free of screens and tables.
namespace kdx2::reports {

// What the slip is for.
enum SlipKind {
    kCarneLeao = 1,      // the month's carnê-leão ("C.Leão", code 0190)
    kComplementary = 2,  // the suggested complementary payment ("Mensalão", 0246)
    kOther = 3,          // any other federal tax, typed in ("Outros")
};

inline constexpr const char* kCarneLeaoCode = "0190";
inline constexpr const char* kComplementaryCode = "0246";
inline constexpr int kTextWidth = 35;  // description, title and name lines
inline constexpr const char* kAmountPicture = "@Ez 99,999,999.99";

// The slip fields, kept between the slips of a run (a kind-3 slip starts
// from the last values typed).
struct DarfSlip {
    int QUEDARF = kCarneLeao;
    int QUANTDARF = 1;  // 1 only the month asked, 2 a range of months
    int MES_PGTO = 1;   // first month
    int MES_FINAL = 1;  // last month of a range

    base::Date DF_PERIODO;  // assessment period
    base::Date DF_PGTO;     // payment date
    base::Date DF_VCTO;     // due date
    base::Date PROX_UTIL;   // first business day after the due date (shown only)
    std::string DF_CODIG = kCarneLeaoCode;
    std::string DF_REFER;  // reference number (kind 3)
    std::string DF_PROCS;  // process number (kind 3)
    double DF_JURO = 0;    // interest rate, percent
    double DF_MULTA = 0;   // fine rate, percent
    // DF_OUTR1 ... DF_OUTR4 the description lines, DF_OUTR5 the title line.
    std::array<std::string, 5> DF_OUTR{};

    double IMPO_REAL = 0;    // principal
    double IMPDEV_REAL = 0;  // tax due of the month (kind 1)
    double IMPREC_REAL = 0;  // tax already paid of the month (kind 1)
    double REND_REAL = 0;    // income of the month
    double LCAX_REAL = 0;    // cash-book expenses of the month
    double DEDU_REAL = 0;    // deductions of the month
    double VAL_MULTA = 0;
    double VAL_JURO = 0;
    double VAL_TOTAL = 0;

    std::string CPF;        // the taxpayer's (kinds 1 and 2), digits only
    std::string QUALCPF;    // the payer's CPF or CNPJ as typed (kind 3)
    std::string NOMECONTR;  // name printed on the slip
    std::string TELEFO;     // phone printed on the slip, digits

    std::string& title() { return DF_OUTR[4]; }
    const std::string& title() const { return DF_OUTR[4]; }
};

// The figures of one month of the monthly grid that the slip reads.
struct MonthFigures {
    double income = 0;      // column 2
    double cashBook = 0;    // column 4
    double deductions = 0;  // column 5
    double paid = 0;        // column 6
    double due = 0;         // column 7
};
MonthFigures monthFigures(const tax::MonthlyGrid& grid, int month);

// The principal of a carnê-leão month: what is due and not yet paid, never
// below 0.
double carnePrincipal(const MonthFigures& figures);

// Fills principal, due and paid, the month's figures and the due date of a
// carnê-leão month of `taxYear`.
void loadCarneMonth(DarfSlip& slip, const MonthFigures& figures, int taxYear, int month);
// Fills principal and due date of a complementary payment; it is paid on
// its due date.
void loadComplementaryMonth(DarfSlip& slip, double suggested, int taxYear, int month);

// PREENCHE: revenue code, period and text lines of the month for kinds 1
// and 2; kind 3 only clears the description lines, keeping its title.
void PREENCHE(DarfSlip& slip, int taxYear, int month);

// A month or day as two digits ("05").
std::string twoDigits(int number);
// "Jan" ... "Dez": the month abbreviations of the slip's titles.
std::string monthAbbreviation(int month);
// An amount as the slip prints it ("@Ez 99,999,999.99").
std::string slipAmount(double amount);
// The phone as printed: "99999-9999" or "9999-9999" from its digits.
std::string slipPhone(const std::string& phone);
// The CPF as printed: "999.999.999-99".
std::string slipCpf(const std::string& cpf);

// The name under which a finished slip is printed: "Darf CLeao - 11-2025 -
// JOAO SILVA" (kind, months or period, first and last word of the name).
std::string slipDocumentName(const DarfSlip& slip);

}  // namespace kdx2::reports
