#include "store/table_files.h"

#include "base/named_values.h"
#include "base/text.h"
#include "platform/drives.h"

namespace kdx2::store {

std::string terminalNumber() {
    std::string number = base::alltrim(base::session().text("NUSU"));
    if (number.empty()) return "00";
    if (number.size() == 1) number = "0" + number;
    return number;
}

std::string tempPathBeside(const std::string& path, char kind) {
    return platform::folderOf(path) + platform::baseNameOf(path) + "." + kind + terminalNumber();
}

}  // namespace kdx2::store
