// The component server's entry points.
//
// Contract
// - RegisterComponent() makes the three public classes and the resource-text
//   loader "OpalRESLOADER.Loader" creatable through the Registry. It is
//   idempotent and cheap after the first call; loading the library, the
//   typed Create() functions and DllGetClassObject call it, so a user of the
//   shared library never needs to call it. It registers once per process: a
//   class that an integrator registered under the same ProgID afterwards stays
//   in place.
// - DllRegisterServer() (re)registers the classes unconditionally and
//   returns 0 (S_OK); DllUnregisterServer() removes them and returns 0.
// - DllGetClassObject(clsid, iid, factory): a factory for one of the three
//   public classes by class identifier ("{...}" form, compared without regard
//   to case). `iid` may be null, empty, IUnknown or IClassFactory. Results:
//   0 with *factory set; 0x80040111 (CLASS_E_CLASSNOTAVAILABLE) for an
//   unknown class; 0x80004002 (E_NOINTERFACE) for another iid; 0x80004003
//   (E_POINTER) when factory is null.
// - DllCanUnloadNow(): 0 (S_OK) when no public object of the library is
//   alive and no factory holds a server lock, else 1 (S_FALSE). The
//   per-thread resource-text loaders are module data and do not count.
// Thread safety: every function here may be called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "marlcheckout/class_ids.h"
#include "marlcheckout/dispatch.h"
#include "marlcheckout/export.h"

namespace marl {

// Registers the component's classes once per process (see above).
MARL_API void RegisterComponent();

// A class factory of one public class.
class MARL_API ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  // A new object answering `iid`: empty, IUnknown, IDispatch, the class's
  // default interface or one of its earlier identifiers. Another iid raises
  // 0x80004002 (E_NOINTERFACE). The object joins the calling thread's
  // current transaction, if any.
  virtual std::shared_ptr<Dispatchable> CreateInstance(
      std::string_view iid = "") = 0;
  // Keeps the server loaded (DllCanUnloadNow answers 1) while locked.
  virtual void LockServer(bool lock) = 0;
  virtual const std::string& clsid() const = 0;
};

}  // namespace marl

extern "C" {
MARL_API int32_t DllRegisterServer();
MARL_API int32_t DllUnregisterServer();
MARL_API int32_t
DllGetClassObject(const char* clsid, const char* iid,
                  std::shared_ptr<marl::ClassFactory>* factory);
MARL_API int32_t DllCanUnloadNow();
}
