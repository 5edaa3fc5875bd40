// The component server's entry points and class identity.
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

#include "marlcheckout/dispatch.h"

namespace marl {

// Identity of the type library and its classes (fixed once chosen).
namespace ids {
inline constexpr const char* kTypeLib =
    "{BFD00C56-AFAB-452C-9278-3434865DA745}";
inline constexpr const char* kTypeLibVersion = "2.6";

inline constexpr const char* kCheckOutInfoClsid =
    "{D6C9C5EE-3E44-406A-BD57-B649596D5892}";
inline constexpr const char* kCheckOutInfoIid =
    "{516539E7-4CA1-417B-B030-1C9C164E55A1}";
inline constexpr const char* kCheckOutInfoEarlierIids[] = {
    "{2D7C2BC6-DE45-413A-B3C1-7B242B099849}",
    "{1AE803C3-D3E2-4938-A37C-07FC27190D19}",
    "{417A7713-F239-4801-927F-3AA8E88389DF}"};

inline constexpr const char* kCheckOutUpdateClsid =
    "{994EA9A2-6924-40F3-A800-4DB469E91140}";
inline constexpr const char* kCheckOutUpdateIid =
    "{F2718F80-A02E-4814-880D-48452576BF92}";

inline constexpr const char* kCloseDataClsid =
    "{4AB556F2-832C-44ED-88D3-A0CA76B832A8}";
inline constexpr const char* kCloseDataIid =
    "{4169AA14-2C32-4B42-B0DF-C7F6B1219D15}";
inline constexpr const char* kCloseDataEarlierIids[] = {
    "{0622BB43-1962-4C3E-870C-32ED61988CCA}",
    "{088AD2AD-CE27-4C0A-B500-11D4AE28DC7B}",
    "{977A1DB7-6321-4A05-A5A6-38A74CAF154F}",
    "{D468FD69-7F81-4856-A8D8-937D925939C4}",
    "{CF6B4858-3064-4BAC-B697-F4A8B3589FC3}"};

inline constexpr const char* kResLoaderProgId = "OpalRESLOADER.Loader";
inline constexpr const char* kResLoaderClsid =
    "{3DAD694C-7CB2-4452-A950-2267A9E976D2}";

inline constexpr const char* kIUnknown =
    "{00000000-0000-0000-C000-000000000046}";
inline constexpr const char* kIDispatch =
    "{00020400-0000-0000-C000-000000000046}";
inline constexpr const char* kIClassFactory =
    "{00000001-0000-0000-C000-000000000046}";
}  // namespace ids

// Registers the component's classes once per process (see above).
void RegisterComponent();

// A class factory of one public class.
class ClassFactory {
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
__attribute__((visibility("default"))) int32_t DllRegisterServer();
__attribute__((visibility("default"))) int32_t DllUnregisterServer();
__attribute__((visibility("default"))) int32_t DllGetClassObject(
    const char* clsid, const char* iid,
    std::shared_ptr<marl::ClassFactory>* factory);
__attribute__((visibility("default"))) int32_t DllCanUnloadNow();
}
