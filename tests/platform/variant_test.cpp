#include "marlcheckout/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "marlcheckout/error.h"

namespace marl {
namespace {

// A value as the conversion table writes it: KIND or KIND:TEXT (the table's
// header tells the kinds).
Variant ValueOf(const std::string& field) {
  const size_t colon = field.find(':');
  const std::string kind = field.substr(0, colon);
  const std::string text =
      colon == std::string::npos ? "" : field.substr(colon + 1);
  if (kind == "Empty") return Variant();
  if (kind == "Null") return Variant::Null();
  if (kind == "Missing") return Variant::Missing();
  if (kind == "Object") return Variant::Object(nullptr);
  if (kind == "Text") return Variant::Text(text);
  if (kind == "Bytes") return Variant::Bytes({text.begin(), text.end()});
  if (kind == "Bool") return Variant::Bool(text == "true");
  if (kind == "I2") return Variant::I2(static_cast<int16_t>(std::stoi(text)));
  if (kind == "I4") return Variant::I4(static_cast<int32_t>(std::stol(text)));
  if (kind == "Byte")
    return Variant::Byte(static_cast<uint8_t>(std::stoi(text)));
  if (kind == "R4") return Variant::R4(std::strtof(text.c_str(), nullptr));
  if (kind == "R8") return Variant::R8(std::strtod(text.c_str(), nullptr));
  if (kind == "Currency") return Variant::CurrencyScaled(std::stoll(text));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (kind == "Date" && std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo,
                                    &d, &h, &mi, &sec) >= 3) {
    return Variant::Date(Variant::MakeDate(y, mo, d, h, mi, sec));
  }
  if (kind == "Date") return Variant::Date(std::strtod(text.c_str(), nullptr));
  ADD_FAILURE() << "unknown kind in " << field;
  return Variant();
}

TEST(VariantTest, ConvertsOrRaisesAsTheTableSays) {
  const std::map<std::string, VarType> types = {
      {"Null", VarType::Null}, {"I2", VarType::I2},
      {"I4", VarType::I4},     {"R8", VarType::R8},
      {"Byte", VarType::Byte}, {"Currency", VarType::Currency},
      {"Date", VarType::Date}, {"Text", VarType::Text},
      {"Bool", VarType::Bool}};
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/platform/conversions.txt");
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    for (size_t at = 0, tab = 0; tab != std::string::npos; at = tab + 1) {
      tab = line.find('\t', at);
      f.push_back(line.substr(at, tab - at));
    }
    SCOPED_TRACE(line);
    ASSERT_EQ(f.size(), 4u);
    ASSERT_EQ(types.count(f[2]), 1u);
    const VarType to = types.at(f[2]);
    ++cases;
    try {
      Variant got = ValueOf(f[1]).ChangeType(to);
      EXPECT_EQ(got.Type(), to);
      EXPECT_TRUE(got == ValueOf(f[3]))
          << "got " << (got.Type() == VarType::Text ? got.AsText() : "?");
    } catch (const Error& e) {
      EXPECT_EQ("error " + std::to_string(e.number()), f[3]);
    }
  }
  EXPECT_GE(cases, 60);
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
