#include "marlcheckout/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "marlcheckout/error.h"
#include "support/table.h"

namespace marl {
namespace {

TEST(VariantTest, ConvertsOrRaisesAsTheTableSays) {
  const std::map<std::string, VarType> types = {
      {"Null", VarType::Null}, {"I2", VarType::I2},
      {"I4", VarType::I4},     {"R8", VarType::R8},
      {"Byte", VarType::Byte}, {"Currency", VarType::Currency},
      {"Date", VarType::Date}, {"Text", VarType::Text},
      {"Bool", VarType::Bool}};
  const auto rows = test::ReadTable("platform/conversions.txt", 4);
  for (const test::TableRow& f : rows) {
    SCOPED_TRACE(f[0]);
    ASSERT_EQ(types.count(f[2]), 1u);
    const VarType to = types.at(f[2]);
    try {
      Variant got = test::ValueOf(f[1]).ChangeType(to);
      EXPECT_EQ(got.Type(), to);
      EXPECT_TRUE(got == test::ValueOf(f[3]))
          << "got " << (got.Type() == VarType::Text ? got.AsText() : "?");
    } catch (const Error& e) {
      EXPECT_EQ("error " + std::to_string(e.number()), f[3]);
    }
  }
  EXPECT_GE(rows.size(), 60u);
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
  // ...but not past the calendar's last day, whose text must read back.
  const double last_moment = 2958465.9999999995;
  EXPECT_EQ(Variant::FormatDate(last_moment), "9999-12-31 23:59:59");
  EXPECT_EQ(Variant::Date(last_moment)
                .ChangeType(VarType::Text)
                .ChangeType(VarType::Date),
            Variant::Date(Variant::MakeDate(9999, 12, 31, 23, 59, 59)));
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
