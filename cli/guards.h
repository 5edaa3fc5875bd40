// The guards of close and reopen that an operator can see in advance with
// `check`, and the answer that confirms a close or reopen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "operator.h"

namespace marl::cli {

// "y" or "yes", in any case, blanks around it ignored.
bool IsYes(const std::string& answer);

// Rows of period `p` in the tables that hold its costing work (calculation
// results, counted work in process, material and expense allocation). A
// close of a period without any carries nothing and is refused unless
// --force.
int64_t CostingRows(Database& db, const YearPeriod& p);

// Rows that a close of period `p` leaves (its cost balance, balance and
// history rows). A reopen back into a period without any is refused unless
// --force.
int64_t CloseTraceRows(Database& db, const YearPeriod& p);

// One line of `check`: a check's value and the command it would make the
// tool refuse without --force ("" when the line is fine).
struct Verdict {
  std::string name;     // CheckHasVoucher, ..., CostingWork, CloseToTakeBack
  bool value = false;   // the check's answer
  std::string meaning;  // what the answer says
  std::string refuses;  // "close", "reopen" or "" (fine)
  std::string reason;   // why it refuses
};

// The verdicts for period `p`: the three pre-close checks, the costing work
// a close of `p` needs, and the close a reopen of `p` would take back.
std::vector<Verdict> CheckVerdicts(const Target& target, Database& db,
                                   const YearPeriod& p, int32_t period_count);

}  // namespace marl::cli
