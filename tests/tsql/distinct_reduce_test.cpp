// Table-driven tests of the reduction of joined tables inside SELECT
// DISTINCT: which shapes are rewritten, into what, and which are left alone.
// (Where the reduced SELECT also falls into independent parts, the expected
// text shows its split too; see distinct_split.txt.)
#include <gtest/gtest.h>

#include <string>

#include "data/tsql/script.h"

namespace marl::data::tsql {
namespace {

struct Case {
  const char* name;
  const char* in;
  const char* out;  // nullptr: translated text equals the input
};

std::string One(const std::string& text, const ColumnLookup& columns = {}) {
  Script s = Translate(text, Dialect::kSqlite, columns);
  EXPECT_EQ(s.nodes.size(), 1u) << text;
  return s.nodes.empty() ? "" : s.nodes[0].stmt.sql;
}

TEST(DistinctReduce, RewritesOnlyProvableShapes) {
  const Case cases[] = {
      {"listed and compared with a literal",
       "SELECT DISTINCT x.a,y.b FROM T x,U y WHERE x.c = 5",
       "SELECT ds1.a,ds2.b FROM (SELECT DISTINCT x.a FROM (SELECT DISTINCT "
       "a,c FROM T) x WHERE x.c = 5) ds1,(SELECT DISTINCT y.b FROM (SELECT "
       "DISTINCT b FROM U) y) ds2"},
      {"compared on the left with another table's column",
       "SELECT DISTINCT y.b FROM T x,U y WHERE x.k=y.k AND y.b>1",
       "SELECT DISTINCT y.b FROM (SELECT DISTINCT k FROM T) x,U y WHERE "
       "x.k=y.k AND y.b>1"},
      {"literal on the left, NOT and OR",
       "SELECT DISTINCT x.a FROM T x,U y WHERE NOT 3 < x.a OR (x.a <> y.b)",
       "SELECT DISTINCT x.a FROM (SELECT DISTINCT a FROM T) x,U y "
       "WHERE NOT 3 < x.a OR (x.a <> y.b)"},
      {"same column of the same table through a subquery",
       "SELECT DISTINCT x.a,v.p FROM T x,(SELECT DISTINCT a,p FROM T WHERE "
       "f(a)>0) v WHERE v.a = x.a",
       "SELECT DISTINCT x.a,v.p FROM (SELECT DISTINCT a FROM T) x,"
       "(SELECT DISTINCT a,p FROM T WHERE f(a)>0) v WHERE v.a = x.a"},
      {"the same column renamed with a bare alias",
       "SELECT DISTINCT x.a,v.p FROM T x,(SELECT DISTINCT a k,p FROM T WHERE "
       "f(a)>0) v WHERE v.k = x.a",
       "SELECT DISTINCT x.a,v.p FROM (SELECT DISTINCT a FROM T) x,"
       "(SELECT DISTINCT a k,p FROM T WHERE f(a)>0) v WHERE v.k = x.a"},
      {"inside a subquery of the statement",
       "SELECT * FROM (SELECT DISTINCT x.a,y.b FROM T x,U y)h WHERE a=1",
       "SELECT * FROM (SELECT ds1.a,ds2.b FROM (SELECT DISTINCT x.a FROM "
       "(SELECT DISTINCT a FROM T) x) ds1,(SELECT DISTINCT y.b FROM (SELECT "
       "DISTINCT b FROM U) y) ds2 )h WHERE a=1"},
      {"each level of nested SELECT DISTINCTs on its own",
       "SELECT DISTINCT x.a,v.p FROM T x,(SELECT DISTINCT z.p FROM V z,"
       "(SELECT DISTINCT w.q,r.s FROM W w,R r WHERE w.q=1) u WHERE z.p=u.q) v "
       "WHERE x.a=(2)",
       "SELECT ds1.a,ds2.p FROM (SELECT DISTINCT x.a FROM T x WHERE x.a=(2)) "
       "ds1,(SELECT DISTINCT v.p FROM (SELECT DISTINCT z.p FROM (SELECT "
       "DISTINCT p FROM V) z,(SELECT ds1.q,ds2.s FROM (SELECT DISTINCT w.q "
       "FROM (SELECT DISTINCT q FROM W) w WHERE w.q=1) ds1,(SELECT DISTINCT "
       "r.s FROM (SELECT DISTINCT s FROM R) r) ds2 ) u WHERE z.p=u.q) v) ds2"},
      // Left alone.
      {"only the table whose column decides the collation",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.k = x.k",
       "SELECT DISTINCT x.a FROM T x,(SELECT DISTINCT k FROM U) y WHERE y.k = "
       "x.k"},
      {"subquery column that is an expression",
       "SELECT DISTINCT x.a FROM T x,(SELECT a+0 AS a FROM T) v WHERE v.a=x.a",
       nullptr},
      {"column inside an expression", "SELECT DISTINCT x.a+1 AS a FROM T x,U y",
       nullptr},
      {"IS NOT is a comparison, not a NOT",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IS NOT x.a = 1", nullptr},
      {"comparison result compared again",
       "SELECT DISTINCT x.a FROM T x,U y WHERE x.a = 1 = y.b", nullptr},
      {"IN list", "SELECT DISTINCT x.a FROM T x,U y WHERE x.a IN (1,2)",
       nullptr},
      {"BETWEEN", "SELECT DISTINCT x.a FROM T x,U y WHERE y.b BETWEEN 1 AND 2",
       nullptr},
      {"COLLATE",
       "SELECT DISTINCT x.a FROM T x,U y WHERE x.a = 'a' COLLATE BINARY",
       nullptr},
      {"function call", "SELECT DISTINCT lower(x.a) AS a FROM T x,U y",
       nullptr},
      {"unqualified column", "SELECT DISTINCT a FROM T x,U y", nullptr},
      {"star", "SELECT DISTINCT x.*,y.b FROM T x,U y", nullptr},
      {"subquery in WHERE",
       "SELECT DISTINCT x.a FROM T x,U y WHERE x.a IN (SELECT a FROM V)",
       nullptr},
      {"explicit join", "SELECT DISTINCT x.a FROM T x JOIN U y ON x.a=y.a",
       nullptr},
      {"GROUP BY", "SELECT DISTINCT x.a FROM T x,U y GROUP BY x.a", nullptr},
      {"ORDER BY", "SELECT DISTINCT x.a FROM T x,U y ORDER BY x.a", nullptr},
      {"compound branch",
       "SELECT a FROM V UNION SELECT DISTINCT x.a FROM T x,U y", nullptr},
      {"single table", "SELECT DISTINCT x.a FROM T x WHERE x.b=1", nullptr},
      {"no alias", "SELECT DISTINCT T.a FROM T,U y WHERE T.a=y.a", nullptr},
      {"unknown qualifier (correlated)",
       "SELECT DISTINCT x.a FROM T x,U y WHERE x.a=z.a", nullptr},
      {"not DISTINCT", "SELECT x.a FROM T x,U y", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(One(c.in), c.out != nullptr ? c.out : c.in) << c.name;
  }
}

// With the columns of the database known, a WHERE may hold IN subqueries
// that resolve every name inside themselves.
TEST(DistinctReduce, InSubqueriesThatNameOnlyTheirOwnTable) {
  const ColumnLookup columns = [](std::string_view table,
                                  std::string_view column) {
    return (table == "P" || table == "p") &&
           (column == "FID" || column == "FType");
  };
  const Case cases[] = {
      {"IN subquery beside a comparison",
       "SELECT DISTINCT x.a,y.b FROM T x,U y WHERE x.c = 1 AND y.b IN "
       "(SELECT FID FROM P WHERE FType=3)",
       "SELECT ds1.a,ds2.b FROM (SELECT DISTINCT x.a FROM (SELECT DISTINCT "
       "a,c FROM T) x WHERE x.c = 1) ds1,(SELECT DISTINCT y.b FROM U y WHERE "
       "y.b IN (SELECT FID FROM P WHERE FType=3)) ds2"},
      {"NOT IN, alias, DISTINCT, result name and function inside",
       "SELECT DISTINCT x.a FROM T x,U y WHERE NOT (y.b NOT IN (SELECT "
       "DISTINCT lower(q.FID) AS k FROM P AS q WHERE q.FType IS NOT NULL))",
       "SELECT DISTINCT x.a FROM (SELECT DISTINCT a FROM T) x,U y WHERE NOT "
       "(y.b NOT IN (SELECT DISTINCT lower(q.FID) AS k FROM P AS q WHERE "
       "q.FType IS NOT NULL))"},
      {"BETWEEN inside",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT FID FROM P "
       "WHERE FType BETWEEN 1 AND 3)",
       "SELECT DISTINCT x.a FROM (SELECT DISTINCT a FROM T) x,U y WHERE y.b "
       "IN (SELECT FID FROM P WHERE FType BETWEEN 1 AND 3)"},
      {"bare alias",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT q.FID FROM P q "
       "WHERE q.FType=3)",
       "SELECT DISTINCT x.a FROM (SELECT DISTINCT a FROM T) x,U y WHERE y.b "
       "IN (SELECT q.FID FROM P q WHERE q.FType=3)"},
      {"qualified by the table's own name",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT P.FID FROM P)",
       "SELECT DISTINCT x.a FROM (SELECT DISTINCT a FROM T) x,U y WHERE y.b "
       "IN (SELECT P.FID FROM P)"},
      // Left alone.
      {"reduced table's column in IN",
       "SELECT DISTINCT x.a FROM T x,U y "
       "WHERE x.a IN (SELECT FID FROM P)",
       nullptr},
      {"name not a column of the subquery's table",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT FID FROM P "
       "WHERE FType=a)",
       nullptr},
      {"outer alias inside",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT FID FROM P "
       "WHERE FType=x.FType)",
       nullptr},
      {"table name while aliased",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT FID FROM P z "
       "WHERE P.FType=3)",
       nullptr},
      {"nested subquery",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT FID FROM P "
       "WHERE FType IN (SELECT FID FROM P))",
       nullptr},
      {"quoted name",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT "
       "[FID] FROM P)",
       nullptr},
      {"scalar subquery",
       "SELECT DISTINCT x.a FROM T x,U y WHERE y.b = "
       "(SELECT FID FROM P)",
       nullptr},
      {"IN operand an expression",
       "SELECT DISTINCT x.a FROM T x,U y WHERE "
       "1+y.b IN (SELECT FID FROM P)",
       nullptr},
      {"a WITH may shadow the table",
       "SELECT * FROM (WITH P AS (SELECT 1 AS FID) SELECT * FROM (SELECT "
       "DISTINCT x.a FROM T x,U y WHERE y.b IN (SELECT FID FROM P)) h) k",
       nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(One(c.in, columns), c.out != nullptr ? c.out : c.in) << c.name;
  }
  // Without the lookup nothing is known of P.
  EXPECT_EQ(One(cases[0].in), cases[0].in);
}

TEST(DistinctReduce, LeavesWritingStatementsAlone) {
  const std::string text =
      "INSERT INTO W (a) SELECT DISTINCT x.a FROM T x,U y WHERE x.a=1";
  EXPECT_EQ(One(text), text);
}

}  // namespace
}  // namespace marl::data::tsql
