// Variant::ChangeType between every pair of kinds, and the text forms of
// numbers and dates.
//
// Input: the first byte picks the source kind; the rest is its value (text,
// or the bytes of the number, zero-padded).
// Properties: a conversion either gives a value of the target kind or raises
// 6, 13 or 94; a value converted to text converts back to itself (doubles
// to 15 significant digits, dates to the second); a date's text reads back
// as the same date.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"
#include "property.h"

namespace {

using marl::Error;
using marl::Variant;
using marl::VarType;
using marl::fuzz::Require;
namespace err = marl::err;

constexpr VarType kKinds[] = {
    VarType::Empty, VarType::Null,     VarType::I2,       VarType::I4,
    VarType::R4,    VarType::R8,       VarType::Currency, VarType::Date,
    VarType::Text,  VarType::Object,   VarType::Missing,  VarType::Bool,
    VarType::Byte,  VarType::ByteArray};

template <typename T>
T Bits(const uint8_t* data, size_t size) {
  uint8_t buf[sizeof(T)] = {};
  std::memcpy(buf, data, size < sizeof(T) ? size : sizeof(T));
  T v;
  std::memcpy(&v, buf, sizeof(T));
  return v;
}

Variant Source(uint8_t kind, const uint8_t* data, size_t size) {
  switch (kind % 12) {
    case 0:
      return Variant::Text(
          std::string(reinterpret_cast<const char*>(data), size));
    case 1:
      return Variant::R8(Bits<double>(data, size));
    case 2:
      return Variant::R4(Bits<float>(data, size));
    case 3:
      return Variant::Date(Bits<double>(data, size));
    case 4:
      return Variant::I2(Bits<int16_t>(data, size));
    case 5:
      return Variant::I4(Bits<int32_t>(data, size));
    case 6:
      return Variant::CurrencyScaled(Bits<int64_t>(data, size));
    case 7:
      return Variant::Bool(size > 0 && data[0] != 0);
    case 8:
      return Variant::Byte(size > 0 ? data[0] : 0);
    case 9:
      return Variant::Bytes(std::vector<uint8_t>(data, data + size));
    case 10:
      return Variant::Null();
    default:
      return Variant();
  }
}

// A date's canonical text reads back as the same date, to the second.
void CheckDateText(double date) {
  const std::string text = Variant::FormatDate(date);
  double back = 0;
  Require(Variant::ParseDate(text, &back), "a date's text does not read back");
  Require(Variant::FormatDate(back) == text, "a date's text reads back moved");
}

// A value that converts to text converts back to itself. Only a date
// outside the calendar may refuse to become text.
void CheckTextRoundTrip(const Variant& v) {
  const VarType kind = v.Type();
  if (kind == VarType::Text || kind == VarType::Empty ||
      kind == VarType::Null) {
    return;
  }
  Variant text;
  try {
    text = v.ChangeType(VarType::Text);
  } catch (const Error& e) {
    Require(e.number() == err::kTypeMismatch ||
                (kind == VarType::Date && e.number() == err::kOverflow),
            "a value refused to become text");
    return;
  }
  switch (kind) {
    case VarType::I2:
    case VarType::I4:
    case VarType::Byte:
    case VarType::Bool:
      Require(text.ChangeType(kind) == v, "a whole number's text differs");
      break;
    case VarType::Currency:
      // Exact while the scaled value fits a double's 53 bits.
      if (v.AsCurrencyScaled() > -(int64_t{1} << 52) &&
          v.AsCurrencyScaled() < (int64_t{1} << 52)) {
        Require(text.ChangeType(kind) == v, "a currency's text differs");
      }
      break;
    case VarType::R8: {
      const double d = v.AsR8();
      const double m = std::fabs(d);
      if (std::isfinite(d) && m > 1e-300 && m < 1e300) {
        Require(std::fabs(text.ChangeType(kind).AsR8() - d) <= 1e-14 * m,
                "a double's text differs");
      }
      break;
    }
    case VarType::Date:
      Require(
          Variant::FormatDate(text.ChangeType(kind).AsDate()) == text.AsText(),
          "a date's text reads back as another date");
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Variant source = Source(data[0], data + 1, size - 1);
  for (VarType target : kKinds) {
    Variant v;
    try {
      v = source.ChangeType(target);
    } catch (const Error& e) {
      const int32_t n = e.number();
      Require(n == err::kOverflow || n == err::kTypeMismatch ||
                  n == err::kInvalidUseOfNull,
              "a conversion raised an unexpected error");
      continue;
    }
    Require(v.Type() == target, "a conversion gave another kind");
    // Outside the try: a value whose text does not convert back is a
    // finding, whatever it raises.
    CheckTextRoundTrip(v);
  }
  if (source.Type() == VarType::Text) {
    double date = 0;
    if (Variant::ParseDate(source.AsText(), &date)) CheckDateText(date);
    Variant::Utf16Length(source.AsText());
  }
  return 0;
}
