// Another workstation using a table: opens a table of drive C: (mapped to
// HOSTFOLDER) shared, prints "ready" and keeps it open until stdin closes.
//
//   shell_selection_holder HOSTFOLDER TABLE
// Exit status 0 after the release, 2 when the table could not be opened.

#include <iostream>
#include <string>

#include "base/error.h"
#include "platform/drives.h"
#include "store/table.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    try {
        kdx2::platform::configureDrives(std::string("C=") + argv[1]);
        auto table =
            kdx2::store::Table::open(std::string("C:\\") + argv[2], kdx2::store::OpenMode::Shared);
        std::cout << "ready" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
        }
    } catch (const kdx2::base::Error& error) {
        std::cerr << error.what() << "\n";
        return 2;
    }
    return 0;
}
