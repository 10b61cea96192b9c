#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "base/value.h"
#include "platform/file.h"
#include "store/table.h"

namespace kdx2::store::dbf {

// The dBASE III table layout every workstation shares: a 32-byte header, one
// 32-byte descriptor per field, 0x0D, 0x00, then the records (a flag byte
// " " live / "*" deleted and the fields without separators) and one 0x1A.

inline constexpr uint8_t kVersion = 0x03;
inline constexpr char kLive = ' ';
inline constexpr char kDeleted = '*';
inline constexpr char kEndOfFile = 0x1A;
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kDescriptorSize = 32;

struct Header {
    uint8_t version = kVersion;
    base::Date lastUpdate;
    uint32_t recordCount = 0;
    uint16_t headerLength = 0;
    uint16_t recordLength = 0;
    bool productionIndex = false;  // byte 28: an index file of the same name goes with it
};

// A table's structure with each field's offset inside the record (the flag
// byte is at 0, the first field at 1).
struct Layout {
    Header header;
    Structure fields;
    std::vector<uint32_t> offsets;

    uint64_t recordOffset(uint32_t recno) const {
        return header.headerLength + uint64_t(recno - 1) * header.recordLength;
    }
    // Bytes the file needs to hold every record the header counts.
    uint64_t expectedSize() const { return recordOffset(header.recordCount + 1); }
};

// Throws base::Error when the structure cannot be stored (bad or repeated
// names, widths out of range, record too long). `what` names the table.
void validateStructure(const Structure& fields, const std::string& what);

// The header length, record length and offsets of a structure.
Layout layoutOf(const Structure& fields);

// The header and descriptors of a layout, as written at the start of the file.
std::vector<char> encodeHeader(const Layout& layout);
// The 32-byte header alone (count, date, lengths, flags).
void encodeHeaderBlock(const Header& header, char* out);

// Reads and checks the header and descriptors: a damaged file (too short,
// wrong lengths, bad descriptors, record count beyond the file size) throws
// base::Error naming the file. The file is only read.
Layout readLayout(const platform::File& file);
// The 32-byte header of an open file (a fresh record count from disk).
Header readHeader(const platform::File& file);
// The header from its 32 bytes as stored.
Header decodeHeader(const unsigned char* block);

// Field encodings. decodeField never throws: malformed bytes read as the
// empty value of the type. encodeField throws base::Error (naming the field
// and `tableName`) for a value that cannot be stored: wrong type, a number
// too wide for the field.
base::Value decodeField(const FieldDef& field, const char* bytes);
void encodeField(const FieldDef& field, const base::Value& value, char* out,
                 const std::string& tableName);
// A blank record (live flag, blank fields).
std::vector<char> blankRecord(const Layout& layout);

}  // namespace kdx2::store::dbf
