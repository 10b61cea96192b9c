#include "store/table_files.h"

#include "base/error.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace kdx2::store {

std::string tempPathBeside(const std::string& path, char kind) {
    return platform::folderOf(path) + platform::baseNameOf(path) + "." + kind + terminalNumber();
}

void replaceFileWhole(const std::string& path, std::string_view bytes, char kind) {
    const std::string temp = tempPathBeside(path, kind);
    try {
        platform::File out = platform::createFile(temp);
        out.writeAt(0, bytes.data(), bytes.size());
        out.sync();
        out.close();
        platform::renameFile(temp, path);
    } catch (...) {
        try {
            platform::removeFile(temp);
        } catch (const base::Error&) {
        }
        throw;
    }
}

bool onLocalDisk(const std::string& name) {
    if (name.empty()) return false;
    try {
        return !platform::isNetworkDrive(name);
    } catch (const base::Error&) {
        return false;
    }
}

}  // namespace kdx2::store
