// The reduction of joined tables inside SELECT DISTINCT, run on SQLite:
// each query gives the same rows before and after translation, on data
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
#include <string>
#include <string_view>
#include <vector>

#include "data/tsql/script.h"

namespace marl::data::tsql {
namespace {

std::vector<std::string> Rows(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db) << "\n"
      << sql;
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
  return rows;
}

TEST(DistinctReduceSqlite, SameRowsAsTheUntranslatedQuery) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  const char* setup =
      "CREATE TABLE T (y INTEGER, d TEXT COLLATE NOCASE, n, p TEXT COLLATE "
      "NOCASE, b TEXT);"
      "CREATE TABLE B (d TEXT, k);"  // BINARY d
      "CREATE TABLE I (id TEXT COLLATE NOCASE);"
      "INSERT INTO T VALUES (1,'D05',1,'P1','x'),(1,'d05',1.0,'P2','X'),"
      "(2,'D05',2,'P1','y'),(1,'D06',1,'p1','x');"
      "INSERT INTO B VALUES ('d05',1),('D06',2.0);"
      "INSERT INTO I VALUES ('i1'),('*');";
  ASSERT_EQ(sqlite3_exec(db, setup, nullptr, nullptr, nullptr), SQLITE_OK);
  const char* queries[] = {
      // rewritten
      "SELECT DISTINCT x.y,x.d,i.id FROM T x,I i WHERE x.d = 'd05'",
      "SELECT DISTINCT x.y,x.d,v.p,i.id FROM T x,I i,(SELECT DISTINCT d,p "
      "FROM T WHERE y<=2) v WHERE v.d = x.d AND x.y = 1",
      "SELECT DISTINCT x.n,i.id FROM T x,I i WHERE x.n = 1 OR x.n > 1.5",
      "SELECT DISTINCT x.d,b.k FROM T x,B b WHERE x.d = b.d",
      "SELECT * FROM (SELECT DISTINCT x.y,x.d,i.id AS c FROM T x,I i)h "
      "WHERE d='D05' AND y=1",
      // b is reduced, x is not: reduced to ('D05','D06'), x would no longer
      // match the BINARY 'd05' of b
      "SELECT DISTINCT x.d,b.k FROM T x,B b WHERE b.d = x.d",
      // left alone
      "SELECT DISTINCT x.b,i.id FROM T x,I i WHERE x.b GLOB 'x'",
  };
  for (const char* q : queries) {
    Script s = Translate(q);
    ASSERT_EQ(s.nodes.size(), 1u);
    EXPECT_EQ(Rows(db, s.nodes[0].stmt.sql), Rows(db, q))
        << q << "\n-> " << s.nodes[0].stmt.sql;
  }
  // IN subqueries that read one table, with the columns asked of SQLite; a
  // NULL among their values makes NOT IN unknown.
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE P (id TEXT COLLATE NOCASE, t);"
                         "INSERT INTO P VALUES ('d05',3),('D06',3.0),(NULL,3),"
                         "('I1',1),('x',1.0);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  const ColumnLookup columns = [db](std::string_view t, std::string_view c) {
    return sqlite3_table_column_metadata(
               db, nullptr, std::string(t).c_str(), std::string(c).c_str(),
               nullptr, nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
  };
  const char* in_queries[] = {
      "SELECT DISTINCT x.y,x.d,b.k FROM T x,B b WHERE x.d = b.d AND b.d IN "
      "(SELECT id FROM P WHERE t=3)",
      "SELECT DISTINCT x.y,x.n,i.id FROM T x,I i WHERE i.id IN (SELECT id "
      "FROM P WHERE t=1) AND x.n = 1",
      "SELECT DISTINCT x.p,i.id FROM T x,I i WHERE i.id NOT IN (SELECT id "
      "FROM P WHERE t=1 AND id IS NOT NULL)",
      "SELECT DISTINCT x.p,i.id FROM T x,I i WHERE i.id NOT IN (SELECT id "
      "FROM P)",
  };
  for (const char* q : in_queries) {
    Script s = Translate(q, Dialect::kSqlite, columns);
    ASSERT_EQ(s.nodes.size(), 1u);
    EXPECT_NE(s.nodes[0].stmt.sql, q);  // reduced
    EXPECT_EQ(Rows(db, s.nodes[0].stmt.sql), Rows(db, q))
        << q << "\n-> " << s.nodes[0].stmt.sql;
  }
  sqlite3_close(db);
}

}  // namespace
}  // namespace marl::data::tsql
