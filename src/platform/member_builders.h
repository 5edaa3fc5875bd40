// Builders for dispatch tables (marlcheckout/dispatch.h) and adapters for
// by-reference arguments, shared by every class that describes its members:
// the public classes and the sibling components.
//
// Header only; no state; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "marlcheckout/dispatch.h"
#include "marlcheckout/variant.h"

namespace marl::members {

inline constexpr VarType kText = VarType::Text;
inline constexpr VarType kI2 = VarType::I2;
inline constexpr VarType kI4 = VarType::I4;
inline constexpr VarType kBool = VarType::Bool;
inline constexpr VarType kDate = VarType::Date;
inline constexpr VarType kObject = VarType::Object;
inline constexpr VarType kAny = VarType::Empty;  // any Variant, not converted

// A parameter passed by value and converted to `type`.
inline ParamInfo In(std::string name, VarType type) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  return p;
}

// An optional parameter; an Empty `default_value` means no default (the
// handler receives Variant::Missing()).
inline ParamInfo Opt(std::string name, VarType type,
                     Variant default_value = Variant()) {
  ParamInfo p = In(std::move(name), type);
  p.optional = true;
  p.default_value = std::move(default_value);
  return p;
}

// A parameter passed by reference: the handler sees the caller's Variant.
inline ParamInfo Ref(std::string name, VarType type = kAny) {
  ParamInfo p = In(std::move(name), type);
  p.by_ref = true;
  return p;
}

inline ParamInfo OptRef(std::string name, VarType type, Variant default_value) {
  ParamInfo p = Opt(std::move(name), type, std::move(default_value));
  p.by_ref = true;
  return p;
}

// A method member.
inline MemberInfo Method(std::string name, int32_t dispid,
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

// The object a handler runs on, as its own class.
template <class T>
T& Self(Dispatchable& self) {
  return static_cast<T&>(self);
}

// A by-reference 32-bit integer: read from the caller's Variant (Empty reads
// as 0) and written back when the adapter ends, also on failure, so the
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

// A by-reference Boolean, as I4Ref.
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

}  // namespace marl::members
