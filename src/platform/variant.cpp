// Variant and its automation conversion rules.
//
// Conversion rules (ChangeType):
// - To Empty gives Empty, to Null gives Null, from anything.
// - Null to any other kind raises 94 "Invalid use of Null". Empty converts to
//   0, "", False, the zero date or a null object reference. Missing converts
//   only to Missing; Object only to Object; an array of bytes only to itself
//   (no default-member evaluation, no byte/text reinterpretation): 13.
// - Numbers to integers round half to even; a result outside the target's
//   range raises 6 "Overflow". Currency is held scaled by 10000 and converts
//   exactly between its scaled integer and the integer kinds.
// - Boolean true is -1 as a number; a number is true when it is not zero.
// - Text to numbers: plain decimal with "." only (no locale, no thousands
//   separators, no hexadecimal): optional blanks around, a sign, digits with
//   an optional decimal point, and an optional exponent. Anything else,
//   including "", raises 13. Text to currency is exact (half to even at the
//   fifth decimal), not through a double. Text to Boolean also accepts
//   "True"/"False" in any letter case.
// - Numbers to text: integers in plain decimal; doubles with up to 15
//   significant digits (singles 7), no trailing zeros, "." as decimal point;
//   an exponent ("1E+20", "1.5E-12") only outside 1E-10 <= |v| < 1E+15.
//   Currency with up to 4 decimals, no trailing zeros. Boolean gives "True" or
//   "False".
// - Dates: an automation date (days since 1899-12-30, time as the fraction;
//   before that day the fraction still counts forward within the day). Date
//   text is "YYYY-MM-DD" at midnight and "YYYY-MM-DD HH:MM:SS" otherwise,
//   rounded to the second. Text to date accepts those two forms (also with "/"
//   and with one-digit fields, and HH:MM without seconds); other text is 13.
//   Numbers to dates outside 0100-01-01 .. 9999-12-31 raise 6, and so does a
//   date value outside that range (or NaN) converted to text.
#include "marlcheckout/variant.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "marlcheckout/dispatch.h"
#include "marlcheckout/error.h"

namespace marl {

namespace {

constexpr double kMinDate = -657434.0;  // 0100-01-01
constexpr double kMaxDate = 2958466.0;  // 10000-01-01 (exclusive)

[[noreturn]] void Raise(int32_t number) { throw Error::Of(number); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal text taken apart: [sign] digits [. digits] [e [sign] digits].
struct DecimalText {
  bool negative = false;
  std::string_view whole;     // digits before the point
  std::string_view fraction;  // digits after it
  std::string_view body;      // from the first digit or point to the end
  int64_t exponent = 0;       // saturated far beyond any finite value
};

// False when the text (blanks around allowed) is not a plain decimal number.
bool ScanNumber(std::string_view text, DecimalText* out) {
  std::string_view s = Trim(text);
  if (s.empty()) return false;
  size_t i = 0;
  if (s[i] == '+' || s[i] == '-') {
    out->negative = s[i] == '-';
    ++i;
  }
  out->body = s.substr(i);
  size_t start = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  out->whole = s.substr(start, i - start);
  if (i < s.size() && s[i] == '.') {
    start = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    out->fraction = s.substr(start, i - start);
  }
  if (out->whole.empty() && out->fraction.empty()) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative_exponent = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      negative_exponent = s[i] == '-';
      ++i;
    }
    size_t exp_digits = 0;
    int64_t e = 0;
    while (i < s.size() && IsDigit(s[i])) {
      if (e < 100000000) e = e * 10 + (s[i] - '0');
      ++i, ++exp_digits;
    }
    if (exp_digits == 0) return false;
    out->exponent = negative_exponent ? -e : e;
  }
  return i == s.size();
}

// Parses plain decimal text; false when the text is not a number.
bool ParseNumber(std::string_view text, double* out) {
  DecimalText d;
  if (!ScanNumber(text, &d)) return false;
  std::string body(d.body);
  if (body.front() == '.') body.insert(body.begin(), '0');
  double v = 0;
  auto res = std::from_chars(body.data(), body.data() + body.size(), v,
                             std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large: report as infinite so the caller raises Overflow; too small
    // (below 1 by its whole digits and exponent) underflows to zero.
    const size_t lead = d.whole.find_first_not_of('0');
    const int64_t magnitude =
        (lead == std::string_view::npos
             ? 0
             : static_cast<int64_t>(d.whole.size() - lead)) +
        d.exponent;
    v = magnitude <= 0 ? 0.0 : HUGE_VAL;
  } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
    return false;
  }
  *out = d.negative ? -v : v;
  return true;
}

