#pragma once

#include <string>
#include <string_view>

#include "importing/line_reader.h"

// Which input files a listing offers: the year of the file, the label of its
// origin and the taxpayer it is about, read from its first two lines.
namespace kdx2::importing {

// The two kinds of file the tax authority's programs write.
enum class ImportKind { Declarations = 1, CarneLeao = 10 };

struct FileIdentity {
    enum class Verdict {
        Listed,        // of the tax year or the year before, with a taxpayer
        OtherYear,     // a file of the kind, but of another year
        NotOfTheKind,  // empty, misnamed, or without the identifying record
    };
    Verdict verdict = Verdict::NotOfTheKind;
    int year = 0;
    bool ofTheYear = false;  // the year is the tax year or the one before
    std::string typeKey;     // TIPO: positions 1-8 and the four-digit year
    std::string origin;      // ORIGEM: the label and the year's two last digits
    std::string cpf;
    std::string name;  // Windows-1252, as in the file
};

// Carnê-leão exports carry "EXPORTA-IRPF" and the tax year at characters
// 28-43 of their name; a shorter name does not.
bool carneExportName(std::string_view fileName, int taxYear);

// Reads the head of a file through `reader` (at most two lines).
FileIdentity identifyFile(ImportKind kind, std::string_view fileName, LineReader& reader,
                          int taxYear);

}  // namespace kdx2::importing
