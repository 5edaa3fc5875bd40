// "MarlCheckOut.cUpdate" (see settle_price.h).
#include "siblings/settle_price.h"

#include <vector>

#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "platform/member_builders.h"
#include "siblings/sibling_support.h"

namespace marl::siblings {

namespace {

std::shared_ptr<Dispatchable> ObjectOf(const Variant& v) {
  if (v.Type() != VarType::Object || !v.AsObject()) {
    throw Error::Of(err::kObjectNotSet, "MarlCheckOut.cUpdate");
  }
  return v.AsObject();
}

}  // namespace

SettlePrice::SettlePrice() : Component(TxAttribute::Supported) {}

void SettlePrice::GetSettlePrice(const Variant& balance_lists,
                                 const Variant& /*batch_list*/) {
  Call([&] {
    auto lists = ObjectOf(balance_lists);
    const int32_t list_count = lists->Get("Count").ToInt32();
    for (int32_t i = 1; i <= list_count; ++i) {
      auto rows = ObjectOf(lists->Get("Item", {Variant::I4(i)}));
      // A list and rows of the component's own containers are read and
      // written directly: the same members, without the late binding.
      const auto* items = dynamic_cast<const ItemList*>(rows.get());
      const int32_t row_count =
          items != nullptr ? items->UBound() : rows->Get("Count").ToInt32();
      for (int32_t j = 1; j <= row_count; ++j) {
        auto row =
            ObjectOf(items != nullptr ? items->Item(j)
                                      : rows->Get("Item", {Variant::I4(j)}));
        auto* set = dynamic_cast<FieldValueSet*>(row.get());
        auto value = [&](const char* key) {
          return NumberOrZero(set != nullptr
                                  ? set->Value(key)
                                  : row->Get("Value", {Variant::Text(key)}));
        };
        auto put = [&](const char* key, double number) {
          if (set != nullptr) {
            set->SetValue(key, Variant::R8(number));
          } else {
            row->Put("Value", Variant::R8(number), {Variant::Text(key)});
          }
        };
        double completed = value("FCompleQty");
        if (completed == 0) continue;
        double price =
            (value("FBegBal") + value("FAccount") - value("FEndBal")) /
            completed;
        put("FCalPrice", price);
        put("FPrice", price);
      }
    }
  });
}

const DispatchTable& SettlePrice::Table() const {
  static const DispatchTable table = [] {
    DispatchTable t;
    t.class_name = "cUpdate";
    t.members.push_back(members::Method(
        "GetSettlePrice", 1,
        {members::Ref("props"), members::Ref("balanceLists"),
         members::Ref("batchList")},
        VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
          static_cast<SettlePrice&>(self).GetSettlePrice(args[1], args[2]);
          return Variant();
        }));
    return t;
  }();
  return table;
}

ClassInfo SettlePrice::Class() {
  ClassInfo info;
  info.prog_id = kProgId;
  info.clsid = "{6B1E2C44-8D52-4F0A-9C37-1E5A7D3B9F01}";
  info.iid = "{6B1E2C45-8D52-4F0A-9C37-1E5A7D3B9F01}";
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Supported;
  info.factory = [] { return std::make_shared<SettlePrice>(); };
  return info;
}

}  // namespace marl::siblings