// Plain decimal text to currency, exactly (no detour through a double, which
// holds only 15 to 16 digits): the value scaled by 10000, rounded half to
// even. False when the text is not a number; 6 beyond the currency's range.
bool ParseCurrency(std::string_view text, int64_t* scaled) {
  DecimalText d;
  if (!ScanNumber(text, &d)) return false;
  std::string digits(d.whole);
  digits += d.fraction;
  const size_t first = digits.find_first_not_of('0');
  digits.erase(0, first == std::string::npos ? digits.size() : first);
  // The value is digits x 10^shift in units of 1/10000.
  const int64_t shift =
      d.exponent + 4 - static_cast<int64_t>(d.fraction.size());
  const int64_t n = static_cast<int64_t>(digits.size());
  // 20 digits or more are beyond 2^63; 19 at most fit a uint64_t even after
  // rounding up.
  if (n > 0 && n + shift > 19) Raise(err::kOverflow);
  const int64_t dropped = shift < 0 ? -shift : 0;
  const size_t kept = dropped >= n ? 0 : static_cast<size_t>(n - dropped);
  uint64_t v = 0;
  for (size_t i = 0; i < kept; ++i) v = v * 10 + (digits[i] - '0');
  for (int64_t i = 0; i < shift; ++i) v *= 10;
  if (dropped > 0 && dropped <= n) {
    // Half to even on the dropped digits; when more are dropped than there
    // are, the first dropped digit is an implied 0 and the value rounds to 0.
    const char lead = digits[kept];
    const bool rest =
        digits.find_first_not_of('0', kept + 1) != std::string::npos;
    if (lead > '5' || (lead == '5' && (rest || v % 2 != 0))) ++v;
  }
  const uint64_t limit = (uint64_t{1} << 63) - (d.negative ? 0 : 1);
  if (v > limit) Raise(err::kOverflow);
  *scaled = d.negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

// Rounds half to even and checks [lo, hi]; NaN and out of range raise 6.
int64_t RoundToInteger(double v, int64_t lo, int64_t hi) {
  if (std::isnan(v)) Raise(err::kOverflow);
  double r = std::nearbyint(v);  // default rounding mode: half to even
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
    Raise(err::kOverflow);
  }
  return static_cast<int64_t>(r);
}

// Scaled currency to whole units, half to even.
int64_t CurrencyToInteger(int64_t scaled) {
  int64_t q = scaled / 10000;
  int64_t r = scaled % 10000;
  if (r > 5000 || (r == 5000 && (q % 2 != 0))) ++q;
  if (r < -5000 || (r == -5000 && (q % 2 != 0))) --q;
  return q;
}

int64_t DoubleToCurrency(double v) {
  if (std::isnan(v)) Raise(err::kOverflow);
  double r = std::nearbyint(v * 10000.0);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
    Raise(err::kOverflow);
  }
  return static_cast<int64_t>(r);
}

std::string FormatCurrency(int64_t scaled) {
  bool negative = scaled < 0;
  // Work in unsigned to cover the most negative value.
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled)
                          : static_cast<uint64_t>(scaled);
  std::string out = negative ? "-" : "";
  out += std::to_string(mag / 10000);
  uint64_t frac = mag % 10000;
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
    std::string f(buf);
    while (!f.empty() && f.back() == '0') f.pop_back();
    out += "." + f;
  }
  return out;
}

