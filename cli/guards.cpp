// The guards of close and reopen (see guards.h).
#include "guards.h"

#include <algorithm>
#include <cctype>

#include "marlcheckout/check_out_info.h"

namespace marl::cli {

namespace {

const char* const kCostingTables[] = {"cbCalinfo", "cbCalinfoDetail",
                                      "cbCostObjCheck", "cbMaterielInfo",
                                      "cbExpenseDistributeInfo"};

const char* const kCloseTraceTables[] = {
    "CB_CostBalance",
    "cbBalance",
    "CBCarriedCostRevertStdInfo_History",
    "CBCarriedCostRevertRealEndStk_History",
    "CBCarriedCostRevertRealEndBal_History",
    "cbMaterielInfo_History",
    "cbExpenseDistributeInfo_History"};

}  // namespace

bool IsYes(const std::string& answer) {
  const size_t first = answer.find_first_not_of(" \t\r");
  if (first == std::string::npos) return false;
  std::string a =
      answer.substr(first, answer.find_last_not_of(" \t\r") + 1 - first);
  std::transform(a.begin(), a.end(), a.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return a == "y" || a == "yes";
}

int64_t CostingRows(Database& db, const YearPeriod& p) {
  int64_t rows = 0;
  for (const char* t : kCostingTables) rows += db.CountPeriod(t, p);
  return rows;
}

int64_t CloseTraceRows(Database& db, const YearPeriod& p) {
  int64_t rows = 0;
  for (const char* t : kCloseTraceTables) rows += db.CountPeriod(t, p);
  return rows;
}

std::vector<Verdict> CheckVerdicts(const Target& target, Database& db,
                                   const YearPeriod& p, int32_t period_count) {
  auto info = NewComponent<CheckOutInfo>();
  std::vector<Verdict> v;
  const bool voucher = info->CheckHasVoucher(target.dsn, p.year, p.period);
  v.push_back({"CheckHasVoucher", voucher, "vouchers made for opening balances",
               voucher ? "reopen" : "",
               voucher ? "take the vouchers back first" : ""});
  v.push_back({"HasCheckedOnlineBalance",
               info->HasCheckedOnlineBalance(target.dsn, p.year, p.period),
               "checked opening balances", "", ""});
  v.push_back({"CheckHaveRevert",
               info->CheckHaveRevert(target.dsn, p.year, p.period),
               "carried cost-revert rows", "", ""});
  const bool costed = CostingRows(db, p) > 0;
  v.push_back({"CostingWork", costed, "rows of a costing run in the period",
               costed ? "" : "close",
               costed ? "" : "nothing to carry: the period was not costed"});
  const YearPeriod back = PreviousPeriod(p, period_count);
  const bool closed = CloseTraceRows(db, back) > 0;
  v.push_back({"CloseToTakeBack", closed,
               "rows left by the close of " + ToText(back),
               closed ? "" : "reopen",
               closed ? "" : ToText(back) + " shows no close to take back"});
  return v;
}

}  // namespace marl::cli
