// The class table: every method of the three public classes with its
// dispatch identifier, parameters (names, types, by value or by reference,
// optional with default) and result, and the handlers that call the typed
// methods.
#include "frame/class_table.h"

#include <memory>
#include <utility>
#include <vector>

#include "marlcheckout/check_out_info.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/error.h"
#include "marlcheckout/server.h"

namespace marl {

namespace {

ParamInfo In(std::string name, VarType type) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  return p;
}

ParamInfo Opt(std::string name, VarType type, Variant default_value) {
  ParamInfo p = In(std::move(name), type);
  p.optional = true;
  p.default_value = std::move(default_value);
  return p;
}

ParamInfo Ref(std::string name, VarType type) {
  ParamInfo p = In(std::move(name), type);
  p.by_ref = true;
  return p;
}

ParamInfo OptRef(std::string name, VarType type, Variant default_value) {
  ParamInfo p = Opt(std::move(name), type, std::move(default_value));
  p.by_ref = true;
  return p;
}

MemberInfo M(std::string name, int32_t dispid, std::vector<ParamInfo> params,
             VarType result, MemberHandler handler) {
  MemberInfo m;
  m.name = std::move(name);
  m.dispid = dispid;
  m.kind = InvokeKind::Method;
  m.params = std::move(params);
  m.result = result;
  m.handler = std::move(handler);
  return m;
}

// A FieldValueSet argument: an object reference to a value set, or nothing
// (Empty, Null, Missing or a null reference). Anything else raises 13.
std::shared_ptr<FieldValueSet> ValueSetArg(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsMissing()) return nullptr;
  if (v.Type() != VarType::Object) throw Error::Of(err::kTypeMismatch);
  if (!v.AsObject()) return nullptr;
  auto set = std::dynamic_pointer_cast<FieldValueSet>(v.AsObject());
  if (!set) throw Error::Of(err::kTypeMismatch);
  return set;
}

// A by-reference 32-bit integer: read from the caller's Variant (Empty reads
// as 0) and written back when the handler ends, also on failure, so the
// caller sees whatever the method stored before it failed.
class I4Ref {
 public:
  explicit I4Ref(Variant& v)
      : v_(v), value_(v.IsEmpty() || v.IsMissing() ? 0 : v.ToInt32()) {}
  ~I4Ref() { v_ = Variant::I4(value_); }
  I4Ref(const I4Ref&) = delete;
  I4Ref& operator=(const I4Ref&) = delete;
  int32_t& value() { return value_; }

 private:
  Variant& v_;
  int32_t value_;
};

class BoolRef {
 public:
  explicit BoolRef(Variant& v)
      : v_(v), value_(v.IsEmpty() || v.IsMissing() ? false : v.ToBool()) {}
  ~BoolRef() { v_ = Variant::Bool(value_); }
  BoolRef(const BoolRef&) = delete;
  BoolRef& operator=(const BoolRef&) = delete;
  bool& value() { return value_; }

 private:
  Variant& v_;
  bool value_;
};

template <class T>
T& Self(Dispatchable& self) {
  return static_cast<T&>(self);
}

Variant ListResult(std::shared_ptr<ItemList> list) {
  return Variant::Object(std::move(list));
}

constexpr VarType kText = VarType::Text;
constexpr VarType kI2 = VarType::I2;
constexpr VarType kI4 = VarType::I4;
constexpr VarType kBool = VarType::Bool;
constexpr VarType kDate = VarType::Date;
constexpr VarType kObject = VarType::Object;
constexpr VarType kAny = VarType::Empty;

DispatchTable MakeCheckOutInfoTable() {
  DispatchTable t;
  t.class_name = "CheckOutInfo";
  t.members = {
      M("GetList", 0x60030002,
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
      M("GetCostList", 0x60030003,
        {In("sDsn", kText), Opt("sFilter", kText, Variant::Text(""))}, kObject,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return ListResult(
              Self<CheckOutInfo>(s).GetCostList(a[0].ToText(), a[1].ToText()));
        }),
      M("GetBalList", 0x60030004,
        {In("sDsn", kText), In("aYear", kI4), In("aPeriod", kI4),
         In("aExpDeptID", kText), Opt("aFilter", kText, Variant::Text("")),
         Opt("aListType", kI4, Variant::I4(1))},
        kObject,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return ListResult(Self<CheckOutInfo>(s).GetBalList(
              a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToText(),
              a[4].ToText(), a[5].ToInt32()));
        }),
      M("GetBatchList", 0x60030005,
        {In("sDsn", kText), In("CurYear", kI4), In("CurPeriod", kI4),
         Opt("sFilter", kText, Variant::Text(""))},
        kObject,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return ListResult(Self<CheckOutInfo>(s).GetBatchList(
              a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToText()));
        }),
      M("CheckHasVoucher", 0x60030008,
        {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kBool,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return Variant::Bool(Self<CheckOutInfo>(s).CheckHasVoucher(
              a[0].ToText(), a[1].ToInt32(), a[2].ToInt32()));
        }),
      M("HasCheckedOnlineBalance", 0x6003000B,
        {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kBool,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return Variant::Bool(Self<CheckOutInfo>(s).HasCheckedOnlineBalance(
              a[0].ToText(), a[1].ToInt32(), a[2].ToInt32()));
        }),
      M("CheckHaveRevert", 0x6003000E,
        {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kBool,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return Variant::Bool(Self<CheckOutInfo>(s).CheckHaveRevert(
              a[0].ToText(), a[1].ToInt32(), a[2].ToInt32()));
        }),
  };
  return t;
}

