// The shared property store.
//
// Property names and group names are compared exactly (with letter case).
// Named and numbered properties of a group are separate sets.
#include "platform/shared_property.h"

#include <map>

#include "marlcheckout/error.h"

namespace marl {

Variant SharedProperty::Value() const {
  std::lock_guard<std::mutex> lock(mu_);
  return value_;
}

void SharedProperty::SetValue(Variant v) {
  std::lock_guard<std::mutex> lock(mu_);
  value_ = std::move(v);
}

struct SharedPropertyGroup::Impl {
  mutable std::mutex mu;
  std::recursive_mutex fill_mu;
  std::map<std::string, std::shared_ptr<SharedProperty>, std::less<>> named;
  std::map<int32_t, std::shared_ptr<SharedProperty>> numbered;
};

SharedPropertyGroup::SharedPropertyGroup() : impl_(std::make_shared<Impl>()) {}

std::shared_ptr<SharedProperty> SharedPropertyGroup::CreateProperty(
    std::string_view name, bool* existed) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->named.find(name);
  if (existed) *existed = it != impl_->named.end();
  if (it != impl_->named.end()) return it->second;
  auto p = std::make_shared<SharedProperty>();
  impl_->named.emplace(std::string(name), p);
  return p;
}

std::shared_ptr<SharedProperty> SharedPropertyGroup::CreatePropertyByPosition(
    int32_t position, bool* existed) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->numbered.find(position);
  if (existed) *existed = it != impl_->numbered.end();
  if (it != impl_->numbered.end()) return it->second;
  auto p = std::make_shared<SharedProperty>();
  impl_->numbered.emplace(position, p);
  return p;
}

std::shared_ptr<SharedProperty> SharedPropertyGroup::Property(
    std::string_view name) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->named.find(name);
  if (it == impl_->named.end()) {
    throw Error(err::kInvalidArgument, "SharedPropertyGroup",
                "No shared property named \"" + std::string(name) + "\"");
  }
  return it->second;
}

std::shared_ptr<SharedProperty> SharedPropertyGroup::PropertyByPosition(
    int32_t position) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->numbered.find(position);
  if (it == impl_->numbered.end()) {
    throw Error(err::kInvalidArgument, "SharedPropertyGroup",
                "No shared property at position " + std::to_string(position));
  }
  return it->second;
}

std::unique_lock<std::recursive_mutex> SharedPropertyGroup::FillLock() {
  return std::unique_lock<std::recursive_mutex>(impl_->fill_mu);
}

namespace {

struct Groups {
  std::mutex mu;
  std::map<std::string, std::shared_ptr<SharedPropertyGroup>, std::less<>>
      by_name;
};

Groups& TheGroups() {
  static Groups groups;
  return groups;
}

}  // namespace

SharedPropertyGroupManager& SharedPropertyGroupManager::Instance() {
  static SharedPropertyGroupManager manager;
  return manager;
}

std::shared_ptr<SharedPropertyGroup>
SharedPropertyGroupManager::CreatePropertyGroup(std::string_view name,
                                                int32_t isolation_mode,
                                                int32_t release_mode,
                                                bool* existed) {
  if (isolation_mode < 0 || isolation_mode > 1 || release_mode < 0 ||
      release_mode > 1) {
    throw Error::Of(err::kInvalidArgument, "SharedPropertyGroupManager");
  }
  Groups& g = TheGroups();
  std::lock_guard<std::mutex> lock(g.mu);
  auto it = g.by_name.find(name);
  if (existed) *existed = it != g.by_name.end();
  if (it != g.by_name.end()) return it->second;
  std::shared_ptr<SharedPropertyGroup> group(new SharedPropertyGroup());
  g.by_name.emplace(std::string(name), group);
  return group;
}

void SharedPropertyGroupManager::ResetForTesting() {
  Groups& g = TheGroups();
  std::lock_guard<std::mutex> lock(g.mu);
  g.by_name.clear();
}

}  // namespace marl
