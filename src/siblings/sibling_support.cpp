// Shared pieces of the sibling components (see sibling_support.h).
#include "siblings/sibling_support.h"

#include <utility>

namespace marl::siblings {

ParamInfo InParam(std::string name, VarType type) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  return p;
}

ParamInfo RefParam(std::string name) {
  ParamInfo p = InParam(std::move(name), VarType::Empty);
  p.by_ref = true;
  return p;
}

ParamInfo OptParam(std::string name, VarType type) {
  ParamInfo p = InParam(std::move(name), type);
  p.optional = true;
  return p;
}

MemberInfo Method(std::string name, int32_t dispid,
                  std::vector<ParamInfo> params, VarType result,
                  MemberHandler handler) {
  MemberInfo m;
  m.name = std::move(name);
  m.dispid = dispid;
  m.kind = InvokeKind::Method;
  m.params = std::move(params);
  m.result = result;
  m.handler = std::move(handler);
  return m;
}

DataEnv::DataEnv(const std::string& props)
    : parser(std::make_shared<data::CParse>()),
      source(std::make_shared<data::CDataSource>()) {
  parser->ParseString(props);
  source->SetParseObject(parser);
}

double NumberOrZero(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsMissing()) return 0.0;
  return v.ToDouble();
}

}  // namespace marl::siblings
