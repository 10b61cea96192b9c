#include "store/dbf.h"

#include <cmath>
#include <cstring>
#include <set>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::dbf {

using namespace base::literals;

namespace {

uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void put16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}
void put32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

[[noreturn]] void damaged(const std::string& file, const std::string& detail) {
    throw base::Error("O arquivo "_cp + file + " está danificado: "_cp + detail);
}

bool validNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string describeField(const FieldDef& field) {
    std::string text =
        field.name + " (" + static_cast<char>(field.type) + " " + std::to_string(field.width);
    if (field.decimals) text += "," + std::to_string(field.decimals);
    return text + ")";
}

[[noreturn]] void refuse(const FieldDef& field, const std::string& tableName,
                         const std::string& why) {
    throw base::Error(why + " no campo "_cp + describeField(field) + " de "_cp + tableName + ".");
}

}  // namespace

void validateStructure(const Structure& fields, const std::string& what) {
    auto bad = [&](const std::string& detail) -> void {
        throw base::Error("Estrutura inválida para "_cp + what + ": "_cp + detail);
    };
    if (fields.empty()) bad("nenhum campo."_cp);
    std::set<std::string> names;
    size_t recordLength = 1;
    for (const FieldDef& field : fields) {
        if (field.name.empty() || field.name.size() > 10 ||
            !std::all_of(field.name.begin(), field.name.end(), validNameChar) ||
            (field.name[0] >= '0' && field.name[0] <= '9'))
            bad("nome de campo \""_cp + field.name + "\" inválido."_cp);
        if (!names.insert(field.name).second) bad("campo "_cp + field.name + " repetido.");
        bool ok = true;
        switch (field.type) {
            case base::Type::Character:
                ok = field.width >= 1 && field.width <= 65535 && field.decimals == 0;
                break;
            case base::Type::Numeric:
                ok = field.width >= 1 && field.width <= 20 && field.decimals >= 0 &&
                     (field.decimals == 0 || field.decimals <= field.width - 2);
                break;
            case base::Type::Date:
                ok = field.width == 8 && field.decimals == 0;
                break;
            case base::Type::Logical:
                ok = field.width == 1 && field.decimals == 0;
                break;
        }
        if (!ok) bad("tamanho inválido no campo "_cp + describeField(field) + ".");
        recordLength += static_cast<size_t>(field.width);
    }
    if (recordLength > 65535) bad("registro maior que 65535 bytes."_cp);
    if (kHeaderSize + kDescriptorSize * fields.size() + 2 > 65535) bad("campos demais."_cp);
}

Layout layoutOf(const Structure& fields) {
    Layout layout;
    layout.fields = fields;
    uint32_t offset = 1;
    for (const FieldDef& field : fields) {
        layout.offsets.push_back(offset);
        offset += static_cast<uint32_t>(field.width);
    }
    layout.header.recordLength = static_cast<uint16_t>(offset);
    layout.header.headerLength =
        static_cast<uint16_t>(kHeaderSize + kDescriptorSize * fields.size() + 2);
    return layout;
}

void encodeHeaderBlock(const Header& header, char* out) {
    std::memset(out, 0, kHeaderSize);
    out[0] = static_cast<char>(header.version);
    const base::Date date = header.lastUpdate.empty() ? base::Date::today() : header.lastUpdate;
    out[1] = static_cast<char>(std::clamp(date.year() - 1900, 0, 255));
    out[2] = static_cast<char>(date.month());
    out[3] = static_cast<char>(date.day());
    put32(out + 4, header.recordCount);
    put16(out + 8, header.headerLength);
    put16(out + 10, header.recordLength);
    out[28] = header.productionIndex ? 1 : 0;
}

std::vector<char> encodeHeader(const Layout& layout) {
    std::vector<char> bytes(layout.header.headerLength, 0);
    encodeHeaderBlock(layout.header, bytes.data());
    char* descriptor = bytes.data() + kHeaderSize;
    for (const FieldDef& field : layout.fields) {
        std::memcpy(descriptor, field.name.data(), std::min<size_t>(field.name.size(), 10));
        descriptor[11] = static_cast<char>(field.type);
        // Character fields wider than 255 keep the high byte of the width
        // where other types keep their decimals.
        descriptor[16] = static_cast<char>(field.width & 0xFF);
        descriptor[17] = static_cast<char>(
            field.type == base::Type::Character ? (field.width >> 8) & 0xFF : field.decimals);
        descriptor += kDescriptorSize;
    }
    *descriptor = 0x0D;
    return bytes;
}

Header readHeader(const platform::File& file) {
    unsigned char block[kHeaderSize];
    if (file.readAt(0, block, kHeaderSize) != kHeaderSize)
        damaged(file.path(), "o cabeçalho está incompleto (arquivo truncado)."_cp);
    return decodeHeader(block);
}

Header decodeHeader(const unsigned char* block) {
    Header header;
    header.version = block[0];
    header.lastUpdate =
        base::Date::fromYmd(1900 + block[1], block[2], block[3]).value_or(base::Date());
    header.recordCount = get32(block + 4);
    header.headerLength = get16(block + 8);
    header.recordLength = get16(block + 10);
    header.productionIndex = (block[28] & 1) != 0;
    return header;
}

