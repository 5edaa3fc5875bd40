// The reduction of joined tables inside SELECT DISTINCT, its split over
// independent parts and the carrying of "column = constant" into a joined
// derived table, run on SQLite: each query gives the same rows and column
// names before and after translation, on data
// whose values are equal under a column's collation but not byte for byte
// ('D05' / 'd05' under NOCASE) and equal as numbers but not as types (1 and
// 1.0), where a careless rewrite would keep a representative that a later
// comparison under another collation no longer matches. Which of equal
// values represents a group is unspecified in SQL, so rows are compared with
// text lower-cased and numbers as numbers.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"

namespace marl::data::tsql {
namespace {

// The column names, then the rows (sorted).
std::vector<std::string> Rows(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db) << "\n"
      << sql;
  std::string names;
  for (int c = 0; st != nullptr && c < sqlite3_column_count(st); ++c) {
    names += sqlite3_column_name(st, c);
    names += '|';
  }
  std::vector<std::string> rows;
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      const int type = sqlite3_column_type(st, c);
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.6g", sqlite3_column_double(st, c));
        row += buf;
      } else if (type == SQLITE_TEXT) {
        std::string v(
            reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        for (char& ch : v)
          ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        row += v;
      } else {
        row += "<null>";
      }
      row += '|';
    }
    rows.push_back(row);
  }
  sqlite3_finalize(st);
  std::sort(rows.begin(), rows.end());
  rows.insert(rows.begin(), names);
  return rows;
}

// The cases of tests/golden/data/distinct_reduce.txt (its header tells the
// format).
TEST(DistinctReduceSqlite, SameRowsAsTheUntranslatedQuery) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  const ColumnLookup columns = [db](std::string_view t, std::string_view c) {
    return sqlite3_table_column_metadata(
               db, nullptr, std::string(t).c_str(), std::string(c).c_str(),
               nullptr, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
  };
  const ColumnTypeLookup types =
      [db](std::string_view t,
           std::string_view c) -> std::optional<ColumnType> {
    const char* declared = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(
            db, nullptr, std::string(t).c_str(), std::string(c).c_str(),
            &declared, &collation, nullptr, nullptr, nullptr) != SQLITE_OK) {
      return std::nullopt;
    }
    return ColumnType{declared != nullptr ? declared : "",
                      collation != nullptr ? collation : ""};
  };
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/data/distinct_reduce.txt");
  int queries = 0;
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
    const std::string kind = line.substr(0, tab);
    std::string q = line.substr(tab + 1), expected;
    if (kind == "pushed") {
      const size_t second = q.find('\t');
      ASSERT_NE(second, std::string::npos) << q;
      expected = q.substr(second + 1);
      q.resize(second);
    }
    if (kind == "setup") {
      ASSERT_EQ(sqlite3_exec(db, q.c_str(), nullptr, nullptr, nullptr),
                SQLITE_OK)
          << q;
      continue;
    }
    Script s = kind == "same" ? Translate(q)
               : kind == "reduced" || kind == "split"
                   ? Translate(q, Dialect::kSqlite, columns)
                   : Translate(q, Dialect::kSqlite, columns, types);
    ASSERT_EQ(s.nodes.size(), 1u) << q;
    if (kind == "reduced" || kind == "split") {
      EXPECT_NE(s.nodes[0].stmt.sql, q);
    } else if (kind != "same") {
      const std::string untyped =
          Translate(q, Dialect::kSqlite, columns).nodes.at(0).stmt.sql;
      EXPECT_EQ(s.nodes[0].stmt.sql != untyped, kind != "kept")
          << kind << ": " << q << "\n-> " << s.nodes[0].stmt.sql;
      if (kind == "pushed") {
        EXPECT_EQ(s.nodes[0].stmt.sql, expected) << q;
      }
    }
    if (kind == "split") {
      EXPECT_NE(s.nodes[0].stmt.sql.rfind("SELECT DISTINCT", 0), 0u)
          << s.nodes[0].stmt.sql;
    }
    EXPECT_EQ(Rows(db, s.nodes[0].stmt.sql), Rows(db, q))
        << q << "\n-> " << s.nodes[0].stmt.sql;
    ++queries;
  }
  EXPECT_EQ(queries, 79);
  sqlite3_close(db);
}

}  // namespace
}  // namespace marl::data::tsql
