// CloseData: daily-costing balances.
#include <cstdint>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/error.h"

namespace marl {

void CloseData::DayCost_SetEndBal(const std::string& /*sDsn*/,
                                  int32_t /*lYear*/, int32_t /*lPeriod*/,
                                  const std::string& /*sYearPeriodCycle*/,
                                  double /*dBeginDate*/, double /*dEndDate*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.DayCost_SetEndBal",
              "DayCost_SetEndBal is not implemented");
}

void CloseData::DayCost_SetBegBal(
    const std::string& /*sDsn*/, int32_t /*lYear*/, int32_t /*lPeriod*/,
    std::shared_ptr<FieldValueSet> /*dctPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.DayCost_SetBegBal",
              "DayCost_SetBegBal is not implemented");
}

void CloseData::SetDayAccount(const std::string& /*sDsn*/, int32_t /*lCurYear*/,
                              int32_t /*lCurPeriod*/, int32_t /*lNYear*/,
                              int32_t /*lNPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetDayAccount",
              "SetDayAccount is not implemented");
}

}  // namespace marl