// Formats with `digits` significant digits, automation style.
std::string FormatFloating(double v, int digits) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  if (v == 0) return "0";
  // Round to the significant digits first, then choose the layout from the
  // rounded value's exponent.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
  // buf: [-]d.ddddde[+-]xx
  std::string s(buf);
  size_t epos = s.find('e');
  int exponent = std::atoi(s.c_str() + epos + 1);
  std::string mantissa = s.substr(0, epos);
  bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string significant;
  for (char c : mantissa) {
    if (c != '.') significant += c;
  }
  while (significant.size() > 1 && significant.back() == '0') {
    significant.pop_back();
  }
  std::string out = negative ? "-" : "";
  int max_plain = digits == 15 ? 15 : digits;  // plain below 1E+digits
  if (exponent >= max_plain || exponent < -10) {
    out += significant.substr(0, 1);
    if (significant.size() > 1) out += "." + significant.substr(1);
    char e[16];
    std::snprintf(e, sizeof e, "E%c%02d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
    out += e;
    return out;
  }
  if (exponent < 0) {
    out += "0.";
    out += std::string(static_cast<size_t>(-exponent - 1), '0');
    out += significant;
    return out;
  }
  size_t int_digits = static_cast<size_t>(exponent) + 1;
  if (significant.size() <= int_digits) {
    out += significant + std::string(int_digits - significant.size(), '0');
  } else {
    out += significant.substr(0, int_digits) + "." +
           significant.substr(int_digits);
  }
  return out;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned dd = doy - (153 * mp + 2) / 5 + 1;
  const unsigned mm = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(yy + (mm <= 2));
  *m = static_cast<int>(mm);
  *d = static_cast<int>(dd);
}

// 1899-12-30 relative to 1970-01-01, a constant: dates made by the static
// initialisers of other files must not depend on the order of initialisation.
constexpr int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads 1..max_len digits.
bool ReadField(std::string_view s, size_t* i, size_t min_len, size_t max_len,
               int* out) {
  size_t start = *i;
  int v = 0;
  while (*i < s.size() && IsDigit(s[*i]) && *i - start < max_len) {
    v = v * 10 + (s[*i] - '0');
    ++*i;
  }
  if (*i - start < min_len) return false;
  *out = v;
  return true;
}

double CheckedDate(double v) {
  if (std::isnan(v) || v < kMinDate || v >= kMaxDate) Raise(err::kOverflow);
  return v;
}

bool IsIntegral(VarType t) {
  return t == VarType::I2 || t == VarType::I4 || t == VarType::Byte ||
         t == VarType::Bool;
}

}  // namespace

Variant::Variant() = default;

Variant Variant::Empty() { return Variant(); }

Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant Variant::Missing() {
  Variant v;
  v.type_ = VarType::Missing;
  return v;
}

Variant Variant::OfInt(VarType type, int64_t i) {
  Variant v;
  v.type_ = type;
  v.i_ = i;
  return v;
}

Variant Variant::OfDouble(VarType type, double d) {
  Variant v;
  v.type_ = type;
  v.d_ = d;
  return v;
}

Variant Variant::I2(int16_t x) { return OfInt(VarType::I2, x); }

Variant Variant::I4(int32_t x) { return OfInt(VarType::I4, x); }

Variant Variant::R4(float x) { return OfDouble(VarType::R4, x); }

Variant Variant::R8(double x) { return OfDouble(VarType::R8, x); }

Variant Variant::CurrencyScaled(int64_t scaled) {
  return OfInt(VarType::Currency, scaled);
}

Variant Variant::Date(double oleDate) {
  return OfDouble(VarType::Date, oleDate);
}

Variant Variant::Text(std::string utf8) {
  Variant v;
  v.type_ = VarType::Text;
  v.s_ = std::move(utf8);
  return v;
}

Variant Variant::Bool(bool x) { return OfInt(VarType::Bool, x ? 1 : 0); }

Variant Variant::Byte(uint8_t x) { return OfInt(VarType::Byte, x); }

Variant Variant::Bytes(std::vector<uint8_t> x) {
  Variant v;
  v.type_ = VarType::ByteArray;
  v.bytes_ = std::move(x);
  return v;
}

Variant Variant::Object(std::shared_ptr<Dispatchable> obj) {
  Variant v;
  v.type_ = VarType::Object;
  v.obj_ = std::move(obj);
  return v;
}

bool Variant::IsNumeric() const {
  switch (type_) {
    case VarType::I2:
    case VarType::I4:
    case VarType::R4:
    case VarType::R8:
    case VarType::Currency:
    case VarType::Byte:
    case VarType::Bool:
      return true;
    default:
      return false;
  }
}

