// The reconciliation of a close: per department and in total, the closing
// work in process of the closed period (the calculation's work-in-process
// amounts, cbCalinfo.FOnlineAmount of the cost items) against the opening
// balances of the next (cbBalance.FBegBal of the type 2 rows SetBegBal
// writes), and the difference (opening - closing). Differences are taken
// to the cent: one below half a cent counts as none.
#pragma once

#include <string>
#include <vector>

#include "operator.h"

namespace marl::cli {

struct ReconLine {
  std::string dept;  // department code ("" for the total)
  double closing = 0;
  double opening = 0;
  double Difference() const { return opening - closing; }
  bool Balanced() const;
};

struct Reconciliation {
  std::vector<ReconLine> depts;  // by department code
  ReconLine total;
  bool Balanced() const;
};

// Read inside the close's transaction, after its steps.
Reconciliation Reconcile(Database& db, const YearPeriod& closed,
                         const YearPeriod& next);

// {"closed", "next", "departments": [{"dept", "closing", "opening",
//  "difference", "balanced"}], "total": {...}, "balanced"}
Json ReconciliationJson(const Reconciliation& r, const YearPeriod& closed,
                        const YearPeriod& next);

// The table of a close report; nonzero differences are flagged "<<".
void PrintReconciliation(const Json& r, std::ostream& out);

// A close stopped by --strict on a difference: rolled back, exit 4.
class RolledBack : public Refused {
 public:
  using Refused::Refused;
};

}  // namespace marl::cli
