// Late-bound calls: every public class, every sibling component and the
// containers can be called by member name or by dispatch identifier with
// Variant arguments.
//
// Contract
// - A class describes its members once in a DispatchTable (name, dispatch
//   identifier, kind, parameters, handler). Names are matched without regard
//   to letter case.
// - Invoke takes the arguments in declaration order. Trailing optional
//   parameters may be left out: they arrive as their declared default, or as
//   Variant::Missing() when they have none. Too many arguments, or a required
//   one left out, raise kBadParamCount.
// - A by-value argument is converted to its declared type (ParamInfo::type;
//   VarType::Empty means "any Variant", no conversion). A by-reference
//   argument is handed to the handler as the caller's own Variant, and what
//   the handler stores there is what the caller sees afterwards.
// - Unknown names raise kUnknownName; an unknown identifier raises
//   kMemberNotFound.
// Thread safety: tables are immutable after construction; calls follow the
// apartment rule of the object (see transaction.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "marlcheckout/export.h"
#include "marlcheckout/variant.h"

namespace marl {

class Dispatchable;

enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4 };

struct ParamInfo {
  std::string name;
  VarType type = VarType::Empty;  // Empty: any Variant, not converted
  bool by_ref = false;
  bool optional = false;
  Variant default_value;  // Empty: no default (arrives as Missing)
};

// Handler of one member. `args` holds exactly params.size() values after
// defaults were filled in; for a property put the new value is the last one.
using MemberHandler =
    std::function<Variant(Dispatchable& self, std::vector<Variant>& args)>;

struct MemberInfo {
  std::string name;
  int32_t dispid = 0;
  InvokeKind kind = InvokeKind::Method;
  std::vector<ParamInfo> params;
  VarType result = VarType::Empty;
  MemberHandler handler;  // empty: raises kNotImplemented naming the member
};

struct MARL_API DispatchTable {
  std::string class_name;
  std::vector<MemberInfo> members;

  // nullptr when no member matches.
  const MemberInfo* Find(std::string_view name, InvokeKind kind) const;
  const MemberInfo* Find(int32_t dispid, InvokeKind kind) const;
};

class MARL_API Dispatchable
    : public std::enable_shared_from_this<Dispatchable> {
 public:
  virtual ~Dispatchable();

  virtual const DispatchTable& Table() const = 0;

  // The dispatch identifier of a member (kUnknownName when none).
  int32_t GetIDOfName(std::string_view name) const;

  // Calls a member by identifier. See the contract above.
  Variant Invoke(int32_t dispid, InvokeKind kind, std::vector<Variant>& args);
  // Calls a method, or reads a property when no method has the name.
  Variant Invoke(std::string_view name, std::vector<Variant>& args);
  Variant Invoke(std::string_view name, std::vector<Variant>&& args) {
    return Invoke(name, args);
  }
  // Property access by name.
  Variant Get(std::string_view name, std::vector<Variant> args = {});
  void Put(std::string_view name, Variant value,
           std::vector<Variant> args = {});

 protected:
  Variant CallMember(const MemberInfo& member, std::vector<Variant>& args);
};

}  // namespace marl
