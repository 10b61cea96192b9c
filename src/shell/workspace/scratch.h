#pragma once

#include <string>

#include "store/table.h"

// The terminal's scratch copies of the open taxpayer: for each year table n
// (1 ... 17) the file LOCTRAB + "TMP_" + n + NUSU in the work folder, holding
// the taxpayer's rows of IRM<n>, opened exclusively in work area n + 20 with
// a temporary index of the same name. They outlive the program, so that
// unsaved work can be brought back.
namespace kdx2::shell::workspace {

inline constexpr int kFirstTable = 1;
inline constexpr int kLastTable = 17;
inline constexpr int kRegister = 9;  // IRM9, the taxpayer register
inline constexpr int kSummary = 1;   // IRM1
inline constexpr int kSources = 2;   // IRM2, paying sources and entries
inline constexpr int kAssets = 4;    // IRM4
inline constexpr int kDebts = 5;     // IRM5
inline constexpr int kPayments = 6;  // IRM6
inline constexpr int kRural = 10;    // IRM10
inline constexpr int kMonthly = 16;  // IRM16
inline constexpr int kBanks = 17;    // IRM17

constexpr int scratchArea(int table) {
    return table + 20;
}

// Drive path of the scratch copy, without extension ("C:\DADOS\TMP_203").
std::string scratchPath(int table);
// The index key its temporary index is built on ("DTOS(DT_LC)", "I7_0", ...).
std::string scratchKey(int table);
bool scratchExists(int table);

// Replaces the scratch copy by an empty one with the year table's structure
// (closing it first when it is open).
void createScratch(int table);
// Copies the live rows of `cpf` from `year` (open on its CPF index) into the
// scratch copy, which must be open in its area.
void copyRowsToScratch(store::Table& year, const std::string& cpf, int table);
// Opens the scratch copy exclusively in its area and builds its index on
// `key` (empty: its usual key). Throws base::Error when it cannot.
void openScratch(int table, const std::string& key = "");
// The open scratch copy (throws base::Error when its area is closed).
store::Table& scratch(int table);
// Rebuilds the open scratch copy's index on `key` (empty: its usual key).
void reindexScratch(int table, const std::string& key = "");
// Writes and closes every scratch copy (areas 21 ... 37).
void closeScratches();
// Appends a blank row and makes it current. Throws base::Error naming the
// table when the row could not be added, so that what the caller writes next
// never lands on the row that was current before.
void appendRow(store::Table& table);

}  // namespace kdx2::shell::workspace
