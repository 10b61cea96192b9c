#include "store/table_files.h"

#include "platform/drives.h"

namespace kdx2::store {

std::string tempPathBeside(const std::string& path, char kind) {
    return platform::folderOf(path) + platform::baseNameOf(path) + "." + kind + terminalNumber();
}

}  // namespace kdx2::store
