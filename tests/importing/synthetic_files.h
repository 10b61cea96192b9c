#pragma once

// Synthetic input files for the import tests, built from the record layouts
// of the declaration files and carnê-leão exports (positions counted from
// 1): every record kind the import reads, both layouts of the alimony and
// receipt records, the three line ends, and names in Windows-1252. Only the
// standard library, so the whole-program tests and benchmarks can use it.

#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kdx2::test_import {

// ---- Small helpers ----------------------------------------------------------

// Nine digits completed with the two CPF check digits.
inline std::string validCpf(const std::string& nine) {
    std::string cpf = nine;
    for (int round = 0; round < 2; ++round) {
        int sum = 0;
        const int length = static_cast<int>(cpf.size());
        for (int i = 0; i < length; ++i)
            sum += (cpf[static_cast<size_t>(i)] - '0') * (length + 1 - i);
        const int digit = 11 - sum % 11;
        cpf += static_cast<char>('0' + (digit > 9 ? 0 : digit));
    }
    return cpf;
}

// The n-th CPF of a test (valid check digits).
inline std::string personCpf(int n) {
    char nine[16];
    std::snprintf(nine, sizeof nine, "%09d", 100000000 + n * 7919 % 899999999);
    return validCpf(nine);
}

// The same CPF with its last check digit wrong.
inline std::string wrongCpf(const std::string& cpf) {
    std::string wrong = cpf;
    wrong.back() = static_cast<char>('0' + (cpf.back() - '0' + 1) % 10);
    return wrong;
}

