#pragma once

// The scratch drive of one benchmark program: a fresh host folder mapped as
// drive C:, removed with everything in it when the program ends.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "base/named_values.h"
#include "platform/drives.h"
#include "store/work_areas.h"

namespace kdx2::bench {

class BenchFolder {
  public:
    explicit BenchFolder(const std::string& name)
        : root_(std::filesystem::temp_directory_path() /
                ("kdx2_bench_" + name + "_" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        platform::configureDrives("C=" + root_.string());
        // Made before a folder kept in a static, the work areas outlive it
        // at exit, when the folder closes them.
        store::workAreas();
    }
    ~BenchFolder() {
        store::workAreas().closeAll();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const std::filesystem::path& root() const { return root_; }

    // The session of workstation 01 on the drive: the year's tables in
    // C:\DADOS (the current folder), work files in C:\TRAB.
    void workstation(int year) const {
        std::filesystem::create_directories(root_ / "DADOS");
        std::filesystem::create_directories(root_ / "TRAB");
        platform::setCurrentFolder("C:\\DADOS");
        base::NamedValues& s = base::session();
        s.set("LOCARQ", "C:\\DADOS\\");
        s.set("ARQDEF", "C:\\");
        s.set("LOCTRAB", "C:\\TRAB\\");
        s.set("NUSU", "01");
        s.set("QUEANO", year);
    }

  private:
    std::filesystem::path root_;
};

}  // namespace kdx2::bench
