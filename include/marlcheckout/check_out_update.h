// CheckOutUpdate: period transfer and the cost balance table (ProgID
// "MarlCheckOut.CheckOutUpdate"; transaction attribute: required).
//
// Contract
// - Every method but SetSystemProfile takes the connection property string
//   `sDsn` first and makes the object's parser and data source from it;
//   SetSystemProfile works with the pair left by an earlier call on the same
//   object (error 91 when there was none).
// - Failures are raised as marl::Error. TransPeriod and UpdateCostBalance
//   raise them with the fixed source "MarlCheckOut.CheckOutUpdate" and leave
//   an abort vote; Delete and SetSystemProfile pass them on unchanged.
// - Objects handed back (recordsets in TransPeriod) belong to the caller.
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

class MARL_API CheckOutUpdate : public PublicObject {
 public:
  static constexpr const char* kProgId = ids::kCheckOutUpdateProgId;

  // A new object bound to the calling thread's current transaction, if any.
  static std::shared_ptr<CheckOutUpdate> Create();

  CheckOutUpdate();
  ~CheckOutUpdate() override;

  // Deletes the cost balance rows that match the column values of aFilter.
  void Delete(const std::string& sDsn, std::shared_ptr<FieldValueSet> aFilter,
              bool bMts = true);
  // Current and next period, the period's cost balances (tvec) and batch
  // completion rows (tBatchInfo, a detached recordset). Always returns 0.
  int32_t TransPeriod(const std::string& sDsn, Variant& tvec,
                      Variant& tBatchInfo, int32_t& nYear, int32_t& nPeriod,
                      int32_t& nNextY, int32_t& nNextP);
  // Writes one "CB" profile value. Always returns Empty.
  Variant SetSystemProfile(const std::string& Key, const std::string& Value);
  // Rebuilds the cost balance table for the current period and opens it for
  // the next. Always returns 0.
  int32_t UpdateCostBalance(const std::string& sDsn, bool bMts = true);

  const DispatchTable& Table() const override;
};

}  // namespace marl
