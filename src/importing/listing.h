#pragma once

#include <functional>
#include <string>
#include <vector>

#include "importing/identify.h"
#include "store/table.h"

// The listing step of the imports: which files of the origin folder can be
// offered, and the list of their taxpayers (RELNOME) the user marks.
namespace kdx2::importing {

inline constexpr int kFoundList = 59;  // RELNOME's work area

struct ListedFile {
    std::string path;  // drive path of the file
    std::string name;  // its name in the folder
    FileIdentity id;
};

struct Listing {
    bool folderReadable = true;
    int files = 0;      // files named *.DBK, *.DEC or *.BAK
    int ofTheYear = 0;  // of them, those of the tax year or the year before
    std::vector<ListedFile> listed;
    std::vector<std::string> unreadable;  // names of files that could not be opened
};

// The names of the folder's input files: *.DBK, then *.DEC, then *.BAK.
std::vector<std::string> inputFileNames(const std::string& folder);

// Reads the first lines of every input file of `folder`; `progress` is
// told (file number, count) after each.
Listing listFolder(ImportKind kind, const std::string& folder, int taxYear,
                   const std::function<void(int at, int count)>& progress = {});

// Empties the found list (open exclusively) and writes one record per
// listed file, in the listing's order.
void fillFoundList(store::Table& found, const std::vector<ListedFile>& listed);

// Indexes the found list by name (LISNOME) and CPF (LISNOMEA) in `folder`
// and leaves it in name order at its first record.
void indexFoundList(store::Table& found, const std::string& folder);

// The marked records ("S" in IMPRE, with a CPF) in name order, by record
// number.
std::vector<uint32_t> markedRecords(store::Table& found);

}  // namespace kdx2::importing
