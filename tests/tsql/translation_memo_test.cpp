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

  // Each changed answer makes a new translation: a collation, a declared
  // type, a column gone; and no lookups at all.
  const std::string typed_sql = a->nodes.at(0).stmt.sql;
  FakeSchema binary = Nocase();
  binary.columns["E.d"].collation = "BINARY";
  FakeSchema integer = Nocase();
  integer.columns["F.d"].declared = "INTEGER";
  FakeSchema gone = Nocase();
  gone.columns.erase("F.d");
  for (FakeSchema* s : {&binary, &integer, &gone}) {
    auto b = memo.Get(kTyped, Dialect::kSqlite, s->Columns(), s->Types());
    EXPECT_NE(b, a);
    EXPECT_EQ(b->nodes.at(0).stmt.sql,
              Translate(kTyped, Dialect::kSqlite, {}, s->Types())
                  .nodes.at(0)
                  .stmt.sql);
  }
  auto plain = memo.Get(kTyped, Dialect::kSqlite, {}, {});
  EXPECT_NE(plain->nodes.at(0).stmt.sql, typed_sql);
  EXPECT_EQ(memo.Get(kTyped, Dialect::kSqlite, {}, {}), plain);

  // The dialect is part of the key.
  EXPECT_NE(memo.Get(kTyped, Dialect::kPostgres, {}, {}), plain);
  EXPECT_EQ(memo.Size(), 2u);
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
