// The composition root: the one place that knows every part of the
// component. It lists the public classes, registers them with the resource
// loader, the sibling components and the database providers, and
// implements the exported entry points (registration, class factories and
// the unload check).
#include "marlcheckout/server.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "check_out_info/check_out_info_class.h"
#include "check_out_update/check_out_update_class.h"
#include "close_data/close_data_class.h"
#include "data/odbc/odbc_provider.h"
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "frame/frame.h"
#include "marlcheckout/error.h"
#include "marlcheckout/registry.h"
#include "siblings/res_loader.h"
#include "siblings/siblings.h"

namespace marl {

namespace {

bool SameId(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The component's own classes, in the order of its type library.
std::vector<ClassInfo> PublicClasses() {
  return {check_out_info::ClassEntry(), check_out_update::ClassEntry(),
          close_data::ClassEntry()};
}

// Everything the component needs registered: its classes, the resource-text
// loader, the sibling components (each only when no integrator registered
// one under its ProgID) and the database providers, embedded SQLite and ODBC
// (likewise).
void RegisterAll() {
  Registry& registry = Registry::Instance();
  for (ClassInfo& info : PublicClasses()) registry.Register(std::move(info));
  registry.Register(siblings::ResLoaderClass());
  siblings::RegisterSiblings();
  for (auto provider :
       {data::sqlite::MakeSqliteProvider(), data::odbc::MakeOdbcProvider()}) {
    if (!data::HasProvider(provider->Name())) data::RegisterProvider(provider);
  }
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
      throw Error(err::kNoInterface, "MarlCheckOut",
                  "No such interface supported");
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
    return marl::err::kOk;
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
    for (const marl::ClassInfo& info : marl::PublicClasses()) {
      registry.Unregister(info.prog_id);
    }
    registry.Unregister(marl::ids::kResLoaderProgId);
    return marl::err::kOk;
  } catch (const marl::Error& e) {
    return e.number();
  } catch (...) {
    return marl::err::kFail;
  }
}

int32_t DllGetClassObject(const char* clsid, const char* iid,
                          std::shared_ptr<marl::ClassFactory>* factory) {
  if (factory == nullptr) return marl::err::kPointer;
  factory->reset();
  try {
    marl::RegisterComponent();
    std::string_view want = iid == nullptr ? "" : iid;
    if (!want.empty() && !marl::SameId(want, marl::ids::kIUnknown) &&
        !marl::SameId(want, marl::ids::kIClassFactory)) {
      return marl::err::kNoInterface;
    }
    std::string_view id = clsid == nullptr ? "" : clsid;
    for (marl::ClassInfo& info : marl::PublicClasses()) {
      if (marl::SameId(id, info.clsid)) {
        *factory = std::make_shared<marl::Factory>(std::move(info));
        return marl::err::kOk;
      }
    }
    return marl::err::kClassNotAvailable;
  } catch (const marl::Error& e) {
    return e.number();
  } catch (...) {
    return marl::err::kFail;
  }
}

int32_t DllCanUnloadNow() {
  return marl::frame::LiveObjects() == 0 ? marl::err::kOk : marl::err::kFalse;
}

}  // extern "C"
