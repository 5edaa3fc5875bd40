// CheckOutInfo: cost balance lists.
#include <cstdint>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/error.h"

namespace marl {

std::shared_ptr<ItemList> CheckOutInfo::GetList(
    const std::string& /*sDsn*/, int32_t /*aYear*/, int32_t /*aPeriod*/,
    const std::string& /*aExpDeptID*/, const std::string& /*aFilter*/,
    bool /*bViewFull*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutInfo.GetList",
              "GetList is not implemented");
}

std::shared_ptr<ItemList> CheckOutInfo::GetCostList(
    const std::string& /*sDsn*/, const std::string& /*sFilter*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutInfo.GetCostList",
              "GetCostList is not implemented");
}

std::shared_ptr<ItemList> CheckOutInfo::GetBalList(
    const std::string& /*sDsn*/, int32_t /*aYear*/, int32_t /*aPeriod*/,
    const std::string& /*aExpDeptID*/, const std::string& /*aFilter*/,
    int32_t /*aListType*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutInfo.GetBalList",
              "GetBalList is not implemented");
}

std::shared_ptr<ItemList> CheckOutInfo::GetBatchList(
    const std::string& /*sDsn*/, int32_t /*CurYear*/, int32_t /*CurPeriod*/,
    const std::string& /*sFilter*/) {
  throw Error(err::kNotImplemented, "MarlCheckOut.CheckOutInfo.GetBatchList",
              "GetBatchList is not implemented");
}

}  // namespace marl
