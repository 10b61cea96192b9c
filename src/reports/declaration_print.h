#pragma once

// The printed pages of the loaded taxpayer's declaration, called by the
// print selection once per page. They read the taxpayer's working copies
// (the year tables' scratch copies in work areas 21 ... 37), the chart of
// accounts and the session's print settings, and write to
// printing::output().
namespace kdx2::reports {

inline constexpr int kCashBookPage = 5;
inline constexpr int kRuralCashBookPage = 6;
inline constexpr int kTermsPage = 7;

// FOLHA: prints page `page` (1 ... 7); true when something was printed.
bool FOLHA(int page);

}  // namespace kdx2::reports
