#pragma once

// Helpers shared by the backup, restore and deletion; not for use outside
// this folder.

#include <string>
#include <string_view>
#include <vector>

#include "shell/backup/backup.h"

namespace kdx2::shell::backup::detail {

inline constexpr int kFirstTable = 1;
inline constexpr int kLastTable = 17;
inline constexpr int kRegister = 9;

// "C:\DADOS" and "C:\DADOS\" both give "C:\DADOS\" (upper case).
std::string closed(std::string_view folder);

// The index files of year table `n` ("IRM2.cdx", "IRM9B.cdx"); removing
// them by these names finds them whatever the case on disk.
std::vector<std::string> indexFilesOf(int n);

// MENS kind 12 "Espaço insuficente no Disco. (T)roque ou (A)bandona".
SpaceAnswer askSpaceQuestion();

}  // namespace kdx2::shell::backup::detail
