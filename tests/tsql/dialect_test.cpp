// Translation per output dialect, case by case from the golden file
// tsql/dialects.txt (its header tells the format).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "data/tsql/script.h"
#include "marlcheckout/error.h"
#include "tsql/dump.h"

namespace marl::data::tsql {
namespace {

struct GoldenCase {
  std::string name;
  std::string text;                             // lines joined by CR LF
  std::map<std::string, std::string> expected;  // dialect -> dump
};

std::vector<GoldenCase> ReadCases(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << path;
  std::vector<GoldenCase> cases;
  std::string* target = nullptr;
  bool in_text = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#", 0) == 0 && cases.empty()) continue;
    if (line.rfind("=== ", 0) == 0) {
      cases.push_back(GoldenCase{line.substr(4), "", {}});
      target = &cases.back().text;
      in_text = true;
    } else if (line.rfind("--- ", 0) == 0 && !cases.empty()) {
      target = &cases.back().expected[line.substr(4)];
      in_text = false;
    } else if (target != nullptr) {
      *target += line + (in_text ? "\r\n" : "\n");
    }
  }
  return cases;
}

std::string Outcome(const std::string& text, Dialect dialect) {
  try {
    std::string dump;
    Dump(Translate(text, dialect).nodes, "", &dump);
    return dump;
  } catch (const Error& e) {
    return "refused: " + e.description() + "\n";
  }
}

TEST(DialectTest, EachConstructAsEveryDialectWritesIt) {
  const std::map<std::string, Dialect> dialects = {
      {"sqlite", Dialect::kSqlite},
      {"sqlite-odbc", Dialect::kSqliteOdbc},
      {"postgresql", Dialect::kPostgres}};
  const std::vector<GoldenCase> cases =
      ReadCases(std::string(MARL_GOLDEN_DIR) + "/tsql/dialects.txt");
  ASSERT_GE(cases.size(), 10u);
  for (const GoldenCase& c : cases) {
    ASSERT_EQ(c.expected.size(), dialects.size()) << c.name;
    for (const auto& [label, want] : c.expected) {
      SCOPED_TRACE(c.name + " / " + label);
      ASSERT_EQ(dialects.count(label), 1u);
      std::string got = Outcome(c.text, dialects.at(label));
      if (want.rfind("refused: ", 0) == 0) {
        // The words of the golden line appear in the description.
        EXPECT_EQ(got.rfind("refused: ", 0), 0u) << got;
        EXPECT_NE(got.find(want.substr(9, want.size() - 10)), std::string::npos)
            << got;
      } else {
        EXPECT_EQ(got, want);
      }
    }
  }
}

}  // namespace
}  // namespace marl::data::tsql
