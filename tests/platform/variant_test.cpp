#include "marlcheckout/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "marlcheckout/error.h"

namespace marl {
namespace {

// Converts and returns the raised error number (0 when none).
int32_t ErrorOf(const Variant& v, VarType target) {
  try {
    v.ChangeType(target);
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

struct ConversionCase {
  const char* label;
  Variant from;
  VarType to;
  Variant expected;  // ignored when error != 0
  int32_t error;
};

class ConversionTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTest, ConvertsOrRaises) {
  const ConversionCase& c = GetParam();
  if (c.error != 0) {
    EXPECT_EQ(ErrorOf(c.from, c.to), c.error);
    return;
  }
  Variant got = c.from.ChangeType(c.to);
  EXPECT_EQ(got.Type(), c.to);
  EXPECT_TRUE(got == c.expected)
      << "got " << (got.Type() == VarType::Text ? got.AsText() : "?");
}

const double kDate20050131 = Variant::MakeDate(2005, 1, 31);
const double kDate20050131Noon = Variant::MakeDate(2005, 1, 31, 12, 30, 15);

INSTANTIATE_TEST_SUITE_P(
    Automation, ConversionTest,
    ::testing::Values(
        // Text to numbers.
        ConversionCase{"blanks and sign", Variant::Text("  -42 "), VarType::I4,
                       Variant::I4(-42), 0},
        ConversionCase{"decimal to I4 half even down", Variant::Text("2.5"),
                       VarType::I4, Variant::I4(2), 0},
        ConversionCase{"decimal to I4 half even up", Variant::Text("3.5"),
                       VarType::I4, Variant::I4(4), 0},
        ConversionCase{"exponent", Variant::Text("1.5e3"), VarType::R8,
                       Variant::R8(1500), 0},
        ConversionCase{"leading point", Variant::Text(".25"), VarType::R8,
                       Variant::R8(0.25), 0},
        ConversionCase{"empty text", Variant::Text(""), VarType::I4, Variant(),
                       err::kTypeMismatch},
        ConversionCase{"blank text", Variant::Text("   "), VarType::R8,
                       Variant(), err::kTypeMismatch},
        ConversionCase{"letters", Variant::Text("12a"), VarType::I4, Variant(),
                       err::kTypeMismatch},
        ConversionCase{"comma decimal", Variant::Text("1,5"), VarType::R8,
                       Variant(), err::kTypeMismatch},
        ConversionCase{"bare exponent", Variant::Text("1e"), VarType::R8,
                       Variant(), err::kTypeMismatch},
        ConversionCase{"huge text to I4", Variant::Text("99999999999"),
                       VarType::I4, Variant(), err::kOverflow},
        ConversionCase{"text beyond double", Variant::Text("1e400"),
                       VarType::R8, Variant(), err::kOverflow},
        ConversionCase{"many digits beyond double, negative exponent",
                       Variant::Text("1" + std::string(400, '0') + "e-1"),
                       VarType::R8, Variant(), err::kOverflow},
        ConversionCase{"text below double", Variant::Text("0.5e-400"),
                       VarType::R8, Variant::R8(0), 0},
        ConversionCase{"text to currency", Variant::Text("12.3456"),
                       VarType::Currency, Variant::CurrencyScaled(123456), 0},
        // Text to currency is exact beyond a double's digits.
        ConversionCase{"currency text of 16 digits",
                       Variant::Text("281474977966.4667"), VarType::Currency,
                       Variant::CurrencyScaled(2814749779664667), 0},
        ConversionCase{"currency text max",
                       Variant::Text("922337203685477.5807"), VarType::Currency,
                       Variant::CurrencyScaled(INT64_MAX), 0},
        ConversionCase{
            "currency text min", Variant::Text("-9223372036854775808e-4"),
            VarType::Currency, Variant::CurrencyScaled(INT64_MIN), 0},
        ConversionCase{"currency text max+1",
                       Variant::Text("922337203685477.5808"), VarType::Currency,
                       Variant(), err::kOverflow},
        ConversionCase{"currency text half even down", Variant::Text("0.00025"),
                       VarType::Currency, Variant::CurrencyScaled(2), 0},
        ConversionCase{"currency text half even up", Variant::Text(".00035"),
                       VarType::Currency, Variant::CurrencyScaled(4), 0},
        ConversionCase{"currency text above half",
                       Variant::Text("2.500055001E1"), VarType::Currency,
                       Variant::CurrencyScaled(250006), 0},
        ConversionCase{"currency text of one digit past the fourth decimal",
                       Variant::Text("0.00007"), VarType::Currency,
                       Variant::CurrencyScaled(1), 0},
        ConversionCase{"currency text of 20 digits beyond 2^64",
                       Variant::Text("18446744073709551617e-4"),
                       VarType::Currency, Variant(), err::kOverflow},
        ConversionCase{"currency text far below a unit",
                       Variant::Text("9e-400"), VarType::Currency,
                       Variant::CurrencyScaled(0), 0},
        // Integer ranges.
        ConversionCase{"I2 max", Variant::I4(32767), VarType::I2,
                       Variant::I2(32767), 0},
        ConversionCase{"I2 max+1", Variant::I4(32768), VarType::I2, Variant(),
                       err::kOverflow},
        ConversionCase{"I2 min", Variant::I4(-32768), VarType::I2,
                       Variant::I2(-32768), 0},
        ConversionCase{"I2 min-1", Variant::I4(-32769), VarType::I2, Variant(),
                       err::kOverflow},
        ConversionCase{"I2 rounds to overflow", Variant::R8(32767.5),
                       VarType::I2, Variant(), err::kOverflow},
        ConversionCase{"I2 min rounds to even", Variant::R8(-32768.5),
                       VarType::I2, Variant::I2(-32768), 0},
        ConversionCase{"I4 max", Variant::R8(2147483647.0), VarType::I4,
                       Variant::I4(2147483647), 0},
        ConversionCase{"I4 max+1", Variant::R8(2147483648.0), VarType::I4,
                       Variant(), err::kOverflow},
        ConversionCase{"I4 min", Variant::Text("-2147483648"), VarType::I4,
                       Variant::I4(INT32_MIN), 0},
        ConversionCase{"I4 min-1", Variant::Text("-2147483649"), VarType::I4,
                       Variant(), err::kOverflow},
        ConversionCase{"negative to byte", Variant::I2(-1), VarType::Byte,
                       Variant(), err::kOverflow},
        ConversionCase{"currency half even", Variant::CurrencyScaled(25000),
                       VarType::I4, Variant::I4(2), 0},
        ConversionCase{"negative currency half even",
                       Variant::CurrencyScaled(-35000), VarType::I4,
                       Variant::I4(-4), 0},
        ConversionCase{"NaN to I4", Variant::R8(std::nan("")), VarType::I4,
                       Variant(), err::kOverflow},
        // Booleans.
        ConversionCase{"true is -1", Variant::Bool(true), VarType::I2,
                       Variant::I2(-1), 0},
        ConversionCase{"true to text", Variant::Bool(true), VarType::Text,
                       Variant::Text("True"), 0},
        ConversionCase{"false to text", Variant::Bool(false), VarType::Text,
                       Variant::Text("False"), 0},
        ConversionCase{"text TRUE", Variant::Text("TRUE"), VarType::Bool,
                       Variant::Bool(true), 0},
        ConversionCase{"text false", Variant::Text(" false "), VarType::Bool,
                       Variant::Bool(false), 0},
        ConversionCase{"text number to bool", Variant::Text("0.5"),
                       VarType::Bool, Variant::Bool(true), 0},
        ConversionCase{"text yes to bool", Variant::Text("yes"), VarType::Bool,
                       Variant(), err::kTypeMismatch},
        ConversionCase{"zero to bool", Variant::R8(0), VarType::Bool,
                       Variant::Bool(false), 0},
        // Null, Empty and the kinds that convert only to themselves.
        ConversionCase{"null to I4", Variant::Null(), VarType::I4, Variant(),
                       err::kInvalidUseOfNull},
        ConversionCase{"null to text", Variant::Null(), VarType::Text,
                       Variant(), err::kInvalidUseOfNull},
        ConversionCase{"null to null", Variant::Null(), VarType::Null,
                       Variant::Null(), 0},
        ConversionCase{"empty to text", Variant(), VarType::Text,
                       Variant::Text(""), 0},
        ConversionCase{"empty to I4", Variant(), VarType::I4, Variant::I4(0),
                       0},
        ConversionCase{"object to text", Variant::Object(nullptr),
                       VarType::Text, Variant(), err::kTypeMismatch},
        ConversionCase{"bytes to text", Variant::Bytes({65, 66}), VarType::Text,
                       Variant(), err::kTypeMismatch},
        ConversionCase{"missing to I4", Variant::Missing(), VarType::I4,
                       Variant(), err::kTypeMismatch},
        // Numbers to text.
        ConversionCase{"I4 to text", Variant::I4(-7), VarType::Text,
                       Variant::Text("-7"), 0},
        ConversionCase{"currency to text", Variant::CurrencyScaled(-12500),
                       VarType::Text, Variant::Text("-1.25"), 0},
        ConversionCase{"single to text", Variant::R4(0.1f), VarType::Text,
                       Variant::Text("0.1"), 0},
        // Dates.
        ConversionCase{"date text", Variant::Text("2005-01-31"), VarType::Date,
                       Variant::Date(kDate20050131), 0},
        ConversionCase{"date time text", Variant::Text("2005-01-31 12:30:15"),
                       VarType::Date, Variant::Date(kDate20050131Noon), 0},
        ConversionCase{"date to text at midnight", Variant::Date(kDate20050131),
                       VarType::Text, Variant::Text("2005-01-31"), 0},
        ConversionCase{"date to text with time",
                       Variant::Date(kDate20050131Noon), VarType::Text,
                       Variant::Text("2005-01-31 12:30:15"), 0},
        ConversionCase{"bad day", Variant::Text("2005-02-29"), VarType::Date,
                       Variant(), err::kTypeMismatch},
        ConversionCase{"date to double", Variant::Date(38383.5), VarType::R8,
                       Variant::R8(38383.5), 0},
        ConversionCase{"number to date out of range", Variant::R8(1e9),
                       VarType::Date, Variant(), err::kOverflow},
        ConversionCase{"date beyond the calendar to text", Variant::Date(1e300),
                       VarType::Text, Variant(), err::kOverflow},
        ConversionCase{"NaN date to text", Variant::Date(std::nan("")),
                       VarType::Text, Variant(), err::kOverflow}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) {
      std::string name;
      for (const char* p = info.param.label; *p; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      }
      return name;
    });

TEST(VariantTest, FormatDouble) {
  struct {
    double v;
    const char* text;
  } cases[] = {
      {2005.001, "2005.001"},
      {2005.0005, "2005.0005"},
      {2005 + 0.0001 * 12, "2005.0012"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3.0, "0.333333333333333"},
      {-2.5, "-2.5"},
      {100.0, "100"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E+15"},
      {0.00001, "0.00001"},
      {-0.0, "0"},
      {9.9999999999999999e14, "1E+15"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Variant::FormatDouble(c.v), c.text) << c.v;
  }
}

TEST(VariantTest, Utf16Length) {
  EXPECT_EQ(Variant::Utf16Length(""), 0u);
  EXPECT_EQ(Variant::Utf16Length("abc"), 3u);
  EXPECT_EQ(Variant::Utf16Length("\xE6\x88\x90\xE6\x9C\xAC"), 2u);  // 成本
  EXPECT_EQ(Variant::Utf16Length("a\xF0\x9F\x98\x80"), 3u);         // a + emoji
  EXPECT_EQ(Variant::Utf16Length("\xC3\xA9"), 1u);                  // é
}

TEST(VariantTest, DatesBeforeEpochAndRounding) {
  // 1899-12-29 06:00 is -1.25: the time counts forward within the day.
  EXPECT_DOUBLE_EQ(Variant::MakeDate(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(Variant::FormatDate(-1.25), "1899-12-29 06:00:00");
  // Half a second before midnight rounds to the next day.
  EXPECT_EQ(Variant::FormatDate(38383.0 - 0.4 / 86400), "2005-01-31");
  EXPECT_EQ(Variant::FormatDate(38383.99999999), "2005-02-01");
}

TEST(VariantTest, DatesStopAtTheLastDayOfTheirMonth) {
  const int last[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  double d = 0;
  for (int m = 1; m <= 12; ++m) {
    char day[32];
    std::snprintf(day, sizeof day, "2005-%02d-%02d", m, last[m - 1]);
    EXPECT_TRUE(Variant::ParseDate(day, &d)) << day;
    std::snprintf(day, sizeof day, "2005-%02d-%02d", m, last[m - 1] + 1);
    EXPECT_FALSE(Variant::ParseDate(day, &d)) << day;
  }
  EXPECT_TRUE(Variant::ParseDate("2004-02-29", &d));
}

TEST(VariantTest, ExactGettersRejectOtherKinds) {
  EXPECT_THROW(Variant::I2(1).AsI4(), Error);
  EXPECT_THROW(Variant::Text("1").AsI4(), Error);
  EXPECT_EQ(Variant::Text(" 1 ").ToInt32(), 1);
}

TEST(VariantTest, EqualityAcrossNumericKinds) {
  EXPECT_TRUE(Variant::I2(-1) == Variant::Bool(true));
  EXPECT_TRUE(Variant::CurrencyScaled(15000) == Variant::R8(1.5));
  EXPECT_TRUE(Variant::CurrencyScaled(30000) == Variant::I4(3));
  EXPECT_FALSE(Variant::Text("1") == Variant::I4(1));
  EXPECT_FALSE(Variant::Text("a") == Variant::Text("A"));
  EXPECT_FALSE(Variant() == Variant::Null());
}

TEST(ErrorTest, WhatFollowsTheRecord) {
  Error e = Error::Of(err::kTypeMismatch, "Src");
  EXPECT_STREQ(e.what(), "13: Src: Type mismatch");
  e.set_source("Outer");
  e.set_number(94);
  EXPECT_STREQ(e.what(), "94: Outer: Type mismatch");
  EXPECT_EQ(ErrorText(err::kParseString), "");
  EXPECT_EQ(ErrorText(6), "Overflow");
}

}  // namespace
}  // namespace marl
