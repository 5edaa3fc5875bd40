// CloseData: monthly balance carry-forward, standard and allocation data,
// cost-revert carry-forward, history archiving and check reset.
#include <cstdint>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/error.h"

namespace marl {

void CloseData::SetEndBal(const std::string& /*sDsn*/, int16_t /*iYear*/,
                          int16_t /*iPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetEndBal",
              "SetEndBal is not implemented");
}

void CloseData::SetBegBal(const std::string& /*sDsn*/, int16_t /*iYear*/,
                          int16_t /*iPeriod*/, int16_t /*iNextYear*/,
                          int16_t /*iNextPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetBegBal",
              "SetBegBal is not implemented");
}

Variant CloseData::SetCurrentPeriod(const std::string& /*sDsn*/,
                                    int16_t /*iNextYear*/,
                                    int16_t /*iNextPeriod*/,
                                    bool& /*bUnClosed*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetCurrentPeriod",
              "SetCurrentPeriod is not implemented");
}

void CloseData::SetStandardData(const std::string& /*sDsn*/, int16_t /*iYear*/,
                                int16_t /*iPeriod*/, int16_t /*iNextYear*/,
                                int16_t /*iNextPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetStandardData",
              "SetStandardData is not implemented");
}

void CloseData::SetStdCostData(const std::string& /*sDsn*/, int16_t /*iYear*/,
                               int16_t /*iPeriod*/, int16_t /*iNextYear*/,
                               int16_t /*iNextPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetStdCostData",
              "SetStdCostData is not implemented");
}

void CloseData::SetCostTypeData(const std::string& /*sDsn*/, int16_t /*iYear*/,
                                int16_t /*iPeriod*/, int16_t /*iNextYear*/,
                                int16_t /*iNextPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetCostTypeData",
              "SetCostTypeData is not implemented");
}

void CloseData::SetCostSortData(const std::string& /*sDsn*/, int16_t /*iYear*/,
                                int16_t /*iPeriod*/, int16_t /*iNextYear*/,
                                int16_t /*iNextPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetCostSortData",
              "SetCostSortData is not implemented");
}

void CloseData::SetCostDeputyData(const std::string& /*sDsn*/,
                                  int16_t /*iYear*/, int16_t /*iPeriod*/,
                                  int16_t /*iNextYear*/,
                                  int16_t /*iNextPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetCostDeputyData",
              "SetCostDeputyData is not implemented");
}

void CloseData::SetCostRevertStd(const std::string& /*sDsn*/, int32_t /*lYear*/,
                                 int32_t /*lPeriod*/, bool /*bEnd*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.SetCostRevertStd",
              "SetCostRevertStd is not implemented");
}

void CloseData::SetCostRevertRealEndStk(const std::string& /*sDsn*/,
                                        int32_t /*lYear*/, int32_t /*lPeriod*/,
                                        bool /*bEnd*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CloseData.SetCostRevertRealEndStk",
              "SetCostRevertRealEndStk is not implemented");
}

void CloseData::SetCostRevertRealEndBal(const std::string& /*sDsn*/,
                                        int32_t /*lYear*/, int32_t /*lPeriod*/,
                                        bool /*bEnd*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CloseData.SetCostRevertRealEndBal",
              "SetCostRevertRealEndBal is not implemented");
}

bool CloseData::EndHistoryData(const std::string& /*sDsn*/, int32_t /*lYear*/,
                               int32_t /*lPeriod*/, bool /*bEnd*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CloseData.EndHistoryData",
              "EndHistoryData is not implemented");
}

bool CloseData::EndMatDistributeData(const std::string& /*sDsn*/,
                                     int32_t /*lYear*/, int32_t /*lPeriod*/,
                                     bool /*bEnd*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CloseData.EndMatDistributeData",
              "EndMatDistributeData is not implemented");
}

bool CloseData::EndExpDistributeData(const std::string& /*sDsn*/,
                                     int32_t /*lYear*/, int32_t /*lPeriod*/,
                                     bool /*bEnd*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CloseData.EndExpDistributeData",
              "EndExpDistributeData is not implemented");
}

void CloseData::UnCheckOnlineBalance(const std::string& /*sDsn*/,
                                     int32_t /*lYear*/, int32_t /*lPeriod*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CloseData.UnCheckOnlineBalance",
              "UnCheckOnlineBalance is not implemented");
}

}  // namespace marl
