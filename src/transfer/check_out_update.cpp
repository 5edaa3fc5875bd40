// CheckOutUpdate: period transfer, profile writes and the cost balance
// table.
#include "marlcheckout/check_out_update.h"

#include <cstdint>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "marlcheckout/error.h"

namespace marl {

void CheckOutUpdate::Delete(const std::string& /*sDsn*/,
                            std::shared_ptr<FieldValueSet> /*aFilter*/,
                            bool /*bMts*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutUpdate.Delete",
              "Delete is not implemented");
}

int32_t CheckOutUpdate::TransPeriod(const std::string& /*sDsn*/,
                                    Variant& /*tvec*/, Variant& /*tBatchInfo*/,
                                    int32_t& /*nYear*/, int32_t& /*nPeriod*/,
                                    int32_t& /*nNextY*/, int32_t& /*nNextP*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutUpdate.TransPeriod",
              "TransPeriod is not implemented");
}

Variant CheckOutUpdate::SetSystemProfile(const std::string& /*Key*/,
                                         const std::string& /*Value*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CheckOutUpdate.SetSystemProfile",
              "SetSystemProfile is not implemented");
}

int32_t CheckOutUpdate::UpdateCostBalance(const std::string& /*sDsn*/,
                                          bool /*bMts*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CheckOutUpdate.UpdateCostBalance",
              "UpdateCostBalance is not implemented");
}

}  // namespace marl
