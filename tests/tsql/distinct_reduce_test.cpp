// Table-driven tests of the reduction of joined tables inside SELECT
// DISTINCT: which shapes are rewritten, into what, and which are left alone.
// (Where the reduced SELECT also falls into independent parts, the expected
// text shows its split too; see distinct_split.txt.)
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

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
       "c,a FROM T) x WHERE x.c = 5) ds1,(SELECT DISTINCT y.b FROM (SELECT "
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
      {"column inside an expression, not first",
       "SELECT DISTINCT x.b,'z'||x.a FROM T x,U y", nullptr},
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
       "c,a FROM T) x WHERE x.c = 1) ds1,(SELECT DISTINCT y.b FROM U y WHERE "
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

// With the columns' collations known, the level may hold "q.*" and a
// trailing ORDER BY of items not reduced, and a reduced column may be the
// right operand of a comparison whose left operand carries, through the
// levels of its derived table, a column of the same collation. T.k, V.k,
// I.id: NOCASE; U.k: BINARY.
TEST(DistinctReduce, ComparedUnderTheSameCollationThroughDerivedTables) {
  const ColumnTypeLookup types =
      [](std::string_view table,
         std::string_view column) -> std::optional<ColumnType> {
    if (column == "k" || column == "name" || column == "id") {
      if (table == "U") return ColumnType{"TEXT", column == "k" ? "" : "x"};
      if (table == "T" || table == "V" || table == "I") {
        return ColumnType{"TEXT", "nocase"};
      }
    }
    return std::nullopt;
  };
  const ColumnLookup columns = [&](std::string_view t, std::string_view c) {
    return types(t, c).has_value();
  };
  const std::string tail = ",T x WHERE h.k = x.k ORDER BY h.k";
  const std::string head = "SELECT DISTINCT h.*,x.name FROM ";
  const std::string reduced = "(SELECT DISTINCT k,name FROM T) x";
  auto in = [&](const std::string& h) { return head + h + " h" + tail; };
  auto out = [&](const std::string& h) {
    return head + h + " h," + reduced + tail.substr(4);
  };
  struct TypedCase {
    const char* name;
    std::string in;
    std::string out;  // empty: translated text equals the input
  };
  const TypedCase cases[] = {
      {"grouped column", in("(SELECT k FROM V GROUP BY k)"),
       out("(SELECT k FROM V GROUP BY k)")},
      {"star, LEFT JOIN, DISTINCT and renaming",
       in("(SELECT kk AS k FROM (SELECT t1.*,u.name FROM (SELECT DISTINCT k "
          "AS kk FROM V) t1 LEFT JOIN U AS u ON t1.kk=u.k) g)"),
       out("(SELECT kk AS k FROM (SELECT t1.*,u.name FROM (SELECT DISTINCT k "
           "AS kk FROM V) t1 LEFT JOIN U AS u ON t1.kk=u.k) g)")},
      {"compound: a column, then literals",
       in("(SELECT id AS k FROM I UNION SELECT '*' UNION ALL (SELECT 'a' b))"),
       out("(SELECT id AS k FROM I UNION SELECT '*' UNION ALL SELECT * FROM "
           "(SELECT 'a' b))")},
      {"compound arms of one collation",
       in("(SELECT i.id k FROM I i UNION SELECT k FROM V)"),
       out("(SELECT i.id k FROM I i UNION SELECT k FROM V)")},
      // Left alone.
      {"other collation", in("(SELECT k FROM U GROUP BY k)"), ""},
      {"an expression", in("(SELECT k||'' AS k FROM V)"), ""},
      {"compound arm of another collation",
       in("(SELECT id AS k FROM I UNION SELECT k FROM U)"), ""},
      {"compound led by a literal",
       in("(SELECT '*' AS k UNION SELECT k FROM V)"), ""},
      {"star in a compound", in("(SELECT * FROM V UNION SELECT k FROM V)"), ""},
      {"bare column beside two items", in("(SELECT k FROM V,I)"), ""},
      {"qualifier of no item", in("(SELECT z.k FROM V v)"), ""},
      {"a column the table lacks", in("(SELECT v.zz AS k FROM V v)"), ""},
      {"ORDER BY the reduced item",
       "SELECT DISTINCT h.*,x.name FROM (SELECT k FROM V) h,T x WHERE h.k = "
       "x.k ORDER BY x.name",
       ""},
      {"unqualified ORDER BY",
       "SELECT DISTINCT h.*,x.name FROM (SELECT k FROM V) h,T x WHERE h.k = "
       "x.k ORDER BY k",
       ""},
      {"LIMIT", in("(SELECT k FROM V)") + " LIMIT 3", ""},
      {"star of the reduced item",
       "SELECT DISTINCT h.*,x.* FROM (SELECT k FROM V) h,T x WHERE h.k = x.k",
       ""},
  };
  for (const TypedCase& c : cases) {
    Script s = Translate(c.in, Dialect::kSqlite, columns, types);
    ASSERT_EQ(s.nodes.size(), 1u) << c.name;
    EXPECT_EQ(s.nodes[0].stmt.sql, c.out.empty() ? One(c.in, columns) : c.out)
        << c.name;
    if (!c.out.empty()) {
      // Without the types, or for PostgreSQL, the table stays as it is.
      EXPECT_EQ(One(c.in, columns).find(reduced), std::string::npos) << c.name;
      EXPECT_EQ(Translate(c.in, Dialect::kPostgres, columns, types)
                    .nodes.at(0)
                    .stmt.sql.find(reduced),
                std::string::npos)
          << c.name;
    } else {
      EXPECT_EQ(s.nodes[0].stmt.sql.find(reduced), std::string::npos) << c.name;
    }
  }
}

// The collation is followed through 17 levels of derived tables, no deeper.
TEST(DistinctReduce, FollowsACollationThroughSeventeenLevels) {
  const ColumnTypeLookup types =
      [](std::string_view table,
         std::string_view column) -> std::optional<ColumnType> {
    if ((table == "T" || table == "V") && (column == "k" || column == "n")) {
      return ColumnType{"TEXT", "NOCASE"};
    }
    return std::nullopt;
  };
  const ColumnLookup columns = [&](std::string_view t, std::string_view c) {
    return types(t, c).has_value();
  };
  for (int levels : {17, 18}) {
    std::string h = "SELECT k FROM V";
    for (int i = 1; i < levels; ++i) h = "SELECT k FROM (" + h + ") g";
    const std::string text =
        "SELECT DISTINCT h.*,x.n FROM (" + h + ") h,T x WHERE h.k = x.k";
    const std::string sql =
        Translate(text, Dialect::kSqlite, columns, types).nodes.at(0).stmt.sql;
    EXPECT_EQ(sql.find("(SELECT DISTINCT k,n FROM T) x") != std::string::npos,
              levels == 17)
        << sql;
  }
}

TEST(DistinctReduce, LeavesWritingStatementsAlone) {
  const std::string text =
      "INSERT INTO W (a) SELECT DISTINCT x.a FROM T x,U y WHERE x.a=1";
  EXPECT_EQ(One(text), text);
}

}  // namespace
}  // namespace marl::data::tsql
