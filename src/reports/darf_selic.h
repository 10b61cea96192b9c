#pragma once

#include <set>
#include <string>

#include "base/date.h"
#include "reports/darf_charges.h"

// The SELIC rates of the rate table (UFIRM) as the slip reads them, and the
// warnings the user gets when they may not be enough for the interest.
namespace kdx2::reports {

// Every month of the rate table (work area 45, opened when closed and closed
// again). What cannot be read is told in `problem` and the months read
// before it are kept; keys that are not a year and month are skipped, and a
// month stored twice counts once.
SelicTable readSelicTable();

// Tells the user, once per kind of warning in a run, when the interest was
// worked out from an incomplete table: a table that could not be read,
// months missing among those needed, or (the interest ran off the end of
// the table) a table older than the month 30 days before today: an older
// year on the status line, an older month of this year in a message box.
class SelicWarnings {
  public:
    void afterInterest(const InterestRate& interest, const SelicTable& selic,
                       const base::Date& today);
    void reset() { shown_.clear(); }

  private:
    bool firstTime(const std::string& warning);
    std::set<std::string> shown_;
};

}  // namespace kdx2::reports
