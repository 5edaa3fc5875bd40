// Server entry points: registration, class factories and the unload check.
#include "marlcheckout/server.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "frame/class_table.h"
#include "frame/frame.h"
#include "marlcheckout/error.h"
#include "marlcheckout/registry.h"
#include "siblings/siblings.h"

namespace marl {

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFalse = 1;
constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002);
constexpr int32_t kPointer = static_cast<int32_t>(0x80004003);
constexpr int32_t kClassNotAvailable = static_cast<int32_t>(0x80040111);

bool SameId(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

void RegisterAll() {
  Registry& registry = Registry::Instance();
  for (ClassInfo& info : frame::PublicClasses()) {
    registry.Register(std::move(info));
  }
  registry.Register(frame::ResourceLoaderClass());
  siblings::RegisterSiblings();
}

std::once_flag g_registered;

class Factory : public ClassFactory {
 public:
  explicit Factory(ClassInfo info) : info_(std::move(info)) {}
  // Locks still held end with the factory.
  ~Factory() override {
    while (locks_ > 0) {
      --locks_;
      frame::ReleaseLiveObject();
    }
  }

  std::shared_ptr<Dispatchable> CreateInstance(std::string_view iid) override {
    if (!Answers(iid)) {
      throw Error(kNoInterface, "MarlCheckOut", "No such interface supported");
    }
    auto object = info_.factory();
    if (auto* component = dynamic_cast<Component*>(object.get())) {
      if (auto tx = Transaction::Current()) component->BindTransaction(tx);
    }
    return object;
  }

  void LockServer(bool lock) override {
    std::lock_guard<std::mutex> guard(mu_);
    if (lock) {
      ++locks_;
      frame::AddLiveObject();
    } else if (locks_ > 0) {
      --locks_;
      frame::ReleaseLiveObject();
    }
  }

  const std::string& clsid() const override { return info_.clsid; }

 private:
  bool Answers(std::string_view iid) const {
    if (iid.empty() || SameId(iid, ids::kIUnknown) ||
        SameId(iid, ids::kIDispatch) || SameId(iid, info_.iid)) {
      return true;
    }
    return std::any_of(
        info_.earlier_iids.begin(), info_.earlier_iids.end(),
        [&](const std::string& earlier) { return SameId(iid, earlier); });
  }

  ClassInfo info_;
  std::mutex mu_;
  int64_t locks_ = 0;
};

}  // namespace

void RegisterComponent() { std::call_once(g_registered, RegisterAll); }

namespace {

// Loading the library makes its classes creatable by ProgID, as the
// server's registration does for an installed component.
const bool kRegisteredAtLoad = (RegisterComponent(), true);

}  // namespace

}  // namespace marl

extern "C" {

int32_t DllRegisterServer() {
  try {
    // Mark the one-time registration as done so it cannot later replace
    // what this call registers.
    marl::RegisterComponent();
    marl::RegisterAll();
    return marl::kOk;
  } catch (const marl::Error& e) {
    return e.number();
  } catch (...) {
    return marl::err::kFail;
  }
}

int32_t DllUnregisterServer() {
  try {
    marl::RegisterComponent();
    marl::Registry& registry = marl::Registry::Instance();
    for (const marl::ClassInfo& info : marl::frame::PublicClasses()) {
      registry.Unregister(info.prog_id);
    }
    registry.Unregister(marl::ids::kResLoaderProgId);
    return marl::kOk;
  } catch (const marl::Error& e) {
    return e.number();
  } catch (...) {
    return marl::err::kFail;
  }
}

int32_t DllGetClassObject(const char* clsid, const char* iid,
                          std::shared_ptr<marl::ClassFactory>* factory) {
  if (factory == nullptr) return marl::kPointer;
  factory->reset();
  try {
    marl::RegisterComponent();
    std::string_view want = iid == nullptr ? "" : iid;
    if (!want.empty() && !marl::SameId(want, marl::ids::kIUnknown) &&
        !marl::SameId(want, marl::ids::kIClassFactory)) {
      return marl::kNoInterface;
    }
    std::string_view id = clsid == nullptr ? "" : clsid;
    for (marl::ClassInfo& info : marl::frame::PublicClasses()) {
      if (marl::SameId(id, info.clsid)) {
        *factory = std::make_shared<marl::Factory>(std::move(info));
        return marl::kOk;
      }
    }
    return marl::kClassNotAvailable;
  } catch (const marl::Error& e) {
    return e.number();
  } catch (...) {
    return marl::err::kFail;
  }
}

int32_t DllCanUnloadNow() {
  return marl::frame::LiveObjects() == 0 ? marl::kOk : marl::kFalse;
}

}  // extern "C"
