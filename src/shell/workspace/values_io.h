#pragma once

#include <string>

#include "store/table.h"

// Moving working values between the session and table records.
namespace kdx2::shell::workspace {

// Every field of the current record (CPF excepted) into the working value of
// the same name.
void valuesFromRecord(const store::Table& table);
// Every field the session has a value for into the current record.
void valuesToRecord(store::Table& table);

// The monthly figures (IRM16 copy): the carnê-leão grid and I3_xx/I4_xx + mm.
void loadMonthlyValues(store::Table& monthly);
void storeMonthlyValues(store::Table& monthly, const std::string& cpf);
// The rural values (IRM10 copy): the I4/I5/I6/I7 values, OPTA and REND_RURAL.
void loadRuralValues(store::Table& rural);
void storeRuralValues(store::Table& rural, const std::string& cpf);
// A one-row copy (IRM1, the register): appends the row when the table is
// empty, then every field from the working values.
void storeSingleRow(store::Table& table, const std::string& cpf);

// The working values into the scratch copies that stand for them: the
// register, the summary, the rural and the monthly copies.
void storeWorkingValues(const std::string& cpf);

// The session's CPF as stored (11 characters).
std::string currentCpf();

}  // namespace kdx2::shell::workspace