// UTF-8 text in Windows-1252 (the characters of Latin-1 and a few more).
inline std::string windows1252(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t code = lead;
        size_t length = 1;
        if (lead >= 0xE0) {
            code = ((lead & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            length = 3;
        } else if (lead >= 0xC0) {
            code = ((lead & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            length = 2;
        }
        i += length;
        if (code == 0x2019)
            out.push_back('\x92');  // right single quotation mark
        else if (code == 0x2013)
            out.push_back('\x96');  // en dash
        else
            out.push_back(code < 0x100 ? static_cast<char>(code) : '?');
    }
    return out;
}

// A fixed-position record: blanks, with fields put at 1-based positions.
class Record {
  public:
    Record(const std::string& type, size_t length) : text_(length, ' ') { put(1, type); }
    Record& put(size_t position, const std::string& value) {
        if (text_.size() < position - 1 + value.size())
            text_.resize(position - 1 + value.size(), ' ');
        text_.replace(position - 1, value.size(), value);
        return *this;
    }
    // Text padded or cut to `width`.
    Record& text(size_t position, const std::string& value, size_t width) {
        std::string field = value.substr(0, width);
        field.resize(width, ' ');
        return put(position, field);
    }
    // An unsigned number of `width` digits with leading zeros.
    Record& digits(size_t position, long long value, size_t width) {
        std::string number = std::to_string(value);
        if (number.size() < width) number.insert(0, width - number.size(), '0');
        return put(position, number.substr(number.size() - width));
    }
    // An amount with two implied decimals.
    Record& amount(size_t position, double value, size_t width = 13) {
        return digits(position, static_cast<long long>(value * 100 + 0.5), width);
    }
    const std::string& str() const { return text_; }

  private:
    std::string text_;
};

enum class LineEnd { Lf, CrLf, Nul };

inline std::string joined(const std::vector<std::string>& lines, LineEnd end) {
    const std::string terminator = end == LineEnd::Lf     ? "\n"
                                   : end == LineEnd::CrLf ? "\r\n"
                                                          : std::string(1, '\0');
    std::string out;
    for (const std::string& line : lines)
        out += line + terminator;
    return out;
}

// ---- Declarations -----------------------------------------------------------

struct PersonData {
    std::string cpf;
    std::string name;  // UTF-8
    std::string streetType = "RUA";
    std::string street = "DAS FLORES";
    std::string number = "120";
    std::string complement = "APTO 3";
    std::string district = "CENTRO";
    std::string postalCode = "01234567";
    bool abroad = false;
    std::string municipalityCode = "7107";
    std::string municipality = "SÃO PAULO";
    std::string state = "SP";
    std::string email = "pessoa@exemplo.com.br";
    std::string nit = "";
    std::string spouseCpf = "";
    std::string areaCode = "0011";
    std::string telephone = "987654321";
    std::string birth = "15031970";  // ddmmyyyy
    std::string voterTitle = "";
    std::string occupation = "212";
    std::string nature = "11";
    std::string bank = "001";
    std::string agency = "1234";
    std::string account = "123456";
    std::string mobileAreaCode = "11";
    std::string mobile = "912345678";
};

struct PayerData {
    std::string number;  // CNPJ (14) or CPF (11)
    std::string name;
};

struct DependantData {
    int relation = 21;
    std::string name;
    std::string birth = "01012010";
    std::string cpf;
    int numberInFile = 7;  // whatever the file says; the import renumbers
};

struct PaymentData {
    int code = 10;
    int number = 0;
    std::string document;
    std::string name;
};

struct AlimonyData {
    bool courtOrder = true;  // position 14 "0" (code 99) or other (98)
    std::string name;
    std::string birth = "02022012";
    std::string cpf;
};

struct PropertyData {
    bool inBrazil = true;
    std::string registration = "12345678";
    std::string name;
    std::string location = "ESTRADA VELHA KM 4";
    double areaTenths = 1234;  // area in tenths of a hectare
    int participationCents = 10000;
    int condition = 1;
    int activity = 1;
};

struct DeclarationData {
    int year = 2024;
    std::string identification = "IRPF    ";  // positions 1-8
    std::string code = "0000";                // 17-20
    std::string receipt = "1234567890";
    std::string previousReceipt = "0987654321";
    PersonData person;
    std::vector<PayerData> payers;
    std::vector<DependantData> dependants;
    std::vector<PaymentData> payments;
    std::vector<AlimonyData> alimony;
    std::vector<PropertyData> properties;
    std::optional<std::array<double, 2>> ruralResult;
    int fillerLines = 0;  // lines of types read and skipped (27, 32, ...)
    bool capitalGains = true;
    LineEnd lineEnd = LineEnd::CrLf;
    bool previousLayout = false;  // record 35 of the year before
};

inline std::string declarationHeader(const DeclarationData& d) {
    Record r(d.identification.substr(0, 8), 220);
    r.digits(9, d.year, 4).put(17, d.code).put(165, d.receipt).put(204, d.previousReceipt);
    return r.str();
}

inline std::string identificationRecord(const PersonData& p) {
    Record r("16", 500);
    r.put(3, p.cpf)
        .text(14, windows1252(p.name), 53)
        .text(74, windows1252(p.streetType), 15)
        .text(89, windows1252(p.street), 37)
        .text(129, windows1252(p.number), 6)
        .text(135, windows1252(p.complement), 21)
        .text(156, windows1252(p.district), 19)
        .text(175, p.postalCode, 8)
        .put(183, p.abroad ? "1" : "0")
        .text(184, p.municipalityCode, 4)
        .text(188, windows1252(p.municipality), 30)
        .text(228, p.state, 2)
        .text(236, p.email, 40)
        .text(326, p.nit, 11)
        .text(337, p.spouseCpf, 11)
        .text(348, p.areaCode, 4)
        .text(352, p.telephone, 9)
        .text(361, p.birth, 8)
        .text(369, p.voterTitle, 13)
        .text(382, p.occupation, 3)
        .text(385, p.nature, 2)
        .text(404, p.bank, 3)
        .text(407, p.agency, 4)
        .text(413, p.account, 15)
        .text(486, p.mobileAreaCode, 2)
        .text(488, p.mobile, 9);
    return r.str();
}

inline std::vector<std::string> declarationLines(const DeclarationData& d) {
    std::vector<std::string> lines{declarationHeader(d), identificationRecord(d.person)};
    const std::string& cpf = d.person.cpf;
    auto filler = [&](const char* type) { lines.push_back(Record(type, 80).put(3, cpf).str()); };
    for (const char* type : {"17", "18", "19", "20"})
        filler(type);
    for (const PayerData& p : d.payers)
        lines.push_back(Record("21", 100)
                            .put(3, cpf)
                            .text(14, p.number, 14)
                            .text(28, windows1252(p.name), 60)
                            .str());
    for (const char* type : {"22", "23", "24"})
        filler(type);
    for (const DependantData& dep : d.dependants)
        lines.push_back(Record("25", 110)
                            .put(3, cpf)
                            .digits(14, dep.numberInFile, 5)
                            .digits(19, dep.relation, 2)
                            .text(21, windows1252(dep.name), 40)
                            .text(81, dep.birth, 8)
                            .text(89, dep.cpf, 11)
                            .str());
    for (const PaymentData& p : d.payments)
        lines.push_back(Record("26", 90)
                            .put(3, cpf)
                            .digits(14, p.code, 2)
                            .digits(16, p.number, 5)
                            .text(21, p.document, 14)
                            .text(35, windows1252(p.name), 50)
                            .str());
    // Assets: any number of lines, read and skipped.
    for (int i = 0; i < d.fillerLines; ++i)
        lines.push_back(Record("27", 120).put(3, cpf).digits(14, i, 5).str());
    for (const char* type : {"28", "30", "31", "32", "33", "34"})
        filler(type);
    for (const AlimonyData& a : d.alimony) {
        if (d.previousLayout)
            lines.push_back(Record("35", 60).put(3, cpf).text(19, windows1252(a.name), 40).str());
        else
            lines.push_back(Record("35", 100)
                                .put(3, cpf)
                                .put(14, a.courtOrder ? "0" : "1")
                                .text(20, windows1252(a.name), 40)
                                .text(80, a.birth, 8)
                                .text(88, a.cpf, 11)
                                .str());
    }
    for (const char* type : {"36", "40", "41"})
        filler(type);
    for (const PropertyData& p : d.properties)
        lines.push_back(Record("50", 160)
                            .put(3, cpf)
                            .put(14, p.inBrazil ? "0" : "1")
                            .text(15, p.registration, 8)
                            .text(23, windows1252(p.name), 60)
                            .text(83, windows1252(p.location), 55)
                            .digits(138, static_cast<long long>(p.areaTenths), 10)
                            .digits(148, p.participationCents, 5)
                            .digits(153, p.condition, 1)
                            .digits(154, p.activity, 2)
                            .str());
    filler("51");
    if (d.ruralResult)
        lines.push_back(Record("52", 140)
                            .put(3, cpf)
                            .amount(106, (*d.ruralResult)[0])
                            .amount(119, (*d.ruralResult)[1])
                            .str());
    for (const char* type : {"53", "54", "55"})
        filler(type);
    if (d.capitalGains)
        for (const char* type : {"60", "61", "62", "63", "65", "66", "67", "68", "69"})
            filler(type);
    // The trailer of the file: a type out of the order ends the reading.
    lines.push_back(Record("T9", 40).put(3, cpf).str());
    return lines;
}

inline std::string declarationFile(const DeclarationData& d) {
    return joined(declarationLines(d), d.lineEnd);
}

// A declaration with a bit of everything: payers, three dependants, payments
// (one of code 0, skipped), alimony, a rural property and result. A file of
// the year before the tax year has the previous layout.
inline DeclarationData fullDeclaration(int n, int year, int taxYear) {
    DeclarationData d;
    d.year = year;
    d.previousLayout = year < taxYear;
    d.person.cpf = personCpf(n);
    d.person.name = "JOÃO DA CONCEIÇÃO " + std::to_string(n);
    d.payers = {{"11222333000181", "EMPRESA ÁGUA LIMPA LTDA"},
                {personCpf(1000 + n), "JOSÉ PAGADOR"}};
    d.dependants = {{21, "MARIA ANTÔNIA", "01012010", personCpf(2000 + n), 9},
                    {22, "PEDRO", "15062012", "", 4},
                    {31, "ANA", "00000000", "", 2}};
    d.payments = {{10, 0, "11222333000181", "HOSPITAL SÃO LUCAS"},
                  {1, 1, personCpf(3000 + n), "ESCOLA"},
                  {0, 0, "", "IGNORADO"}};
    d.alimony = {{true, "LUÍSA", "03032011", personCpf(4000 + n)}};
    d.properties = {{true, "87654321", "SÍTIO BOA VISTA", "ESTRADA VELHA KM 4", 1234, 5000, 1, 1}};
    d.ruralResult = std::array<double, 2>{12345.67, 890.12};
    d.fillerLines = 150;
    return d;
}

// ---- Carnê-leão exports -------------------------------------------------------

struct MonthData {
    double rent = 0, other = 0, abroad = 0, socialSecurity = 0, cashBook = 0, taxPaid = 0;
};

struct ReceiptData {
    bool newer = true;
    int day = 10;
    int month = 1;
    std::string payer, beneficiary;
    double amount = 0;
};

struct CarneData {
    int year = 2024;
    bool taxpayerFirst = false;  // line 1 is itself the 01 record ("01CLEAO2")
    std::string cpf;
    std::string name;
    std::string occupation = "225";
    std::string registration = "CRM 12345";
    std::vector<MonthData> months;
    std::vector<ReceiptData> receipts;
    LineEnd lineEnd = LineEnd::CrLf;
};

inline std::string carneTaxpayerRecord(const CarneData& c, bool first) {
    Record r(first ? "01CLEAO2" : "01", 120);
    r.digits(11, c.year, 4)
        .put(21, c.cpf)
        .text(32, windows1252(c.name), 53)
        .text(92, c.occupation, 3)
        .text(96, c.registration, 17);
    return r.str();
}

inline std::vector<std::string> carneLines(const CarneData& c) {
    std::vector<std::string> lines;
    if (c.taxpayerFirst) {
        lines.push_back(carneTaxpayerRecord(c, true));
    } else {
        lines.push_back(Record("CARNELEA", 40).digits(11, c.year, 4).str());
        lines.push_back(carneTaxpayerRecord(c, false));
    }
    for (const MonthData& m : c.months)
        lines.push_back(Record("02", 170)
                            .amount(31, m.rent)
                            .amount(44, m.other)
                            .amount(57, m.abroad)
                            .amount(70, m.socialSecurity)
                            .amount(109, m.cashBook)
                            .amount(148, m.taxPaid)
                            .str());
    for (const ReceiptData& r : c.receipts) {
        if (r.newer)
            lines.push_back(Record("03", 60)
                                .put(3, "R")
                                .digits(4, r.day, 2)
                                .digits(6, r.month, 2)
                                .put(16, r.payer)
                                .put(27, r.beneficiary)
                                .amount(38, r.amount)
                                .str());
        else
            lines.push_back(Record("03", 60)
                                .digits(3, r.month, 2)
                                .put(13, r.payer)
                                .put(24, r.beneficiary)
                                .amount(35, r.amount)
                                .str());
    }
    return lines;
}

inline std::string carneFile(const CarneData& c) {
    return joined(carneLines(c), c.lineEnd);
}

// A name with "EXPORTA-IRPF" and the tax year at characters 28-43.
inline std::string carneFileName(const std::string& cpf, int taxYear) {
    return cpf + "-CARNE-LEAO-" + std::to_string(taxYear) + "EXPORTA-IRPF" +
           std::to_string(taxYear) + ".DEC";
}

}  // namespace kdx2::test_import
