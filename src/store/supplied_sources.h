#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kdx2::store::supplied {

// The data files compiled into the program (generated from data/ by the
// build): the text of `name` ("sources/municipios.csv", "contas.csv", ...),
// byte for byte as in the repository. Throws base::Error for a name that was
// not compiled in.
std::string_view sourceFile(std::string_view name);
// The names of all compiled-in files.
std::vector<std::string_view> sourceFileNames();

// A delimited text file read into memory: the header row and the data rows,
// every cell as UTF-8 text.
class CsvFile {
  public:
    // RFC 4180: `separator` between cells, cells in double quotes may hold
    // separators, line ends and doubled quotes. A UTF-8 byte-order mark is
    // skipped, CR LF and LF both end a row, a missing final line end is
    // accepted and blank lines are ignored. `what` names the file in errors.
    static CsvFile parse(std::string_view text, std::string_view what, char separator = ',');

    size_t size() const { return rows_.size(); }
    // The cell of `column` (a header name) in data row `row`; throws
    // base::Error naming the file when the column does not exist.
    const std::string& cell(size_t row, std::string_view column) const;
    const std::vector<std::string>& header() const { return header_; }

  private:
    std::string what_;
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
};

// UTF-8 source text to the CP850 the tables hold. Typographic dashes and
// quotes become their ASCII forms; other characters CP850 lacks become "?".
std::string toTableText(std::string_view utf8);
// UTF-8 text in upper case without accents ("São Paulo" -> "SAO PAULO"), in
// ASCII: the form of the name lists users search by typing.
std::string foldedUpper(std::string_view utf8);

// Breaks a paragraph (CP850) into lines of at most `width` bytes at blanks;
// a word longer than the width is cut. An empty paragraph gives one empty
// line.
std::vector<std::string> wrapText(std::string_view paragraph, size_t width);

}  // namespace kdx2::store::supplied
