// The affinity rules the carrying of "column = constant" relies on, and the
// dialects it leaves alone (its rewrites and refusals are checked on SQLite
// data by test_data's DistinctReduceSqlite).
#include "data/tsql/equality_push.h"

#include <gtest/gtest.h>

#include <string>

#include "data/tsql/script.h"

namespace marl::data::tsql {
namespace {

TEST(EqualityPush, AffinityFollowsTheDeclaredType) {
  const struct {
    const char* declared;
    char affinity;
  } cases[] = {
      {"INTEGER", 'I'},       {"bigint", 'I'},   {"FLOATING POINT", 'I'},
      {"VARCHAR(20)", 'T'},   {"nchar", 'T'},    {"CLOB", 'T'},
      {"TEXT", 'T'},          {"BLOB", 'B'},     {"", 'B'},
      {"REAL", 'R'},          {"float", 'R'},    {"DOUBLE PRECISION", 'R'},
      {"DECIMAL(10,5)", 'N'}, {"NUMERIC", 'N'},  {"DATETIME", 'N'},
      {"CHARINT", 'I'},       {"BLOBTEXT", 'T'}, {"ANY", 'N'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(detail::AffinityOf(c.declared), c.affinity) << c.declared;
  }
}

TEST(EqualityPush, OnlySqliteDialectsWithTypesAreRewritten) {
  const std::string q =
      "SELECT x.y,v.p FROM E x,(SELECT d,p FROM F) v "
      "WHERE x.d = v.d AND x.d = 'a'";
  const ColumnTypeLookup types = [](std::string_view, std::string_view) {
    return std::optional<ColumnType>(ColumnType{"TEXT", "NOCASE"});
  };
  auto sql = [&](Dialect d, const ColumnTypeLookup& t) {
    return Translate(q, d, {}, t).nodes.at(0).stmt.sql;
  };
  EXPECT_NE(sql(Dialect::kSqlite, types), sql(Dialect::kSqlite, {}));
  EXPECT_NE(sql(Dialect::kSqliteOdbc, types), sql(Dialect::kSqliteOdbc, {}));
  EXPECT_EQ(sql(Dialect::kPostgres, types), sql(Dialect::kPostgres, {}));
}

}  // namespace
}  // namespace marl::data::tsql
