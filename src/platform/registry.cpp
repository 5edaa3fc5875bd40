// The process-wide class store.
#include "marlcheckout/registry.h"

#include <strings.h>

#include <mutex>

#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"

namespace marl {

struct Registry::Impl {
  mutable std::mutex mu;
  std::vector<ClassInfo> classes;

  // Index of the class whose `field` equals `key` without regard to case.
  template <class Field>
  const ClassInfo* FindLocked(Field field, std::string_view key) const {
    for (const ClassInfo& c : classes) {
      const std::string& v = c.*field;
      if (v.size() == key.size() &&
          strncasecmp(v.data(), key.data(), key.size()) == 0) {
        return &c;
      }
    }
    return nullptr;
  }
};

Registry& Registry::Instance() {
  static Registry registry;
  return registry;
}

std::shared_ptr<Registry::Impl> Registry::impl() const {
  static const std::shared_ptr<Impl> impl = std::make_shared<Impl>();
  return impl;
}

void Registry::Register(ClassInfo info) {
  auto im = impl();
  std::lock_guard<std::mutex> lock(im->mu);
  for (ClassInfo& c : im->classes) {
    if (c.prog_id.size() == info.prog_id.size() &&
        strncasecmp(c.prog_id.data(), info.prog_id.data(),
                    info.prog_id.size()) == 0) {
      c = std::move(info);
      return;
    }
  }
  im->classes.push_back(std::move(info));
}

bool Registry::Unregister(std::string_view prog_id) {
  auto im = impl();
  std::lock_guard<std::mutex> lock(im->mu);
  const ClassInfo* c = im->FindLocked(&ClassInfo::prog_id, prog_id);
  if (c == nullptr) return false;
  im->classes.erase(im->classes.begin() + (c - im->classes.data()));
  return true;
}

std::optional<ClassInfo> Registry::Find(std::string_view prog_id) const {
  auto im = impl();
  std::lock_guard<std::mutex> lock(im->mu);
  const ClassInfo* c = im->FindLocked(&ClassInfo::prog_id, prog_id);
  if (c == nullptr) return std::nullopt;
  return *c;
}

std::optional<ClassInfo> Registry::FindByClsid(std::string_view clsid) const {
  auto im = impl();
  std::lock_guard<std::mutex> lock(im->mu);
  const ClassInfo* c = im->FindLocked(&ClassInfo::clsid, clsid);
  if (c == nullptr) return std::nullopt;
  return *c;
}

namespace {

// Makes the object and binds a component to the caller's transaction; the
// component's constructor has bound it to the calling thread.
std::shared_ptr<Dispatchable> Make(const std::optional<ClassInfo>& info,
                                   std::string_view name) {
  if (!info || !info->factory) {
    throw Error(err::kClassNotRegistered, std::string(name),
                ErrorText(err::kClassNotRegistered) + ": " + std::string(name));
  }
  std::shared_ptr<Dispatchable> obj = info->factory();
  if (auto* component = dynamic_cast<Component*>(obj.get())) {
    component->BindTransaction(Transaction::Current());
  }
  return obj;
}

}  // namespace

std::shared_ptr<Dispatchable> Registry::Create(std::string_view prog_id) const {
  // The factory runs outside the lock: it may create further classes.
  return Make(Find(prog_id), prog_id);
}

std::shared_ptr<Dispatchable> Registry::CreateByClsid(
    std::string_view clsid) const {
  return Make(FindByClsid(clsid), clsid);
}

}  // namespace marl
