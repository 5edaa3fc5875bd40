// Translation per output dialect, case by case from the golden file
// tsql/dialects.txt (its header tells the format; tsql/dump.h reads it).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tsql/dump.h"

namespace marl::data::tsql {
namespace {

TEST(DialectTest, EachConstructAsEveryDialectWritesIt) {
  const std::map<std::string, Dialect> dialects = {
      {"sqlite", Dialect::kSqlite},
      {"sqlite-odbc", Dialect::kSqliteOdbc},
      {"postgresql", Dialect::kPostgres}};
  const std::vector<GoldenCase> cases = ReadCases("dialects.txt");
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
