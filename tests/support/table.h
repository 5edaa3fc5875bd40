// The tab-separated data tables under tests/golden: one case a line, fields
// split by tabs, blank lines and lines starting with "#" skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "marlcheckout/variant.h"

namespace marl::test {

using TableRow = std::vector<std::string>;

// The rows of tests/golden/<file>, each with exactly `fields` fields (a row
// with another count fails the test and is padded or cut to it).
inline std::vector<TableRow> ReadTable(const std::string& file, size_t fields) {
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/" + file, std::ios::binary);
  EXPECT_TRUE(in.good()) << file;
  std::vector<TableRow> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    TableRow f;
    for (size_t at = 0, tab = 0; tab != std::string::npos; at = tab + 1) {
      tab = line.find('\t', at);
      f.push_back(line.substr(at, tab - at));
    }
    EXPECT_EQ(f.size(), fields) << file << ": " << line;
    f.resize(fields);
    rows.push_back(std::move(f));
  }
  EXPECT_FALSE(rows.empty()) << file;
  return rows;
}

// A value as the data tables write it: KIND or KIND:TEXT. Text keeps every
// character of TEXT; I2, I4, R4, R8 and Byte read a number; Currency reads
// the value times 10,000; Date reads YYYY-MM-DD[ HH:MM:SS] or a day number;
// Bool reads true or false; Bytes holds the bytes of TEXT; Object is none.
inline Variant ValueOf(const std::string& field) {
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

}  // namespace marl::test
