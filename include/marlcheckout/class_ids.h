// The ProgIDs and identifiers of the component's classes and interfaces.
// Fixed once chosen: clients and registrations keep them across versions.
// Constants only; safe from any thread.
#pragma once

namespace marl {

// Identity of the type library and its classes (fixed once chosen).
namespace ids {
inline constexpr const char* kCheckOutInfoProgId = "MarlCheckOut.CheckOutInfo";
inline constexpr const char* kCheckOutUpdateProgId =
    "MarlCheckOut.CheckOutUpdate";
inline constexpr const char* kCloseDataProgId = "MarlCheckOut.CloseData";

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

// The outside components the component creates by ProgID; an integrator
// puts its own in place by registering a class under the same ProgID.
inline constexpr const char* kExpDeptInfoProgId = "MarlBaseInfo.ExpDeptInfo";
inline constexpr const char* kCostBalInfoProgId = "MarlCostBal.CostBalInfo";
inline constexpr const char* kSettlePriceProgId = "MarlCheckOut.cUpdate";
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

}  // namespace marl
