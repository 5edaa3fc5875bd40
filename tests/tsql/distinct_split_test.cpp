// The split of SELECT DISTINCT over independent parts of its FROM: what
// each shape becomes per dialect, and which are left alone
// (tests/golden/tsql/distinct_split.txt; same rows on SQLite data in
// test_data's DistinctReduceSqlite).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "data/tsql/tokenizer.h"
#include "tsql/dump.h"

namespace marl::data::tsql {
namespace {

TEST(DistinctSplit, WritesIndependentPartsAsTheirProduct) {
  const std::map<std::string, std::set<std::string>> tables = {
      {"t", {"a", "b", "c"}}, {"u", {"b", "k"}}, {"p", {"id", "t"}}};
  const ColumnLookup columns = [&](std::string_view t, std::string_view c) {
    auto it = tables.find(detail::AsciiLower(t));
    return it != tables.end() && it->second.count(detail::AsciiLower(c)) > 0;
  };
  const std::map<std::string, Dialect> dialects = {
      {"sqlite", Dialect::kSqlite}, {"postgresql", Dialect::kPostgres}};
  const std::vector<GoldenCase> cases = ReadCases("distinct_split.txt");
  ASSERT_GE(cases.size(), 20u);
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.expected.empty());
    for (const auto& [name, want] : c.expected) {
      std::string dump;
      Dump(Translate(c.text, dialects.at(name), columns).nodes, "", &dump);
      EXPECT_EQ(dump, want) << name;
    }
  }
}

}  // namespace
}  // namespace marl::data::tsql
