// Texts of the pre-close checks (see checks_sql.h), byte for byte.
#include "check_out_info/checks_sql.h"

namespace marl::check_out_info {
namespace {

std::string Num(int32_t v) { return std::to_string(v); }

}  // namespace

std::string HasVoucherQuery(int32_t year, int32_t period) {
  return " SELECT count(*) FROM CBOnInitBalance WHERE FVchInterID<>0 AND "
         "FYear=" +
         Num(year) + " AND FPeriod=" + Num(period) + "\r\n";
}

std::string CheckedOnlineBalanceQuery(int32_t year, int32_t period) {
  return " SELECT count(*) FROM CBOnInitBalance WHERE FChecked<>0 AND FYear=" +
         Num(year) + " AND FPeriod=" + Num(period) + "\r\n";
}

std::string HaveRevertQuery(int32_t year, int32_t period) {
  const std::string y = Num(year);
  const std::string p = Num(period);
  return "SELECT top 1 FID FROM CBCarriedCostRevertRealEndBal WHERE FYear=" +
         y + " AND FPeriod=" + p +
         "\r\nUNION all \r\n"
         "SELECT top 1 FID FROM CBCarriedCostRevertRealEndStk WHERE FYear=" +
         y + " AND FPeriod=" + p + "\r\n";
}

}  // namespace marl::check_out_info
