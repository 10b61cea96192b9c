#pragma once

// Helpers shared by the selection screens; not for use outside this folder.

#include <string>
#include <string_view>

#include "store/table.h"
#include "store/table_numbers.h"

namespace kdx2::shell::selection::detail {

// The transfer between folders names the tables it moves with these.
inline constexpr int kRegister = store::tables::kRegister;
inline constexpr int kFirstYearTable = store::tables::kFirstYearTable;
inline constexpr int kLastYearTable = store::tables::kLastYearTable;
// The second copy of a year table (another folder's) lives in area n + 20.
inline constexpr int kSecondCopy = store::tables::scratch(0);

inline constexpr int kTaxpayerSlot = 3;
// The folder window (MTELA1 screen 4) takes the same slot.
inline constexpr int kFolderSlot = 3;

// Folder forms: "C:\DADOS" (bare, upper case, no trailing backslash unless a
// root) and "C:\DADOS\" (closed).
std::string bareFolder(std::string_view folder);
std::string closedFolder(std::string_view folder);

// Opens year table `number` of `folder` in work area `slot` (the table's own
// number or number + 20) with all its indexes, under `alias` (empty: the
// file name). Missing tables are created. False when it could not be opened
// (the store told the user why).
bool openYearTable(int slot, const std::string& folder, int number, bool exclusive,
                   const std::string& alias = "");

// The register of `folder` (area 9, shared) after the structure check of
// its year tables; LOCARQ becomes the folder. False when it cannot be used.
bool openRegisterOf(const std::string& folder);

// The terminal's folder list (area 50), opened when closed; nullptr when it
// cannot be opened.
store::Table* folderList();

// The CPF as the session and the tables keep it: 11 characters.
std::string cpfKey(std::string_view cpf);

// The key line at the foot of the screen: key names between the highlight
// markers. An empty text clears it.
void keyLine(const std::string& text);

}  // namespace kdx2::shell::selection::detail
