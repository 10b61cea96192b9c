#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kdx2::common {

// Checks of the identification numbers typed into forms. Each returns true
// to accept; a rejection shows a stop-icon box titled "Aviso" (AVISOSN kind
// 8) and returns false. Digits are read one character at a time; any other
// character inside the checked span counts as 0.

// A CPF ("nnn.nnn.nnn-nn") or CNPJ ("nn.nnn.nnn/nnnn-nn"), told apart by
// where the punctuation is. A "." in the 10th position (the NIT form) is
// accepted unchecked; unpunctuated text is refused with the format message.
bool CPFCGC(std::string_view document, bool required);

// As CPFCGC, after rewriting `field` in punctuated form (POEPONTO mode 0),
// so bare digits are accepted too.
bool CPFCGC1(std::string& field, bool required);

// CPF check digits of an unpunctuated text: characters 1-9 the base and
// 10-11 the check digits. Mode 0 CPF; mode 1 CPF that runs the name search
// when empty and required; mode 2 CAEPF (12 + 2 digits).
bool VAL_CPF(std::string_view text, bool required, int mode = 0);

// CNPJ check digits of an unpunctuated 14-digit text.
bool VAL_CGC(std::string_view text, bool required);

// Voter's title: 11 digits and 2 check digits. Empty is accepted.
bool VAL_TITU(std::string_view text);

// Worker's NIT, with or without punctuation. Empty is accepted.
bool VAL_NIT(std::string_view text);

// Rural property's NIRF: the 8th character is MODULO_11 of the first 7.
// Empty is accepted.
bool VENIRF(std::string_view text);

// One of the 27 state codes or "EX" (abroad), upper case only. No message.
bool VESIGLA(std::string_view code);

// Modulo-11 check digit with weights n+1 down to 2; "" for empty input.
std::string MODULO_11(std::string_view digits);

// Punctuates a document number. Mode 1 chooses the form by the payment code
// (I6_3 of the payments table): company codes get the CNPJ form, individual
// codes the CPF form, code 50 the NIT form, others go by length. Mode 0 goes
// by length (CONTAPONTO). Text already punctuated is returned unchanged.
std::string POEPONTO(std::string_view document, int mode, int paymentCode = 0);

// Punctuates by length: 14 characters the CNPJ form, 11 the CPF form padded
// with 4 blanks (18 characters, the stored width); anything else unchanged.
std::string CONTAPONTO(std::string_view document);

// The digits of the text in order; a single blank when there are none.
std::string TIRA_PONTO(std::string_view text);

// The taxpayer name search behind an empty required CPF (VAL_CPF mode 1).
// It needs the registry and a form, so the selection screens install it;
// without one, mode 1 accepts the empty CPF and nothing else happens.
using NameSearch = std::function<void()>;
// Returns the previous search.
NameSearch setNameSearch(NameSearch search);

}  // namespace kdx2::common
