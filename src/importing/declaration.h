#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/date.h"
#include "importing/line_reader.h"

// The declaration files of the tax authority's annual return program, read
// into memory before anything is written: a file that cannot be read whole
// never leaves half a taxpayer behind. Texts stay in the files' code page
// (Windows-1252) here; the writer converts them.
namespace kdx2::importing {

// Something wrong with one line, for the user: the line number and a
// Portuguese (CP850) description.
struct Problem {
    uint64_t line = 0;
    std::string text;
};

// Line 1 of a declaration file.
struct DeclarationHeader {
    std::string typeKey;          // positions 1-12
    int year = 0;                 // 9-12; 0 when they are not a year
    std::string code;             // 17-20: "2421" final, "2420" leaving the country
    std::string receipt;          // 165-174: ten digits, or "" when there is none
    std::string previousReceipt;  // 204-213, likewise
};

// Record 16: who the taxpayer is.
struct Identification {
    std::string cpf, name, streetType, street, number, complement, district, postalCode;
    bool abroad = false;
    std::string municipalityCode, municipality, state, embassy, email, nit, spouseCpf;
    std::string areaCode, telephone;
    base::Date birth;
    std::string voterTitle, occupation, occupationNature, bank, agency, account;
    std::string mobileAreaCode, mobile;
};

struct Payer {  // record 21
    std::string number, name;
};

struct Dependant {  // record 25
    int relation = 0;
    std::string name;
    base::Date birth;
    std::string cpf;
};

struct Payment {  // record 26
    int code = 0;
    int number = 0;
    std::string document, name;
};

struct AlimonyBeneficiary {  // record 35
    int relation = 99;       // 99, or 98 when the current layout says so
    std::string name;
    base::Date birth;  // current layout only
    std::string cpf;   // current layout only
};

struct RuralProperty {  // record 50
    bool abroad = false;
    std::string registration, name, location;
    double area = 0;
    double participation = 0;
    int condition = 0;
    int activity = 0;
};

struct RuralResult {        // record 52
    double result = 0;      // I4_04
    double nonTaxable = 0;  // I5_10
};

struct Declaration {
    enum class Outcome {
        Read,            // identification and records read (see damaged)
        Empty,           // no line at all
        LayoutMismatch,  // line 2 is not a record 16
    };
    Outcome outcome = Outcome::Empty;
    DeclarationHeader header;
    bool previousLayout = false;  // a file of the year before the tax year
    Identification person;
    std::vector<Payer> payers;
    std::vector<Dependant> dependants;
    std::vector<Payment> payments;
    std::vector<AlimonyBeneficiary> alimony;
    std::vector<RuralProperty> properties;
    std::optional<RuralResult> ruralResult;
    // Lines skipped because they are damaged or hold impossible values: the
    // taxpayer is then not converted.
    std::vector<Problem> damaged;
    // Values kept as they are but worth the user's look (a receipt number
    // that is not one).
    std::vector<Problem> warnings;
};

// Reads a declaration file whose base year should be `taxYear` or the year
// before it (the older year selects the previous layout of record 35).
Declaration readDeclaration(LineReader& reader, int taxYear);

// Whether the declaration's records follow on line 2 as record 16.
inline bool convertible(const Declaration& d) {
    return d.outcome == Declaration::Outcome::Read && d.damaged.empty();
}

}  // namespace kdx2::importing
