#pragma once

#include <array>
#include <string>
#include <vector>

#include "importing/declaration.h"
#include "importing/line_reader.h"

// The export file of the tax authority's monthly carnê-leão program: the
// taxpayer (record 01), one line of six amounts per month (02) and one line
// per receipt from an individual (03). Read whole before anything is written.
namespace kdx2::importing {

// The six amounts of a month line, in the order the writer uses them.
enum MonthColumn {
    kRent = 0,
    kOtherIncome = 1,
    kAbroad = 2,
    kCashBookExpenses = 3,
    kSocialSecurity = 4,
    kTaxPaid = 5,
};
inline constexpr int kMonthColumns = 6;

struct Receipt {
    int day = 1;  // the older layout has no day: the 1st
    int month = 0;
    std::string payerCpf, beneficiaryCpf;
    double amount = 0;
};

struct CarneExport {
    enum class Outcome {
        Read,        // the 01 record and what follows were read (see damaged)
        Empty,       // no line at all
        NoTaxpayer,  // no readable 01 record where the layout puts it
    };
    Outcome outcome = Outcome::Empty;
    std::string typeKey;  // positions 1-8 of line 1 and the year
    int year = 0;         // base year, positions 11-14 of line 1; 0 when not a year
    std::string cpf;
    std::string name;          // Windows-1252, as in the file
    std::string occupation;    // CDPRO
    std::string registration;  // REGPROF
    // months[m][column]: month m = 0 (January) ... 11.
    std::array<std::array<double, kMonthColumns>, 12> months{};
    int monthsRead = 0;
    std::vector<Receipt> receipts;
    std::vector<Problem> damaged;
    std::vector<Problem> warnings;
};

// Line 1 is the 01 record itself when it begins so; otherwise line 2 is.
bool firstLineIsTaxpayer(std::string_view firstLine);

// Reads an export. The day of each receipt must exist in the file's base
// year; a month line after the twelfth is ignored.
CarneExport readCarneExport(LineReader& reader);

inline bool convertible(const CarneExport& c) {
    return c.outcome == CarneExport::Outcome::Read && c.damaged.empty();
}

}  // namespace kdx2::importing
