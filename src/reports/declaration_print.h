#pragma once

#include <functional>

#include "tax/projection.h"

// The printed pages of the loaded taxpayer's declaration, called by the
// print selection once per page. They read the taxpayer's rows of the year
// tables (the open declaration's scratch copies in work areas 21 ... 37
// when it is open, otherwise the data folder's tables), the taxpayer's
// working values, the chart of accounts and the session's print settings,
// and write to printing::output().
namespace kdx2::reports {

inline constexpr int kIncomePage = 1;
inline constexpr int kRuralPage = 2;
inline constexpr int kPaymentsPage = 3;
inline constexpr int kSummaryPage = 4;
inline constexpr int kCashBookPage = 5;
inline constexpr int kRuralCashBookPage = 6;
inline constexpr int kTermsPage = 7;

// The yearly summary of the loaded taxpayer, worked out again.
using SummarySource = std::function<tax::Summary()>;

// FOLHA: prints page `page` (1 ... 7); true when something was printed.
// The summary page asks `summary` for its figures (without it the page is
// not printed).
bool FOLHA(int page, const SummarySource& summary = {});

}  // namespace kdx2::reports
