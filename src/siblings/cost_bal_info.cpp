// "MarlCostBal.CostBalInfo" (see cost_bal_info.h).
#include "siblings/cost_bal_info.h"

#include <utility>

#include "common/globals.h"
#include "data/ado.h"
#include "marlcheckout/error.h"
#include "platform/member_builders.h"
#include "siblings/sibling_support.h"

namespace marl::siblings {

namespace {

constexpr const char* kSource = "MarlCostBal.CostBalInfo.GetList";
constexpr const char* kPeriodRows =
    "SELECT * FROM CB_CostBalance WHERE FYear=? AND FPeriod=?";

[[noreturn]] void BadList() {
  throw Error(err::kInvalidArgument, kSource,
              "The department list is not a parenthesised list of quoted "
              "identifiers");
}

void Append(data::Command& command, int32_t type, Variant value) {
  command.GetParameters().Append(command.CreateParameter(
      "", type, data::ado::kParamInput, type == data::ado::kVarWChar ? 250 : 0,
      std::move(value)));
}

}  // namespace

CostBalInfo::CostBalInfo() : Component(TxAttribute::Supported) {}

std::vector<std::string> CostBalInfo::ParseDepartmentList(
    const std::string& text) {
  std::vector<std::string> ids;
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  skip_blanks();
  // ")" alone: the list of no department.
  if (i < text.size() && text[i] == ')') {
    ++i;
    skip_blanks();
    if (i != text.size()) BadList();
    return ids;
  }
  if (i >= text.size() || text[i] != '(') BadList();
  ++i;
  skip_blanks();
  if (i < text.size() && text[i] == ')') {
    ++i;
  } else {
    while (true) {
      skip_blanks();
      if (i >= text.size() || text[i] != '\'') BadList();
      ++i;
      std::string id;
      while (true) {
        if (i >= text.size()) BadList();
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            id += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        id += text[i++];
      }
      ids.push_back(std::move(id));
      skip_blanks();
      if (i < text.size() && text[i] == ',') {
        ++i;
        continue;
      }
      if (i < text.size() && text[i] == ')') {
        ++i;
        break;
      }
      BadList();
    }
  }
  skip_blanks();
  if (i != text.size()) BadList();
  return ids;
}

Variant CostBalInfo::GetList(const std::string& props,
                             const Variant& departments, const Variant& year,
                             const Variant& period, const Variant& flag) {
  return Call([&] {
    DataEnv env(props);
    auto command = data::Command::Create();
    command->CommandType = data::ado::kCmdText;
    Append(*command, data::ado::kInteger, Variant::I4(year.ToInt32()));
    Append(*command, data::ado::kInteger, Variant::I4(period.ToInt32()));
    std::string text = kPeriodRows;
    const bool as_recordset = !flag.IsMissing();
    if (as_recordset) {
      std::vector<std::string> ids = ParseDepartmentList(departments.ToText());
      if (ids.empty()) {
        text += " AND 1=0";
      } else {
        text += " AND FExpDeptID IN (";
        for (size_t k = 0; k < ids.size(); ++k) {
          text += k == 0 ? "?" : ",?";
          Append(*command, data::ado::kVarWChar, Variant::Text(ids[k]));
        }
        text += ")";
      }
      text += " ORDER BY FExpDeptID,FProductID,FCostID";
    } else {
      text += " AND FExpDeptID=? ORDER BY FProductID,FCostID";
      Append(*command, data::ado::kVarWChar,
             Variant::Text(departments.ToText()));
    }
    auto connection = env.source->Connection();
    command->SetActiveConnection(connection);
    command->CommandText = text;
    auto rs = command->Execute();
    Variant result;
    if (as_recordset) {
      rs->SetActiveConnection(nullptr);
      result = Variant::Object(rs);
    } else {
      result = Variant::Object(common::TakeRecordsetToItemList(*rs));
    }
    connection->Close();
    return result;
  });
}

const DispatchTable& CostBalInfo::Table() const {
  static const DispatchTable table = [] {
    DispatchTable t;
    t.class_name = "CostBalInfo";
    t.members.push_back(members::Method(
        "GetList", 1,
        {members::Ref("props"), members::Ref("departments"),
         members::Ref("year"), members::Ref("period"),
         members::Opt("flag", VarType::Empty)},
        VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
          return static_cast<CostBalInfo&>(self).GetList(
              args[0].ToText(), args[1], args[2], args[3], args[4]);
        }));
    return t;
  }();
  return table;
}

ClassInfo CostBalInfo::Class() {
  ClassInfo info;
  info.prog_id = kProgId;
  info.clsid = "{6B1E2C42-8D52-4F0A-9C37-1E5A7D3B9F01}";
  info.iid = "{6B1E2C43-8D52-4F0A-9C37-1E5A7D3B9F01}";
  info.threading = ThreadingModel::Apartment;
  info.transaction = TxAttribute::Supported;
  info.factory = [] { return std::make_shared<CostBalInfo>(); };
  return info;
}

}  // namespace marl::siblings
