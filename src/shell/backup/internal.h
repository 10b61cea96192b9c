#pragma once

// Helpers shared by the backup, restore and deletion; not for use outside
// this folder.

#include <string>
#include <string_view>

#include "shell/backup/backup.h"

namespace kdx2::shell::backup::detail {

inline constexpr int kFirstTable = 1;
inline constexpr int kLastTable = 17;
inline constexpr int kRegister = 9;

// "C:\DADOS" and "C:\DADOS\" both give "C:\DADOS\" (upper case).
std::string closed(std::string_view folder);

// MENS kind 12 "Espaço insuficente no Disco. (T)roque ou (A)bandona".
SpaceAnswer askSpaceQuestion();

}  // namespace kdx2::shell::backup::detail
