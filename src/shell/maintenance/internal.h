#pragma once

// Helpers shared by the maintenance commands; not for use outside this folder.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/table.h"

namespace kdx2::shell::maintenance::detail {

inline constexpr int kFirstYearTable = 1;
inline constexpr int kLastYearTable = 17;
inline constexpr int kRegister = 9;
inline constexpr int kRates = 45;
inline constexpr int kMessageSlot = 10;

// "C:\DADOS" or "C:\DADOS\" as "C:\DADOS\".
std::string closedFolder(std::string_view folder);

// Tables opened exclusively and kept so until the object goes: while held,
// no other workstation can open them, so their files may be deleted or
// rewritten safely.
class ExclusiveTables {
  public:
    ExclusiveTables() = default;
    ExclusiveTables(const ExclusiveTables&) = delete;
    ExclusiveTables& operator=(const ExclusiveTables&) = delete;
    ~ExclusiveTables() { release(); }

    // Opens the table at `path` exclusively, without waiting. False when
    // another open of it exists (here or on another workstation); a file
    // that is missing or cannot be read is not held and counts as free.
    bool take(const std::string& path);
    // Opens and holds the table at `path`; throws store::InUseError when it
    // is open elsewhere, base::Error when it cannot be read.
    store::Table& hold(const std::string& path);
    // The held table of that path (case-blind), or nullptr.
    store::Table* find(std::string_view path) const;
    void release();

  private:
    std::vector<std::unique_ptr<store::Table>> tables_;
};

// Rebuilds the index file `indexName` of `folder` in place from its table,
// when that table is held (readable and nobody else's): a complete new file
// replaces it, or, when it cannot be read, it goes and the table's next
// opening builds it. An index whose table is not held stays as it is. False
// (the user told why) when it could not be rebuilt.
bool rebuildIndexFile(const std::string& folder, const std::string& indexName,
                      const ExclusiveTables& held);

}  // namespace kdx2::shell::maintenance::detail
