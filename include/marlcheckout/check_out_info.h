// CheckOutInfo: the read-only inquiries that precede a close (ProgID
// "MarlCheckOut.CheckOutInfo"; transaction attribute: supported).
//
// Contract
// - Every method takes the connection property string `sDsn` first, parses
//   it into the object's parser and data source, opens its own connection
//   and closes it before it returns.
// - Failures are raised as marl::Error; nothing is reported through return
//   values. The list methods pass errors on unchanged; the three checks
//   raise them with the source "MarlCheckOut.CheckOutInfo.<Method>", CRLF,
//   then the previous source.
// - Lists returned belong to the caller: an ItemList of FieldValueSet
//   records, one per row, keyed by column name.
// - Create through Create() (or the registry by ProgID) so that the object
//   joins the caller's current transaction, if any.
// Thread safety: apartment model (see public_object.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "marlcheckout/class_ids.h"
#include "marlcheckout/containers.h"
#include "marlcheckout/export.h"
#include "marlcheckout/public_object.h"

namespace marl {

class MARL_API CheckOutInfo : public PublicObject {
 public:
  static constexpr const char* kProgId = ids::kCheckOutInfoProgId;

  // A new object bound to the calling thread's current transaction, if any.
  static std::shared_ptr<CheckOutInfo> Create();

  CheckOutInfo();
  ~CheckOutInfo() override;

  // Balance of one period: one row per expense department, product and cost
  // item (every cost item present, zeros where none) with a total item '*'.
  std::shared_ptr<ItemList> GetList(const std::string& sDsn, int32_t aYear,
                                    int32_t aPeriod,
                                    const std::string& aExpDeptID = "",
                                    const std::string& aFilter = "",
                                    bool bViewFull = true);
  // Unit cost accumulated up to the current period of the system profile.
  std::shared_ptr<ItemList> GetCostList(const std::string& sDsn,
                                        const std::string& sFilter = "");
  // Balance of one period for one expense department with year-to-date sums.
  std::shared_ptr<ItemList> GetBalList(const std::string& sDsn, int32_t aYear,
                                       int32_t aPeriod,
                                       const std::string& aExpDeptID,
                                       const std::string& aFilter = "",
                                       int32_t aListType = 1);
  // Batch products' accumulated amounts up to the given period.
  std::shared_ptr<ItemList> GetBatchList(const std::string& sDsn,
                                         int32_t CurYear, int32_t CurPeriod,
                                         const std::string& sFilter = "");

  // True when the period has an opening balance entry with a voucher.
  bool CheckHasVoucher(const std::string& sDsn, int32_t lYear, int32_t lPeriod);
  // True when the period has a checked opening balance entry.
  bool HasCheckedOnlineBalance(const std::string& sDsn, int32_t lYear,
                               int32_t lPeriod);
  // True when the period has carried cost-revert rows.
  bool CheckHaveRevert(const std::string& sDsn, int32_t lYear, int32_t lPeriod);

  const DispatchTable& Table() const override;
};

}  // namespace marl
