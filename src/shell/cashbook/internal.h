#pragma once

#include <optional>
#include <string>

#include "store/table.h"
#include "tax/cash_book.h"

// What the cash book's files share.
namespace kdx2::shell::cashbook {

// The entries being edited: mode 1's private table or the declaration's
// copy of IRM14, both in the area of IRM14's second copy, where the entries
// grid looks for them.
inline constexpr int kWorkArea = 34;
// The rural window (mode 2) takes only accounts from this code on.
inline constexpr const char* kFirstRuralAccount = "8000";

// The chart of accounts (CONTAS), open in its area; throws base::Error when
// it is not open.
store::Table& chart();
// Opens the chart when it is not open. False, after telling the user why,
// when it is missing, damaged or empty: no entry can be made without it.
bool openChart();

}  // namespace kdx2::shell::cashbook