DispatchTable MakeCheckOutUpdateTable() {
  DispatchTable t;
  t.class_name = "CheckOutUpdate";
  t.members = {
      M("Delete", 0x60030003,
        {In("sDsn", kText), In("aFilter", kObject),
         Opt("bMts", kBool, Variant::Bool(true))},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CheckOutUpdate>(s).Delete(a[0].ToText(), ValueSetArg(a[1]),
                                         a[2].ToBool());
          return Variant();
        }),
      M("TransPeriod", 0x60030004,
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
      M("SetSystemProfile", 0x60030005, {In("Key", kText), In("Value", kText)},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return Self<CheckOutUpdate>(s).SetSystemProfile(a[0].ToText(),
                                                          a[1].ToText());
        }),
      M("UpdateCostBalance", 0x60030006,
        {In("sDsn", kText), Opt("bMts", kBool, Variant::Bool(true))}, kI4,
        [](Dispatchable& s, std::vector<Variant>& a) {
          return Variant::I4(Self<CheckOutUpdate>(s).UpdateCostBalance(
              a[0].ToText(), a[1].ToBool()));
        }),
  };
  return t;
}

// The five standard-data steps share their parameters.
MemberInfo StandardStep(std::string name, int32_t dispid,
                        void (CloseData::*method)(const std::string&, int16_t,
                                                  int16_t, int16_t, int16_t)) {
  return M(std::move(name), dispid,
           {In("sDsn", kText), In("iYear", kI2), In("iPeriod", kI2),
            In("iNextYear", kI2), In("iNextPeriod", kI2)},
           kAny, [method](Dispatchable& s, std::vector<Variant>& a) {
             (Self<CloseData>(s).*method)(a[0].ToText(), a[1].ToInt16(),
                                          a[2].ToInt16(), a[3].ToInt16(),
                                          a[4].ToInt16());
             return Variant();
           });
}

std::vector<ParamInfo> MoveParams() {
  return {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4),
          In("bEnd", kBool)};
}

MemberInfo RevertStep(std::string name, int32_t dispid,
                      void (CloseData::*method)(const std::string&, int32_t,
                                                int32_t, bool)) {
  return M(std::move(name), dispid, MoveParams(), kAny,
           [method](Dispatchable& s, std::vector<Variant>& a) {
             (Self<CloseData>(s).*method)(a[0].ToText(), a[1].ToInt32(),
                                          a[2].ToInt32(), a[3].ToBool());
             return Variant();
           });
}

MemberInfo HistoryStep(std::string name, int32_t dispid,
                       bool (CloseData::*method)(const std::string&, int32_t,
                                                 int32_t, bool)) {
  return M(std::move(name), dispid, MoveParams(), kBool,
           [method](Dispatchable& s, std::vector<Variant>& a) {
             return Variant::Bool((Self<CloseData>(s).*method)(
                 a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToBool()));
           });
}

