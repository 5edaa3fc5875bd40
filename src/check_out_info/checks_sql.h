// The queries of the three pre-close checks of CheckOutInfo: one call each,
// the year and period written as plain decimal integers.
//
// Pure functions: no database access, no state; safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace marl::check_out_info {

// Count of the period's opening balance entries that carry a voucher.
std::string HasVoucherQuery(int32_t year, int32_t period);
// Count of the period's checked opening balance entries.
std::string CheckedOnlineBalanceQuery(int32_t year, int32_t period);
// One row per cost-revert table that holds carried rows of the period.
std::string HaveRevertQuery(int32_t year, int32_t period);

}  // namespace marl::check_out_info
