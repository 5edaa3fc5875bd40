#include "data/tsql/translation_memo.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "marlcheckout/error.h"

namespace marl::data::tsql {
namespace {

// A query whose SQLite translation depends on the declared type and
// collation of the columns it compares.
constexpr const char* kTyped =
    "SELECT x.y,v.p FROM E x,(SELECT d,p FROM F) v "
    "WHERE x.d = v.d AND x.d = 'a'";

// A database schema as the lookups see it: "table.column" -> type.
struct FakeSchema {
  std::map<std::string, ColumnType> columns;
  int asked = 0;

  ColumnLookup Columns() {
    return [this](std::string_view t, std::string_view c) {
      ++asked;
      return columns.count(std::string(t) + "." + std::string(c)) != 0;
    };
  }
  ColumnTypeLookup Types() {
    return [this](std::string_view t,
                  std::string_view c) -> std::optional<ColumnType> {
      ++asked;
      auto it = columns.find(std::string(t) + "." + std::string(c));
      if (it == columns.end()) return std::nullopt;
      return it->second;
    };
  }
};

FakeSchema Nocase() {
  FakeSchema s;
  for (const char* c : {"E.d", "E.y", "F.d", "F.p"}) {
    s.columns[c] = ColumnType{"TEXT", "NOCASE"};
  }
  return s;
}

TEST(TranslationMemo, KeepsATranslationOnlyWhileTheAnswersHold) {
  TranslationMemo memo;
  FakeSchema first = Nocase();
  auto a = memo.Get(kTyped, Dialect::kSqlite, first.Columns(), first.Types());
  ASSERT_GT(first.asked, 0);
  EXPECT_EQ(a->nodes.at(0).stmt.sql,
            Translate(kTyped, Dialect::kSqlite, {}, Nocase().Types())
                .nodes.at(0)
                .stmt.sql);

  // Another connection to a database with the same columns: the kept one.
  FakeSchema same = Nocase();
  EXPECT_EQ(memo.Get(kTyped, Dialect::kSqlite, same.Columns(), same.Types()),
            a);
  EXPECT_GT(same.asked, 0);

  // Each changed answer makes a new translation, also in a memo that holds
  // the first: a collation, a declared type, a column gone.
  FakeSchema binary = Nocase();
  binary.columns["E.d"].collation = "BINARY";
  FakeSchema integer = Nocase();
  integer.columns["F.d"].declared = "INTEGER";
  FakeSchema gone = Nocase();
  gone.columns.erase("F.d");
  for (FakeSchema* s : {&binary, &integer, &gone}) {
    TranslationMemo fresh;
    auto kept = fresh.Get(kTyped, Dialect::kSqlite, {}, Nocase().Types());
    auto b = fresh.Get(kTyped, Dialect::kSqlite, s->Columns(), s->Types());
    EXPECT_NE(b, kept);
    EXPECT_EQ(b->nodes.at(0).stmt.sql,
              Translate(kTyped, Dialect::kSqlite, {}, s->Types())
                  .nodes.at(0)
                  .stmt.sql);
  }
  // Where a name resolves: the parts of a DISTINCT are written apart only
  // where the subquery's names are all its own table's.
  const std::string split =
      "SELECT DISTINCT x.a,y.b FROM T x,U y "
      "WHERE y.b IN (SELECT id FROM P WHERE t=3)";
  FakeSchema known, unknown;
  for (const char* c : {"T.a", "T.b", "T.c", "U.b", "U.k", "P.id"}) {
    known.columns[c] = {};
  }
  unknown = known;
  known.columns["P.t"] = {};
  ASSERT_NE(
      Translate(split, Dialect::kSqlite, known.Columns()).nodes.at(0).stmt.sql,
      Translate(split, Dialect::kSqlite, unknown.Columns())
          .nodes.at(0)
          .stmt.sql);
  auto by_known = memo.Get(split, Dialect::kSqlite, known.Columns(), {});
  EXPECT_EQ(memo.Get(split, Dialect::kSqlite, known.Columns(), {}), by_known);
  auto by_unknown = memo.Get(split, Dialect::kSqlite, unknown.Columns(), {});
  EXPECT_NE(by_unknown->nodes.at(0).stmt.sql, by_known->nodes.at(0).stmt.sql);
  memo.Get(split, Dialect::kSqlite, known.Columns(), {});
  EXPECT_EQ(memo.Get(split, Dialect::kSqlite, {}, {})->nodes.at(0).stmt.sql,
            Translate(split, Dialect::kSqlite).nodes.at(0).stmt.sql);
  const std::string typed_sql = a->nodes.at(0).stmt.sql;
  auto plain = memo.Get(kTyped, Dialect::kSqlite, {}, {});
  EXPECT_NE(plain->nodes.at(0).stmt.sql, typed_sql);
  EXPECT_EQ(memo.Get(kTyped, Dialect::kSqlite, {}, {}), plain);

  // The dialect is part of the key.
  EXPECT_NE(memo.Get(kTyped, Dialect::kPostgres, {}, {}), plain);
  EXPECT_EQ(memo.Size(), 3u);
}

TEST(TranslationMemo, KeepsNoFailureAndStaysBounded) {
  TranslationMemo memo;
  const std::string bad = "SELECT FROM WHERE (";
  EXPECT_THROW(memo.Get(bad, Dialect::kSqlite, {}, {}), Error);
  EXPECT_THROW(memo.Get(bad, Dialect::kSqlite, {}, {}), Error);
  EXPECT_EQ(memo.Size(), 0u);
  for (size_t i = 0; i <= TranslationMemo::kMaxEntries; ++i) {
    memo.Get("SELECT " + std::to_string(i), Dialect::kSqlite, {}, {});
  }
  EXPECT_EQ(memo.Size(), 1u);
}

}  // namespace
}  // namespace marl::data::tsql
