#include "importing/listing.h"

#include "base/text.h"
#include "common/utilities.h"
#include "importing/import_text.h"
#include "importing/input_file.h"
#include "platform/drives.h"

namespace kdx2::importing {

namespace {

// The head of a declaration is two lines of a few hundred bytes.
constexpr size_t kHeadChunk = 2048;

bool folderReadable(const std::string& folder) {
    try {
        platform::openFile(folder, platform::File::Mode::ReadOnly);
        return true;
    } catch (const base::Error&) {
        return false;
    }
}

std::string text(const store::Table& t, const char* field) {
    return base::alltrim(t.get(field).text());
}

}  // namespace

std::vector<std::string> inputFileNames(const std::string& folder) {
    const std::string closed = common::BAR_DIR(folder);
    std::vector<std::string> names;
    for (const char* pattern : {"*.DBK", "*.DEC", "*.BAK"}) {
        const std::vector<std::string> found = platform::listFiles(closed + pattern);
        names.insert(names.end(), found.begin(), found.end());
    }
    return names;
}

Listing listFolder(ImportKind kind, const std::string& folder, int taxYear,
                   const std::function<void(int at, int count)>& progress) {
    Listing listing;
    const std::string closed = common::BAR_DIR(folder);
    const std::vector<std::string> names = inputFileNames(folder);
    listing.files = static_cast<int>(names.size());
    if (names.empty()) listing.folderReadable = folderReadable(folder);
    int at = 0;
    for (const std::string& name : names) {
        ++at;
        ListedFile file{closed + name, name, {}};
        try {
            const InputFile input(file.path);
            LineReader lines = input.lines(kHeadChunk);
            file.id = identifyFile(kind, name, lines, taxYear);
        } catch (const base::Error&) {
            listing.unreadable.push_back(name);
        }
        if (file.id.ofTheYear) ++listing.ofTheYear;
        if (file.id.verdict == FileIdentity::Verdict::Listed) listing.listed.push_back(file);
        if (progress) progress(at, listing.files);
    }
    return listing;
}

void fillFoundList(store::Table& found, const std::vector<ListedFile>& listed) {
    found.zap();
    for (const ListedFile& file : listed) {
        if (!found.append()) throw base::Error("RELNOME: " + file.name);
        found.put("NOMEARQ", base::Value(file.name));
        found.put("TIPO", base::Value(file.id.typeKey));
        found.put("ORIGEM", base::Value(file.id.origin));
        found.put("CPF", base::Value(file.id.cpf));
        found.put("NOMECONTR", base::Value(importText(file.id.name)));
        found.put("IMPRE", base::Value(" "));
        found.put("ORDEM", base::Value(0));
    }
    found.flush();
}

void indexFoundList(store::Table& found, const std::string& folder) {
    const std::string closed = common::BAR_DIR(folder);
    if (!found.setOrder("LISNOME")) found.createIndex(closed + "LISNOME.cdx", "NOMECONTR");
    if (!found.setOrder("LISNOMEA")) found.createIndex(closed + "LISNOMEA.cdx", "CPF");
    found.setOrder("LISNOME");
    found.goTop();
}

std::vector<uint32_t> markedRecords(store::Table& found) {
    std::vector<uint32_t> marked;
    found.forEach([&](store::Table& row) {
        if (base::asciiUpper(text(row, "IMPRE")) == "S" && !text(row, "CPF").empty())
            marked.push_back(row.recNo());
        return true;
    });
    return marked;
}

}  // namespace kdx2::importing
