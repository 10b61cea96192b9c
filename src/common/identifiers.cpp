#include "common/identifiers.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/cp850.h"
#include "base/text.h"
#include "common/messages.h"

namespace kdx2::common {

using namespace base::literals;

namespace {

NameSearch& nameSearch() {
    static NameSearch search;
    return search;
}

// The character at 1-based `position`; a blank past the end, as a field
// padded to its width would have there.
char charAt(std::string_view text, size_t position) {
    return position >= 1 && position <= text.size() ? text[position - 1] : ' ';
}

// Characters `from` (1-based) ... from + length - 1, as far as the text goes.
std::string_view span(std::string_view text, size_t from, size_t length) {
    if (from > text.size()) return {};
    return text.substr(from - 1, length);
}

int digitValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : 0;
}

int digitAt(std::string_view text, size_t position) {
    return digitValue(charAt(text, position));
}

bool isBlank(std::string_view text) {
    return base::alltrim(text).empty();
}

std::string twoDigits(int first, int second) {
    return {static_cast<char>('0' + first), static_cast<char>('0' + second)};
}

// Two check digits of `count` base digits: the first from the weights
// 1 ... count, the second from count ... 1. A first remainder of 10 gives 0
// and adds 9 to the second sum. With 9 digits these are the standard CPF
// check digits; the voter's title uses 11.
std::string ascendingDescendingPair(std::string_view stem, int count) {
    int p = 0;
    int q = 0;
    for (int i = 1; i <= count; ++i) {
        p += digitAt(stem, i) * i;
        q += digitAt(stem, i) * (count + 1 - i);
    }
    int d1 = p % 11;
    if (d1 == 10) {
        d1 = 0;
        q += 9;
    }
    int d2 = q % 11;
    if (d2 == 10) d2 = 0;
    return twoDigits(d1, d2);
}

// Weights 9 down to 2 and again from 9, from the rightmost digit leftwards.
int caepfSum(std::string_view digits, size_t count) {
    int sum = 0;
    int weight = 9;
    for (size_t position = count; position >= 1; --position) {
        sum += digitAt(digits, position) * weight;
        weight = weight == 2 ? 9 : weight - 1;
    }
    return sum;
}

// CAEPF check pair: two modulo-11 digits, then 12 added (modulo 100).
std::string caepfCheck(std::string_view stem) {
    int d1 = caepfSum(stem, 12) % 11;
    if (d1 == 10) d1 = 0;
    std::string withFirst(stem.substr(0, std::min<size_t>(stem.size(), 12)));
    withFirst.resize(12, ' ');
    withFirst += static_cast<char>('0' + d1);
    int d2 = caepfSum(withFirst, 13) % 11;
    if (d2 == 10) d2 = 0;
    int pair = d1 * 10 + d2 + 12;
    if (pair > 99) pair -= 100;
    return twoDigits(pair / 10, pair % 10);
}

// Remainders 0 and 1 give 0, others 11 - remainder (CNPJ and NIT).
int elevenMinus(int sum) {
    const int remainder = sum % 11;
    return remainder < 2 ? 0 : 11 - remainder;
}

std::string cnpjCheck(std::string_view stem) {
    static constexpr std::array<int, 12> firstWeights{5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    static constexpr std::array<int, 12> secondWeights{6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3};
    int p = 0;
    int q = 0;
    for (size_t i = 0; i < 12; ++i) {
        p += digitAt(stem, i + 1) * firstWeights[i];
        q += digitAt(stem, i + 1) * secondWeights[i];
    }
    const int d1 = elevenMinus(p);
    const int d2 = elevenMinus(q + 2 * d1);
    return twoDigits(d1, d2);
}

bool reject(const MessageLines& lines) {
    AVISOSN(lines, box::kStop);
    return false;
}

// The text shown through the picture "@R 999.999.999.999-99".
std::string caepfForm(std::string_view text) {
    std::string digits(span(text, 1, 14));
    digits.resize(14, ' ');
    return digits.substr(0, 3) + "." + digits.substr(3, 3) + "." + digits.substr(6, 3) + "." +
           digits.substr(9, 3) + "-" + digits.substr(12, 2);
}

bool alreadyPunctuated(std::string_view document) {
    return charAt(document, 3) == '.' || charAt(document, 4) == '.' || charAt(document, 4) == ' ';
}

// Inserts `mark` so that it becomes the character at 1-based `position`
// (appended when the text is shorter).
void insertAt(std::string& text, size_t position, char mark) {
    text.insert(std::min(position - 1, text.size()), 1, mark);
}

std::string cnpjForm(std::string_view document) {
    std::string text = base::alltrim(document);
    insertAt(text, 3, '.');
    insertAt(text, 7, '.');
    insertAt(text, 11, '/');
    insertAt(text, 16, '-');
    return base::alltrim(text);
}

std::string cpfForm(std::string_view document) {
    std::string text = base::alltrim(document);
    insertAt(text, 4, '.');
    insertAt(text, 8, '.');
    insertAt(text, 12, '-');
    return base::alltrim(text) + "    ";
}

std::string nitForm(std::string_view document) {
    std::string text = base::alltrim(document);
    insertAt(text, 4, '.');
    insertAt(text, 10, '.');
    insertAt(text, 13, '-');
    return base::alltrim(text) + "    ";
}

bool isCompanyCode(int code) {
    static constexpr std::array codes{1, 3, 5, 20, 21, 26, 36, 38, 40, 41, 42, 43};
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool isIndividualCode(int code) {
    static constexpr std::array codes{10, 11, 30, 60, 61, 62, 66, 80, 81, 91, 93, 94};
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

constexpr int kNitPaymentCode = 50;

}  // namespace

NameSearch setNameSearch(NameSearch search) {
    NameSearch previous = std::move(nameSearch());
    nameSearch() = std::move(search);
    return previous;
}

bool CPFCGC(std::string_view document, bool required) {
    if (isBlank(document)) return !required;
    if (charAt(document, 10) == '.') return true;

    const char fourth = charAt(document, 4);
    const bool cpf = fourth == '.' || fourth == ' ';
    if (!cpf && charAt(document, 3) != '.') {
        return reject({"ATENCAO!! Digite o CPF/CNPJ com nro. correto",
                       "de digitos CPF=11 e CNPJ=14 ou coloque os   ",
                       "sinais separadores no lugar correto.Exemplo:",
                       "CPF=nnn.nnn.nnn-nn CNPJ=nn.nnn.nnn/nnnn-nn "});
    }
    std::string digits;
    for (char c : base::alltrim(document)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    digits += "  ";
    return cpf ? VAL_CPF(digits, required, 0) : VAL_CGC(digits, required);
}

bool CPFCGC1(std::string& field, bool required) {
    if (isBlank(field)) return !required;
    field = POEPONTO(field, 0);
    return CPFCGC(field, required);
}

bool VAL_CPF(std::string_view text, bool required, int mode) {
    if (isBlank(text)) {
        if (!required) return true;
        if (mode != 1) return false;
        if (nameSearch()) nameSearch()();
        return true;
    }

    const bool caepf = mode == 2;
    const size_t stemLength = caepf ? 12 : 9;
    const std::string_view stem = span(text, 1, stemLength);
    const std::string_view check = span(text, stemLength + 1, 2);
    if (base::alltrim(stem).size() < stemLength) {
        if (mode == 0) return reject("ATENÇÃO! CPF está incompleto."_cp);
        if (mode == 2) return reject("ATENÇÃO! CAEPF está incompleto."_cp);
        return false;
    }

    const std::string computed = caepf ? caepfCheck(stem) : ascendingDescendingPair(stem, 9);
    if (check == computed) return true;

    const std::string number = caepf ? caepfForm(text) : base::alltrim(CONTAPONTO(text));
    const std::string name = caepf ? "CAEPF " : "CPF ";
    return reject({"ATENÇÃO! "_cp + name + number + " está incorreto. "_cp,
                   "O dígito para esse número é:"_cp + computed});
}

bool VAL_CGC(std::string_view text, bool required) {
    if (isBlank(text)) return !required;
    const std::string stem = base::rtrim(span(text, 1, 12));
    if (stem.size() < 12) return reject("ATENCAO!! CNPJ está incompleto."_cp);
    const std::string computed = cnpjCheck(stem);
    if (span(text, 13, 2) == computed) return true;
    return reject(
        {"ATENCAO!! CNPJ está incorreto. "_cp, "O dígito correto deve ser: "_cp + computed});
}

bool VAL_TITU(std::string_view text) {
    if (isBlank(text)) return true;
    const std::string_view stem = span(text, 1, 11);
    if (base::alltrim(stem).size() < 11) return reject("ATENÇÃO! Número incompleto."_cp);
    const std::string computed = ascendingDescendingPair(stem, 11);
    if (span(text, 12, 2) == computed) return true;
    return reject(
        {"ATENÇÃO! Número está errado. "_cp, "O dígito correto deve ser: "_cp + computed});
}

bool VAL_NIT(std::string_view text) {
    if (isBlank(text)) return true;
    const std::string digits = TIRA_PONTO(text);
    if (digits.size() != 11) return reject("ATENÇÃO! O NIT do empregado está errado. "_cp);
    static constexpr std::array<int, 10> weights{3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    int sum = 0;
    for (size_t i = 0; i < weights.size(); ++i)
        sum += digitValue(digits[i]) * weights[i];
    if (elevenMinus(sum) == digitValue(digits[10])) return true;
    return reject({"ATENÇÃO!  NIT está incorreto. "_cp, "Se estiver digitando o CPF mova",
                   "o cursor até a última coluna. "_cp});
}

bool VENIRF(std::string_view text) {
    if (isBlank(text)) return true;
    const std::string expected = MODULO_11(span(text, 1, 7));
    if (!expected.empty() && charAt(text, 8) == expected[0]) return true;
    return reject("NIRF inválido"_cp);
}

bool VESIGLA(std::string_view code) {
    static constexpr std::array<std::string_view, 28> states{
        "AC", "AL", "AP", "AM", "BA", "CE", "DF", "ES", "GO", "MA", "MT", "MS", "MG", "PA",
        "PB", "PR", "PE", "PI", "RN", "RS", "RJ", "RO", "RR", "SC", "SP", "SE", "TO", "EX"};
    const std::string trimmed = base::rtrim(code);
    return std::find(states.begin(), states.end(), trimmed) != states.end();
}

std::string MODULO_11(std::string_view digits) {
    const std::string text = base::alltrim(digits);
    if (text.empty()) return "";
    const int n = static_cast<int>(text.size());
    int sum = 0;
    for (int i = 1; i <= n; ++i)
        sum += digitAt(text, i) * (n + 2 - i);
    int d = 11 - sum % 11;
    if (d > 9) d = 0;
    return std::string(1, static_cast<char>('0' + d));
}

std::string POEPONTO(std::string_view document, int mode, int paymentCode) {
    if (alreadyPunctuated(document)) return std::string(document);
    if (mode == 1) {
        if (isCompanyCode(paymentCode)) return cnpjForm(document);
        if (isIndividualCode(paymentCode)) return cpfForm(document);
        if (paymentCode == kNitPaymentCode) return nitForm(document);
    }
    return CONTAPONTO(document);
}

std::string CONTAPONTO(std::string_view document) {
    if (alreadyPunctuated(document)) return std::string(document);
    const size_t length = base::alltrim(document).size();
    if (length == 14) return cnpjForm(document);
    if (length == 11) return cpfForm(document);
    return std::string(document);
}

std::string TIRA_PONTO(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits.empty() ? " " : digits;
}

}  // namespace kdx2::common
