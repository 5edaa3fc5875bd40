// CParse: takes a connection property string apart and answers questions
// about it by key.
//
// The string is a list of pairs "key=value" separated by ";". Read left to
// right:
// - the key is the text before the next "="; blanks around it are removed;
// - a value that starts (after blanks) with "{" runs to the next "}" and may
//   hold ";" and "="; whatever stands between that "}" and the next ";" is
//   dropped; a "{" without a closing "}" runs to the end of the text;
// - any other value runs to the next ";" (it may hold "=");
// - blanks around values are removed;
// - parsing stops at the end of the text or at the first pair whose key is
//   empty (so a trailing ";" is harmless, and a pair like "=x" ends the
//   list even when valid pairs follow).
// "Blanks" are space characters (U+0020) only; tabs and line breaks are kept.
// There is no escape of any kind. Keys are compared without regard to letter
// case (ASCII letters); values are kept as text, unconverted.
//
// Contract
// - ParseString stores its argument unchanged (PropsString gives it back)
//   and replaces the pairs with the ones read from it. It returns true or
//   raises: a key given twice (in any letter case) raises 457; the pairs
//   before the repeated one stay, and the whole string is stored.
// - GetProperty and every keyed accessor raise 5 when the key is absent (no
//   key has a default), and 91 when no string was ever parsed.
// - UserID converts its value with the platform's text-to-number conversion
//   (13 when not a number, 6 when out of the 32-bit range).
// - Destroying a CParse releases the calling thread's resource-text loader
//   (see ThreadResourceLoader below).
// Thread safety: none; an instance is used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "marlcheckout/dispatch.h"

namespace marl::data {

// The calling thread's resource-text loader (the object that looks up
// localised texts). The slot starts empty; the text lookup fills it with a
// loader on first use and reuses it afterwards. When a CParse is destroyed
// on a thread whose slot holds a loader, the loader's "Unload" member is
// called late-bound (no arguments; its result and any error are ignored) and
// the slot is cleared, so the thread's next lookup creates a new loader.
std::shared_ptr<Dispatchable>& ThreadResourceLoader();

class CParse {
 public:
  CParse() = default;
  ~CParse();
  CParse(const CParse&) = delete;
  CParse& operator=(const CParse&) = delete;

  // The string of the last ParseString call, exactly as given ("" before).
  const std::string& PropsString() const { return props_; }
  std::string UserName() const { return GetProperty("UserName"); }
  int32_t UserID() const;
  std::string ConDBMSName() const { return GetProperty("DBMS Name"); }
  std::string ConDBMSVersion() const { return GetProperty("DBMS Version"); }
  std::string ConStr() const { return GetProperty("ConnectString"); }
  // The value stored under `name` (compared without regard to case).
  std::string GetProperty(std::string_view name) const;
  // See the file comment; always returns true when it returns.
  bool ParseString(const std::string& to_parse);
  // True when the "AcctType" value, in upper case, is exactly "GY".
  bool IsIndustry() const;
  std::string LanguageID() const { return GetProperty("LANGUAGE"); }

 private:
  // Letter case ignored; transparent, so that a key is looked up without
  // a copy of it.
  struct KeyLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Pairs = std::map<std::string, std::string, KeyLess>;

  std::string props_;
  std::optional<Pairs> pairs_;  // absent until the first ParseString
};

}  // namespace marl::data
