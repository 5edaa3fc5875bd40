// Table-driven tests of Translate(): command text in, node tree out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/tsql/script.h"
#include "marlcheckout/error.h"
#include "tsql/dump.h"

namespace marl::data::tsql {
namespace {

// Runs of blanks, tabs, CR and LF become one blank (for the long batches,
// whose line layout other cases check byte for byte).
std::string Squeeze(const std::string& s) {
  std::string out;
  bool space = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      ++i;  // a line break inside a statement
      space = true;
      continue;
    }
    if (c == ' ' || c == '\t') {
      space = true;
      continue;
    }
    if (c == '\n') {  // keep the dump's line structure
      out += '\n';
      space = false;
      continue;
    }
    if (space && !out.empty() && out.back() != '\n') out += ' ';
    space = false;
    out += c;
  }
  return out;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

struct Case {
  const char* name;
  std::string text;
  std::string expected;  // the Dump
  bool exact = true;     // false: compare with Squeeze on both sides
  bool writes = false;
};

// The daily-costing seed batch, line for line as the close composes it.
std::string SetDayAccountBatch() {
  return Join(
      {"Declare @NYear int",
       "Declare @NPeriod int",
       "Declare @YearPeriodCycle nvarchar(10)",
       "Declare @CurYear int",
       "Declare @CurPeriod int",
       "Declare @PerBeginDate datetime",
       "Declare @FPerEndDate datetime",
       "",
       "set @CurYear=2005",
       "set @CurPeriod=3",
       "set @NYear=2005",
       "set @NPeriod=4",
       "",
       "select @YearPeriodCycle=min(FYearPeriodCycle)",
       "From CBPeriodDate",
       "Where FYear=@NYear and FPeriod=@NPeriod",
       "",
       "select @PerBeginDate=FPeriodStartDay,",
       "       @FPerEndDate=FPeriodEndDay",
       "From CBPeriodDate",
       "Where FYear=@NYear and FPeriod=@NPeriod",
       "      and FYearPeriodCycle=@YearPeriodCycle",
       "",
       "if exists( select 1 from cbBalance where FYear=@CurYear and "
       "FPeriod=@CurPeriod )",
       "Begin",
       "",
       "    DELETE FROM DayCost_Balance WHERE FYear=@NYear",
       "                AND FPeriod=@NPeriod",
       "                AND FTypeID=1 and FYearPeriodCycle=@YearPeriodCycle",
       "",
       "    Insert Into "
       "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID, ",
       "                                    "
       "FYearPeriodCycle,FPerBeginDate,FPerEndDate)",
       "    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,",
       "               @YearPeriodCycle,@PerBeginDate,@FPerEndDate",
       "    From cbBalance",
       "    WHERE FYear=@CurYear",
       "          AND FPeriod=@CurPeriod",
       "          AND FTypeID=3",
       "",
       "    Update daycost_CostObjDetail SET FPrice=FSum/FQty",
       "        WHERE FQty<>0 AND FYear=@NYear",
       "          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle",
       "",
       "End",
       ""});
}

std::vector<Case> Cases() {
  return {
      {"BuilderInsert",
       "INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID)VALUES (?,?,?)",
       "EXEC! INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID)VALUES "
       "(?1,?2,?3) {p0,p1,p2}\n",
       true, true},
      {"BuilderUpdateSetDoesNotSplit",
       "UPDATE CB_CostBalance SET  FCostName=? , FBegBal=?  WHERE  FYear=? "
       "AND FPeriod=? ",
       "EXEC! UPDATE CB_CostBalance SET  FCostName=?1 , FBegBal=?2  WHERE  "
       "FYear=?3 AND FPeriod=?4 {p0,p1,p2,p3}\n",
       true, true},
      {"DeleteWithoutFrom",
       "Delete cbBalance WHERE FOnlnQty<>0 AND FYear=2005 AND FPeriod=3",
       "EXEC! Delete FROM cbBalance WHERE FOnlnQty<>0 AND FYear=2005 AND "
       "FPeriod=3\n",
       true, true},
      {"InsertSelectAcrossCrLfIsOneStatement",
       "INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,"
       "FOnlnQty,FTypeID)\r\n SELECT 2005,3,FDeptID,0,FCostObjID,FQty,3 FROM "
       "cbCostObjCheck\r\n WHERE FYear=2005 AND FPeriod=3\r\n AND FQty>0 ",
       "EXEC! INSERT INTO cbBalance(FYear,FPeriod,FDepID,FCostID,FProductID,"
       "FOnlnQty,FTypeID)\r\n SELECT 2005,3,FDeptID,0,FCostObjID,FQty,3 FROM "
       "cbCostObjCheck\r\n WHERE FYear=2005 AND FPeriod=3\r\n AND FQty>0\n",
       true, true},
      {"InsertWithoutInto",
       "Insert t(a,b) SELECT a,b FROM u\nInsert t SELECT * FROM u\nInsert t "
       "VALUES (1,2)",
       "EXEC! Insert INTO t(a,b) SELECT a,b FROM u\n"
       "EXEC! Insert INTO t SELECT * FROM u\n"
       "EXEC! Insert INTO t VALUES (1,2)\n",
       true, true},
      {"InsertValuesThenSelectSplits",
       "INSERT INTO t (a) VALUES (1) SELECT a FROM t",
       "EXEC! INSERT INTO t (a) VALUES (1)\nEXEC SELECT a FROM t\n", true,
       true},
      {"KeywordGluedToStringLiteral",
       "UPDATE t_SystemProfile SET FValue = '4' WHERE FCategory = 'CB' AND "
       "FKey = 'CurrentPeriod'DELETE FROM cbBalance WHERE "
       "FYear+0.0001*FPeriod > 2005.0004\r\n DELETE FROM cbBalance WHERE "
       "FYear= 2005 and FPeriod= 4 and FTypeID in (3,4) \r\nDELETE FROM "
       "cbCostObjDetail WHERE FYear+0.0001*FPeriod > 2005.0004\r\n",
       "EXEC! UPDATE t_SystemProfile SET FValue = '4' WHERE FCategory = 'CB' "
       "AND FKey = 'CurrentPeriod'\n"
       "EXEC! DELETE FROM cbBalance WHERE FYear+0.0001*FPeriod > 2005.0004\n"
       "EXEC! DELETE FROM cbBalance WHERE FYear= 2005 and FPeriod= 4 and "
       "FTypeID in (3,4)\n"
       "EXEC! DELETE FROM cbCostObjDetail WHERE FYear+0.0001*FPeriod > "
       "2005.0004\n",
       true, true},
      {"UpdatesOnSeparateLines",
       " Update CBOnInitBalance SET FChecked=0, FCheckMan=0,FCheckDate=null "
       "WHERE FChecked=1 AND FYear=2005 AND FPeriod=3\r\n Update "
       "CBCostObjAdjustDetail Set FChecked = 0 WHERE FChecked=1 AND "
       "FYear=2005 AND FPeriod=3\r\nUpdate DayCost_CostObjDetail \r\n   SET "
       "FPrice=FSum/FQty \r\nWHERE FQty<>0",
       "EXEC! Update CBOnInitBalance SET FChecked=0, FCheckMan=0,"
       "FCheckDate=null WHERE FChecked=1 AND FYear=2005 AND FPeriod=3\n"
       "EXEC! Update CBCostObjAdjustDetail Set FChecked = 0 WHERE FChecked=1 "
       "AND FYear=2005 AND FPeriod=3\n"
       "EXEC! Update DayCost_CostObjDetail \r\n   SET FPrice=FSum/FQty "
       "\r\nWHERE FQty<>0\n",
       true, true},
      {"ArchiveMovePair",
       "INSERT INTO cbMaterielInfo_History(FItemID,FYear,FPeriod)\r\nSELECT "
       "FItemID,FYear,FPeriod\r\nFROM cbMaterielInfo\r\nWHERE FYear=2005 AND "
       "FPeriod =3\r\n\r\nDELETE FROM cbMaterielInfo WHERE FYear=2005 AND "
       "FPeriod =3\r\n\r\n",
       "EXEC! INSERT INTO cbMaterielInfo_History(FItemID,FYear,FPeriod) "
       "SELECT FItemID,FYear,FPeriod FROM cbMaterielInfo WHERE FYear=2005 "
       "AND FPeriod =3\n"
       "EXEC! DELETE FROM cbMaterielInfo WHERE FYear=2005 AND FPeriod =3\n",
       false, true},
      {"TopUnionAllBranchesWrapped",
       "SELECT top 1 FID FROM CBCarriedCostRevertRealEndBal WHERE FYear=2005 "
       "AND FPeriod=3\r\nUNION all \r\nSELECT top 1 FID FROM "
       "CBCarriedCostRevertRealEndStk WHERE FYear=2005 AND FPeriod=3\r\n",
       "EXEC SELECT * FROM (SELECT FID FROM CBCarriedCostRevertRealEndBal "
       "WHERE FYear=2005 AND FPeriod=3 LIMIT 1)\r\nUNION all \r\nSELECT * "
       "FROM (SELECT FID FROM CBCarriedCostRevertRealEndStk WHERE FYear=2005 "
       "AND FPeriod=3 LIMIT 1)\n"},
      {"TopOfLoneSelectsAndSubqueries",
       "SELECT top 5 a FROM t ORDER BY a;SELECT DISTINCT TOP (2) a FROM t;"
       "SELECT a FROM t WHERE b = (SELECT top 1 c FROM u ORDER BY d)",
       "EXEC SELECT a FROM t ORDER BY a LIMIT 5\n"
       "EXEC SELECT DISTINCT a FROM t LIMIT 2\n"
       "EXEC SELECT a FROM t WHERE b = (SELECT c FROM u ORDER BY d LIMIT 1)\n"},
      {"TopInLastBranchBeforeOrderBy",
       "SELECT a FROM t UNION SELECT top 2 b FROM u ORDER BY a",
       "EXEC SELECT a FROM t UNION SELECT * FROM (SELECT b FROM u LIMIT 2) "
       "ORDER BY a\n"},
      {"ParenthesisedUnionOperands",
       "SELECT d.FName FROM (SELECT FID,FName FROM CB_BmItem UNION (SELECT "
       "'*' AS FID,N'\xE5\x90\x88 \xE8\xAE\xA1' AS FName)) d;"
       "(SELECT a FROM t) UNION ALL (SELECT top 1 b FROM u)",
       "EXEC SELECT d.FName FROM (SELECT FID,FName FROM CB_BmItem UNION "
       "SELECT * FROM (SELECT '*' AS FID,'\xE5\x90\x88 \xE8\xAE\xA1' AS "
       "FName)) d\n"
       "EXEC SELECT * FROM (SELECT a FROM t) UNION ALL SELECT * FROM (SELECT "
       "b FROM u LIMIT 1)\n"},
      {"IsNullAndNStrings",
       "SELECT ISNULL(a,0), b IS NULL, isnull (c, N'x''y') FROM t",
       "EXEC SELECT IFNULL(a,0), b IS NULL, IFNULL (c, 'x''y') FROM t\n"},
      {"StringsHoldingKeywordsAndSeparators",
       "UPDATE t SET a = 'x; SELECT -- y /*' WHERE b = 'it''s DELETE' SELECT "
       "'END'",
       "EXEC! UPDATE t SET a = 'x; SELECT -- y /*' WHERE b = 'it''s "
       "DELETE'\nEXEC SELECT 'END'\n",
       true, true},
      {"CommentsBecomeBlanks",
       "SELECT a -- tail SELECT\r\nFROM t /* SELECT /* nested */ DELETE */ "
       "WHERE b = [x y]",
       "EXEC SELECT a  \r\nFROM t   WHERE b = [x y]\n"},
      {"DoubleQuotedNamesGoOutInBrackets",
       "SELECT \"F Name\", [x y], \"a\"\"b\" FROM \"t\"",
       "EXEC SELECT [F Name], [x y], [a\"b] FROM [t]\n"},
      {"SemicolonsAndEmptyStatements", ";SELECT 1;; SELECT 2;",
       "EXEC SELECT 1\nEXEC SELECT 2\n"},
      {"CaseEndElseInsideSelect",
       "SELECT CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS FQty,"
       "CASE b WHEN 1 THEN (CASE WHEN c=1 THEN 2 END) ELSE 3 END FROM t",
       "EXEC SELECT CASE WHEN t2.FQty IS NULL THEN 0 ELSE t2.FQty END AS "
       "FQty,CASE b WHEN 1 THEN (CASE WHEN c=1 THEN 2 END) ELSE 3 END FROM "
       "t\n"},
      {"CommonTableExpressions",
       "WITH x AS (SELECT a FROM t) SELECT a FROM x\nWITH y (a) AS (SELECT 1) "
       "DELETE FROM u WHERE a IN (SELECT a FROM y)",
       "EXEC WITH x AS (SELECT a FROM t) SELECT a FROM x\n"
       "EXEC! WITH y (a) AS (SELECT 1) DELETE FROM u WHERE a IN (SELECT a "
       "FROM y)\n",
       true, true},
      {"IsolationLevelAndNoCountAreNoOps",
       "SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED\r\nSET NOCOUNT ON",
       "NOOP\nNOOP\n"},
      {"DdlWritesAndIfExistsInsideDrop",
       "DROP TABLE IF EXISTS t\nCREATE TABLE t (a INTEGER, b TEXT)",
       "EXEC! DROP TABLE IF EXISTS t\nEXEC! CREATE TABLE t (a INTEGER, b "
       "TEXT)\n",
       true, true},
      {"PositionalAndVariableSlotsMixed",
       "Declare @A int\r\nset @a = ?\r\nSELECT x FROM t WHERE a = @A AND b = "
       "? AND c = @a AND d = ?",
       "DECLARE a\nSET a = SELECT ?1 {p0}\n"
       "EXEC SELECT x FROM t WHERE a = ?1 AND b = ?2 AND c = ?1 AND d = ?3 "
       "{v:a,p1,p2}\n"},
      {"DeclareWithInitialiser", "Declare @n int = 5, @s nvarchar(10)",
       "BEGIN\n  DECLARE n,s\n  SET n = SELECT 5\nEND\n"},
      {"SelectAssignsVariables",
       "declare @a int, @b int, @c int\nselect @a = max(x), @b = min(x) from "
       "t where y = @C\nset @c = (SELECT count(*) FROM t)",
       "DECLARE a,b,c\nASSIGN a,b = select max(x), min(x) from t where y = "
       "?1 {v:c}\nSET c = SELECT (SELECT count(*) FROM t)\n"},
      {"TopWithAssignmentAndSecondSetAfterUpdate",
       "declare @v int\nselect top 1 @v = x from t order by y desc\n"
       "update t set x = 1 where y = @v set @v = 0\n"
       "if (select count(*) from t) > @v select 1",
       "DECLARE v\nASSIGN v = select x from t order by y desc LIMIT 1\n"
       "EXEC! update t set x = 1 where y = ?1 {v:v}\nSET v = SELECT 0\n"
       "IF SELECT CASE WHEN ((select count(*) from t) > ?1) THEN 1 ELSE 0 "
       "END {v:v}\n  EXEC select 1\nENDIF\n",
       true, true},
      {"IfNotExistsElse",
       "if not exists(select 1 from t where a=1) insert into t(a) values(1) "
       "else update t set a=2",
       "IF SELECT CASE WHEN (not exists(select 1 from t where a=1)) THEN 1 "
       "ELSE 0 END\n  EXEC! insert into t(a) values(1)\nELSE\n  EXEC! update "
       "t set a=2\nENDIF\n",
       true, true},
      {"NestedBlocksAndCaseInsideBlock",
       "Declare @x int\nIF @x > 0 BEGIN IF @x = 1 BEGIN SELECT CASE WHEN "
       "b=1 THEN 1 ELSE 0 END FROM t END ELSE BEGIN DELETE FROM t END "
       "SELECT 2 END ELSE SELECT 3",
       "DECLARE x\nIF SELECT CASE WHEN (?1 > 0) THEN 1 ELSE 0 END {v:x}\n"
       "  BEGIN\n    IF SELECT CASE WHEN (?1 = 1) THEN 1 ELSE 0 END {v:x}\n"
       "      BEGIN\n        EXEC SELECT CASE WHEN b=1 THEN 1 ELSE 0 END FROM "
       "t\n      END\n    ELSE\n      BEGIN\n        EXEC! DELETE FROM t\n"
       "      END\n    ENDIF\n    EXEC SELECT 2\n  END\nELSE\n  EXEC SELECT "
       "3\nENDIF\n",
       true, true},
      {"SetDayAccountBatch", SetDayAccountBatch(),
       "DECLARE nyear\nDECLARE nperiod\nDECLARE yearperiodcycle\n"
       "DECLARE curyear\nDECLARE curperiod\nDECLARE perbegindate\n"
       "DECLARE fperenddate\n"
       "SET curyear = SELECT 2005\nSET curperiod = SELECT 3\n"
       "SET nyear = SELECT 2005\nSET nperiod = SELECT 4\n"
       "ASSIGN yearperiodcycle = select min(FYearPeriodCycle) From "
       "CBPeriodDate Where FYear=?1 and FPeriod=?2 {v:nyear,v:nperiod}\n"
       "ASSIGN perbegindate,fperenddate = select FPeriodStartDay, "
       "FPeriodEndDay From CBPeriodDate Where FYear=?1 and FPeriod=?2 and "
       "FYearPeriodCycle=?3 {v:nyear,v:nperiod,v:yearperiodcycle}\n"
       "IF SELECT CASE WHEN (exists( select 1 from cbBalance where FYear=?1 "
       "and FPeriod=?2 )) THEN 1 ELSE 0 END {v:curyear,v:curperiod}\n"
       "  BEGIN\n"
       "    EXEC! DELETE FROM DayCost_Balance WHERE FYear=?1 AND FPeriod=?2 "
       "AND FTypeID=1 and FYearPeriodCycle=?3 "
       "{v:nyear,v:nperiod,v:yearperiodcycle}\n"
       "    EXEC! Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,"
       "FProductID,FQty,FTypeID, FYearPeriodCycle,FPerBeginDate,FPerEndDate) "
       "SELECT ?1,?2,FDepID,FCostID,FProductID,FOnlnQty,1, ?3,?4,?5 From "
       "cbBalance WHERE FYear=?6 AND FPeriod=?7 AND FTypeID=3 "
       "{v:nyear,v:nperiod,v:yearperiodcycle,v:perbegindate,v:fperenddate,"
       "v:curyear,v:curperiod}\n"
       "    EXEC! Update daycost_CostObjDetail SET FPrice=FSum/FQty WHERE "
       "FQty<>0 AND FYear=?1 AND FPeriod=?2 and FYearPeriodCycle=?3 "
       "{v:nyear,v:nperiod,v:yearperiodcycle}\n"
       "  END\nENDIF\n",
       false, true},
  };
}

TEST(TranslateTest, TranslatesEveryCase) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    Script script;
    try {
      script = Translate(c.text);
    } catch (const Error& e) {
      ADD_FAILURE() << "refused: " << e.description();
      continue;
    }
    std::string dump;
    Dump(script.nodes, "", &dump);
    if (c.exact) {
      EXPECT_EQ(dump, c.expected);
    } else {
      EXPECT_EQ(Squeeze(dump), Squeeze(c.expected));
    }
    EXPECT_EQ(script.writes, c.writes);
  }
}

