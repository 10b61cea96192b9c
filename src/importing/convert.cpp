#include "importing/convert.h"

#include <memory>

#include "base/cp850.h"
#include "base/named_values.h"
#include "base/text.h"
#include "common/utilities.h"
#include "importing/fixed_line.h"
#include "importing/input_file.h"
#include "importing/services.h"
#include "importing/tables.h"
#include "platform/drives.h"
#include "store/work_areas.h"

namespace kdx2::importing {

using namespace base::literals;

namespace {

// Lines of a problem list shown at most, so that the box fits the screen.
constexpr size_t kProblemsShown = 6;

std::string fileName(const MarkedFile& file) {
    return platform::fileNameOf(file.path);
}

FileOutcome notConverted(const MarkedFile& file, std::vector<std::string> message) {
    FileOutcome outcome;
    outcome.cpf = file.cpf;
    outcome.name = file.name;
    outcome.message = std::move(message);
    return outcome;
}

FileOutcome damagedFile(const MarkedFile& file, const std::vector<Problem>& problems) {
    std::vector<std::string> lines{"O arquivo "_cp + fileName(file) + " não foi convertido:"_cp};
    for (size_t i = 0; i < problems.size() && i < kProblemsShown; ++i)
        lines.push_back(problems[i].text);
    if (problems.size() > kProblemsShown)
        lines.push_back("... e mais " + std::to_string(problems.size() - kProblemsShown) +
                        " linha(s) com erro");
    FileOutcome outcome = notConverted(file, lines);
    outcome.damagedLines = static_cast<int>(problems.size());
    return outcome;
}

std::vector<std::string> wrongTaxpayerCpf(const MarkedFile& file, const std::string& cpf) {
    return {"O arquivo "_cp + fileName(file) + " não foi convertido:"_cp,
            "CPF do contribuinte "_cp + cpf + " com dígitos errados"_cp};
}

// The input file, open for reading, or the reason it cannot be read.
struct Opened {
    std::unique_ptr<InputFile> input;
    std::vector<std::string> failure;
};

Opened openInput(const MarkedFile& file) {
    Opened opened;
    try {
        opened.input = std::make_unique<InputFile>(file.path);
    } catch (const base::Error& error) {
        opened.failure = {"Erro de leitura", error.what()};
        return opened;
    }
    if (opened.input->beingWritten()) {
        opened.failure = {
            "O arquivo "_cp + fileName(file) + " está sendo gravado por outro programa."_cp,
            "Não foi convertido; tente de novo depois."_cp};
    } else if (opened.input->size() == 0) {
        opened.failure = {"O arquivo "_cp + fileName(file) + " está vazio."_cp};
    }
    if (!opened.failure.empty()) opened.input.reset();
    return opened;
}

std::vector<std::string> changedSinceListing(const MarkedFile& file) {
    return {"O arquivo "_cp + fileName(file) + " mudou depois da listagem."_cp,
            "Não foi convertido; liste a pasta de novo."_cp};
}

FileOutcome convertDeclaration(const MarkedFile& file, int taxYear) {
    Opened opened = openInput(file);
    if (!opened.input) return notConverted(file, opened.failure);
    LineReader lines = opened.input->lines();
    const Declaration declaration = readDeclaration(lines, taxYear);
    if (declaration.outcome == Declaration::Outcome::LayoutMismatch)
        return notConverted(
            file, {"Leiaute diferente do esperado.Não é possível converter"_cp, fileName(file)});
    if (declaration.outcome != Declaration::Outcome::Read ||
        declaration.header.typeKey != file.typeKey)
        return notConverted(file, changedSinceListing(file));
    if (!declaration.damaged.empty()) return damagedFile(file, declaration.damaged);
    if (!validCpf(declaration.person.cpf))
        return notConverted(file, wrongTaxpayerCpf(file, declaration.person.cpf));
    FileOutcome outcome = writeDeclaration(declaration);
    if (outcome.result != FileOutcome::Result::Converted) return outcome;
    std::vector<std::string> warnings;
    for (const Problem& warning : declaration.warnings)
        warnings.push_back(warning.text);
    warnings.insert(warnings.end(), outcome.warnings.begin(), outcome.warnings.end());
    outcome.warnings = std::move(warnings);
    return outcome;
}

// The data folder's tables are opened again when the search for the
// taxpayer moved to another folder.
enum class Search { Found, Nowhere, Unavailable };

// The taxpayer in the data folder, or in another registered folder, which
// then becomes the data folder with its tables open.
Search findTaxpayer(const std::string& cpf) {
    if (seekTaxpayer(kRegister, cpf)) return Search::Found;
    const std::string before = base::session().text("LOCARQ");
    base::session().set("CPF", cpf);
    if (!services().findInOtherFolders()) return Search::Nowhere;
    if (base::session().text("LOCARQ") != before && !CRIA_BASE()) return Search::Unavailable;
    return seekTaxpayer(kRegister, cpf) ? Search::Found : Search::Nowhere;
}

FileOutcome convertCarne(const MarkedFile& file) {
    Opened opened = openInput(file);
    if (!opened.input) return notConverted(file, opened.failure);
    LineReader lines = opened.input->lines();
    const CarneExport carne = readCarneExport(lines);
    if (carne.outcome != CarneExport::Outcome::Read || carne.typeKey != file.typeKey ||
        carne.cpf != file.cpf)
        return notConverted(file, changedSinceListing(file));
    if (!carne.damaged.empty()) return damagedFile(file, carne.damaged);
    if (!validCpf(carne.cpf)) return notConverted(file, wrongTaxpayerCpf(file, carne.cpf));
    const Search search = findTaxpayer(carne.cpf);
    if (search == Search::Nowhere)
        return notConverted(file, {"O contribuinte "_cp + file.name,
                                   "não foi localizado em nenhum das pastas logo "_cp,
                                   "não será possível gravar o livro caixa"_cp});
    if (search == Search::Unavailable)
        return notConverted(file, {"O contribuinte "_cp + file.name + " está na pasta "_cp +
                                       base::session().text("LOCARQ") + ",",
                                   "cujas tabelas não puderam ser abertas."_cp});
    base::session().set("CPF", file.cpf);
    base::session().set("NOMECONTR", file.name);
    services().showTaxpayer();
    return writeCarneExport(carne);
}

}  // namespace

FileOutcome FAZCONV(ImportKind kind, const MarkedFile& file, int taxYear) {
    try {
        if (kind == ImportKind::CarneLeao) return convertCarne(file);
        return convertDeclaration(file, taxYear);
    } catch (const base::Error& error) {
        return notConverted(file, {"Erro de leitura", error.what()});
    }
}

}  // namespace kdx2::importing