Layout readLayout(const platform::File& file) {
    const std::string& name = file.path();
    Layout layout;
    // The header before the size: another copy appending writes its record
    // before the count, so a size taken after the count always holds it.
    layout.header = readHeader(file);
    const uint64_t size = file.size();
    const Header& header = layout.header;
    if (header.headerLength < kHeaderSize + kDescriptorSize + 1)
        damaged(name, "o tamanho do cabeçalho ("_cp + std::to_string(header.headerLength) +
                          ") é inválido."_cp);
    if (header.headerLength > size)
        damaged(name, "o cabeçalho ("_cp + std::to_string(header.headerLength) +
                          " bytes) é maior que o arquivo ("_cp + std::to_string(size) +
                          " bytes)."_cp);
    std::vector<unsigned char> bytes(header.headerLength);
    file.readExact(0, bytes.data(), bytes.size());
    size_t at = kHeaderSize;
    uint32_t offset = 1;
    while (true) {
        if (at >= bytes.size()) damaged(name, "falta o fim da lista de campos no cabeçalho."_cp);
        if (bytes[at] == 0x0D) break;
        if (at + kDescriptorSize > bytes.size())
            damaged(name, "a lista de campos passa do tamanho do cabeçalho."_cp);
        const unsigned char* d = bytes.data() + at;
        FieldDef field;
        for (int i = 0; i < 11 && d[i]; ++i)
            field.name += static_cast<char>(d[i]);
        field.name = base::asciiUpper(base::rtrim(field.name));
        const int fieldNumber = static_cast<int>(layout.fields.size()) + 1;
        if (field.name.empty() || !std::all_of(field.name.begin(), field.name.end(), validNameChar))
            damaged(name, "o nome do campo "_cp + std::to_string(fieldNumber) + " é inválido."_cp);
        const char type = static_cast<char>(d[11]);
        bool ok = true;
        switch (type) {
            case 'C':
                field.type = base::Type::Character;
                field.width = d[16] | (d[17] << 8);
                ok = field.width >= 1;
                break;
            case 'N':
            case 'F':
                field.type = base::Type::Numeric;
                field.width = d[16];
                field.decimals = d[17];
                ok = field.width >= 1 && field.width <= 32 && field.decimals < field.width;
                break;
            case 'D':
                field.type = base::Type::Date;
                field.width = d[16];
                ok = field.width == 8;
                break;
            case 'L':
                field.type = base::Type::Logical;
                field.width = d[16];
                ok = field.width == 1;
                break;
            default:
                damaged(name, "o campo "_cp + field.name + " tem um tipo desconhecido (\""_cp +
                                  base::cp850::fromUtf8(std::string(1, type >= 32 ? type : '?')) +
                                  "\")."_cp);
        }
        if (!ok) damaged(name, "o campo "_cp + field.name + " tem tamanho inválido."_cp);
        layout.offsets.push_back(offset);
        offset += static_cast<uint32_t>(field.width);
        layout.fields.push_back(std::move(field));
        at += kDescriptorSize;
    }
    if (layout.fields.empty()) damaged(name, "a tabela não tem campos."_cp);
    if (offset != header.recordLength)
        damaged(name,
                "o tamanho do registro no cabeçalho ("_cp + std::to_string(header.recordLength) +
                    ") não confere com a soma dos campos ("_cp + std::to_string(offset) + ")."_cp);
    if (layout.expectedSize() > size)
        damaged(name, "o cabeçalho indica "_cp + std::to_string(header.recordCount) +
                          " registros, mas o arquivo só comporta "_cp +
                          std::to_string((size - header.headerLength) / header.recordLength) +
                          " (arquivo truncado)."_cp);
    return layout;
}

base::Value decodeField(const FieldDef& field, const char* bytes) {
    const std::string_view raw(bytes, static_cast<size_t>(field.width));
    switch (field.type) {
        case base::Type::Character:
            return base::Value(std::string(raw));
        case base::Type::Numeric: {
            const size_t start = raw.find_first_not_of(' ');
            if (start == std::string_view::npos) return base::Value(0.0);
            const double number = base::parseNumber(raw.substr(start));
            return base::Value(std::isfinite(number) ? number : 0.0);
        }
        case base::Type::Date:
            return base::Value(base::Date::fromDtos(raw).value_or(base::Date()));
        case base::Type::Logical: {
            const char c = raw[0];
            return base::Value(c == 'T' || c == 't' || c == 'Y' || c == 'y');
        }
    }
    return base::Value();
}

void encodeField(const FieldDef& field, const base::Value& value, char* out,
                 const std::string& tableName) {
    const size_t width = static_cast<size_t>(field.width);
    if (value.type() != field.type) refuse(field, tableName, "Tipo de dado incompatível"_cp);
    switch (field.type) {
        case base::Type::Character: {
            const std::string& text = value.text();
            const size_t n = std::min(width, text.size());
            std::memcpy(out, text.data(), n);
            std::memset(out + n, ' ', width - n);
            return;
        }
        case base::Type::Numeric: {
            const double number = value.number();
            std::optional<std::string> text;
            if (std::isfinite(number))
                text = base::formatFixed(number, field.width, field.decimals);
            if (!text)
                refuse(field, tableName,
                       "O valor "_cp +
                           (std::isfinite(number)
                                ? base::alltrim(*base::formatFixed(number, 40, field.decimals))
                                : std::string("inválido")) +
                           " não cabe"_cp);
            std::memcpy(out, text->data(), width);
            return;
        }
        case base::Type::Date: {
            const std::string text = value.date().dtos();
            std::memcpy(out, text.data(), std::min(width, text.size()));
            return;
        }
        case base::Type::Logical:
            out[0] = value.logical() ? 'T' : 'F';
            return;
    }
}

std::vector<char> blankRecord(const Layout& layout) {
    std::vector<char> record(layout.header.recordLength, ' ');
    return record;
}

}  // namespace kdx2::store::dbf