#define MARL_EXACT(kind) \
  if (type_ != VarType::kind) Raise(err::kTypeMismatch);

int16_t Variant::AsI2() const {
  MARL_EXACT(I2);
  return static_cast<int16_t>(i_);
}
int32_t Variant::AsI4() const {
  MARL_EXACT(I4);
  return static_cast<int32_t>(i_);
}
float Variant::AsR4() const {
  MARL_EXACT(R4);
  return static_cast<float>(d_);
}
double Variant::AsR8() const {
  MARL_EXACT(R8);
  return d_;
}
int64_t Variant::AsCurrencyScaled() const {
  MARL_EXACT(Currency);
  return i_;
}
double Variant::AsDate() const {
  MARL_EXACT(Date);
  return d_;
}
const std::string& Variant::AsText() const {
  MARL_EXACT(Text);
  return s_;
}
bool Variant::AsBool() const {
  MARL_EXACT(Bool);
  return i_ != 0;
}
uint8_t Variant::AsByte() const {
  MARL_EXACT(Byte);
  return static_cast<uint8_t>(i_);
}
const std::vector<uint8_t>& Variant::AsBytes() const {
  MARL_EXACT(ByteArray);
  return bytes_;
}
const std::shared_ptr<Dispatchable>& Variant::AsObject() const {
  MARL_EXACT(Object);
  return obj_;
}

#undef MARL_EXACT

int16_t Variant::ToInt16() const { return ChangeType(VarType::I2).AsI2(); }
int32_t Variant::ToInt32() const { return ChangeType(VarType::I4).AsI4(); }
double Variant::ToDouble() const { return ChangeType(VarType::R8).AsR8(); }
std::string Variant::ToText() const {
  if (type_ == VarType::Text) return s_;
  return ChangeType(VarType::Text).AsText();
}
bool Variant::ToBool() const { return ChangeType(VarType::Bool).AsBool(); }
double Variant::ToDate() const { return ChangeType(VarType::Date).AsDate(); }

