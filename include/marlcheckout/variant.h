// Variant: the automation value that crosses every interface of the
// component (method arguments, results, field values, property values).
//
// Contract
// - A Variant holds exactly one of the kinds of VarType. It is a value type:
//   copying copies the value; an object reference is shared (shared_ptr).
// - There are no implicit conversions. Construct with the named factories
//   (Variant::I4(5), Variant::Text("abc")), read with the exact getters
//   (AsI4() on a VT I4 value) or with the converting getters (ToInt32()),
//   which apply ChangeType first.
// - Exact getters on a value of another kind throw Error 13 (type mismatch).
// - ChangeType follows the automation conversion rules (see variant.cpp):
//   text <-> numbers in plain decimal with "." (no locale); dates <->
//   "YYYY-MM-DD" / "YYYY-MM-DD HH:MM:SS"; Boolean true is -1 as a number;
//   null raises 94 "Invalid use of Null"; overflow raises 6; anything
//   unconvertible raises 13 "Type mismatch".
// - Text is UTF-8. Utf16Length() counts UTF-16 code units, the unit of the
//   database's nvarchar sizes.
// Thread safety: a Variant is not synchronised; an object reference it holds
// follows the apartment rule of that object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "marlcheckout/export.h"

namespace marl {

class Dispatchable;

// Automation value type codes (the platform's VARTYPE values).
enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  I2 = 2,
  I4 = 3,
  R4 = 4,
  R8 = 5,
  Currency = 6,
  Date = 7,
  Text = 8,
  Object = 9,
  Missing = 10,  // VT_ERROR/DISP_E_PARAMNOTFOUND: optional argument not given
  Bool = 11,
  Byte = 17,
  ByteArray = 8209,  // VT_ARRAY | VT_UI1
};

class MARL_API Variant {
 public:
  Variant();  // Empty

  static Variant Empty();
  static Variant Null();
  static Variant Missing();
  static Variant I2(int16_t v);
  static Variant I4(int32_t v);
  static Variant R4(float v);
  static Variant R8(double v);
  // Currency is a fixed-point number with four decimals, held scaled by
  // 10000.
  static Variant CurrencyScaled(int64_t scaled);
  // Date as an automation date: days since 1899-12-30, time of day as the
  // fraction.
  static Variant Date(double oleDate);
  static Variant Text(std::string utf8);
  static Variant Bool(bool v);
  static Variant Byte(uint8_t v);
  static Variant Bytes(std::vector<uint8_t> v);
  static Variant Object(std::shared_ptr<Dispatchable> obj);

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsMissing() const { return type_ == VarType::Missing; }
  bool IsEmptyOrNull() const { return IsEmpty() || IsNull(); }
  bool IsNumeric() const;  // I2, I4, R4, R8, Currency, Byte, Bool

  // Exact getters: throw Error 13 when the kind differs.
  int16_t AsI2() const;
  int32_t AsI4() const;
  float AsR4() const;
  double AsR8() const;
  int64_t AsCurrencyScaled() const;
  double AsDate() const;
  const std::string& AsText() const;
  bool AsBool() const;
  uint8_t AsByte() const;
  const std::vector<uint8_t>& AsBytes() const;
  const std::shared_ptr<Dispatchable>& AsObject() const;  // may be null

  // Converting getters: ChangeType(target) then the exact getter.
  int16_t ToInt16() const;
  int32_t ToInt32() const;
  double ToDouble() const;
  std::string ToText() const;
  bool ToBool() const;
  double ToDate() const;

  // Returns this value converted to `target` (automation rules above).
  // Converting to Empty always gives Empty; to Null gives Null.
  Variant ChangeType(VarType target) const;

  // Equality as the automation comparison of two values of one kind; values
  // of different numeric kinds compare by value; text compares exactly.
  bool operator==(const Variant& other) const;

  // Number of UTF-16 code units of a text value (error 13 on other kinds).
  static size_t Utf16Length(std::string_view utf8);

  // Dates: automation date <-> canonical text ("YYYY-MM-DD" at midnight,
  // "YYYY-MM-DD HH:MM:SS" otherwise). ParseDate accepts both forms and
  // returns false on anything else. FormatDate and SplitDate raise 6
  // (Overflow) for a date outside 0100-01-01 .. 9999-12-31 or NaN.
  static std::string FormatDate(double oleDate);
  static bool ParseDate(std::string_view text, double* oleDate);
  static double MakeDate(int year, int month, int day, int hour = 0,
                         int minute = 0, int second = 0);
  static void SplitDate(double oleDate, int* year, int* month, int* day,
                        int* hour, int* minute, int* second);

  // Numbers written as the automation text conversion does: integers in
  // plain decimal, doubles with up to 15 significant digits and no trailing
  // zeros, "." as the decimal point.
  static std::string FormatDouble(double v);

 private:
  static Variant OfInt(VarType type, int64_t i);
  static Variant OfDouble(VarType type, double d);

  VarType type_ = VarType::Empty;
  int64_t i_ = 0;  // I2, I4, Currency (scaled), Bool (0/1), Byte
  double d_ = 0;   // R4, R8, Date
  std::string s_;
  std::vector<uint8_t> bytes_;
  std::shared_ptr<Dispatchable> obj_;
};

}  // namespace marl
