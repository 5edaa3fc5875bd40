#include "data/cparse.h"

#include <algorithm>

#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"

namespace marl::data {

namespace {

constexpr char kSource[] = "MarlCheckOut";

// Removes leading and trailing space characters (U+0020 only).
std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// Splits `s` at the first `delimiter`: returns the part before it and leaves
// the part after it in `s`. Without the delimiter, returns all of `s` and
// leaves `s` empty. `s` is a view that only moves forward, so a whole parse
// reads each character a bounded number of times.
std::string_view NextToken(std::string_view& s, char delimiter) {
  size_t pos = s.find(delimiter);
  std::string_view token = s.substr(0, pos);
  s.remove_prefix(pos == std::string_view::npos ? s.size() : pos + 1);
  return token;
}

std::string_view NextKey(std::string_view& s) {
  return TrimBlanks(NextToken(s, '='));
}

std::string_view NextValue(std::string_view& s) {
  // Leading blanks only: trailing ones are trimmed from the value (or from
  // the next key), so the remainder is never scanned from its end.
  s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
  std::string_view value;
  if (!s.empty() && s.front() == '{') {
    s.remove_prefix(1);
    value = NextToken(s, '}');
    NextToken(s, ';');  // whatever stands between "}" and ";" is dropped
  } else {
    value = NextToken(s, ';');
  }
  return TrimBlanks(value);
}

// ASCII letter case only, independent of the process locale.
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::shared_ptr<Dispatchable>& ThreadResourceLoader() {
  thread_local std::shared_ptr<Dispatchable> loader;
  return loader;
}

bool CParse::KeyLess::operator()(std::string_view a, std::string_view b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

CParse::~CParse() {
  pairs_.reset();
  std::shared_ptr<Dispatchable>& slot = ThreadResourceLoader();
  if (slot) {
    try {
      slot->Invoke("Unload", std::vector<Variant>{});
    } catch (...) {
      // Releasing the loader must not fail the destruction.
    }
    slot.reset();
  }
}

bool CParse::ParseString(const std::string& to_parse) {
  props_ = to_parse;
  pairs_.emplace();
  std::string_view s = props_;
  for (;;) {
    std::string_view key = NextKey(s);
    std::string_view value = NextValue(s);
    if (key.empty()) break;
    if (!pairs_->emplace(std::string(key), std::string(value)).second) {
      throw Error::Of(err::kDuplicateKey, kSource);
    }
  }
  return true;
}

std::string CParse::GetProperty(std::string_view name) const {
  if (!pairs_) throw Error::Of(err::kObjectNotSet, kSource);
  auto it = pairs_->find(name);
  if (it == pairs_->end()) throw Error::Of(err::kInvalidArgument, kSource);
  return it->second;
}

int32_t CParse::UserID() const {
  return Variant::Text(GetProperty("UserID")).ToInt32();
}

bool CParse::IsIndustry() const {
  std::string v = GetProperty("AcctType");
  std::transform(v.begin(), v.end(), v.begin(), Upper);
  return v == "GY";
}

}  // namespace marl::data