Variant Variant::ChangeType(VarType target) const {
  if (target == VarType::Empty) return Variant();
  if (target == VarType::Null) return Null();
  if (target == type_) return *this;
  switch (type_) {
    case VarType::Null:
      Raise(err::kInvalidUseOfNull);
    case VarType::Missing:
    case VarType::Object:
    case VarType::ByteArray:
      Raise(err::kTypeMismatch);
    default:
      break;
  }
  if (type_ == VarType::Empty) {
    switch (target) {
      case VarType::Text:
        return Text("");
      case VarType::Object:
        return Object(nullptr);
      case VarType::Missing:
      case VarType::ByteArray:
        Raise(err::kTypeMismatch);
      default:
        return I4(0).ChangeType(target);
    }
  }

  // From here the source is a number, a Boolean, a date or text.
  // Integral source value (Bool as -1/0), when it has one.
  auto integral = [this]() -> int64_t {
    return type_ == VarType::Bool ? (i_ != 0 ? -1 : 0) : i_;
  };

  // Text sources first.
  double parsed = 0;
  if (type_ == VarType::Text) {
    switch (target) {
      case VarType::Bool: {
        std::string_view t = Trim(s_);
        if (t.size() == 4 && strncasecmp(t.data(), "true", 4) == 0) {
          return Bool(true);
        }
        if (t.size() == 5 && strncasecmp(t.data(), "false", 5) == 0) {
          return Bool(false);
        }
        if (!ParseNumber(s_, &parsed)) Raise(err::kTypeMismatch);
        return Bool(parsed != 0);
      }
      case VarType::Date: {
        double d = 0;
        if (!ParseDate(Trim(s_), &d)) Raise(err::kTypeMismatch);
        return Date(d);
      }
      case VarType::Currency: {
        int64_t scaled = 0;
        if (!ParseCurrency(s_, &scaled)) Raise(err::kTypeMismatch);
        return CurrencyScaled(scaled);
      }
      case VarType::I2:
      case VarType::I4:
      case VarType::R4:
      case VarType::R8:
      case VarType::Byte:
        if (!ParseNumber(s_, &parsed)) Raise(err::kTypeMismatch);
        if (!std::isfinite(parsed)) Raise(err::kOverflow);
        return R8(parsed).ChangeType(target);
      default:
        Raise(err::kTypeMismatch);
    }
  }

  switch (target) {
    case VarType::Text:
      switch (type_) {
        case VarType::Bool:
          return Text(i_ != 0 ? "True" : "False");
        case VarType::I2:
        case VarType::I4:
        case VarType::Byte:
          return Text(std::to_string(i_));
        case VarType::R4:
          return Text(FormatFloating(d_, 7));
        case VarType::R8:
          return Text(FormatDouble(d_));
        case VarType::Currency:
          return Text(FormatCurrency(i_));
        case VarType::Date:
          return Text(FormatDate(d_));
        default:
          Raise(err::kTypeMismatch);
      }
    case VarType::Bool:
      if (type_ == VarType::Currency || IsIntegral(type_)) {
        return Bool(i_ != 0);
      }
      return Bool(d_ != 0);
    case VarType::I2:
    case VarType::I4:
    case VarType::Byte: {
      int64_t lo = target == VarType::I2   ? INT16_MIN
                   : target == VarType::I4 ? INT32_MIN
                                           : 0;
      int64_t hi = target == VarType::I2   ? INT16_MAX
                   : target == VarType::I4 ? INT32_MAX
                                           : UINT8_MAX;
      int64_t v = 0;
      if (IsIntegral(type_)) {
        v = integral();
        if (v < lo || v > hi) Raise(err::kOverflow);
      } else if (type_ == VarType::Currency) {
        v = CurrencyToInteger(i_);
        if (v < lo || v > hi) Raise(err::kOverflow);
      } else {
        v = RoundToInteger(d_, lo, hi);
      }
      if (target == VarType::I2) return I2(static_cast<int16_t>(v));
      if (target == VarType::I4) return I4(static_cast<int32_t>(v));
      return Byte(static_cast<uint8_t>(v));
    }
    case VarType::R4: {
      double v = IsIntegral(type_) ? static_cast<double>(integral())
                 : type_ == VarType::Currency
                     ? static_cast<double>(i_) / 10000.0
                     : d_;
      if (std::isfinite(v) && std::fabs(v) > FLT_MAX) Raise(err::kOverflow);
      return R4(static_cast<float>(v));
    }
    case VarType::R8:
      if (IsIntegral(type_)) return R8(static_cast<double>(integral()));
      if (type_ == VarType::Currency)
        return R8(static_cast<double>(i_) / 10000.0);
      return R8(d_);
    case VarType::Currency:
      if (IsIntegral(type_)) return CurrencyScaled(integral() * 10000);
      return CurrencyScaled(DoubleToCurrency(d_));
    case VarType::Date:
      if (IsIntegral(type_)) {
        return Date(CheckedDate(static_cast<double>(integral())));
      }
      if (type_ == VarType::Currency) {
        return Date(CheckedDate(static_cast<double>(i_) / 10000.0));
      }
      return Date(CheckedDate(d_));
    default:
      Raise(err::kTypeMismatch);
  }
}

bool Variant::operator==(const Variant& other) const {
  if (IsNumeric() && other.IsNumeric()) {
    auto as_int = [](const Variant& v) {
      return v.type_ == VarType::Bool ? (v.i_ != 0 ? -1 : 0) : v.i_;
    };
    bool a_int = IsIntegral(type_);
    bool b_int = IsIntegral(other.type_);
    if (a_int && b_int) return as_int(*this) == as_int(other);
    bool a_cur = type_ == VarType::Currency;
    bool b_cur = other.type_ == VarType::Currency;
    if ((a_int || a_cur) && (b_int || b_cur)) {
      // Exact comparison in scaled units; integral values are far inside the
      // range of a scaled int64.
      int64_t a = a_cur ? i_ : as_int(*this) * 10000;
      int64_t b = b_cur ? other.i_ : as_int(other) * 10000;
      return a == b;
    }
    auto as_double = [&](const Variant& v) {
      if (IsIntegral(v.type_)) return static_cast<double>(as_int(v));
      if (v.type_ == VarType::Currency)
        return static_cast<double>(v.i_) / 10000.0;
      return v.d_;
    };
    return as_double(*this) == as_double(other);
  }
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing:
      return true;
    case VarType::Date:
      return d_ == other.d_;
    case VarType::Text:
      return s_ == other.s_;
    case VarType::ByteArray:
      return bytes_ == other.bytes_;
    case VarType::Object:
      return obj_ == other.obj_;
    default:
      return false;
  }
}

