// Late-bound calls through a class's DispatchTable.
//
// Argument handling (CallMember):
// - Arguments come in declaration order; trailing optional parameters may be
//   left out, and an optional argument passed as Missing counts as left out:
//   it becomes the declared default, or stays Missing when there is none.
//   More arguments than parameters, or a required parameter left out or
//   passed as Missing, raise kBadParamCount.
// - Every argument that is not Missing is converted to the declared type with
//   ChangeType (declared Empty: taken as it is). This holds for by-reference
//   arguments too, so that a caller's Empty output variable arrives as the
//   declared kind.
// - By-reference arguments are written back into the caller's vector when
//   the handler returns normally; when it raises, the caller's values are
//   left as they were.
// - A member without a handler raises kNotImplemented naming Class.Member.
#include "marlcheckout/dispatch.h"

#include <strings.h>

#include "marlcheckout/error.h"

namespace marl {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

const MemberInfo* DispatchTable::Find(std::string_view name,
                                      InvokeKind kind) const {
  for (const MemberInfo& m : members) {
    if (m.kind == kind && SameName(m.name, name)) return &m;
  }
  return nullptr;
}

const MemberInfo* DispatchTable::Find(int32_t dispid, InvokeKind kind) const {
  for (const MemberInfo& m : members) {
    if (m.kind == kind && m.dispid == dispid) return &m;
  }
  return nullptr;
}

Dispatchable::~Dispatchable() = default;

int32_t Dispatchable::GetIDOfName(std::string_view name) const {
  for (const MemberInfo& m : Table().members) {
    if (SameName(m.name, name)) return m.dispid;
  }
  throw Error(err::kUnknownName, Table().class_name,
              ErrorText(err::kUnknownName) + ": " + std::string(name));
}

Variant Dispatchable::Invoke(int32_t dispid, InvokeKind kind,
                             std::vector<Variant>& args) {
  const MemberInfo* m = Table().Find(dispid, kind);
  if (m == nullptr && kind == InvokeKind::Method) {
    m = Table().Find(dispid, InvokeKind::PropertyGet);
  }
  if (m == nullptr) {
    throw Error(
        err::kMemberNotFound, Table().class_name,
        ErrorText(err::kMemberNotFound) + ": " + std::to_string(dispid));
  }
  return CallMember(*m, args);
}

Variant Dispatchable::Invoke(std::string_view name,
                             std::vector<Variant>& args) {
  const MemberInfo* m = Table().Find(name, InvokeKind::Method);
  if (m == nullptr) m = Table().Find(name, InvokeKind::PropertyGet);
  if (m == nullptr) {
    throw Error(err::kUnknownName, Table().class_name,
                ErrorText(err::kUnknownName) + ": " + std::string(name));
  }
  return CallMember(*m, args);
}

Variant Dispatchable::Get(std::string_view name, std::vector<Variant> args) {
  const MemberInfo* m = Table().Find(name, InvokeKind::PropertyGet);
  if (m == nullptr) m = Table().Find(name, InvokeKind::Method);
  if (m == nullptr) {
    throw Error(err::kUnknownName, Table().class_name,
                ErrorText(err::kUnknownName) + ": " + std::string(name));
  }
  return CallMember(*m, args);
}

void Dispatchable::Put(std::string_view name, Variant value,
                       std::vector<Variant> args) {
  const MemberInfo* m = Table().Find(name, InvokeKind::PropertyPut);
  if (m == nullptr) {
    throw Error(err::kUnknownName, Table().class_name,
                ErrorText(err::kUnknownName) + ": " + std::string(name));
  }
  args.push_back(std::move(value));
  CallMember(*m, args);
}

Variant Dispatchable::CallMember(const MemberInfo& member,
                                 std::vector<Variant>& args) {
  const std::string& cls = Table().class_name;
  const std::vector<ParamInfo>& params = member.params;
  if (args.size() > params.size()) {
    throw Error(err::kBadParamCount, cls + "." + member.name,
                ErrorText(err::kBadParamCount));
  }
  std::vector<Variant> call;
  call.reserve(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    const ParamInfo& p = params[i];
    bool given = i < args.size() && !args[i].IsMissing();
    if (!given) {
      if (!p.optional) {
        throw Error(err::kBadParamCount, cls + "." + member.name,
                    ErrorText(err::kBadParamCount) + ": " + p.name +
                        " is not optional");
      }
      call.push_back(p.default_value.IsEmpty() ? Variant::Missing()
                                               : p.default_value);
      continue;
    }
    call.push_back(p.type == VarType::Empty ? args[i]
                                            : args[i].ChangeType(p.type));
  }
  if (!member.handler) {
    throw Error(err::kNotImplemented, cls + "." + member.name,
                cls + "." + member.name + " not implemented");
  }
  Variant result = member.handler(*this, call);
  for (size_t i = 0; i < params.size() && i < args.size(); ++i) {
    if (params[i].by_ref && !args[i].IsMissing()) args[i] = std::move(call[i]);
  }
  return result;
}

}  // namespace marl
