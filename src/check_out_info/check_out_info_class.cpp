// CheckOutInfo: construction, the dispatch table (every method with its
// dispatch identifier, parameters and result, and the handler calling the typed
// method) and the class's registry entry.
#include "check_out_info/check_out_info_class.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/frame.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/class_ids.h"
#include "platform/member_builders.h"

namespace marl {

namespace {

using members::In;
using members::kBool;
using members::kI4;
using members::kObject;
using members::kText;
using members::Method;
using members::Opt;
using members::Self;

Variant ListResult(std::shared_ptr<ItemList> list) {
  return Variant::Object(std::move(list));
}

DispatchTable MakeCheckOutInfoTable() {
  DispatchTable t;
  t.class_name = "CheckOutInfo";
  t.members = {
      Method("GetList", 0x60030002,
             {In("sDsn", kText), In("aYear", kI4), In("aPeriod", kI4),
              Opt("aExpDeptID", kText, Variant::Text("")),
              Opt("aFilter", kText, Variant::Text("")),
              Opt("bViewFull", kBool, Variant::Bool(true))},
             kObject,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return ListResult(Self<CheckOutInfo>(s).GetList(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToText(),
                   a[4].ToText(), a[5].ToBool()));
             }),
      Method("GetCostList", 0x60030003,
             {In("sDsn", kText), Opt("sFilter", kText, Variant::Text(""))},
             kObject,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return ListResult(Self<CheckOutInfo>(s).GetCostList(
                   a[0].ToText(), a[1].ToText()));
             }),
      Method("GetBalList", 0x60030004,
             {In("sDsn", kText), In("aYear", kI4), In("aPeriod", kI4),
              In("aExpDeptID", kText), Opt("aFilter", kText, Variant::Text("")),
              Opt("aListType", kI4, Variant::I4(1))},
             kObject,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return ListResult(Self<CheckOutInfo>(s).GetBalList(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToText(),
                   a[4].ToText(), a[5].ToInt32()));
             }),
      Method("GetBatchList", 0x60030005,
             {In("sDsn", kText), In("CurYear", kI4), In("CurPeriod", kI4),
              Opt("sFilter", kText, Variant::Text(""))},
             kObject,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return ListResult(Self<CheckOutInfo>(s).GetBatchList(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(),
                   a[3].ToText()));
             }),
      Method("CheckHasVoucher", 0x60030008,
             {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kBool,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return Variant::Bool(Self<CheckOutInfo>(s).CheckHasVoucher(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32()));
             }),
      Method("HasCheckedOnlineBalance", 0x6003000B,
             {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kBool,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return Variant::Bool(
                   Self<CheckOutInfo>(s).HasCheckedOnlineBalance(
                       a[0].ToText(), a[1].ToInt32(), a[2].ToInt32()));
             }),
      Method("CheckHaveRevert", 0x6003000E,
             {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kBool,
             [](Dispatchable& s, std::vector<Variant>& a) {
               return Variant::Bool(Self<CheckOutInfo>(s).CheckHaveRevert(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32()));
             }),
  };
  return t;
}

}  // namespace

CheckOutInfo::CheckOutInfo() : PublicObject(TxAttribute::Supported) {}
CheckOutInfo::~CheckOutInfo() = default;

std::shared_ptr<CheckOutInfo> CheckOutInfo::Create() {
  auto object = std::make_shared<CheckOutInfo>();
  if (auto tx = Transaction::Current()) object->BindTransaction(tx);
  return object;
}

const DispatchTable& CheckOutInfo::Table() const {
  static const DispatchTable table = MakeCheckOutInfoTable();
  return table;
}

namespace check_out_info {

ClassInfo ClassEntry() {
  ClassInfo info;
  info.prog_id = ids::kCheckOutInfoProgId;
  info.clsid = ids::kCheckOutInfoClsid;
  info.iid = ids::kCheckOutInfoIid;
  info.earlier_iids.assign(std::begin(ids::kCheckOutInfoEarlierIids),
                           std::end(ids::kCheckOutInfoEarlierIids));
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Supported;
  info.factory = [] { return std::make_shared<CheckOutInfo>(); };
  return info;
}

}  // namespace check_out_info

}  // namespace marl
