#include <bit>
#include <cmath>
#include <cstring>

#include "base/cp850.h"
#include "base/error.h"
#include "store/cdx.h"

namespace kdx2::store {

using namespace base::literals;

uint8_t cdxFillByte(base::Type keyType) {
    return keyType == base::Type::Character ? 0x20 : 0x00;
}

std::string cdxCharacterKey(std::string_view cp850, size_t keyLength) {
    std::string key(cp850.substr(0, keyLength));
    key.resize(keyLength, ' ');
    return key;
}

std::string cdxNumericKey(double value) {
    if (value == 0.0) value = 0.0;  // -0 would otherwise sort below every negative number
    uint64_t bits = std::bit_cast<uint64_t>(value);
    bits = (bits >> 63) ? ~bits : (bits | (uint64_t{1} << 63));
    std::string key(kCdxNumericKeyLength, '\0');
    for (size_t i = 0; i < kCdxNumericKeyLength; ++i)
        key[i] = static_cast<char>(bits >> (56 - 8 * i));
    return key;
}

std::string cdxDateKey(base::Date date) {
    return cdxNumericKey(date.empty() ? 0.0 : static_cast<double>(date.julian()));
}

std::string cdxLogicalKey(bool value) {
    return value ? "T" : "F";
}

std::string cdxKey(const base::Value& value, size_t keyLength) {
    switch (value.type()) {
        case base::Type::Character:
            return cdxCharacterKey(value.text(), keyLength);
        case base::Type::Numeric:
            return cdxNumericKey(value.number());
        case base::Type::Date:
            return cdxDateKey(value.date());
        case base::Type::Logical:
            return cdxLogicalKey(value.logical());
    }
    return {};
}

namespace {

void requireLength(std::string_view key, size_t length) {
    if (key.size() != length)
        throw base::Error("Chave de índice com "_cp + std::to_string(key.size()) +
                          " bytes onde se esperavam "_cp + std::to_string(length) + ".");
}

}  // namespace

double cdxNumericValue(std::string_view key) {
    requireLength(key, kCdxNumericKeyLength);
    uint64_t bits = 0;
    for (size_t i = 0; i < kCdxNumericKeyLength; ++i)
        bits = (bits << 8) | static_cast<uint8_t>(key[i]);
    bits = (bits >> 63) ? (bits & ~(uint64_t{1} << 63)) : ~bits;
    return std::bit_cast<double>(bits);
}

base::Date cdxDateValue(std::string_view key) {
    const double day = cdxNumericValue(key);
    if (!(day >= 1.0 && day <= 1e8)) return base::Date();  // 0 (and nonsense) is the empty date
    return base::Date::fromJulian(static_cast<int32_t>(std::lround(day)));
}

bool cdxLogicalValue(std::string_view key) {
    requireLength(key, kCdxLogicalKeyLength);
    return key[0] == 'T';
}

base::Value cdxKeyValue(std::string_view key, base::Type keyType) {
    switch (keyType) {
        case base::Type::Character:
            return base::Value(std::string(key));
        case base::Type::Numeric:
            return base::Value(cdxNumericValue(key));
        case base::Type::Date:
            return base::Value(cdxDateValue(key));
        case base::Type::Logical:
            return base::Value(cdxLogicalValue(key));
    }
    return {};
}

CdxKeyList::CdxKeyList(size_t keyLength, base::Type keyType)
    : keyLength_(keyLength), keyType_(keyType) {
    if (keyLength < 1 || keyLength > kCdxMaxKeyLength)
        throw base::Error("Tamanho de chave de índice inválido: "_cp + std::to_string(keyLength) +
                          " (de 1 a 240)."_cp);
}

void CdxKeyList::reserve(size_t count) {
    keys_.reserve(count * keyLength_);
    recnos_.reserve(count);
}

void CdxKeyList::add(std::string_view key, uint32_t recno) {
    const size_t used = std::min(key.size(), keyLength_);
    keys_.append(key.data(), used);
    keys_.append(keyLength_ - used, static_cast<char>(cdxFillByte(keyType_)));
    recnos_.push_back(recno);
}

}  // namespace kdx2::store
