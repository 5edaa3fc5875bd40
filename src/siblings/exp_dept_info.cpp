// "MarlBaseInfo.ExpDeptInfo" (see exp_dept_info.h).
#include "siblings/exp_dept_info.h"

#include <vector>

#include "common/globals.h"
#include "platform/member_builders.h"
#include "siblings/sibling_support.h"

namespace marl::siblings {

ExpDeptInfo::ExpDeptInfo() : Component(TxAttribute::Supported) {}

std::shared_ptr<ItemList> ExpDeptInfo::GetList(const std::string& props,
                                               const std::string& filter) {
  return Call([&] {
    DataEnv env(props);
    std::string text = "SELECT * FROM CB_BmExpDept";
    if (!filter.empty()) text += " WHERE " + filter;
    text += " ORDER BY FID";
    auto connection = env.source->Connection();
    auto rs = connection->Execute(text);
    auto list = common::RecordsetToItemList(*rs);
    connection->Close();
    return list;
  });
}

const DispatchTable& ExpDeptInfo::Table() const {
  static const DispatchTable table = [] {
    DispatchTable t;
    t.class_name = "ExpDeptInfo";
    t.members.push_back(members::Method(
        "GetList", 1,
        {members::In("props", VarType::Text),
         members::In("filter", VarType::Text)},
        VarType::Object, [](Dispatchable& self, std::vector<Variant>& args) {
          return Variant::Object(static_cast<ExpDeptInfo&>(self).GetList(
              args[0].AsText(), args[1].AsText()));
        }));
    return t;
  }();
  return table;
}

ClassInfo ExpDeptInfo::Class() {
  ClassInfo info;
  info.prog_id = kProgId;
  info.clsid = "{6B1E2C40-8D52-4F0A-9C37-1E5A7D3B9F01}";
  info.iid = "{6B1E2C41-8D52-4F0A-9C37-1E5A7D3B9F01}";
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Supported;
  info.factory = [] { return std::make_shared<ExpDeptInfo>(); };
  return info;
}

}  // namespace marl::siblings
