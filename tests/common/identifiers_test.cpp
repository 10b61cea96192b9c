#include <gtest/gtest.h>

#include <random>

#include "base/cp850.h"
#include "common/identifiers.h"
#include "recording_messages.h"

using namespace kdx2::common;
using kdx2::testing::RecordingMessages;
using Lines = std::vector<std::string>;

namespace {

// Check digits computed the way the tax authority publishes them (weights
// counted from the right, 11 - remainder), independently of the code under
// test.
int publishedDigit(const std::string& digits, int maxWeight) {
    int sum = 0;
    int weight = 2;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = weight == maxWeight ? 2 : weight + 1;
    }
    const int digit = 11 - sum % 11;
    return digit >= 10 ? 0 : digit;
}

std::string withCheckDigits(std::string digits, int maxWeight) {
    digits += static_cast<char>('0' + publishedDigit(digits, maxWeight));
    digits += static_cast<char>('0' + publishedDigit(digits, maxWeight));
    return digits;
}

std::string cpfPunctuated(const std::string& d) {
    return d.substr(0, 3) + "." + d.substr(3, 3) + "." + d.substr(6, 3) + "-" + d.substr(9, 2);
}

std::string cnpjPunctuated(const std::string& d) {
    return d.substr(0, 2) + "." + d.substr(2, 3) + "." + d.substr(5, 3) + "/" + d.substr(8, 4) +
           "-" + d.substr(12, 2);
}

std::string randomDigits(std::mt19937& random, int count) {
    std::uniform_int_distribution<int> digit(0, 9);
    std::string digits;
    for (int i = 0; i < count; ++i)
        digits += static_cast<char>('0' + digit(random));
    return digits;
}

// The last digit changed to another one.
std::string wrongLast(std::string digits) {
    digits.back() = digits.back() == '9' ? '0' : static_cast<char>(digits.back() + 1);
    return digits;
}

void expectStopBox(const RecordingMessages& messages) {
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Stop);
    EXPECT_EQ(messages.boxes[0].title, "Aviso");
    EXPECT_EQ(messages.boxes[0].buttons, Lines{"Ok"});
}

}  // namespace

TEST(Cpf, AcceptsCorrectCheckDigitsAndNamesTheRightOnes) {
    RecordingMessages messages;
    EXPECT_TRUE(VAL_CPF("11144477735", true));
    EXPECT_TRUE(CPFCGC("111.444.777-35", true));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_FALSE(CPFCGC("111.444.777-36", true));
    expectStopBox(messages);
    EXPECT_EQ(messages.onlyBoxLines(), (Lines{"ATENÇÃO! CPF 111.444.777-36 está incorreto. ",
                                              "O dígito para esse número é:35"}));
}

TEST(Cpf, FirstRemainderTenGivesZeroAndRaisesTheSecondSum) {
    // 123456789: first weighted sum 285 leaves 10, so the first digit is 0
    // and the second sum 165 + 9 leaves 9 (without the 9 it would be 0).
    RecordingMessages messages;
    EXPECT_TRUE(VAL_CPF("12345678909", true));
    EXPECT_FALSE(VAL_CPF("12345678900", true));
    EXPECT_EQ(messages.onlyBoxLines()[1], "O dígito para esse número é:09");
}

TEST(Cpf, EmptyAndIncompleteByMode) {
    RecordingMessages messages;
    EXPECT_TRUE(VAL_CPF("           ", false));
    EXPECT_FALSE(VAL_CPF("", true));
    EXPECT_FALSE(VAL_CPF("", true, 2));
    EXPECT_TRUE(messages.boxes.empty());

    int searches = 0;
    setNameSearch([&] { ++searches; });
    EXPECT_TRUE(VAL_CPF("  ", true, 1));
    EXPECT_TRUE(VAL_CPF("  ", false, 1));
    setNameSearch(nullptr);
    EXPECT_EQ(searches, 1);

    EXPECT_FALSE(VAL_CPF("1114447", true));
    EXPECT_FALSE(VAL_CPF("1114447", true, 1));  // mode 1 refuses silently
    EXPECT_FALSE(VAL_CPF("12345678901", true, 2));
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(kdx2::testing::utf8Lines(
                  {messages.boxes.at(0).lines.at(0), messages.boxes.at(1).lines.at(0)}),
              (Lines{"ATENÇÃO! CPF está incompleto.", "ATENÇÃO! CAEPF está incompleto."}));
}

