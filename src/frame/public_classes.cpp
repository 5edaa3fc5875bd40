// Construction, creation and end of the three public classes.
#include <memory>

#include "frame/frame.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/server.h"

namespace marl {

namespace {

// Binds a new object to the calling thread's current transaction, as the
// registry does for objects it creates.
template <class T>
std::shared_ptr<T> Bound(std::shared_ptr<T> object) {
  if (auto tx = Transaction::Current()) object->BindTransaction(tx);
  return object;
}

}  // namespace

CheckOutInfo::CheckOutInfo() : PublicObject(TxAttribute::Supported) {}
CheckOutInfo::~CheckOutInfo() = default;
std::shared_ptr<CheckOutInfo> CheckOutInfo::Create() {
  RegisterComponent();
  return Bound(std::make_shared<CheckOutInfo>());
}

CheckOutUpdate::CheckOutUpdate() : PublicObject(TxAttribute::Required) {}
CheckOutUpdate::~CheckOutUpdate() = default;
std::shared_ptr<CheckOutUpdate> CheckOutUpdate::Create() {
  RegisterComponent();
  return Bound(std::make_shared<CheckOutUpdate>());
}

CloseData::CloseData() : PublicObject(TxAttribute::Required) {}
CloseData::~CloseData() = default;
std::shared_ptr<CloseData> CloseData::Create() {
  RegisterComponent();
  return Bound(std::make_shared<CloseData>());
}

Variant CloseData::SetCurrentPeriod(const std::string& sDsn, int16_t iNextYear,
                                    int16_t iNextPeriod) {
  bool bUnClosed = false;
  return SetCurrentPeriod(sDsn, iNextYear, iNextPeriod, bUnClosed);
}

}  // namespace marl
