// CloseData: the period-end carry-forward steps (ProgID
// "MarlCheckOut.CloseData"; transaction attribute: required).
//
// Contract
// - Every method takes the connection property string `sDsn` first, makes
//   the object's parser and data source from it, opens its own connection
//   and closes it before it returns.
// - The caller supplies both periods; no method does period arithmetic.
// - Failures are raised as marl::Error and (except in the history moves)
//   leave an abort vote, so the statements already sent roll back with the
//   transaction. Dates are automation dates (days since 1899-12-30).
// Thread safety: apartment model (see public_object.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "marlcheckout/class_ids.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/export.h"
#include "marlcheckout/public_object.h"
#include "marlcheckout/variant.h"

namespace marl {

class MARL_API CloseData : public PublicObject {
 public:
  static constexpr const char* kProgId = ids::kCloseDataProgId;

  // A new object bound to the calling thread's current transaction, if any.
  static std::shared_ptr<CloseData> Create();

  CloseData();
  ~CloseData() override;

  // Monthly balance carry-forward.
  void SetEndBal(const std::string& sDsn, int16_t iYear, int16_t iPeriod);
  void SetBegBal(const std::string& sDsn, int16_t iYear, int16_t iPeriod,
                 int16_t iNextYear, int16_t iNextPeriod);
  // bUnClosed is passed by reference and only read. Always returns Empty.
  Variant SetCurrentPeriod(const std::string& sDsn, int16_t iNextYear,
                           int16_t iNextPeriod, bool& bUnClosed);
  Variant SetCurrentPeriod(const std::string& sDsn, int16_t iNextYear,
                           int16_t iNextPeriod);  // bUnClosed = false

  // Standard and allocation data carry-forward.
  void SetStandardData(const std::string& sDsn, int16_t iYear, int16_t iPeriod,
                       int16_t iNextYear, int16_t iNextPeriod);
  void SetStdCostData(const std::string& sDsn, int16_t iYear, int16_t iPeriod,
                      int16_t iNextYear, int16_t iNextPeriod);
  void SetCostTypeData(const std::string& sDsn, int16_t iYear, int16_t iPeriod,
                       int16_t iNextYear, int16_t iNextPeriod);
  void SetCostSortData(const std::string& sDsn, int16_t iYear, int16_t iPeriod,
                       int16_t iNextYear, int16_t iNextPeriod);
  void SetCostDeputyData(const std::string& sDsn, int16_t iYear,
                         int16_t iPeriod, int16_t iNextYear,
                         int16_t iNextPeriod);

  // Daily-costing balances.
  void DayCost_SetBegBal(const std::string& sDsn, int32_t lYear,
                         int32_t lPeriod,
                         std::shared_ptr<FieldValueSet> dctPeriod);
  void DayCost_SetEndBal(const std::string& sDsn, int32_t lYear,
                         int32_t lPeriod, const std::string& sYearPeriodCycle,
                         double dBeginDate, double dEndDate);
  void SetDayAccount(const std::string& sDsn, int32_t lCurYear,
                     int32_t lCurPeriod, int32_t lNYear, int32_t lNPeriod);

  // Cost-revert carry-forward: bEnd true moves the period into history,
  // false moves it back.
  void SetCostRevertStd(const std::string& sDsn, int32_t lYear, int32_t lPeriod,
                        bool bEnd);
  void SetCostRevertRealEndStk(const std::string& sDsn, int32_t lYear,
                               int32_t lPeriod, bool bEnd);
  void SetCostRevertRealEndBal(const std::string& sDsn, int32_t lYear,
                               int32_t lPeriod, bool bEnd);

  // History archiving and check reset.
  bool EndHistoryData(const std::string& sDsn, int32_t lYear, int32_t lPeriod,
                      bool bEnd);
  bool EndMatDistributeData(const std::string& sDsn, int32_t lYear,
                            int32_t lPeriod, bool bEnd);
  bool EndExpDistributeData(const std::string& sDsn, int32_t lYear,
                            int32_t lPeriod, bool bEnd);
  void UnCheckOnlineBalance(const std::string& sDsn, int32_t lYear,
                            int32_t lPeriod);

  const DispatchTable& Table() const override;
};

}  // namespace marl
