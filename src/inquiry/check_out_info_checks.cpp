// CheckOutInfo: pre-close checks.
#include <cstdint>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/error.h"

namespace marl {

bool CheckOutInfo::CheckHasVoucher(const std::string& /*sDsn*/,
                                   int32_t /*lYear*/, int32_t /*lPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutInfo.CheckHasVoucher",
              "CheckHasVoucher is not implemented");
}

bool CheckOutInfo::HasCheckedOnlineBalance(const std::string& /*sDsn*/,
                                           int32_t /*lYear*/,
                                           int32_t /*lPeriod*/) {
  throw Error(err::kNotImplemented,
              "MarlCheckOut.CheckOutInfo.HasCheckedOnlineBalance",
              "HasCheckedOnlineBalance is not implemented");
}

bool CheckOutInfo::CheckHaveRevert(const std::string& /*sDsn*/,
                                   int32_t /*lYear*/, int32_t /*lPeriod*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutInfo.CheckHaveRevert",
              "CheckHaveRevert is not implemented");
}

}  // namespace marl