DispatchTable MakeCloseDataTable() {
  DispatchTable t;
  t.class_name = "CloseData";
  t.members = {
      M("SetEndBal", 0x60030002,
        {In("sDsn", kText), In("iYear", kI2), In("iPeriod", kI2)}, kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CloseData>(s).SetEndBal(a[0].ToText(), a[1].ToInt16(),
                                       a[2].ToInt16());
          return Variant();
        }),
      M("SetBegBal", 0x60030003,
        {In("sDsn", kText), In("iYear", kI2), In("iPeriod", kI2),
         In("iNextYear", kI2), In("iNextPeriod", kI2)},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CloseData>(s).SetBegBal(a[0].ToText(), a[1].ToInt16(),
                                       a[2].ToInt16(), a[3].ToInt16(),
                                       a[4].ToInt16());
          return Variant();
        }),
      StandardStep("SetStandardData", 0x60030004, &CloseData::SetStandardData),
      StandardStep("SetStdCostData", 0x60030005, &CloseData::SetStdCostData),
      StandardStep("SetCostTypeData", 0x60030006, &CloseData::SetCostTypeData),
      M("SetCurrentPeriod", 0x60030007,
        {In("sDsn", kText), In("iNextYear", kI2), In("iNextPeriod", kI2),
         OptRef("bUnClosed", kBool, Variant::Bool(false))},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          BoolRef unclosed(a[3]);
          return Self<CloseData>(s).SetCurrentPeriod(
              a[0].ToText(), a[1].ToInt16(), a[2].ToInt16(), unclosed.value());
        }),
      StandardStep("SetCostSortData", 0x6003000A, &CloseData::SetCostSortData),
      StandardStep("SetCostDeputyData", 0x6003000B,
                   &CloseData::SetCostDeputyData),
      M("DayCost_SetBegBal", 0x6003000E,
        {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4),
         In("dctPeriod", kObject)},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CloseData>(s).DayCost_SetBegBal(
              a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), ValueSetArg(a[3]));
          return Variant();
        }),
      M("DayCost_SetEndBal", 0x6003000F,
        {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4),
         In("sYearPeriodCycle", kText), In("dBeginDate", kDate),
         In("dEndDate", kDate)},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CloseData>(s).DayCost_SetEndBal(a[0].ToText(), a[1].ToInt32(),
                                               a[2].ToInt32(), a[3].ToText(),
                                               a[4].ToDate(), a[5].ToDate());
          return Variant();
        }),
      M("UnCheckOnlineBalance", 0x60030010,
        {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CloseData>(s).UnCheckOnlineBalance(a[0].ToText(), a[1].ToInt32(),
                                                  a[2].ToInt32());
          return Variant();
        }),
      M("SetDayAccount", 0x60030013,
        {In("sDsn", kText), In("lCurYear", kI4), In("lCurPeriod", kI4),
         In("lNYear", kI4), In("lNPeriod", kI4)},
        kAny,
        [](Dispatchable& s, std::vector<Variant>& a) {
          Self<CloseData>(s).SetDayAccount(a[0].ToText(), a[1].ToInt32(),
                                           a[2].ToInt32(), a[3].ToInt32(),
                                           a[4].ToInt32());
          return Variant();
        }),
      RevertStep("SetCostRevertStd", 0x60030016, &CloseData::SetCostRevertStd),
      RevertStep("SetCostRevertRealEndStk", 0x60030017,
                 &CloseData::SetCostRevertRealEndStk),
      RevertStep("SetCostRevertRealEndBal", 0x60030018,
                 &CloseData::SetCostRevertRealEndBal),
      HistoryStep("EndHistoryData", 0x6003001B, &CloseData::EndHistoryData),
      HistoryStep("EndMatDistributeData", 0x6003001C,
                  &CloseData::EndMatDistributeData),
      HistoryStep("EndExpDistributeData", 0x6003001D,
                  &CloseData::EndExpDistributeData),
  };
  return t;
}

}  // namespace

const DispatchTable& CheckOutInfo::Table() const {
  static const DispatchTable table = MakeCheckOutInfoTable();
  return table;
}

const DispatchTable& CheckOutUpdate::Table() const {
  static const DispatchTable table = MakeCheckOutUpdateTable();
  return table;
}

const DispatchTable& CloseData::Table() const {
  static const DispatchTable table = MakeCloseDataTable();
  return table;
}

namespace frame {

std::vector<ClassInfo> PublicClasses() {
  ClassInfo info;
  info.prog_id = CheckOutInfo::kProgId;
  info.clsid = ids::kCheckOutInfoClsid;
  info.iid = ids::kCheckOutInfoIid;
  info.earlier_iids.assign(std::begin(ids::kCheckOutInfoEarlierIids),
                           std::end(ids::kCheckOutInfoEarlierIids));
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Supported;
  info.factory = [] { return std::make_shared<CheckOutInfo>(); };

  ClassInfo update;
  update.prog_id = CheckOutUpdate::kProgId;
  update.clsid = ids::kCheckOutUpdateClsid;
  update.iid = ids::kCheckOutUpdateIid;
  update.threading = ThreadingModel::Apartment;
  update.transaction = TxAttribute::Required;
  update.factory = [] { return std::make_shared<CheckOutUpdate>(); };

  ClassInfo close;
  close.prog_id = CloseData::kProgId;
  close.clsid = ids::kCloseDataClsid;
  close.iid = ids::kCloseDataIid;
  close.earlier_iids.assign(std::begin(ids::kCloseDataEarlierIids),
                            std::end(ids::kCloseDataEarlierIids));
  close.threading = ThreadingModel::Apartment;
  close.transaction = TxAttribute::Required;
  close.factory = [] { return std::make_shared<CloseData>(); };

  return {std::move(info), std::move(update), std::move(close)};
}

}  // namespace frame

}  // namespace marl