size_t Variant::Utf16Length(std::string_view utf8) {
  size_t units = 0;
  size_t i = 0;
  const size_t n = utf8.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80             ? 1
                 : (c & 0xE0) == 0xC0 ? 2
                 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4
                                      : 0;
    bool valid = len != 0 && i + len <= n;
    for (size_t k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
    }
    if (!valid) {
      // A malformed byte stands for one replacement character.
      ++units;
      ++i;
      continue;
    }
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

double Variant::MakeDate(int year, int month, int day, int hour, int minute,
                         int second) {
  int64_t days = DaysFromCivil(year, static_cast<unsigned>(month),
                               static_cast<unsigned>(day)) -
                 kOleEpoch;
  double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before the epoch the integer part counts backwards but the time still
  // counts forward within the day: -1.25 is 1899-12-29 06:00.
  return days < 0 ? static_cast<double>(days) - time
                  : static_cast<double>(days) + time;
}

void Variant::SplitDate(double oleDate, int* year, int* month, int* day,
                        int* hour, int* minute, int* second) {
  CheckedDate(oleDate);  // a value far outside the calendar has no fields
  double whole = std::trunc(oleDate);
  double frac = std::fabs(oleDate - whole);
  int64_t days = static_cast<int64_t>(whole);
  int64_t secs = std::llround(frac * 86400.0);
  if (secs >= 86400) {
    // Rounded up to the next midnight, unless that would leave the calendar:
    // the last moments of 9999-12-31 stay on that day, so every date in
    // range has fields (and a text) that read back.
    if (static_cast<double>(days + 1) >= kMaxDate) {
      secs = 86399;
    } else {
      secs -= 86400;
      ++days;
    }
  }
  int y = 0, m = 0, d = 0;
  CivilFromDays(days + kOleEpoch, &y, &m, &d);
  if (year) *year = y;
  if (month) *month = m;
  if (day) *day = d;
  if (hour) *hour = static_cast<int>(secs / 3600);
  if (minute) *minute = static_cast<int>(secs / 60 % 60);
  if (second) *second = static_cast<int>(secs % 60);
}

std::string Variant::FormatDate(double oleDate) {
  int y, m, d, hh, mm, ss;
  SplitDate(oleDate, &y, &m, &d, &hh, &mm, &ss);
  char buf[48];
  if (hh == 0 && mm == 0 && ss == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, hh,
                  mm, ss);
  }
  return buf;
}

bool Variant::ParseDate(std::string_view s, double* oleDate) {
  size_t i = 0;
  int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
  if (!ReadField(s, &i, 4, 4, &y)) return false;
  if (i >= s.size() || (s[i] != '-' && s[i] != '/')) return false;
  char sep = s[i++];
  if (!ReadField(s, &i, 1, 2, &m)) return false;
  if (i >= s.size() || s[i] != sep) return false;
  ++i;
  if (!ReadField(s, &i, 1, 2, &d)) return false;
  if (i < s.size()) {
    if (s[i] != ' ') return false;
    ++i;
    if (!ReadField(s, &i, 1, 2, &hh)) return false;
    if (i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!ReadField(s, &i, 1, 2, &mm)) return false;
    if (i < s.size()) {
      if (s[i] != ':') return false;
      ++i;
      if (!ReadField(s, &i, 1, 2, &ss)) return false;
    }
    if (i != s.size()) return false;
  }
  if (y < 100 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) {
    return false;
  }
  if (hh > 23 || mm > 59 || ss > 59) return false;
  if (oleDate) *oleDate = MakeDate(y, m, d, hh, mm, ss);
  return true;
}

std::string Variant::FormatDouble(double v) { return FormatFloating(v, 15); }

}  // namespace marl