TEST(Caepf, CheckPairIsShiftedByTwelve) {
    RecordingMessages messages;
    // Digits 3 and 0: 30 + 12.
    EXPECT_TRUE(VAL_CPF("12345678901242", true, 2));
    // Digits 9 and 7: 97 + 12 = 109, written as 09.
    EXPECT_TRUE(VAL_CPF("88431802646809", true, 2));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_FALSE(VAL_CPF("12345678901243", true, 2));
    expectStopBox(messages);
    EXPECT_EQ(messages.onlyBoxLines(), (Lines{"ATENÇÃO! CAEPF 123.456.789.012-43 está incorreto. ",
                                              "O dígito para esse número é:42"}));
}

TEST(Cnpj, RemaindersZeroAndOneGiveCheckDigitZero) {
    RecordingMessages messages;
    // 157788890001: first remainder 0; 823623140001: first remainder 1.
    const std::string remainderZero = withCheckDigits("157788890001", 9);
    const std::string remainderOne = withCheckDigits("823623140001", 9);
    ASSERT_EQ(remainderZero[12], '0');
    ASSERT_EQ(remainderOne[12], '0');
    EXPECT_TRUE(VAL_CGC(remainderZero, true));
    EXPECT_TRUE(VAL_CGC(remainderOne, true));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(Cnpj, MessagesForWrongAndIncompleteNumbers) {
    RecordingMessages messages;
    EXPECT_TRUE(VAL_CGC("", false));
    EXPECT_FALSE(VAL_CGC("", true));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_FALSE(CPFCGC("12.345.678/0001-96", true));
    expectStopBox(messages);
    EXPECT_EQ(messages.onlyBoxLines(),
              (Lines{"ATENCAO!! CNPJ está incorreto. ", "O dígito correto deve ser: 95"}));

    messages.boxes.clear();
    EXPECT_FALSE(VAL_CGC("12345678000  ", true));
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"ATENCAO!! CNPJ está incompleto."});
}

TEST(CpfCnpj, DecidesByPunctuation) {
    RecordingMessages messages;
    EXPECT_TRUE(CPFCGC("123.456.789-09", true));
    EXPECT_TRUE(CPFCGC("12.345.678/0001-95", true));
    EXPECT_TRUE(CPFCGC("123.456.789-09    ", true));  // as stored, 18 wide
    EXPECT_TRUE(CPFCGC("123.45678.90-1", true));      // NIT form: not checked
    EXPECT_TRUE(CPFCGC("", false));
    EXPECT_FALSE(CPFCGC("   ", true));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_FALSE(CPFCGC("12345678909", true));
    expectStopBox(messages);
    EXPECT_EQ(messages.onlyBoxLines(), (Lines{"ATENCAO!! Digite o CPF/CNPJ com nro. correto",
                                              "de digitos CPF=11 e CNPJ=14 ou coloque os   ",
                                              "sinais separadores no lugar correto.Exemplo:",
                                              "CPF=nnn.nnn.nnn-nn CNPJ=nn.nnn.nnn/nnnn-nn "}));
}

TEST(CpfCnpj, FieldFormPunctuatesBeforeChecking) {
    RecordingMessages messages;
    std::string field = "12345678909";
    EXPECT_TRUE(CPFCGC1(field, true));
    EXPECT_EQ(field, "123.456.789-09    ");

    field = "12345678000195    ";
    EXPECT_TRUE(CPFCGC1(field, true));
    EXPECT_EQ(field, "12.345.678/0001-95");

    field = "";
    EXPECT_FALSE(CPFCGC1(field, true));
    EXPECT_TRUE(CPFCGC1(field, false));
    EXPECT_TRUE(messages.boxes.empty());

    field = "1234567890123";  // 13 digits: neither form
    EXPECT_FALSE(CPFCGC1(field, true));
    EXPECT_EQ(field, "1234567890123");
    EXPECT_EQ(messages.onlyBoxLines().size(), 4u);
}

