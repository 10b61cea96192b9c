#pragma once

#include <optional>
#include <string>

#include "base/date.h"
#include "base/value.h"
#include "editor/browse.h"
#include "store/table.h"

// The checks of the cells of the declaration's list screens: codes against
// their tables, identifiers by their check digits, dependants by the age
// rules, accounts by the kind of entry. A refused value keeps the cursor in
// the cell after a message in Portuguese; nothing invalid is stored.
namespace kdx2::editor {

// The rule of a cell of a list screen by its field (none: empty rule).
CellRule fieldRule(int screen, int column);

// ---- The rules, usable on their own -------------------------------------------

// The last year of birth a dependant of `relation` may have in tax year
// `taxYear` and still be claimed (nullopt: no age limit for that relation).
std::optional<int> ageLimitYear(int relation, int taxYear);

enum class AgeVerdict { Fine, LeavesThisYear, TooOld };
AgeVerdict ageVerdict(int relation, const base::Date& birth, int taxYear);

// TES_MES / VEJA_ANO: a birth date against the relation code. Too old:
// the age message and false. Born in the limit year: the month is kept in
// the session's I5_5 (the month the dependant leaves).
bool TES_MES(const base::Date& birth, int relation);

// TES_COD: a code of the dependency relations (mode 3) or of the payments
// (mode 4). Found: its description on the status line. Not found: the list
// opens and the code chosen replaces the typed one; false when none is.
bool TES_COD(base::Value& code, int mode);

// CHECK_LETRA: the kind of an income from individuals (blank, T, A, O),
// with the advice about the CPFs filled in.
bool CHECK_LETRA(const std::string& letter, const std::string& payerCpf,
                 const std::string& beneficiaryCpf);

// FCONFNDEDU: a non-deductible part only for education (codes 1 ... 4); it
// becomes 0 with a warning for other codes.
void FCONFNDEDU(base::Value& value, int paymentCode);

// CONF_DEP phase 2: the dependant number of a payment.
bool CONF_DEP(int number, int paymentCode);

// VE_RELDEP: the CPF must be one of the taxpayer's dependants.
bool VE_RELDEP(const std::string& cpf);

// VAL_COD: the activity code (mode 1), the third party's condition (2) or
// the exploitation condition (3) of a rural property.
bool VAL_COD(int value, int mode);
// VAL_PARTI1 / VAL_PARTI2: the participation of a property.
bool VAL_PARTI1(double percentage);
bool VAL_PARTI2(double third, double owner);

// The detail form of the rural property on the current record (address,
// registrations, third party), in the digital rural cash-book mode. True
// when the form was confirmed and written; a blank row has no form.
bool ruralPropertyForm(store::Table& property);

// A date of an entry must fall in the base year (ANOBASE).
bool inBaseYear(const base::Date& date);

// MUDA_LEAO: switches how the carnê-leão total is carried to the summary.
void MUDA_LEAO();

// TERMINOU: "Confirma a alteração ?" with yes, no and cancel: "S", "N" or
// "I".
std::string TERMINOU();

}  // namespace kdx2::editor
