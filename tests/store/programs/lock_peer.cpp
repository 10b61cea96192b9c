// Another workstation, for tests of shared access: opens a table of a drive
// C: mapped to a host folder and holds a lock, or appends records, while the
// test process contends with it.
//
//   store_lock_peer HOSTFOLDER TABLE ACTION [N] [INDEX]
//     record N     lock record N, print "ready", hold until stdin closes
//     table        lock the whole table, print "ready", hold until stdin closes
//     exclusive    open exclusively, print "ready", hold until stdin closes
//     append N     wait for "go" on stdin, append N records (CPF = pid + i,
//                  each unlocked after it is written), print their numbers
// INDEX: an index file to open with the table, kept up to date by the appends.
// Exit status 0 on success, 1 when a lock or append failed, 2 on an error.

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "base/error.h"
#include "platform/drives.h"
#include "store/table.h"

using namespace kdx2;

namespace {

void holdUntilStdinCloses() {
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const std::string action = argv[3];
    const long n = argc > 4 ? std::stol(argv[4]) : 0;
    try {
        platform::configureDrives(std::string("C=") + argv[1]);
        const auto mode =
            action == "exclusive" ? store::OpenMode::Exclusive : store::OpenMode::Shared;
        auto table = store::Table::open(std::string("C:\\") + argv[2], mode);
        if (argc > 5) table->openIndex(std::string("C:\\") + argv[5]);
        if (action == "record") {
            table->goTo(static_cast<uint32_t>(n));
            if (!table->lockRecord()) return 1;
            holdUntilStdinCloses();
        } else if (action == "table") {
            if (!table->lockTable()) return 1;
            holdUntilStdinCloses();
        } else if (action == "exclusive") {
            holdUntilStdinCloses();
        } else if (action == "append") {
            std::cout << "ready" << std::endl;
            std::string go;
            std::getline(std::cin, go);
            const std::string prefix = std::to_string(::getpid());
            for (long i = 0; i < n; ++i) {
                // A peer's table lock makes an append fail: try again, as ADD_REC does.
                int tries = 0;
                while (!table->append())
                    if (++tries > 10000) return 1;
                table->put("CPF", base::Value(prefix + "-" + std::to_string(i)));
                std::cout << table->recNo() << "\n";
                table->unlock();
            }
            std::cout.flush();
        } else {
            return 2;
        }
        table->close();
    } catch (const base::Error& error) {
        std::cerr << error.what() << std::endl;
        return 2;
    }
    return 0;
}