TEST(CpfCnpj, NumbersWithPublishedCheckDigits) {
    RecordingMessages messages;
    std::mt19937 random(20180430);
    for (int i = 0; i < 300; ++i) {
        const std::string cpf = withCheckDigits(randomDigits(random, 9), 11);
        const std::string cnpj = withCheckDigits(randomDigits(random, 12), 9);
        EXPECT_TRUE(CPFCGC(cpfPunctuated(cpf), true)) << cpf;
        EXPECT_TRUE(CPFCGC(cnpjPunctuated(cnpj), true)) << cnpj;
        std::string field = cpf;
        EXPECT_TRUE(CPFCGC1(field, true)) << cpf;
        EXPECT_TRUE(VAL_CGC(cnpj, true)) << cnpj;
        EXPECT_FALSE(CPFCGC(cpfPunctuated(wrongLast(cpf)), true)) << cpf;
        EXPECT_FALSE(CPFCGC(cnpjPunctuated(wrongLast(cnpj)), true)) << cnpj;
    }
    EXPECT_EQ(messages.boxes.size(), 600u);
}

TEST(Nit, WeightedRemainderOneGivesZero) {
    RecordingMessages messages;
    EXPECT_TRUE(VAL_NIT("87070748450"));
    EXPECT_TRUE(VAL_NIT("870.70748.45-0"));
    EXPECT_TRUE(VAL_NIT(""));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_FALSE(VAL_NIT("87070748451"));
    EXPECT_EQ(messages.onlyBoxLines(),
              (Lines{"ATENÇÃO!  NIT está incorreto. ", "Se estiver digitando o CPF mova",
                     "o cursor até a última coluna. "}));
    messages.boxes.clear();
    EXPECT_FALSE(VAL_NIT("870.70748.45"));
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"ATENÇÃO! O NIT do empregado está errado. "});
}

TEST(OtherIdentifiers, VoterTitleAndRuralProperty) {
    RecordingMessages messages;
    EXPECT_TRUE(VAL_TITU("1234567890101"));
    EXPECT_TRUE(VAL_TITU(""));
    EXPECT_TRUE(VENIRF("12345679"));
    EXPECT_TRUE(VENIRF("01234560"));  // 11 - 0 gives 11, written 0
    EXPECT_TRUE(VENIRF(""));
    EXPECT_TRUE(messages.boxes.empty());

    EXPECT_FALSE(VAL_TITU("1234567890102"));
    EXPECT_EQ(messages.onlyBoxLines(),
              (Lines{"ATENÇÃO! Número está errado. ", "O dígito correto deve ser: 01"}));
    messages.boxes.clear();
    EXPECT_FALSE(VAL_TITU("1234567890"));
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"ATENÇÃO! Número incompleto."});
    messages.boxes.clear();
    EXPECT_FALSE(VENIRF("12345678"));
    EXPECT_EQ(messages.onlyBoxLines(), Lines{"NIRF inválido"});

    EXPECT_EQ(MODULO_11(""), "");
    EXPECT_EQ(MODULO_11("1234567"), "9");
}

TEST(OtherIdentifiers, StateCodesAreUpperCaseOnly) {
    RecordingMessages messages;
    EXPECT_TRUE(VESIGLA("SP"));
    EXPECT_TRUE(VESIGLA("EX"));
    EXPECT_TRUE(VESIGLA("TO"));
    EXPECT_FALSE(VESIGLA("sp"));
    EXPECT_FALSE(VESIGLA("XX"));
    EXPECT_FALSE(VESIGLA(""));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(Punctuation, ByLengthAndByPaymentCode) {
    EXPECT_EQ(CONTAPONTO("12345678909"), "123.456.789-09    ");
    EXPECT_EQ(CONTAPONTO("12345678909").size(), 18u);
    EXPECT_EQ(CONTAPONTO("12345678000195"), "12.345.678/0001-95");
    EXPECT_EQ(CONTAPONTO("1234567"), "1234567");
    EXPECT_EQ(CONTAPONTO("123.456.789-09"), "123.456.789-09");

    EXPECT_EQ(POEPONTO("12345678000195", 1, 36), "12.345.678/0001-95");
    EXPECT_EQ(POEPONTO("12345678909", 1, 10), "123.456.789-09    ");
    EXPECT_EQ(POEPONTO("12345678901", 1, 50), "123.45678.90-1    ");
    EXPECT_EQ(POEPONTO("12345678909", 1, 99), "123.456.789-09    ");  // other code: by length
    EXPECT_EQ(POEPONTO("12345678909", 0, 36), "123.456.789-09    ");
    EXPECT_EQ(POEPONTO("12.345.678/0001-95", 1, 10), "12.345.678/0001-95");

    EXPECT_EQ(TIRA_PONTO("123.456.789-09"), "12345678909");
    EXPECT_EQ(TIRA_PONTO(""), " ");
    EXPECT_EQ(TIRA_PONTO("-./"), " ");
}