TEST(TranslateTest, CountsPositionalMarkersOverTheWholeText) {
  Script s = Translate("SELECT ? ; UPDATE t SET a = ? WHERE b = '?' AND c = ?");
  EXPECT_EQ(s.positional_count, 3);
  ASSERT_EQ(s.nodes.size(), 2u);
  ASSERT_EQ(s.nodes[1].stmt.slots.size(), 2u);
  EXPECT_EQ(s.nodes[1].stmt.slots[0].position, 1);
  EXPECT_EQ(s.nodes[1].stmt.slots[1].position, 2);
  EXPECT_EQ(s.nodes[1].stmt.sql,
            "UPDATE t SET a = ?1 WHERE b = '?' AND c = ?2");
}

struct Refusal {
  const char* text;
  const char* words;  // expected in the description
};

TEST(TranslateTest, RefusesWhatWouldChangeMeaningOrCannotRun) {
  const std::vector<Refusal> refusals = {
      {"SELECT CONVERT(varchar(10), FDate, 120) FROM t", "CONVERT("},
      {"SELECT a FROM t WITH (NOLOCK) WHERE b = 1", "WITH (NOLOCK)"},
      {"SELECT a FROM t (NOLOCK)", "NOLOCK"},
      {"SELECT a INTO #tmp FROM t", "#tmp"},
      {"DELETE FROM t WHERE a = 1 SELECT @@ROWCOUNT", "@@ROWCOUNT"},
      {"UPDATE a SET x = b.y FROM t a, u b WHERE a.k = b.k", "UPDATE ... FROM"},
      {"DELETE a FROM t a JOIN u ON u.k = a.k", "DELETE with a join"},
      {"DELETE FROM t FROM t JOIN u ON u.k = t.k", "DELETE with a join"},
      {"WHILE 1 = 1 DELETE FROM t", "WHILE"},
      {"EXEC sp_who", "EXEC"},
      {"GOTO done", "GOTO"},
      {"PRINT 'x'", "PRINT"},
      {"TRUNCATE TABLE t", "TRUNCATE"},
      {"SELECT 'ab'+'cd'", "string concatenation"},
      {"SELECT FName + N'x' FROM t", "string concatenation"},
      {"SELECT a FROM t WHERE b LIKE '[a-c]%'", "LIKE pattern"},
      {"SELECT 0x1F", "binary literal"},
      {"SELECT [a]]b] FROM t", "name containing"},
      {"SELECT a FROM t WHERE b = :name", ":name"},
      {"SELECT a FROM t GROUP BY a WITH ROLLUP", "WITH ROLLUP"},
      {"SELECT top 10 percent a FROM t", "PERCENT"},
      {"SELECT top 1 with ties a FROM t ORDER BY a", "WITH TIES"},
      {"SELECT top (?) a FROM t", "TOP with an expression"},
      {"UPDATE TOP (1) t SET a = 1", "UPDATE TOP"},
      {"BEGIN TRAN UPDATE t SET a = 1", "transaction control"},
      {"UPDATE t SET a = 1 COMMIT", "transaction control"},
      {"CREATE PROCEDURE p AS SELECT 1", "CREATE PROCEDURE"},
      {"DECLARE @t TABLE (a int)", "table variable"},
      {"DECLARE c CURSOR FOR SELECT a FROM t", "cursor"},
      {"SET ANSI_NULLS OFF", "SET ANSI_NULLS"},
      {"Declare @s int set @s += 1", "compound assignment"},
      {"Declare @s int select @s = @s + x from t", "accumulation"},
      {"Declare @s int select @s = x, y from t", "both assigns"},
      {"Declare @s int select @s = x from t union select y from u",
       "compound SELECT"},
      {"SELECT a FROM t WHERE b = @x",
       "Must declare the scalar variable \"@x\""},
      {"Declare @a int Declare @A int", "already been declared"},
      {"SELECT (a FROM t", "unbalanced parentheses"},
      {"SELECT a) FROM t", "unbalanced parentheses"},
      {"BEGIN SELECT 1", "BEGIN without matching END"},
      {"SELECT 1 END", "END without BEGIN"},
      {"ELSE SELECT 1", "ELSE without IF"},
      {"IF 1 = 1", "IF without a statement"},
      {"SELECT CASE WHEN a = 1 THEN 1 FROM t", "CASE without END"},
      {"SELECT 'abc", "unterminated string"},
      {"SELECT [abc", "unterminated bracketed name"},
      {"SELECT 1 /* a /* b */", "unterminated comment"},
  };
  for (Dialect dialect :
       {Dialect::kSqlite, Dialect::kSqliteOdbc, Dialect::kPostgres}) {
    for (const Refusal& r : refusals) {
      SCOPED_TRACE(r.text);
      try {
        Translate(r.text, dialect);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kDbSyntax);
        EXPECT_NE(e.description().find(r.words), std::string::npos)
            << e.description();
      }
    }
  }
}

// IF and BEGIN nest as deep as a batch reasonably does; a deeper text is
// refused, never a stack overflow.
TEST(TranslateTest, NestsIfAndBeginToALimit) {
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += i % 2 ? "BEGIN " : "IF 1 = 1 ";
    text += "SELECT 1";
    for (int i = levels - 1; i >= 0; --i) text += i % 2 ? " END" : "";
    return text;
  };
  Script s = Translate(nested(64));
  ASSERT_EQ(s.nodes.size(), 1u);
  EXPECT_EQ(s.nodes[0].kind, Node::Kind::If);
  for (int levels : {65, 200000}) {
    try {
      Translate(nested(levels));
      ADD_FAILURE() << levels << " levels accepted";
    } catch (const Error& e) {
      EXPECT_NE(e.description().find("nested more than 64 levels"),
                std::string::npos)
          << e.description();
    }
  }
}

}  // namespace
}  // namespace marl::data::tsql
