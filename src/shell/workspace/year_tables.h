#pragma once

#include <string>
#include <vector>

// Opening and closing the data folder's year tables for a load or a save.
namespace kdx2::shell::workspace {

// 1 ... 17.
std::vector<int> allYearTables();

// Opens each table in its work area (the register, 9, always shared; the
// others shared or exclusive); the open completes any save of that table
// that a stopped program left half done (store/journal.h). Returns 0 when all opened, else the
// number of the first table that could not be opened (the others stay open).
int openYearTables(const std::vector<int>& tables, bool exclusive);
// Closes the year tables, except the register, which the program keeps open.
void closeYearTables();

// The CPF whose unsaved work the scratch copies hold, or "" when they do not
// hold a whole workspace of one taxpayer (a copy missing or in use by another
// copy of the program, or rows of another CPF). A copy that cannot be read
// throws base::Error.
std::string recoverableCpf();

}  // namespace kdx2::shell::workspace
