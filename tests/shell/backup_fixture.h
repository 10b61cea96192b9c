#pragma once

// Data folders for the backup, restore and deletion tests: the selection
// tests' two folders (C:\ORIG, C:\DEST) with taxpayers, a backup folder
// C:\BK, and the year tables of a folder read back as bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "selection_fixture.h"
#include "shell/backup/backup.h"

namespace kdx2::backup_test {

using selection_test::rowsOfCpf;
using selection_test::validCpf;

inline const std::string kAna = validCpf("111444777");
inline const std::string kBeto = validCpf("222555888");
inline const std::string kCaio = validCpf("333666999");

class BackupTest : public selection_test::SelectionTest {
  protected:
    void SetUp() override {
        SelectionTest::SetUp();
        std::filesystem::create_directories(root / "BK");
        addTaxpayer("C:\\ORIG\\", kAna, "ANA", {"Loja A", "Loja B"});
        addTaxpayer("C:\\ORIG\\", kBeto, "BETO", {"Oficina"});
        addTaxpayer("C:\\ORIG\\", kCaio, "CAIO", {"Feira", "Banca", "Escola"});
    }

    // The bytes of every file of a folder whose name starts with IRM (any
    // case), by upper-case name.
    std::map<std::string, std::string> tableBytes(const std::string& folder) const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
            std::string name = entry.path().filename().string();
            for (char& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (!name.starts_with("IRM") || !name.ends_with(".DBF")) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            files[name] = bytes.str();
        }
        return files;
    }

    // Every file name of a folder (to see that no temporary file stayed).
    std::set<std::string> fileNames(const std::string& folder) const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root / folder))
            names.insert(entry.path().filename().string());
        return names;
    }
};

// The whole taxpayer: a summary, its income rows, the register and a bank
// account.
inline std::map<int, int> whole(int incomes) {
    return {{1, 1}, {2, incomes}, {9, 1}, {17, 1}};
}

}  // namespace kdx2::backup_test
