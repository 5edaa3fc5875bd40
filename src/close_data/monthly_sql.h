// Statement texts of the monthly close steps of CloseData.
//
// Every function returns the exact command texts one method sends, in order;
// each element of a returned vector is one execute call on the connection
// (several statements inside one element are sent as one batch). Years and
// periods are written as plain decimal integers; the period key of
// CurrentPeriodTexts is written as year + 0.0001 * period with up to 15
// significant digits and no trailing zeros.
//
// Pure functions: no database access, no state; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marl::close_data {

// Ending in-process rows (types 3 and 4) of the closing period: 4 calls.
std::vector<std::string> EndBalTexts(int16_t year, int16_t period);

// Beginning rows (types 1 and 2) and the in-process detail of the next
// period from the closing period: 7 calls.
std::vector<std::string> BegBalTexts(int16_t year, int16_t period,
                                     int16_t next_year, int16_t next_period);

// The two profile updates; with `unclosed` the second call also removes the
// balances after the new current period: 2 calls.
std::vector<std::string> CurrentPeriodTexts(int16_t next_year,
                                            int16_t next_period, bool unclosed);

// The tables copied by the single-table carry-forwards.
enum class CopyTable { kRationStandard, kCostType, kSortStandard, kDeputy };

// Clearing and copy of one table into the next period: 2 calls.
std::vector<std::string> SingleCopyTexts(CopyTable table, int16_t year,
                                         int16_t period, int16_t next_year,
                                         int16_t next_period);

// Clearing batch (all six standard-cost tables) and copy batch: 2 calls.
std::vector<std::string> StdCostTexts(int16_t year, int16_t period,
                                      int16_t next_year, int16_t next_period);

// The three cost-revert table families.
enum class RevertTable { kStd, kRealEndStk, kRealEndBal };

// The working table of a family ("CBCarriedCostRevertStdInfo", ...).
std::string RevertWorkingTable(RevertTable table);

// Move of one period between a cost-revert table and its history twin
// (to history when `to_history`): 1 call.
std::string CostRevertText(RevertTable table, int32_t year, int32_t period,
                           bool to_history);

// Moves of the material and expense distribution rows: 1 call each.
std::string MatDistributeText(int32_t year, int32_t period, bool to_history);
std::string ExpDistributeText(int32_t year, int32_t period, bool to_history);

// Reset of the check marks of the opening balances and adjustments: 1 call.
std::string UnCheckText(int32_t year, int32_t period);

}  // namespace marl::close_data
