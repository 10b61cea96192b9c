#include "store/supplied_sources.h"

#include <algorithm>
#include <utility>

#include "base/cp850.h"
#include "base/error.h"
#include "base/text.h"

namespace kdx2::store::supplied {

using namespace kdx2::base::literals;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Reads one row starting at `pos`; returns false at the end of the text.
bool readRow(std::string_view text, size_t& pos, char separator, std::vector<std::string>& cells,
             std::string_view what) {
    cells.clear();
    if (pos >= text.size()) return false;
    std::string cell;
    bool quoted = false;
    bool cellStarted = false;
    while (pos < text.size()) {
        char c = text[pos++];
        if (quoted) {
            if (c != '"') {
                cell += c;
            } else if (pos < text.size() && text[pos] == '"') {
                cell += '"';
                ++pos;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"' && !cellStarted) {
            quoted = true;
            cellStarted = true;
        } else if (c == separator) {
            cells.push_back(std::move(cell));
            cell.clear();
            cellStarted = false;
        } else if (c == '\r' && pos < text.size() && text[pos] == '\n') {
            // CR LF: the LF ends the row on the next turn.
        } else if (c == '\n') {
            break;
        } else {
            cell += c;
            cellStarted = true;
        }
    }
    if (quoted) {
        throw base::Error("Aspas sem fechamento no arquivo de dados "_cp + std::string(what));
    }
    cells.push_back(std::move(cell));
    return true;
}

bool isBlankRow(const std::vector<std::string>& cells) {
    return cells.size() == 1 && base::alltrim(cells[0]).empty();
}

// ASCII letter of an accented Latin-1 letter, or 0 when it has none.
char unaccented(char32_t c) {
    struct Range {
        char32_t from;
        char32_t to;
        char letter;
    };
    static constexpr Range ranges[] = {
        {U'À', U'Å', 'A'}, {U'Ç', U'Ç', 'C'}, {U'È', U'Ë', 'E'}, {U'Ì', U'Ï', 'I'},
        {U'Ñ', U'Ñ', 'N'}, {U'Ò', U'Ö', 'O'}, {U'Ù', U'Ü', 'U'}, {U'Ý', U'Ý', 'Y'},
        {U'à', U'å', 'a'}, {U'ç', U'ç', 'c'}, {U'è', U'ë', 'e'}, {U'ì', U'ï', 'i'},
        {U'ñ', U'ñ', 'n'}, {U'ò', U'ö', 'o'}, {U'ù', U'ü', 'u'}, {U'ý', U'ý', 'y'},
        {U'ÿ', U'ÿ', 'y'}, {U'ª', U'ª', 'a'}, {U'º', U'º', 'o'},
    };
    for (const Range& r : ranges) {
        if (c >= r.from && c <= r.to) return r.letter;
    }
    return 0;
}

// ASCII stand-ins for the typographic characters the sources use and CP850
// lacks.
const char* asciiStandIn(char32_t c) {
    switch (c) {
        case U'–':
        case U'—':
        case U'‐':
            return "-";
        case U'‘':
        case U'’':
            return "'";
        case U'“':
        case U'”':
            return "\"";
        default:
            return nullptr;
    }
}

}  // namespace

// Written by the build from data/ (see src/store/libraries.cmake).
extern const std::pair<std::string_view, std::string_view> kEmbeddedFiles[];
extern const unsigned kEmbeddedFileCount;

std::string_view sourceFile(std::string_view name) {
    for (unsigned i = 0; i < kEmbeddedFileCount; ++i) {
        if (kEmbeddedFiles[i].first == name) return kEmbeddedFiles[i].second;
    }
    throw base::Error("Arquivo de dados não incluído no programa: "_cp + std::string(name));
}

std::vector<std::string_view> sourceFileNames() {
    std::vector<std::string_view> names;
    for (unsigned i = 0; i < kEmbeddedFileCount; ++i)
        names.push_back(kEmbeddedFiles[i].first);
    return names;
}

CsvFile CsvFile::parse(std::string_view text, std::string_view what, char separator) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    CsvFile file;
    file.what_ = std::string(what);
    size_t pos = 0;
    std::vector<std::string> cells;
    bool haveHeader = false;
    while (readRow(text, pos, separator, cells, what)) {
        if (isBlankRow(cells)) continue;
        if (!haveHeader) {
            file.header_ = cells;
            haveHeader = true;
            continue;
        }
        if (cells.size() != file.header_.size()) {
            throw base::Error("Linha com número errado de colunas no arquivo de dados "_cp +
                              std::string(what) + ": " + base::cp850::fromUtf8(cells[0]));
        }
        file.rows_.push_back(cells);
    }
    if (!haveHeader) {
        throw base::Error("Arquivo de dados vazio: "_cp + std::string(what));
    }
    return file;
}

const std::string& CsvFile::cell(size_t row, std::string_view column) const {
    auto it = std::find(header_.begin(), header_.end(), column);
    if (it == header_.end()) {
        throw base::Error("Coluna "_cp + std::string(column) +
                          " não existe no arquivo de dados "_cp + what_);
    }
    return rows_.at(row).at(static_cast<size_t>(it - header_.begin()));
}

std::string toTableText(std::string_view utf8) {
    std::string plain;
    plain.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = base::cp850::decodeUtf8(utf8, pos);
        if (const char* standIn = asciiStandIn(c)) {
            plain += standIn;
        } else {
            base::cp850::appendUtf8(plain, c);
        }
    }
    return base::cp850::fromUtf8(plain);
}

std::string foldedUpper(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = base::cp850::decodeUtf8(utf8, pos);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (char letter = unaccented(c)) {
            out += letter;
        } else if (const char* standIn = asciiStandIn(c)) {
            out += standIn;
        } else {
            out += '?';
        }
    }
    return base::asciiUpper(out);
}

std::vector<std::string> wrapText(std::string_view paragraph, size_t width) {
    std::vector<std::string> lines;
    std::string line;
    size_t pos = 0;
    while (pos < paragraph.size()) {
        while (pos < paragraph.size() && paragraph[pos] == ' ')
            ++pos;
        size_t end = paragraph.find(' ', pos);
        if (end == std::string_view::npos) end = paragraph.size();
        std::string_view word = paragraph.substr(pos, end - pos);
        pos = end;
        if (word.empty()) break;
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(std::move(line));
            line.clear();
        }
        while (word.size() > width) {
            if (!line.empty()) {
                lines.push_back(std::move(line));
                line.clear();
            }
            lines.emplace_back(word.substr(0, width));
            word.remove_prefix(width);
        }
        if (!line.empty()) line += ' ';
        line += word;
    }
    if (!line.empty() || lines.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace kdx2::store::supplied
