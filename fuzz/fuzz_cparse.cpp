// CParse::ParseString on any text, then every keyed accessor.
//
// Properties: the string is kept exactly as given; a parse either succeeds
// or raises 457 (a key given twice); an accessor either answers or raises
// 5 (key absent), and UserID also 13 or 6 (not a 32-bit number).
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/cparse.h"
#include "marlcheckout/error.h"
#include "property.h"

namespace {

using marl::Error;
using marl::fuzz::Require;
namespace err = marl::err;

template <typename F>
void Ask(F&& accessor, bool converts) {
  try {
    accessor();
  } catch (const Error& e) {
    const int32_t n = e.number();
    Require(n == err::kInvalidArgument ||
                (converts && (n == err::kTypeMismatch || n == err::kOverflow)),
            "an accessor raised an unexpected error");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  marl::data::CParse parse;
  try {
    Require(parse.ParseString(text), "ParseString returned false");
  } catch (const Error& e) {
    Require(e.number() == err::kDuplicateKey,
            "ParseString raised another error than 457");
  }
  Require(parse.PropsString() == text, "the string was not kept as given");
  Ask([&] { parse.ConStr(); }, false);
  Ask([&] { parse.ConDBMSName(); }, false);
  Ask([&] { parse.ConDBMSVersion(); }, false);
  Ask([&] { parse.LanguageID(); }, false);
  Ask([&] { parse.UserName(); }, false);
  Ask([&] { parse.IsIndustry(); }, false);
  Ask([&] { parse.UserID(); }, true);
  // The whole text as a key: found only when the parse made it one.
  Ask([&] { parse.GetProperty(text); }, false);
  return 0;
}
