// Another workstation for the browse tests: opens a table of drive C:
// (mapped to HOSTFOLDER) shared, locks one record, prints "ready" and holds
// the lock until its standard input closes.
//
//   editor_record_holder HOSTFOLDER TABLE RECNO
// Exit status 0, 1 when the lock was refused, 2 on an error.

#include <iostream>
#include <string>

#include "base/error.h"
#include "platform/drives.h"
#include "store/table.h"

using namespace kdx2;

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    try {
        platform::configureDrives(std::string("C=") + argv[1]);
        auto table = store::Table::open(std::string("C:\\") + argv[2], store::OpenMode::Shared);
        table->goTo(static_cast<uint32_t>(std::stoul(argv[3])));
        if (!table->lockRecord()) return 1;
        std::cout << "ready" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        table->close();
    } catch (const base::Error& error) {
        std::cerr << error.what() << std::endl;
        return 2;
    }
    return 0;
}
