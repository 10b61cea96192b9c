#include "base/cp850.h"
#include "base/error.h"
#include "common/messages.h"
#include "common/utilities.h"
#include "platform/drives.h"

namespace kdx2::common {

using namespace base::literals;

namespace {

bool isDriveRoot(std::string_view path) {
    return path.size() >= 2 && path.substr(path.size() - 2) == ":\\";
}

}  // namespace

bool VERDIR(std::string_view path) {
    const std::string folder = isDriveRoot(path) ? std::string(path) : BAR_FORA(path);
    return LF_ISFILE(folder, true);
}

bool LF_ISFILE(std::string_view path, bool folder) {
    if (path.empty()) return false;
    try {
        return folder ? platform::folderExists(path) : platform::fileExists(path);
    } catch (const base::Error&) {
        return false;  // a drive that is not mapped holds nothing
    }
}

bool CRIADIR(std::string_view path) {
    const std::string bare = BAR_FORA(path);
    try {
        const std::string absolute = platform::absolutePath(bare);
        if (isDriveRoot(absolute) || platform::folderExists(absolute)) return false;
        if (!platform::folderExists(platform::folderOf(absolute))) return false;
        platform::makeFolder(absolute);
        return platform::folderExists(absolute);
    } catch (const base::Error&) {
        return false;
    }
}

bool CRI_NDIR(std::string_view path, std::string_view purpose) {
    const std::string bare = BAR_FORA(path);
    if (VERDIR(bare)) return true;
    const std::string question = "Pasta nova para "_cp + std::string(purpose) + "? Cria-o ?"_cp;
    if (AVISOSN(question, box::kYesNo) != "S") return false;
    if (CRIADIR(bare)) return true;

    std::string absolute;
    try {
        absolute = platform::absolutePath(bare);
    } catch (const base::Error&) {
        absolute.clear();  // a drive that is not mapped: nothing can be made
    }
    // Level by level, from the first name after the drive ("C:\").
    for (size_t slash = absolute.find('\\', 3); slash != std::string::npos;
         slash = absolute.find('\\', slash + 1)) {
        CRIADIR(absolute.substr(0, slash));
    }
    // Another workstation may have made the last level meanwhile: what
    // counts is that the folder is there.
    if (!absolute.empty() && (CRIADIR(absolute) || VERDIR(absolute))) return true;
    AVISOSN("Problemas ao criar a pasta "_cp + std::string(path), box::kStop);
    return false;
}

bool ESPCIF(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return true;
    AVISOSN("Especifique o drive com ':' após a letra"_cp, box::kStop);
    return false;
}

}  // namespace kdx2::common
