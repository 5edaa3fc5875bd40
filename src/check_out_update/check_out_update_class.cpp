// CheckOutUpdate: construction, the dispatch table (every method with its
// dispatch identifier, parameters and result, and the handler calling the typed
// method) and the class's registry entry.
#include "check_out_update/check_out_update_class.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/globals.h"
#include "frame/frame.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/class_ids.h"
#include "platform/member_builders.h"

namespace marl {

namespace {

using members::I4Ref;
using members::In;
using members::kAny;
using members::kBool;
using members::kI4;
using members::kObject;
using members::kText;
using members::Method;
using members::Opt;
using members::Ref;
using members::Self;

DispatchTable MakeCheckOutUpdateTable() {
  DispatchTable t;
  t.class_name = "CheckOutUpdate";
  t.members = {
      Method("Delete", 0x60030003,
             {In("sDsn", kText), In("aFilter", kObject),
              Opt("bMts", kBool, Variant::Bool(true))},
             kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               Self<CheckOutUpdate>(s).Delete(a[0].ToText(),
                                              common::ValueSetArgument(a[1]),
                                              a[2].ToBool());
               return Variant();
             }),
      Method("TransPeriod", 0x60030004,
             {In("sDsn", kText), Ref("tvec", kAny), Ref("tBatchInfo", kAny),
              Ref("nYear", kI4), Ref("nPeriod", kI4), Ref("nNextY", kI4),
              Ref("nNextP", kI4)},
             kI4,
             [](Dispatchable& s, std::vector<Variant>& a) {
               I4Ref y(a[3]), p(a[4]), ny(a[5]), np(a[6]);
               return Variant::I4(Self<CheckOutUpdate>(s).TransPeriod(
                   a[0].ToText(), a[1], a[2], y.value(), p.value(), ny.value(),
                   np.value()));
             }),
      Method("SetSystemProfile", 0x60030005,
             {In("Key", kText), In("Value", kText)}, kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return Self<CheckOutUpdate>(s).SetSystemProfile(a[0].ToText(),
                                                               a[1].ToText());
             }),
      Method("UpdateCostBalance", 0x60030006,
             {In("sDsn", kText), Opt("bMts", kBool, Variant::Bool(true))}, kI4,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return Variant::I4(Self<CheckOutUpdate>(s).UpdateCostBalance(
                   a[0].ToText(), a[1].ToBool()));
             }),
  };
  return t;
}

}  // namespace

CheckOutUpdate::CheckOutUpdate() : PublicObject(TxAttribute::Required) {}
CheckOutUpdate::~CheckOutUpdate() = default;

std::shared_ptr<CheckOutUpdate> CheckOutUpdate::Create() {
  auto object = std::make_shared<CheckOutUpdate>();
  if (auto tx = Transaction::Current()) object->BindTransaction(tx);
  return object;
}

const DispatchTable& CheckOutUpdate::Table() const {
  static const DispatchTable table = MakeCheckOutUpdateTable();
  return table;
}

namespace check_out_update {

ClassInfo ClassEntry() {
  ClassInfo info;
  info.prog_id = ids::kCheckOutUpdateProgId;
  info.clsid = ids::kCheckOutUpdateClsid;
  info.iid = ids::kCheckOutUpdateIid;
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Required;
  info.factory = [] { return std::make_shared<CheckOutUpdate>(); };
  return info;
}

}  // namespace check_out_update

}  // namespace marl
