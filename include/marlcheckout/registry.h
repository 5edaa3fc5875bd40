// Registry of creatable classes by ProgID (the platform's class store).
//
// Contract
// - Register() adds a class, or replaces the class registered under the same
//   ProgID (compared without regard to case), so an integrator can put its own
//   implementation of a sibling component in place.
// - Create() gives a new object each time. When the object is a Component
//   (transaction.h) it is bound to the calling thread's current transaction,
//   if any, and to the calling thread (apartment model).
// - Create() of an unknown ProgID raises kClassNotRegistered naming it.
// Thread safety: all operations are safe from any thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marlcheckout/export.h"

namespace marl {

class Dispatchable;

enum class ThreadingModel { Apartment, Free, Both };
enum class TxAttribute { NotSupported, Supported, Required, RequiresNew };

struct ClassInfo {
  std::string prog_id;
  std::string clsid;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
  std::string iid;    // default interface
  std::vector<std::string> earlier_iids;
  ThreadingModel threading = ThreadingModel::Apartment;
  TxAttribute transaction = TxAttribute::Supported;
  std::function<std::shared_ptr<Dispatchable>()> factory;
};

class MARL_API Registry {
 public:
  static Registry& Instance();

  void Register(ClassInfo info);
  bool Unregister(std::string_view prog_id);
  std::optional<ClassInfo> Find(std::string_view prog_id) const;
  std::optional<ClassInfo> FindByClsid(std::string_view clsid) const;

  std::shared_ptr<Dispatchable> Create(std::string_view prog_id) const;
  std::shared_ptr<Dispatchable> CreateByClsid(std::string_view clsid) const;

 private:
  Registry() = default;
  struct Impl;
  std::shared_ptr<Impl> impl() const;
};

}  // namespace marl
