#pragma once

#include <string>
#include <vector>

#include "base/named_values.h"
#include "store/table.h"
#include "tax/carne.h"

namespace kdx2::tax {

// The monthly tax procedures that read and write the declaration's tables.
// They work on the tables open in the work areas of their table numbers:
// 22 the workspace copy of the income sources, 23 of the dependants, 26 of
// the payments; 2 and 16 the shared income sources and monthly summaries; 45
// the correction factors and rates (UFIRM).

inline constexpr int kEntriesArea = 22;
inline constexpr int kDependantsArea = 23;
inline constexpr int kPaymentsArea = 26;
inline constexpr int kSharedEntriesArea = 2;
inline constexpr int kMonthlySummaryArea = 16;
inline constexpr int kUfirArea = 45;

// One income-source record (IRM2 layout) and one payment record (IRM6) as
// the accumulation reads them.
IncomeItem readIncomeItem(const store::Table& entries);
PaymentItem readPaymentItem(const store::Table& payments);

// Zeroes the accumulators and adds every live record of `entries` in its
// controlling order. Returns the accumulator touched last, or null.
Accumulator* accumulateEntries(CarneLeao& carne, store::Table& entries);
// The same over the records of one taxpayer of the shared table (index on
// CPF). A blank CPF has no records.
Accumulator* accumulateTaxpayerEntries(CarneLeao& carne, store::Table& entries,
                                       const std::string& cpf);

// What the rewrite of a taxpayer's monthly summaries did.
struct MonthlySummaryWrite {
    int rewritten = 0;  // existing records given their month's amounts
    int appended = 0;   // months that had no record
    int removed = 0;    // surplus records of a month already present
    int failed = 0;     // months (or surplus records) left as they were: lock refused
    bool complete() const { return failed == 0; }
};

// Gives the taxpayer one IRM16 record per month 1 ... 12 holding that month's
// amounts of the accumulators (I2_1 individuals, I2_2 abroad, I2_3 cash book,
// I2_4 social security, I2_5 tax paid), on the table open in area 16. Each
// record keeps its month, so the other figures stored with a month stay
// with it; months without a record take a record of the taxpayer whose month
// is not 1 ... 12 or are appended; a second record of a month is deleted.
// Every change is made under a lock of that record, released at once;
// `lockSeconds` bounds each wait (Esc ends it). Only the taxpayer's own
// records are touched; a blank CPF touches nothing.
MonthlySummaryWrite rewriteMonthlySummary(const CarneLeao& carne, const std::string& cpf,
                                          double lockSeconds = 5);

// Where SOMA_FIS takes the entries from.
enum class EntrySource {
    Workspace,    // the open taxpayer's scratch copy (area 22)
    SharedTable,  // the taxpayer's records of the shared table (area 2, opened
                  // when closed), then rewriting the monthly summaries (area 16)
};

// SOMA_FIS: accumulates the entries of `source`; after the shared table it
// rewrites the taxpayer's monthly summaries, telling the user when some month
// could not be written. The taxpayer is `cpf`, or the session's CPF when it
// is blank. Returns element `column` (1 ... 13) of the accumulator touched
// last as grid text ("" when none).
std::string SOMA_FIS(CarneLeao& carne, EntrySource source, int column, const std::string& cpf = "");

// NRODP: counts dependants (code below 98) into N_DEPEN and alimony
// beneficiaries into DESPALIM, and numbers in place every record whose
// NRODEPEN is empty with its running position in the table's order. Returns
// N_DEPEN.
int NRODP(CarneLeao& carne, store::Table& dependants);
// On the workspace copy of the dependants (area 23).
int NRODP(CarneLeao& carne);

// CARGA_UFIR: looks up `year` + "01" in UFIRM and loads the factors
// (TAB_UFIR) and the settings UFIRATUAL and SIMB_MOED.
void CARGA_UFIR(CarneLeao& carne, store::Table& ufirm, int year, base::NamedValues& settings);
// The session's year and settings, UFIRM in area 45 (opened when closed).
void CARGA_UFIR(CarneLeao& carne);

// The payment records of a table, in its order.
std::vector<PaymentItem> readPayments(store::Table& payments);

// RESOMA with the payments of the workspace copy (area 26); the mode from
// the declaration's CAL_AUTO when not given.
void RESOMA(CarneLeao& carne, bool calAuto);
void RESOMA(CarneLeao& carne);

}  // namespace kdx2::tax
