// CloseData: construction, the dispatch table (every method with its dispatch
// identifier, parameters and result, and the handler calling the typed
// method) and the class's registry entry.
#include "close_data/close_data_class.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/globals.h"
#include "frame/frame.h"
#include "marlcheckout/class_ids.h"
#include "marlcheckout/close_data.h"
#include "platform/member_builders.h"

namespace marl {

namespace {

using members::BoolRef;
using members::In;
using members::kAny;
using members::kBool;
using members::kDate;
using members::kI2;
using members::kI4;
using members::kObject;
using members::kText;
using members::Method;
using members::Opt;
using members::OptRef;
using members::Ref;
using members::Self;

// The five standard-data steps share their parameters.
MemberInfo StandardStep(std::string name, int32_t dispid,
                        void (CloseData::*method)(const std::string&, int16_t,
                                                  int16_t, int16_t, int16_t)) {
  return Method(std::move(name), dispid,
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
  return Method(std::move(name), dispid, MoveParams(), kAny,
                [method](Dispatchable& s, std::vector<Variant>& a) {
                  (Self<CloseData>(s).*method)(a[0].ToText(), a[1].ToInt32(),
                                               a[2].ToInt32(), a[3].ToBool());
                  return Variant();
                });
}

MemberInfo HistoryStep(std::string name, int32_t dispid,
                       bool (CloseData::*method)(const std::string&, int32_t,
                                                 int32_t, bool)) {
  return Method(
      std::move(name), dispid, MoveParams(), kBool,
      [method](Dispatchable& s, std::vector<Variant>& a) {
        return Variant::Bool((Self<CloseData>(s).*method)(
            a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToBool()));
      });
}

DispatchTable MakeCloseDataTable() {
  DispatchTable t;
  t.class_name = "CloseData";
  t.members = {
      Method("SetEndBal", 0x60030002,
             {In("sDsn", kText), In("iYear", kI2), In("iPeriod", kI2)}, kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               Self<CloseData>(s).SetEndBal(a[0].ToText(), a[1].ToInt16(),
                                            a[2].ToInt16());
               return Variant();
             }),
      Method("SetBegBal", 0x60030003,
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
      Method("SetCurrentPeriod", 0x60030007,
             {In("sDsn", kText), In("iNextYear", kI2), In("iNextPeriod", kI2),
              OptRef("bUnClosed", kBool, Variant::Bool(false))},
             kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               BoolRef unclosed(a[3]);
               return Self<CloseData>(s).SetCurrentPeriod(
                   a[0].ToText(), a[1].ToInt16(), a[2].ToInt16(),
                   unclosed.value());
             }),
      StandardStep("SetCostSortData", 0x6003000A, &CloseData::SetCostSortData),
      StandardStep("SetCostDeputyData", 0x6003000B,
                   &CloseData::SetCostDeputyData),
      Method("DayCost_SetBegBal", 0x6003000E,
             {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4),
              In("dctPeriod", kObject)},
             kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               Self<CloseData>(s).DayCost_SetBegBal(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(),
                   common::ValueSetArgument(a[3]));
               return Variant();
             }),
      Method("DayCost_SetEndBal", 0x6003000F,
             {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4),
              In("sYearPeriodCycle", kText), In("dBeginDate", kDate),
              In("dEndDate", kDate)},
             kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               Self<CloseData>(s).DayCost_SetEndBal(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32(), a[3].ToText(),
                   a[4].ToDate(), a[5].ToDate());
               return Variant();
             }),
      Method("UnCheckOnlineBalance", 0x60030010,
             {In("sDsn", kText), In("lYear", kI4), In("lPeriod", kI4)}, kAny,
             [](Dispatchable& s, std::vector<Variant>& a) {
               Self<CloseData>(s).UnCheckOnlineBalance(
                   a[0].ToText(), a[1].ToInt32(), a[2].ToInt32());
               return Variant();
             }),
      Method("SetDayAccount", 0x60030013,
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

CloseData::CloseData() : PublicObject(TxAttribute::Required) {}
CloseData::~CloseData() = default;

std::shared_ptr<CloseData> CloseData::Create() {
  auto object = std::make_shared<CloseData>();
  if (auto tx = Transaction::Current()) object->BindTransaction(tx);
  return object;
}

Variant CloseData::SetCurrentPeriod(const std::string& sDsn, int16_t iNextYear,
                                    int16_t iNextPeriod) {
  bool bUnClosed = false;
  return SetCurrentPeriod(sDsn, iNextYear, iNextPeriod, bUnClosed);
}

const DispatchTable& CloseData::Table() const {
  static const DispatchTable table = MakeCloseDataTable();
  return table;
}

namespace close_data {

ClassInfo ClassEntry() {
  ClassInfo info;
  info.prog_id = ids::kCloseDataProgId;
  info.clsid = ids::kCloseDataClsid;
  info.iid = ids::kCloseDataIid;
  info.earlier_iids.assign(std::begin(ids::kCloseDataEarlierIids),
                           std::end(ids::kCloseDataEarlierIids));
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Required;
  info.factory = [] { return std::make_shared<CloseData>(); };
  return info;
}

}  // namespace close_data

}  // namespace marl
