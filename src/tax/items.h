#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "store/table.h"

// Finding a taxpayer's item in a table of the declaration, the way the
// payment slip and the cash book record amounts into named items ("Receita
// Federal", "Carne do INSS").
namespace kdx2::tax {

// Visits the live records of `cpf` in `table`: through its controlling order
// when that is on CPF (a year table), else every record, the CPF compared
// (a scratch copy holds one taxpayer in date or item order). The visitor
// returns false to stop.
void forEachItemOf(store::Table& table, const std::string& cpf,
                   const std::function<bool(store::Table&)>& visit);

// ACHA_ITEM: on the table of the current work area, the item of `cpf` whose `field` equals `value`
// and whose `kindField` equals `kind` (both trimmed and case-blind). When there is none and
// `create` is true, a record is appended with CPF, field and kind set.
// The item found or appended is left current and locked (shared tables),
// with its CPF set. False when nothing was found (create false) or the lock
// or the append was refused within `lockSeconds` (Esc ends the wait).
// Throws base::Error when the table cannot be read or written.
bool ACHA_ITEM(const std::string& cpf, std::string_view field, std::string_view value, bool create,
               std::string_view kindField, std::string_view kind, double lockSeconds = 5);

}  // namespace kdx2::tax
