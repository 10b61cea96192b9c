#include "importing/identify.h"

#include <algorithm>

#include "base/text.h"
#include "importing/carne_export.h"
#include "importing/fixed_line.h"

namespace kdx2::importing {

namespace {

constexpr size_t kExportNameStart = 28;
constexpr std::string_view kExportNameMark = "EXPORTA-IRPF";

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// The origin label of a declaration: its kind when the code says, else the
// first five characters of the file's identification.
std::string declarationLabel(const FixedLine& header) {
    const std::string code = header.raw(17, 4);
    if (code == "2421") return "Final";
    if (code == "2420") return "Saida";
    return header.raw(1, 5);
}

std::string twoLastDigits(int year) {
    const std::string text = std::to_string(year);
    return text.substr(text.size() - 2);
}

}  // namespace

bool carneExportName(std::string_view fileName, int taxYear) {
    const std::string wanted = std::string(kExportNameMark) + std::to_string(taxYear);
    if (fileName.size() < kExportNameStart - 1 + wanted.size()) return false;
    return base::asciiUpper(fileName.substr(kExportNameStart - 1, wanted.size())) == wanted;
}

FileIdentity identifyFile(ImportKind kind, std::string_view fileName, LineReader& reader,
                          int taxYear) {
    FileIdentity id;
    const bool carne = kind == ImportKind::CarneLeao;
    if (carne && !carneExportName(fileName, taxYear)) return id;
    const std::optional<Line> first = reader.LELINHA();
    if (!first || first->damaged()) return id;
    const FixedLine header(first->text);
    const std::string yearText = carne ? header.raw(11, 4) : header.raw(9, 4);
    if (!allDigits(yearText)) return id;
    id.year = std::stoi(yearText);
    if (id.year != taxYear && id.year != taxYear - 1) {
        id.verdict = FileIdentity::Verdict::OtherYear;
        return id;
    }
    id.ofTheYear = true;
    const std::string label = carne ? "" : declarationLabel(header);
    id.origin = label + (id.year == taxYear ? "" : " ") + twoLastDigits(id.year);
    id.typeKey = header.raw(1, 8) + yearText;

    std::optional<Line> taxpayer;
    if (carne && firstLineIsTaxpayer(first->text))
        taxpayer = first;
    else
        taxpayer = reader.LELINHA();
    if (!taxpayer || taxpayer->damaged()) return id;
    const FixedLine record(taxpayer->text);
    const std::string wantedType = carne ? "01" : "16";
    const size_t cpfAt = carne ? 21 : 3;
    if (taxpayer->type() != wantedType || !allDigits(record.trimmed(cpfAt, 11))) return id;
    id.cpf = record.trimmed(cpfAt, 11);
    id.name = record.raw(cpfAt + 11, 53);
    id.verdict = FileIdentity::Verdict::Listed;
    return id;
}

}  // namespace kdx2::importing
