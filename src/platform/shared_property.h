// The shared property store: process-wide named groups of properties,
// reached by name or by position, whose values may be any Variant
// (including object references).
//
// Each single read or write of a property is serialised. A group being
// filled can be held under its fill lock (FillLock) so that no other thread
// that also takes the fill lock sees it half filled.
// Thread safety: every operation is safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "marlcheckout/variant.h"

namespace marl {

class SharedProperty {
 public:
  Variant Value() const;
  void SetValue(Variant v);

 private:
  friend class SharedPropertyGroup;
  mutable std::mutex mu_;
  Variant value_;
};

class SharedPropertyGroup {
 public:
  // Both return the existing property when there is one, else a new one
  // whose value is Empty; `existed` tells which.
  std::shared_ptr<SharedProperty> CreateProperty(std::string_view name,
                                                 bool* existed = nullptr);
  std::shared_ptr<SharedProperty> CreatePropertyByPosition(
      int32_t position, bool* existed = nullptr);
  // Fail (error 5) when the property does not exist.
  std::shared_ptr<SharedProperty> Property(std::string_view name) const;
  std::shared_ptr<SharedProperty> PropertyByPosition(int32_t position) const;

  // Held by a thread that fills the group as a whole.
  std::unique_lock<std::recursive_mutex> FillLock();

 private:
  struct Impl;
  friend class SharedPropertyGroupManager;
  SharedPropertyGroup();
  std::shared_ptr<Impl> impl_;
};

class SharedPropertyGroupManager {
 public:
  static SharedPropertyGroupManager& Instance();
  // Isolation mode 0 locks each get and set; release mode 1 keeps the group
  // until the process ends (the only modes the component uses).
  std::shared_ptr<SharedPropertyGroup> CreatePropertyGroup(
      std::string_view name, int32_t isolation_mode, int32_t release_mode,
      bool* existed = nullptr);
  // Drops every group (tests only).
  void ResetForTesting();

 private:
  SharedPropertyGroupManager() = default;
};

}  // namespace marl
